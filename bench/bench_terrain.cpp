// The three ground queries on a full-size field (M = 10: 2049 x 2049
// samples, 1024 x 1024 tiles) at random points, as the wheel contacts and
// robot probes call them. Reports queries per second.
#include "track/terrain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int size_log2 = 10;
constexpr int samples = (1 << (size_log2 + 1)) + 1;
constexpr int tiles = 1 << size_log2;
constexpr float spacing = 0.5f;
constexpr size_t point_count = 1 << 16; // more points than fit the caches with their samples
constexpr int batch = 1024;

struct BenchField {
    Terrain terrain{};
    std::vector<float> heights;
    std::vector<unsigned char> tile_map;
    std::vector<float> xs, zs;

    BenchField()
    {
        std::mt19937 random(12345);
        std::uniform_real_distribution<float> bump(-0.5f, 0.5f);
        heights.resize(size_t(samples) * samples);
        for (int j = 0; j < samples; j++)
            for (int i = 0; i < samples; i++)
                heights[size_t(j) * samples + i] = 20 * std::sin(i * 0.01f) * std::cos(j * 0.013f) + bump(random);
        tile_map.resize(size_t(tiles) * tiles);
        for (unsigned char& t : tile_map)
            t = (unsigned char)(random() % 4);

        terrain.heights = heights.data();
        terrain.tile_map = tile_map.data();
        terrain.size_log2 = size_log2;
        terrain.samples = samples;
        terrain.tiles = tiles;
        terrain.spacing = spacing;
        terrain.inv_spacing = 1 / spacing;
        terrain.tile_size = 2 * spacing;
        terrain.world_size = spacing * 2 * tiles;
        terrain.material_count = 4;

        std::uniform_real_distribution<float> across(0, terrain.world_size);
        xs.resize(point_count);
        zs.resize(point_count);
        for (size_t k = 0; k < point_count; k++) {
            xs[k] = across(random);
            zs[k] = across(random);
        }
    }
};

const BenchField& bench_field()
{
    static BenchField* field = new BenchField;
    return *field;
}

void terrain_height_random(benchmark::State& state)
{
    const BenchField& f = bench_field();
    size_t k = 0;
    for (auto _ : state) {
        float sum = 0;
        for (int n = 0; n < batch; n++, k = (k + 1) & (point_count - 1))
            sum += terrain_height(&f.terrain, f.xs[k], f.zs[k]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
}

void terrain_normal_random(benchmark::State& state)
{
    const BenchField& f = bench_field();
    size_t k = 0;
    for (auto _ : state) {
        float sum = 0;
        for (int n = 0; n < batch; n++, k = (k + 1) & (point_count - 1)) {
            float normal[3];
            terrain_normal(&f.terrain, f.xs[k], f.zs[k], normal);
            sum += normal[0] + normal[2];
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
}

void terrain_tile_random(benchmark::State& state)
{
    const BenchField& f = bench_field();
    size_t k = 0;
    for (auto _ : state) {
        int sum = 0;
        for (int n = 0; n < batch; n++, k = (k + 1) & (point_count - 1))
            sum += terrain_tile(&f.terrain, f.xs[k], f.zs[k]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * batch);
}

} // namespace

BENCHMARK(terrain_height_random);
BENCHMARK(terrain_normal_random);
BENCHMARK(terrain_tile_random);

BENCHMARK_MAIN();
