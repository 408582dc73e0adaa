// Version 2 item encoders, each the exact mirror of its decoder. Where the
// decoder leaves a choice (which multiplier or time sequence a GPS time is
// coded against), the encoder picks the cheapest prediction it can see.
#include "ptcomp/laswriteitemcompressed_v2.hpp"

#include <cstring>  // memcpy

#include "ptcomp/lasreaditemcompressed_v2.hpp"  // point10_v2_return_map, point10_v2_return_level

// ---------------------------------------------------------------- POINT10

LASwriteItemCompressed_POINT10_v2::LASwriteItemCompressed_POINT10_v2(ArithmeticEncoder* enc)
    : enc(enc),
      m_changed_values(enc->createSymbolModel(64)),
      ic_intensity(enc, 16, 4),
      m_scan_angle_rank{std::unique_ptr<ArithmeticModel>(enc->createSymbolModel(256)),
                        std::unique_ptr<ArithmeticModel>(enc->createSymbolModel(256))},
      ic_point_source_id(enc, 16, 1),
      ic_dx(enc, 32, 2),
      ic_dy(enc, 32, 22),
      ic_z(enc, 32, 20) {}

bool LASwriteItemCompressed_POINT10_v2::init(const uint8_t* item, uint32_t&) {
  for (int i = 0; i < 16; i++) {
    last_x_diff_median[i].init();
    last_y_diff_median[i].init();
    last_intensity[i] = 0;
  }
  for (int i = 0; i < 8; i++) last_height[i] = 0;
  enc->initSymbolModel(m_changed_values.get());
  ic_intensity.initCompressor();
  enc->initSymbolModel(m_scan_angle_rank[0].get());
  enc->initSymbolModel(m_scan_angle_rank[1].get());
  ic_point_source_id.initCompressor();
  m_flags.restart();
  m_classification.restart();
  m_user_data.restart();
  ic_dx.initCompressor();
  ic_dy.initCompressor();
  ic_z.initCompressor();
  last.load(item);
  last.intensity = 0;
  return true;
}

bool LASwriteItemCompressed_POINT10_v2::write(const uint8_t* item, uint32_t&) {
  Point10Fields p;
  p.load(item);
  const uint32_t r = p.flags & 7u;
  const uint32_t n = (p.flags >> 3) & 7u;
  const uint32_t m = point10_v2_return_map[n][r];
  const uint32_t l = point10_v2_return_level[n][r];

  uint32_t changed = (p.flags != last.flags ? 32u : 0u) | (p.intensity != last_intensity[m] ? 16u : 0u) |
                     (p.classification != last.classification ? 8u : 0u) |
                     (p.scan_angle != last.scan_angle ? 4u : 0u) | (p.user_data != last.user_data ? 2u : 0u) |
                     (p.point_source_id != last.point_source_id ? 1u : 0u);
  // Without any change the decoder keeps the previous point's intensity,
  // which need not be the one remembered for this return class.
  if (changed == 0 && p.intensity != last.intensity) changed = 16u;
  enc->encodeSymbol(m_changed_values.get(), changed);
  if (changed) {
    if (changed & 32) enc->encodeSymbol(m_flags.get(last.flags), p.flags);
    if (changed & 16) {
      ic_intensity.compress(last_intensity[m], p.intensity, m < 3 ? m : 3);
      last_intensity[m] = p.intensity;
    }
    if (changed & 8) enc->encodeSymbol(m_classification.get(last.classification), p.classification);
    if (changed & 4) {
      enc->encodeSymbol(m_scan_angle_rank[(p.flags >> 6) & 1u].get(), static_cast<uint8_t>(p.scan_angle - last.scan_angle));
    }
    if (changed & 2) enc->encodeSymbol(m_user_data.get(last.user_data), p.user_data);
    if (changed & 1) ic_point_source_id.compress(last.point_source_id, p.point_source_id, 0);
  }

  const uint32_t single = n == 1 ? 1u : 0u;
  const int32_t dx = sub_wrap(p.x, last.x);
  ic_dx.compress(last_x_diff_median[m].get(), dx, single);
  last_x_diff_median[m].add(dx);

  uint32_t k = ic_dx.getK();
  const int32_t dy = sub_wrap(p.y, last.y);
  ic_dy.compress(last_y_diff_median[m].get(), dy, single + (k < 20 ? (k & ~1u) : 20u));
  last_y_diff_median[m].add(dy);

  k = (ic_dx.getK() + ic_dy.getK()) / 2;
  ic_z.compress(last_height[l], p.z, single + (k < 18 ? (k & ~1u) : 18u));
  last_height[l] = p.z;

  last = p;
  return true;
}

