#include "release.h"

#include <zlib.h>

void add_member(Release* release, const std::string& archive, const std::string& name, const std::string& bytes,
                bool compress)
{
    std::vector<ArchiveMember>& members = release->archives[archive];
    if (compress)
        members.push_back({name + ".gz", gzip_deterministic(bytes)});
    else
        members.push_back({name, bytes});
}

std::string gzip_deterministic(const std::string& bytes)
{
    z_stream z{};
    // Raw deflate wrapped by hand: zlib's own gzip header would carry the
    // operating system byte of the build machine.
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string out = {'\x1f', '\x8b', 8, 0, 0, 0, 0, 0, 2, '\xff'};
    size_t header = out.size();
    out.resize(header + deflateBound(&z, uLong(bytes.size())) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[header]);
    z.avail_out = uInt(out.size() - header);
    deflate(&z, Z_FINISH);
    out.resize(header + z.total_out);
    deflateEnd(&z);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size()));
    uint32_t length = uint32_t(bytes.size());
    for (int i = 0; i < 4; i++)
        out += char((crc >> (8 * i)) & 0xff);
    for (int i = 0; i < 4; i++)
        out += char((length >> (8 * i)) & 0xff);
    return out;
}

bool write_release(const Release& release, const std::string& folder)
{
    for (const auto& [archive, members] : release.archives)
        if (!write_archive(folder + "/" + archive, members))
            return false;
    return true;
}
