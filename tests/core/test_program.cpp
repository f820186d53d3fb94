// The game executable run as a person would: exit codes, messages, the log
// and the configuration it leaves in the home folder.
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

struct ProgramFixture : ::testing::Test {
    TempDir dir;
    std::string output;

    std::string home(const std::string& relative = "") { return dir.path + "/xdg/Dustline/" + relative; }
    std::string data(const std::string& relative = "") { return dir.path + "/data/" + relative; }

    void install_game_data() { write_file(data("zzzz.saf"), read_file(std::string(DL_BIN_DIR) + "/zzzz.saf")); }

    // Runs the game on SDL's offscreen display and asks it to end with
    // SIGTERM after the given time, as a desktop session ending would.
    int run(const std::string& arguments, const std::string& extra_env = "", int seconds = 3)
    {
        std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u KORU_LOGFILE -u KORU_OPTIONS "
                              "SDL_VIDEODRIVER=offscreen HOME=" +
                              dir.path + "/home XDG_DATA_HOME=" + dir.path + "/xdg DL_HOME=" + dir.path + "/data " +
                              extra_env + " timeout --preserve-status -s TERM " + std::to_string(seconds) + " " +
                              DL_BIN_DIR + "/dustline " + arguments;
        return run_command(command, &output);
    }
};

TEST_F(ProgramFixture, WithoutGameDataSaysSoAndExitsZero)
{
    EXPECT_EQ(run(""), 0);
    EXPECT_NE(output.find("Can't find game data"), std::string::npos) << output;
}

TEST_F(ProgramFixture, BadOptionExitsOne)
{
    install_game_data();
    write_file(data("hill/terrain.hf"), "");
    EXPECT_EQ(run("--fugly=1"), 1);
    EXPECT_EQ(output, "bad option '--fugly=1'\n");
    EXPECT_EQ(run("--lod-scale=x"), 1);
    EXPECT_EQ(output, "Bad arg for --lod-scale\n");
}

TEST_F(ProgramFixture, NoTracksExitsOne)
{
    install_game_data();
    EXPECT_EQ(run(""), 1);
    EXPECT_EQ(output, "No tracks found\n");
}

TEST_F(ProgramFixture, FullRunLogsAndWritesTheDefaultConfiguration)
{
    install_game_data();
    write_file(data("hill/terrain.hf"), "");
    write_file(data("hill/desc"), "Hill Country\n");
    EXPECT_EQ(run("--debug"), 0) << output;
    std::string log = read_file(home("lastlog.txt"));
    EXPECT_EQ(log.find("] Logfile \"" + home("lastlog.txt") + "\" opened\n"), log.find(']'));
    EXPECT_NE(log.find("] KORU 0.31\n"), std::string::npos);
    EXPECT_NE(log.find("] hill -> Hill Country\n"), std::string::npos) << log;
    std::string config = read_file(home("config"));
    EXPECT_EQ(config.substr(0, 9), "xres=640\n");
    EXPECT_NE(config.find("\nlaps=5.000000\n"), std::string::npos);

    // A second run reads it back and leaves the same file.
    EXPECT_EQ(run(""), 0) << output;
    EXPECT_EQ(read_file(home("config")), config);
}

TEST_F(ProgramFixture, ConfigurationValuesAreClampedAndMapped)
{
    install_game_data();
    write_file(data("hill/terrain.hf"), "");
    write_file(home("config"), "laps=75\nbike=dk250f\nunknown_key=1\n");
    EXPECT_EQ(run(""), 0) << output;
    std::string config = read_file(home("config"));
    EXPECT_NE(config.find("\nlaps=50.000000\n"), std::string::npos) << config;
    EXPECT_NE(config.find("\nbike=dk250f(2008)\n"), std::string::npos) << config;
    EXPECT_EQ(config.find("unknown_key"), std::string::npos);
}