// ---------------------------------------------------------------- GPSTIME11

LASwriteItemCompressed_GPSTIME11_v2::LASwriteItemCompressed_GPSTIME11_v2(ArithmeticEncoder* enc)
    : enc(enc),
      m_multi(enc->createSymbolModel(516)),
      m_multi_0diff(enc->createSymbolModel(6)),
      ic_time(enc, 32, 9) {}

bool LASwriteItemCompressed_GPSTIME11_v2::init(const uint8_t* item, uint32_t&) {
  current = next = 0;
  for (int i = 0; i < 4; i++) {
    last_time[i] = 0;
    last_diff[i] = 0;
    extreme_counter[i] = 0;
  }
  enc->initSymbolModel(m_multi.get());
  enc->initSymbolModel(m_multi_0diff.get());
  ic_time.initCompressor();
  last_time[0] = load_field<uint64_t>(item);
  return true;
}

// The difference b - a of two bit patterns when it is a 32-bit value.
static inline bool diff_fits_32(uint64_t a, uint64_t b, int32_t* diff) {
  const int64_t d = static_cast<int64_t>(b - a);
  if (d < INT32_MIN || d > INT32_MAX) return false;
  *diff = static_cast<int32_t>(d);
  return true;
}

static inline uint64_t magnitude(int32_t d) {
  return d < 0 ? uint64_t(0) - static_cast<uint64_t>(static_cast<int64_t>(d)) : static_cast<uint64_t>(d);
}

uint32_t LASwriteItemCompressed_GPSTIME11_v2::closer_sequence(uint32_t L, uint64_t t, uint64_t limit) const {
  uint32_t best = 0;
  for (uint32_t offset = 1; offset < 4; offset++) {
    int32_t d;
    if (!diff_fits_32(last_time[(L + offset) & 3u], t, &d)) continue;
    const uint64_t size = magnitude(d);
    if (size < limit) {
      best = offset;
      limit = size;
    }
  }
  return best;
}

void LASwriteItemCompressed_GPSTIME11_v2::encode_multiplied(uint32_t L, int32_t diff) {
  // The multiplier closest to diff / last_diff picks the prediction.
  const int32_t last = last_diff[L];
  const double q = static_cast<double>(diff) / static_cast<double>(last);
  uint32_t s;
  int32_t prediction;
  uint32_t context;
  bool counted = false;  // the extreme counter rule applies
  if (q >= 0.5 && q < 1.5) {
    s = 1;
    prediction = last;
    context = 1;
  } else if (q >= 1.5) {
    if (q < 499.5) {
      s = static_cast<uint32_t>(q + 0.5);
      context = s < 10 ? 2 : 3;
    } else {
      s = 500;
      context = 4;
      counted = true;
    }
    prediction = mul_wrap(static_cast<int32_t>(s), last);
  } else if (q <= -0.5) {
    if (q > -9.5) {
      const int32_t multiplier = static_cast<int32_t>(q - 0.5);  // -1 .. -9
      s = static_cast<uint32_t>(500 - multiplier);
      prediction = mul_wrap(multiplier, last);
      context = 5;
    } else {
      s = 510;
      prediction = mul_wrap(-10, last);
      context = 6;
      counted = true;
    }
  } else {
    s = 0;
    prediction = 0;
    context = 7;
    counted = true;
  }
  enc->encodeSymbol(m_multi.get(), s);
  ic_time.compress(prediction, diff, context);
  if (s == 1) {
    extreme_counter[L] = 0;
  } else if (counted && ++extreme_counter[L] > 3) {
    last_diff[L] = diff;
    extreme_counter[L] = 0;
  }
  last_time[L] += static_cast<uint64_t>(static_cast<int64_t>(diff));
}

