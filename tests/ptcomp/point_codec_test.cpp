// Point formats 0 to 5 through the point record writer and reader: round trips,
// chunk tables missing or damaged, damaged chunks, seeks and raw records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/point_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

// Point records of formats 0 to 5 made up for a scenario (random bytes,
// raster-like grids, hard cases per field), written into memory (point-wise
// or chunked, fixed or variable chunks) and read back, collecting the errors
// and warnings the reader reports.
enum class Scenario {
  Random,          // every byte random
  Raster,          // a grid in row order, smooth z, constant attributes
  Hard,            // every field changes in the awkward ways
  GpsInterleaved,  // several time sequences visited in turn
};

struct PtcLayout {
  int format = 0;
  int extra = 0;
  int version = 2;
  uint16_t kind = PTcomp::COMPRESSOR_POINTWISE_CHUNKED;
  uint32_t chunk_size = 1000;    // 0: variable chunks, ended at `breaks`
  std::vector<uint32_t> breaks;  // chunk() after writing these point indices
  size_t prefix = 0;             // bytes before the point data (a stand-in header)
};

// `count` records of the layout's items, laid out as in a LAS record.
struct PointSet {
  std::vector<LASitem> items;
  uint32_t point_size = 0;
  std::vector<uint8_t> data;
  uint32_t count() const { return point_size ? static_cast<uint32_t>(data.size() / point_size) : 0; }
  const uint8_t* point(uint32_t i) const { return data.data() + size_t(i) * point_size; }
  uint8_t* point(uint32_t i) { return data.data() + size_t(i) * point_size; }
};

using lastest::put;

struct Generator {
  Scenario scenario;
  std::mt19937 rng;
  int32_t walk_x = 0, walk_y = 0;
  double times[3] = {300000.0, 301234.5, 452000.25};
  uint64_t offset = 1000;
  uint32_t packet = 256;
  uint16_t rgb[3] = {1000, 2000, 3000};

  uint32_t u32() { return rng(); }
  uint32_t below(uint32_t n) { return rng() % n; }
  int32_t around(uint32_t n) { return static_cast<int32_t>(below(2 * n + 1)) - static_cast<int32_t>(n); }
  uint64_t u64() { return (uint64_t(u32()) << 32) | u32(); }

  void point10(uint32_t i, uint8_t* p) {
    if (scenario == Scenario::Raster) {
      const uint32_t row = i / 97, col = i % 97;
      const double z = 1000.0 + 250.0 * std::sin(col * 0.05) * std::cos(row * 0.07) + 0.01 * col * row;
      put<int32_t>(p, static_cast<int32_t>(col * 100));
      put<int32_t>(p + 4, -static_cast<int32_t>(row * 100));
      put<int32_t>(p + 8, static_cast<int32_t>(std::lround(z * 100.0)));
      put<uint16_t>(p + 12, 0);
      const uint8_t rest[8] = {0x09, 2, 0, 0, 1, 0};  // return 1 of 1, ground, point source 1
      memcpy(p + 14, rest, 6);
      return;
    }
    // Awkward: coordinate steps from tiny to wrapping, every return
    // combination (valid or not) in turn, a new classification every
    // point, scan angles at their limits.
    const uint32_t pick = below(16);
    const int32_t dx = pick == 0 ? static_cast<int32_t>(u32()) : pick == 2 ? INT32_MIN : around(10);
    const int32_t dy = pick == 1 ? static_cast<int32_t>(u32()) : around(3);
    walk_x = static_cast<int32_t>(static_cast<uint32_t>(walk_x) + static_cast<uint32_t>(dx));
    walk_y = static_cast<int32_t>(static_cast<uint32_t>(walk_y) + static_cast<uint32_t>(dy));
    put<int32_t>(p, walk_x);
    put<int32_t>(p + 4, walk_y);
    put<int32_t>(p + 8, pick == 3 ? static_cast<int32_t>(u32()) : around(1000));
    put<uint16_t>(p + 12, i == 0 ? 500 : static_cast<uint16_t>(pick < 4 ? u32() : 500 + below(40)));
    p[14] = static_cast<uint8_t>((i % 8) | (((i / 8) % 8) << 3) | ((i % 3) << 6));
    p[15] = static_cast<uint8_t>(i * 7 + (i >> 5));
    static const int8_t angles[6] = {-128, 127, -90, 90, 0, -1};
    p[16] = static_cast<uint8_t>(angles[(i / 2) % 6]);
    p[17] = static_cast<uint8_t>(pick == 5 ? u32() : i % 4);
    put<uint16_t>(p + 18, static_cast<uint16_t>(pick == 6 ? u32() : 7));
  }

