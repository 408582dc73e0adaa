// The item decoders against streams coded by hand, symbol by symbol in the
// order the format defines (not through our item writers), so that a
// decoder and writer that agree on a wrong reading still fail here: the
// intensity and height predictions of a new chunk, the meaning of the
// changed-values bits per version, the GPS time sequences, grey colours,
// wave packet offsets, and the running median.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/integercompressor.hpp"
#include "ptcomp/lasreaditemcompressed_v1.hpp"
#include "ptcomp/lasreaditemcompressed_v2.hpp"
#include "ptcomp/streamingmedian5.hpp"

namespace {

// An encoder over a memory stream, and the decoder over what it wrote.
struct Crafted {
  std::unique_ptr<ByteStreamOutArray> out{new_byte_stream_out_array(256)};
  ArithmeticEncoder enc;
  std::unique_ptr<ByteStreamInArray> in;
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
  // Ends the code and starts `decoder` on it, as at a chunk start.
  void start(ArithmeticDecoder& decoder) {
    ASSERT_TRUE(enc.done());
    in.reset(new_byte_stream_in_array(out->get_data(), out->get_size()));
    ASSERT_TRUE(decoder.init(in.get()));
  }
  bool consumed() const { return in->tell() == out->get_size(); }
  std::vector<std::unique_ptr<ArithmeticModel>> models;
  std::vector<std::unique_ptr<IntegerCompressor>> ics;
};

struct P10 {
  int32_t x, y, z;
  uint16_t intensity;
  uint8_t flags, classification, scan, user;
  uint16_t psid;
};

std::vector<uint8_t> pack(const P10& p) {
  std::vector<uint8_t> b(20);
  memcpy(&b[0], &p.x, 4);
  memcpy(&b[4], &p.y, 4);
  memcpy(&b[8], &p.z, 4);
  memcpy(&b[12], &p.intensity, 2);
  b[14] = p.flags;
  b[15] = p.classification;
  b[16] = p.scan;
  b[17] = p.user;
  memcpy(&b[18], &p.psid, 2);
  return b;
}

P10 unpack(const uint8_t* b) {
  P10 p;
  memcpy(&p.x, b, 4);
  memcpy(&p.y, b + 4, 4);
  memcpy(&p.z, b + 8, 4);
  memcpy(&p.intensity, b + 12, 2);
  p.flags = b[14];
  p.classification = b[15];
  p.scan = b[16];
  p.user = b[17];
  memcpy(&p.psid, b + 18, 2);
  return p;
}

const P10 kFirst{1000, 2000, 3000, 500, 0x09, 2, 5, 7, 9};  // return 1 of 1

uint32_t even_below(uint32_t k, uint32_t limit) { return k < limit ? (k & ~1u) : limit; }

TEST(Point10V2Semantics, NothingChangedKeepsZeroIntensityAndPredictsHeightFromZero) {
  Crafted c;
  ArithmeticModel* changed = c.model(64);
  IntegerCompressor* icx = c.ic(32, 2);
  IntegerCompressor* icy = c.ic(32, 22);
  IntegerCompressor* icz = c.ic(32, 20);
  c.enc.encodeSymbol(changed, 0);
  icx->compress(0, 10, 1);  // one return: context 1
  const uint32_t kx = icx->getK();
  icy->compress(0, -4, 1 + even_below(kx, 20));
  const uint32_t k = (kx + icy->getK()) / 2;
  icz->compress(0, 3005, 1 + even_below(k, 18));  // the last height of level 0 starts at 0

  ArithmeticDecoder dec;
  LASreadItemCompressed_POINT10_v2 reader(&dec);
  uint32_t context = 0;
  const auto first = pack(kFirst);
  reader.init(first.data(), context);
  c.start(dec);
  uint8_t item[20];
  reader.read(item, context);
  const P10 p = unpack(item);
  EXPECT_EQ(p.x, 1010);
  EXPECT_EQ(p.y, 1996);
  EXPECT_EQ(p.z, 3005);
  EXPECT_EQ(p.intensity, 0) << "a chunk's first intensity is not a prediction";
  EXPECT_EQ(p.flags, kFirst.flags);
  EXPECT_EQ(p.classification, kFirst.classification);
  EXPECT_EQ(p.scan, kFirst.scan);
  EXPECT_EQ(p.user, kFirst.user);
  EXPECT_EQ(p.psid, kFirst.psid);
  EXPECT_TRUE(c.consumed());
}

TEST(Point10V2Semantics, Bit5IsTheFlagByteAndSelectsTheReturnClass) {
  Crafted c;
  ArithmeticModel* changed = c.model(64);
  ArithmeticModel* flags_after_09 = c.model(256);
  IntegerCompressor* intensity = c.ic(16, 4);
  ArithmeticModel* scan_models[2] = {c.model(256), c.model(256)};
  IntegerCompressor* icx = c.ic(32, 2);
  IntegerCompressor* icy = c.ic(32, 22);
  IntegerCompressor* icz = c.ic(32, 20);
  // Point 2: flag byte becomes return 2 of 2 with the scan direction set
  // (0x52), intensity changed, scan angle moved by -3.
  c.enc.encodeSymbol(changed, 32 | 16 | 4);
  c.enc.encodeSymbol(flags_after_09, 0x52);
  intensity->compress(0, 777, 2);  // return map [2][2] = 2
  c.enc.encodeSymbol(scan_models[1], 253);
  icx->compress(0, 0, 0);
  icy->compress(0, 0, 0 + even_below(icx->getK(), 20));
  uint32_t k = (icx->getK() + icy->getK()) / 2;
  icz->compress(0, 42, even_below(k, 18));  // return level 0
  // Point 3: only the classification bit... none set except point source;
  // the intensity of class 2 is remembered (777), not the last item's.
  c.enc.encodeSymbol(changed, 1);
  IntegerCompressor* psid = c.ic(16, 1);
  psid->compress(9, 10, 0);
  icx->compress(0, 0, 0);
  icy->compress(0, 0, even_below(icx->getK(), 20));
  k = (icx->getK() + icy->getK()) / 2;
  icz->compress(42, 43, even_below(k, 18));

  ArithmeticDecoder dec;
  LASreadItemCompressed_POINT10_v2 reader(&dec);
  uint32_t context = 0;
  const auto first = pack(kFirst);
  reader.init(first.data(), context);
  c.start(dec);
  uint8_t item[20];
  reader.read(item, context);
  P10 p = unpack(item);
  EXPECT_EQ(p.flags, 0x52);
  EXPECT_EQ(p.intensity, 777);
  EXPECT_EQ(p.scan, 2);  // 5 + 253 mod 256
  EXPECT_EQ(p.z, 42);
  reader.read(item, context);
  p = unpack(item);
  EXPECT_EQ(p.intensity, 777);
  EXPECT_EQ(p.psid, 10);
  EXPECT_EQ(p.z, 43);
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

  ArithmeticDecoder dec;
  LASreadItemCompressed_POINT10_v1 reader(&dec);
  uint32_t context = 0;
  const auto first = pack(kFirst);
  reader.init(first.data(), context);
  c.start(dec);
  uint8_t item[20];
  reader.read(item, context);
  const P10 p = unpack(item);
  EXPECT_EQ(p.x, 1003);
  EXPECT_EQ(p.y, 2000);
  EXPECT_EQ(p.z, 2990);
  EXPECT_EQ(p.intensity, 600);
  EXPECT_EQ(p.flags, kFirst.flags);
  EXPECT_EQ(static_cast<int8_t>(p.scan), -128);
  EXPECT_TRUE(c.consumed());
}

uint64_t bits_of(double t) {
  uint64_t b;
  memcpy(&b, &t, 8);
  return b;
}

TEST(GpsTime11V2Semantics, SequencesSwitchAndRepeat) {
  const uint64_t t0 = bits_of(300000.0);
  const uint64_t t1 = bits_of(512345.678);
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

  ArithmeticDecoder dec;
  LASreadItemCompressed_GPSTIME11_v2 reader(&dec);
  uint32_t context = 0;
  uint8_t item[8];
  memcpy(item, &t0, 8);
  reader.init(item, context);
  c.start(dec);
  const uint64_t expected[] = {t0 + 100, t1, t1 + 50, t0 + 200, t0 + 200, t0 + 400, t0 + 100};
  for (uint64_t e : expected) {
    reader.read(item, context);
    uint64_t got;
    memcpy(&got, item, 8);
    EXPECT_EQ(got, e);
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
    ArithmeticDecoder dec;
    LASreadItemCompressed_GPSTIME11_v2 reader(&dec);
    uint32_t context = 0;
    uint8_t item[8];
    memcpy(item, &t0, 8);
    reader.init(item, context);
    c.start(dec);
    if (switches == 3) {
      reader.read(item, context);
      uint64_t got;
      memcpy(&got, item, 8);
      EXPECT_EQ(got, 0u) << "sequence 3 has not started yet";
    } else {
      EXPECT_THROW(reader.read(item, context), int);
    }
  }
}

TEST(GpsTime11V1Semantics, FullTimesAndMultipliers) {
  const uint64_t t0 = bits_of(1000.0);
  const uint64_t t1 = bits_of(-5.5);
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

  ArithmeticDecoder dec;
  LASreadItemCompressed_GPSTIME11_v1 reader(&dec);
  uint32_t context = 0;
  uint8_t item[8];
  memcpy(item, &t0, 8);
  reader.init(item, context);
  c.start(dec);
  const uint64_t expected[] = {t1, t1 + 8, t1 + 11, t1 + 92, t0};
  for (uint64_t e : expected) {
    reader.read(item, context);
    uint64_t got;
    memcpy(&got, item, 8);
    EXPECT_EQ(got, e);
  }
  EXPECT_TRUE(c.consumed());
}

TEST(Rgb12V2Semantics, Bit6ClearGivesGrey) {
  Crafted c;
  ArithmeticModel* used = c.model(128);
  ArithmeticModel* diff0 = c.model(256);
  ArithmeticModel* diff1 = c.model(256);
  c.enc.encodeSymbol(used, 1 | 2);
  c.enc.encodeSymbol(diff0, static_cast<uint8_t>(0x34 - 100));
  c.enc.encodeSymbol(diff1, 0x12);

  ArithmeticDecoder dec;
  LASreadItemCompressed_RGB12_v2 reader(&dec);
  uint32_t context = 0;
  uint16_t rgb[3] = {100, 200, 300};
  reader.init(reinterpret_cast<uint8_t*>(rgb), context);
  c.start(dec);
  reader.read(reinterpret_cast<uint8_t*>(rgb), context);
  EXPECT_EQ(rgb[0], 0x1234);
  EXPECT_EQ(rgb[1], 0x1234);
  EXPECT_EQ(rgb[2], 0x1234);
  EXPECT_TRUE(c.consumed());
}

TEST(Rgb12V2Semantics, GreenAndBlueFollowRed) {
  Crafted c;
  ArithmeticModel* used = c.model(128);
  std::vector<ArithmeticModel*> diff;
  for (int i = 0; i < 6; i++) diff.push_back(c.model(256));
  // Red low +10, green low predicted 20 + 10, blue low predicted
  // 30 + (10 + 5) / 2 = 37; high bytes: red unchanged, green +1.
  c.enc.encodeSymbol(used, 64 | 1 | 4 | 16 | 8);
  c.enc.encodeSymbol(diff[0], 10);
  c.enc.encodeSymbol(diff[2], static_cast<uint8_t>(25 - 30));
  c.enc.encodeSymbol(diff[4], static_cast<uint8_t>(40 - 37));
  c.enc.encodeSymbol(diff[3], 1);

  ArithmeticDecoder dec;
  LASreadItemCompressed_RGB12_v2 reader(&dec);
  uint32_t context = 0;
  uint16_t rgb[3] = {10, 20, 30};
  reader.init(reinterpret_cast<uint8_t*>(rgb), context);
  c.start(dec);
  reader.read(reinterpret_cast<uint8_t*>(rgb), context);
  EXPECT_EQ(rgb[0], 20);
  EXPECT_EQ(rgb[1], 0x100 + 25);
  EXPECT_EQ(rgb[2], 40);
  EXPECT_TRUE(c.consumed());
}

TEST(Wavepacket13V1Semantics, OffsetKinds) {
  uint8_t first[29] = {};
  const uint64_t offset0 = 5000;
  const uint32_t size0 = 300;
  memcpy(first + 1, &offset0, 8);
  memcpy(first + 9, &size0, 4);
  Crafted c;
  ArithmeticModel* index = c.model(256);
  ArithmeticModel* kinds[4] = {c.model(4), c.model(4), c.model(4), c.model(4)};
  IntegerCompressor* offset_diff = c.ic(32, 1);
  IntegerCompressor* size = c.ic(32, 1);
  IntegerCompressor* ret = c.ic(32, 1);
  IntegerCompressor* xyz = c.ic(32, 3);
  auto rest = [&](int32_t new_size) {
    size->compress(static_cast<int32_t>(size0), new_size, 0);
    ret->compress(0, 0, 0);
    for (uint32_t i = 0; i < 3; i++) xyz->compress(0, 0, i);
  };
  // Point 2: kind 1, right after the first packet.
  c.enc.encodeSymbol(index, 3);
  c.enc.encodeSymbol(kinds[0], 1);
  rest(300);
  // Point 3: kind 2 (chosen by last kind 1), 64 bytes back.
  c.enc.encodeSymbol(index, 3);
  c.enc.encodeSymbol(kinds[1], 2);
  offset_diff->compress(0, -64, 0);
  rest(300);

  ArithmeticDecoder dec;
  LASreadItemCompressed_WAVEPACKET13_v1 reader(&dec);
  uint32_t context = 0;
  reader.init(first, context);
  c.start(dec);
  uint8_t item[29];
  uint64_t offset;
  reader.read(item, context);
  EXPECT_EQ(item[0], 3);
  memcpy(&offset, item + 1, 8);
  EXPECT_EQ(offset, offset0 + size0);
  reader.read(item, context);
  memcpy(&offset, item + 1, 8);
  EXPECT_EQ(offset, offset0 + size0 - 64);
  EXPECT_TRUE(c.consumed());
}

TEST(ByteV1Semantics, OneContextPerByte) {
  Crafted c;
  IntegerCompressor* ic = c.ic(8, 3);
  ic->compress(10, 11, 0);
  ic->compress(250, 4, 1);  // wraps through 255
  ic->compress(0, 0, 2);
  ArithmeticDecoder dec;
  LASreadItemCompressed_BYTE_v1 reader(&dec, 3);
  uint32_t context = 0;
  uint8_t item[3] = {10, 250, 0};
  reader.init(item, context);
  c.start(dec);
  reader.read(item, context);
  EXPECT_EQ(item[0], 11);
  EXPECT_EQ(item[1], 4);
  EXPECT_EQ(item[2], 0);
  EXPECT_TRUE(c.consumed());
}

TEST(StreamingMedian5, FollowsTheInsertionRules) {
  StreamingMedian5 m;
  EXPECT_EQ(m.get(), 0);
  const int32_t values[] = {5, 3, 4, -1, 1, 100, 100, -50};
  // Worked through the rules by hand from the reset state (all 0, high).
  const int32_t medians[] = {0, 0, 3, 3, 1, 1, 3, 3};
  for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); i++) {
    m.add(values[i]);
    EXPECT_EQ(m.get(), medians[i]) << "after value " << i;
  }
  m.init();
  EXPECT_EQ(m.get(), 0);
  EXPECT_TRUE(m.high);
}

}  // namespace
