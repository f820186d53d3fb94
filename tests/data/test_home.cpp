#include "base/sha1.h"
#include "data/home.h"
#include "data/stream.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string archive(const std::vector<std::pair<std::string, std::string>>& members, const std::string& tail = "")
{
    std::string header, body;
    for (const auto& m : members) {
        header += std::to_string(m.second.size()) + " " + m.first + "\n";
        body += m.second;
    }
    return header + "-\n" + body + tail;
}

std::string read_all(DataStream* stream)
{
    std::string out;
    char buffer[300];
    int n;
    while ((n = data_read(stream, buffer, sizeof buffer)) > 0)
        out.append(buffer, n);
    return out;
}

// Opens a data name and returns its bytes, or "<none>".
std::string contents(const char* name)
{
    DataStream* stream = data_open(name, "rb");
    if (!stream)
        return "<none>";
    std::string out = read_all(stream);
    data_close(stream);
    return out;
}

std::vector<std::string> file_list()
{
    std::vector<std::string> names;
    for (const char* const* f = data_file_list(); **f; f++)
        names.push_back(*f);
    return names;
}

struct Entry {
    std::string name;
    int32_t offset, size, source;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e)
{
    return os << e.name << "@" << e.offset << "+" << e.size << " from " << e.source;
}

std::vector<Entry> index_entries()
{
    int count;
    const DataIndexEntry* index = data_index(&count);
    std::vector<Entry> entries;
    for (int i = 0; i < count; i++)
        entries.push_back({index[i].name, index[i].offset, index[i].size, index[i].source});
    return entries;
}

TEST(SearchPaths, HomeThenDataFolderNormalised)
{
    TestHome t;
    setenv("DL_HOME", (t.root.path + "//data\\").c_str(), 1);
    data_reset();
    ASSERT_EQ(search_path_count(), 2); // with DL_HOME the program's own folder is not searched
    EXPECT_EQ(search_path(0), t.home());
    EXPECT_EQ(search_path(1), t.data());
    EXPECT_EQ(search_path(2), nullptr);
    EXPECT_TRUE(have_home_folder());
}

TEST(SearchPaths, FallBacksForHomeAndDataFolder)
{
    TestHome t;
    unsetenv("XDG_DATA_HOME");
    unsetenv("DL_HOME");
    data_reset();
    EXPECT_EQ(std::string(search_path(0)), t.root.path + "/home/.local/share/Dustline/");
    std::string exe = search_path(1); // the test binary's own folder
    EXPECT_EQ(exe, std::string(DL_BIN_DIR).substr(0, std::string(DL_BIN_DIR).rfind('/')) + "/tests/");

    unsetenv("HOME");
    data_reset();
    EXPECT_FALSE(have_home_folder());
    EXPECT_EQ(search_path_count(), 1);
}

TEST(DataIndex, OrderAndShadowingAcrossLocations)
{
    TestHome t;
    write_file(t.home("demos/a.dldemo"), "home");
    write_file(t.data("demos/a.dldemo"), "data");
    write_file(t.data("pack.saf"), archive({{"demos/a.dldemo", "packed"}, {"b//c.txt", "bc"}}));
    write_file(t.data("apack.saf"), archive({{"demos/a.dldemo", "first archive"}}));

    std::vector<Entry> expected = {
        {"apack.saf", 0, int32_t(read_file(t.data("apack.saf")).size()), 1},
        {"b/c.txt", 36, 2, 2 + 1}, // runs of "/" collapse
        {"demos/a.dldemo", 0, 4, 0},
        {"demos/a.dldemo", 0, 4, 1},
        {"demos/a.dldemo", 20, 13, 2 + 0},
        {"demos/a.dldemo", 30, 6, 2 + 1},
        {"pack.saf", 0, int32_t(read_file(t.data("pack.saf")).size()), 1},
    };
    EXPECT_EQ(index_entries(), expected);
    EXPECT_EQ(file_list(), (std::vector<std::string>{"apack.saf", "b/c.txt", "demos/a.dldemo", "pack.saf"}));
    EXPECT_EQ(contents("@demos/a.dldemo"), "home");
    EXPECT_EQ(contents("@b/c.txt"), "bc");
}

TEST(DataIndex, ArchiveHeaders)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<Entry> members; // without the archive itself
    } const cases[] = {
        {"two members", archive({{"x", "12345"}, {"y/z", "abc"}}), {{"x", 12, 5, 2}, {"y/z", 12 + 5, 3, 2}}},
        {"empty", "-\n", {}},
        {"last line without line feed", "5 x\n-", {}},
        {"no terminator", "5 x\n3 y\n", {}},
        {"line without a number", "5 x\nfoo\n-\n12345", {}},
        {"signed count", "-5 x\n-\n", {}},
        {"count without a name", "5\n-\n12345", {}},
        {"count too large", "99999999999 x\n-\n", {}},
        {"overlong line", "5 " + std::string(1100, 'n') + "\n-\n12345", {}},
        {"member data beyond the end", "500 x\n-\nab", {{"x", 8, 500, 2}}},
    };
    for (const Case& c : cases) {
        TestHome t;
        write_file(t.data("a.saf"), c.bytes);
        write_file(t.data("loose.txt"), "L");
        std::vector<Entry> expected = {{"a.saf", 0, int32_t(c.bytes.size()), 1}};
        expected.insert(expected.end(), c.members.begin(), c.members.end());
        expected.push_back({"loose.txt", 0, 1, 1});
        std::sort(expected.begin(), expected.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
        EXPECT_EQ(index_entries(), expected) << c.what;
        EXPECT_EQ(contents("@loose.txt"), "L") << c.what; // a bad archive harms nothing else
    }
}

