// Point generators per scenario and the chunked codec harness.
#include "tests/ptcomp/item_codec_support.hpp"

#include <cmath>
#include <memory>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticdecoder.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/lasitemcodecs.hpp"
#include "ptcomp/ptcomp.hpp"

namespace codectest {

std::string scenario_name(Scenario s) {
  switch (s) {
    case Scenario::Random: return "Random";
    case Scenario::Raster: return "Raster";
    case Scenario::Hard: return "Hard";
    case Scenario::GpsRepeats: return "GpsRepeats";
    case Scenario::GpsInterleaved: return "GpsInterleaved";
    case Scenario::RgbOneChannel: return "RgbOneChannel";
    case Scenario::RgbGrey: return "RgbGrey";
  }
  return "?";
}

std::vector<LASitem> items_for_format(int format, int extra, int version) {
  static const int standard[6] = {20, 28, 26, 34, 57, 63};
  PTcomp settings;
  settings.setup(static_cast<uint8_t>(format), static_cast<uint16_t>(standard[format] + extra),
                 PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  settings.request_version(static_cast<uint16_t>(version));
  return std::vector<LASitem>(settings.items, settings.items + settings.num_items);
}

namespace {

template <typename T>
void put(uint8_t* p, T v) {
  memcpy(p, &v, sizeof(T));
}

struct Generator {
  Scenario scenario;
  std::mt19937 rng;
  // running state
  int32_t walk_x = 0, walk_y = 0;
  double times[3] = {300000.0, 301234.5, 452000.25};
  uint64_t offset = 1000;
  uint32_t packet = 256;
  uint16_t rgb[3] = {1000, 2000, 3000};

  uint32_t u32() { return rng(); }
  uint32_t below(uint32_t n) { return rng() % n; }
  void random_bytes(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; i++) p[i] = static_cast<uint8_t>(rng());
  }

  void point10(uint32_t i, uint8_t* p) {
    switch (scenario) {
      case Scenario::Random:
        random_bytes(p, 20);
        return;
      case Scenario::Raster: {
        const uint32_t cols = 97;
        const uint32_t row = i / cols, col = i % cols;
        put<int32_t>(p, static_cast<int32_t>(col * 100));
        put<int32_t>(p + 4, -static_cast<int32_t>(row * 100));
        const double z = 1000.0 + 250.0 * std::sin(col * 0.05) * std::cos(row * 0.07) + 0.01 * col * row;
        put<int32_t>(p + 8, static_cast<int32_t>(std::lround(z * 100.0)));
        put<uint16_t>(p + 12, 0);
        p[14] = 0x09;  // return 1 of 1
        p[15] = 2;
        p[16] = 0;
        p[17] = 0;
        put<uint16_t>(p + 18, 1);
        return;
      }
      default: {
        // Awkward: coordinate steps from tiny to wrapping, every return
        // combination (valid or not) in turn, a new classification every
        // point, scan angles at their limits.
        const uint32_t pick = below(16);
        int32_t dx = static_cast<int32_t>(below(21)) - 10, dy = static_cast<int32_t>(below(7)) - 3;
        if (pick == 0) dx = static_cast<int32_t>(u32());
        if (pick == 1) dy = static_cast<int32_t>(u32());
        if (pick == 2) dx = INT32_MIN;
        walk_x = static_cast<int32_t>(static_cast<uint32_t>(walk_x) + static_cast<uint32_t>(dx));
        walk_y = static_cast<int32_t>(static_cast<uint32_t>(walk_y) + static_cast<uint32_t>(dy));
        put<int32_t>(p, walk_x);
        put<int32_t>(p + 4, walk_y);
        put<int32_t>(p + 8, pick == 3 ? static_cast<int32_t>(u32()) : static_cast<int32_t>(below(2000)) - 1000);
        put<uint16_t>(p + 12, i == 0 ? 500 : static_cast<uint16_t>(pick < 4 ? u32() : 500 + below(40)));
        p[14] = static_cast<uint8_t>((i % 8) | (((i / 8) % 8) << 3) | ((i % 3) << 6));
        p[15] = static_cast<uint8_t>(i * 7 + (i >> 5));
        static const int8_t angles[6] = {-128, 127, -90, 90, 0, -1};
        p[16] = static_cast<uint8_t>(angles[(i / 2) % 6]);
        p[17] = static_cast<uint8_t>(pick == 5 ? u32() : i % 4);
        put<uint16_t>(p + 18, static_cast<uint16_t>(pick == 6 ? u32() : 7));
        return;
      }
    }
  }

  void gps(uint32_t i, uint8_t* p) {
    double t = 0.0;
    uint64_t bits = 0;
    bool raw = false;
    switch (scenario) {
      case Scenario::Random:
        bits = (uint64_t(u32()) << 32) | u32();
        raw = true;
        break;
      case Scenario::Raster:
        t = 400000.0 + i * 0.0001;
        break;
      case Scenario::GpsRepeats: {
        // Runs of equal times, then runs of equal steps, then odd steps.
        const uint32_t phase = (i / 50) % 4;
        if (phase == 0) {
          t = times[0];
        } else if (phase == 1) {
          times[0] += 0.00002;
          t = times[0];
        } else if (phase == 2) {
          times[0] += (i % 5 == 0) ? 0.0 : 0.00002 * (1 + below(3));
          t = times[0];
        } else {
          times[0] += (i % 10 == 0) ? 50000.0 : 0.00001;
          t = times[0];
        }
        break;
      }
      case Scenario::GpsInterleaved: {
        // Three flight lines visited in turn (sometimes twice in a row),
        // each with its own steady step; now and then a new line starts.
        const uint32_t k = (i % 7 == 3) ? (i + 1) % 3 : i % 3;
        times[k] += 0.00001 * (k + 1);
        if (i % 997 == 996) times[k] += 7000.0;
        t = times[k];
        break;
      }
      default: {
        // Hard: repeats, small steps, steps whose ratio to the last one
        // hits every multiplier class, huge jumps both ways, raw patterns.
        const uint32_t pick = below(20);
        if (pick < 4) {
          t = times[0];
        } else if (pick < 10) {
          times[0] += 0.00001;
          t = times[0];
        } else if (pick < 13) {
          times[0] += 0.00001 * static_cast<double>(below(600));
          t = times[0];
        } else if (pick < 15) {
          times[0] -= 0.00001 * static_cast<double>(below(12));
          t = times[0];
        } else if (pick < 17) {
          times[0] += (pick == 15 ? 1e6 : -1e6);
          t = times[0];
        } else if (pick < 19) {
          const uint32_t k = 1 + below(2);
          times[k] += 0.00003;
          t = times[k];
        } else {
          bits = (uint64_t(u32()) << 32) | u32();
          raw = true;
        }
        break;
      }
    }
    if (!raw) memcpy(&bits, &t, 8);
    put<uint64_t>(p, bits);
  }

  void rgb12(uint32_t i, uint8_t* p) {
    switch (scenario) {
      case Scenario::Random:
        random_bytes(p, 6);
        return;
      case Scenario::Raster:
        rgb[0] = rgb[1] = rgb[2] = static_cast<uint16_t>(20000 + 100 * std::sin(i * 0.01));
        break;
      case Scenario::RgbGrey: {
        const uint16_t v = static_cast<uint16_t>(i % 5 == 0 ? u32() : rgb[0] + below(9) - 4);
        rgb[0] = rgb[1] = rgb[2] = v;
        break;
      }
      case Scenario::RgbOneChannel: {
        const uint32_t c = (i / 40) % 3;
        rgb[c] = static_cast<uint16_t>(i % 9 == 0 ? u32() : rgb[c] + below(600) - 300);
        break;
      }
      default: {
        const uint32_t pick = below(6);
        if (pick == 0) {
          rgb[0] = rgb[1] = rgb[2] = static_cast<uint16_t>(u32());
        } else if (pick == 1) {
          rgb[below(3)] = static_cast<uint16_t>(u32());
        } else if (pick == 2) {
          rgb[below(3)] ^= 0xFF00;  // high byte only
        } else if (pick == 3) {
          const int d = static_cast<int>(below(21)) - 10;
          for (auto& c : rgb) c = static_cast<uint16_t>(c + d);
        } else if (pick == 4) {
          rgb[0] = 0;
          rgb[1] = 255;
          rgb[2] = 65535;
        }
        break;
      }
    }
    memcpy(p, rgb, 6);
  }

  void wavepacket(uint32_t i, uint8_t* p) {
    if (scenario == Scenario::Random) {
      random_bytes(p, 29);
      return;
    }
    uint32_t pick = scenario == Scenario::Raster ? 1 : below(6);
    if (pick == 1) {
      offset += packet;  // right after the last packet
    } else if (pick == 2) {
      offset += static_cast<uint64_t>(static_cast<int64_t>(below(100000)) - 50000);
    } else if (pick == 3) {
      offset = (uint64_t(u32()) << 32) | u32();
    } else if (pick == 4) {
      packet = below(3) == 0 ? u32() : 256 + below(3);
    }
    p[0] = static_cast<uint8_t>(scenario == Scenario::Raster ? 1 : (i % 11 == 0 ? u32() : 1));
    put<uint64_t>(p + 1, offset);
    put<uint32_t>(p + 9, packet);
    const float loc = static_cast<float>(1000.0 + (i % 13));
    const float xt = scenario == Scenario::Raster ? 0.5f : static_cast<float>(std::sin(i * 0.3));
    put<float>(p + 13, loc);
    put<float>(p + 17, xt);
    put<float>(p + 21, -xt);
    put<uint32_t>(p + 25, pick == 5 ? u32() : 0x3F800000u);
  }

  void bytes(uint32_t i, uint8_t* p, uint32_t n) {
    if (scenario == Scenario::Random) {
      random_bytes(p, n);
      return;
    }
    for (uint32_t k = 0; k < n; k++) {
      if (scenario == Scenario::Raster) {
        p[k] = static_cast<uint8_t>(k + i / 100);
      } else {
        p[k] = static_cast<uint8_t>(below(4) == 0 ? u32() : (i * (k + 1)) / 3);
      }
    }
  }
};

}  // namespace

PointSet make_points(int format, int extra, int version, Scenario scenario, uint32_t count, uint32_t seed) {
  PointSet set;
  set.items = items_for_format(format, extra, version);
  for (const auto& it : set.items) set.point_size += it.size;
  set.data.assign(size_t(count) * set.point_size, 0);
  Generator g{scenario, std::mt19937(seed)};
  for (uint32_t i = 0; i < count; i++) {
    uint8_t* p = set.point(i);
    for (const auto& it : set.items) {
      switch (it.type) {
        case LASitem::POINT10: g.point10(i, p); break;
        case LASitem::GPSTIME11: g.gps(i, p); break;
        case LASitem::RGB12: g.rgb12(i, p); break;
        case LASitem::WAVEPACKET13: g.wavepacket(i, p); break;
        default: g.bytes(i, p, it.size); break;
      }
      p += it.size;
    }
  }
  return set;
}

bool encode_chunked(const PointSet& points, uint32_t chunk_size, std::vector<uint8_t>& bytes,
                    std::vector<size_t>* chunk_ends) {
  ArithmeticEncoder encoder;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> writers;
  for (const auto& it : points.items) {
    writers.emplace_back(create_write_item_compressed(it, &encoder));
    if (!writers.back()) return false;
  }
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(1024));
  const uint32_t n = points.count();
  uint32_t context = 0;
  for (uint32_t start = 0; start < n; start += chunk_size) {
    const uint32_t end = n - start > chunk_size ? start + chunk_size : n;
    out->putBytes(points.point(start), points.point_size);
    const uint8_t* p = points.point(start);
    for (size_t k = 0; k < writers.size(); k++) {
      writers[k]->init(p, context);
      p += points.items[k].size;
    }
    encoder.init(out.get());
    for (uint32_t i = start + 1; i < end; i++) {
      p = points.point(i);
      for (size_t k = 0; k < writers.size(); k++) {
        writers[k]->write(p, context);
        p += points.items[k].size;
      }
    }
    if (!encoder.done()) return false;
    if (chunk_ends) chunk_ends->push_back(static_cast<size_t>(out->get_size()));
  }
  bytes.assign(out->get_data(), out->get_data() + out->get_size());
  return true;
}

