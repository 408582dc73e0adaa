// Layered item encoders, each the exact mirror of its decoder. Where the
// decoder leaves a choice (the GPS time multiplier or sequence), the encoder
// picks the cheapest prediction it can see.
#include "ptcomp/laswriteitemcompressed_v3.hpp"

#include <cstring>  // memcpy, memcmp

namespace {

// The difference b - a of two bit patterns when it is a 32-bit value.
bool diff_fits_32(uint64_t a, uint64_t b, int32_t* diff) {
  const int64_t d = static_cast<int64_t>(b - a);
  if (d < INT32_MIN || d > INT32_MAX) return false;
  *diff = static_cast<int32_t>(d);
  return true;
}

uint64_t magnitude(int32_t d) {
  return d < 0 ? uint64_t(0) - static_cast<uint64_t>(static_cast<int64_t>(d)) : static_cast<uint64_t>(d);
}

inline int32_t clamp_byte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// The flag symbol of a POINT14 buffer: edge, scan direction, the four
// classification flags.
inline uint32_t point14_flags(const uint8_t* p) {
  return ((uint32_t(p[14]) >> 7) << 5) | (((uint32_t(p[14]) >> 6) & 1u) << 4) | (uint32_t(p[22]) >> 4);
}

}  // namespace

// ---------------------------------------------------------------- layers

LASwriteItemCompressedLayered::LASwriteItemCompressedLayered(ArithmeticEncoder* shared, uint32_t layer_count)
    : shared(shared), layer_count(layer_count), layers(new Layer[layer_count]) {}

void LASwriteItemCompressedLayered::start_layers() {
  for (uint32_t i = 0; i < layer_count; i++) {
    Layer& l = layers[i];
    l.stream->seek(0);
    l.enc.init(l.stream.get());
    l.changed = false;
    l.size = 0;
  }
}

bool LASwriteItemCompressedLayered::chunk_sizes() {
  ByteStreamOut* out = shared->get_stream();
  if (out == nullptr) return false;
  bool ok = true;
  for (uint32_t i = 0; i < layer_count; i++) {
    Layer& l = layers[i];
    ok = l.enc.done() && ok;
    // Bytes of this chunk: the stream is rewound, not emptied, per chunk.
    const long long bytes = l.stream->tell();
    if (bytes > 0xFFFFFFFFll) return false;
    l.size = l.changed ? static_cast<uint32_t>(bytes) : 0u;
    ok = out->put32bitsLE(reinterpret_cast<const unsigned char*>(&l.size)) && ok;
  }
  return ok;
}