TEST(DataIndex, ArchiveOrdinalCountsUnreadableArchives)
{
    TestHome t;
    write_file(t.data("a.saf"), "garbage");
    write_file(t.data("b.saf"), archive({{"m", "1"}}));
    std::vector<Entry> entries = index_entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2], (Entry{"m", 6, 1, 2 + 1}));
}

TEST(DataOpen, ArchiveMembersPlainAndCompressed)
{
    TestHome t;
    std::string height_field(5000, 'h');
    write_file(t.data("tracks.saf"),
               archive({{"hill/terrain.hf.gz", gzip_bytes(height_field)}, {"hill/desc", "0123456789"}}, "TRAILING"));
    EXPECT_EQ(contents("@hill/terrain.hf"), height_field);
    EXPECT_EQ(contents("@hill/desc"), "0123456789"); // exactly the member, though the file goes on
    EXPECT_EQ(contents("@HILL/Desc"), "0123456789"); // letter case is forgiven in the index
    EXPECT_EQ(contents("@hill/missing"), "<none>");
}

TEST(DataOpen, LooseFilesByCaseAndCompressedFallback)
{
    TestHome t;
    write_file(t.data("Tracks/Hill/Desc"), "loose");
    write_file(t.data("packed.txt.gz"), gzip_bytes("inflated"));
    EXPECT_EQ(contents("@tracks/hill/desc"), "loose");
    EXPECT_EQ(contents("@packed.txt"), "inflated");
    EXPECT_EQ(contents(t.data("packed.txt").c_str()), "inflated"); // host paths try ".gz" too
}

TEST(DataOpen, WritingGoesHomeAndCreatesFolders)
{
    TestHome t;
    write_file(t.data("old.txt"), "x");
    data_file_list(); // the index is built before the file exists
    DataStream* out = data_open("@demos/new.dldemo", "wb");
    ASSERT_NE(out, nullptr);
    data_puts(out, "demo");
    data_close(out);
    EXPECT_EQ(read_file(t.home("demos/new.dldemo")), "demo");
    // Not listed until the next run, but found by name.
    EXPECT_EQ(file_list(), std::vector<std::string>{"old.txt"});
    EXPECT_EQ(contents("@demos/new.dldemo"), "demo");
}

TEST(DataOpen, WritesWithoutHomeGoToTheDataFolder)
{
    TestHome t;
    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    data_reset();
    DataStream* out = data_open("@results.txt", "wb");
    ASSERT_NE(out, nullptr);
    data_close(out);
    EXPECT_TRUE(file_exists(t.data("results.txt")));
    EXPECT_FALSE(locate_game_data());
    EXPECT_FALSE(data_rename("@results.txt", "@other.txt"));
}

TEST(DataOpen, BackupsKeepNumberedCopies)
{
    TestHome t;
    auto write = [](const char* text) {
        DataStream* out = data_open("@config", "~wb");
        ASSERT_NE(out, nullptr);
        data_puts(out, text);
        data_close(out);
    };
    write("one");
    EXPECT_FALSE(file_exists(t.home("config.~1~"))); // nothing to keep yet
    write("two");
    write("three");
    EXPECT_EQ(read_file(t.home("config")), "three");
    EXPECT_EQ(read_file(t.home("config.~1~")), "one");
    EXPECT_EQ(read_file(t.home("config.~2~")), "two");
}

TEST(DataOpen, OverlongNamesAreRefused)
{
    TestHome t;
    std::string name = "@" + std::string(600, 'n');
    EXPECT_EQ(data_open(name.c_str(), "wb"), nullptr);
    EXPECT_EQ(data_open(name.c_str(), "rb"), nullptr);
}

TEST(DataRename, MovesWithinTheHomeFolder)
{
    TestHome t;
    write_file(t.home("config.tmp"), "new");
    write_file(t.home("config"), "old");
    EXPECT_TRUE(data_rename("@config.tmp", "@config"));
    EXPECT_EQ(read_file(t.home("config")), "new");
    EXPECT_FALSE(file_exists(t.home("config.tmp")));
    EXPECT_FALSE(data_rename("@config.tmp", "@config"));
}

std::string digest_of_first_mib(const std::string& path)
{
    std::string bytes = read_file(path).substr(0, 1048576);
    Sha1 sha;
    sha1_start(&sha);
    sha1_add(&sha, bytes.data(), bytes.size());
    uint8_t digest[20];
    char hex[41];
    sha1_finish(&sha, digest);
    sha1_hex(digest, hex);
    return hex;
}

TEST(GameData, DigestIsThatOfTheGeneratedArchive)
{
    TempDir out;
    ASSERT_EQ(run_command(std::string(DL_TOOLS_DIR) + "/datagen " + out.path + " >/dev/null"), 0);
    EXPECT_EQ(digest_of_first_mib(out.at("zzzz.saf")), game_data_digest);
    EXPECT_EQ(digest_of_first_mib(std::string(DL_BIN_DIR) + "/zzzz.saf"), game_data_digest);
}

TEST(GameData, FoundByDigestAndLogPointedHome)
{
    TestHome t;
    EXPECT_FALSE(locate_game_data());
    write_file(t.data("zzzz.saf"), "not the release");
    data_reset();
    EXPECT_FALSE(locate_game_data());
    write_file(t.data("zzzz.saf"), read_file(std::string(DL_BIN_DIR) + "/zzzz.saf"));
    data_reset();
    EXPECT_TRUE(locate_game_data());
    EXPECT_TRUE(file_exists(t.home())); // the home folder is made on the way
}

} // namespace
