#include "track_map.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int map_size = 256;

} // namespace

Picture track_map(const TrackGround& g, const TrackTiming& timing)
{
    // Map point (u, v) is world (u W, v W): columns run along x, rows
    // along z, as the HUD draws it.
    const int per = (g.samples - 1) / map_size; // samples per map pixel
    // What the riders ride on: the dirt of the track, or the packed sand
    // (soft sand lies all round a sand track).
    const int riding = g.course->surface == surface_sand ? layer_packed : layer_loose;
    std::vector<float> cover(size_t(map_size) * map_size);
    for (int y = 0; y < map_size; y++)
        for (int x = 0; x < map_size; x++) {
            int hits = 0;
            for (int j = 0; j < per; j++)
                for (int i = 0; i < per; i++)
                    hits += g.layer[size_t(y * per + j) * g.samples + x * per + i] >= riding;
            cover[size_t(y) * map_size + x] = float(hits) / float(per * per);
        }
    Picture p(map_size, map_size, 4);
    for (int y = 0; y < map_size; y++)
        for (int x = 0; x < map_size; x++) {
            float c = cover[size_t(y) * map_size + x];
            // A dark outline round the track, so it reads over any scene.
            float edge = 0;
            for (int dy = -2; dy <= 2; dy++)
                for (int dx = -2; dx <= 2; dx++) {
                    int xx = std::clamp(x + dx, 0, map_size - 1), yy = std::clamp(y + dy, 0, map_size - 1);
                    edge = std::max(edge, cover[size_t(yy) * map_size + xx]);
                }
            float r = 30, gr = 44, b = 30, a = 60 + 150 * edge; // field, then outline
            r += (235 - r) * c;
            gr += (222 - gr) * c;
            b += (196 - b) * c;
            a += (240 - a) * c;
            uint8_t* px = p.at(x, y);
            px[0] = uint8_t(std::lround(r));
            px[1] = uint8_t(std::lround(gr));
            px[2] = uint8_t(std::lround(b));
            px[3] = uint8_t(std::lround(std::min(255.0f, a)));
        }
    auto dot = [&](float wx, float wz, int radius, const uint8_t colour[3], bool chequer) {
        int cx = int(wx / g.world * map_size), cz = int(wz / g.world * map_size);
        for (int y = cz - radius; y <= cz + radius; y++)
            for (int x = cx - radius; x <= cx + radius; x++) {
                if (x < 0 || y < 0 || x >= map_size || y >= map_size)
                    continue;
                uint8_t* px = p.at(x, y);
                bool dark = chequer && ((x + y) & 1);
                for (int k = 0; k < 3; k++)
                    px[k] = dark ? 20 : colour[k];
                px[3] = 255;
            }
    };
    const uint8_t white[3] = {255, 255, 255}, red[3] = {220, 40, 30};
    for (const StartPlace& s : timing.places)
        dot(s.x, s.z, 0, red, false);
    const TimingGate& finish = timing.gates[size_t(timing.finish_gate)];
    dot(finish.x, finish.z, 3, white, true);
    return p;
}
