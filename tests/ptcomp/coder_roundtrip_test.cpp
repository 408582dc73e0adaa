// Encoder output decoded back value for value: bits with skewed
// probabilities, symbols of many alphabet sizes, raw bit fields, 64-bit
// integers and integer-compressor corrections, across many model updates.
// Each code must also end exactly where the decoder stops reading.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/integercompressor.hpp"

namespace {

constexpr int kSymbols = 100000;

// Holds one encoded block and a decoder positioned at its start.
struct Coded {
  std::unique_ptr<ByteStreamOutArray> out{new_byte_stream_out_array(1024)};
  ArithmeticEncoder encoder;
  std::unique_ptr<ByteStreamInArray> in;
  ArithmeticDecoder decoder;

  Coded() { encoder.init(out.get()); }
  void finish() {
    ASSERT_TRUE(encoder.done());
    in.reset(new_byte_stream_in_array(out->get_data(), out->get_size()));
    ASSERT_TRUE(decoder.init(in.get()));
  }
  // The decoder has read every byte, and no more.
  void expect_consumed() const { EXPECT_EQ(in->tell(), out->get_size()); }
};

class BitRoundTrip : public ::testing::TestWithParam<double> {};

TEST_P(BitRoundTrip, SkewedBits) {
  std::mt19937 rng(1234);
  std::bernoulli_distribution one(GetParam());
  std::vector<uint32_t> bits(kSymbols);
  for (auto& b : bits) b = one(rng) ? 1 : 0;
  // The second half inverts the bias so the models must adapt.
  for (size_t i = bits.size() / 2; i < bits.size(); i++) bits[i] ^= 1;

  Coded c;
  ArithmeticBitModel* em[2] = {c.encoder.createBitModel(), c.encoder.createBitModel()};
  for (auto* m : em) c.encoder.initBitModel(m);
  for (size_t i = 0; i < bits.size(); i++) c.encoder.encodeBit(em[i & 1], bits[i]);
  c.finish();
  ArithmeticBitModel* dm[2] = {c.decoder.createBitModel(), c.decoder.createBitModel()};
  for (auto* m : dm) c.decoder.initBitModel(m);
  for (size_t i = 0; i < bits.size(); i++) ASSERT_EQ(c.decoder.decodeBit(dm[i & 1]), bits[i]) << i;
  c.expect_consumed();
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(em[i]->zero_probability, dm[i]->zero_probability);
    c.encoder.destroyBitModel(em[i]);
    c.decoder.destroyBitModel(dm[i]);
  }
  if (GetParam() < 0.01 || GetParam() > 0.99) {
    // The bit models adapt slowly after the bias inverts, so well above
    // the entropy, but far below one bit per bit.
    EXPECT_LT(c.out->get_size(), kSymbols / 8 / 3) << "skewed bits should compress";
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
    uint32_t s = phase == 1 ? any(rng) : std::min(small(rng), n - 1);
    if (phase == 2) s = n - 1 - s;
    symbols[i] = s;
  }

  Coded c;
  ArithmeticModel* em = c.encoder.createSymbolModel(n);
  ASSERT_EQ(c.encoder.initSymbolModel(em), 0);
  for (uint32_t s : symbols) c.encoder.encodeSymbol(em, s);
  c.finish();
  ArithmeticModel* dm = c.decoder.createSymbolModel(n);
  ASSERT_EQ(c.decoder.initSymbolModel(dm), 0);
  EXPECT_EQ(dm->lookup != nullptr, n > 16);
  EXPECT_EQ(em->lookup, nullptr);
  for (size_t i = 0; i < symbols.size(); i++) ASSERT_EQ(c.decoder.decodeSymbol(dm), symbols[i]) << i;
  c.expect_consumed();
  for (uint32_t k = 0; k < n; k++) ASSERT_EQ(em->cumulative[k], dm->cumulative[k]);
  c.encoder.destroySymbolModel(em);
  c.decoder.destroySymbolModel(dm);
}

INSTANTIATE_TEST_SUITE_P(AlphabetSizes, SymbolRoundTrip,
                         ::testing::Values(2u, 3u, 16u, 17u, 255u, 256u, 257u, 2048u));

