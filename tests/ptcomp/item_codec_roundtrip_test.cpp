// Item codecs of versions 1 and 2 encoded and decoded back, point for point:
// every point format 0 to 5, extra bytes of several sizes, random data and
// the awkward cases of each field, several chunk sizes (single-point
// chunks, a last chunk of one point). Each chunk must also end exactly where
// the encoder ended it, as the chunk table relies on that.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/ptcomp/item_codec_support.hpp"

using codectest::Scenario;

namespace {

struct RoundTripCase {
  int format;
  int extra;
  Scenario scenario;
};

std::vector<RoundTripCase> all_cases() {
  const Scenario scenarios[] = {Scenario::Random,        Scenario::Raster,        Scenario::Hard,
                                Scenario::GpsRepeats,    Scenario::GpsInterleaved, Scenario::RgbOneChannel,
                                Scenario::RgbGrey};
  const int extras[] = {0, 1, 3, 17};
  std::vector<RoundTripCase> cases;
  int rotate = 0;
  for (int format = 0; format <= 5; format++) {
    for (Scenario s : scenarios) cases.push_back({format, extras[rotate++ % 4], s});
  }
  return cases;
}

class ItemCodecRoundTrip : public ::testing::TestWithParam<std::tuple<RoundTripCase, int>> {};

TEST_P(ItemCodecRoundTrip, DecodesWhatWasEncoded) {
  const RoundTripCase c = std::get<0>(GetParam());
  const int version = std::get<1>(GetParam());
  const uint32_t count = 2501;  // chunks of 1000, 1000, 500 and a last one of 1 point
  const auto points = codectest::make_points(c.format, c.extra, version, c.scenario, count, 17u + c.format);
  std::vector<uint8_t> bytes;
  std::vector<size_t> ends;
  ASSERT_TRUE(codectest::encode_chunked(points, 1000, bytes, &ends));
  ASSERT_EQ(ends.size(), 3u);
  std::vector<uint8_t> decoded;
  const std::string problem =
      codectest::decode_chunked(points.items, points.point_size, count, 1000, bytes, &ends, decoded);
  ASSERT_EQ(problem, "");
  EXPECT_EQ(codectest::first_difference(points.data, decoded, points.point_size), -1);
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<RoundTripCase, int>>& info) {
  const RoundTripCase c = std::get<0>(info.param);
  return "Format" + std::to_string(c.format) + "Extra" + std::to_string(c.extra) +
         codectest::scenario_name(c.scenario) + "V" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ItemCodecRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(all_cases()), ::testing::Values(1, 2)), case_name);

// Chunk sizes at the edges: every point its own chunk (no coded symbol at
// all), two points per chunk, one chunk holding everything.
class ChunkSizeRoundTrip : public ::testing::TestWithParam<std::tuple<uint32_t, int>> {};

TEST_P(ChunkSizeRoundTrip, EveryChunkDecodes) {
  const uint32_t chunk_size = std::get<0>(GetParam());
  const int version = std::get<1>(GetParam());
  const uint32_t count = 301;
  const auto points = codectest::make_points(5, 3, version, Scenario::Hard, count, 99);
  std::vector<uint8_t> bytes;
  std::vector<size_t> ends;
  ASSERT_TRUE(codectest::encode_chunked(points, chunk_size, bytes, &ends));
  std::vector<uint8_t> decoded;
  ASSERT_EQ(codectest::decode_chunked(points.items, points.point_size, count, chunk_size, bytes, &ends, decoded), "");
  EXPECT_EQ(codectest::first_difference(points.data, decoded, points.point_size), -1);
}

INSTANTIATE_TEST_SUITE_P(Edges, ChunkSizeRoundTrip,
                         ::testing::Combine(::testing::Values(1u, 2u, 300u, 100000u), ::testing::Values(1, 2)));

// Models chosen by byte values that first occur in a late chunk, and models
// of an early chunk that are used again much later, must be restarted in
// step on both sides.
TEST(ItemCodecChunks, ByteValueModelsRestartPerChunk) {
  for (int version = 1; version <= 2; version++) {
    auto points = codectest::make_points(0, 0, version, Scenario::Raster, 4000, 5);
    for (uint32_t i = 0; i < points.count(); i++) {
      uint8_t* p = points.point(i);
      p[15] = static_cast<uint8_t>(i < 2000 ? i % 3 : 200 + (i % 5));  // new classes after 2000
      p[17] = static_cast<uint8_t>((i / 700) * 40);                    // user data in long runs
    }
    std::vector<uint8_t> bytes;
    std::vector<size_t> ends;
    ASSERT_TRUE(codectest::encode_chunked(points, 333, bytes, &ends));
    std::vector<uint8_t> decoded;
    ASSERT_EQ(codectest::decode_chunked(points.items, 20, 4000, 333, bytes, &ends, decoded), "");
    EXPECT_EQ(codectest::first_difference(points.data, decoded, 20), -1) << "version " << version;
  }
}

// Sizes that show the predictions work: a raster-like grid of format-0
// points costs a few bytes per point, repeated GPS times almost nothing.
TEST(ItemCodecSizes, PredictableDataCompresses) {
  const uint32_t count = 20000;
  for (int version = 1; version <= 2; version++) {
    const auto grid = codectest::make_points(0, 0, version, Scenario::Raster, count, 1);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(codectest::encode_chunked(grid, 50000, bytes));
    EXPECT_LT(bytes.size(), count * 4u) << "version " << version;

    auto times = codectest::make_points(1, 0, version, Scenario::Raster, count, 1);
    for (uint32_t i = 0; i < count; i++) memcpy(times.point(i), times.point(0), 20);  // same core item
    ASSERT_TRUE(codectest::encode_chunked(times, 50000, bytes));
    EXPECT_LT(bytes.size(), 28u + count / 4) << "version " << version;  // steady steps and a fixed point
  }
}

// GPS times coded against the right one of several interleaved sequences
// cost far less than coding each jump in full.
TEST(ItemCodecSizes, InterleavedTimesUseTheSequences) {
  const uint32_t count = 6000;
  auto v1 = codectest::make_points(1, 0, 1, Scenario::GpsInterleaved, count, 3);
  auto v2 = codectest::make_points(1, 0, 2, Scenario::GpsInterleaved, count, 3);
  for (uint32_t i = 0; i < count; i++) {  // only the times vary
    memcpy(v1.point(i), v1.point(0), 20);
    memcpy(v2.point(i), v2.point(0), 20);
  }
  std::vector<uint8_t> b1, b2;
  ASSERT_TRUE(codectest::encode_chunked(v1, 50000, b1));
  ASSERT_TRUE(codectest::encode_chunked(v2, 50000, b2));
  // Version 1 has one sequence and codes most times in full.
  EXPECT_LT(b2.size() * 4, b1.size());
  EXPECT_LT(b2.size(), count);
}

}  // namespace
