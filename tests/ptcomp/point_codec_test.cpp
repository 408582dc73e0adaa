// Compressed point data written by LASwritePoint and read by LASreadPoint:
// point formats 0 to 5 in versions 1 and 2, point-wise and chunked (fixed and
// variable chunk sizes), and the chunk table cases: missing in both forms,
// corrupt, pointing past the end, a chunk cut short or damaged. Each gives
// the reader's documented result and text, never a crash.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/ptcomp/point_data_support.hpp"

using codectest::PtcLayout;
using codectest::Scenario;

namespace {

struct KindCase {
  const char* name;
  uint16_t kind;
  uint32_t chunk_size;
  bool variable_breaks;
};

const KindCase kKinds[] = {
    {"Pointwise", PTcomp::COMPRESSOR_POINTWISE, 0, false},
    {"Chunked", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 400, false},
    {"Variable", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 0, true},
};

// Irregular chunk ends: single-point chunks, a last chunk of one point.
std::vector<uint32_t> irregular_breaks(uint32_t count) {
  std::vector<uint32_t> b = {0, 1, 2, 9, 10, 300, 301, 877};
  b.push_back(count - 2);
  return b;
}

class PointDataRoundTrip : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(PointDataRoundTrip, ReadsBackEveryPoint) {
  const int format = std::get<0>(GetParam());
  const int version = std::get<1>(GetParam());
  const KindCase& k = kKinds[std::get<2>(GetParam())];
  const uint32_t count = 1201;  // fixed chunks of 400: the last one holds a single point
  PtcLayout layout;
  layout.format = format;
  layout.extra = (format * 7) % 4 == 0 ? 0 : (format % 2 ? 17 : 3);
  layout.version = version;
  layout.kind = k.kind;
  layout.chunk_size = k.chunk_size;
  if (k.variable_breaks) layout.breaks = irregular_breaks(count);
  layout.prefix = 227;  // a header-sized prefix: offsets are from the start of the file
  const auto points = codectest::make_points(format, layout.extra, version, Scenario::Hard, count, 40u + format);

