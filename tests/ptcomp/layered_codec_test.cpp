// Point formats 6 to 10 through the layered compressor: round trips, selective
// decoding, chunks coded by hand and damaged chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "ptcomp/lasreaditemcompressed_v3.hpp"
#include "tests/support/point_helpers.hpp"

namespace {

enum class Kind { Random, Hard, Flat };

using lastest::get;
using lastest::put;

// Points as stored on disk (POINT14 in its 30 bytes), made up per kind.
struct Points {
  std::unique_ptr<PTcomp> settings{new PTcomp()};
  uint32_t disk_size = 0;
  std::vector<uint8_t> disk;
  uint32_t count() const { return static_cast<uint32_t>(disk.size() / disk_size); }
  const uint8_t* at(uint32_t i) const { return disk.data() + size_t(i) * disk_size; }
};

Points make_points(int format, int extra, int version, uint32_t chunk, Kind kind, uint32_t count, uint32_t seed) {
  static const uint16_t standard[11] = {0, 0, 0, 0, 0, 0, 30, 36, 38, 59, 67};
  Points pts;
  EXPECT_TRUE(pts.settings->setup_writing(static_cast<uint8_t>(format), static_cast<uint16_t>(standard[format] + extra),
                                          static_cast<uint16_t>(version), chunk));
  pts.disk_size = standard[format] + extra;
  pts.disk.assign(size_t(count) * pts.disk_size, 0);
  std::mt19937 rng(seed);
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  uint32_t x = 0, y = 0;  // coordinates wrap around
  double times[4] = {3e5, 3e5 + 17.5, 4.5e5, 1e3};
  uint16_t colour[4] = {100, 200, 300, 400};
  uint64_t offset = 5000;
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* p = pts.disk.data() + size_t(i) * pts.disk_size;
    if (kind == Kind::Random) {
      for (uint32_t k = 0; k < pts.disk_size; k++) p[k] = static_cast<uint8_t>(rng());
      continue;
    }
    x += kind == Kind::Flat ? 100 : (below(20) == 0 ? rng() : below(41) - 20);
    y += kind == Kind::Flat ? 0 : below(7) - 3;
    put<uint32_t>(p, x);
    put<uint32_t>(p + 4, y);
    if (kind == Kind::Flat) {  // only X changes: every other layer is empty
      put<int32_t>(p + 8, 777);
      p[14] = 0x11;
      put<double>(p + 22, 1234.5);
      for (uint32_t k = 30; k < pts.disk_size; k++) p[k] = static_cast<uint8_t>(k);
      continue;
    }
    // Four scanner channels interleaved in runs, returns up to 15, classes
    // above 31, scan angles at their ends, GPS times repeating and jumping
    // per channel.
    const uint32_t channel = (i / (1 + i % 3)) % 4;
    const uint32_t pick = below(12);
    put<int32_t>(p + 8, pick == 0 ? static_cast<int32_t>(rng()) : static_cast<int32_t>(below(2001)) - 1000);
    put<uint16_t>(p + 12, static_cast<uint16_t>(pick < 3 ? rng() : 300 + channel));
    const uint32_t n = pick == 1 ? below(16) : 1 + below(15);
    p[14] = static_cast<uint8_t>((pick == 2 ? below(16) : 1 + below(n ? n : 1)) | (n << 4));
    p[15] = static_cast<uint8_t>(below(16) | (channel << 4) | (pick == 3 ? below(4) << 6 : 0));
    p[16] = static_cast<uint8_t>(pick < 4 ? 32 + below(224) : below(32));
    p[17] = static_cast<uint8_t>(pick == 5 ? rng() : channel);
    static const int16_t angles[4] = {-32768, 32767, 0, -15000};
    put<int16_t>(p + 18, pick == 6 ? angles[below(4)] : static_cast<int16_t>(channel * 100));
    put<uint16_t>(p + 20, static_cast<uint16_t>(pick == 7 ? rng() : 9));
    double& t = times[channel];
    if (pick >= 8) t += pick == 8 ? 1e7 * (below(2) ? 1 : -1) : 0.000001 * (pick - 8);  // 11: repeat
    put<double>(p + 22, t);
    uint8_t* q = p + 30;
    if (format == 7 || format == 8 || format == 10) {
      if (channel == 1) colour[pick % 4] = static_cast<uint16_t>(rng());  // one component, one channel
      memcpy(q, colour, format == 7 ? 6 : 8);
      q += format == 7 ? 6 : 8;
    }
    if (format >= 9) {
      offset += pick == 9 ? rng() : 256;
      q[0] = static_cast<uint8_t>(pick == 10 ? rng() : 1);
      put<uint64_t>(q + 1, pick == 11 ? (uint64_t(rng()) << 32) : offset);
      put<uint32_t>(q + 9, 256);
      for (int k = 13; k < 29; k++) q[k] = static_cast<uint8_t>(pick == 4 ? rng() : k);
      q += 29;
    }
    for (int k = 0; k < extra; k++) q[k] = static_cast<uint8_t>(k == 16 || pick == 5 ? rng() : i / 50);
  }
  return pts;
}

