// The arithmetic coder and integer compressor: the decoder at its exact
// thresholds and on corrupt input (-1 or 4711, never a crash), and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/integercompressor.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::thrown_by;

// Bytes and a decoder over them, started unless asked not to.
struct Bytes {
  std::vector<unsigned char> data;
  ByteStreamInArrayLE stream;
  ArithmeticDecoder decoder;
  explicit Bytes(std::vector<unsigned char> d, bool start = true)
      : data(std::move(d)), stream(data.data(), data.size()) {
    if (start) {
      EXPECT_TRUE(decoder.init(&stream));
    }
  }
  int thrown_by_start() {
    return thrown_by([&] { decoder.init(&stream); });
  }
};

TEST(ArithmeticDecoder, StartReadsFourBytesMostSignificantFirstOrFails) {
  Bytes b({0x12, 0x34, 0x56, 0x78, 0x9A});
  EXPECT_EQ(std::make_tuple(b.decoder.get_value(), b.decoder.get_length(), b.stream.tell()),
            std::make_tuple(0x12345678u, 0xFFFFFFFFu, 4));
  Bytes none({0x12, 0x34}, false);
  EXPECT_TRUE(none.decoder.init(&none.stream, false));
  EXPECT_EQ(none.stream.tell(), 0);
  EXPECT_FALSE(none.decoder.init(nullptr));
  EXPECT_EQ(Bytes({0x12, 0x34, 0x56}, false).thrown_by_start(), -1);
  // No encoder starts a code with FF FF FF FF: the decoder would stand
  // outside its interval.
  EXPECT_EQ(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x00}, false).thrown_by_start(), 4711);
  EXPECT_EQ(Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0x00}, false).thrown_by_start(), 0);
}

TEST(ArithmeticDecoder, FreshBitModelThreshold) {
  // x = 4096 * (0xFFFFFFFF >> 13) = 0x7FFFF000.
  Bytes zero({0x7F, 0xFF, 0xEF, 0xFF, 0, 0, 0, 0});
  ArithmeticBitModel m0;
  EXPECT_EQ(zero.decoder.decodeBit(&m0), 0u);
  EXPECT_EQ(std::make_tuple(zero.decoder.get_length(), m0.zero_count, m0.until_update),
            std::make_tuple(0x7FFFF000u, 2u, 3u));

  Bytes one({0x7F, 0xFF, 0xF0, 0x00, 0, 0, 0, 0});
  ArithmeticBitModel m1;
  EXPECT_EQ(one.decoder.decodeBit(&m1), 1u);
  EXPECT_EQ(std::make_tuple(one.decoder.get_value(), one.decoder.get_length(), m1.zero_count),
            std::make_tuple(0u, 0x80000FFFu, 1u));
}

TEST(ArithmeticBitModel, UpdateRule) {
  ArithmeticBitModel m;
  EXPECT_EQ(std::make_tuple(m.cycle_length, m.zero_probability, m.bit_total), std::make_tuple(4u, 4096u, 2u));
  // {bit_total, zero_count, cycle_length} before and after an update: the
  // first after 4 zeros, then halvings that keep zero_count below bit_total
  // (8194 -> 4097 and 8193 -> 4097 are equal, so bit_total + 1).
  const uint32_t cases[4][6] = {{2, 5, 4, 6, 5, 5},
                                {8190, 8189, 64, 4127, 4095, 64},
                                {8192, 8191, 1, 4097, 4096, 1},
                                {8193, 8193, 1, 4098, 4097, 1}};
  for (const auto& c : cases) {
    m.bit_total = c[0];
    m.zero_count = c[1];
    m.cycle_length = c[2];
    m.update();
    EXPECT_EQ(std::make_tuple(m.bit_total, m.zero_count, m.cycle_length, m.until_update),
              std::make_tuple(c[3], c[4], c[5], c[5]));
    if (c[0] == 2) {
      EXPECT_EQ(m.zero_probability, ((0x80000000u / 6) * 5) >> 18);
    }
  }
}

TEST(ArithmeticDecoder, WideRawReadsTakeLowSixteenBitsFirst) {
  // value 0x12345678: the first 16-bit read gives 0x1234 and leaves 0x68AC,
  // which after two zero bytes gives 0x68AC for the next 16 bits, or 6 for
  // the next 4.
  const std::vector<unsigned char> code = {0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(code).decoder.readBits(32), 0x68AC1234u);
  EXPECT_EQ(Bytes(code).decoder.readBits(20), 0x61234u);
  EXPECT_EQ(Bytes(code).decoder.readInt(), 0x68AC1234u);
}

TEST(ArithmeticDecoder, RawReadOutsideItsFieldIsCorrupt) {
  // 0xFFFFFFFE / (0xFFFFFFFF >> 4) = 16, which no 4-bit field can be.
  Bytes four({0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0}), sixteen(four.data);
  EXPECT_EQ(thrown_by([&] { four.decoder.readBits(4); }), 4711);
  EXPECT_EQ(thrown_by([&] { sixteen.decoder.readShort(); }), 4711);
  // The renormalisation of a 16-bit read needs two more bytes.
  Bytes ends({0x12, 0x34, 0x56, 0x78, 0});
  EXPECT_EQ(thrown_by([&] { ends.decoder.readShort(); }), -1);
}

