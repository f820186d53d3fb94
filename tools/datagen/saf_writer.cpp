#include "saf_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool write_archive(const std::string& path, const std::vector<ArchiveMember>& members)
{
    std::string header;
    for (const ArchiveMember& member : members)
        header += std::to_string(member.bytes.size()) + " " + member.name + "\n";
    header += "-\n";
    // Written beside the target and renamed, so an interrupted build never
    // leaves half an archive for the game to find.
    std::string temporary = path + ".part";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) {
        fprintf(stderr, "datagen: can't create %s: %s\n", temporary.c_str(), strerror(errno));
        return false;
    }
    bool ok = fwrite(header.data(), 1, header.size(), file) == header.size();
    for (const ArchiveMember& member : members)
        ok = ok && fwrite(member.bytes.data(), 1, member.bytes.size(), file) == member.bytes.size();
    ok = (fclose(file) == 0) && ok;
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        fprintf(stderr, "datagen: can't write %s: %s\n", path.c_str(), strerror(errno));
        remove(temporary.c_str());
        return false;
    }
    return true;
}