  double& step(int k, double by) { return times[k] += by; }

  // Hard: repeats, small steps, steps whose ratio to the last one hits
  // every multiplier class, huge jumps both ways, raw bit patterns.
  uint64_t hard_time() {
    const uint32_t pick = below(20);
    double t = times[0];
    if (pick >= 4 && pick < 10) t = step(0, 0.00001);
    if (pick >= 10 && pick < 13) t = step(0, 0.00001 * below(600));
    if (pick >= 13 && pick < 15) t = step(0, -0.00001 * below(12));
    if (pick >= 15 && pick < 17) t = step(0, pick == 15 ? 1e6 : -1e6);
    if (pick >= 17 && pick < 19) t = step(1 + below(2), 0.00003);
    uint64_t bits;
    memcpy(&bits, &t, 8);
    return pick == 19 ? u64() : bits;
  }

  void gps(uint32_t i, uint8_t* p) {
    double t = 400000.0 + i * 0.0001;  // Raster: a steady clock
    if (scenario == Scenario::GpsInterleaved) {
      // Three flight lines visited in turn (sometimes twice in a row), each
      // with its own steady step; now and then a new line starts.
      const uint32_t k = (i % 7 == 3) ? (i + 1) % 3 : i % 3;
      t = step(k, 0.00001 * (k + 1) + (i % 997 == 996 ? 7000.0 : 0.0));
    }
    uint64_t bits;
    memcpy(&bits, &t, 8);
    if (scenario == Scenario::Random) bits = u64();
    if (scenario == Scenario::Hard) bits = hard_time();
    put<uint64_t>(p, bits);
  }

  void rgb12(uint32_t i, uint8_t* p) {
    const uint32_t pick = scenario == Scenario::Raster ? 6 : below(6);
    if (pick == 6) rgb[0] = rgb[1] = rgb[2] = static_cast<uint16_t>(20000 + 100 * std::sin(i * 0.01));
    if (pick == 0) rgb[0] = rgb[1] = rgb[2] = static_cast<uint16_t>(u32());
    if (pick == 1) rgb[below(3)] = static_cast<uint16_t>(u32());
    if (pick == 2) rgb[below(3)] ^= 0xFF00;  // high byte only
    if (pick == 3) {
      const int d = around(10);
      for (auto& c : rgb) c = static_cast<uint16_t>(c + d);
    }
    if (pick == 4) {
      const uint16_t extremes[3] = {0, 255, 65535};
      memcpy(rgb, extremes, 6);
    }
    memcpy(p, rgb, 6);
  }

  void wavepacket(uint32_t i, uint8_t* p) {
    const bool raster = scenario == Scenario::Raster;
    const uint32_t pick = raster ? 1 : below(6);
    if (pick == 1) offset += packet;  // right after the last packet
    if (pick == 2) offset += static_cast<uint64_t>(static_cast<int64_t>(around(50000)));
    if (pick == 3) offset = u64();
    if (pick == 4) packet = below(3) == 0 ? u32() : 256 + below(3);
    p[0] = static_cast<uint8_t>(raster || i % 11 ? 1 : u32());
    put<uint64_t>(p + 1, offset);
    put<uint32_t>(p + 9, packet);
    const float xt = raster ? 0.5f : static_cast<float>(std::sin(i * 0.3));
    put<float>(p + 13, static_cast<float>(1000.0 + (i % 13)));
    put<float>(p + 17, xt);
    put<float>(p + 21, -xt);
    put<uint32_t>(p + 25, pick == 5 ? u32() : 0x3F800000u);
  }

  void bytes(uint32_t i, uint8_t* p, uint32_t n) {
    for (uint32_t k = 0; k < n; k++) {
      p[k] = static_cast<uint8_t>(scenario == Scenario::Raster ? k + i / 100
                                  : below(4) == 0          ? u32()
                                                           : (i * (k + 1)) / 3);
    }
  }

