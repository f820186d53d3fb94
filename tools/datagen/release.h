// The data release being generated: archives of named members, written into
// the output folder at the end.
#pragma once
#include "saf_writer.h"

#include <map>
#include <string>
#include <vector>

struct Release {
    // archive file name ("tracks.saf") -> members in the order added
    std::map<std::string, std::vector<ArchiveMember>> archives;
};

// Adds a member; with compress the bytes are stored gzip-compressed under
// name + ".gz" (the game finds it under the plain name).
void add_member(Release* release, const std::string& archive, const std::string& name, const std::string& bytes,
                bool compress = false);
// gzip with a fixed header (no time stamp), so equal input gives equal bytes.
std::string gzip_deterministic(const std::string& bytes);
// Writes every archive into the folder; false on the first failure.
bool write_release(const Release& release, const std::string& folder);
