// Codes a signed integer as a correction to a prediction: the number of
// significant bits k of the correction is coded with a per-context symbol
// model, then the correction itself within its interval, with the top bits
// modelled and the rest written raw. The same object decodes (built on an
// ArithmeticDecoder) or encodes (built on an ArithmeticEncoder).
#ifndef PTCOMP_INTEGERCOMPRESSOR_HPP
#define PTCOMP_INTEGERCOMPRESSOR_HPP

#include <cstdint>  // int32_t, uint32_t

#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder, for decompress
#include "ptcomp/arithmeticencoder.hpp"  // ArithmeticEncoder, for compress
#include "ptcomp/arithmeticmodel.hpp"    // ArithmeticBitModel, ArithmeticModel

class IntegerCompressor {
 public:
  // bits: width of the values (1..31 with a range of 2^bits; anything else
  // means full 32-bit values); contexts: number of interval models;
  // high_bits: how many top bits of a correction are modelled (at most 11,
  // the rest are raw); range: when non-zero, the values lie in 0..range-1
  // (at most 2^31: results are signed 32-bit).
  IntegerCompressor(ArithmeticDecoder* decoder, uint32_t bits = 16, uint32_t contexts = 1, uint32_t high_bits = 8,
                    uint32_t range = 0);
  IntegerCompressor(ArithmeticEncoder* encoder, uint32_t bits = 16, uint32_t contexts = 1, uint32_t high_bits = 8,
                    uint32_t range = 0);
  ~IntegerCompressor();
  IntegerCompressor(const IntegerCompressor&) = delete;
  IntegerCompressor& operator=(const IntegerCompressor&) = delete;

  // Creates the models on the first call, then (re)starts all of them.
  void initDecompressor();
  void initCompressor();

  // context < contexts. The result wraps into 0..range-1 when a range
  // applies, else it is prediction + correction modulo 2^32.
  int32_t decompress(int32_t prediction, uint32_t context = 0) {
    ArithmeticDecoderState d = dec->fetch();
    const int32_t real = decompress(d, prediction, context);
    dec->keep(d);
    return real;
  }
  // The same on the caller's local copy of this compressor's decoder state
  // (ArithmeticDecoder::fetch), fully inlined into the caller's loop; the
  // caller stores the copy back with ArithmeticDecoder::keep.
  PTC_ALWAYS_INLINE int32_t decompress(ArithmeticDecoderState& d, int32_t prediction, uint32_t context);
  void compress(int32_t prediction, int32_t real, uint32_t context = 0);

  // Interval number k of the last coded correction.
  uint32_t getK() const { return k; }

  uint32_t get_corrector_bits() const { return corrector_bits; }
  uint32_t get_corrector_range() const { return corrector_range; }
  int32_t get_corrector_min() const { return corrector_min; }
  int32_t get_corrector_max() const { return corrector_max; }

 private:
  void setup(uint32_t bits, uint32_t contexts, uint32_t high_bits, uint32_t range);
  void create_models(bool encoding);
  void init_models();
  PTC_ALWAYS_INLINE int32_t readCorrector(ArithmeticDecoderState& d, ArithmeticModel* interval_model);
  void writeCorrector(int32_t correction, ArithmeticModel* interval_model);

  uint32_t k = 0;
  uint32_t contexts = 1;
  uint32_t bits_high = 8;
  uint32_t bits = 16;
  uint32_t range = 0;
  uint32_t corrector_bits = 0;
  uint32_t corrector_range = 0;
  int32_t corrector_min = 0;
  int32_t corrector_max = 0;
  ArithmeticDecoder* dec = nullptr;
  ArithmeticEncoder* enc = nullptr;
  ArithmeticModel** interval_models = nullptr;  // one per context
  ArithmeticBitModel* corrector0 = nullptr;     // k = 0: corrections 0 and 1
  ArithmeticModel** correctors = nullptr;       // entries 1..corrector_bits
};

PTC_ALWAYS_INLINE int32_t IntegerCompressor::readCorrector(ArithmeticDecoderState& d,
                                                           ArithmeticModel* interval_model) {
  uint32_t c;
  k = d.decodeSymbol(interval_model);
  if (k) {
    if (k < 32) {
      if (k <= bits_high) {
        c = d.decodeSymbol(correctors[k]);
      } else {
        const uint32_t raw_bits = k - bits_high;
        c = d.decodeSymbol(correctors[k]);
        // Rare (large corrections): through the decoder itself, so that the
        // local copy never has its address taken and stays in registers.
        dec->keep(d);
        c = (c << raw_bits) | dec->readBits(raw_bits);
        d = dec->fetch();
      }
      // c in [0, 2^k): the upper half are corrections 2^(k-1)+1 .. 2^k,
      // the lower half -(2^k - 1) .. -2^(k-1).
      if (c >= (1u << (k - 1))) {
        c += 1;
      } else {
        c -= (1u << k) - 1;
      }
    } else {
      c = static_cast<uint32_t>(corrector_min);
    }
  } else {
    c = d.decodeBit(corrector0);
  }
  return static_cast<int32_t>(c);
}

PTC_ALWAYS_INLINE int32_t IntegerCompressor::decompress(ArithmeticDecoderState& d, int32_t prediction,
                                                        uint32_t context) {
  const uint32_t sum =
      static_cast<uint32_t>(prediction) + static_cast<uint32_t>(readCorrector(d, interval_models[context]));
  int32_t real = static_cast<int32_t>(sum);
  if (real < 0) {
    real = static_cast<int32_t>(sum + corrector_range);
  } else if (sum >= corrector_range) {
    real = static_cast<int32_t>(sum - corrector_range);
  }
  return real;
}

#endif