  void item(const LASitem& it, uint32_t i, uint8_t* p) {
    if (scenario == Scenario::Random) {
      for (uint32_t k = 0; k < it.size; k++) p[k] = static_cast<uint8_t>(rng());
    } else if (it.type == LASitem::POINT10) {
      point10(i, p);
    } else if (it.type == LASitem::GPSTIME11) {
      gps(i, p);
    } else if (it.type == LASitem::RGB12) {
      rgb12(i, p);
    } else if (it.type == LASitem::WAVEPACKET13) {
      wavepacket(i, p);
    } else {
      bytes(i, p, it.size);
    }
  }
};

// Settings for the layout and the item list they give.
std::unique_ptr<PTcomp> make_settings(const PtcLayout& layout) {
  static const int standard[6] = {20, 28, 26, 34, 57, 63};
  std::unique_ptr<PTcomp> settings(new PTcomp());
  settings->setup(static_cast<uint8_t>(layout.format), static_cast<uint16_t>(standard[layout.format] + layout.extra),
                  layout.kind);
  settings->chunk_size = layout.chunk_size;
  settings->request_version(static_cast<uint16_t>(layout.version));
  return settings;
}

std::vector<LASitem> items_of(const PTcomp& settings) {
  return std::vector<LASitem>(settings.items, settings.items + settings.num_items);
}

PointSet make_points(const PtcLayout& layout, Scenario scenario, uint32_t count, uint32_t seed) {
  PointSet set;
  set.items = items_of(*make_settings(layout));
  set.point_size = lastest::Record(set.items).disk_size;
  set.data.assign(size_t(count) * set.point_size, 0);
  Generator g{scenario, std::mt19937(seed)};
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* p = set.point(i);
    for (const auto& it : set.items) {
      g.item(it, i, p);
      p += it.size;
    }
  }
  return set;
}

// Writes the points; returns the writer's error text, empty on success.
std::string write_point_data(const PointSet& points, const PtcLayout& layout, std::vector<uint8_t>& bytes) {
  const auto settings = make_settings(layout);
  if (items_of(*settings) != points.items) return "the points have other items than the layout";
  return lastest::write_points(*settings, points.data, bytes, layout.prefix, layout.breaks);
}

// A point reader over bytes[prefix...] with one record buffer.
struct Reading {
  LASreadPoint reader;
  std::unique_ptr<ByteStreamInArray> in;
  lastest::Record record;
  explicit Reading(const std::vector<LASitem>& items) : record(items) {}
  // Sets up (with `settings` when given) and attaches; false on a failure.
  bool open(const PTcomp* settings, const std::vector<uint8_t>& bytes, size_t prefix) {
    const LASitem* items = settings ? settings->items : record.items.data();
    if (!reader.setup(static_cast<uint32_t>(record.items.size()), items, settings)) return false;
    in.reset(new_byte_stream_in_array(bytes.data(), static_cast<long long>(bytes.size())));
    return in->seek(static_cast<long long>(prefix)) && reader.init(in.get());
  }
  bool read() { return reader.read(record.ptr.data()); }
  bool holds(const uint8_t* expected, size_t size) const { return memcmp(record.bytes.data(), expected, size) == 0; }
  std::string error() const { return reader.error() ? reader.error() : ""; }
};

lastest::Readback read_point_data(const PtcLayout& layout, const std::vector<uint8_t>& bytes, uint32_t count) {
  return lastest::read_points(*make_settings(layout), bytes, count, layout.prefix);
}

// The first point index at which two point sets differ, or -1.
long long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t point_size) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; i++) {
    if (a[i] != b[i]) return static_cast<long long>(i / point_size);
  }
  return a.size() == b.size() ? -1 : static_cast<long long>(n / point_size);
}

// The chunk table offset stored in front of chunked point data.
int64_t table_offset(const std::vector<uint8_t>& bytes, size_t prefix) {
  return lastest::get<int64_t>(bytes.data() + prefix);
}

void set_table_offset(std::vector<uint8_t>& bytes, size_t prefix, int64_t offset) {
  put(bytes.data() + prefix, offset);
}

