// Per-scanner-channel state of the layered item codecs (versions 3 and 4),
// shared by the decoders and the encoders so that both sides create, restart
// and update exactly the same models: the return tables of POINT14, tables
// of models created on first use, one context type per item and the context
// switching of the items that follow POINT14 in a point.
#ifndef PTCOMP_LAYEREDCONTEXT_HPP
#define PTCOMP_LAYEREDCONTEXT_HPP

#include <cstdint>      // fixed-width types
#include <cstring>      // memcpy
#include <memory>       // unique_ptr, owned models
#include <type_traits>  // is_same, which side a context serves
#include <vector>       // model tables, extra-byte state

#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder
#include "ptcomp/arithmeticencoder.hpp"  // ArithmeticEncoder
#include "ptcomp/arithmeticmodel.hpp"    // ArithmeticModel
#include "ptcomp/integercompressor.hpp"  // IntegerCompressor
#include "ptcomp/itemfields.hpp"         // load_field, store_field
#include "ptcomp/streamingmedian5.hpp"   // StreamingMedian5

// Return classes of POINT14, indexed [number of returns][return number].
extern const uint8_t number_return_map_6ctx[16][16];
extern const uint8_t number_return_level_8ctx[16][16];

// The legacy scan angle rank of a scan angle in units of 0.006 degrees.
inline uint8_t legacy_scan_angle_rank(int16_t scan_angle) {
  const float degrees = 0.006f * static_cast<float>(scan_angle);
  const double rounded = degrees < 0.0f ? static_cast<double>(degrees) - 0.5 : static_cast<double>(degrees) + 0.5;
  int16_t rank = static_cast<int16_t>(rounded);  // |rounded| < 197
  if (rank < -128) rank = -128;
  if (rank > 127) rank = 127;
  return static_cast<uint8_t>(static_cast<int8_t>(rank));
}

// Layers of POINT14, in the order of their sizes in a chunk.
enum Point14Layer : uint32_t {
  P14_CHANNEL_RETURNS_XY,
  P14_Z,
  P14_CLASSIFICATION,
  P14_FLAGS,
  P14_INTENSITY,
  P14_SCAN_ANGLE,
  P14_USER_DATA,
  P14_POINT_SOURCE,
  P14_GPS_TIME,
  P14_LAYERS
};

// `count` symbol models of `symbols` symbols, each created the first time
// it is used and restarted before its first use after restart(), which
// gives the statistics of restarting every existing model at once.
class LayeredModelTable {
 public:
  LayeredModelTable(uint32_t count, uint32_t symbols, bool encoding)
      : models(count), stamps(count, 0), symbols(symbols), encoding(encoding) {}
  void restart() {
    if (++generation == 0) {
      for (auto& s : stamps) s = 0;
      generation = 1;
    }
  }
  ArithmeticModel* get(uint32_t index) {
    if (stamps[index] != generation) {
      if (!models[index]) models[index].reset(new ArithmeticModel(symbols, encoding));
      models[index]->init();
      stamps[index] = generation;
    }
    return models[index].get();
  }

 private:
  std::vector<std::unique_ptr<ArithmeticModel>> models;
  std::vector<uint32_t> stamps;
  uint32_t generation = 1;
  uint32_t symbols;
  bool encoding;
};

template <class Coder>
constexpr bool is_encoder() {
  return std::is_same<Coder, ArithmeticEncoder>::value;
}

template <class Coder>
inline void start_compressor(IntegerCompressor& ic) {
  if (is_encoder<Coder>()) {
    ic.initCompressor();
  } else {
    ic.initDecompressor();
  }
}

inline ArithmeticModel* new_model(uint32_t symbols, bool encoding) { return new ArithmeticModel(symbols, encoding); }

