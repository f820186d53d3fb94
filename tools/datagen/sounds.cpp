// The engine-sound pipe files of "sounds.saf". A bike looks for its pipe
// file by its graphics name, dropping one "-" part at a time, and ends at
// "default125.pipeinfo" (two-strokes) or "default250f.pipeinfo"
// (four-strokes). Only these two are shipped: a bike with the stock graphics
// searches by its model name, which has no extension and goes straight to
// the default, so a per-family file would change a bike's sound with its
// paint (a robot's dk250f wears dl250 graphics) and never apply otherwise.
#include "assets.h"
#include "release.h"

#include <cstdio>
#include <string>

namespace {

// One "pipe" line: taps first .. last (of 16) echo a pipe of the given
// length in feet, the taps spread over lengths down to length - spread,
// their gains summing to gain. The gains of a file add up to less than 1 in
// size, so the echo decays.
struct PipeLine {
    double length, spread, gain;
    int first, last;
    const char* why;
};

struct PipeFile {
    const char* member;
    const char* title;
    PipeLine lines[2];
};

const PipeFile pipes[] = {
    {"default250f.pipeinfo",
     "four-stroke 250s: one firing every second turn into a long header",
     {{5.25, 0.95, -0.7, 0, 11, "header and mid-pipe: the deep, even thump"},
      {1.6, 0.5, 0.14, 12, 15, "silencer chamber: rounds off the bark"}}},
    {"default125.pipeinfo",
     "two-stroke 125s: a firing every turn into an expansion chamber",
     {{1.9, 0.35, -0.64, 0, 11, "expansion chamber: the sharp, ringing crackle"},
      {0.7, 0.2, 0.2, 12, 15, "stinger: a short bright return"}}},
};

std::string number_text(double v)
{
    char text[32];
    snprintf(text, sizeof text, "%g", v);
    return text;
}

std::string pipe_text(const PipeFile& file)
{
    std::string text = "# Dustline engine sound, " + std::string(file.title) + "\n";
    text += "# pipe <length> <spread> <gain> <first tap> <last tap>\n";
    for (const PipeLine& line : file.lines)
        text += "pipe " + number_text(line.length) + " " + number_text(line.spread) + " " + number_text(line.gain) + " " +
                std::to_string(line.first) + " " + std::to_string(line.last) + "  # " + line.why + "\n";
    return text;
}

} // namespace

void add_sounds(Release* release)
{
    for (const PipeFile& file : pipes)
        add_member(release, "sounds.saf", file.member, pipe_text(file));
}
