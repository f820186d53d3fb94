#include "support/fixture.h"

#include "data/home.h"
#include "koru/log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <zlib.h>

TempDir::TempDir()
{
    char templ[] = "/tmp/dltest-XXXXXX";
    const char* made = mkdtemp(templ);
    path = made ? made : "/tmp";
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (path != "/tmp")
        std::filesystem::remove_all(path, ec);
}

TestHome::TestHome()
{
    std::filesystem::create_directories(root.path + "/data");
    std::filesystem::create_directories(root.path + "/xdg");
    setenv("HOME", (root.path + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root.path + "/xdg").c_str(), 1);
    setenv("DL_HOME", (root.path + "/data").c_str(), 1);
    setenv("KORU_LOGFILE", log_file().c_str(), 1);
    koru_log_reset();
    data_reset();
}

TestHome::~TestHome()
{
    koru_log_reset();
    data_reset();
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::filesystem::path p(path);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool file_exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

void install_release(const std::string& folder)
{
    for (const auto& entry : std::filesystem::directory_iterator(DL_BIN_DIR))
        if (entry.path().extension() == ".saf")
            write_file(folder + "/" + entry.path().filename().string(), read_file(entry.path().string()));
}

std::string gzip_bytes(const std::string& bytes)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(bytes.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

int run_command(const std::string& command, std::string* output)
{
    std::string full = command + " 2>&1";
    FILE* pipe = popen(full.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    size_t n;
    std::string text;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