void LASwriteItemCompressed_GPSTIME11_v2::encode_in(uint32_t L, uint64_t t) {
  int32_t diff = 0;
  diff_fits_32(last_time[L], t, &diff);
  if (last_diff[L] == 0) {
    if (t == last_time[L]) {
      enc->encodeSymbol(m_multi_0diff.get(), 0);
    } else {
      enc->encodeSymbol(m_multi_0diff.get(), 1);
      ic_time.compress(0, diff, 0);
      last_diff[L] = diff;
      last_time[L] = t;
      extreme_counter[L] = 0;
    }
  } else if (t == last_time[L]) {
    enc->encodeSymbol(m_multi.get(), 511);
  } else {
    encode_multiplied(L, diff);
  }
}

uint32_t LASwriteItemCompressed_GPSTIME11_v2::encode_full(uint32_t L, uint64_t t) {
  ic_time.compress(static_cast<int32_t>(last_time[L] >> 32), static_cast<int32_t>(t >> 32), 8);
  enc->writeInt(static_cast<uint32_t>(t));
  next = (next + 1) & 3u;
  last_time[next] = t;
  last_diff[next] = 0;
  extreme_counter[next] = 0;
  return next;
}

bool LASwriteItemCompressed_GPSTIME11_v2::write(const uint8_t* item, uint32_t&) {
  const uint64_t t = load_field<uint64_t>(item);
  uint32_t L = current;
  int32_t diff;
  const bool fits = diff_fits_32(last_time[L], t, &diff);
  if (t == last_time[L]) {
    enc->encodeSymbol(last_diff[L] == 0 ? m_multi_0diff.get() : m_multi.get(), last_diff[L] == 0 ? 0 : 511);
  } else if (fits && last_diff[L] == 0) {
    encode_in(L, t);
  } else {
    // Stay with the current sequence while its multipliers can express the
    // step; otherwise continue whichever other sequence t is closest to.
    bool stay = false;
    if (fits) {
      const double q = static_cast<double>(diff) / static_cast<double>(last_diff[L]);
      stay = q > -10.0 && q < 500.0;
    }
    const uint32_t offset = stay ? 0 : closer_sequence(L, t, fits ? magnitude(diff) : UINT64_MAX);
    if (offset) {
      if (last_diff[L] == 0) {
        enc->encodeSymbol(m_multi_0diff.get(), offset + 2);
      } else {
        enc->encodeSymbol(m_multi.get(), offset + 512);
      }
      L = (L + offset) & 3u;
      encode_in(L, t);
    } else if (fits) {
      encode_multiplied(L, diff);
    } else {
      if (last_diff[L] == 0) {
        enc->encodeSymbol(m_multi_0diff.get(), 2);
      } else {
        enc->encodeSymbol(m_multi.get(), 512);
      }
      L = encode_full(L, t);
    }
  }
  current = L;
  return true;
}

// ---------------------------------------------------------------- RGB12

LASwriteItemCompressed_RGB12_v2::LASwriteItemCompressed_RGB12_v2(ArithmeticEncoder* enc)
    : enc(enc), m_byte_used(enc->createSymbolModel(128)) {
  for (auto& m : m_diff) m.reset(enc->createSymbolModel(256));
}

