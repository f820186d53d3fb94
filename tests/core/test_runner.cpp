// The headless race runner, run from the shell as a person would.
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

struct RunnerFixture : ::testing::Test {
    TempDir dir;
    std::string output;

    void SetUp() override
    {
        write_file(dir.path + "/data/zzzz.saf", read_file(std::string(DL_BIN_DIR) + "/zzzz.saf"));
        int m = 5, n = (1 << (m + 1)) + 1;
        std::string hf = std::to_string(m) + " 1 0 10\n:" + std::string(size_t(n) * n * 2, '\0');
        write_file(dir.path + "/data/flat/terrain.hf", hf);
        write_file(dir.path + "/data/flat/shading.ppm",
                   "P6\n" + std::to_string(n) + " " + std::to_string(n) + "\n255\n" + std::string(size_t(n) * n * 3, '\x80'));
        write_file(dir.path + "/data/flat/tileinfo", "texture @dirt.png\naddtile\n");
        write_file(dir.path + "/data/flat/tilemap", std::string(32 * 32, '\0'));
        write_file(dir.path + "/data/flat/timing_gates",
                   "startinggate:\n[20 0 20] 0\n[25 0 20] 0\ncheckpoints:\n5 [22 0 50] [0 0 1]\n5 [22 0 10] [0 0 -1]\n"
                   "firstlap: 0 1\nnormallap: 0 1\n");
    }
    int run(const std::string& arguments)
    {
        return run_command("env -u DISPLAY HOME=" + dir.path + "/home XDG_DATA_HOME=" + dir.path + "/xdg DL_HOME=" +
                               dir.path + "/data " + DL_BIN_DIR + "/dustline-sim " + arguments,
                           &output);
    }
    std::string digest()
    {
        std::smatch m;
        EXPECT_TRUE(std::regex_search(output, m, std::regex("\"digest\":\"([0-9a-f]{40})\""))) << output;
        return m.size() > 1 ? m[1].str() : "";
    }
};

TEST_F(RunnerFixture, PrintsOneLineOfJsonAndIsDeterministic)
{
    ASSERT_EQ(run("--track flat --riders 4 --frames 1280"), 0) << output;
    EXPECT_TRUE(std::regex_match(output, std::regex(R"(\{"track":"flat", "riders":4, "frames":1280, "sim_s":10\.000, )"
                                                    R"("wall_s":[0-9.]+, "ratio":[0-9.]+, "digest":"[0-9a-f]{40}"\}\n)")))
        << output;
    std::string first = digest();
    ASSERT_EQ(run("--track=flat --riders=4 --frames=1280"), 0) << output;
    EXPECT_EQ(digest(), first);
    ASSERT_EQ(run("--track flat --riders 4 --frames 1280 --seed 7"), 0) << output;
    EXPECT_NE(digest(), first); // another roster and start
}

TEST_F(RunnerFixture, BadArgumentsGiveTheUsage)
{
    for (const char* arguments : {"", "--track flat", "--track flat --riders 41 --frames 10",
                                  "--track flat --riders 2 --frames -1", "--track flat --riders x --frames 1",
                                  "--track flat --riders 2 --frames 10 --fast"}) {
        EXPECT_EQ(run(arguments), 2) << arguments;
        EXPECT_NE(output.find("usage: dustline-sim"), std::string::npos) << arguments;
    }
    EXPECT_EQ(run("--track nowhere --riders 2 --frames 10"), 1);
    EXPECT_EQ(output, "dustline-sim: no track 'nowhere'\n");
}

} // namespace
