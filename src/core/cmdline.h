// The command line: options beginning "--", a value after "=" or as the next
// argument, a lone "--" ending the options, and one demo file.
#pragma once
#include <cstdio>

struct LaunchSettings;

// Start-up values that belong to the main loop and live for the whole run.
struct StartOptions {
    int no_sound = 0;
    int warp = 0;
    float lock_fps = 0;
    const char* record_audio_file = nullptr;
    int record_video = 0;
    int show_pause_banner = 1;
    int show_hud = 1;
    int gl_finish = 0;
    float chase_center[3] = {0, 2.52f, 0.52f};
};

enum CommandLineOutcome {
    command_line_go_on,     // start the game
    command_line_failed,    // a message was written; exit code 1
    command_line_open_home, // open the home folder and exit with code 0
};

// Parses argv[1..argc-1] into the settings. Messages go to the given stream
// (standard error in the program).
CommandLineOutcome parse_command_line(int argc, char** argv, LaunchSettings* launch,
                                      StartOptions* start, FILE* messages);