TEST(SymbolRoundTrip, ModelsRestartedAtEachChunk) {
  // Re-initialised models and a fresh coder per chunk, as at chunk starts.
  std::mt19937 rng(99);
  std::uniform_int_distribution<uint32_t> any(0, 39);
  auto out = std::unique_ptr<ByteStreamOutArray>(new_byte_stream_out_array(16));
  ArithmeticEncoder encoder;
  ArithmeticModel* em = encoder.createSymbolModel(40);
  std::vector<std::vector<uint32_t>> chunks(5);
  std::vector<long long> ends;
  for (auto& chunk : chunks) {
    encoder.init(out.get());
    encoder.initSymbolModel(em);
    for (int i = 0; i < 20000; i++) {
      chunk.push_back(any(rng) % (i % 7 + 1));
      encoder.encodeSymbol(em, chunk.back());
    }
    ASSERT_TRUE(encoder.done());
    ends.push_back(out->tell());
  }
  encoder.destroySymbolModel(em);
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(out->get_data(), out->get_size()));
  ArithmeticDecoder decoder;
  ArithmeticModel* dm = decoder.createSymbolModel(40);
  for (size_t c = 0; c < chunks.size(); c++) {
    decoder.init(in.get());
    decoder.initSymbolModel(dm);
    for (uint32_t s : chunks[c]) {
      ASSERT_EQ(decoder.decodeSymbol(dm), s);
    }
    decoder.done();
    EXPECT_EQ(in->tell(), ends[c]) << "chunk " << c;
  }
  decoder.destroySymbolModel(dm);
}

class RawBitsRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RawBitsRoundTrip, EveryWidth) {
  const uint32_t bits = GetParam();
  std::mt19937 rng(bits);
  std::vector<uint32_t> values(kSymbols);
  const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  for (size_t i = 0; i < values.size(); i++) {
    const uint32_t r = rng();
    // Extremes included: all zeros, all ones.
    values[i] = (i % 97 == 0) ? 0 : (i % 89 == 0) ? mask : (r & mask);
  }
  Coded c;
  ArithmeticBitModel* eb = c.encoder.createBitModel();
  c.encoder.initBitModel(eb);
  for (size_t i = 0; i < values.size(); i++) {
    c.encoder.writeBits(bits, values[i]);
    if (i % 5 == 0) c.encoder.encodeBit(eb, values[i] & 1);
  }
  c.finish();
  ArithmeticBitModel* db = c.decoder.createBitModel();
  c.decoder.initBitModel(db);
  for (size_t i = 0; i < values.size(); i++) {
    ASSERT_EQ(c.decoder.readBits(bits), values[i]) << i;
    if (i % 5 == 0) {
      ASSERT_EQ(c.decoder.decodeBit(db), values[i] & 1);
    }
  }
  c.expect_consumed();
  c.encoder.destroyBitModel(eb);
  c.decoder.destroyBitModel(db);
}

INSTANTIATE_TEST_SUITE_P(Widths, RawBitsRoundTrip, ::testing::Range(1u, 33u));

TEST(RawRoundTrip, ShortsIntsAndInt64s) {
  std::mt19937_64 rng(5);
  std::vector<uint64_t> values(kSymbols);
  for (size_t i = 0; i < values.size(); i++) {
    values[i] = rng();
    if (i % 50 == 0) values[i] = ~0ull;
    if (i % 51 == 0) values[i] = 0;
  }
  Coded c;
  for (size_t i = 0; i < values.size(); i++) {
    switch (i % 3) {
      case 0: c.encoder.writeInt64(values[i]); break;
      case 1: c.encoder.writeInt(static_cast<uint32_t>(values[i])); break;
      default: c.encoder.writeShort(static_cast<uint32_t>(values[i] & 0xFFFF)); break;
    }
  }
  c.finish();
  for (size_t i = 0; i < values.size(); i++) {
    switch (i % 3) {
      case 0: ASSERT_EQ(c.decoder.readInt64(), values[i]); break;
      case 1: ASSERT_EQ(c.decoder.readInt(), static_cast<uint32_t>(values[i])); break;
      default: ASSERT_EQ(c.decoder.readShort(), values[i] & 0xFFFF); break;
    }
  }
  c.expect_consumed();
}