TEST_F(ProgramFixture, OpenHomeRunsTheDesktopOpenerAndExitsZero)
{
    install_game_data();
    write_file(data("hill/terrain.hf"), "");
    std::string bin = dir.path + "/bin";
    write_file(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" > " + dir.path + "/opened\n");
    ASSERT_EQ(run_command("chmod +x " + bin + "/xdg-open"), 0);
    EXPECT_EQ(run("--width=800 --open-home --fugly=1", "PATH=" + bin + ":$PATH"), 0) << output;
    for (int i = 0; i < 100 && !file_exists(dir.path + "/opened"); i++)
        run_command("sleep 0.05");
    EXPECT_EQ(read_file(dir.path + "/opened"), home().substr(0, home().size() - 1) + "\n");
    EXPECT_FALSE(file_exists(home("config"))); // nothing else ran
}

} // namespace

#include "core/startup.h"
#include "data/config.h"
#include "data/home.h"
#include "data/stream.h"

#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

// What a run with no configuration leaves behind: the built-in defaults
// with the stability preset start-up applies.
std::string default_config_file()
{
    TestHome t;
    config_defaults();
    apply_stability_preset(100);
    EXPECT_TRUE(config_write());
    return read_file(t.home("config"));
}

TEST_F(ProgramFixture, FirstRunWritesExactlyTheDefaultFile)
{
    install_game_data();
    write_file(data("hill/terrain.hf"), "");
    ASSERT_EQ(run(""), 0) << output;
    std::string expected = default_config_file();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(read_file(home("config")), expected);
}

TEST(Signals, EndStartUpWithoutTouchingTheConfiguration)
{
    TestHome t;
    write_file(t.data("zzzz.saf"), read_file(std::string(DL_BIN_DIR) + "/zzzz.saf"));
    write_file(t.data("hill/terrain.hf"), "");
    write_file(t.home("config"), "laps=7\n");
    char name[] = "dustline";
    char* argv[] = {name, nullptr};
    // SIGTERM no longer kills the process; it asks for an orderly end, and
    // the main loop ends at its next pass.
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    std::thread terminate([] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        kill(getpid(), SIGTERM);
    });
    EXPECT_EQ(dustline_main(1, argv), 0); // installs the handlers
    terminate.join();
    EXPECT_EQ(quit_requested, 1);
    std::string written = read_file(t.home("config"));
    EXPECT_NE(written.find("\nlaps=7.000000\n"), std::string::npos);

    write_file(t.home("config"), "laps=9\n");
    data_reset();
    EXPECT_EQ(dustline_main(1, argv), 0);
    // Stopped before the configuration was read: the file is left as it was.
    EXPECT_EQ(read_file(t.home("config")), "laps=9\n");
    quit_requested = 0;
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
}

} // namespace

namespace {

TEST_F(ProgramFixture, NamedTrackGetsItsFirstSession)
{
    install_release(data());
    EXPECT_EQ(run("--debug --track dunebowl", "", 5), 0) << output;
    std::string log = read_file(home("lastlog.txt"));
    EXPECT_NE(log.find("] Loading 'dunebowl'\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] Found "), std::string::npos) << log; // its timing gates
    EXPECT_NE(log.find("] Deallocating track\n"), std::string::npos) << log;
    EXPECT_LT(log.find("] Finished deallocating bikes\n"), log.find("] Deallocating track\n"));
}

} // namespace