constexpr uint16_t kChunked = PTcomp::COMPRESSOR_POINTWISE_CHUNKED;

// Offsets are from the start of the file: the point data after 100 bytes.
PtcLayout layout_of(int format, int extra, int version, uint32_t chunk_size, uint16_t kind = kChunked) {
  return PtcLayout{format, extra, version, kind, chunk_size, {}, 100};
}

std::vector<uint8_t> written(const PointSet& points, const PtcLayout& layout) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(write_point_data(points, layout, bytes), "");
  return bytes;
}

// Reads the points back from `bytes`: the first point that differs (-1 when
// none), or what went wrong.
std::string read_back(const PointSet& points, const PtcLayout& layout, const std::vector<uint8_t>& bytes) {
  const auto outcome = read_point_data(layout, bytes, points.count());
  if (!outcome.errors.empty()) return outcome.errors.front();
  if (!outcome.warning.empty()) return outcome.warning;
  if (!outcome.end_ok) return "end check: " + outcome.end_error;
  return "first difference " + std::to_string(first_difference(points.data, outcome.points, points.point_size));
}

// Writes the points and reads them back (read_back's result).
std::string round_trip(const PointSet& points, const PtcLayout& layout) {
  std::vector<uint8_t> bytes;
  const std::string problem = write_point_data(points, layout, bytes);
  if (!problem.empty()) return problem;
  if (layout.kind == kChunked) {
    // The table offset points at the table, right after the last chunk.
    const int64_t table = table_offset(bytes, layout.prefix);
    if (table <= static_cast<int64_t>(layout.prefix + 8) || table >= static_cast<int64_t>(bytes.size())) {
      return "table offset " + std::to_string(table);
    }
  }
  return read_back(points, layout, bytes);
}

const std::string kSame = "first difference -1";

struct RoundTripCase {
  const char* name;
  Scenario scenario;
  uint16_t kind;
  uint32_t chunk_size;  // 0 when chunked: variable chunks with irregular ends
  int extra;
};

const RoundTripCase kRoundTrips[] = {
    {"RandomChunked", Scenario::Random, kChunked, 1000, 1},
    {"RasterPointwise", Scenario::Raster, PTcomp::COMPRESSOR_POINTWISE, 0, 0},
    {"HardChunked", Scenario::Hard, kChunked, 400, 17},
    {"HardVariable", Scenario::Hard, kChunked, 0, 3},
    {"GpsInterleavedChunked", Scenario::GpsInterleaved, kChunked, 1000, 0},
};

class PointDataRoundTrip : public ::testing::TestWithParam<std::tuple<int, int, RoundTripCase>> {};

TEST_P(PointDataRoundTrip, ReadsBackEveryPoint) {
  const RoundTripCase& c = std::get<2>(GetParam());
  const uint32_t count = 1201;  // fixed chunks of 400: the last one holds a single point
  PtcLayout layout = layout_of(std::get<0>(GetParam()), c.extra, std::get<1>(GetParam()), c.chunk_size, c.kind);
  layout.prefix = 227;
  if (c.kind == kChunked && c.chunk_size == 0) layout.breaks = {0, 1, 2, 9, 10, 300, 301, 877, count - 2};
  const auto points = make_points(layout, c.scenario, count, 40u + layout.format);
  EXPECT_EQ(round_trip(points, layout), kSame);
}

INSTANTIATE_TEST_SUITE_P(FormatsVersionsKinds, PointDataRoundTrip,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Values(1, 2),
                                            ::testing::ValuesIn(kRoundTrips)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int, RoundTripCase>>& info) {
                           return "Format" + std::to_string(std::get<0>(info.param)) + "V" +
                                  std::to_string(std::get<1>(info.param)) + std::get<2>(info.param).name;
                         });

// Every point its own chunk (no coded symbol at all), a single-point file,
// two points per chunk, a last chunk of one point, one chunk for all.
class ChunkEdges : public ::testing::TestWithParam<std::tuple<std::pair<uint32_t, uint32_t>, int>> {};

TEST_P(ChunkEdges, EveryChunkDecodes) {
  const auto size_and_count = std::get<0>(GetParam());
  const PtcLayout layout = layout_of(5, 3, std::get<1>(GetParam()), size_and_count.first);
  EXPECT_EQ(round_trip(make_points(layout, Scenario::Hard, size_and_count.second, 99), layout), kSame);
}

