// Frames leaving the game: video frames on standard output and screenshots
// in the home folder.
#pragma once
#include <cstdint>
#include <cstdio>

// One binary PPM frame, "P6\n%d %d\n255\n" and the rows from the top down,
// from pixels kept bottom row first. False when writing fails.
bool write_video_frame(FILE* out, const unsigned char* rgb_bottom_first, int32_t width, int32_t height);
// The number of the first screenshot of a run: one more than the highest
// "screenshot<number>" among the data files, whatever the extension; 1
// when there is none.
uint32_t first_screenshot_number(const char* const* files);
// Reads the window and writes "@screenshot%03d.png" with the next number,
// posting "Saved ..." to the message log. The counter starts at 0.
void take_screenshot(int32_t width, int32_t height, uint32_t* next_number);
