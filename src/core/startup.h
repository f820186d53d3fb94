// The program's entry: start-up in its fixed order, the run, and shut-down.
#pragma once
#include <csignal>

struct LaunchSettings;

int dustline_main(int argc, char** argv);

// Set by SIGINT and SIGTERM: start-up stops at its next step and the main
// loop at its next pass, and the normal shut-down runs.
extern volatile sig_atomic_t quit_requested;

// The configuration values the drawing-detail settings come from.
struct DetailSource {
    double ground_detail;
    double ground_texture_detail;
    int ground_texture_dim_index;
    double model_detail;
    double model_texture_detail;
    double roost_density;
};

// Derives the drawing-detail launch settings from the configuration.
void derive_detail_settings(const DetailSource& source, LaunchSettings* launch);