INSTANTIATE_TEST_SUITE_P(SizesAndCounts, ChunkEdges,
                         ::testing::Combine(::testing::Values(std::make_pair(1u, 5u), std::make_pair(1u, 1u),
                                                              std::make_pair(2u, 301u), std::make_pair(300u, 301u),
                                                              std::make_pair(100000u, 301u)),
                                            ::testing::Values(1, 2)));

// The predictions pay off: a raster-like grid of format-0 points costs a
// few bytes per point, steady GPS times almost nothing, and interleaved
// times far less with the sequences of version 2 than with version 1.
TEST(PointDataCompression, PredictionsPayOff) {
  const uint32_t count = 20000;
  std::vector<uint8_t> interleaved[2];
  for (int version = 1; version <= 2; version++) {
    SCOPED_TRACE("version " + std::to_string(version));
    PtcLayout layout = layout_of(0, 0, version, 50000);
    EXPECT_LT(written(make_points(layout, Scenario::Raster, count, 1), layout).size(), count * 4u);
    layout.format = 1;
    for (Scenario s : {Scenario::Raster, Scenario::GpsInterleaved}) {
      auto times = make_points(layout, s, s == Scenario::Raster ? count : 6000, 1);
      for (uint32_t i = 0; i < times.count(); i++) memcpy(times.point(i), times.point(0), 20);  // only times vary
      const auto bytes = written(times, layout);
      if (s == Scenario::GpsInterleaved) {
        interleaved[version - 1] = bytes;
      } else {
        EXPECT_LT(bytes.size(), 64u + count / 4);
      }
    }
  }
  EXPECT_LT(interleaved[1].size() * 4, interleaved[0].size());
  EXPECT_LT(interleaved[1].size(), 6000u);
}

TEST(PointDataEdges, EmptyPointDataHasAnEmptyTable) {
  for (uint32_t chunk_size : {1000u, 0u}) {
    const PtcLayout layout = layout_of(1, 0, 2, chunk_size);
    const auto bytes = written(make_points(layout, Scenario::Raster, 0, 1), layout);
    // Table offset, then the table: version 0 and no chunks.
    ASSERT_EQ(bytes.size(), layout.prefix + 8 + 8);
    EXPECT_EQ(table_offset(bytes, layout.prefix), static_cast<int64_t>(layout.prefix + 8));
    EXPECT_TRUE(read_point_data(layout, bytes, 0).end_ok);
  }
}

TEST(PointDataEdges, EndingAChunkEarlyNeedsVariableChunks) {
  PtcLayout layout = layout_of(0, 0, 2, 100);
  layout.breaks = {10};
  std::vector<uint8_t> bytes;
  EXPECT_EQ(write_point_data(make_points(layout, Scenario::Raster, 20, 5), layout, bytes),
            "chunks can be ended early only with variable chunk sizes");
}

// A writer that could not seek back leaves -1 in front of the chunks and
// appends the table offset after the table.
TEST(PointDataEdges, TableOffsetStoredAtTheEnd) {
  for (uint32_t chunk_size : {100u, 0u}) {
    PtcLayout layout = layout_of(1, 0, 2, chunk_size);
    if (chunk_size == 0) layout.breaks = {50, 120};
    const auto points = make_points(layout, Scenario::GpsInterleaved, 300, 6);
    auto bytes = written(points, layout);
    const int64_t table = table_offset(bytes, layout.prefix);
    set_table_offset(bytes, layout.prefix, -1);
    bytes.resize(bytes.size() + 8);
    memcpy(bytes.data() + bytes.size() - 8, &table, 8);
    EXPECT_EQ(read_back(points, layout, bytes), kSame);
  }
}

// The chunk table damaged or missing, with a fixed chunk size (the points
// still decode, with a warning) and with variable chunk sizes (they cannot).
enum Damage { NEVER_WRITTEN, OFFSET_AT_END, OFFSET_PAST_END, BAD_VERSION };

struct TableCase {
  const char* name;
  Damage damage;
  const char* fixed_warning;
  const char* variable_error;
};

