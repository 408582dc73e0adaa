// Version 2 item decoders: POINT10 with running-median coordinate prediction
// per return class, GPSTIME11 with four interleaved time sequences, RGB12
// with colour channels predicted from red, BYTE with per-byte difference
// models.
#include "ptcomp/lasreaditemcompressed_v2.hpp"

#include <cstring>  // memcpy

const uint8_t point10_v2_return_map[8][8] = {
    {15, 14, 13, 12, 11, 10, 9, 8},   {14, 0, 1, 3, 6, 10, 10, 9},    {13, 1, 2, 4, 7, 11, 11, 10},
    {12, 3, 4, 5, 8, 12, 12, 11},     {11, 6, 7, 8, 9, 13, 13, 12},   {10, 10, 11, 12, 13, 14, 14, 13},
    {9, 10, 11, 12, 13, 14, 15, 14}, {8, 9, 10, 11, 12, 13, 14, 15}};

const uint8_t point10_v2_return_level[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 0, 1, 2, 3, 4, 5, 6}, {2, 1, 0, 1, 2, 3, 4, 5}, {3, 2, 1, 0, 1, 2, 3, 4},
    {4, 3, 2, 1, 0, 1, 2, 3}, {5, 4, 3, 2, 1, 0, 1, 2}, {6, 5, 4, 3, 2, 1, 0, 1}, {7, 6, 5, 4, 3, 2, 1, 0}};

// ---------------------------------------------------------------- POINT10

LASreadItemCompressed_POINT10_v2::LASreadItemCompressed_POINT10_v2(ArithmeticDecoder* dec)
    : dec(dec),
      m_changed_values(dec->createSymbolModel(64)),
      ic_intensity(dec, 16, 4),
      m_scan_angle_rank{std::unique_ptr<ArithmeticModel>(dec->createSymbolModel(256)),
                        std::unique_ptr<ArithmeticModel>(dec->createSymbolModel(256))},
      ic_point_source_id(dec, 16, 1),
      ic_dx(dec, 32, 2),
      ic_dy(dec, 32, 22),
      ic_z(dec, 32, 20) {}

bool LASreadItemCompressed_POINT10_v2::init(const uint8_t* item, uint32_t&) {
  for (int i = 0; i < 16; i++) {
    last_x_diff_median[i].init();
    last_y_diff_median[i].init();
    last_intensity[i] = 0;
  }
  for (int i = 0; i < 8; i++) last_height[i] = 0;
  dec->initSymbolModel(m_changed_values.get());
  ic_intensity.initDecompressor();
  dec->initSymbolModel(m_scan_angle_rank[0].get());
  dec->initSymbolModel(m_scan_angle_rank[1].get());
  ic_point_source_id.initDecompressor();
  m_flags.restart();
  m_classification.restart();
  m_user_data.restart();
  ic_dx.initDecompressor();
  ic_dy.initDecompressor();
  ic_z.initDecompressor();
  last.load(item);
  // The intensity of a chunk's first point is not a prediction for the next.
  last.intensity = 0;
  return true;
}

void LASreadItemCompressed_POINT10_v2::read(uint8_t* item, uint32_t&) {
  Point10Fields p = last;
  uint32_t r, n, m, l;
  // The decoder state in locals (see ArithmeticDecoderState) for the steps
  // that every point takes; the other fields go through the decoder itself.
  ArithmeticDecoderState d = dec->fetch();
  const uint32_t changed = d.decodeSymbol(m_changed_values.get());
  if (changed) {
    dec->keep(d);
    if (changed & 32) p.flags = static_cast<uint8_t>(dec->decodeSymbol(m_flags.get(p.flags)));
    r = p.flags & 7u;
    n = (p.flags >> 3) & 7u;
    m = point10_v2_return_map[n][r];
    l = point10_v2_return_level[n][r];
    if (changed & 16) {
      p.intensity = static_cast<uint16_t>(ic_intensity.decompress(last_intensity[m], m < 3 ? m : 3));
      last_intensity[m] = p.intensity;
    } else {
      p.intensity = last_intensity[m];
    }
    if (changed & 8) p.classification = static_cast<uint8_t>(dec->decodeSymbol(m_classification.get(p.classification)));
    if (changed & 4) {
      const uint32_t delta = dec->decodeSymbol(m_scan_angle_rank[(p.flags >> 6) & 1u].get());
      p.scan_angle = static_cast<uint8_t>(p.scan_angle + delta);
    }
    if (changed & 2) p.user_data = static_cast<uint8_t>(dec->decodeSymbol(m_user_data.get(p.user_data)));
    if (changed & 1) p.point_source_id = static_cast<uint16_t>(ic_point_source_id.decompress(p.point_source_id, 0));
    d = dec->fetch();
  } else {
    r = p.flags & 7u;
    n = (p.flags >> 3) & 7u;
    m = point10_v2_return_map[n][r];
    l = point10_v2_return_level[n][r];
  }

  const uint32_t single = n == 1 ? 1u : 0u;
  const int32_t dx = ic_dx.decompress(d, last_x_diff_median[m].get(), single);
  p.x = add_wrap(p.x, dx);
  last_x_diff_median[m].add(dx);

  uint32_t k = ic_dx.getK();
  const int32_t dy = ic_dy.decompress(d, last_y_diff_median[m].get(), single + (k < 20 ? (k & ~1u) : 20u));
  p.y = add_wrap(p.y, dy);
  last_y_diff_median[m].add(dy);

  k = (ic_dx.getK() + ic_dy.getK()) / 2;
  p.z = ic_z.decompress(d, last_height[l], single + (k < 18 ? (k & ~1u) : 18u));
  last_height[l] = p.z;
  dec->keep(d);

  last = p;
  p.store(item);
}

