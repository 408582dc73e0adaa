// Area reads with and without the spatial index: a compressed file of 10^7
// spatially sorted format-1 points with its index stored in the file; a
// square of 1% of the extent read through the index and point by point.
// Reports the points delivered and the points decoded.
#include <benchmark/benchmark.h>

#include <algorithm>  // sort
#include <cstdint>    // point numbers
#include <cstdio>     // remove
#include <random>     // point placement
#include <string>     // file names
#include <vector>     // the points before sorting

#include "index/lasindex.hpp"      // LASindex::full, the points decoded
#include "lasio/lasindexfile.hpp"  // index_point_file
#include "lasio/lasreaderlas.hpp"  // LASreaderLAS
#include "lasio/laswriterlas.hpp"  // LASwriterLAS, making the file
#include "tool/lasmessage.hpp"     // halt_on_error

namespace {

constexpr int64_t kCount = 10000000;
constexpr int32_t kSide = 1000000;  // extent in units of 0.01: 10 km

class IndexedFile {
 public:
  IndexedFile() {
    const std::string base = "/tmp/index_bench_" + std::to_string(reinterpret_cast<uintptr_t>(this));
    path_ = base + ".ptc";
    std::vector<uint64_t> keys(kCount);  // z order of 1 m blocks, then the point
    std::mt19937_64 random(3);
    std::vector<std::pair<int32_t, int32_t>> xy(kCount);
    for (int64_t i = 0; i < kCount; i++) {
      xy[i] = {static_cast<int32_t>(random() % kSide), static_cast<int32_t>(random() % kSide)};
      uint64_t key = 0;
      for (int bit = 0; bit < 16; bit++) {
        key |= uint64_t(((xy[i].first / 100) >> bit) & 1) << (2 * bit);
        key |= uint64_t(((xy[i].second / 100) >> bit) & 1) << (2 * bit + 1);
      }
      keys[i] = (key << 24) | static_cast<uint64_t>(i);
    }
    std::sort(keys.begin(), keys.end());
    LASheader header;
    header.version_minor = 2;
    header.point_data_format = 1;
    header.point_data_record_length = 28;
    header.x_scale_factor = header.y_scale_factor = header.z_scale_factor = 0.01;
    LASwriterLAS writer;
    if (!writer.open(path_.c_str(), &header, PTcomp::COMPRESSOR_POINTWISE_CHUNKED)) return;
    LASpoint point;
    point.init(&header, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &header);
    for (int64_t n = 0; n < kCount; n++) {
      const auto& p = xy[keys[n] & 0xFFFFFF];
      point.X = p.first;
      point.Y = p.second;
      point.Z = static_cast<int32_t>(n % 5000);
      point.gps_time = static_cast<double>(n);
      if (!writer.write_point(&point)) return;
    }
    ok_ = writer.close() > 0 && index_point_file(path_.c_str());
  }
  ~IndexedFile() {
    remove(path_.c_str());
  }
  const std::string& path() const { return path_; }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

const IndexedFile& file() {
  static IndexedFile f;
  return f;
}

// A square of 1% of the extent (1 km by 1 km) inside the file.
void read_area(benchmark::State& state, bool with_index) {
  halt_on_error(false);
  if (!file().ok()) {
    state.SkipWithError("cannot write the point file");
    return;
  }
  int64_t delivered = 0, decoded = 0;
  for (auto _ : state) {
    LASreaderLAS reader(nullptr);
    if (!reader.open(file().path().c_str()) || reader.get_index() == nullptr) {
      state.SkipWithError("cannot open the indexed file");
      return;
    }
    if (!with_index) reader.set_index(nullptr);
    reader.inside_rectangle(4321.0, 2345.0, 5321.0, 3345.0);
    delivered = 0;
    while (reader.read_point()) delivered++;
    decoded = with_index ? reader.get_index()->full : kCount;
  }
  state.counters["points_delivered"] = static_cast<double>(delivered);
  state.counters["points_decoded"] = static_cast<double>(decoded);
}

void BM_AreaWithIndex(benchmark::State& state) { read_area(state, true); }
void BM_AreaWithoutIndex(benchmark::State& state) { read_area(state, false); }

BENCHMARK(BM_AreaWithIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AreaWithoutIndex)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