std::vector<uint8_t> write_points(const Points& pts) {
  std::vector<uint8_t> bytes;
  EXPECT_EQ(lastest::write_points(*pts.settings, pts.disk, bytes), "");
  return bytes;
}

// Reads `attempts` points (default: as many as were written).
lastest::Readback read_points(const Points& pts, const std::vector<uint8_t>& bytes, uint32_t mask = LayerMask::ALL,
                              uint32_t attempts = 0) {
  return lastest::read_points(*pts.settings, bytes, attempts ? attempts : pts.count(), 0, mask);
}

// The layer sizes of each chunk, walking the chunks from the first.
std::vector<std::vector<uint32_t>> chunk_layer_sizes(const Points& pts, const std::vector<uint8_t>& bytes) {
  std::vector<std::vector<uint32_t>> chunks;
  size_t at = 8;
  const size_t table = static_cast<size_t>(get<int64_t>(bytes.data()));
  while (at < table) {
    at += pts.disk_size + 4;
    std::vector<uint32_t> sizes;
    for (uint32_t i = 0; i < pts.settings->num_items; i++) {
      const LASitem& it = pts.settings->items[i];
      const uint32_t layers = it.type == LASitem::POINT14    ? 9
                              : it.type == LASitem::RGBNIR14 ? 2
                              : it.type == LASitem::BYTE14   ? it.size
                                                             : 1;
      for (uint32_t k = 0; k < layers; k++, at += 4) sizes.push_back(get<uint32_t>(bytes.data() + at));
    }
    for (uint32_t s : sizes) at += s;
    chunks.push_back(sizes);
  }
  return chunks;
}

struct Case {
  const char* name;
  Kind kind;
  int extra;
  uint32_t chunk;
  uint32_t count;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"Random", Kind::Random, 1, 700, 1500},    {"Hard", Kind::Hard, 17, 300, 1201},  // the last chunk holds one point
    {"HardExtra3", Kind::Hard, 3, 1000, 1000}, {"SinglePointChunks", Kind::Hard, 3, 1, 4},
    {"TwoPointChunks", Kind::Hard, 1, 2, 9},   {"Flat", Kind::Flat, 3, 100, 250},
};

class LayeredRoundTrip : public ::testing::TestWithParam<std::tuple<int, int, Case>> {};