// ---------------------------------------------------------------- GPSTIME11

LASreadItemCompressed_GPSTIME11_v2::LASreadItemCompressed_GPSTIME11_v2(ArithmeticDecoder* dec)
    : dec(dec),
      m_multi(dec->createSymbolModel(516)),
      m_multi_0diff(dec->createSymbolModel(6)),
      ic_time(dec, 32, 9) {}

bool LASreadItemCompressed_GPSTIME11_v2::init(const uint8_t* item, uint32_t&) {
  current = next = 0;
  for (int i = 0; i < 4; i++) {
    last_time[i] = 0;
    last_diff[i] = 0;
    extreme_counter[i] = 0;
  }
  dec->initSymbolModel(m_multi.get());
  dec->initSymbolModel(m_multi_0diff.get());
  ic_time.initDecompressor();
  last_time[0] = load_field<uint64_t>(item);
  return true;
}

void LASreadItemCompressed_GPSTIME11_v2::read(uint8_t* item, uint32_t&) {
  uint32_t L = current;
  // One switch reaches any other sequence, so a coded point never needs
  // several in a row; a run of them comes from corrupt data and would keep
  // this loop going for as long as the stream lasts.
  uint32_t switches = 0;
  for (;;) {
    uint32_t s;
    if (last_diff[L] == 0) {
      s = dec->decodeSymbol(m_multi_0diff.get());
      if (s == 0) break;
      if (s == 1) {
        last_diff[L] = ic_time.decompress(0, 0);
        last_time[L] += static_cast<uint64_t>(static_cast<int64_t>(last_diff[L]));
        extreme_counter[L] = 0;
        break;
      }
      if (s >= 3) {
        // Another of the interleaved sequences continues: decode against it.
        if (++switches > 3) throw int(4711);
        L = (L + s - 2) & 3u;
        continue;
      }
    } else {
      s = dec->decodeSymbol(m_multi.get());
      if (s < 511) {
        int32_t d;
        const int32_t diff = last_diff[L];
        if (s == 1) {
          d = ic_time.decompress(diff, 1);
          extreme_counter[L] = 0;
        } else if (s == 0) {
          d = ic_time.decompress(0, 7);
          if (++extreme_counter[L] > 3) {
            last_diff[L] = d;
            extreme_counter[L] = 0;
          }
        } else if (s < 10) {
          d = ic_time.decompress(mul_wrap(static_cast<int32_t>(s), diff), 2);
        } else if (s < 500) {
          d = ic_time.decompress(mul_wrap(static_cast<int32_t>(s), diff), 3);
        } else if (s == 500) {
          d = ic_time.decompress(mul_wrap(500, diff), 4);
          if (++extreme_counter[L] > 3) {
            last_diff[L] = d;
            extreme_counter[L] = 0;
          }
        } else if (s < 510) {
          d = ic_time.decompress(mul_wrap(500 - static_cast<int32_t>(s), diff), 5);
        } else {
          d = ic_time.decompress(mul_wrap(-10, diff), 6);
          if (++extreme_counter[L] > 3) {
            last_diff[L] = d;
            extreme_counter[L] = 0;
          }
        }
        last_time[L] += static_cast<uint64_t>(static_cast<int64_t>(d));
        break;
      }
      if (s == 511) break;
      if (s > 512) {
        if (++switches > 3) throw int(4711);
        L = (L + s - 512) & 3u;
        continue;
      }
    }
    // s is 2 (zero-difference model) or 512: a full time opens a new
    // sequence, its upper half coded against the current sequence's.
    next = (next + 1) & 3u;
    const uint32_t high = static_cast<uint32_t>(ic_time.decompress(static_cast<int32_t>(last_time[L] >> 32), 8));
    last_time[next] = (static_cast<uint64_t>(high) << 32) | dec->readInt();
    L = next;
    last_diff[L] = 0;
    extreme_counter[L] = 0;
    break;
  }
  current = L;
  store_field(item, last_time[L]);
}

