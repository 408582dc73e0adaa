// The item decoders against streams coded by hand in the format's order, so
// that a decoder and writer agreeing on a wrong reading still fail here.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/integercompressor.hpp"
#include "ptcomp/lasreaditemcompressed_v1.hpp"
#include "ptcomp/lasreaditemcompressed_v2.hpp"
#include "ptcomp/streamingmedian5.hpp"
#include "tests/support/point_helpers.hpp"

namespace {

// An encoder over a memory stream, then an item reader decoding what it
// wrote, started on a chunk's first item.
struct Crafted {
  std::unique_ptr<ByteStreamOutArray> out{new_byte_stream_out_array(256)};
  ArithmeticEncoder enc;
  ArithmeticDecoder dec;
  std::unique_ptr<ByteStreamInArray> in;
  LASreadItemCompressed* reader = nullptr;
  uint32_t context = 0;
  std::vector<std::unique_ptr<ArithmeticModel>> models;
  std::vector<std::unique_ptr<IntegerCompressor>> ics;

  Crafted() { enc.init(out.get()); }
  ArithmeticModel* model(uint32_t symbols) {
    models.emplace_back(enc.createSymbolModel(symbols));
    enc.initSymbolModel(models.back().get());
    return models.back().get();
  }
  IntegerCompressor* ic(uint32_t bits, uint32_t contexts) {
    ics.emplace_back(new IntegerCompressor(&enc, bits, contexts));
    ics.back()->initCompressor();
    return ics.back().get();
  }
  void start(LASreadItemCompressed& item_reader, const void* first) {
    reader = &item_reader;
    reader->init(static_cast<const uint8_t*>(first), context);
    ASSERT_TRUE(enc.done());
    in.reset(new_byte_stream_in_array(out->get_data(), out->get_size()));
    ASSERT_TRUE(dec.init(in.get()));
  }
  void read(void* item) { reader->read(static_cast<uint8_t*>(item), context); }
  uint64_t read64() {
    uint64_t v;
    read(&v);
    return v;
  }
  bool consumed() const { return in->tell() == out->get_size(); }
};

#pragma pack(push, 1)
struct P10 {
  int32_t x, y, z;
  uint16_t intensity;
  uint8_t flags, classification, scan, user;
  uint16_t psid;
};
#pragma pack(pop)
static_assert(sizeof(P10) == 20, "the POINT10 item layout");

const P10 kFirst{1000, 2000, 3000, 500, 0x09, 2, 5, 7, 9};  // return 1 of 1

uint32_t even_below(uint32_t k, uint32_t limit) { return k < limit ? (k & ~1u) : limit; }

// Version 2 x, y and z: x in context `nr`, y and z in contexts from the k of
// the coordinates before, offset by `nr` (y) and `level` (z).
void code_xyz_v2(IntegerCompressor* const ic[3], int32_t dx, int32_t dy, int32_t z_pred, int32_t z, uint32_t nr,
                 uint32_t level) {
  ic[0]->compress(0, dx, nr);
  const uint32_t kx = ic[0]->getK();
  ic[1]->compress(0, dy, nr + even_below(kx, 20));
  ic[2]->compress(z_pred, z, level + even_below((kx + ic[1]->getK()) / 2, 18));
}

TEST(Point10V2Semantics, ChangedBitsReturnClassesAndPredictions) {
  Crafted c;
  ArithmeticModel* changed = c.model(64);
  ArithmeticModel* flags_after_09 = c.model(256);
  IntegerCompressor* intensity = c.ic(16, 4);
  ArithmeticModel* scan_models[2] = {c.model(256), c.model(256)};
  IntegerCompressor* const xyz[3] = {c.ic(32, 2), c.ic(32, 22), c.ic(32, 20)};
  // Point 2: nothing changed; one return, so the single-return contexts.
  c.enc.encodeSymbol(changed, 0);
  code_xyz_v2(xyz, 10, -4, 0, 3005, 1, 1);  // the last height of level 0 starts at 0
  // Point 3: bit 5 is the flag byte, now return 2 of 2 with the scan
  // direction set (0x52), a new return class; intensity changed, scan angle
  // moved by -3. Level 0 again, so the height predicted from point 2.
  c.enc.encodeSymbol(changed, 32 | 16 | 4);
  c.enc.encodeSymbol(flags_after_09, 0x52);
  intensity->compress(0, 777, 2);  // return map [2][2] = 2
  c.enc.encodeSymbol(scan_models[1], 253);
  code_xyz_v2(xyz, 0, 0, 3005, 42, 0, 0);
  // Point 4: only the point source changes; the intensity of class 2 is
  // remembered (777).
  c.enc.encodeSymbol(changed, 1);
  c.ic(16, 1)->compress(9, 10, 0);
  code_xyz_v2(xyz, 0, 0, 42, 43, 0, 0);

  LASreadItemCompressed_POINT10_v2 reader(&c.dec);
  c.start(reader, &kFirst);
  P10 p;
  c.read(&p);
  // A chunk's first intensity is not a prediction; the rest as in the first point.
  EXPECT_EQ(std::make_tuple(p.x, p.y, p.z, p.intensity), std::make_tuple(1010, 1996, 3005, 0));
  EXPECT_EQ(memcmp(&p.flags, &kFirst.flags, 6), 0);
  c.read(&p);
  EXPECT_EQ(std::make_tuple(p.flags, p.intensity, p.scan, p.z), std::make_tuple(0x52, 777, 2, 42));  // 5 + 253
  c.read(&p);
  EXPECT_EQ(std::make_tuple(p.intensity, p.psid, p.z), std::make_tuple(777, 10, 43));
  EXPECT_TRUE(c.consumed());
}

TEST(Point10V1Semantics, Bit5IsTheIntensity) {
  Crafted c;
  IntegerCompressor* icx = c.ic(32, 1);
  IntegerCompressor* icy = c.ic(32, 20);
  IntegerCompressor* icz = c.ic(32, 20);
  ArithmeticModel* changed = c.model(64);
  IntegerCompressor* intensity = c.ic(16, 1);
  IntegerCompressor* scan = c.ic(8, 2);
  icx->compress(0, 3, 0);
  const uint32_t kx = icx->getK();
  icy->compress(0, 0, kx < 19 ? kx : 19);
  const uint32_t s = kx + icy->getK();
  icz->compress(3000, 2990, (s >> 1) < 19 ? (s >> 1) : 19);  // v1 predicts z from the last z
  c.enc.encodeSymbol(changed, 32 | 4);
  intensity->compress(500, 600, 0);
  scan->compress(5, 0x80, s < 6 ? 1 : 0);  // scan angle rank -128

  LASreadItemCompressed_POINT10_v1 reader(&c.dec);
  c.start(reader, &kFirst);
  P10 p;
  c.read(&p);
  EXPECT_EQ(std::make_tuple(p.x, p.y, p.z, p.intensity, p.flags, static_cast<int8_t>(p.scan)),
            std::make_tuple(1003, 2000, 2990, 600, kFirst.flags, -128));
  EXPECT_TRUE(c.consumed());
}

uint64_t bits_of(double t) { return lastest::get<uint64_t>(reinterpret_cast<const uint8_t*>(&t)); }

TEST(GpsTime11V2Semantics, SequencesSwitchAndRepeat) {
  const uint64_t t0 = bits_of(300000.0), t1 = bits_of(512345.678);
  Crafted c;
  ArithmeticModel* multi = c.model(516);
  ArithmeticModel* zero = c.model(6);
  IntegerCompressor* ic = c.ic(32, 9);
  // 2: first step of sequence 0.
  c.enc.encodeSymbol(zero, 1);
  ic->compress(0, 100, 0);
  // 3: a full time opens sequence 1.
  c.enc.encodeSymbol(multi, 512);
  ic->compress(static_cast<int32_t>(t0 >> 32), static_cast<int32_t>(t1 >> 32), 8);
  c.enc.writeInt(static_cast<uint32_t>(t1));
  // 4: first step of sequence 1.
  c.enc.encodeSymbol(zero, 1);
  ic->compress(0, 50, 0);
  // 5: back to sequence 0 (1 + 3 mod 4), then the same step there again.
  c.enc.encodeSymbol(multi, 515);
  c.enc.encodeSymbol(multi, 1);
  ic->compress(100, 100, 1);
  // 6: the same time again.
  c.enc.encodeSymbol(multi, 511);
  // 7: twice the step (multiplier 2).
  c.enc.encodeSymbol(multi, 2);
  ic->compress(200, 200, 2);
  // 8: a step of -3 times the last difference.
  c.enc.encodeSymbol(multi, 503);
  ic->compress(-300, -300, 5);

  LASreadItemCompressed_GPSTIME11_v2 reader(&c.dec);
  c.start(reader, &t0);
  for (uint64_t expected : {t0 + 100, t1, t1 + 50, t0 + 200, t0 + 200, t0 + 400, t0 + 100}) {
    EXPECT_EQ(c.read64(), expected);
  }
  EXPECT_TRUE(c.consumed());
}

// A run of sequence switches within one point is corrupt data: three are
// followed, a fourth is refused rather than looping on.
TEST(GpsTime11V2Semantics, RunOfSwitchesIsCorrupt) {
  const uint64_t t0 = bits_of(300000.0);
  for (int switches = 3; switches <= 4; switches++) {
    Crafted c;
    c.model(516);
    ArithmeticModel* zero = c.model(6);
    for (int i = 0; i < switches; i++) c.enc.encodeSymbol(zero, 3);
    c.enc.encodeSymbol(zero, 0);
    LASreadItemCompressed_GPSTIME11_v2 reader(&c.dec);
    c.start(reader, &t0);
    if (switches == 3) {
      EXPECT_EQ(c.read64(), 0u) << "sequence 3 has not started yet";
    } else {
      EXPECT_THROW(c.read64(), int);
    }
  }
}

TEST(GpsTime11V1Semantics, FullTimesAndMultipliers) {
  const uint64_t t0 = bits_of(1000.0), t1 = bits_of(-5.5);
  Crafted c;
  ArithmeticModel* multi = c.model(512);
  ArithmeticModel* zero = c.model(3);
  IntegerCompressor* ic = c.ic(32, 6);
  c.enc.encodeSymbol(zero, 2);  // full time while the difference is 0
  c.enc.writeInt64(t1);
  c.enc.encodeSymbol(zero, 1);
  ic->compress(0, 8, 0);
  c.enc.encodeSymbol(multi, 0);  // a quarter of the last difference
  ic->compress(2, 3, 2);
  c.enc.encodeSymbol(multi, 10);  // ten times
  ic->compress(80, 81, 4);
  c.enc.encodeSymbol(multi, 510);
  c.enc.writeInt64(t0);

  LASreadItemCompressed_GPSTIME11_v1 reader(&c.dec);
  c.start(reader, &t0);
  for (uint64_t expected : {t1, t1 + 8, t1 + 11, t1 + 92, t0}) EXPECT_EQ(c.read64(), expected);
  EXPECT_TRUE(c.consumed());
}

TEST(Rgb12V2Semantics, GreyOrGreenAndBlueFollowingRed) {
  Crafted c;
  ArithmeticModel* used = c.model(128);
  std::vector<ArithmeticModel*> diff;
  for (int i = 0; i < 6; i++) diff.push_back(c.model(256));
  // Point 2: bit 6 clear gives grey, from red's low and high bytes.
  c.enc.encodeSymbol(used, 1 | 2);
  c.enc.encodeSymbol(diff[0], static_cast<uint8_t>(0x34 - 10));
  c.enc.encodeSymbol(diff[1], 0x12);
  // Point 3: red low -0x24, green low predicted 0x34 - 0x24 = 0x10, blue
  // low 0x34 + (-0x24 + 0x21 - 0x34) / 2 = 0x34 - 0x1B (rounded towards
  // zero); high bytes: red unchanged, green +1.
  c.enc.encodeSymbol(used, 64 | 1 | 4 | 16 | 8);
  c.enc.encodeSymbol(diff[0], static_cast<uint8_t>(0x10 - 0x34));
  c.enc.encodeSymbol(diff[2], static_cast<uint8_t>(0x21 - 0x10));
  c.enc.encodeSymbol(diff[4], static_cast<uint8_t>(0x30 - (0x34 - 0x1B)));
  c.enc.encodeSymbol(diff[3], 1);

  LASreadItemCompressed_RGB12_v2 reader(&c.dec);
  uint16_t rgb[3] = {10, 20, 30};
  c.start(reader, rgb);
  c.read(rgb);
  EXPECT_EQ(std::vector<uint16_t>(rgb, rgb + 3), std::vector<uint16_t>(3, 0x1234));
  c.read(rgb);
  EXPECT_EQ(std::vector<uint16_t>(rgb, rgb + 3), (std::vector<uint16_t>{0x1210, 0x1321, 0x1230}));
  EXPECT_TRUE(c.consumed());
}

TEST(Wavepacket13V1Semantics, OffsetKinds) {
  uint8_t first[29] = {}, item[29];
  const uint64_t offset0 = 5000;
  const uint32_t size0 = 300;
  lastest::put(first + 1, offset0);
  lastest::put(first + 9, size0);
  Crafted c;
  ArithmeticModel* index = c.model(256);
  ArithmeticModel* kinds[4] = {c.model(4), c.model(4), c.model(4), c.model(4)};
  IntegerCompressor* offset_diff = c.ic(32, 1);
  IntegerCompressor* size = c.ic(32, 1);
  IntegerCompressor* ret = c.ic(32, 1);
  IntegerCompressor* xyz = c.ic(32, 3);
  auto rest = [&] {
    size->compress(static_cast<int32_t>(size0), static_cast<int32_t>(size0), 0);
    ret->compress(0, 0, 0);
    for (uint32_t i = 0; i < 3; i++) xyz->compress(0, 0, i);
  };
  // Point 2: kind 1, right after the first packet.
  c.enc.encodeSymbol(index, 3);
  c.enc.encodeSymbol(kinds[0], 1);
  rest();
  // Point 3: kind 2 (chosen by last kind 1), 64 bytes back.
  c.enc.encodeSymbol(index, 3);
  c.enc.encodeSymbol(kinds[1], 2);
  offset_diff->compress(0, -64, 0);
  rest();

  LASreadItemCompressed_WAVEPACKET13_v1 reader(&c.dec);
  c.start(reader, first);
  c.read(item);
  EXPECT_EQ(item[0], 3);
  EXPECT_EQ(lastest::get<uint64_t>(item + 1), offset0 + size0);
  c.read(item);
  EXPECT_EQ(lastest::get<uint64_t>(item + 1), offset0 + size0 - 64);
  EXPECT_TRUE(c.consumed());
}

TEST(ByteV1Semantics, OneContextPerByte) {
  Crafted c;
  IntegerCompressor* ic = c.ic(8, 3);
  ic->compress(10, 11, 0);
  ic->compress(250, 4, 1);  // wraps through 255
  ic->compress(0, 0, 2);
  LASreadItemCompressed_BYTE_v1 reader(&c.dec, 3);
  uint8_t item[3] = {10, 250, 0};
  c.start(reader, item);
  c.read(item);
  EXPECT_EQ(std::vector<uint8_t>(item, item + 3), (std::vector<uint8_t>{11, 4, 0}));
  EXPECT_TRUE(c.consumed());
}

TEST(StreamingMedian5, FollowsTheInsertionRules) {
  StreamingMedian5 m;
  EXPECT_EQ(m.get(), 0);
  const int32_t values[] = {5, 3, 4, -1, 1, 100, 100, -50};
  // Worked through the rules by hand from the reset state (all 0, high).
  const int32_t medians[] = {0, 0, 3, 3, 1, 1, 3, 3};
  for (size_t i = 0; i < 8; i++) {
    m.add(values[i]);
    EXPECT_EQ(m.get(), medians[i]) << "after value " << i;
  }
  m.init();
  EXPECT_EQ(m.get(), 0);
  EXPECT_TRUE(m.high);
}

}  // namespace
