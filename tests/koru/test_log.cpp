#include "koru/log.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

namespace {

struct LogFixture : ::testing::Test {
    TempDir dir;
    void SetUp() override
    {
        unsetenv("KORU_LOGFILE");
        koru_log_reset();
    }
    void TearDown() override { koru_log_reset(); }
    // The log with the stamps taken off each line.
    std::string lines(const std::string& path)
    {
        return std::regex_replace(read_file(path), std::regex(R"(\[\d+:\d\d:\d\d\.\d\d\] )"), "");
    }
};

TEST(LogStamp, IsTheUpTime)
{
    struct Case {
        int seconds, microseconds;
        const char* stamp;
    } const cases[] = {
        {3725, 500000, "[1:02:05.50] "},
        {0, 0, "[0:00:00.00] "},
        {59, 999999, "[0:00:59.99] "},
        {360000, 10000, "[100:00:00.01] "},
    };
    for (const Case& c : cases) {
        char stamp[48];
        koru_format_stamp(stamp, sizeof stamp, c.seconds, c.microseconds);
        EXPECT_STREQ(stamp, c.stamp);
    }
}

TEST_F(LogFixture, CommandNamesTheFileAndOpensWithTwoLines)
{
    std::string path = dir.at("lastlog.txt");
    koru_log("KORU_LOGFILE=%s", path.c_str());
    koru_log("hello %d\n", 42);
    EXPECT_EQ(lines(path), "Logfile \"" + path + "\" opened\nKORU 0.31\nhello 42\n");
    std::string raw = read_file(path);
    EXPECT_TRUE(std::regex_search(raw, std::regex(R"(^\[\d+:\d\d:\d\d\.\d\d\] Logfile)")));
}

TEST_F(LogFixture, EnvironmentWinsOverTheCommand)
{
    std::string chosen = dir.at("chosen.txt"), commanded = dir.at("commanded.txt");
    setenv("KORU_LOGFILE", chosen.c_str(), 1);
    koru_log("KORU_LOGFILE=%s", commanded.c_str());
    koru_log("line\n");
    EXPECT_FALSE(file_exists(commanded));
    EXPECT_EQ(lines(chosen), "Logfile \"" + chosen + "\" opened\nKORU 0.31\nline\n");
    unsetenv("KORU_LOGFILE");
}

TEST_F(LogFixture, AppendAndTruncatePrefixes)
{
    std::string path = dir.at("log.txt");
    write_file(path, "old\n");
    setenv("KORU_LOGFILE", (">>" + path).c_str(), 1);
    koru_log("new\n");
    EXPECT_EQ(lines(path), "old\nLogfile \"" + path + "\" opened\nKORU 0.31\nnew\n");

    koru_log_reset();
    setenv("KORU_LOGFILE", (">" + path).c_str(), 1);
    koru_log("fresh\n");
    EXPECT_EQ(lines(path), "Logfile \"" + path + "\" opened\nKORU 0.31\nfresh\n");
    unsetenv("KORU_LOGFILE");
}

TEST_F(LogFixture, UnopenableFileLeavesLoggingSilent)
{
    koru_log("KORU_LOGFILE=%s", dir.at("no/such/folder/log.txt").c_str());
    EXPECT_EQ(koru_log("nothing\n"), 0);
    koru_error("still nothing");
    EXPECT_STREQ(koru_last_error(), "still nothing");
}

TEST_F(LogFixture, ErrorIsLoggedAndRemembered)
{
    std::string path = dir.at("log.txt");
    koru_log("KORU_LOGFILE=%s", path.c_str());
    koru_error("no sound device");
    EXPECT_STREQ(koru_last_error(), "no sound device");
    EXPECT_NE(lines(path).find("Error: no sound device\n"), std::string::npos);
}

struct OptionsFixture : LogFixture {
    std::string path;
    void use(const char* options)
    {
        path = dir.at("log.txt");
        koru_log_reset();
        koru_log("KORU_LOGFILE=%s", path.c_str());
        setenv("KORU_OPTIONS", options, 1);
        koru_options_reset();
    }
    void TearDown() override
    {
        unsetenv("KORU_OPTIONS");
        koru_options_reset();
        LogFixture::TearDown();
    }
    bool logged_unrecognized(const char* name)
    {
        return lines(path).find(std::string("unrecognized setting for ") + name + "\n") != std::string::npos;
    }
};

TEST_F(OptionsFixture, Flags)
{
    struct Case {
        const char* options;
        int default_value, expected;
        bool complaint;
    } const cases[] = {
        {"[threaded:on]", 0, 1, false},
        {"[threaded:yes]", 0, 1, false},
        {"x [threaded:off] y", 1, 0, false},
        {"[threaded:no]", 1, 0, false},
        {"[threaded:true]", 0, 0, true},
        {"[threaded:on", 0, 0, true}, // no closing bracket
        {"", 1, 1, false},
        {"[dsnd:on]", 0, 0, false},
    };
    for (const Case& c : cases) {
        use(c.options);
        EXPECT_EQ(koru_option_flag("threaded", c.default_value), c.expected) << c.options;
        EXPECT_EQ(logged_unrecognized("threaded"), c.complaint) << c.options;
    }
}

TEST_F(OptionsFixture, Integers)
{
    struct Case {
        const char* options;
        int expected;
        bool complaint;
    } const cases[] = {
        {"[sound-rate:44100]", 44100, false},
        {"[sound-rate:44100x]", 44100, false},
        {"[sound-rate:-5]", -5, false},
        {"[sound-rate:]", 22050, true},
        {"[sound-rate:fast]", 22050, true},
        {"[sound-channels:8]", 22050, false},
    };
    for (const Case& c : cases) {
        use(c.options);
        EXPECT_EQ(koru_option_int("sound-rate", 22050), c.expected) << c.options;
        EXPECT_EQ(logged_unrecognized("sound-rate"), c.complaint) << c.options;
    }
}

TEST(Clock, SleepWaitsAtLeastTheTimeAsked)
{
    for (int us : {500, 3000, 20000}) {
        timespec before, after;
        clock_gettime(CLOCK_MONOTONIC, &before);
        koru_sleep(0, us);
        clock_gettime(CLOCK_MONOTONIC, &after);
        long long waited_ns = (after.tv_sec - before.tv_sec) * 1000000000LL + (after.tv_nsec - before.tv_nsec);
        EXPECT_GE(waited_ns, us * 1000LL);
    }
}

TEST(Clock, TimeNeverGoesBackwards)
{
    int s0, us0;
    koru_time(&s0, &us0);
    koru_sleep(0, 2000);
    int s1, us1;
    koru_time(&s1, &us1);
    EXPECT_GE(s1 * 1000000LL + us1, s0 * 1000000LL + us0 + 1000);
    EXPECT_EQ(us1 % 1000, 0); // a millisecond clock
}

} // namespace
