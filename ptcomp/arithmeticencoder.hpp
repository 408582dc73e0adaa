// The adaptive range encoder that writes what ArithmeticDecoder reads: the
// same models and update rules, the same interval arithmetic, with carries
// propagated into bytes already produced. One byte is held back (plus any
// run of FF bytes after it) until no later carry can change it, so output
// goes straight to a ByteStreamOut without rewriting.
#ifndef PTCOMP_ARITHMETICENCODER_HPP
#define PTCOMP_ARITHMETICENCODER_HPP

#include <cstdint>  // uint32_t, uint64_t

#include "las/bytestreamout.hpp"        // ByteStreamOut, the coded bytes
#include "ptcomp/arithmeticmodel.hpp"   // ArithmeticBitModel, ArithmeticModel, constants

class ArithmeticEncoder {
 public:
  ArithmeticEncoder() = default;
  ArithmeticEncoder(const ArithmeticEncoder&) = delete;
  ArithmeticEncoder& operator=(const ArithmeticEncoder&) = delete;

  // Starts a new code on the stream; false for a null stream.
  bool init(ByteStreamOut* stream);
  // Ends the code: writes exactly the bytes the decoder's 4-byte look-ahead
  // will read, so a decoder that has decoded every symbol stands right at
  // the end of this code. False when any write to the stream failed.
  bool done();
  ByteStreamOut* get_stream() const { return stream; }
  // Bytes written for the current code so far (held-back bytes excluded).
  uint64_t get_bytes_written() const { return written; }

  ArithmeticBitModel* createBitModel() { return new ArithmeticBitModel(); }
  void initBitModel(ArithmeticBitModel* model) { model->init(); }
  void destroyBitModel(ArithmeticBitModel* model) { delete model; }
  ArithmeticModel* createSymbolModel(uint32_t symbols) { return new ArithmeticModel(symbols, true); }
  int initSymbolModel(ArithmeticModel* model, const uint32_t* counts = nullptr) { return model->init(counts); }
  void destroySymbolModel(ArithmeticModel* model) { delete model; }

  inline void encodeBit(ArithmeticBitModel* model, uint32_t bit);
  // sym must be below the model's alphabet size.
  inline void encodeSymbol(ArithmeticModel* model, uint32_t sym);
  // 1 <= bits <= 32 and sym < 2^bits; more than 19 bits go as 16 low bits,
  // then the rest, as the decoder reads them.
  inline void writeBits(uint32_t bits, uint32_t sym);
  inline void writeShort(uint32_t sym);
  void writeInt(uint32_t sym) {
    writeShort(sym & 0xFFFFu);
    writeShort(sym >> 16);
  }
  void writeInt64(uint64_t sym) {
    writeInt(static_cast<uint32_t>(sym));
    writeInt(static_cast<uint32_t>(sym >> 32));
  }

 private:
  inline void renormalise() {
    do {
      shift_low();
      length <<= 8;
    } while (length < AC_MIN_LENGTH);
  }
  // Moves the top byte of `low` out, resolving a pending carry.
  void shift_low();
  void put(uint8_t byte) {
    if (!stream->putByte(byte)) failed = true;
    ++written;
  }

  ByteStreamOut* stream = nullptr;
  uint64_t low = 0;  // interval base; bit 32 is a carry into earlier bytes
  uint32_t length = 0;
  uint8_t cache = 0;        // the held-back byte
  bool have_cache = false;  // false until the first byte is shifted out
  uint64_t pending = 0;     // FF bytes after the cache, still open to a carry
  uint64_t written = 0;
  bool failed = false;
};

inline void ArithmeticEncoder::encodeBit(ArithmeticBitModel* m, uint32_t bit) {
  const uint32_t x = m->zero_probability * (length >> BM_LENGTH_SHIFT);
  if (bit == 0) {
    length = x;
    ++m->zero_count;
  } else {
    low += x;
    length -= x;
  }
  if (length < AC_MIN_LENGTH) renormalise();
  if (--m->until_update == 0) m->update();
}

inline void ArithmeticEncoder::encodeSymbol(ArithmeticModel* m, uint32_t sym) {
  const uint32_t l = length >> DM_LENGTH_SHIFT;
  const uint32_t x = m->cumulative[sym] * l;
  if (sym == m->top_symbol) {
    length -= x;
  } else {
    length = m->cumulative[sym + 1] * l - x;
  }
  low += x;
  if (length < AC_MIN_LENGTH) renormalise();
  ++m->counts[sym];
  if (--m->until_update == 0) m->update();
}

inline void ArithmeticEncoder::writeBits(uint32_t bits, uint32_t sym) {
  if (bits > 19) {
    writeShort(sym & 0xFFFFu);
    writeBits(bits - 16, sym >> 16);
    return;
  }
  length >>= bits;
  low += uint64_t(sym) * length;
  if (length < AC_MIN_LENGTH) renormalise();
}

inline void ArithmeticEncoder::writeShort(uint32_t sym) {
  length >>= 16;
  low += uint64_t(sym) * length;
  renormalise();
}

#endif
