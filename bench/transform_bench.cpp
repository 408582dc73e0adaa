// Point transforms: points per second through typical operation chains
// (coordinates, an integer field with clamping, a classification).
#include <benchmark/benchmark.h>

#include <string>  // option words
#include <vector>  // argument vector

#include "filter/lastransform.hpp"  // LAStransform
#include "las/laspoint.hpp"         // LASpoint

namespace {

constexpr int kPoints = 65536;

void transform_points(benchmark::State& state, std::vector<std::string> options) {
  options.insert(options.begin(), "bench");
  std::vector<char*> argv;
  for (std::string& o : options) argv.push_back(&o[0]);
  LAStransform transform;
  transform.parse(static_cast<int>(argv.size()), argv.data());
  LASquantizer quantizer;
  const LASitem items[2] = {{LASitem::POINT10, 20, 0}, {LASitem::GPSTIME11, 8, 0}};
  std::vector<LASpoint> points(kPoints);
  for (int k = 0; k < kPoints; k++) {
    points[k].init(&quantizer, 2, items);
    points[k].X = k;
    points[k].Z = k * 3;
    points[k].intensity = static_cast<uint16_t>(k);
  }
  for (auto _ : state) {
    for (LASpoint& p : points) transform.transform(&p);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

BENCHMARK_CAPTURE(transform_points, translate_z, {"-translate_z", "10"});
BENCHMARK_CAPTURE(transform_points, scale_intensity, {"-scale_intensity", "2"});
BENCHMARK_CAPTURE(transform_points, rotate_xy, {"-rotate_xy", "15", "0", "0"});
BENCHMARK_CAPTURE(transform_points, chain_of_three,
                  {"-translate_xyz", "1", "2", "3", "-clamp_z", "0", "100", "-set_classification", "6"});

}  // namespace

BENCHMARK_MAIN();