TEST_P(LayeredRoundTrip, ReadsBackEveryPoint) {
  const int format = std::get<0>(GetParam()), version = std::get<1>(GetParam());
  const Case& c = std::get<2>(GetParam());
  const Points pts = make_points(format, c.extra, version, c.chunk, c.kind, c.count, 17u * format + version);
  ASSERT_EQ(pts.settings->compressor, PTcomp::COMPRESSOR_LAYERED_CHUNKED);
  ASSERT_EQ(pts.settings->items[0].version, version);
  const auto bytes = write_points(pts);
  const lastest::Readback rb = read_points(pts, bytes);
  ASSERT_TRUE(rb.errors.empty()) << rb.errors[0];
  ASSERT_TRUE(rb.end_ok) << rb.end_error;
  for (uint32_t i = 0; i < pts.count(); i++) ASSERT_EQ(memcmp(rb.point(i), pts.at(i), pts.disk_size), 0) << i;
  if (c.kind == Kind::Flat) {
    // Only the channel/returns/XY layer holds bytes.
    for (const auto& sizes : chunk_layer_sizes(pts, bytes)) {
      EXPECT_GT(sizes[0], 0u);
      for (size_t k = 1; k < sizes.size(); k++) EXPECT_EQ(sizes[k], 0u) << "layer " << k;
    }
  }
  if (c.chunk == 1) {
    for (const auto& sizes : chunk_layer_sizes(pts, bytes)) EXPECT_EQ(sizes, std::vector<uint32_t>(sizes.size(), 0));
  }
}

INSTANTIATE_TEST_SUITE_P(FormatsVersions, LayeredRoundTrip,
                         ::testing::Combine(::testing::Range(6, 11), ::testing::Values(3, 4),
                                            ::testing::ValuesIn(kCases)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int, Case>>& info) {
                           return "Format" + std::to_string(std::get<0>(info.param)) + "V" +
                                  std::to_string(std::get<1>(info.param)) + std::get<2>(info.param).name;
                         });

// Without intensity, GPS time and colour, X, Y and Z read the same, the
// skipped fields keep the values of each chunk's first point (one channel
// here), and exactly the skipped layers' bytes are not read.
TEST(LayeredSelective, SkippedLayersAreNotRead) {
  Points pts = make_points(7, 17, 3, 200, Kind::Hard, 1000, 5);
  for (uint32_t i = 0; i < pts.count(); i++) pts.disk[size_t(i) * pts.disk_size + 15] &= 0xCF;  // channel 0
  const auto bytes = write_points(pts);
  // No extra bytes either: the 17th is decoded all the same.
  const uint32_t mask = LayerMask::ALL & ~(LayerMask::INTENSITY | LayerMask::GPS_TIME | LayerMask::RGB) &
                        ~LayerMask::extra_bytes(0, 16);
  const lastest::Readback full = read_points(pts, bytes), part = read_points(pts, bytes, mask);
  ASSERT_TRUE(part.errors.empty() && part.end_ok) << part.end_error;
  for (uint32_t i = 0; i < pts.count(); i++) {
    const uint8_t* first = pts.at(i / 200 * 200);
    const uint8_t* got = part.point(i);
    ASSERT_EQ(memcmp(got, pts.at(i), 12), 0) << i;        // X, Y, Z
    ASSERT_EQ(memcmp(got + 12, first + 12, 2), 0) << i;   // intensity
    ASSERT_EQ(memcmp(got + 22, first + 22, 30), 0) << i;  // GPS time, colour, extra bytes 0-15
    ASSERT_EQ(memcmp(got + 14, pts.at(i) + 14, 8), 0) << i;
    ASSERT_EQ(got[52], pts.at(i)[52]) << i;
  }
  long long skipped = 0;
  for (const auto& sizes : chunk_layer_sizes(pts, bytes)) {
    skipped += sizes[4] + sizes[8] + sizes[9];
    for (int k = 10; k < 26; k++) skipped += sizes[k];
  }
  EXPECT_GT(skipped, 0);
  EXPECT_EQ(full.consumed - part.consumed, skipped);
}

