// Field access for item buffers: unaligned loads and stores of host-order
// values, and the POINT10 item unpacked into named fields, so that the item
// codecs work on plain integers rather than on a byte array.
#ifndef PTCOMP_ITEMFIELDS_HPP
#define PTCOMP_ITEMFIELDS_HPP

#include <cstdint>  // fixed-width types
#include <cstring>  // memcpy

template <typename T>
inline T load_field(const uint8_t* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
inline void store_field(uint8_t* p, T v) {
  memcpy(p, &v, sizeof(T));
}

// The 20-byte POINT10 item: X, Y, Z, intensity, the flag byte (return number,
// number of returns, scan direction, edge), the classification byte, scan
// angle rank, user data and point source ID.
struct Point10Fields {
  int32_t x;
  int32_t y;
  int32_t z;
  uint16_t intensity;
  uint8_t flags;           // byte 14
  uint8_t classification;  // byte 15
  uint8_t scan_angle;      // byte 16, the signed rank as a byte
  uint8_t user_data;       // byte 17
  uint16_t point_source_id;

  void load(const uint8_t* item) {
    x = load_field<int32_t>(item);
    y = load_field<int32_t>(item + 4);
    z = load_field<int32_t>(item + 8);
    intensity = load_field<uint16_t>(item + 12);
    flags = item[14];
    classification = item[15];
    scan_angle = item[16];
    user_data = item[17];
    point_source_id = load_field<uint16_t>(item + 18);
  }
  void store(uint8_t* item) const {
    store_field(item, x);
    store_field(item + 4, y);
    store_field(item + 8, z);
    store_field(item + 12, intensity);
    item[14] = flags;
    item[15] = classification;
    item[16] = scan_angle;
    item[17] = user_data;
    store_field(item + 18, point_source_id);
  }
};

// Sum and difference of 32-bit coordinates with wrap-around (no signed
// overflow).
inline int32_t add_wrap(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t sub_wrap(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t mul_wrap(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The middle one of three values.
inline int32_t median3(int32_t a, int32_t b, int32_t c) {
  if (a < b) {
    if (b < c) return b;
    return a < c ? c : a;
  }
  if (a < c) return a;
  return b < c ? c : b;
}

#endif