std::string decode_chunked(const std::vector<LASitem>& items, uint32_t point_size, uint32_t count,
                           uint32_t chunk_size, const std::vector<uint8_t>& bytes,
                           const std::vector<size_t>* chunk_ends, std::vector<uint8_t>& decoded) {
  ArithmeticDecoder decoder;
  std::vector<std::unique_ptr<LASreadItemCompressed>> readers;
  for (const auto& it : items) {
    readers.emplace_back(create_read_item_compressed(it, &decoder, 0xFFFFFFFFu));
    if (!readers.back()) return "no reader";
  }
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(bytes.data(), static_cast<long long>(bytes.size())));
  decoded.assign(size_t(count) * point_size, 0);
  uint32_t context = 0;
  size_t chunk = 0;
  try {
    for (uint32_t start = 0; start < count; start += chunk_size, chunk++) {
      const uint32_t end = count - start > chunk_size ? start + chunk_size : count;
      uint8_t* first = decoded.data() + size_t(start) * point_size;
      in->getBytes(first, point_size);
      uint8_t* p = first;
      for (size_t k = 0; k < readers.size(); k++) {
        readers[k]->init(p, context);
        p += items[k].size;
      }
      decoder.init(in.get());
      for (uint32_t i = start + 1; i < end; i++) {
        p = decoded.data() + size_t(i) * point_size;
        for (size_t k = 0; k < readers.size(); k++) {
          readers[k]->read(p, context);
          p += items[k].size;
        }
      }
      decoder.done();
      if (chunk_ends && static_cast<size_t>(in->tell()) != (*chunk_ends)[chunk]) {
        return "chunk " + std::to_string(chunk) + " ends at " + std::to_string(in->tell()) + " not at " +
               std::to_string((*chunk_ends)[chunk]);
      }
    }
  } catch (int e) {
    return "threw " + std::to_string(e) + " in chunk " + std::to_string(chunk);
  }
  return "";
}

long long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t point_size) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; i++) {
    if (a[i] != b[i]) return static_cast<long long>(i / point_size);
  }
  if (a.size() != b.size()) return static_cast<long long>(n / point_size);
  return -1;
}

}  // namespace codectest
