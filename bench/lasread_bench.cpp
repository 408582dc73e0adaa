// LAS file reading: 10^7 uncompressed format-0 points (200 MB) read point by
// point through LASreaderLAS::read_point, and format-1 and format-6 files of
// 10^6 points for the other raw paths. Reports points per second.
#include <benchmark/benchmark.h>

#include <cstdint>  // int64_t sums
#include <cstdio>   // remove
#include <string>   // file names

#include "lasio/lasreaderlas.hpp"  // LASreaderLAS
#include "lasio/laswriterlas.hpp"  // LASwriterLAS, making the files
#include "tool/lasmessage.hpp"   // halt_on_error

namespace {

// A file of `count` points of one format, written once and removed at exit.
class PointFile {
 public:
  PointFile(int format, int64_t count) : count_(count) {
    static const uint16_t sizes[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    path_ = "/tmp/lasread_bench_" + std::to_string(format) + "_" + std::to_string(count) + "_" +
            std::to_string(reinterpret_cast<uintptr_t>(this)) + ".las";
    LASheader header;
    header.version_minor = format >= 6 ? 4 : 2;
    header.point_data_format = static_cast<uint8_t>(format);
    header.point_data_record_length = sizes[format];
    LASwriterLAS writer;
    if (!writer.open(path_.c_str(), &header)) return;
    LASpoint point;
    point.init(&header, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &header);
    for (int64_t i = 0; i < count; i++) {
      point.X = static_cast<int32_t>(i % 10000);
      point.Y = static_cast<int32_t>(i / 10000);
      point.Z = static_cast<int32_t>((i * 7919) % 100000);
      point.intensity = static_cast<uint16_t>(i);
      point.gps_time = static_cast<double>(i);
      if (!writer.write_point(&point)) return;
    }
    ok_ = writer.close() > 0;
  }
  ~PointFile() { remove(path_.c_str()); }
  const std::string& path() const { return path_; }
  int64_t count() const { return count_; }
  bool ok() const { return ok_; }

 private:
  std::string path_;
  int64_t count_;
  bool ok_ = false;
};

void read_all(benchmark::State& state, const PointFile& file) {
  if (!file.ok()) {
    state.SkipWithError("cannot write the point file");
    return;
  }
  int64_t sum = 0;
  for (auto _ : state) {
    LASreaderLAS reader(nullptr);
    if (!reader.open(file.path().c_str())) {
      state.SkipWithError("cannot open the point file");
      return;
    }
    int64_t n = 0;
    while (reader.read_point()) {
      sum += reader.point.Z;
      n++;
    }
    if (n != file.count()) {
      state.SkipWithError("not every point was read");
      return;
    }
    reader.close();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * file.count());
}

void BM_ReadFormat0_10M(benchmark::State& state) {
  halt_on_error(false);
  static const PointFile file(0, 10000000);
  read_all(state, file);
  state.SetBytesProcessed(state.iterations() * file.count() * 20);
}

void BM_ReadFormat1_1M(benchmark::State& state) {
  halt_on_error(false);
  static const PointFile file(1, 1000000);
  read_all(state, file);
  state.SetBytesProcessed(state.iterations() * file.count() * 28);
}

void BM_ReadFormat6_1M(benchmark::State& state) {
  halt_on_error(false);
  static const PointFile file(6, 1000000);
  read_all(state, file);
  state.SetBytesProcessed(state.iterations() * file.count() * 30);
}

}  // namespace

BENCHMARK(BM_ReadFormat0_10M)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadFormat1_1M)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFormat6_1M)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
