// Shared test fixtures: a temporary folder that stands in for the home folder
// and the data folder, so nothing touches the real home.
#pragma once
#include <string>

struct TempDir {
    std::string path; // ends without "/"
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string at(const std::string& relative) const { return path + "/" + relative; }
};

// Points HOME, XDG_DATA_HOME, DL_HOME and KORU_LOGFILE into a fresh temporary
// folder and makes the data layer and the log start over. The home folder is
// <root>/xdg/Dustline/, the data folder <root>/data/.
struct TestHome {
    TempDir root;
    TestHome();
    ~TestHome();
    std::string home(const std::string& relative = "") const { return root.path + "/xdg/Dustline/" + relative; }
    std::string data(const std::string& relative = "") const { return root.path + "/data/" + relative; }
    std::string log_file() const { return root.path + "/log.txt"; }
};

// Writes bytes to a file, creating its folders.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
// Copies the build's data release (every ".saf" archive) into the folder.
void install_release(const std::string& folder);
// gzip-compresses bytes with zlib's default header.
std::string gzip_bytes(const std::string& bytes);
// Runs a shell command, returning its exit status, with its standard output
// and standard error gathered into output when given.
int run_command(const std::string& command, std::string* output = nullptr);
