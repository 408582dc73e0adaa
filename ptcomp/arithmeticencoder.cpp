// Encoder start, byte output with carry resolution, and the final flush.
#include "ptcomp/arithmeticencoder.hpp"

bool ArithmeticEncoder::init(ByteStreamOut* new_stream) {
  if (new_stream == nullptr) return false;
  stream = new_stream;
  low = 0;
  length = AC_MAX_LENGTH;
  cache = 0;
  have_cache = false;
  pending = 0;
  written = 0;
  failed = false;
  return true;
}

void ArithmeticEncoder::shift_low() {
  const uint32_t low32 = static_cast<uint32_t>(low);
  const uint32_t carry = static_cast<uint32_t>(low >> 32);
  if (low32 < 0xFF000000u || carry != 0) {
    // The held-back byte and the FF run after it are final now: a carry
    // turns them into byte + 1 and a run of 00.
    if (have_cache) put(static_cast<uint8_t>(cache + carry));
    for (; pending; --pending) put(static_cast<uint8_t>(0xFFu + carry));
    cache = static_cast<uint8_t>(low32 >> 24);
    have_cache = true;
  } else {
    // An FF byte may still receive a carry: hold it back too.
    ++pending;
  }
  low = uint64_t(low32 & 0x00FFFFFFu) << 8;
}

bool ArithmeticEncoder::done() {
  if (stream == nullptr) return false;
  // The decoder holds 4 bytes of look-ahead beyond the bytes shifted so far:
  // emit the 4 bytes of the interval base, which lies inside the interval.
  for (int i = 0; i < 4; i++) shift_low();
  if (have_cache) put(cache);
  for (; pending; --pending) put(0xFFu);
  have_cache = false;
  const bool ok = !failed;
  stream = nullptr;
  return ok;
}