namespace {

TEST_F(ProgramFixture, WithoutADisplayTheWindowFailsWithExitOne)
{
    install_game_data();
    write_file(data("hill/terrain.hf"), "");
    EXPECT_EQ(run("", "SDL_VIDEODRIVER=x11"), 1) << output;
    std::string log = read_file(home("lastlog.txt"));
    EXPECT_NE(log.find("] Error: Can't create window!\n"), std::string::npos) << log;
    EXPECT_FALSE(file_exists(home("config")));
}

// The frames of a recording, each "P6\n<w> <h>\n255\n" and its pixels.
struct Frames {
    int count = 0, width = 0, height = 0;
    bool consistent = true;
    unsigned char first_pixel[3] = {};
};

Frames parse_frames(const std::string& bytes)
{
    Frames frames;
    size_t at = 0;
    while (at < bytes.size()) {
        int w = 0, h = 0, consumed = 0;
        if (sscanf(bytes.c_str() + at, "P6\n%d %d\n255\n%n", &w, &h, &consumed) != 2 || consumed == 0) {
            frames.consistent = false;
            break;
        }
        size_t pixels = size_t(w) * size_t(h) * 3;
        if (at + consumed + pixels > bytes.size()) {
            frames.consistent = false; // a frame cut short
            break;
        }
        if (frames.count == 0) {
            frames.width = w;
            frames.height = h;
            memcpy(frames.first_pixel, bytes.data() + at + consumed, 3);
        } else if (w != frames.width || h != frames.height) {
            frames.consistent = false;
        }
        frames.count++;
        at += consumed + pixels;
    }
    return frames;
}

TEST_F(ProgramFixture, UnderXvfbRecordsFramesOfTheWindowSizeAndEndsOnSigterm)
{
    if (run_command("command -v xvfb-run") != 0)
        GTEST_SKIP() << "xvfb-run is not installed";
    install_release(data());
    write_file(home("config"), "video_mode=Windowed\n");
    std::string frames_file = dir.path + "/frames.ppm", pid_file = dir.path + "/pid",
                status_file = dir.path + "/status";
    // The game runs in the background under its own X server; once it has
    // written a few frames it gets SIGTERM, and its exit status is kept.
    std::string game = std::string(DL_BIN_DIR) + "/dustline --width 320 --height 240 --lock-fps 30 --record-video > " +
                       frames_file;
    std::string command = "env -u KORU_LOGFILE -u KORU_OPTIONS -u SDL_VIDEODRIVER HOME=" + dir.path +
                          "/home XDG_DATA_HOME=" + dir.path + "/xdg DL_HOME=" + dir.path +
                          "/data xvfb-run -a sh -c '" + game + " & echo $! > " + pid_file + "; wait $!; echo $? > " +
                          status_file + "' > /dev/null 2>&1 &";
    ASSERT_EQ(run_command(command), 0);
    const size_t frame_bytes = 15 + 320 * 240 * 3;
    for (int wait = 0; wait < 1200 && !(file_exists(frames_file) && read_file(frames_file).size() >= 8 * frame_bytes);
         wait++)
        run_command("sleep 0.05");
    ASSERT_TRUE(file_exists(pid_file));
    ASSERT_EQ(run_command("kill -TERM $(cat " + pid_file + ")"), 0);
    for (int wait = 0; wait < 1200 && !file_exists(status_file); wait++)
        run_command("sleep 0.05");
    ASSERT_TRUE(file_exists(status_file));
    EXPECT_EQ(read_file(status_file), "0\n");
    Frames frames = parse_frames(read_file(frames_file));
    EXPECT_TRUE(frames.consistent);
    EXPECT_GT(frames.count, 5);
    EXPECT_EQ(frames.width, 320);
    EXPECT_EQ(frames.height, 240);
    // The top-left corner shows the sky box: blue, and not the colour the
    // frame is cleared to.
    const unsigned char* p = frames.first_pixel;
    EXPECT_GT(p[2], p[0] + 20);
    EXPECT_FALSE(p[0] == 50 && p[1] == 153 && p[2] == 204);
    std::string log = read_file(home("lastlog.txt"));
    EXPECT_NE(log.find("] GL_VERSION: "), std::string::npos) << log;
    EXPECT_NE(log.find("] Window shutdown complete\n"), std::string::npos) << log;
    EXPECT_NE(read_file(home("config")).find("video_mode=Windowed\n"), std::string::npos);
}

} // namespace