// POINT14: the last point (48-byte buffer) and every model of one channel.
// Models live on the coders of their layers.
template <class Coder>
struct Point14Context {
  static constexpr bool kEnc = is_encoder<Coder>();
  bool in_use = false;
  uint8_t last[48] = {};
  std::unique_ptr<ArithmeticModel> changed_values[8];
  std::unique_ptr<ArithmeticModel> scanner_channel;
  LayeredModelTable number_of_returns{16, 16, kEnc};
  LayeredModelTable return_number{16, 16, kEnc};
  std::unique_ptr<ArithmeticModel> return_number_gps_same;
  std::unique_ptr<IntegerCompressor> ic_dX, ic_dY, ic_Z;
  LayeredModelTable classification{64, 256, kEnc};
  LayeredModelTable flags{64, 64, kEnc};
  LayeredModelTable user_data{64, 256, kEnc};
  std::unique_ptr<IntegerCompressor> ic_intensity, ic_scan_angle, ic_point_source_ID;
  std::unique_ptr<ArithmeticModel> gpstime_multi, gpstime_0diff;
  std::unique_ptr<IntegerCompressor> ic_gpstime;
  StreamingMedian5 median_X[12], median_Y[12];
  int32_t last_Z[8] = {};
  uint16_t last_intensity[8] = {};
  uint32_t gps_current = 0, gps_next = 0;
  uint64_t gps_time[4] = {};
  int32_t gps_diff[4] = {};
  int32_t gps_counter[4] = {};

  // Puts the context in use from `item`; coders are the layer coders in
  // layer order.
  void start(Coder* const* coders, const uint8_t* item) {
    if (!scanner_channel) {
      for (auto& m : changed_values) m.reset(new_model(128, kEnc));
      scanner_channel.reset(new_model(3, kEnc));
      return_number_gps_same.reset(new_model(13, kEnc));
      ic_dX.reset(new IntegerCompressor(coders[P14_CHANNEL_RETURNS_XY], 32, 2));
      ic_dY.reset(new IntegerCompressor(coders[P14_CHANNEL_RETURNS_XY], 32, 22));
      ic_Z.reset(new IntegerCompressor(coders[P14_Z], 32, 20));
      ic_intensity.reset(new IntegerCompressor(coders[P14_INTENSITY], 16, 4));
      ic_scan_angle.reset(new IntegerCompressor(coders[P14_SCAN_ANGLE], 16, 2));
      ic_point_source_ID.reset(new IntegerCompressor(coders[P14_POINT_SOURCE], 16, 1));
      gpstime_multi.reset(new_model(515, kEnc));
      gpstime_0diff.reset(new_model(5, kEnc));
      ic_gpstime.reset(new IntegerCompressor(coders[P14_GPS_TIME], 32, 9));
    }
    for (auto& m : changed_values) m->init();
    scanner_channel->init();
    number_of_returns.restart();
    return_number.restart();
    return_number_gps_same->init();
    classification.restart();
    flags.restart();
    user_data.restart();
    gpstime_multi->init();
    gpstime_0diff->init();
    for (IntegerCompressor* ic : {ic_dX.get(), ic_dY.get(), ic_Z.get(), ic_intensity.get(), ic_scan_angle.get(),
                                  ic_point_source_ID.get(), ic_gpstime.get()}) {
      start_compressor<Coder>(*ic);
    }
    for (int i = 0; i < 12; i++) {
      median_X[i].init();
      median_Y[i].init();
    }
    const int32_t z = load_field<int32_t>(item + 8);
    const uint16_t intensity = load_field<uint16_t>(item + 12);
    for (int i = 0; i < 8; i++) {
      last_Z[i] = z;
      last_intensity[i] = intensity;
    }
    gps_current = gps_next = 0;
    for (int i = 0; i < 4; i++) gps_time[i] = 0, gps_diff[i] = 0, gps_counter[i] = 0;
    gps_time[0] = load_field<uint64_t>(item + 32);
    if (last != item) memcpy(last, item, 48);
    store_field<uint32_t>(last + 28, 0);  // GPS time not changed
    in_use = true;
  }
};

// RGB14 and RGBNIR14: the last colour (red, green, blue, near infrared).
template <class Coder>
struct RgbContext {
  static constexpr bool kEnc = is_encoder<Coder>();
  bool in_use = false;
  uint32_t size = 6;  // 8 with near infrared
  uint8_t last[8] = {};
  std::unique_ptr<ArithmeticModel> byte_used, diff[6], nir_used, nir_diff[2];
  uint8_t* last_bytes() { return last; }