bool LASwriteItemCompressedLayered::chunk_bytes() {
  ByteStreamOut* out = shared->get_stream();
  if (out == nullptr) return false;
  for (uint32_t i = 0; i < layer_count; i++) {
    if (layers[i].size && !out->putBytes(layers[i].stream->get_data(), layers[i].size)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- POINT14

LASwriteItemCompressed_POINT14_v3::LASwriteItemCompressed_POINT14_v3(ArithmeticEncoder* enc, bool version4)
    : LASwriteItemCompressedLayered(enc, P14_LAYERS), version4(version4) {
  for (uint32_t i = 0; i < P14_LAYERS; i++) coders[i] = &layers[i].enc;
}

bool LASwriteItemCompressed_POINT14_v3::init(const uint8_t* item, uint32_t& context) {
  start_layers();
  for (auto& c : contexts) c.in_use = false;
  current = (item[22] >> 2) & 3u;
  context = current;
  contexts[current].start(coders, item);
  return true;
}

bool LASwriteItemCompressed_POINT14_v3::write(const uint8_t* p, uint32_t& context) {
  ArithmeticEncoder& enc = layers[P14_CHANNEL_RETURNS_XY].enc;
  layers[P14_CHANNEL_RETURNS_XY].changed = true;
  Point14Context<ArithmeticEncoder>* ctx = &contexts[current];
  uint8_t* L = ctx->last;

  // The fields are compared with the last point of the point's channel (a
  // channel not in use yet starts from the current last point).
  const uint32_t channel = (p[22] >> 2) & 3u;
  const uint8_t* T = channel != current && contexts[channel].in_use ? contexts[channel].last : L;
  const uint32_t r = p[24] & 15u, n = p[24] >> 4;
  const uint32_t r0 = T[24] & 15u;
  const uint32_t g = load_field<uint64_t>(p + 32) != load_field<uint64_t>(T + 32) ? 1u : 0u;
  uint32_t changed = (channel != current ? 64u : 0u) |
                     (load_field<uint16_t>(p + 18) != load_field<uint16_t>(T + 18) ? 32u : 0u) | (g ? 16u : 0u) |
                     (load_field<int16_t>(p + 20) != load_field<int16_t>(T + 20) ? 8u : 0u) |
                     (n != (T[24] >> 4) ? 4u : 0u);
  if (r == r0) {
  } else if (r == ((r0 + 1) & 15u)) {
    changed |= 1;
  } else if (r == ((r0 + 15) & 15u)) {
    changed |= 2;
  } else {
    changed |= 3;
  }
  const uint32_t lr = L[24] & 15u, ln = L[24] >> 4;
  const uint32_t lpr = (lr == 1 ? 1u : 0u) + (lr >= ln ? 2u : 0u) + (load_field<uint32_t>(L + 28) ? 4u : 0u);
  enc.encodeSymbol(ctx->changed_values[lpr].get(), changed);

  if (changed & 64) {
    enc.encodeSymbol(ctx->scanner_channel.get(), (channel - current - 1) & 3u);
    if (!contexts[channel].in_use) contexts[channel].start(coders, L);
    current = channel;
    if (!version4) context = current;
    ctx = &contexts[current];
    L = ctx->last;
    L[22] = static_cast<uint8_t>((L[22] & ~0x0Cu) | (channel << 2));
  }
  if (version4) context = current;

  if (changed & 4) enc.encodeSymbol(ctx->number_of_returns.get(L[24] >> 4), n);
  if ((changed & 3) == 3) {
    if (g) {
      enc.encodeSymbol(ctx->return_number.get(r0), r);
    } else {
      enc.encodeSymbol(ctx->return_number_gps_same.get(), (r - r0 - 2) & 15u);
    }
  }
  L[24] = p[24];
  uint32_t legacy_r = r & 7u, legacy_n = n & 7u;
  if (n > 7) {
    legacy_n = 7;
    legacy_r = r <= 6 ? r : (r < n ? 6 : 7);
  }
  L[14] = static_cast<uint8_t>((L[14] & 0xC0u) | legacy_r | (legacy_n << 3));

  const uint32_t m = number_return_map_6ctx[n][r];
  const uint32_t l = number_return_level_8ctx[n][r];
  const uint32_t cpr = (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u);
  const uint32_t single = n == 1 ? 1u : 0u;

  StreamingMedian5& mx = ctx->median_X[2 * m + g];
  const int32_t dx = sub_wrap(load_field<int32_t>(p), load_field<int32_t>(L));
  ctx->ic_dX->compress(mx.get(), dx, single);
  mx.add(dx);
  uint32_t k = ctx->ic_dX->getK();
  StreamingMedian5& my = ctx->median_Y[2 * m + g];
  const int32_t dy = sub_wrap(load_field<int32_t>(p + 4), load_field<int32_t>(L + 4));
  ctx->ic_dY->compress(my.get(), dy, single + (k < 20 ? (k & ~1u) : 20u));
  my.add(dy);
  memcpy(L, p, 8);

  k = (ctx->ic_dX->getK() + ctx->ic_dY->getK()) / 2;
  const int32_t z = load_field<int32_t>(p + 8);
  ctx->ic_Z->compress(ctx->last_Z[l], z, single + (k < 18 ? (k & ~1u) : 18u));
  ctx->last_Z[l] = z;
  if (z != load_field<int32_t>(L + 8)) layers[P14_Z].changed = true;
  store_field(L + 8, z);

  const uint32_t cls = p[23];
  layers[P14_CLASSIFICATION].enc.encodeSymbol(ctx->classification.get((L[23] & 31u) * 2 + (cpr == 3 ? 1u : 0u)), cls);
  if (cls != L[23]) layers[P14_CLASSIFICATION].changed = true;
  L[23] = static_cast<uint8_t>(cls);
  L[15] = static_cast<uint8_t>((L[15] & 0xE0u) | (cls < 32 ? cls : 0u));

  const uint32_t f = point14_flags(p);
  const uint32_t last_f = point14_flags(L);
  layers[P14_FLAGS].enc.encodeSymbol(ctx->flags.get(last_f), f);
  if (f != last_f) layers[P14_FLAGS].changed = true;
  L[14] = static_cast<uint8_t>((L[14] & 0x3Fu) | (((f >> 5) & 1u) << 7) | (((f >> 4) & 1u) << 6));
  L[22] = static_cast<uint8_t>((L[22] & 0x0Fu) | ((f & 15u) << 4));
  L[15] = static_cast<uint8_t>((L[15] & 0x1Fu) | ((f & 7u) << 5));

  const uint16_t intensity = load_field<uint16_t>(p + 12);
  ctx->ic_intensity->compress(ctx->last_intensity[2 * cpr + g], intensity, cpr);
  ctx->last_intensity[2 * cpr + g] = intensity;
  if (intensity != load_field<uint16_t>(L + 12)) layers[P14_INTENSITY].changed = true;
  store_field(L + 12, intensity);

  if (changed & 8) {
    const int16_t angle = load_field<int16_t>(p + 20);
    ctx->ic_scan_angle->compress(load_field<int16_t>(L + 20), angle, g);
    layers[P14_SCAN_ANGLE].changed = true;
    store_field(L + 20, angle);
    L[16] = legacy_scan_angle_rank(angle);
  }

  layers[P14_USER_DATA].enc.encodeSymbol(ctx->user_data.get(L[17] / 4u), p[17]);
  if (p[17] != L[17]) layers[P14_USER_DATA].changed = true;
  L[17] = p[17];

  if (changed & 32) {
    ctx->ic_point_source_ID->compress(load_field<uint16_t>(L + 18), load_field<uint16_t>(p + 18), 0);
    layers[P14_POINT_SOURCE].changed = true;
    memcpy(L + 18, p + 18, 2);
  }
  if (g) {
    const uint64_t t = load_field<uint64_t>(p + 32);
    write_gps_time(*ctx, t);
    layers[P14_GPS_TIME].changed = true;
    store_field(L + 32, t);
  }
  store_field<uint32_t>(L + 28, g);
  return true;
}

void LASwriteItemCompressed_POINT14_v3::encode_multiplied(Point14Context<ArithmeticEncoder>& c, uint32_t S,
                                                          int32_t diff) {
  // The multiplier closest to diff / last difference picks the prediction.
  const int32_t last = c.gps_diff[S];
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
  layers[P14_GPS_TIME].enc.encodeSymbol(c.gpstime_multi.get(), s);
  c.ic_gpstime->compress(prediction, diff, context);
  if (s == 1) {
    c.gps_counter[S] = 0;
  } else if (counted && ++c.gps_counter[S] > 3) {
    c.gps_diff[S] = diff;
    c.gps_counter[S] = 0;
  }
  c.gps_time[S] += static_cast<uint64_t>(static_cast<int64_t>(diff));
}

void LASwriteItemCompressed_POINT14_v3::encode_in(Point14Context<ArithmeticEncoder>& c, uint32_t S, uint64_t t) {
  int32_t diff = 0;
  diff_fits_32(c.gps_time[S], t, &diff);
  if (c.gps_diff[S] == 0) {
    layers[P14_GPS_TIME].enc.encodeSymbol(c.gpstime_0diff.get(), 0);
    c.ic_gpstime->compress(0, diff, 0);
    c.gps_diff[S] = diff;
    c.gps_time[S] = t;
    c.gps_counter[S] = 0;
  } else {
    encode_multiplied(c, S, diff);
  }
}

uint32_t LASwriteItemCompressed_POINT14_v3::encode_full(Point14Context<ArithmeticEncoder>& c, uint32_t S, uint64_t t) {
  c.ic_gpstime->compress(static_cast<int32_t>(c.gps_time[S] >> 32), static_cast<int32_t>(t >> 32), 8);
  layers[P14_GPS_TIME].enc.writeInt(static_cast<uint32_t>(t));
  c.gps_next = (c.gps_next + 1) & 3u;
  c.gps_time[c.gps_next] = t;
  c.gps_diff[c.gps_next] = 0;
  c.gps_counter[c.gps_next] = 0;
  return c.gps_next;
}

void LASwriteItemCompressed_POINT14_v3::write_gps_time(Point14Context<ArithmeticEncoder>& c, uint64_t t) {
  ArithmeticEncoder& enc = layers[P14_GPS_TIME].enc;
  uint32_t S = c.gps_current;
  int32_t diff = 0;
  const bool fits = diff_fits_32(c.gps_time[S], t, &diff);
  bool stay = fits && c.gps_diff[S] == 0;
  if (fits && !stay) {
    const double q = static_cast<double>(diff) / static_cast<double>(c.gps_diff[S]);
    stay = q > -10.0 && q < 500.0;
  }
  // Otherwise continue whichever other sequence t is closest to.
  uint32_t offset = 0;
  if (!stay) {
    uint64_t limit = fits ? magnitude(diff) : UINT64_MAX;
    for (uint32_t o = 1; o < 4; o++) {
      int32_t d;
      if (!diff_fits_32(c.gps_time[(S + o) & 3u], t, &d)) continue;
      if (magnitude(d) < limit) {
        offset = o;
        limit = magnitude(d);
      }
    }
  }
  const bool zero = c.gps_diff[S] == 0;
  if (stay) {
    encode_in(c, S, t);
  } else if (offset) {
    enc.encodeSymbol(zero ? c.gpstime_0diff.get() : c.gpstime_multi.get(), zero ? offset + 1 : offset + 511);
    S = (S + offset) & 3u;
    encode_in(c, S, t);
  } else if (fits) {
    encode_multiplied(c, S, diff);
  } else {
    enc.encodeSymbol(zero ? c.gpstime_0diff.get() : c.gpstime_multi.get(), zero ? 1u : 511u);
    S = encode_full(c, S, t);
  }
  c.gps_current = S;
}

// ---------------------------------------------------------------- RGB14, RGBNIR14

LASwriteItemCompressed_RGB14_v3::LASwriteItemCompressed_RGB14_v3(ArithmeticEncoder* enc, bool nir, bool version4)
    : LASwriteItemCompressedLayered(enc, nir ? 2 : 1), size(nir ? 8 : 6) {
  contexts.version4 = version4;
  for (auto& c : contexts.ctx) c.size = size;
}

bool LASwriteItemCompressed_RGB14_v3::init(const uint8_t* item, uint32_t& context) {
  start_layers();
  contexts.begin(context, item);
  return true;
}

bool LASwriteItemCompressed_RGB14_v3::write(const uint8_t* item, uint32_t& context) {
  RgbContext<ArithmeticEncoder>& c = contexts.follow(context);
  uint8_t* last = contexts.last;
  uint16_t rgb[3], lrgb[3];
  memcpy(rgb, item, 6);
  memcpy(lrgb, last, 6);
  const int32_t lrl = lrgb[0] & 0xFF, lrh = lrgb[0] >> 8;
  const int32_t lgl = lrgb[1] & 0xFF, lgh = lrgb[1] >> 8;
  const int32_t lbl = lrgb[2] & 0xFF, lbh = lrgb[2] >> 8;
  const int32_t rl = rgb[0] & 0xFF, rh = rgb[0] >> 8;
  const int32_t gl = rgb[1] & 0xFF, gh = rgb[1] >> 8;
  const int32_t bl = rgb[2] & 0xFF, bh = rgb[2] >> 8;
  uint32_t s = (rl != lrl ? 1u : 0u) | (rh != lrh ? 2u : 0u);
  if (!(rgb[0] == rgb[1] && rgb[0] == rgb[2])) {
    s |= 64u | (gl != lgl ? 4u : 0u) | (gh != lgh ? 8u : 0u) | (bl != lbl ? 16u : 0u) | (bh != lbh ? 32u : 0u);
  }
  ArithmeticEncoder& enc = layers[0].enc;
  enc.encodeSymbol(c.byte_used.get(), s);
  if (s & 1) enc.encodeSymbol(c.diff[0].get(), static_cast<uint8_t>(rl - lrl));
  if (s & 2) enc.encodeSymbol(c.diff[1].get(), static_cast<uint8_t>(rh - lrh));
  if (s & 64) {
    int32_t d = rl - lrl;
    if (s & 4) enc.encodeSymbol(c.diff[2].get(), static_cast<uint8_t>(gl - clamp_byte(d + lgl)));
    if (s & 16) enc.encodeSymbol(c.diff[4].get(), static_cast<uint8_t>(bl - clamp_byte((d + gl - lgl) / 2 + lbl)));
    d = rh - lrh;
    if (s & 8) enc.encodeSymbol(c.diff[3].get(), static_cast<uint8_t>(gh - clamp_byte(d + lgh)));
    if (s & 32) enc.encodeSymbol(c.diff[5].get(), static_cast<uint8_t>(bh - clamp_byte((d + gh - lgh) / 2 + lbh)));
  }
  if (memcmp(rgb, lrgb, 6) != 0) layers[0].changed = true;
  memcpy(last, rgb, 6);

  if (size == 8) {
    const uint16_t nir = load_field<uint16_t>(item + 6), lnir = load_field<uint16_t>(last + 6);
    const uint32_t low = nir & 0xFFu, high = nir >> 8, llow = lnir & 0xFFu, lhigh = lnir >> 8;
    const uint32_t t = (low != llow ? 1u : 0u) | (high != lhigh ? 2u : 0u);
    ArithmeticEncoder& nir_enc = layers[1].enc;
    nir_enc.encodeSymbol(c.nir_used.get(), t);
    if (t & 1) nir_enc.encodeSymbol(c.nir_diff[0].get(), (low - llow) & 0xFFu);
    if (t & 2) nir_enc.encodeSymbol(c.nir_diff[1].get(), (high - lhigh) & 0xFFu);
    if (t) layers[1].changed = true;
    store_field(last + 6, nir);
  }
  return true;
}

// ---------------------------------------------------------------- WAVEPACKET14

LASwriteItemCompressed_WAVEPACKET14_v3::LASwriteItemCompressed_WAVEPACKET14_v3(ArithmeticEncoder* enc, bool version4)
    : LASwriteItemCompressedLayered(enc, 1) {
  contexts.version4 = version4;
  for (auto& c : contexts.ctx) c.coder = &layers[0].enc;
}

bool LASwriteItemCompressed_WAVEPACKET14_v3::init(const uint8_t* item, uint32_t& context) {
  start_layers();
  contexts.begin(context, item);
  return true;
}

bool LASwriteItemCompressed_WAVEPACKET14_v3::write(const uint8_t* item, uint32_t& context) {
  WavepacketContext<ArithmeticEncoder>& c = contexts.follow(context);
  uint8_t* last = contexts.last;
  ArithmeticEncoder& enc = layers[0].enc;
  enc.encodeSymbol(c.packet_index.get(), item[0]);
  const uint64_t last_offset = load_field<uint64_t>(last + 1);
  const uint32_t last_size = load_field<uint32_t>(last + 9);
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
  enc.encodeSymbol(c.offset_kind[c.last_kind].get(), kind);
  c.last_kind = kind;
  if (kind == 2) {
    c.ic_offset_diff->compress(c.last_offset_diff, diff, 0);
    c.last_offset_diff = diff;
  } else if (kind == 3) {
    enc.writeInt64(offset);
  }
  c.ic_packet_size->compress(static_cast<int32_t>(last_size), load_field<int32_t>(item + 9), 0);
  for (uint32_t i = 0; i < 4; i++) {
    const int32_t previous = load_field<int32_t>(last + 13 + 4 * i);
    const int32_t value = load_field<int32_t>(item + 13 + 4 * i);
    if (i == 0) {
      c.ic_return_point->compress(previous, value, 0);
    } else {
      c.ic_xyz->compress(previous, value, i - 1);
    }
  }
  if (memcmp(item, last, 29) != 0) layers[0].changed = true;
  memcpy(last, item, 29);
  return true;
}

// ---------------------------------------------------------------- BYTE14

LASwriteItemCompressed_BYTE14_v3::LASwriteItemCompressed_BYTE14_v3(ArithmeticEncoder* enc, uint32_t size, bool version4)
    : LASwriteItemCompressedLayered(enc, size), size(size) {
  contexts.version4 = version4;
  for (auto& c : contexts.ctx) c.size = size;
}

bool LASwriteItemCompressed_BYTE14_v3::init(const uint8_t* item, uint32_t& context) {
  start_layers();
  contexts.begin(context, item);
  return true;
}

bool LASwriteItemCompressed_BYTE14_v3::write(const uint8_t* item, uint32_t& context) {
  BytesContext<ArithmeticEncoder>& c = contexts.follow(context);
  uint8_t* last = contexts.last;
  for (uint32_t i = 0; i < size; i++) {
    layers[i].enc.encodeSymbol(c.models[i].get(), static_cast<uint8_t>(item[i] - last[i]));
    if (item[i] != last[i]) layers[i].changed = true;
  }
  memcpy(last, item, size);
  return true;
}
