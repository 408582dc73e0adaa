// Version 1 item decoders: median-of-three coordinate prediction for POINT10,
// multiplied time differences for GPSTIME11, byte-wise colour corrections for
// RGB12, offset kinds for WAVEPACKET13 and per-byte corrections for BYTE.
#include "ptcomp/lasreaditemcompressed_v1.hpp"

#include <cstring>  // memcpy

// ---------------------------------------------------------------- POINT10

LASreadItemCompressed_POINT10_v1::LASreadItemCompressed_POINT10_v1(ArithmeticDecoder* dec)
    : dec(dec),
      ic_dx(dec, 32, 1),
      ic_dy(dec, 32, 20),
      ic_z(dec, 32, 20),
      ic_intensity(dec, 16, 1),
      ic_scan_angle_rank(dec, 8, 2),
      ic_point_source_id(dec, 16, 1),
      m_changed_values(dec->createSymbolModel(64)) {}

bool LASreadItemCompressed_POINT10_v1::init(const uint8_t* item, uint32_t&) {
  for (int i = 0; i < 3; i++) last_x_diff[i] = last_y_diff[i] = 0;
  ring = 0;
  ic_dx.initDecompressor();
  ic_dy.initDecompressor();
  ic_z.initDecompressor();
  ic_intensity.initDecompressor();
  ic_scan_angle_rank.initDecompressor();
  ic_point_source_id.initDecompressor();
  dec->initSymbolModel(m_changed_values.get());
  m_flags.restart();
  m_classification.restart();
  m_user_data.restart();
  last.load(item);
  return true;
}

void LASreadItemCompressed_POINT10_v1::read(uint8_t* item, uint32_t&) {
  Point10Fields p = last;
  const int32_t mx = median3(last_x_diff[0], last_x_diff[1], last_x_diff[2]);
  const int32_t my = median3(last_y_diff[0], last_y_diff[1], last_y_diff[2]);

  const int32_t dx = ic_dx.decompress(mx, 0);
  p.x = add_wrap(p.x, dx);
  const uint32_t kx = ic_dx.getK();
  const int32_t dy = ic_dy.decompress(my, kx < 19 ? kx : 19);
  p.y = add_wrap(p.y, dy);
  const uint32_t s = kx + ic_dy.getK();
  p.z = ic_z.decompress(p.z, (s >> 1) < 19 ? (s >> 1) : 19);

  const uint32_t changed = dec->decodeSymbol(m_changed_values.get());
  if (changed) {
    if (changed & 32) p.intensity = static_cast<uint16_t>(ic_intensity.decompress(p.intensity, 0));
    if (changed & 16) p.flags = static_cast<uint8_t>(dec->decodeSymbol(m_flags.get(p.flags)));
    if (changed & 8) p.classification = static_cast<uint8_t>(dec->decodeSymbol(m_classification.get(p.classification)));
    if (changed & 4) p.scan_angle = static_cast<uint8_t>(ic_scan_angle_rank.decompress(p.scan_angle, s < 6 ? 1 : 0));
    if (changed & 2) p.user_data = static_cast<uint8_t>(dec->decodeSymbol(m_user_data.get(p.user_data)));
    if (changed & 1) p.point_source_id = static_cast<uint16_t>(ic_point_source_id.decompress(p.point_source_id, 0));
  }

  last_x_diff[ring] = dx;
  last_y_diff[ring] = dy;
  ring = ring == 2 ? 0 : ring + 1;
  last = p;
  p.store(item);
}

// ---------------------------------------------------------------- GPSTIME11

LASreadItemCompressed_GPSTIME11_v1::LASreadItemCompressed_GPSTIME11_v1(ArithmeticDecoder* dec)
    : dec(dec),
      m_multi(dec->createSymbolModel(512)),
      m_multi_0diff(dec->createSymbolModel(3)),
      ic_time(dec, 32, 6) {}

bool LASreadItemCompressed_GPSTIME11_v1::init(const uint8_t* item, uint32_t&) {
  last_diff = 0;
  extreme_counter = 0;
  dec->initSymbolModel(m_multi.get());
  dec->initSymbolModel(m_multi_0diff.get());
  ic_time.initDecompressor();
  last_time = load_field<int64_t>(item);
  return true;
}

void LASreadItemCompressed_GPSTIME11_v1::read(uint8_t* item, uint32_t&) {
  // Times are added as 64-bit integers (their bit patterns) with wrap-around.
  uint64_t t = static_cast<uint64_t>(last_time);
  if (last_diff == 0) {
    const uint32_t s = dec->decodeSymbol(m_multi_0diff.get());
    if (s == 1) {
      last_diff = ic_time.decompress(0, 0);
      t += static_cast<uint64_t>(static_cast<int64_t>(last_diff));
    } else if (s == 2) {
      t = dec->readInt64();
    }
  } else {
    const uint32_t s = dec->decodeSymbol(m_multi.get());
    if (s < 510) {
      int32_t d;
      if (s == 1) {
        d = ic_time.decompress(last_diff, 1);
        last_diff = d;
        extreme_counter = 0;
      } else if (s == 0) {
        d = ic_time.decompress(last_diff / 4, 2);
        if (++extreme_counter > 3) {
          last_diff = d;
          extreme_counter = 0;
        }
      } else if (s < 10) {
        d = ic_time.decompress(mul_wrap(static_cast<int32_t>(s), last_diff), 3);
      } else if (s < 50) {
        d = ic_time.decompress(mul_wrap(static_cast<int32_t>(s), last_diff), 4);
      } else {
        d = ic_time.decompress(mul_wrap(static_cast<int32_t>(s), last_diff), 5);
        if (s == 509 && ++extreme_counter > 3) {
          last_diff = d;
          extreme_counter = 0;
        }
      }
      t += static_cast<uint64_t>(static_cast<int64_t>(d));
    } else if (s == 510) {
      t = dec->readInt64();
    }
  }
  last_time = static_cast<int64_t>(t);
  store_field(item, t);
}

