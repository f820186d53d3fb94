// Small track folders and message capture for the terrain and material tests.
#pragma once
#include "base/message_log.h"
#include "data/stream.h"
#include "track/terrain.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The messages posted since the last clear_message_log(), oldest first.
inline std::vector<std::string> posted_messages()
{
    std::vector<std::string> lines;
    for (int k = 0; k < message_log.next; k++)
        lines.push_back(message_log.lines[k]);
    return lines;
}

// A zeroed record on the heap (it holds the whole material table).
inline std::unique_ptr<Terrain> new_terrain()
{
    return std::make_unique<Terrain>();
}

inline std::string hf_header(int m, float s, float low, float high)
{
    char text[128];
    snprintf(text, sizeof text, "%d %g %g %g\n", m, double(s), double(low), double(high));
    return text;
}

// A header followed by ":" and the little-endian words.
inline std::string hf_inline(int m, float s, float low, float high, const std::vector<uint16_t>& words)
{
    std::string text = hf_header(m, s, low, high) + ":";
    for (uint16_t w : words) {
        text += char(w & 0xff);
        text += char(w >> 8);
    }
    return text;
}

inline std::string ppm(int width, int height, const std::vector<unsigned char>& rgb)
{
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
           std::string(rgb.begin(), rgb.end());
}

inline std::string pgm(int width, int height, const std::vector<unsigned char>& grey)
{
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" +
           std::string(grey.begin(), grey.end());
}

inline DataStream* text_stream(const std::string& text)
{
    return data_open_memory(text.data(), text.size());
}