  void start(const uint8_t* item) {
    if (!byte_used) {
      byte_used.reset(new_model(128, kEnc));
      for (auto& m : diff) m.reset(new_model(256, kEnc));
      if (size == 8) {
        nir_used.reset(new_model(4, kEnc));
        for (auto& m : nir_diff) m.reset(new_model(256, kEnc));
      }
    }
    byte_used->init();
    for (auto& m : diff) m->init();
    if (nir_used) {
      nir_used->init();
      for (auto& m : nir_diff) m->init();
    }
    memcpy(last, item, size);
    in_use = true;
  }
};

// WAVEPACKET14: the last packet (29 bytes) and the offset prediction.
template <class Coder>
struct WavepacketContext {
  static constexpr bool kEnc = is_encoder<Coder>();
  bool in_use = false;
  Coder* coder = nullptr;  // the wave packet layer's
  uint8_t last[29] = {};
  int32_t last_offset_diff = 0;
  uint32_t last_kind = 0;
  std::unique_ptr<ArithmeticModel> packet_index, offset_kind[4];
  std::unique_ptr<IntegerCompressor> ic_offset_diff, ic_packet_size, ic_return_point, ic_xyz;
  uint8_t* last_bytes() { return last; }

  void start(const uint8_t* item) {
    if (!packet_index) {
      packet_index.reset(new_model(256, kEnc));
      for (auto& m : offset_kind) m.reset(new_model(4, kEnc));
      ic_offset_diff.reset(new IntegerCompressor(coder, 32, 1));
      ic_packet_size.reset(new IntegerCompressor(coder, 32, 1));
      ic_return_point.reset(new IntegerCompressor(coder, 32, 1));
      ic_xyz.reset(new IntegerCompressor(coder, 32, 3));
    }
    packet_index->init();
    for (auto& m : offset_kind) m->init();
    for (IntegerCompressor* ic : {ic_offset_diff.get(), ic_packet_size.get(), ic_return_point.get(), ic_xyz.get()}) {
      start_compressor<Coder>(*ic);
    }
    last_offset_diff = 0;
    last_kind = 0;
    memcpy(last, item, 29);
    in_use = true;
  }
};

// BYTE14: the last extra bytes and one model per byte.
template <class Coder>
struct BytesContext {
  static constexpr bool kEnc = is_encoder<Coder>();
  bool in_use = false;
  uint32_t size = 0;
  std::vector<uint8_t> last;
  std::vector<std::unique_ptr<ArithmeticModel>> models;
  uint8_t* last_bytes() { return last.data(); }

  void start(const uint8_t* item) {
    if (models.empty()) {
      last.assign(size, 0);
      for (uint32_t i = 0; i < size; i++) models.emplace_back(new_model(256, kEnc));
    }
    for (auto& m : models) m->init();
    memcpy(last.data(), item, size);
    in_use = true;
  }
};

// The four contexts of an item that follows POINT14, and the switch to the
// channel POINT14 left in the shared context value. Version 3 keeps coding
// against the previous context's last item when it switches to a context
// already in use; version 4 always takes the new context's last item.
template <class Context>
struct FollowingContexts {
  Context ctx[4];
  uint32_t current = 0;
  uint8_t* last = nullptr;
  bool version4 = false;

  // A chunk starts: every context out of use, then the channel's put in use.
  void begin(uint32_t context, const uint8_t* item) {
    for (auto& c : ctx) c.in_use = false;
    current = context & 3u;
    ctx[current].start(item);
    last = ctx[current].last_bytes();
  }
  Context& follow(uint32_t context) {
    context &= 3u;
    if (context != current) {
      current = context;
      if (!ctx[context].in_use) {
        ctx[context].start(last);
        last = ctx[context].last_bytes();
      } else if (version4) {
        last = ctx[context].last_bytes();
      }
    }
    return ctx[current];
  }
};

#endif
