// The adaptive range decoder (32-bit integer arithmetic) that reads the coded
// point data from a byte stream: single bits with a bit model, symbols with a
// symbol model, and raw bit fields. Running out of input throws -1 (from the
// byte stream); raw fields that cannot come from a valid stream throw 4711.
// The per-symbol paths are inline and work on ArithmeticDecoderState, the
// three values that change while decoding: an item reader that decodes many
// symbols per point copies the state into a local, decodes, and stores it
// back once, so that the interval stays in registers between symbols instead
// of going through memory after every model update.
#ifndef PTCOMP_ARITHMETICDECODER_HPP
#define PTCOMP_ARITHMETICDECODER_HPP

#include <cstdint>  // uint32_t, uint64_t

#include "las/bytestreamin.hpp"          // ByteStreamIn, the coded bytes
#include "ptcomp/arithmeticmodel.hpp"    // ArithmeticBitModel, ArithmeticModel, constants

// Inlining of the decode steps into the item readers' per-point code: the
// state copy stays in registers only when every step is inlined.
#if defined(__GNUC__)
#define PTC_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define PTC_ALWAYS_INLINE inline
#endif

struct ArithmeticDecoderState {
  ByteStreamIn* stream = nullptr;
  uint32_t value = 0;
  uint32_t length = 0;

  PTC_ALWAYS_INLINE uint32_t decodeBit(ArithmeticBitModel* m);
  PTC_ALWAYS_INLINE uint32_t decodeSymbol(ArithmeticModel* m);
  inline uint32_t readBits(uint32_t bits);
  inline uint32_t readShort();

  // Shifts in bytes while the interval is below 2^24. A throw from the
  // stream abandons the decoder until its next init, so callers store their
  // locals back only after a step has completed.
  static PTC_ALWAYS_INLINE void renormalise(ByteStreamIn* in, uint32_t& v, uint32_t& l) {
    do {
      v = (v << 8) | static_cast<uint32_t>(in->getByte());
      l <<= 8;
    } while (l < AC_MIN_LENGTH);
  }
};

class ArithmeticDecoder {
 public:
  ArithmeticDecoder() = default;
  ArithmeticDecoder(const ArithmeticDecoder&) = delete;
  ArithmeticDecoder& operator=(const ArithmeticDecoder&) = delete;

  // Attaches the stream and, when read_start_bytes, reads the 4 start bytes
  // (most significant first). False for a null stream. May throw -1 (input
  // ends) or 4711 (start bytes FF FF FF FF, which no encoder produces and
  // which would put the decoder outside its interval).
  bool init(ByteStreamIn* stream, bool read_start_bytes = true);
  // Forgets the stream; reads nothing.
  void done() { st.stream = nullptr; }
  ByteStreamIn* get_stream() const { return st.stream; }

  ArithmeticBitModel* createBitModel() { return new ArithmeticBitModel(); }
  void initBitModel(ArithmeticBitModel* model) { model->init(); }
  void destroyBitModel(ArithmeticBitModel* model) { delete model; }
  ArithmeticModel* createSymbolModel(uint32_t symbols) { return new ArithmeticModel(symbols, false); }
  // 0, or -1 when the model's alphabet size is refused (then unusable).
  int initSymbolModel(ArithmeticModel* model, const uint32_t* counts = nullptr) { return model->init(counts); }
  void destroySymbolModel(ArithmeticModel* model) { delete model; }

  uint32_t decodeBit(ArithmeticBitModel* model) { return st.decodeBit(model); }
  uint32_t decodeSymbol(ArithmeticModel* model) { return st.decodeSymbol(model); }
  // 1 <= bits <= 32; more than 19 bits are read as 16 low bits, then the rest.
  uint32_t readBits(uint32_t bits) { return st.readBits(bits); }
  uint32_t readShort() { return st.readShort(); }
  // Low 16 bits first, then the high 16.
  uint32_t readInt() {
    const uint32_t low = readShort();
    return (uint32_t(readShort()) << 16) | low;
  }
  // Low 32 bits first, then the high 32.
  uint64_t readInt64() {
    const uint64_t low = readInt();
    return (uint64_t(readInt()) << 32) | low;
  }