// bits -> {corrector bits, corrector range, min, max}, for the widths the
// codecs use (every compressor there is unranged).
struct CorrectorCase {
  uint32_t bits, corrector_bits, corrector_range;
  int32_t min, max;
};

class CorrectorSetup : public ::testing::TestWithParam<CorrectorCase> {};

TEST_P(CorrectorSetup, FromBits) {
  ArithmeticDecoder decoder;
  IntegerCompressor ic(&decoder, GetParam().bits, 1);
  EXPECT_EQ(std::make_tuple(ic.get_corrector_bits(), ic.get_corrector_range(), ic.get_corrector_min(),
                            ic.get_corrector_max()),
            std::make_tuple(GetParam().corrector_bits, GetParam().corrector_range, GetParam().min, GetParam().max));
}

INSTANTIATE_TEST_SUITE_P(Table, CorrectorSetup,
                         ::testing::Values(CorrectorCase{8, 8, 256, -128, 127},
                                           CorrectorCase{16, 16, 65536, -32768, 32767},
                                           CorrectorCase{32, 32, 0, INT32_MIN, INT32_MAX}));

TEST(IntegerCompressor, ThirtyTwoBitsTopIntervalIsMinimumCorrection) {
  // FF FF FF FE lies in the last of the 33 initial intervals: k = 32.
  Bytes b({0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0, 0, 0, 0, 0});
  IntegerCompressor ic(&b.decoder, 32, 1, 8);
  ic.initDecompressor();
  EXPECT_EQ(ic.decompress(5, 0), INT32_MIN + 5);
  EXPECT_EQ(ic.getK(), 32u);
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
    for (ArithmeticModel* m : {&m3, &m17, &m256, &m2048}) m->init();
    for (IntegerCompressor* ic : {&ic8, &ic16, &ic32}) ic->initDecompressor();
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
          case 6: {  // with predictions in 0..255 the result stays there
            const int32_t v = ic8.decompress(static_cast<int32_t>(rng() % 256), rng() % 2);
            ASSERT_TRUE(v >= 0 && v <= 255) << v;
            break;
          }
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


constexpr int kSymbols = 100000;

// An encoder and a decoder; run() codes kSymbols values through put(i),
// decodes them back through check(i), checks that the decoder read every
// byte of the code and no more, and returns the code.
struct Coder {
  ArithmeticEncoder encoder;
  ArithmeticDecoder decoder;
  std::vector<uint8_t> run(const std::function<void(int)>& put, const std::function<void(int)>& check) {
    std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(1024));
    encoder.init(out.get());
    for (int i = 0; i < kSymbols; i++) put(i);
    EXPECT_TRUE(encoder.done());
    std::vector<uint8_t> code(out->get_data(), out->get_data() + out->get_size());
    ByteStreamInArrayLE in(code.data(), code.size());
    EXPECT_TRUE(decoder.init(&in));
    for (int i = 0; i < kSymbols && !::testing::Test::HasFatalFailure(); i++) check(i);
    EXPECT_EQ(in.tell(), static_cast<long long>(code.size()));
    return code;
  }
};

class BitRoundTrip : public ::testing::TestWithParam<double> {};

TEST_P(BitRoundTrip, SkewedBits) {
  std::mt19937 rng(1234);
  std::bernoulli_distribution one(GetParam());
  std::vector<uint32_t> bits(kSymbols);
  for (auto& b : bits) b = one(rng) ? 1 : 0;
  // The second half inverts the bias so the models must adapt.
  for (size_t i = bits.size() / 2; i < bits.size(); i++) bits[i] ^= 1;
  Coder c;
  ArithmeticBitModel em[2], dm[2];
  const auto code = c.run([&](int i) { c.encoder.encodeBit(&em[i & 1], bits[i]); },
                          [&](int i) { ASSERT_EQ(c.decoder.decodeBit(&dm[i & 1]), bits[i]) << i; });
  if (GetParam() < 0.01 || GetParam() > 0.99) {
    // The bit models adapt slowly after the bias inverts, so well above
    // the entropy, but far below one bit per bit.
    EXPECT_LT(code.size(), kSymbols / 8 / 3u) << "skewed bits should compress";
  }
}

INSTANTIATE_TEST_SUITE_P(Probabilities, BitRoundTrip, ::testing::Values(0.5, 0.1, 0.9, 0.001, 0.999, 0.00001));

class SymbolRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SymbolRoundTrip, RandomSkewedSymbols) {
  const uint32_t n = GetParam();
  std::mt19937 rng(n * 7 + 1);
  std::geometric_distribution<uint32_t> small(0.05);
  std::uniform_int_distribution<uint32_t> any(0, n - 1);
  std::vector<uint32_t> symbols(kSymbols);
  for (size_t i = 0; i < symbols.size(); i++) {
    // Phases: skewed towards low symbols, uniform, skewed towards the top
    // symbol (whose interval end is the full length).
    const size_t phase = i * 3 / symbols.size();
    const uint32_t s = phase == 1 ? any(rng) : std::min(small(rng), n - 1);
    symbols[i] = phase == 2 ? n - 1 - s : s;
  }
  Coder c;
  ArithmeticModel em(n, true), dm(n, false);
  ASSERT_EQ(em.init(), 0);
  ASSERT_EQ(dm.init(), 0);
  EXPECT_EQ(dm.lookup != nullptr, n > 16);
  EXPECT_EQ(em.lookup, nullptr);
  c.run([&](int i) { c.encoder.encodeSymbol(&em, symbols[i]); },
        [&](int i) { ASSERT_EQ(c.decoder.decodeSymbol(&dm), symbols[i]) << i; });
}

INSTANTIATE_TEST_SUITE_P(AlphabetSizes, SymbolRoundTrip, ::testing::Values(2u, 3u, 16u, 17u, 255u, 256u, 257u, 2048u));

class RawBitsRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RawBitsRoundTrip, EveryWidthMixedWithBits) {
  const uint32_t bits = GetParam();
  const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  std::mt19937 rng(bits);
  std::vector<uint32_t> values(kSymbols);
  // Extremes included: zeros, and runs of all ones that push the interval
  // base to the top again and again, giving FF bytes that later carries
  // must ripple through.
  for (size_t i = 0; i < values.size(); i++) {
    values[i] = (i % 97 == 0) ? 0 : (i % 400 < 100) ? mask : (rng() & mask);
  }
  Coder c;
  ArithmeticBitModel eb, db;
  const auto code = c.run(
      [&](int i) {
        c.encoder.writeBits(bits, values[i]);
        if (i % 5 == 0) c.encoder.encodeBit(&eb, values[i] & 1);
      },
      [&](int i) {
        ASSERT_EQ(c.decoder.readBits(bits), values[i]) << i;
        if (i % 5 == 0) {
          ASSERT_EQ(c.decoder.decodeBit(&db), values[i] & 1);
        }
      });
  EXPECT_GT(std::count(code.begin(), code.end(), 0xFF), 100);
}

INSTANTIATE_TEST_SUITE_P(Widths, RawBitsRoundTrip, ::testing::Range(1u, 33u));

TEST(EmptyCode, FourBytes) {
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(16));
  ArithmeticEncoder encoder;
  encoder.init(out.get());
  ASSERT_TRUE(encoder.done());
  EXPECT_EQ(out->get_size(), 4);
}

// {bits, contexts}: the settings the item codecs use.
class IntegerRoundTrip : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(IntegerRoundTrip, Corrections) {
  const uint32_t bits = GetParam().first, n_contexts = GetParam().second;
  std::mt19937 rng(bits * 31 + n_contexts * 7);
  const uint64_t limit = 1ull << bits;  // values in 0..limit-1
  std::vector<int32_t> predictions(kSymbols), reals(kSymbols);
  std::vector<uint32_t> contexts(kSymbols), ks(kSymbols);
  for (int i = 0; i < kSymbols; i++) {
    const uint64_t pred = rng() % limit;
    uint64_t real = pred;
    if (i % 4 == 1) real = (pred + (rng() % 9) + limit - 4) % limit;  // small corrections
    if (i % 4 == 2) real = rng() % limit;                             // anything
    if (i % 4 == 3) real = (pred + (rng() % 2000) + limit - 1000) % limit;
    predictions[i] = static_cast<int32_t>(static_cast<uint32_t>(pred));
    reals[i] = static_cast<int32_t>(static_cast<uint32_t>(real));
    contexts[i] = rng() % n_contexts;
  }
  const bool full = bits == 32;
  if (full) {
    // The extreme correction -2^31 has its own interval (k = 32).
    predictions[10] = 0, reals[10] = INT32_MIN;
    predictions[11] = INT32_MAX, reals[11] = INT32_MIN;
    predictions[12] = INT32_MIN, reals[12] = INT32_MAX;
  }
  Coder c;
  IntegerCompressor ic(&c.encoder, bits, n_contexts);
  IntegerCompressor id(&c.decoder, bits, n_contexts);
  ic.initCompressor();
  id.initDecompressor();
  c.run(
      [&](int i) {
        ic.compress(predictions[i], reals[i], contexts[i]);
        ks[i] = ic.getK();
      },
      [&](int i) {
        ASSERT_EQ(id.decompress(predictions[i], contexts[i]), reals[i]) << i;
        ASSERT_EQ(id.getK(), ks[i]) << i;
      });
  if (full) {
    EXPECT_EQ(ks[10], 32u);
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, IntegerRoundTrip,
                         ::testing::Values(std::make_pair(8u, 1u), std::make_pair(8u, 3u), std::make_pair(16u, 1u),
                                           std::make_pair(16u, 4u), std::make_pair(32u, 1u),
                                           std::make_pair(32u, 20u)));

}  // namespace