bool LASwriteItemCompressed_RGB12_v2::init(const uint8_t* item, uint32_t&) {
  enc->initSymbolModel(m_byte_used.get());
  for (auto& m : m_diff) enc->initSymbolModel(m.get());
  memcpy(last, item, 6);
  return true;
}

static inline int32_t clamp_byte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

bool LASwriteItemCompressed_RGB12_v2::write(const uint8_t* item, uint32_t&) {
  uint16_t rgb[3];
  memcpy(rgb, item, 6);
  const int32_t lrl = last[0] & 0xFF, lrh = last[0] >> 8;
  const int32_t lgl = last[1] & 0xFF, lgh = last[1] >> 8;
  const int32_t lbl = last[2] & 0xFF, lbh = last[2] >> 8;
  const int32_t rl = rgb[0] & 0xFF, rh = rgb[0] >> 8;
  const int32_t gl = rgb[1] & 0xFF, gh = rgb[1] >> 8;
  const int32_t bl = rgb[2] & 0xFF, bh = rgb[2] >> 8;

  uint32_t s = (rl != lrl ? 1u : 0u) | (rh != lrh ? 2u : 0u);
  const bool grey = rgb[0] == rgb[1] && rgb[0] == rgb[2];
  if (!grey) {
    s |= 64u | (gl != lgl ? 4u : 0u) | (gh != lgh ? 8u : 0u) | (bl != lbl ? 16u : 0u) | (bh != lbh ? 32u : 0u);
  }
  enc->encodeSymbol(m_byte_used.get(), s);
  if (s & 1) enc->encodeSymbol(m_diff[0].get(), static_cast<uint8_t>(rl - lrl));
  if (s & 2) enc->encodeSymbol(m_diff[1].get(), static_cast<uint8_t>(rh - lrh));
  if (s & 64) {
    int32_t d = rl - lrl;
    if (s & 4) enc->encodeSymbol(m_diff[2].get(), static_cast<uint8_t>(gl - clamp_byte(d + lgl)));
    if (s & 16) {
      const int32_t e = (d + gl - lgl) / 2;
      enc->encodeSymbol(m_diff[4].get(), static_cast<uint8_t>(bl - clamp_byte(e + lbl)));
    }
    d = rh - lrh;
    if (s & 8) enc->encodeSymbol(m_diff[3].get(), static_cast<uint8_t>(gh - clamp_byte(d + lgh)));
    if (s & 32) {
      const int32_t e = (d + gh - lgh) / 2;
      enc->encodeSymbol(m_diff[5].get(), static_cast<uint8_t>(bh - clamp_byte(e + lbh)));
    }
  }
  memcpy(last, rgb, 6);
  return true;
}

// ---------------------------------------------------------------- BYTE

LASwriteItemCompressed_BYTE_v2::LASwriteItemCompressed_BYTE_v2(ArithmeticEncoder* enc, uint32_t size)
    : enc(enc), size(size), last(new uint8_t[size]()), m_byte(new ArithmeticModel*[size]) {
  for (uint32_t i = 0; i < size; i++) m_byte[i] = enc->createSymbolModel(256);
}

LASwriteItemCompressed_BYTE_v2::~LASwriteItemCompressed_BYTE_v2() {
  for (uint32_t i = 0; i < size; i++) enc->destroySymbolModel(m_byte[i]);
  delete[] m_byte;
}

bool LASwriteItemCompressed_BYTE_v2::init(const uint8_t* item, uint32_t&) {
  for (uint32_t i = 0; i < size; i++) enc->initSymbolModel(m_byte[i]);
  memcpy(last.get(), item, size);
  return true;
}

bool LASwriteItemCompressed_BYTE_v2::write(const uint8_t* item, uint32_t&) {
  uint8_t* l = last.get();
  for (uint32_t i = 0; i < size; i++) enc->encodeSymbol(m_byte[i], static_cast<uint8_t>(item[i] - l[i]));
  memcpy(l, item, size);
  return true;
}
