// Compressed item readers of version 2 for the items of point formats 0 to 5
// (POINT10, GPSTIME11, RGB12, BYTE; WAVEPACKET13 exists only in version 1).
// Version 2 predicts from context: coordinates from running medians chosen by
// the return structure, GPS time from up to four interleaved time sequences,
// colour channels from each other.
#ifndef PTCOMP_LASREADITEMCOMPRESSED_V2_HPP
#define PTCOMP_LASREADITEMCOMPRESSED_V2_HPP

#include <cstdint>  // fixed-width types
#include <memory>   // unique_ptr, owned models

#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder, the shared decoder
#include "ptcomp/bytemodeltable.hpp"     // ByteModelTable, models chosen by a byte value
#include "ptcomp/integercompressor.hpp"  // IntegerCompressor
#include "ptcomp/itemfields.hpp"         // Point10Fields
#include "ptcomp/lasreaditem.hpp"        // LASreadItemCompressed
#include "ptcomp/streamingmedian5.hpp"   // StreamingMedian5, coordinate predictions

// Return map (16 classes) and return level |n - r| of POINT10 version 2,
// indexed [number of returns][return number]; shared with the encoder.
extern const uint8_t point10_v2_return_map[8][8];
extern const uint8_t point10_v2_return_level[8][8];

class LASreadItemCompressed_POINT10_v2 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_POINT10_v2(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  Point10Fields last{};
  uint16_t last_intensity[16] = {};
  StreamingMedian5 last_x_diff_median[16];
  StreamingMedian5 last_y_diff_median[16];
  int32_t last_height[8] = {};
  std::unique_ptr<ArithmeticModel> m_changed_values;
  IntegerCompressor ic_intensity;
  std::unique_ptr<ArithmeticModel> m_scan_angle_rank[2];
  IntegerCompressor ic_point_source_id;
  ByteModelTable m_flags{false};
  ByteModelTable m_classification{false};
  ByteModelTable m_user_data{false};
  IntegerCompressor ic_dx;
  IntegerCompressor ic_dy;
  IntegerCompressor ic_z;
};

class LASreadItemCompressed_GPSTIME11_v2 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_GPSTIME11_v2(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  uint32_t current = 0;
  uint32_t next = 0;
  uint64_t last_time[4] = {};  // 64-bit patterns of the doubles
  int32_t last_diff[4] = {};
  int32_t extreme_counter[4] = {};
  std::unique_ptr<ArithmeticModel> m_multi;
  std::unique_ptr<ArithmeticModel> m_multi_0diff;
  IntegerCompressor ic_time;
};

class LASreadItemCompressed_RGB12_v2 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_RGB12_v2(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  uint16_t last[3] = {0, 0, 0};
  std::unique_ptr<ArithmeticModel> m_byte_used;
  std::unique_ptr<ArithmeticModel> m_diff[6];
};

class LASreadItemCompressed_BYTE_v2 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_BYTE_v2(ArithmeticDecoder* dec, uint32_t size);
  ~LASreadItemCompressed_BYTE_v2() override;
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  uint32_t size;
  std::unique_ptr<uint8_t[]> last;  // size bytes, zeroed
  ArithmeticModel** m_byte;         // size models, owned
};

#endif