  // The changing state, for callers that decode with a local copy: fetch()
  // before a run of decode steps, keep() after it. Field by field on
  // purpose: a block copy would be read with one wide load right after the
  // narrow stores of the previous step, which the processor cannot forward
  // from its store buffer and stalls on.
  ArithmeticDecoderState fetch() const {
    ArithmeticDecoderState d;
    d.stream = st.stream;
    d.value = st.value;
    d.length = st.length;
    return d;
  }
  void keep(const ArithmeticDecoderState& d) {
    st.value = d.value;
    st.length = d.length;
  }

  // State, for tests and diagnostics.
  uint32_t get_value() const { return st.value; }
  uint32_t get_length() const { return st.length; }

 private:
  ArithmeticDecoderState st;
};

PTC_ALWAYS_INLINE uint32_t ArithmeticDecoderState::decodeBit(ArithmeticBitModel* m) {
  uint32_t v = value;
  uint32_t l = length;
  const uint32_t x = m->zero_probability * (l >> BM_LENGTH_SHIFT);
  uint32_t bit;
  if (v < x) {
    l = x;
    bit = 0;
    ++m->zero_count;
  } else {
    v -= x;
    l -= x;
    bit = 1;
  }
  if (l < AC_MIN_LENGTH) renormalise(stream, v, l);
  value = v;
  length = l;
  if (--m->until_update == 0) m->update();
  return bit;
}

PTC_ALWAYS_INLINE uint32_t ArithmeticDecoderState::decodeSymbol(ArithmeticModel* m) {
  uint32_t v = value;
  uint32_t y = length;
  const uint32_t l = y >> DM_LENGTH_SHIFT;
  const uint32_t* cumulative = m->cumulative;
  uint32_t s, x;
  if (m->lookup && v < cumulative[1] * l) {
    // Symbol 0 (no change, a zero correction) is the most frequent one in
    // point data: test it with one product before dividing. Equivalent to
    // the table search, since value / l < cumulative[1] exactly then.
    s = 0;
    x = 0;
    y = cumulative[1] * l;
  } else if (m->lookup) {
    // The table gives the range of symbols whose start falls into the same
    // slice as value / l; a short bisection finds the one.
    const uint32_t dv = v / l;
    const uint32_t t = dv >> m->lookup_shift;
    s = m->lookup[t];
    uint32_t n = m->lookup[t + 1] + 1;
    while (n > s + 1) {
      // Written as selects so the compiler can avoid unpredictable branches.
      const uint32_t k = (s + n) >> 1;
      const bool above = cumulative[k] > dv;
      n = above ? k : n;
      s = above ? s : k;
    }
    x = cumulative[s] * l;
    if (s != m->top_symbol) y = cumulative[s + 1] * l;
  } else {
    s = 0;
    x = 0;
    uint32_t n = m->alphabet_size;
    uint32_t k = n >> 1;
    do {
      const uint32_t z = l * cumulative[k];
      if (z > v) {
        n = k;
        y = z;
      } else {
        s = k;
        x = z;
      }
    } while ((k = (s + n) >> 1) != s);
  }
  v -= x;
  uint32_t len = y - x;
  if (len < AC_MIN_LENGTH) renormalise(stream, v, len);
  value = v;
  length = len;
  ++m->counts[s];
  if (--m->until_update == 0) m->update();
  return s;
}

inline uint32_t ArithmeticDecoderState::readBits(uint32_t bits) {
  if (bits > 19) {
    const uint32_t low = readShort();
    return (readBits(bits - 16) << 16) | low;
  }
  uint32_t v = value;
  uint32_t l = length >> bits;
  const uint32_t sym = v / l;
  v -= l * sym;
  if (l < AC_MIN_LENGTH) renormalise(stream, v, l);
  value = v;
  length = l;
  if (sym >= (1u << bits)) throw int(4711);
  return sym;
}

inline uint32_t ArithmeticDecoderState::readShort() {
  uint32_t v = value;
  uint32_t l = length >> 16;
  const uint32_t sym = v / l;
  v -= l * sym;
  renormalise(stream, v, l);
  value = v;
  length = l;
  if (sym >= (1u << 16)) throw int(4711);
  return sym;
}

#endif
