// Layered item decoders: chunk layers, POINT14 with its channel contexts and
// GPS time sequences, colour, near infrared, wave packets and extra bytes.
#include "ptcomp/lasreaditemcompressed_v3.hpp"

#include <cstring>  // memcpy

#include "ptcomp/layermask.hpp"  // LayerMask, the bits of each layer

const uint8_t number_return_map_6ctx[16][16] = {
    {0, 1, 2, 3, 4, 5, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5}, {1, 0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {2, 1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3}, {3, 3, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {5, 3, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {3, 3, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4}, {4, 3, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4}, {5, 3, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4, 4}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5}, {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5}};

// min(|n - r|, 7)
const uint8_t number_return_level_8ctx[16][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7}, {1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7},
    {2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7}, {3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7},
    {4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7}, {5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7},
    {6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7}, {7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7},
    {7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7}, {7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6},
    {7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5}, {7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4},
    {7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3}, {7, 7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2},
    {7, 7, 7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1}, {7, 7, 7, 7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0}};

namespace {

// Passes over n bytes of the stream.
void skip_bytes(ByteStreamIn* in, uint64_t n) {
  if (n == 0) return;
  if (in->isSeekable() && in->seek(in->tell() + static_cast<long long>(n))) return;
  unsigned char scratch[4096];
  while (n) {
    const uint64_t part = n < sizeof(scratch) ? n : sizeof(scratch);
    in->getBytes(scratch, static_cast<long long>(part));
    n -= part;
  }
}

}  // namespace

// ---------------------------------------------------------------- layers

LASreadItemCompressedLayered::LASreadItemCompressedLayered(ArithmeticDecoder* shared, uint32_t layer_count,
                                                           uint32_t selective_mask)
    : shared(shared), layer_count(layer_count), layers(new Layer[layer_count]), selective_mask(selective_mask) {}

bool LASreadItemCompressedLayered::chunk_sizes() {
  ByteStreamIn* in = shared->get_stream();
  for (uint32_t i = 0; i < layer_count; i++) in->get32bitsLE(reinterpret_cast<unsigned char*>(&layers[i].size));
  return true;
}

uint64_t LASreadItemCompressedLayered::chunk_layer_bytes() const {
  uint64_t total = 0;
  for (uint32_t i = 0; i < layer_count; i++) total += layers[i].size;
  return total;
}

void LASreadItemCompressedLayered::read_layers() {
  ByteStreamIn* in = shared->get_stream();
  // The buffer grows with the bytes actually read, so that sizes from a
  // stream of unknown length cannot reserve more than the stream holds.
  constexpr size_t STEP = size_t(1) << 20;
  size_t at = 0;
  for (uint32_t i = 0; i < layer_count; i++) {
    Layer& l = layers[i];
    l.changed = l.size > 0 && (l.bit == 0 || (selective_mask & l.bit));
    if (!l.changed) {
      skip_bytes(in, l.size);
      continue;
    }
    for (size_t left = l.size; left > 0;) {
      const size_t part = left < STEP ? left : STEP;
      if (buffer.size() < at + part) buffer.resize(at + part);
      in->getBytes(buffer.data() + at, static_cast<long long>(part));
      at += part;
      left -= part;
    }
  }
  at = 0;
  for (uint32_t i = 0; i < layer_count; i++) {
    Layer& l = layers[i];
    if (l.changed) {
      l.stream->init(buffer.data() + at, l.size);
      l.dec.init(l.stream.get());
      at += l.size;
    } else {
      l.stream->init(nullptr, 0);
      l.dec.init(l.stream.get(), false);
    }
  }
}

// ---------------------------------------------------------------- POINT14

LASreadItemCompressed_POINT14_v3::LASreadItemCompressed_POINT14_v3(ArithmeticDecoder* dec, uint32_t selective_mask,
                                                                   bool version4)
    : LASreadItemCompressedLayered(dec, P14_LAYERS, selective_mask), version4(version4) {
  static const uint32_t bits[P14_LAYERS] = {0,
                                            LayerMask::Z,
                                            LayerMask::CLASSIFICATION,
                                            LayerMask::FLAGS,
                                            LayerMask::INTENSITY,
                                            LayerMask::SCAN_ANGLE,
                                            LayerMask::USER_DATA,
                                            LayerMask::POINT_SOURCE,
                                            LayerMask::GPS_TIME};
  for (uint32_t i = 0; i < P14_LAYERS; i++) {
    layers[i].bit = bits[i];
    coders[i] = &layers[i].dec;
  }
}

bool LASreadItemCompressed_POINT14_v3::init(const uint8_t* item, uint32_t& context) {
  read_layers();
  for (auto& c : contexts) c.in_use = false;
  current = (item[22] >> 2) & 3u;
  context = current;
  contexts[current].start(coders, item);
  return true;
}

void LASreadItemCompressed_POINT14_v3::read(uint8_t* item, uint32_t& context) {
  // A chunk of more than one point always has this layer.
  if (!layers[P14_CHANNEL_RETURNS_XY].changed) throw int(4711);
  ArithmeticDecoder& dec = layers[P14_CHANNEL_RETURNS_XY].dec;
  Point14Context<ArithmeticDecoder>* ctx = &contexts[current];
  uint8_t* L = ctx->last;

  uint32_t r = L[24] & 15u;
  uint32_t n = L[24] >> 4;
  const uint32_t lpr = (r == 1 ? 1u : 0u) + (r >= n ? 2u : 0u) + (load_field<uint32_t>(L + 28) ? 4u : 0u);
  const uint32_t changed = dec.decodeSymbol(ctx->changed_values[lpr].get());

  if (changed & 64) {
    const uint32_t d = dec.decodeSymbol(ctx->scanner_channel.get());
    const uint32_t channel = (current + d + 1) & 3u;
    if (!contexts[channel].in_use) contexts[channel].start(coders, L);
    current = channel;
    if (!version4) context = current;
    ctx = &contexts[current];
    L = ctx->last;
    L[22] = static_cast<uint8_t>((L[22] & ~0x0Cu) | (channel << 2));
  }
  if (version4) context = current;
  const bool point_source_changed = (changed & 32) != 0;
  const uint32_t g = (changed & 16) ? 1u : 0u;
  const bool scan_angle_changed = (changed & 8) != 0;

  if (changed & 4) {
    n = dec.decodeSymbol(ctx->number_of_returns.get(L[24] >> 4));
    L[24] = static_cast<uint8_t>((L[24] & 0x0Fu) | (n << 4));
  } else {
    n = L[24] >> 4;
  }
  const uint32_t r0 = L[24] & 15u;
  switch (changed & 3) {
    case 0:
      r = r0;
      break;
    case 1:
      r = (r0 + 1) & 15u;
      break;
    case 2:
      r = (r0 + 15) & 15u;
      break;
    default:
      if (g) {
        r = dec.decodeSymbol(ctx->return_number.get(r0));
      } else {
        r = (r0 + dec.decodeSymbol(ctx->return_number_gps_same.get()) + 2) & 15u;
      }
  }
  L[24] = static_cast<uint8_t>((L[24] & 0xF0u) | r);
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
  const int32_t dx = ctx->ic_dX->decompress(mx.get(), single);
  store_field(L, add_wrap(load_field<int32_t>(L), dx));
  mx.add(dx);
  uint32_t k = ctx->ic_dX->getK();
  StreamingMedian5& my = ctx->median_Y[2 * m + g];
  const int32_t dy = ctx->ic_dY->decompress(my.get(), single + (k < 20 ? (k & ~1u) : 20u));
  store_field(L + 4, add_wrap(load_field<int32_t>(L + 4), dy));
  my.add(dy);

  if (layers[P14_Z].changed) {
    k = (ctx->ic_dX->getK() + ctx->ic_dY->getK()) / 2;
    const int32_t z = ctx->ic_Z->decompress(ctx->last_Z[l], single + (k < 18 ? (k & ~1u) : 18u));
    store_field(L + 8, z);
    ctx->last_Z[l] = z;
  }
  if (layers[P14_CLASSIFICATION].changed) {
    const uint32_t index = (L[23] & 31u) * 2 + (cpr == 3 ? 1u : 0u);
    const uint32_t cls = layers[P14_CLASSIFICATION].dec.decodeSymbol(ctx->classification.get(index));
    L[23] = static_cast<uint8_t>(cls);
    L[15] = static_cast<uint8_t>((L[15] & 0xE0u) | (cls < 32 ? cls : 0u));
  }
  if (layers[P14_FLAGS].changed) {
    const uint32_t index = ((L[14] >> 7) << 5) | (((L[14] >> 6) & 1u) << 4) | (L[22] >> 4);
    const uint32_t f = layers[P14_FLAGS].dec.decodeSymbol(ctx->flags.get(index));
    L[14] = static_cast<uint8_t>((L[14] & 0x3Fu) | (((f >> 5) & 1u) << 7) | (((f >> 4) & 1u) << 6));
    L[22] = static_cast<uint8_t>((L[22] & 0x0Fu) | ((f & 15u) << 4));
    L[15] = static_cast<uint8_t>((L[15] & 0x1Fu) | ((f & 7u) << 5));
  }
  if (layers[P14_INTENSITY].changed) {
    uint16_t& last = ctx->last_intensity[2 * cpr + g];
    last = static_cast<uint16_t>(ctx->ic_intensity->decompress(last, cpr));
    store_field(L + 12, last);
  }
  if (layers[P14_SCAN_ANGLE].changed && scan_angle_changed) {
    const int16_t angle = static_cast<int16_t>(ctx->ic_scan_angle->decompress(load_field<int16_t>(L + 20), g));
    store_field(L + 20, angle);
    L[16] = legacy_scan_angle_rank(angle);
  }
  if (layers[P14_USER_DATA].changed) {
    L[17] = static_cast<uint8_t>(layers[P14_USER_DATA].dec.decodeSymbol(ctx->user_data.get(L[17] / 4u)));
  }
  if (layers[P14_POINT_SOURCE].changed && point_source_changed) {
    store_field(L + 18, static_cast<uint16_t>(ctx->ic_point_source_ID->decompress(load_field<uint16_t>(L + 18), 0)));
  }
  if (layers[P14_GPS_TIME].changed && g) {
    read_gps_time(*ctx);
    store_field(L + 32, ctx->gps_time[ctx->gps_current]);
  }
  memcpy(item, L, 48);
  store_field<uint32_t>(L + 28, g);
}

void LASreadItemCompressed_POINT14_v3::read_gps_time(Point14Context<ArithmeticDecoder>& c) {
  ArithmeticDecoder& dec = layers[P14_GPS_TIME].dec;
  IntegerCompressor& ic = *c.ic_gpstime;
  uint32_t S = c.gps_current;
  // One switch reaches any other sequence; a run of them is corrupt data
  // and would keep this loop going as long as the layer lasts.
  for (uint32_t switches = 0;; switches++) {
    if (switches > 3) throw int(4711);
    uint32_t s;
    if (c.gps_diff[S] == 0) {
      s = dec.decodeSymbol(c.gpstime_0diff.get());
      if (s == 0) {
        c.gps_diff[S] = ic.decompress(0, 0);
        c.gps_time[S] += static_cast<uint64_t>(static_cast<int64_t>(c.gps_diff[S]));
        c.gps_counter[S] = 0;
        break;
      }
      if (s >= 2) {
        S = (S + s - 1) & 3u;
        continue;
      }
    } else {
      s = dec.decodeSymbol(c.gpstime_multi.get());
      if (s <= 510) {
        const int32_t diff = c.gps_diff[S];
        int32_t d;
        bool counted = false;
        if (s == 1) {
          d = ic.decompress(diff, 1);
          c.gps_counter[S] = 0;
        } else if (s == 0) {
          d = ic.decompress(0, 7);
          counted = true;
        } else if (s < 10) {
          d = ic.decompress(mul_wrap(static_cast<int32_t>(s), diff), 2);
        } else if (s < 500) {
          d = ic.decompress(mul_wrap(static_cast<int32_t>(s), diff), 3);
        } else if (s == 500) {
          d = ic.decompress(mul_wrap(500, diff), 4);
          counted = true;
        } else if (s < 510) {
          d = ic.decompress(mul_wrap(500 - static_cast<int32_t>(s), diff), 5);
        } else {
          d = ic.decompress(mul_wrap(-10, diff), 6);
          counted = true;
        }
        if (counted && ++c.gps_counter[S] > 3) {
          c.gps_diff[S] = d;
          c.gps_counter[S] = 0;
        }
        c.gps_time[S] += static_cast<uint64_t>(static_cast<int64_t>(d));
        break;
      }
      if (s > 511) {
        S = (S + s - 511) & 3u;
        continue;
      }
    }
    // A full time opens the next sequence, its upper half coded against
    // the current sequence's.
    c.gps_next = (c.gps_next + 1) & 3u;
    const uint32_t high = static_cast<uint32_t>(ic.decompress(static_cast<int32_t>(c.gps_time[S] >> 32), 8));
    c.gps_time[c.gps_next] = (static_cast<uint64_t>(high) << 32) | dec.readInt();
    S = c.gps_next;
    c.gps_diff[S] = 0;
    c.gps_counter[S] = 0;
    break;
  }
  c.gps_current = S;
}

// ---------------------------------------------------------------- RGB14, RGBNIR14

LASreadItemCompressed_RGB14_v3::LASreadItemCompressed_RGB14_v3(ArithmeticDecoder* dec, uint32_t selective_mask,
                                                               bool nir, bool version4)
    : LASreadItemCompressedLayered(dec, nir ? 2 : 1, selective_mask), size(nir ? 8 : 6) {
  layers[0].bit = LayerMask::RGB;
  if (nir) layers[1].bit = LayerMask::NIR;
  contexts.version4 = version4;
  for (auto& c : contexts.ctx) c.size = size;
}

bool LASreadItemCompressed_RGB14_v3::init(const uint8_t* item, uint32_t& context) {
  read_layers();
  contexts.begin(context, item);
  return true;
}

static inline int32_t clamp_byte(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

void LASreadItemCompressed_RGB14_v3::read(uint8_t* item, uint32_t& context) {
  RgbContext<ArithmeticDecoder>& c = contexts.follow(context);
  uint8_t* last = contexts.last;
  if (layers[0].changed) {
    ArithmeticDecoder& dec = layers[0].dec;
    uint16_t lrgb[3];
    memcpy(lrgb, last, 6);
    const uint32_t s = dec.decodeSymbol(c.byte_used.get());
    const int32_t lrl = lrgb[0] & 0xFF, lrh = lrgb[0] >> 8;
    const int32_t lgl = lrgb[1] & 0xFF, lgh = lrgb[1] >> 8;
    const int32_t lbl = lrgb[2] & 0xFF, lbh = lrgb[2] >> 8;
    int32_t rl = lrl, rh = lrh;
    if (s & 1) rl = static_cast<int32_t>((dec.decodeSymbol(c.diff[0].get()) + lrl) & 0xFF);
    if (s & 2) rh = static_cast<int32_t>((dec.decodeSymbol(c.diff[1].get()) + lrh) & 0xFF);
    uint16_t rgb[3];
    rgb[0] = static_cast<uint16_t>((rh << 8) | rl);
    if (s & 64) {
      int32_t d = rl - lrl;
      int32_t gl = lgl, bl = lbl;
      if (s & 4) gl = static_cast<int32_t>((dec.decodeSymbol(c.diff[2].get()) + clamp_byte(d + lgl)) & 0xFF);
      if (s & 16) {
        const int32_t e = (d + gl - lgl) / 2;
        bl = static_cast<int32_t>((dec.decodeSymbol(c.diff[4].get()) + clamp_byte(e + lbl)) & 0xFF);
      }
      d = rh - lrh;
      int32_t gh = lgh, bh = lbh;
      if (s & 8) gh = static_cast<int32_t>((dec.decodeSymbol(c.diff[3].get()) + clamp_byte(d + lgh)) & 0xFF);
      if (s & 32) {
        const int32_t e = (d + gh - lgh) / 2;
        bh = static_cast<int32_t>((dec.decodeSymbol(c.diff[5].get()) + clamp_byte(e + lbh)) & 0xFF);
      }
      rgb[1] = static_cast<uint16_t>((gh << 8) | gl);
      rgb[2] = static_cast<uint16_t>((bh << 8) | bl);
    } else {
      rgb[1] = rgb[2] = rgb[0];
    }
    memcpy(last, rgb, 6);
  }
  if (size == 8 && layers[1].changed) {
    ArithmeticDecoder& dec = layers[1].dec;
    const uint16_t lnir = load_field<uint16_t>(last + 6);
    const uint32_t s = dec.decodeSymbol(c.nir_used.get());
    uint32_t low = lnir & 0xFFu, high = lnir >> 8;
    if (s & 1) low = (dec.decodeSymbol(c.nir_diff[0].get()) + low) & 0xFFu;
    if (s & 2) high = (dec.decodeSymbol(c.nir_diff[1].get()) + high) & 0xFFu;
    store_field(last + 6, static_cast<uint16_t>((high << 8) | low));
  }
  memcpy(item, last, size);
}

// ---------------------------------------------------------------- WAVEPACKET14

LASreadItemCompressed_WAVEPACKET14_v3::LASreadItemCompressed_WAVEPACKET14_v3(ArithmeticDecoder* dec,
                                                                             uint32_t selective_mask, bool version4)
    : LASreadItemCompressedLayered(dec, 1, selective_mask) {
  layers[0].bit = LayerMask::WAVEPACKET;
  contexts.version4 = version4;
  for (auto& c : contexts.ctx) c.coder = &layers[0].dec;
}

bool LASreadItemCompressed_WAVEPACKET14_v3::init(const uint8_t* item, uint32_t& context) {
  read_layers();
  contexts.begin(context, item);
  return true;
}

void LASreadItemCompressed_WAVEPACKET14_v3::read(uint8_t* item, uint32_t& context) {
  WavepacketContext<ArithmeticDecoder>& c = contexts.follow(context);
  uint8_t* last = contexts.last;
  if (layers[0].changed) {
    ArithmeticDecoder& dec = layers[0].dec;
    last[0] = static_cast<uint8_t>(dec.decodeSymbol(c.packet_index.get()));
    const uint32_t kind = dec.decodeSymbol(c.offset_kind[c.last_kind].get());
    c.last_kind = kind;
    const uint64_t last_offset = load_field<uint64_t>(last + 1);
    const uint32_t last_size = load_field<uint32_t>(last + 9);
    uint64_t offset;
    if (kind == 0) {
      offset = last_offset;
    } else if (kind == 1) {
      offset = last_offset + last_size;
    } else if (kind == 2) {
      c.last_offset_diff = c.ic_offset_diff->decompress(c.last_offset_diff, 0);
      offset = last_offset + static_cast<uint64_t>(static_cast<int64_t>(c.last_offset_diff));
    } else {
      offset = dec.readInt64();
    }
    store_field(last + 1, offset);
    store_field(last + 9, c.ic_packet_size->decompress(static_cast<int32_t>(last_size), 0));
    for (uint32_t i = 0; i < 4; i++) {
      uint8_t* field = last + 13 + 4 * i;
      const int32_t previous = load_field<int32_t>(field);
      store_field(field, i == 0 ? c.ic_return_point->decompress(previous, 0) : c.ic_xyz->decompress(previous, i - 1));
    }
  }
  // Also without the layer: the caller's buffer may hold a packet of
  // another chunk (after a seek), so the item is always the last one.
  memcpy(item, last, 29);
}

// ---------------------------------------------------------------- BYTE14

LASreadItemCompressed_BYTE14_v3::LASreadItemCompressed_BYTE14_v3(ArithmeticDecoder* dec, uint32_t size,
                                                                 uint32_t selective_mask, bool version4)
    : LASreadItemCompressedLayered(dec, size, selective_mask), size(size) {
  for (uint32_t i = 0; i < size; i++) layers[i].bit = i < 16 ? LayerMask::BYTE0 << i : 0;
  contexts.version4 = version4;
  for (auto& c : contexts.ctx) c.size = size;
}

bool LASreadItemCompressed_BYTE14_v3::init(const uint8_t* item, uint32_t& context) {
  read_layers();
  contexts.begin(context, item);
  return true;
}

void LASreadItemCompressed_BYTE14_v3::read(uint8_t* item, uint32_t& context) {
  BytesContext<ArithmeticDecoder>& c = contexts.follow(context);
  uint8_t* last = contexts.last;
  for (uint32_t i = 0; i < size; i++) {
    if (layers[i].changed) last[i] = static_cast<uint8_t>(last[i] + layers[i].dec.decodeSymbol(c.models[i].get()));
  }
  memcpy(item, last, size);
}
