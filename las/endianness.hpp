// The host byte order, tested once at compile time, so that stream creators
// can pick the little- or big-endian variant of a byte-stream class.
#ifndef LAS_ENDIANNESS_HPP
#define LAS_ENDIANNESS_HPP

struct Endian {
#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  static constexpr bool IS_LITTLE_ENDIAN = false;
#else
  static constexpr bool IS_LITTLE_ENDIAN = true;
#endif
};

#endif
