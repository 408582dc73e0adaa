// Version 1 item encoders, each the exact mirror of its decoder: the encoder
// keeps the same state, makes the same predictions and codes, in the
// decoder's order, the symbols from which the decoder rebuilds the item.
#include "ptcomp/laswriteitemcompressed_v1.hpp"

#include <cstring>  // memcpy, memcmp

// ---------------------------------------------------------------- POINT10

LASwriteItemCompressed_POINT10_v1::LASwriteItemCompressed_POINT10_v1(ArithmeticEncoder* enc)
    : enc(enc),
      ic_dx(enc, 32, 1),
      ic_dy(enc, 32, 20),
      ic_z(enc, 32, 20),
      ic_intensity(enc, 16, 1),
      ic_scan_angle_rank(enc, 8, 2),
      ic_point_source_id(enc, 16, 1),
      m_changed_values(enc->createSymbolModel(64)) {}

bool LASwriteItemCompressed_POINT10_v1::init(const uint8_t* item, uint32_t&) {
  for (int i = 0; i < 3; i++) last_x_diff[i] = last_y_diff[i] = 0;
  ring = 0;
  ic_dx.initCompressor();
  ic_dy.initCompressor();
  ic_z.initCompressor();
  ic_intensity.initCompressor();
  ic_scan_angle_rank.initCompressor();
  ic_point_source_id.initCompressor();
  enc->initSymbolModel(m_changed_values.get());
  m_flags.restart();
  m_classification.restart();
  m_user_data.restart();
  last.load(item);
  return true;
}

bool LASwriteItemCompressed_POINT10_v1::write(const uint8_t* item, uint32_t&) {
  Point10Fields p;
  p.load(item);
  const int32_t mx = median3(last_x_diff[0], last_x_diff[1], last_x_diff[2]);
  const int32_t my = median3(last_y_diff[0], last_y_diff[1], last_y_diff[2]);

  const int32_t dx = sub_wrap(p.x, last.x);
  ic_dx.compress(mx, dx, 0);
  const uint32_t kx = ic_dx.getK();
  const int32_t dy = sub_wrap(p.y, last.y);
  ic_dy.compress(my, dy, kx < 19 ? kx : 19);
  const uint32_t s = kx + ic_dy.getK();
  ic_z.compress(last.z, p.z, (s >> 1) < 19 ? (s >> 1) : 19);

  const uint32_t changed = (p.intensity != last.intensity ? 32u : 0u) | (p.flags != last.flags ? 16u : 0u) |
                           (p.classification != last.classification ? 8u : 0u) |
                           (p.scan_angle != last.scan_angle ? 4u : 0u) | (p.user_data != last.user_data ? 2u : 0u) |
                           (p.point_source_id != last.point_source_id ? 1u : 0u);
  enc->encodeSymbol(m_changed_values.get(), changed);
  if (changed) {
    if (changed & 32) ic_intensity.compress(last.intensity, p.intensity, 0);
    if (changed & 16) enc->encodeSymbol(m_flags.get(last.flags), p.flags);
    if (changed & 8) enc->encodeSymbol(m_classification.get(last.classification), p.classification);
    if (changed & 4) ic_scan_angle_rank.compress(last.scan_angle, p.scan_angle, s < 6 ? 1 : 0);
    if (changed & 2) enc->encodeSymbol(m_user_data.get(last.user_data), p.user_data);
    if (changed & 1) ic_point_source_id.compress(last.point_source_id, p.point_source_id, 0);
  }

  last_x_diff[ring] = dx;
  last_y_diff[ring] = dy;
  ring = ring == 2 ? 0 : ring + 1;
  last = p;
  return true;
}

// ---------------------------------------------------------------- GPSTIME11

LASwriteItemCompressed_GPSTIME11_v1::LASwriteItemCompressed_GPSTIME11_v1(ArithmeticEncoder* enc)
    : enc(enc),
      m_multi(enc->createSymbolModel(512)),
      m_multi_0diff(enc->createSymbolModel(3)),
      ic_time(enc, 32, 6) {}