TEST(CarryRoundTrip, LongRunsOfOnes) {
  // All-ones raw fields push the interval base to the top again and again,
  // producing FF bytes that later carries must ripple through.
  Coded c;
  ArithmeticBitModel* eb = c.encoder.createBitModel();
  c.encoder.initBitModel(eb);
  std::vector<uint32_t> pattern;
  std::mt19937 rng(3);
  for (int i = 0; i < kSymbols; i++) pattern.push_back(i % 1000 < 900 ? 1 : (rng() & 1));
  for (uint32_t bit : pattern) {
    c.encoder.writeBits(7, bit ? 127 : 0);
    c.encoder.encodeBit(eb, bit);
  }
  c.finish();
  int ff = 0;
  for (long long i = 0; i < c.out->get_size(); i++) ff += c.out->get_data()[i] == 0xFF;
  EXPECT_GT(ff, 100);
  ArithmeticBitModel* db = c.decoder.createBitModel();
  c.decoder.initBitModel(db);
  for (uint32_t bit : pattern) {
    ASSERT_EQ(c.decoder.readBits(7), bit ? 127u : 0u);
    ASSERT_EQ(c.decoder.decodeBit(db), bit);
  }
  c.expect_consumed();
  c.encoder.destroyBitModel(eb);
  c.decoder.destroyBitModel(db);
}

TEST(EmptyCode, FourBytes) {
  Coded c;
  c.finish();
  EXPECT_EQ(c.out->get_size(), 4);
  c.expect_consumed();
}

struct IntegerCase {
  uint32_t bits;
  uint32_t contexts;
  uint32_t high_bits;
  uint32_t range;
};

class IntegerRoundTrip : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerRoundTrip, Corrections) {
  const IntegerCase p = GetParam();
  std::mt19937 rng(p.bits * 31 + p.contexts * 7 + p.range);
  // Values live in 0..limit-1 for ranged compressors, anywhere otherwise.
  const uint64_t limit = p.range ? p.range : (p.bits >= 1 && p.bits <= 31) ? (1ull << p.bits) : (1ull << 32);
  std::vector<int32_t> predictions(kSymbols), reals(kSymbols);
  std::vector<uint32_t> contexts(kSymbols);
  for (int i = 0; i < kSymbols; i++) {
    const uint64_t pred = rng() % limit;
    uint64_t real;
    switch (i % 4) {
      case 0: real = pred; break;
      case 1: real = (pred + (rng() % 9) + limit - 4) % limit; break;  // small corrections
      case 2: real = rng() % limit; break;                            // anything
      default: real = (pred + (rng() % 2000) + limit - 1000) % limit; break;
    }
    predictions[i] = static_cast<int32_t>(static_cast<uint32_t>(pred));
    reals[i] = static_cast<int32_t>(static_cast<uint32_t>(real));
    contexts[i] = rng() % p.contexts;
  }
  if (limit == (1ull << 32)) {
    // The extreme correction -2^31 has its own interval (k = 32).
    predictions[10] = 0;
    reals[10] = INT32_MIN;
    predictions[11] = INT32_MAX;
    reals[11] = INT32_MIN;
    predictions[12] = INT32_MIN;
    reals[12] = INT32_MAX;
  }

  Coded c;
  IntegerCompressor ic(&c.encoder, p.bits, p.contexts, p.high_bits, p.range);
  ic.initCompressor();
  std::vector<uint32_t> ks(kSymbols);
  for (int i = 0; i < kSymbols; i++) {
    ic.compress(predictions[i], reals[i], contexts[i]);
    ks[i] = ic.getK();
  }
  c.finish();
  IntegerCompressor id(&c.decoder, p.bits, p.contexts, p.high_bits, p.range);
  id.initDecompressor();
  for (int i = 0; i < kSymbols; i++) {
    ASSERT_EQ(id.decompress(predictions[i], contexts[i]), reals[i]) << i;
    ASSERT_EQ(id.getK(), ks[i]) << i;
  }
  c.expect_consumed();
  if (limit == (1ull << 32)) {
    EXPECT_EQ(ks[10], 32u);
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, IntegerRoundTrip,
                         ::testing::Values(IntegerCase{8, 1, 8, 0}, IntegerCase{8, 3, 8, 0},
                                           IntegerCase{16, 1, 8, 0}, IntegerCase{16, 4, 8, 0},
                                           IntegerCase{16, 1, 4, 0}, IntegerCase{32, 1, 8, 0},
                                           IntegerCase{32, 2, 8, 0}, IntegerCase{32, 1, 11, 0},
                                           IntegerCase{31, 1, 8, 0}, IntegerCase{20, 2, 8, 0},
                                           IntegerCase{16, 1, 8, 100}, IntegerCase{16, 2, 8, 1000},
                                           IntegerCase{16, 1, 8, 65536}, IntegerCase{8, 1, 8, 3},
                                           IntegerCase{32, 1, 8, 1u << 20}, IntegerCase{32, 1, 8, 1u << 31}));

}  // namespace