// ---------------------------------------------------------------- RGB12

LASreadItemCompressed_RGB12_v1::LASreadItemCompressed_RGB12_v1(ArithmeticDecoder* dec)
    : dec(dec), m_byte_used(dec->createSymbolModel(64)), ic_rgb(dec, 8, 6) {}

bool LASreadItemCompressed_RGB12_v1::init(const uint8_t* item, uint32_t&) {
  dec->initSymbolModel(m_byte_used.get());
  ic_rgb.initDecompressor();
  memcpy(last, item, 6);
  return true;
}

void LASreadItemCompressed_RGB12_v1::read(uint8_t* item, uint32_t&) {
  const uint32_t s = dec->decodeSymbol(m_byte_used.get());
  for (uint32_t c = 0; c < 3; c++) {
    uint32_t lo = last[c] & 0xFFu;
    uint32_t hi = last[c] >> 8;
    if (s & (1u << (2 * c))) lo = static_cast<uint32_t>(ic_rgb.decompress(static_cast<int32_t>(lo), 2 * c));
    if (s & (2u << (2 * c))) hi = static_cast<uint32_t>(ic_rgb.decompress(static_cast<int32_t>(hi), 2 * c + 1));
    last[c] = static_cast<uint16_t>((hi << 8) | lo);
  }
  memcpy(item, last, 6);
}

// ---------------------------------------------------------------- WAVEPACKET13

LASreadItemCompressed_WAVEPACKET13_v1::LASreadItemCompressed_WAVEPACKET13_v1(ArithmeticDecoder* dec)
    : dec(dec),
      m_packet_index(dec->createSymbolModel(256)),
      m_offset_kind{std::unique_ptr<ArithmeticModel>(dec->createSymbolModel(4)),
                    std::unique_ptr<ArithmeticModel>(dec->createSymbolModel(4)),
                    std::unique_ptr<ArithmeticModel>(dec->createSymbolModel(4)),
                    std::unique_ptr<ArithmeticModel>(dec->createSymbolModel(4))},
      ic_offset_diff(dec, 32, 1),
      ic_packet_size(dec, 32, 1),
      ic_return_point(dec, 32, 1),
      ic_xyz(dec, 32, 3) {}

bool LASreadItemCompressed_WAVEPACKET13_v1::init(const uint8_t* item, uint32_t&) {
  last_offset_diff = 0;
  last_kind = 0;
  dec->initSymbolModel(m_packet_index.get());
  for (auto& m : m_offset_kind) dec->initSymbolModel(m.get());
  ic_offset_diff.initDecompressor();
  ic_packet_size.initDecompressor();
  ic_return_point.initDecompressor();
  ic_xyz.initDecompressor();
  memcpy(last, item + 1, 28);
  return true;
}

void LASreadItemCompressed_WAVEPACKET13_v1::read(uint8_t* item, uint32_t&) {
  item[0] = static_cast<uint8_t>(dec->decodeSymbol(m_packet_index.get()));

  const uint32_t kind = dec->decodeSymbol(m_offset_kind[last_kind].get());
  last_kind = kind;
  const uint64_t last_offset = load_field<uint64_t>(last);
  const uint32_t last_size = load_field<uint32_t>(last + 8);
  uint64_t offset;
  if (kind == 0) {
    offset = last_offset;
  } else if (kind == 1) {
    offset = last_offset + last_size;
  } else if (kind == 2) {
    last_offset_diff = ic_offset_diff.decompress(last_offset_diff, 0);
    offset = last_offset + static_cast<uint64_t>(static_cast<int64_t>(last_offset_diff));
  } else {
    offset = dec->readInt64();
  }
  store_field(last, offset);
  store_field(last + 8, static_cast<uint32_t>(ic_packet_size.decompress(static_cast<int32_t>(last_size), 0)));
  for (uint32_t i = 0; i < 4; i++) {
    uint8_t* field = last + 12 + 4 * i;
    const int32_t previous = load_field<int32_t>(field);
    const int32_t value = i == 0 ? ic_return_point.decompress(previous, 0) : ic_xyz.decompress(previous, i - 1);
    store_field(field, value);
  }
  memcpy(item + 1, last, 28);
}

// ---------------------------------------------------------------- BYTE

LASreadItemCompressed_BYTE_v1::LASreadItemCompressed_BYTE_v1(ArithmeticDecoder* dec, uint32_t size)
    : size(size), last(new uint8_t[size]()), ic_byte(dec, 8, size) {}

bool LASreadItemCompressed_BYTE_v1::init(const uint8_t* item, uint32_t&) {
  ic_byte.initDecompressor();
  memcpy(last.get(), item, size);
  return true;
}

void LASreadItemCompressed_BYTE_v1::read(uint8_t* item, uint32_t&) {
  uint8_t* l = last.get();
  for (uint32_t i = 0; i < size; i++) {
    l[i] = static_cast<uint8_t>(ic_byte.decompress(l[i], i));
  }
  memcpy(item, l, size);
}
