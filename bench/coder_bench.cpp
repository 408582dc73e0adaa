// Decoder speed: symbols per second for a 256-symbol model, for bits, and for
// integer-compressor corrections, decoding a block encoded once up front
// from an in-memory stream (the path chunk and layer decoding take).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <cstdio>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamin_file.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/integercompressor.hpp"

namespace {

constexpr int kCount = 1 << 20;

struct Block {
  std::unique_ptr<ByteStreamOutArray> out{new_byte_stream_out_array(1 << 20)};
  std::vector<uint32_t> values;
};

// Symbols from a skewed distribution over 256 values, as residuals are.
const Block& symbol_block() {
  static Block block = [] {
    Block b;
    std::mt19937 rng(1);
    std::geometric_distribution<uint32_t> g(0.03);
    ArithmeticEncoder enc;
    enc.init(b.out.get());
    ArithmeticModel* m = enc.createSymbolModel(256);
    enc.initSymbolModel(m);
    for (int i = 0; i < kCount; i++) {
      const uint32_t s = std::min<uint32_t>(g(rng), 255);
      b.values.push_back(s);
      enc.encodeSymbol(m, s);
    }
    enc.done();
    enc.destroySymbolModel(m);
    return b;
  }();
  return block;
}

const Block& bit_block() {
  static Block block = [] {
    Block b;
    std::mt19937 rng(2);
    std::bernoulli_distribution one(0.2);
    ArithmeticEncoder enc;
    enc.init(b.out.get());
    ArithmeticBitModel m;
    for (int i = 0; i < kCount; i++) {
      const uint32_t bit = one(rng);
      b.values.push_back(bit);
      enc.encodeBit(&m, bit);
    }
    enc.done();
    return b;
  }();
  return block;
}

// 16-bit values near their prediction, two contexts, as coordinates and
// intensities are coded.
const Block& integer_block() {
  static Block block = [] {
    Block b;
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 40.0);
    ArithmeticEncoder enc;
    enc.init(b.out.get());
    IntegerCompressor ic(&enc, 16, 2);
    ic.initCompressor();
    int32_t last = 30000;
    for (int i = 0; i < kCount; i++) {
      const int32_t real = static_cast<int32_t>((last + static_cast<int32_t>(noise(rng)) + 65536) % 65536);
      b.values.push_back(static_cast<uint32_t>(real));
      ic.compress(last, real, i & 1);
      last = real;
    }
    enc.done();
    return b;
  }();
  return block;
}

void BM_DecodeSymbol256(benchmark::State& state) {
  const Block& b = symbol_block();
  ArithmeticDecoder dec;
  ArithmeticModel* m = dec.createSymbolModel(256);
  uint64_t sum = 0;
  for (auto _ : state) {
    ByteStreamInArrayLE in(b.out->get_data(), b.out->get_size());
    dec.init(&in);
    dec.initSymbolModel(m);
    for (int i = 0; i < kCount; i++) sum += dec.decodeSymbol(m);
  }
  benchmark::DoNotOptimize(sum);
  dec.destroySymbolModel(m);
  state.SetItemsProcessed(state.iterations() * kCount);
  state.SetBytesProcessed(state.iterations() * b.out->get_size());
}
BENCHMARK(BM_DecodeSymbol256)->Unit(benchmark::kMillisecond);

// The same symbols read through a FILE, as non-layered chunks are.
void BM_DecodeSymbol256File(benchmark::State& state) {
  const Block& b = symbol_block();
  FILE* file = tmpfile();
  fwrite(b.out->get_data(), 1, static_cast<size_t>(b.out->get_size()), file);
  setvbuf(file, nullptr, _IOFBF, 262144);
  ArithmeticDecoder dec;
  ArithmeticModel* m = dec.createSymbolModel(256);
  uint64_t sum = 0;
  for (auto _ : state) {
    ByteStreamInFileLE in(file);
    in.seek(0);
    dec.init(&in);
    dec.initSymbolModel(m);
    for (int i = 0; i < kCount; i++) sum += dec.decodeSymbol(m);
  }
  benchmark::DoNotOptimize(sum);
  dec.destroySymbolModel(m);
  fclose(file);
  state.SetItemsProcessed(state.iterations() * kCount);
  state.SetBytesProcessed(state.iterations() * b.out->get_size());
}
BENCHMARK(BM_DecodeSymbol256File)->Unit(benchmark::kMillisecond);

void BM_DecodeBit(benchmark::State& state) {
  const Block& b = bit_block();
  ArithmeticDecoder dec;
  ArithmeticBitModel m;
  uint64_t sum = 0;
  for (auto _ : state) {
    ByteStreamInArrayLE in(b.out->get_data(), b.out->get_size());
    dec.init(&in);
    m.init();
    for (int i = 0; i < kCount; i++) sum += dec.decodeBit(&m);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kCount);
  state.SetBytesProcessed(state.iterations() * b.out->get_size());
}
BENCHMARK(BM_DecodeBit)->Unit(benchmark::kMillisecond);

void BM_IntegerDecompress16(benchmark::State& state) {
  const Block& b = integer_block();
  ArithmeticDecoder dec;
  IntegerCompressor ic(&dec, 16, 2);
  uint64_t sum = 0;
  for (auto _ : state) {
    ByteStreamInArrayLE in(b.out->get_data(), b.out->get_size());
    dec.init(&in);
    ic.initDecompressor();
    int32_t last = 30000;
    for (int i = 0; i < kCount; i++) {
      last = ic.decompress(last, i & 1);
      sum += static_cast<uint32_t>(last);
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kCount);
  state.SetBytesProcessed(state.iterations() * b.out->get_size());
}
BENCHMARK(BM_IntegerDecompress16)->Unit(benchmark::kMillisecond);

void BM_EncodeSymbol256(benchmark::State& state) {
  const Block& b = symbol_block();
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(b.out->get_size() + 64));
  ArithmeticEncoder enc;
  ArithmeticModel* m = enc.createSymbolModel(256);
  for (auto _ : state) {
    out->seek(0);
    enc.init(out.get());
    enc.initSymbolModel(m);
    for (int i = 0; i < kCount; i++) enc.encodeSymbol(m, b.values[i]);
    enc.done();
  }
  enc.destroySymbolModel(m);
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_EncodeSymbol256)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