bool LASwriteItemCompressed_GPSTIME11_v1::init(const uint8_t* item, uint32_t&) {
  last_diff = 0;
  extreme_counter = 0;
  enc->initSymbolModel(m_multi.get());
  enc->initSymbolModel(m_multi_0diff.get());
  ic_time.initCompressor();
  last_time = load_field<int64_t>(item);
  return true;
}

// True when the 64-bit difference b - a (of bit patterns) is a 32-bit value.
static inline bool diff_fits_32(uint64_t a, uint64_t b, int32_t* diff) {
  const int64_t d = static_cast<int64_t>(b - a);
  if (d < INT32_MIN || d > INT32_MAX) return false;
  *diff = static_cast<int32_t>(d);
  return true;
}

bool LASwriteItemCompressed_GPSTIME11_v1::write(const uint8_t* item, uint32_t&) {
  const uint64_t t = load_field<uint64_t>(item);
  const uint64_t lt = static_cast<uint64_t>(last_time);
  int32_t diff;
  if (last_diff == 0) {
    if (t == lt) {
      enc->encodeSymbol(m_multi_0diff.get(), 0);
    } else if (diff_fits_32(lt, t, &diff)) {
      enc->encodeSymbol(m_multi_0diff.get(), 1);
      ic_time.compress(0, diff, 0);
      last_diff = diff;
    } else {
      enc->encodeSymbol(m_multi_0diff.get(), 2);
      enc->writeInt64(t);
    }
  } else if (t == lt) {
    enc->encodeSymbol(m_multi.get(), 511);
  } else if (diff_fits_32(lt, t, &diff)) {
    // The multiplier closest to diff / last_diff picks the prediction;
    // small or negative ratios use a quarter of the last difference.
    const double q = static_cast<double>(diff) / static_cast<double>(last_diff);
    uint32_t s;
    if (q >= 0.5 && q < 1.5) {
      s = 1;
    } else if (q >= 1.5) {
      s = q < 508.5 ? static_cast<uint32_t>(q + 0.5) : 509;
    } else {
      s = 0;
    }
    enc->encodeSymbol(m_multi.get(), s);
    if (s == 1) {
      ic_time.compress(last_diff, diff, 1);
      last_diff = diff;
      extreme_counter = 0;
    } else if (s == 0) {
      ic_time.compress(last_diff / 4, diff, 2);
      if (++extreme_counter > 3) {
        last_diff = diff;
        extreme_counter = 0;
      }
    } else {
      const uint32_t context = s < 10 ? 3 : (s < 50 ? 4 : 5);
      ic_time.compress(mul_wrap(static_cast<int32_t>(s), last_diff), diff, context);
      if (s == 509 && ++extreme_counter > 3) {
        last_diff = diff;
        extreme_counter = 0;
      }
    }
  } else {
    enc->encodeSymbol(m_multi.get(), 510);
    enc->writeInt64(t);
  }
  last_time = static_cast<int64_t>(t);
  return true;
}

// ---------------------------------------------------------------- RGB12

LASwriteItemCompressed_RGB12_v1::LASwriteItemCompressed_RGB12_v1(ArithmeticEncoder* enc)
    : enc(enc), m_byte_used(enc->createSymbolModel(64)), ic_rgb(enc, 8, 6) {}

bool LASwriteItemCompressed_RGB12_v1::init(const uint8_t* item, uint32_t&) {
  enc->initSymbolModel(m_byte_used.get());
  ic_rgb.initCompressor();
  memcpy(last, item, 6);
  return true;
}

bool LASwriteItemCompressed_RGB12_v1::write(const uint8_t* item, uint32_t&) {
  uint16_t rgb[3];
  memcpy(rgb, item, 6);
  uint32_t s = 0;
  for (uint32_t c = 0; c < 3; c++) {
    if ((rgb[c] & 0xFFu) != (last[c] & 0xFFu)) s |= 1u << (2 * c);
    if ((rgb[c] >> 8) != (last[c] >> 8)) s |= 2u << (2 * c);
  }
  enc->encodeSymbol(m_byte_used.get(), s);
  for (uint32_t c = 0; c < 3; c++) {
    if (s & (1u << (2 * c))) ic_rgb.compress(last[c] & 0xFF, rgb[c] & 0xFF, 2 * c);
    if (s & (2u << (2 * c))) ic_rgb.compress(last[c] >> 8, rgb[c] >> 8, 2 * c + 1);
  }
  memcpy(last, rgb, 6);
  return true;
}

