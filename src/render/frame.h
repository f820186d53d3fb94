// Frame-level GL work of the main loop: the start-up state, clearing a frame,
// and reading the finished frame back for screenshots and video.
#pragma once
#include <cstdint>
#include <vector>

// Logs GL_VENDOR, GL_RENDERER, GL_VERSION and GL_EXTENSIONS.
void render_log_gl_strings();
// The state every frame starts from: the sky-blue clear colour, back faces
// culled, byte-aligned pixel rows, and flat shading when asked for.
void render_initial_state(bool flat_shading);
// The viewport for the window's size, colour and depth cleared.
void render_begin_frame(int32_t width, int32_t height);
void render_finish();
// The frame as 8-bit RGB, rows bottom first as GL keeps them. False when
// the buffer cannot be had.
bool render_read_pixels(int32_t width, int32_t height, std::vector<unsigned char>* rgb);