// ---------------------------------------------------------------- RGB12

LASreadItemCompressed_RGB12_v2::LASreadItemCompressed_RGB12_v2(ArithmeticDecoder* dec)
    : dec(dec), m_byte_used(dec->createSymbolModel(128)) {
  for (auto& m : m_diff) m.reset(dec->createSymbolModel(256));
}

bool LASreadItemCompressed_RGB12_v2::init(const uint8_t* item, uint32_t&) {
  dec->initSymbolModel(m_byte_used.get());
  for (auto& m : m_diff) dec->initSymbolModel(m.get());
  memcpy(last, item, 6);
  return true;
}

static inline int32_t clamp_byte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void LASreadItemCompressed_RGB12_v2::read(uint8_t* item, uint32_t&) {
  const uint32_t s = dec->decodeSymbol(m_byte_used.get());
  const int32_t lrl = last[0] & 0xFF, lrh = last[0] >> 8;
  const int32_t lgl = last[1] & 0xFF, lgh = last[1] >> 8;
  const int32_t lbl = last[2] & 0xFF, lbh = last[2] >> 8;
  int32_t rl = lrl, rh = lrh;
  if (s & 1) rl = static_cast<int32_t>((dec->decodeSymbol(m_diff[0].get()) + lrl) & 0xFF);
  if (s & 2) rh = static_cast<int32_t>((dec->decodeSymbol(m_diff[1].get()) + lrh) & 0xFF);
  uint16_t rgb[3];
  rgb[0] = static_cast<uint16_t>((rh << 8) | rl);
  if (s & 64) {
    int32_t d = rl - lrl;
    int32_t gl = lgl, bl = lbl;
    if (s & 4) gl = static_cast<int32_t>((dec->decodeSymbol(m_diff[2].get()) + clamp_byte(d + lgl)) & 0xFF);
    if (s & 16) {
      const int32_t e = (d + gl - lgl) / 2;
      bl = static_cast<int32_t>((dec->decodeSymbol(m_diff[4].get()) + clamp_byte(e + lbl)) & 0xFF);
    }
    d = rh - lrh;
    int32_t gh = lgh, bh = lbh;
    if (s & 8) gh = static_cast<int32_t>((dec->decodeSymbol(m_diff[3].get()) + clamp_byte(d + lgh)) & 0xFF);
    if (s & 32) {
      const int32_t e = (d + gh - lgh) / 2;
      bh = static_cast<int32_t>((dec->decodeSymbol(m_diff[5].get()) + clamp_byte(e + lbh)) & 0xFF);
    }
    rgb[1] = static_cast<uint16_t>((gh << 8) | gl);
    rgb[2] = static_cast<uint16_t>((bh << 8) | bl);
  } else {
    rgb[1] = rgb[2] = rgb[0];
  }
  memcpy(last, rgb, 6);
  memcpy(item, rgb, 6);
}

// ---------------------------------------------------------------- BYTE

LASreadItemCompressed_BYTE_v2::LASreadItemCompressed_BYTE_v2(ArithmeticDecoder* dec, uint32_t size)
    : dec(dec), size(size), last(new uint8_t[size]()), m_byte(new ArithmeticModel*[size]) {
  for (uint32_t i = 0; i < size; i++) m_byte[i] = dec->createSymbolModel(256);
}

LASreadItemCompressed_BYTE_v2::~LASreadItemCompressed_BYTE_v2() {
  for (uint32_t i = 0; i < size; i++) dec->destroySymbolModel(m_byte[i]);
  delete[] m_byte;
}

bool LASreadItemCompressed_BYTE_v2::init(const uint8_t* item, uint32_t&) {
  for (uint32_t i = 0; i < size; i++) dec->initSymbolModel(m_byte[i]);
  memcpy(last.get(), item, size);
  return true;
}

void LASreadItemCompressed_BYTE_v2::read(uint8_t* item, uint32_t&) {
  uint8_t* l = last.get();
  for (uint32_t i = 0; i < size; i++) {
    l[i] = static_cast<uint8_t>(l[i] + dec->decodeSymbol(m_byte[i]));
  }
  memcpy(item, l, size);
}