const TableCase kTableCases[] = {
    {"NeverWritten", NEVER_WRITTEN, "compressor was interrupted before writing chunk table of PTC file",
     "compressor was interrupted before writing adaptive chunk table of PTC file"},
    {"OffsetAtEnd", OFFSET_AT_END, "chunk table is missing. improper use of PTC compressor?",
     "chunk table is missing. improper use of PTC compressor?"},
    {"OffsetPastEnd", OFFSET_PAST_END,
     "chunk table and 1000 bytes are missing. PTC file truncated during copy or transfer?",
     "chunk table and 1000 bytes are missing. PTC file truncated during copy or transfer?"},
    {"BadVersion", BAD_VERSION, "corrupt chunk table", "corrupt chunk table"},
};

class ChunkTableDamage : public ::testing::TestWithParam<std::tuple<TableCase, bool>> {};

TEST_P(ChunkTableDamage, GivesTheDocumentedOutcome) {
  const TableCase& c = std::get<0>(GetParam());
  const bool variable = std::get<1>(GetParam());
  PtcLayout layout = layout_of(1, 3, 2, variable ? 0 : 100);
  if (variable) layout.breaks = {99, 199};
  const uint32_t count = 250;
  const auto points = make_points(layout, Scenario::Hard, count, 7);
  auto bytes = written(points, layout);
  const int64_t table = table_offset(bytes, layout.prefix);
  if (c.damage == BAD_VERSION) {
    bytes[static_cast<size_t>(table)] = 1;
  } else {
    bytes.resize(static_cast<size_t>(table));
  }
  if (c.damage == NEVER_WRITTEN) set_table_offset(bytes, layout.prefix, static_cast<int64_t>(layout.prefix));
  if (c.damage == OFFSET_PAST_END) set_table_offset(bytes, layout.prefix, table + 1000);
  const auto outcome = read_point_data(layout, bytes, count);
  if (variable) {
    ASSERT_FALSE(outcome.errors.empty());
    EXPECT_EQ(outcome.errors[0], c.variable_error);
    EXPECT_EQ(outcome.ok_count(), 0u);
  } else {
    EXPECT_EQ(outcome.warning, c.fixed_warning);
    EXPECT_EQ(outcome.ok_count(), count);
    EXPECT_EQ(first_difference(points.data, outcome.points, points.point_size), -1);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ChunkTableDamage,
                         ::testing::Combine(::testing::ValuesIn(kTableCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<TableCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Variable" : "Fixed");
                         });

// Where the chunk holding point n - 1 ends: chunks depend only on their own
// points, so the first n points written alone end there.
size_t chunk_end(const PointSet& points, const PtcLayout& layout, uint32_t n) {
  PointSet head = points;
  head.data.resize(size_t(n) * points.point_size);
  return static_cast<size_t>(table_offset(written(head, layout), layout.prefix));
}

TEST(ChunkDamage, ChunkCutShortReportsItsIndex) {
  const PtcLayout layout = layout_of(1, 0, 2, 100);
  const uint32_t count = 300;
  const auto points = make_points(layout, Scenario::Hard, count, 9);
  auto bytes = written(points, layout);
  // Cut in the middle of the second chunk: table and the rest are gone.
  bytes.resize((chunk_end(points, layout, 100) + chunk_end(points, layout, 200)) / 2);
  const auto outcome = read_point_data(layout, bytes, count);
  EXPECT_EQ(outcome.warning.find("chunk table and "), 0u) << outcome.warning;
  ASSERT_FALSE(outcome.errors.empty());
  EXPECT_EQ(outcome.errors[0], "end-of-file during chunk with index 1");
  EXPECT_GE(outcome.ok_count(), 100u);
  EXPECT_LT(outcome.ok_count(), 200u);
  // What was read before the cut is right.
  EXPECT_EQ(memcmp(points.data.data(), outcome.points.data(), size_t(100) * points.point_size), 0);
}

TEST(ChunkDamage, CorruptChunkIsSkippedAndTheNextOneReads) {
  const PtcLayout layout = layout_of(1, 0, 2, 100);
  const uint32_t count = 300;
  const auto points = make_points(layout, Scenario::Hard, count, 10);
  auto bytes = written(points, layout);
  // Zero the coded bytes of the second chunk, keeping its raw first point.
  const size_t second = chunk_end(points, layout, 100) + points.point_size;
  const size_t second_end = chunk_end(points, layout, 200);
  for (size_t i = second + 8; i < second_end - 8; i++) bytes[i] = 0;
  const auto outcome = read_point_data(layout, bytes, count);
  ASSERT_FALSE(outcome.errors.empty());
  EXPECT_EQ(outcome.errors[0], "chunk with index 1 of 4 is corrupt");
  // The points after the failed read are the third chunk's, in order.
  uint32_t failed_at = 0;
  while (outcome.read_ok[failed_at]) failed_at++;
  ASSERT_LT(failed_at + 1, count);
  const size_t record = points.point_size;
  for (uint32_t j = 0; j < 100 && failed_at + 1 + j < count; j++) {
    ASSERT_EQ(memcmp(outcome.points.data() + (failed_at + 1 + j) * record, points.point(200 + j), record), 0) << j;
  }
}

// Uncompressed records with 3 extra bytes after a prefix of 100 bytes, all
// bytes pseudo-random.
TEST(RawRecords, EveryRecordAcrossBlocksTheTruncatedEndAndSeeks) {
  static const uint16_t standard[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  for (int format : {0, 3, 6, 10}) {
    SCOPED_TRACE("format " + std::to_string(format));
    PTcomp settings;
    ASSERT_TRUE(settings.setup(static_cast<uint8_t>(format), standard[format], PTcomp::COMPRESSOR_NONE));
    auto items = items_of(settings);
    items.push_back({format >= 6 ? LASitem::BYTE14 : LASitem::BYTE, 3, 0});
    uint32_t record_size = 0;
    for (const LASitem& item : items) record_size += item.size;
    const uint32_t count = 7000;  // several record blocks; the last record is cut
    std::vector<uint8_t> bytes(100 + size_t(count) * record_size - 1);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    Reading r(items);
    ASSERT_TRUE(r.open(nullptr, bytes, 100));
    EXPECT_EQ(r.reader.get_record_size(), record_size);
    // Item buffers as the record's bytes give them: POINT14 expanded, the
    // rest as on disk.
    auto holds = [&](int64_t n) {
      const uint8_t* disk = bytes.data() + 100 + n * record_size;
      for (size_t i = 0; i < items.size(); disk += items[i++].size) {
        const bool p14 = items[i].type == LASitem::POINT14;
        uint8_t want[48] = {};
        if (p14) las_point14_from_disk(disk, want);
        if (memcmp(r.record.ptr[i], p14 ? want : disk, p14 ? 40 : items[i].size) != 0) return false;
      }
      return true;
    };
    uint32_t n = 0;
    for (; r.read(); n++) ASSERT_TRUE(holds(n)) << "point " << n;
    EXPECT_EQ(n, count - 1);
    EXPECT_EQ(r.error(), "end-of-file");
    EXPECT_TRUE(r.reader.check_end());
    // Seeks back from the end, within blocks and across them.
    int64_t current = n;
    for (int64_t target : {0, 5, 3, 2340, 2341, 6998, 1, 4681, 4680, 4680}) {
      ASSERT_TRUE(r.reader.seek(current, target));
      ASSERT_TRUE(r.read());
      EXPECT_TRUE(holds(target)) << target;
      current = target + 1;
    }
  }
}

TEST(RawRecords, SetupRefusals) {
  LASreadPoint reader;
  EXPECT_FALSE(reader.setup(0, nullptr));
  const LASitem bad[1] = {{2, 20, 0}};
  EXPECT_FALSE(reader.setup(1, bad));
  ASSERT_NE(reader.error(), nullptr);
  EXPECT_STREQ(reader.error(), "item 0 of type 2 and size 20 not supported");
  PTcomp settings;
  ASSERT_TRUE(settings.setup(0, 20, PTcomp::COMPRESSOR_POINTWISE_CHUNKED));
  LASitem copy[1] = {settings.items[0]};
  EXPECT_FALSE(reader.setup(1, copy, &settings));  // not the settings' own list
  settings.coder = 1;
  EXPECT_FALSE(reader.setup(settings.num_items, settings.items, &settings));
  EXPECT_STREQ(reader.error(), "coder 1 not supported");
  EXPECT_FALSE(reader.init(nullptr));
}

// Seeking in compressed data.
struct SeekCase {
  const char* name;
  uint16_t kind;
  uint32_t chunk_size;
  std::vector<uint32_t> breaks;
};

const SeekCase seek_cases[] = {
    {"pointwise", PTcomp::COMPRESSOR_POINTWISE, 0, {}},
    {"fixed_chunks", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 100, {}},
    {"variable_chunks", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 0, {0, 49, 50, 51, 199, 400, 401, 402, 600}},
};

class CompressedSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(CompressedSeek, LandsOnTheTargetFromAnywhere) {
  const SeekCase& c = GetParam();
  const uint32_t count = 777;
  const PtcLayout layout{3, 2, 2, c.kind, c.chunk_size, c.breaks, 50};  // format 3, 2 extra bytes, version 2
  const auto points = make_points(layout, Scenario::Hard, count, 5);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(write_point_data(points, layout, bytes), "");
  const auto settings = make_settings(layout);
  Reading r(points.items);
  ASSERT_TRUE(r.open(settings.get(), bytes, 50)) << r.error();

  // A seek before any point was read, then jumps in every direction, within
  // chunks and across them.
  int64_t current = 0;
  for (int64_t target : {10, 11, 9, 0, 99, 100, 101, 50, 776, 400, 399, 402, 205, 205, 0, 600, 601, 23}) {
    SCOPED_TRACE("from " + std::to_string(current) + " to " + std::to_string(target));
    ASSERT_TRUE(r.reader.seek(current, target)) << r.error();
    ASSERT_TRUE(r.read()) << r.error();
    ASSERT_TRUE(r.holds(points.point(static_cast<uint32_t>(target)), points.point_size));
    current = target + 1;
  }
  // From the last target read on to the end, and the end is where it should be.
  for (uint32_t i = static_cast<uint32_t>(current); i < count; i++) {
    ASSERT_TRUE(r.read() && r.holds(points.point(i), points.point_size)) << i;
  }
  EXPECT_TRUE(r.reader.check_end()) << r.error();
  // Reads after the end fail, and a seek brings the reader back.
  EXPECT_FALSE(r.read());
  ASSERT_TRUE(r.reader.seek(count, 3));
  ASSERT_TRUE(r.read());
  EXPECT_TRUE(r.holds(points.point(3), points.point_size));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CompressedSeek, ::testing::ValuesIn(seek_cases), testsupport::CaseName());

TEST(ChunkEnd, LastChunkEndingElsewhereFailsTheEndCheck) {
  const PtcLayout layout = layout_of(0, 0, 2, 50);
  const auto points = make_points(layout, Scenario::Raster, 125, 9);
  // The chunk table of the same points but other ones in the last chunk,
  // which gives that chunk another length, after the original data.
  auto other = make_points(layout, Scenario::Hard, 125, 9);
  memcpy(other.data.data(), points.data.data(), size_t(100) * points.point_size);
  auto bytes = written(points, layout);
  const auto table = written(other, layout);
  bytes.resize(static_cast<size_t>(table_offset(bytes, layout.prefix)));
  bytes.insert(bytes.end(), table.begin() + table_offset(table, layout.prefix), table.end());
  const auto outcome = read_point_data(layout, bytes, 125);
  EXPECT_EQ(first_difference(points.data, outcome.points, points.point_size), -1);
  EXPECT_FALSE(outcome.end_ok);
  EXPECT_EQ(outcome.end_error, "chunk with index 2 of 4 is corrupt");
}

TEST(ChunkEnd, MorePointsThanTheTableHoldsIsAnEndOfFile) {
  // A header announcing more points: the table says no chunk follows, so the
  // table's bytes are not decoded as points.
  const PtcLayout layout = layout_of(0, 0, 2, 50);
  const auto outcome = read_point_data(layout, written(make_points(layout, Scenario::Raster, 150, 9), layout), 151);
  EXPECT_EQ(outcome.ok_count(), 150u);
  EXPECT_EQ(outcome.errors, std::vector<std::string>{"end-of-file during chunk with index 3"});
}

}  // namespace
