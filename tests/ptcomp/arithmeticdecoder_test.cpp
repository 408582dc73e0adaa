// The decoder on its own: start bytes, bit and symbol decisions at their
// exact thresholds, lookup table sizes, refused alphabets, the order of wide
// raw reads, the 32-bit integer compressor's extreme interval, and corrupt
// input that must end in -1, 4711 or garbage values, never a crash or hang.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/integercompressor.hpp"

namespace {

int thrown_by(const std::function<void()>& f) {
  try {
    f();
  } catch (int e) {
    return e;
  }
  return 0;
}

struct Bytes {
  std::vector<unsigned char> data;
  ByteStreamInArrayLE stream;
  ArithmeticDecoder decoder;
  explicit Bytes(std::vector<unsigned char> d) : data(std::move(d)), stream(data.data(), data.size()) {}
  void start() { ASSERT_TRUE(decoder.init(&stream)); }
};

TEST(ArithmeticDecoder, StartReadsFourBytesMostSignificantFirst) {
  Bytes b({0x12, 0x34, 0x56, 0x78, 0x9A});
  b.start();
  EXPECT_EQ(b.decoder.get_value(), 0x12345678u);
  EXPECT_EQ(b.decoder.get_length(), 0xFFFFFFFFu);
  EXPECT_EQ(b.stream.tell(), 4);
}

TEST(ArithmeticDecoder, StartWithoutBytesReadsNothing) {
  Bytes b({0x12, 0x34});
  EXPECT_TRUE(b.decoder.init(&b.stream, false));
  EXPECT_EQ(b.stream.tell(), 0);
  EXPECT_FALSE(b.decoder.init(nullptr));
}

TEST(ArithmeticDecoder, StartFailures) {
  Bytes short_input({0x12, 0x34, 0x56});
  EXPECT_EQ(thrown_by([&] { short_input.decoder.init(&short_input.stream); }), -1);
  // No encoder starts a code with FF FF FF FF: the decoder would stand
  // outside its interval.
  Bytes all_ones({0xFF, 0xFF, 0xFF, 0xFF, 0x00});
  EXPECT_EQ(thrown_by([&] { all_ones.decoder.init(&all_ones.stream); }), 4711);
  Bytes almost({0xFF, 0xFF, 0xFF, 0xFE, 0x00});
  EXPECT_EQ(thrown_by([&] { almost.decoder.init(&almost.stream); }), 0);
}

TEST(ArithmeticDecoder, FreshBitModelThreshold) {
  // x = 4096 * (0xFFFFFFFF >> 13) = 0x7FFFF000.
  Bytes zero({0x7F, 0xFF, 0xEF, 0xFF, 0, 0, 0, 0});
  zero.start();
  ArithmeticBitModel m0;
  EXPECT_EQ(zero.decoder.decodeBit(&m0), 0u);
  EXPECT_EQ(zero.decoder.get_length(), 0x7FFFF000u);
  EXPECT_EQ(m0.zero_count, 2u);
  EXPECT_EQ(m0.until_update, 3u);

  Bytes one({0x7F, 0xFF, 0xF0, 0x00, 0, 0, 0, 0});
  one.start();
  ArithmeticBitModel m1;
  EXPECT_EQ(one.decoder.decodeBit(&m1), 1u);
  EXPECT_EQ(one.decoder.get_value(), 0u);
  EXPECT_EQ(one.decoder.get_length(), 0x80000FFFu);
  EXPECT_EQ(m1.zero_count, 1u);
}

TEST(ArithmeticBitModel, UpdateRule) {
  ArithmeticBitModel m;
  EXPECT_EQ(m.cycle_length, 4u);
  EXPECT_EQ(m.zero_probability, 4096u);
  EXPECT_EQ(m.bit_total, 2u);
  m.zero_count = 5;  // 4 zeros seen
  m.update();
  EXPECT_EQ(m.bit_total, 6u);
  EXPECT_EQ(m.zero_probability, ((0x80000000u / 6) * 5) >> 18);
  EXPECT_EQ(m.cycle_length, 5u);
  EXPECT_EQ(m.until_update, 5u);
  // Halving keeps zero_count below bit_total.
  m.bit_total = 8190;
  m.zero_count = 8189;
  m.cycle_length = 64;
  m.update();
  EXPECT_EQ(m.bit_total, 4127u);
  EXPECT_EQ(m.zero_count, 4095u);
  EXPECT_EQ(m.cycle_length, 64u);
  m.bit_total = 8192;
  m.zero_count = 8191;
  m.cycle_length = 1;
  m.update();  // 8193 -> 4097, 8191 -> 4096: still apart
  EXPECT_EQ(m.bit_total, 4097u);
  m.bit_total = 8193;
  m.zero_count = 8193;
  m.cycle_length = 1;
  m.update();  // 8194 -> 4097 and 8193 -> 4097: equal, so bit_total + 1
  EXPECT_EQ(m.bit_total, 4098u);
  EXPECT_EQ(m.zero_count, 4097u);
}

struct TableCase {
  uint32_t symbols;
  uint32_t lookup_size;
  uint32_t lookup_shift;
};

class LookupTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(LookupTable, SizeAndShift) {
  ArithmeticDecoder decoder;
  ArithmeticModel* m = decoder.createSymbolModel(GetParam().symbols);
  ASSERT_EQ(decoder.initSymbolModel(m), 0);
  EXPECT_EQ(m->lookup_size, GetParam().lookup_size);
  EXPECT_EQ(m->lookup_shift, GetParam().lookup_shift);
  EXPECT_EQ(m->lookup != nullptr, GetParam().lookup_size != 0);
  EXPECT_EQ(m->top_symbol, GetParam().symbols - 1);
  EXPECT_EQ(m->cycle_length, (GetParam().symbols + 6) / 2);
  EXPECT_EQ(m->cumulative[0], 0u);
  for (uint32_t k = 1; k < GetParam().symbols; k++) ASSERT_GT(m->cumulative[k], m->cumulative[k - 1]);
  if (m->lookup) {
    // Every table entry names the last symbol whose start lies at or below
    // the slice start; the two extra entries hold the top symbol.
    for (uint32_t t = 0; t <= m->lookup_size + 1; t++) {
      const uint32_t s = m->lookup[t];
      ASSERT_LT(s, GetParam().symbols);
      if (t >= 1 && t <= m->lookup_size) {
        ASSERT_LT(m->cumulative[s] >> m->lookup_shift, t);
        if (s + 1 < GetParam().symbols) {
          ASSERT_GE(m->cumulative[s + 1] >> m->lookup_shift, t);
        }
      }
    }
    EXPECT_EQ(m->lookup[m->lookup_size + 1], GetParam().symbols - 1);
  }
  decoder.destroySymbolModel(m);
  // Encoding models never carry a table.
  ArithmeticModel encoding(GetParam().symbols, true);
  ASSERT_EQ(encoding.init(), 0);
  EXPECT_EQ(encoding.lookup, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LookupTable,
                         ::testing::Values(TableCase{2, 0, 0}, TableCase{16, 0, 0}, TableCase{17, 8, 12},
                                           TableCase{32, 8, 12}, TableCase{33, 16, 11}, TableCase{256, 64, 9},
                                           TableCase{257, 128, 8}, TableCase{2048, 512, 6}));

TEST(ArithmeticModel, RefusedAlphabetSizes) {
  ArithmeticDecoder decoder;
  for (uint32_t n : {0u, 1u, 2049u, 100000u}) {
    ArithmeticModel* m = decoder.createSymbolModel(n);
    EXPECT_EQ(decoder.initSymbolModel(m), -1) << n;
    EXPECT_FALSE(m->usable());
    decoder.destroySymbolModel(m);
  }
}

TEST(ArithmeticModel, InitialCounts) {
  ArithmeticDecoder decoder;
  ArithmeticModel* m = decoder.createSymbolModel(4);
  const uint32_t counts[4] = {1, 1, 1, 1};
  ASSERT_EQ(decoder.initSymbolModel(m, counts), 0);
  EXPECT_EQ(m->cumulative[2], 16384u);
  // Restarting resets the statistics without reallocating.
  uint32_t* before = m->cumulative;
  m->counts[0] = 500;
  ASSERT_EQ(decoder.initSymbolModel(m), 0);
  EXPECT_EQ(m->cumulative, before);
  EXPECT_EQ(m->counts[0], 1u);
  decoder.destroySymbolModel(m);
}

TEST(ArithmeticDecoder, WideRawReadsTakeLowSixteenBitsFirst) {
  // value 0x12345678: the first 16-bit read gives 0x1234 and leaves 0x68AC,
  // which after two zero bytes gives 0x68AC for the next 16 bits, or 6 for
  // the next 4.
  Bytes b32({0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0});
  b32.start();
  EXPECT_EQ(b32.decoder.readBits(32), 0x68AC1234u);
  Bytes b20({0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0});
  b20.start();
  EXPECT_EQ(b20.decoder.readBits(20), 0x61234u);
  Bytes b16({0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0});
  b16.start();
  EXPECT_EQ(b16.decoder.readInt(), 0x68AC1234u);
}

TEST(ArithmeticDecoder, RawReadOutsideItsFieldIsCorrupt) {
  // 0xFFFFFFFE / (0xFFFFFFFF >> 4) = 16, which no 4-bit field can be.
  Bytes four({0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0});
  four.start();
  EXPECT_EQ(thrown_by([&] { four.decoder.readBits(4); }), 4711);
  Bytes sixteen({0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0});
  sixteen.start();
  EXPECT_EQ(thrown_by([&] { sixteen.decoder.readShort(); }), 4711);
  // The renormalisation of a 16-bit read needs two more bytes.
  Bytes ends({0x12, 0x34, 0x56, 0x78, 0});
  ends.start();
  EXPECT_EQ(thrown_by([&] { ends.decoder.readShort(); }), -1);
}

struct CorrectorCase {
  uint32_t bits;
  uint32_t range;
  uint32_t corrector_bits;
  uint32_t corrector_range;
  int32_t min;
  int32_t max;
};

class CorrectorSetup : public ::testing::TestWithParam<CorrectorCase> {};

TEST_P(CorrectorSetup, FromBitsAndRange) {
  ArithmeticDecoder decoder;
  IntegerCompressor ic(&decoder, GetParam().bits, 1, 8, GetParam().range);
  EXPECT_EQ(ic.get_corrector_bits(), GetParam().corrector_bits);
  EXPECT_EQ(ic.get_corrector_range(), GetParam().corrector_range);
  EXPECT_EQ(ic.get_corrector_min(), GetParam().min);
  EXPECT_EQ(ic.get_corrector_max(), GetParam().max);
}

INSTANTIATE_TEST_SUITE_P(Table, CorrectorSetup,
                         ::testing::Values(CorrectorCase{8, 0, 8, 256, -128, 127},
                                           CorrectorCase{16, 0, 16, 65536, -32768, 32767},
                                           CorrectorCase{31, 0, 31, 1u << 31, -(1 << 30), (1 << 30) - 1},
                                           CorrectorCase{32, 0, 32, 0, INT32_MIN, INT32_MAX},
                                           CorrectorCase{0, 0, 32, 0, INT32_MIN, INT32_MAX},
                                           CorrectorCase{16, 100, 7, 100, -50, 49},
                                           CorrectorCase{16, 64, 6, 64, -32, 31},
                                           CorrectorCase{16, 65, 7, 65, -32, 32}));

TEST(IntegerCompressor, ThirtyTwoBitsTopIntervalIsMinimumCorrection) {
  // FF FF FF FE lies in the last of the 33 initial intervals: k = 32.
  Bytes b({0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0, 0, 0, 0, 0});
  b.start();
  IntegerCompressor ic(&b.decoder, 32, 1, 8);
  ic.initDecompressor();
  EXPECT_EQ(ic.decompress(5, 0), INT32_MIN + 5);
  EXPECT_EQ(ic.getK(), 32u);
}

TEST(IntegerCompressor, EightBitsWrapIntoByteRange) {
  // Whatever the bytes, with predictions in 0..255 the result stays there.
  std::mt19937 rng(77);
  for (int round = 0; round < 200; round++) {
    std::vector<unsigned char> data(64);
    for (auto& d : data) d = static_cast<unsigned char>(rng());
    data[0] &= 0x7F;
    ByteStreamInArrayLE stream(data.data(), data.size());
    ArithmeticDecoder decoder;
    decoder.init(&stream);
    IntegerCompressor ic(&decoder, 8, 2);
    ic.initDecompressor();
    try {
      for (int i = 0; i < 1000; i++) {
        const int32_t v = ic.decompress(static_cast<int32_t>(rng() % 256), rng() % 2);
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 255);
      }
    } catch (int e) {
      ASSERT_TRUE(e == -1 || e == 4711) << e;
    }
  }
}

TEST(ArithmeticDecoder, CorruptInputEndsCleanly) {
  // Random bytes through every decoding path: each run must end in -1
  // (input exhausted), 4711 (impossible raw field) or finish its operations.
  std::mt19937 rng(2024);
  int ends[3] = {0, 0, 0};
  ArithmeticDecoder decoder;
  ArithmeticBitModel bit;
  ArithmeticModel m3(3, false), m17(17, false), m256(256, false), m2048(2048, false);
  IntegerCompressor ic8(&decoder, 8, 2), ic16(&decoder, 16, 1), ic32(&decoder, 32, 3);
  for (int round = 0; round < 2000; round++) {
    std::vector<unsigned char> data(rng() % 700);
    for (auto& d : data) d = static_cast<unsigned char>(rng());
    if (round % 5 == 0 && data.size() >= 4) data[0] = data[1] = data[2] = data[3] = 0xFF;
    if (round % 7 == 0) {
      for (size_t i = 0; i < data.size(); i++) data[i] = (i % 3) ? 0xFF : data[i];
    }
    ByteStreamInArrayLE stream(data.data(), data.size());
    bit.init();
    m3.init();
    m17.init();
    m256.init();
    m2048.init();
    ic8.initDecompressor();
    ic16.initDecompressor();
    ic32.initDecompressor();
    int outcome = 0;
    try {
      decoder.init(&stream);
      for (int op = 0; op < 20000; op++) {
        switch (rng() % 9) {
          case 0: decoder.decodeBit(&bit); break;
          case 1: ASSERT_LT(decoder.decodeSymbol(&m3), 3u); break;
          case 2: ASSERT_LT(decoder.decodeSymbol(&m17), 17u); break;
          case 3: ASSERT_LT(decoder.decodeSymbol(&m256), 256u); break;
          case 4: ASSERT_LT(decoder.decodeSymbol(&m2048), 2048u); break;
          case 5: decoder.readBits(1 + rng() % 32); break;
          case 6: ic8.decompress(static_cast<int32_t>(rng()), rng() % 2); break;
          case 7: ic16.decompress(static_cast<int32_t>(rng() % 65536)); break;
          default: ic32.decompress(static_cast<int32_t>(rng()), rng() % 3); break;
        }
      }
    } catch (int e) {
      ASSERT_TRUE(e == -1 || e == 4711) << e;
      outcome = e == -1 ? 1 : 2;
    }
    ends[outcome]++;
  }
  EXPECT_GT(ends[1], 0);
  EXPECT_GT(ends[2], 0);
}

}  // namespace