// A chunk of three points coded by hand, layer by layer, with the encoder
// primitives and fresh models as the format defines them: point 2 switches
// from channel 0 to channel 2, sets 15 returns and return 14, class 200,
// intensity 777 and a GPS step; point 3 repeats it. Flags, scan angle, user
// data and point source layers are empty.
TEST(LayeredHandCoded, Point14ChunkDecodes) {
  struct Layer {
    std::unique_ptr<ByteStreamOutArray> out{new_byte_stream_out_array()};
    ArithmeticEncoder enc;
    Layer() { enc.init(out.get()); }
  } layer[9];
  std::vector<std::unique_ptr<ArithmeticModel>> models;
  auto model = [&](uint32_t symbols) {
    models.emplace_back(new ArithmeticModel(symbols, true));
    models.back()->init();
    return models.back().get();
  };
  std::vector<std::unique_ptr<IntegerCompressor>> ics;
  auto ic = [&](int l, uint32_t bits, uint32_t contexts) {
    ics.emplace_back(new IntegerCompressor(&layer[l].enc, bits, contexts));
    ics.back()->initCompressor();
    return ics.back().get();
  };
  const double t0 = 1000.25;
  uint8_t disk[30] = {};
  put<int32_t>(disk, 10), put<int32_t>(disk + 4, 20), put<int32_t>(disk + 8, 30), put<uint16_t>(disk + 12, 400);
  disk[14] = 0x21;  // return 1 of 2
  disk[16] = 2;
  put<double>(disk + 22, t0);
  uint8_t first[48] = {};
  first[22] = 1;
  las_point14_from_disk(disk, first);

  // Point 2, channel/returns/XY layer: changed values of channel 0 (return 1
  // of 2: context 1), then channel 2's fresh models.
  layer[0].enc.encodeSymbol(model(128), 64 | 16 | 4 | 3);
  layer[0].enc.encodeSymbol(model(3), 1);  // channel 0 + 1 + 1
  ArithmeticModel* ch2_changed[8];
  for (auto& m : ch2_changed) m = model(128);
  layer[0].enc.encodeSymbol(model(16), 15);  // number of returns, model of 2
  layer[0].enc.encodeSymbol(model(16), 14);  // return number, model of 1
  IntegerCompressor* dx = ic(0, 32, 2);
  IntegerCompressor* dy = ic(0, 32, 22);
  dx->compress(0, 5, 0);  // X median 2 * 5 + 1
  const uint32_t kx = dx->getK();
  dy->compress(0, -3, kx < 20 ? kx & ~1u : 20);
  IntegerCompressor* z = ic(1, 32, 20);
  uint32_t k = (dx->getK() + dy->getK()) / 2;
  z->compress(30, 31, k < 18 ? k & ~1u : 18);  // return level 1 starts at Z
  ArithmeticModel* cls = model(256);
  layer[2].enc.encodeSymbol(model(256), 200);  // model (2 & 31) * 2
  IntegerCompressor* intensity = ic(4, 16, 4);
  intensity->compress(400, 777, 0);  // last intensity 2 * 0 + 1
  layer[8].enc.encodeSymbol(model(5), 0);
  ic(8, 32, 9)->compress(0, 1000, 0);
  // Point 3: nothing changed; return 14 of 15 after a GPS change: context 4.
  layer[0].enc.encodeSymbol(ch2_changed[4], 0);
  dx->compress(0, 0, 0);  // X median 2 * 5 + 0
  dy->compress(0, 0, 0);
  k = (dx->getK() + dy->getK()) / 2;
  z->compress(31, 31, k < 18 ? k & ~1u : 18);
  layer[2].enc.encodeSymbol(cls, 200);  // model (200 & 31) * 2 = 16, fresh
  intensity->compress(400, 777, 0);     // last intensity 2 * 0 + 0

  std::vector<uint8_t> chunk(36, 0);
  for (int l : {0, 1, 2, 4, 8}) {
    layer[l].enc.done();
    put<uint32_t>(chunk.data() + 4 * l, static_cast<uint32_t>(layer[l].out->get_size()));
  }
  for (int l : {0, 1, 2, 4, 8})
    chunk.insert(chunk.end(), layer[l].out->get_data(), layer[l].out->get_data() + layer[l].out->get_size());

  for (bool v4 : {false, true}) {
    SCOPED_TRACE(v4 ? "version 4" : "version 3");
    std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(chunk.data(), static_cast<long long>(chunk.size())));
    ArithmeticDecoder shared;
    shared.init(in.get(), false);
    LASreadItemCompressed_POINT14_v3 v3(&shared, LayerMask::ALL);
    LASreadItemCompressed_POINT14_v4 v4r(&shared, LayerMask::ALL);
    LASreadItemCompressed& reader = v4 ? static_cast<LASreadItemCompressed&>(v4r) : v3;
    uint32_t context = 0;
    ASSERT_TRUE(reader.chunk_sizes());
    ASSERT_TRUE(reader.init(first, context));
    EXPECT_EQ(in->tell(), static_cast<long long>(chunk.size()));
    uint8_t got[2][48];
    for (int i = 0; i < 2; i++) {
      context = 0;
      reader.read(got[i], context);
      EXPECT_EQ(context, i == 0 || v4 ? 2u : 0u) << "point " << i + 2;
    }
    // Legacy return 6 of 7; class 200 has no legacy class.
    for (const uint8_t* p : got) {
      EXPECT_EQ(std::make_tuple(get<int32_t>(p), get<int32_t>(p + 4), get<int32_t>(p + 8), get<uint16_t>(p + 12)),
                std::make_tuple(15, 17, 31, 777));
      EXPECT_EQ((std::vector<int>{p[14], p[15], (p[22] >> 2) & 3, p[23], p[24]}),
                (std::vector<int>{6 | 7 << 3, 0, 2, 200, 14 | 15 << 4}));
      EXPECT_EQ(get<uint64_t>(p + 32), get<uint64_t>(first + 32) + 1000);
    }
  }
}