// ---------------------------------------------------------------- WAVEPACKET13

LASwriteItemCompressed_WAVEPACKET13_v1::LASwriteItemCompressed_WAVEPACKET13_v1(ArithmeticEncoder* enc)
    : enc(enc),
      m_packet_index(enc->createSymbolModel(256)),
      m_offset_kind{std::unique_ptr<ArithmeticModel>(enc->createSymbolModel(4)),
                    std::unique_ptr<ArithmeticModel>(enc->createSymbolModel(4)),
                    std::unique_ptr<ArithmeticModel>(enc->createSymbolModel(4)),
                    std::unique_ptr<ArithmeticModel>(enc->createSymbolModel(4))},
      ic_offset_diff(enc, 32, 1),
      ic_packet_size(enc, 32, 1),
      ic_return_point(enc, 32, 1),
      ic_xyz(enc, 32, 3) {}

bool LASwriteItemCompressed_WAVEPACKET13_v1::init(const uint8_t* item, uint32_t&) {
  last_offset_diff = 0;
  last_kind = 0;
  enc->initSymbolModel(m_packet_index.get());
  for (auto& m : m_offset_kind) enc->initSymbolModel(m.get());
  ic_offset_diff.initCompressor();
  ic_packet_size.initCompressor();
  ic_return_point.initCompressor();
  ic_xyz.initCompressor();
  memcpy(last, item + 1, 28);
  return true;
}

bool LASwriteItemCompressed_WAVEPACKET13_v1::write(const uint8_t* item, uint32_t&) {
  enc->encodeSymbol(m_packet_index.get(), item[0]);

  const uint64_t last_offset = load_field<uint64_t>(last);
  const uint32_t last_size = load_field<uint32_t>(last + 8);
  const uint64_t offset = load_field<uint64_t>(item + 1);
  int32_t diff = 0;
  uint32_t kind;
  if (offset == last_offset) {
    kind = 0;
  } else if (offset == last_offset + last_size) {
    kind = 1;
  } else if (diff_fits_32(last_offset, offset, &diff)) {
    kind = 2;
  } else {
    kind = 3;
  }
  enc->encodeSymbol(m_offset_kind[last_kind].get(), kind);
  last_kind = kind;
  if (kind == 2) {
    ic_offset_diff.compress(last_offset_diff, diff, 0);
    last_offset_diff = diff;
  } else if (kind == 3) {
    enc->writeInt64(offset);
  }
  ic_packet_size.compress(static_cast<int32_t>(last_size), load_field<int32_t>(item + 9), 0);
  for (uint32_t i = 0; i < 4; i++) {
    const int32_t previous = load_field<int32_t>(last + 12 + 4 * i);
    const int32_t value = load_field<int32_t>(item + 13 + 4 * i);
    if (i == 0) {
      ic_return_point.compress(previous, value, 0);
    } else {
      ic_xyz.compress(previous, value, i - 1);
    }
  }
  memcpy(last, item + 1, 28);
  return true;
}

// ---------------------------------------------------------------- BYTE

LASwriteItemCompressed_BYTE_v1::LASwriteItemCompressed_BYTE_v1(ArithmeticEncoder* enc, uint32_t size)
    : size(size), last(new uint8_t[size]()), ic_byte(enc, 8, size) {}

bool LASwriteItemCompressed_BYTE_v1::init(const uint8_t* item, uint32_t&) {
  ic_byte.initCompressor();
  memcpy(last.get(), item, size);
  return true;
}

bool LASwriteItemCompressed_BYTE_v1::write(const uint8_t* item, uint32_t&) {
  uint8_t* l = last.get();
  for (uint32_t i = 0; i < size; i++) ic_byte.compress(l[i], item[i], i);
  memcpy(l, item, size);
  return true;
}
