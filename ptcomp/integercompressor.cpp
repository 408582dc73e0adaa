// Integer compressor setup, model management and the encoding side.
#include "ptcomp/integercompressor.hpp"

IntegerCompressor::IntegerCompressor(ArithmeticDecoder* decoder, uint32_t bits, uint32_t contexts, uint32_t high_bits,
                                     uint32_t range)
    : dec(decoder) {
  setup(bits, contexts, high_bits, range);
}

IntegerCompressor::IntegerCompressor(ArithmeticEncoder* encoder, uint32_t bits, uint32_t contexts, uint32_t high_bits,
                                     uint32_t range)
    : enc(encoder) {
  setup(bits, contexts, high_bits, range);
}

void IntegerCompressor::setup(uint32_t new_bits, uint32_t new_contexts, uint32_t high_bits, uint32_t new_range) {
  bits = new_bits;
  contexts = new_contexts;
  bits_high = high_bits;
  range = new_range;
  if (range) {
    // Bits needed for the range, one fewer for a power of two.
    corrector_bits = 0;
    corrector_range = range;
    for (uint32_t r = range; r; r >>= 1) corrector_bits++;
    if ((range & (range - 1)) == 0) corrector_bits--;
    corrector_min = -static_cast<int32_t>(corrector_range / 2);
    corrector_max = static_cast<int32_t>(static_cast<uint32_t>(corrector_min) + corrector_range - 1);
  } else if (bits >= 1 && bits <= 31) {
    corrector_bits = bits;
    corrector_range = 1u << bits;
    corrector_min = -static_cast<int32_t>(corrector_range / 2);
    corrector_max = static_cast<int32_t>(static_cast<uint32_t>(corrector_min) + corrector_range - 1);
  } else {
    corrector_bits = 32;
    corrector_range = 0;
    corrector_min = INT32_MIN;
    corrector_max = INT32_MAX;
  }
  k = 0;
}

IntegerCompressor::~IntegerCompressor() {
  if (interval_models) {
    for (uint32_t i = 0; i < contexts; i++) delete interval_models[i];
    delete[] interval_models;
  }
  delete corrector0;
  if (correctors) {
    for (uint32_t i = 1; i <= corrector_bits; i++) delete correctors[i];
    delete[] correctors;
  }
}

void IntegerCompressor::create_models(bool encoding) {
  interval_models = new ArithmeticModel*[contexts];
  for (uint32_t i = 0; i < contexts; i++) interval_models[i] = new ArithmeticModel(corrector_bits + 1, encoding);
  corrector0 = new ArithmeticBitModel();
  correctors = new ArithmeticModel*[corrector_bits + 1];
  correctors[0] = nullptr;
  for (uint32_t i = 1; i <= corrector_bits; i++) {
    const uint32_t symbol_bits = i <= bits_high ? i : bits_high;
    correctors[i] = new ArithmeticModel(1u << symbol_bits, encoding);
  }
}

void IntegerCompressor::init_models() {
  for (uint32_t i = 0; i < contexts; i++) interval_models[i]->init();
  corrector0->init();
  for (uint32_t i = 1; i <= corrector_bits; i++) correctors[i]->init();
}

void IntegerCompressor::initDecompressor() {
  if (interval_models == nullptr) create_models(false);
  init_models();
}

void IntegerCompressor::initCompressor() {
  if (interval_models == nullptr) create_models(true);
  init_models();
}

void IntegerCompressor::compress(int32_t prediction, int32_t real, uint32_t context) {
  // The correction, folded into [corrector_min, corrector_max] so that the
  // decoder's wrap-around restores `real`.
  int32_t corr = static_cast<int32_t>(static_cast<uint32_t>(real) - static_cast<uint32_t>(prediction));
  if (corr < corrector_min) {
    corr = static_cast<int32_t>(static_cast<uint32_t>(corr) + corrector_range);
  } else if (corr > corrector_max) {
    corr = static_cast<int32_t>(static_cast<uint32_t>(corr) - corrector_range);
  }
  writeCorrector(corr, interval_models[context]);
}

void IntegerCompressor::writeCorrector(int32_t c, ArithmeticModel* interval_model) {
  // k: the interval of c, so that c lies in -(2^k - 1) .. -2^(k-1) or
  // 2^(k-1) + 1 .. 2^k; k = 0 holds 0 and 1.
  uint32_t c1 = c <= 0 ? 0u - static_cast<uint32_t>(c) : static_cast<uint32_t>(c) - 1;
  k = 0;
  while (c1) {
    c1 >>= 1;
    k++;
  }
  enc->encodeSymbol(interval_model, k);
  if (k == 0) {
    enc->encodeBit(corrector0, static_cast<uint32_t>(c));
    return;
  }
  if (k >= 32) return;  // only corrector_min, implied by k
  uint32_t v = c < 0 ? static_cast<uint32_t>(c) + ((1u << k) - 1) : static_cast<uint32_t>(c) - 1;
  if (k <= bits_high) {
    enc->encodeSymbol(correctors[k], v);
  } else {
    const uint32_t raw_bits = k - bits_high;
    const uint32_t raw = v & ((1u << raw_bits) - 1);
    enc->encodeSymbol(correctors[k], v >> raw_bits);
    enc->writeBits(raw_bits, raw);
  }
}
