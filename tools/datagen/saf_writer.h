// Writes ".saf" archives: a text header of "count name" lines ended by "-",
// then the members' bytes in header order.
#pragma once
#include <string>
#include <vector>

struct ArchiveMember {
    std::string name;
    std::string bytes;
};

// Writes the archive; false (with a message on standard error) on failure.
bool write_archive(const std::string& path, const std::vector<ArchiveMember>& members);