  std::vector<uint8_t> bytes;
  ASSERT_EQ(codectest::write_point_data(points, layout, bytes), "");
  const auto outcome = codectest::read_point_data(layout, bytes, count);
  EXPECT_TRUE(outcome.errors.empty()) << outcome.errors.front();
  EXPECT_EQ(outcome.warning, "");
  EXPECT_TRUE(outcome.end_ok) << outcome.end_error;
  EXPECT_EQ(codectest::first_difference(points.data, outcome.points, points.point_size), -1);
  if (k.kind == PTcomp::COMPRESSOR_POINTWISE_CHUNKED) {
    // The table offset points at the table, right after the last chunk.
    const int64_t offset = codectest::table_offset(bytes, layout.prefix);
    EXPECT_GT(offset, static_cast<int64_t>(layout.prefix + 8));
    EXPECT_LT(offset, static_cast<int64_t>(bytes.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(FormatsVersionsKinds, PointDataRoundTrip,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Values(1, 2), ::testing::Range(0, 3)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int, int>>& info) {
                           return "Format" + std::to_string(std::get<0>(info.param)) + "V" +
                                  std::to_string(std::get<1>(info.param)) + kKinds[std::get<2>(info.param)].name;
                         });

PtcLayout chunked(uint32_t chunk_size, int format = 1, int extra = 0, int version = 2) {
  PtcLayout layout;
  layout.format = format;
  layout.extra = extra;
  layout.version = version;
  layout.chunk_size = chunk_size;
  layout.prefix = 100;
  return layout;
}

std::vector<uint8_t> written(const codectest::PointSet& points, const PtcLayout& layout) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(codectest::write_point_data(points, layout, bytes), "");
  return bytes;
}

// Where the chunk holding point n - 1 ends: chunks depend only on their own
// points, so the first n points written alone end there.
size_t chunk_end(const codectest::PointSet& points, const PtcLayout& layout, uint32_t n) {
  codectest::PointSet head = points;
  head.data.resize(size_t(n) * points.point_size);
  const auto bytes = written(head, layout);
  return static_cast<size_t>(codectest::table_offset(bytes, layout.prefix));
}

TEST(PointDataEdges, EmptyPointDataHasAnEmptyTable) {
  for (uint32_t chunk_size : {1000u, 0u}) {
    PtcLayout layout = chunked(chunk_size);
    const auto points = codectest::make_points(1, 0, 2, Scenario::Raster, 0, 1);
    const auto bytes = written(points, layout);
    // Table offset, then the table: version 0 and no chunks.
    ASSERT_EQ(bytes.size(), layout.prefix + 8 + 8);
    EXPECT_EQ(codectest::table_offset(bytes, layout.prefix), static_cast<int64_t>(layout.prefix + 8));
    const auto outcome = codectest::read_point_data(layout, bytes, 0);
    EXPECT_TRUE(outcome.end_ok);
  }
}

TEST(PointDataEdges, SinglePointChunksAndSinglePointFile) {
  for (uint32_t count : {1u, 5u}) {
    PtcLayout layout = chunked(1, 3, 1);
    const auto points = codectest::make_points(3, 1, 2, Scenario::Hard, count, 2);
    const auto bytes = written(points, layout);
    const auto outcome = codectest::read_point_data(layout, bytes, count);
    EXPECT_EQ(outcome.ok_count(), count);
    EXPECT_TRUE(outcome.end_ok);
    EXPECT_EQ(codectest::first_difference(points.data, outcome.points, points.point_size), -1);
  }
}

TEST(PointDataEdges, NoChunkStartsAfterTheLastOne) {
  PtcLayout layout = chunked(100, 0);
  const auto points = codectest::make_points(0, 0, 2, Scenario::Raster, 300, 3);
  const auto bytes = written(points, layout);
  const auto outcome = codectest::read_point_data(layout, bytes, 301);
  EXPECT_EQ(outcome.ok_count(), 300u);
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_EQ(outcome.errors[0], "end-of-file during chunk with index 3");
}

TEST(PointDataEdges, VariableChunkSizesAreListedInTheTable) {
  PtcLayout layout = chunked(0);
  layout.breaks = {4, 5, 99};
  const auto points = codectest::make_points(1, 0, 2, Scenario::Hard, 150, 4);
  const auto bytes = written(points, layout);
  const auto outcome = codectest::read_point_data(layout, bytes, 150);
  EXPECT_EQ(outcome.ok_count(), 150u);
  EXPECT_EQ(codectest::first_difference(points.data, outcome.points, points.point_size), -1);
}

TEST(PointDataEdges, EndingAChunkEarlyNeedsVariableChunks) {
  PtcLayout layout = chunked(100, 0);
  layout.breaks = {10};
  const auto points = codectest::make_points(0, 0, 2, Scenario::Raster, 20, 5);
  std::vector<uint8_t> bytes;
  EXPECT_EQ(codectest::write_point_data(points, layout, bytes), "chunks can be ended early only with variable chunk sizes");
}

TEST(PointDataEdges, OutputThatCannotSeekStoresTheOffsetAtTheEnd) {
  for (uint32_t chunk_size : {100u, 0u}) {
    PtcLayout layout = chunked(chunk_size);
    layout.seekable = false;
    if (chunk_size == 0) layout.breaks = {50, 120};
    const auto points = codectest::make_points(1, 0, 2, Scenario::GpsInterleaved, 300, 6);
    const auto bytes = written(points, layout);
    EXPECT_EQ(codectest::table_offset(bytes, layout.prefix), -1);
    int64_t last;
    memcpy(&last, bytes.data() + bytes.size() - 8, 8);
    EXPECT_GT(last, static_cast<int64_t>(layout.prefix));
    const auto outcome = codectest::read_point_data(layout, bytes, 300);
    EXPECT_EQ(outcome.ok_count(), 300u);
    EXPECT_EQ(outcome.warning, "");
    EXPECT_EQ(codectest::first_difference(points.data, outcome.points, points.point_size), -1);
  }
}

// The chunk table damaged or missing, with a fixed chunk size (the points
// still decode, with a warning) and with variable chunk sizes (they cannot).
struct TableCase {
  const char* name;
  int damage;
  const char* fixed_warning;
  const char* variable_error;
};

enum Damage { NEVER_WRITTEN, OFFSET_AT_END, OFFSET_PAST_END, BAD_VERSION };

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
  PtcLayout layout = chunked(variable ? 0 : 100, 1, 3);
  if (variable) layout.breaks = {99, 199};
  const uint32_t count = 250;
  const auto points = codectest::make_points(1, 3, 2, Scenario::Hard, count, 7);
  auto bytes = written(points, layout);
  const int64_t table = codectest::table_offset(bytes, layout.prefix);
  switch (c.damage) {
    case NEVER_WRITTEN:
      bytes.resize(static_cast<size_t>(table));
      codectest::set_table_offset(bytes, layout.prefix, static_cast<int64_t>(layout.prefix));
      break;
    case OFFSET_AT_END:
      bytes.resize(static_cast<size_t>(table));
      break;
    case OFFSET_PAST_END:
      bytes.resize(static_cast<size_t>(table));
      codectest::set_table_offset(bytes, layout.prefix, table + 1000);
      break;
    case BAD_VERSION:
      bytes[static_cast<size_t>(table)] = 1;
      break;
  }
  const auto outcome = codectest::read_point_data(layout, bytes, count);
  if (variable) {
    ASSERT_FALSE(outcome.errors.empty());
    EXPECT_EQ(outcome.errors[0], c.variable_error);
    EXPECT_EQ(outcome.ok_count(), 0u);
  } else {
    EXPECT_EQ(outcome.warning, c.fixed_warning);
    EXPECT_EQ(outcome.ok_count(), count);
    EXPECT_EQ(codectest::first_difference(points.data, outcome.points, points.point_size), -1);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ChunkTableDamage,
                         ::testing::Combine(::testing::ValuesIn(kTableCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<TableCase, bool>>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Variable" : "Fixed");
                         });

TEST(ChunkTableDamage, MinusOneTakesTheOffsetFromTheLastBytes) {
  PtcLayout layout = chunked(64, 0, 0, 1);
  const auto points = codectest::make_points(0, 0, 1, Scenario::Hard, 200, 8);
  auto bytes = written(points, layout);
  const int64_t table = codectest::table_offset(bytes, layout.prefix);
  codectest::set_table_offset(bytes, layout.prefix, -1);
  for (int i = 0; i < 8; i++) bytes.push_back(static_cast<uint8_t>(table >> (8 * i)));
  const auto outcome = codectest::read_point_data(layout, bytes, 200);
  EXPECT_EQ(outcome.ok_count(), 200u);
  EXPECT_EQ(outcome.warning, "");
}

TEST(ChunkDamage, ChunkCutShortReportsItsIndex) {
  PtcLayout layout = chunked(100);
  const uint32_t count = 300;
  const auto points = codectest::make_points(1, 0, 2, Scenario::Hard, count, 9);
  auto bytes = written(points, layout);
  // Cut in the middle of the second chunk: table and the rest are gone.
  const size_t first_end = chunk_end(points, layout, 100);
  const size_t second_end = chunk_end(points, layout, 200);
  bytes.resize((first_end + second_end) / 2);
  const auto outcome = codectest::read_point_data(layout, bytes, count);
  EXPECT_EQ(outcome.warning.find("chunk table and "), 0u) << outcome.warning;
  ASSERT_FALSE(outcome.errors.empty());
  EXPECT_EQ(outcome.errors[0], "end-of-file during chunk with index 1");
  EXPECT_GE(outcome.ok_count(), 100u);
  EXPECT_LT(outcome.ok_count(), 200u);
  // What was read before the cut is right.
  EXPECT_EQ(memcmp(points.data.data(), outcome.points.data(), size_t(100) * points.point_size), 0);
}

TEST(ChunkDamage, CorruptChunkIsSkippedAndTheNextOneReads) {
  PtcLayout layout = chunked(100);
  const uint32_t count = 300;
  const auto points = codectest::make_points(1, 0, 2, Scenario::Hard, count, 10);
  const auto clean = written(points, layout);
  const auto reference = codectest::read_point_data(layout, clean, count);
  ASSERT_EQ(reference.ok_count(), count);
  // Zero the coded bytes of the second chunk, keeping its raw first point.
  auto bytes = clean;
  const size_t second = chunk_end(points, layout, 100) + points.point_size;
  const size_t second_end = chunk_end(points, layout, 200);
  for (size_t i = second + 8; i < second_end - 8; i++) bytes[i] = 0;
  const auto outcome = codectest::read_point_data(layout, bytes, count);
  ASSERT_FALSE(outcome.errors.empty());
  EXPECT_EQ(outcome.errors[0], "chunk with index 1 of 4 is corrupt");
  // The third chunk is read in full, right after the failure.
  const size_t record = points.point_size;
  uint32_t third_chunk_ok = 0;
  for (uint32_t i = 0; i < count; i++) {
    if (outcome.read_ok[i] && i >= 200) third_chunk_ok++;
  }
  EXPECT_GE(third_chunk_ok, 1u);
  // The points after the failed read are the third chunk's, in order.
  uint32_t failed_at = 0;
  while (outcome.read_ok[failed_at]) failed_at++;
  for (uint32_t j = 0; j < 100 && failed_at + 1 + j < count; j++) {
    ASSERT_EQ(memcmp(outcome.points.data() + (failed_at + 1 + j) * record, points.point(200 + j), record), 0) << j;
  }
}

}  // namespace