// Colour after POINT14, coded by hand: the chunk starts in channel 2, point
// 2 comes in channel 0 (not in use: started from channel 2's colour), point
// 3 in channel 2 again, already in use: version 3 keeps predicting from the
// colour of point 2, version 4 from channel 2's own last colour.
TEST(LayeredHandCoded, ColourFollowsTheChannel) {
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array());
  ArithmeticEncoder enc;
  enc.init(out.get());
  ArithmeticModel used0(128, true), diff0(256, true), used2(128, true), diff2(256, true);
  for (ArithmeticModel* m : {&used0, &diff0, &used2, &diff2}) m->init();
  enc.encodeSymbol(&used0, 1);  // red low byte changed
  enc.encodeSymbol(&diff0, 5);
  enc.encodeSymbol(&used2, 1);
  enc.encodeSymbol(&diff2, 1);
  enc.done();
  std::vector<uint8_t> chunk(4);
  put<uint32_t>(chunk.data(), static_cast<uint32_t>(out->get_size()));
  chunk.insert(chunk.end(), out->get_data(), out->get_data() + out->get_size());
  const uint16_t first[3] = {100, 200, 300};
  for (bool v4 : {false, true}) {
    std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(chunk.data(), static_cast<long long>(chunk.size())));
    ArithmeticDecoder shared;
    shared.init(in.get(), false);
    LASreadItemCompressed_RGB14_v3 v3r(&shared, LayerMask::ALL);
    LASreadItemCompressed_RGB14_v4 v4r(&shared, LayerMask::ALL);
    LASreadItemCompressed& reader = v4 ? static_cast<LASreadItemCompressed&>(v4r) : v3r;
    uint32_t context = 2;
    ASSERT_TRUE(reader.chunk_sizes());
    ASSERT_TRUE(reader.init(reinterpret_cast<const uint8_t*>(first), context));
    uint16_t rgb[3];
    context = 0;
    reader.read(reinterpret_cast<uint8_t*>(rgb), context);
    EXPECT_EQ(std::vector<uint16_t>(rgb, rgb + 3), std::vector<uint16_t>({105, 105, 105}));  // grey: bit 6 clear
    context = 2;
    reader.read(reinterpret_cast<uint8_t*>(rgb), context);
    EXPECT_EQ(rgb[0], v4 ? 101 : 106) << (v4 ? "version 4" : "version 3");
  }
}

