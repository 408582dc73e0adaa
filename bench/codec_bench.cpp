// Point decoding speed: points per second for compressed point data read
// through LASreadPoint from memory, with the compressed size in bytes per
// point. Data sets: a raster stored as points (a grid in row order with a
// smooth surface, as RasterPTC files hold), lidar-like points (scan lines,
// changing returns and intensities), and, for the item codecs' worst case,
// random records. Encoded once up front through LASwritePoint. Also format-6
// lidar-like points (layered, item version 3) decoded with every layer and
// with only the X, Y and Z layers.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/lasreaditemraw.hpp"
#include "ptcomp/lasreadpoint.hpp"
#include "ptcomp/layermask.hpp"
#include "ptcomp/laswritepoint.hpp"
#include "ptcomp/ptcomp.hpp"

namespace {

constexpr uint32_t kGridSide = 1000;  // 10^6 points
constexpr uint32_t kPoints = kGridSide * kGridSide;

struct Encoded {
  std::unique_ptr<PTcomp> settings;
  std::vector<uint8_t> bytes;
  uint32_t count = 0;
  uint32_t point_size = 0;
};

void put32(uint8_t* p, int32_t v) { memcpy(p, &v, 4); }

// Format 0 records of the given kind.
std::vector<uint8_t> make_records(int kind) {
  std::vector<uint8_t> data(size_t(kPoints) * 20, 0);
  std::mt19937 rng(7);
  for (uint32_t i = 0; i < kPoints; i++) {
    uint8_t* p = data.data() + size_t(i) * 20;
    if (kind == 0) {
      // Raster: 1 m cells in centimetres, heights in centimetres.
      const uint32_t row = i / kGridSide, col = i % kGridSide;
      put32(p, static_cast<int32_t>(col * 100 + 50));
      put32(p + 4, static_cast<int32_t>((kGridSide - row) * 100 - 50));
      const double z = 40000.0 + 3000.0 * std::sin(col * 0.013) * std::cos(row * 0.011) + 0.7 * (col + row);
      put32(p + 8, static_cast<int32_t>(std::lround(z)));
      p[14] = 0x09;
      p[15] = 2;
    } else if (kind == 1) {
      // Lidar: scan lines of 500 points, 1-3 returns, noisy heights.
      const uint32_t line = i / 500, k = i % 500;
      const uint32_t returns = 1 + (rng() % 8 == 0 ? 1 + rng() % 2 : 0);
      put32(p, static_cast<int32_t>(k * 37 + (rng() % 7)));
      put32(p + 4, static_cast<int32_t>(line * 41 + (rng() % 5)));
      put32(p + 8, static_cast<int32_t>(20000 + 300 * std::sin(k * 0.02) + rng() % 40));
      const uint16_t intensity = static_cast<uint16_t>(200 + rng() % 300);
      memcpy(p + 12, &intensity, 2);
      p[14] = static_cast<uint8_t>(1 | (returns << 3) | ((line & 1) << 6));
      p[15] = static_cast<uint8_t>(rng() % 10 == 0 ? 5 : 2);
      p[16] = static_cast<uint8_t>(static_cast<int8_t>(static_cast<int>(k / 9) - 27));
      const uint16_t source = static_cast<uint16_t>(line / 20);
      memcpy(p + 18, &source, 2);
    } else {
      for (int b = 0; b < 20; b++) p[b] = static_cast<uint8_t>(rng());
    }
  }
  return data;
}

const Encoded& encoded(int kind) {
  static Encoded cache[3];
  Encoded& e = cache[kind];
  if (!e.bytes.empty()) return e;
  e.settings.reset(new PTcomp());
  e.settings->setup(0, 20, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  e.settings->request_version(2);
  const std::vector<uint8_t> records = make_records(kind);
  LASwritePoint writer;
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(1 << 22));
  if (!writer.setup(e.settings->num_items, e.settings->items, e.settings.get()) || !writer.init(out.get())) abort();
  for (uint32_t i = 0; i < kPoints; i++) {
    const uint8_t* item = records.data() + size_t(i) * 20;
    if (!writer.write(&item)) abort();
  }
  if (!writer.done()) abort();
  e.bytes.assign(out->get_data(), out->get_data() + out->get_size());
  e.count = kPoints;
  e.point_size = 20;
  return e;
}

void BM_DecodeFormat0V2(benchmark::State& state) {
  const Encoded& e = encoded(static_cast<int>(state.range(0)));
  uint8_t point[20];
  uint8_t* items[1] = {point};
  int64_t checksum = 0;
  for (auto _ : state) {
    LASreadPoint reader;
    std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(e.bytes.data(), static_cast<long long>(e.bytes.size())));
    if (!reader.setup(e.settings->num_items, e.settings->items, e.settings.get()) || !reader.init(in.get())) {
      state.SkipWithError("setup failed");
      return;
    }
    for (uint32_t i = 0; i < e.count; i++) {
      if (!reader.read(items)) {
        state.SkipWithError(reader.error());
        return;
      }
      int32_t z;
      memcpy(&z, point + 8, 4);
      checksum += z;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * int64_t(e.count));
  state.SetBytesProcessed(state.iterations() * int64_t(e.bytes.size()));
  state.counters["bytes_per_point"] = static_cast<double>(e.bytes.size()) / e.count;
}

BENCHMARK(BM_DecodeFormat0V2)->ArgName("data")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// Two decoders over independent copies of the same data, taking turns point
// by point in one thread: how much of one decoder's latency the processor
// hides behind the other's work (the gain that decoding two chunks side by
// side would bring).
void BM_DecodeFormat0V2Pair(benchmark::State& state) {
  const Encoded& e = encoded(static_cast<int>(state.range(0)));
  uint8_t point_a[20], point_b[20];
  uint8_t* items_a[1] = {point_a};
  uint8_t* items_b[1] = {point_b};
  int64_t checksum = 0;
  const uint32_t half = e.count / 2;
  for (auto _ : state) {
    LASreadPoint a, b;
    std::unique_ptr<ByteStreamInArray> in_a(new_byte_stream_in_array(e.bytes.data(), static_cast<long long>(e.bytes.size())));
    std::unique_ptr<ByteStreamInArray> in_b(new_byte_stream_in_array(e.bytes.data(), static_cast<long long>(e.bytes.size())));
    if (!a.setup(e.settings->num_items, e.settings->items, e.settings.get()) || !a.init(in_a.get()) ||
        !b.setup(e.settings->num_items, e.settings->items, e.settings.get()) || !b.init(in_b.get())) {
      state.SkipWithError("setup failed");
      return;
    }
    for (uint32_t i = 0; i < half; i++) {
      if (!a.read(items_a) || !b.read(items_b)) {
        state.SkipWithError("decoding failed");
        return;
      }
      int32_t za, zb;
      memcpy(&za, point_a + 8, 4);
      memcpy(&zb, point_b + 8, 4);
      checksum += za + zb;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * int64_t(half) * 2);
}

BENCHMARK(BM_DecodeFormat0V2Pair)->ArgName("data")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_EncodeFormat0V2Raster(benchmark::State& state) {
  PTcomp settings;
  settings.setup(0, 20, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  settings.request_version(2);
  const std::vector<uint8_t> records = make_records(0);
  for (auto _ : state) {
    LASwritePoint writer;
    std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(1 << 22));
    writer.setup(settings.num_items, settings.items, &settings);
    writer.init(out.get());
    for (uint32_t i = 0; i < kPoints; i++) {
      const uint8_t* item = records.data() + size_t(i) * 20;
      writer.write(&item);
    }
    writer.done();
    benchmark::DoNotOptimize(out->get_size());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kPoints));
}

BENCHMARK(BM_EncodeFormat0V2Raster)->Unit(benchmark::kMillisecond);

// Format 6, version 3: lidar-like scan lines from two scanner channels in
// alternating runs, 1-3 returns, intensities, classes and GPS times.
const Encoded& encoded_format6() {
  static Encoded e;
  if (!e.bytes.empty()) return e;
  e.settings.reset(new PTcomp());
  if (!e.settings->setup_writing(6, 30, 3)) abort();
  std::mt19937 rng(11);
  LASwritePoint writer;
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(1 << 22));
  if (!writer.setup(e.settings->num_items, e.settings->items, e.settings.get()) || !writer.init(out.get())) abort();
  uint8_t disk[30];
  uint8_t item[48] = {};
  item[22] = 1;
  uint8_t* items[1] = {item};
  double t = 250000.0;
  for (uint32_t i = 0; i < kPoints; i++) {
    memset(disk, 0, sizeof(disk));
    const uint32_t line = i / 500, k = i % 500;
    const uint32_t returns = 1 + (rng() % 8 == 0 ? 1 + rng() % 2 : 0);
    put32(disk, static_cast<int32_t>(k * 37 + (rng() % 7)));
    put32(disk + 4, static_cast<int32_t>(line * 41 + (rng() % 5)));
    put32(disk + 8, static_cast<int32_t>(20000 + 300 * std::sin(k * 0.02) + rng() % 40));
    const uint16_t intensity = static_cast<uint16_t>(200 + rng() % 300);
    memcpy(disk + 12, &intensity, 2);
    disk[14] = static_cast<uint8_t>(1 | (returns << 4));
    disk[15] = static_cast<uint8_t>(((i / 100) & 1) << 4 | (line & 1) << 6);
    disk[16] = static_cast<uint8_t>(rng() % 10 == 0 ? 5 : 2);
    const int16_t angle = static_cast<int16_t>(static_cast<int>(k) * 10 - 2500);
    memcpy(disk + 18, &angle, 2);
    const uint16_t source = static_cast<uint16_t>(line / 20);
    memcpy(disk + 20, &source, 2);
    if (rng() % 4) t += 0.00001;
    memcpy(disk + 22, &t, 8);
    las_point14_from_disk(disk, item);
    if (!writer.write(items)) abort();
  }
  if (!writer.done()) abort();
  e.bytes.assign(out->get_data(), out->get_data() + out->get_size());
  e.count = kPoints;
  e.point_size = 30;
  return e;
}

// range(0): 0 every layer, 1 only X, Y and Z.
void BM_DecodeFormat6V3(benchmark::State& state) {
  const Encoded& e = encoded_format6();
  const uint32_t mask = state.range(0) ? LayerMask::XYZ : LayerMask::ALL;
  uint8_t point[48];
  uint8_t* items[1] = {point};
  int64_t checksum = 0;
  for (auto _ : state) {
    LASreadPoint reader(mask);
    std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(e.bytes.data(), static_cast<long long>(e.bytes.size())));
    if (!reader.setup(e.settings->num_items, e.settings->items, e.settings.get()) || !reader.init(in.get())) {
      state.SkipWithError("setup failed");
      return;
    }
    for (uint32_t i = 0; i < e.count; i++) {
      if (!reader.read(items)) {
        state.SkipWithError(reader.error());
        return;
      }
      int32_t z;
      memcpy(&z, point + 8, 4);
      checksum += z;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(state.iterations() * int64_t(e.count));
  state.SetBytesProcessed(state.iterations() * int64_t(e.bytes.size()));
  state.counters["bytes_per_point"] = static_cast<double>(e.bytes.size()) / e.count;
}

BENCHMARK(BM_DecodeFormat6V3)->ArgName("xyz_only")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
