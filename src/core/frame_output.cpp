#include "core/frame_output.h"

#include "assets/image.h"
#include "base/message_log.h"
#include "data/home.h"
#include "koru/log.h"
#include "render/frame.h"

#include <cstdlib>
#include <cstring>
#include <vector>

bool write_video_frame(FILE* out, const unsigned char* rgb, int32_t width, int32_t height)
{
    if (fprintf(out, "P6\n%d %d\n255\n", width, height) < 0)
        return false;
    size_t row = size_t(width) * 3;
    for (int32_t y = height - 1; y >= 0; y--)
        if (fwrite(rgb + size_t(y) * row, 1, row, out) != row)
            return false;
    return fflush(out) == 0;
}

uint32_t first_screenshot_number(const char* const* files)
{
    static const char prefix[] = "screenshot";
    uint32_t highest = 0;
    for (const char* const* f = files; f && *f && **f; f++) { // the list ends with ""
        if (strncmp(*f, prefix, sizeof prefix - 1) != 0)
            continue;
        const char* digits = *f + sizeof prefix - 1;
        if (*digits < '0' || *digits > '9')
            continue;
        unsigned long n = strtoul(digits, nullptr, 10);
        if (n >= highest && n < UINT32_MAX)
            highest = uint32_t(n);
    }
    return highest + 1;
}

void take_screenshot(int32_t width, int32_t height, uint32_t* next_number)
{
    std::vector<unsigned char> pixels;
    if (!render_read_pixels(width, height, &pixels))
        return; // no buffer: skipped without a word
    if (*next_number == 0)
        *next_number = first_screenshot_number(data_file_list());
    uint32_t n = (*next_number)++;
    char name[64];
    snprintf(name, sizeof name, "@screenshot%03u.png", n);
    if (!write_png_rgb(name, pixels.data(), width, height)) {
        koru_log("Can't write \"%s\"\n", name + 1);
        return;
    }
    post_messagef("Saved \"screenshot%03u.png\"", n);
}