// Damaged layered chunks: a reader fails with the chunk's index, never
// crashes, and goes on with the next chunk where the table allows.
struct DamageCase {
  const char* name;
  size_t size_index;  // which layer size of the second chunk to change (-1: cut the file there)
  long long delta;
  const char* error;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

const DamageCase kDamage[] = {
    {"LayerLargerThanChunk", 1, 0x7FFFFFF0, "chunk with index 1 of 4 is corrupt"},
    {"ChunkEndsEarly", 0, -12, "end-of-file during chunk with index 1"},
    {"EmptyChannelLayer", 0, -1, "chunk with index 1 of 4 is corrupt"},
    {"CutLayer", size_t(-1), 0, "end-of-file during chunk with index 1"},
};

class LayeredDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(LayeredDamage, FailsWithTheChunkIndex) {
  const DamageCase& c = GetParam();
  const Points pts = make_points(6, 0, 3, 100, Kind::Hard, 300, 3);
  auto bytes = write_points(pts);
  const auto sizes = chunk_layer_sizes(pts, bytes);
  size_t second = 8 + pts.disk_size + 4 + 36;
  for (uint32_t s : sizes[0]) second += s;
  uint8_t* size = bytes.data() + second + pts.disk_size + 4 + 4 * (c.size_index == size_t(-1) ? 0 : c.size_index);
  if (c.size_index == size_t(-1)) {
    bytes.resize(second + pts.disk_size + 4 + 36 + sizes[1][0] / 2);
  } else {
    put<uint32_t>(size, c.delta == -1 ? 0u : static_cast<uint32_t>(get<uint32_t>(size) + c.delta));
  }
  const lastest::Readback rb = read_points(pts, bytes, LayerMask::ALL, 310);  // failed reads use up attempts
  ASSERT_FALSE(rb.errors.empty());
  EXPECT_EQ(rb.errors[0], c.error);
  std::vector<size_t> ok;  // the points read
  for (size_t i = 0; i < rb.read_ok.size(); i++) {
    if (rb.read_ok[i]) ok.push_back(i);
  }
  ASSERT_GE(ok.size(), c.size_index == size_t(-1) ? 100u : 200u);
  for (size_t i = 0; i < 100; i++) ASSERT_EQ(memcmp(rb.point(ok[i]), pts.at(i), pts.disk_size), 0) << i;
  // The third chunk reads after the damaged one.
  for (size_t i = 0; i < 100 && c.size_index != size_t(-1); i++) {
    ASSERT_EQ(memcmp(rb.point(ok[ok.size() - 100 + i]), pts.at(200 + i), pts.disk_size), 0) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LayeredDamage, ::testing::ValuesIn(kDamage),
                         [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

// A flipped byte anywhere in the point data never crashes or hangs the
// reader; nearly every flip shows as an error or as other values.
TEST(LayeredDamage, FlippedBytesShow) {
  const Points pts = make_points(10, 3, 4, 50, Kind::Hard, 120, 8);
  const auto bytes = write_points(pts);
  uint32_t flips = 0, shown = 0;
  for (size_t at = 8; at < bytes.size(); at += 17, flips++) {
    auto damaged = bytes;
    damaged[at] ^= 0x5A;
    const lastest::Readback rb = read_points(pts, damaged);
    shown += rb.errors.empty() && rb.end_ok && rb.points == pts.disk ? 0 : 1;
  }
  EXPECT_GT(shown * 10, flips * 9) << shown << " of " << flips;
}

TEST(LayeredSetup, ItemsMustFitTheCompressor) {
  PTcomp settings;
  ASSERT_TRUE(settings.setup_writing(6, 30, 3));
  settings.compressor = PTcomp::COMPRESSOR_POINTWISE_CHUNKED;
  LASreadPoint reader;
  EXPECT_FALSE(reader.setup(settings.num_items, settings.items, &settings));
  EXPECT_STREQ(reader.error(), "item 0 of type 10 and version 3 does not fit compressor 2");
  ASSERT_TRUE(settings.setup_writing(1, 28, 4));
  EXPECT_EQ(settings.compressor, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  EXPECT_EQ(settings.items[0].version, 2);
}

}  // namespace
