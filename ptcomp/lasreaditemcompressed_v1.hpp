// Compressed item readers of version 1 for the items of point formats 0 to 5
// (POINT10, GPSTIME11, RGB12, WAVEPACKET13, BYTE). All items of a point are
// decoded from one shared arithmetic decoder, each predicted from the same
// item of the previous point.
#ifndef PTCOMP_LASREADITEMCOMPRESSED_V1_HPP
#define PTCOMP_LASREADITEMCOMPRESSED_V1_HPP

#include <cstdint>  // fixed-width types
#include <memory>   // unique_ptr, owned models and compressors

#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder, the shared decoder
#include "ptcomp/bytemodeltable.hpp"     // ByteModelTable, models chosen by a byte value
#include "ptcomp/integercompressor.hpp"  // IntegerCompressor
#include "ptcomp/itemfields.hpp"         // Point10Fields
#include "ptcomp/lasreaditem.hpp"        // LASreadItemCompressed

class LASreadItemCompressed_POINT10_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_POINT10_v1(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  Point10Fields last{};
  int32_t last_x_diff[3] = {0, 0, 0};
  int32_t last_y_diff[3] = {0, 0, 0};
  int ring = 0;
  IntegerCompressor ic_dx;
  IntegerCompressor ic_dy;
  IntegerCompressor ic_z;
  IntegerCompressor ic_intensity;
  IntegerCompressor ic_scan_angle_rank;
  IntegerCompressor ic_point_source_id;
  std::unique_ptr<ArithmeticModel> m_changed_values;
  ByteModelTable m_flags{false};
  ByteModelTable m_classification{false};
  ByteModelTable m_user_data{false};
};

class LASreadItemCompressed_GPSTIME11_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_GPSTIME11_v1(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  int64_t last_time = 0;  // the 64-bit pattern of the double
  int32_t last_diff = 0;
  int32_t extreme_counter = 0;
  std::unique_ptr<ArithmeticModel> m_multi;
  std::unique_ptr<ArithmeticModel> m_multi_0diff;
  IntegerCompressor ic_time;
};

class LASreadItemCompressed_RGB12_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_RGB12_v1(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  uint16_t last[3] = {0, 0, 0};
  std::unique_ptr<ArithmeticModel> m_byte_used;
  IntegerCompressor ic_rgb;
};

class LASreadItemCompressed_WAVEPACKET13_v1 : public LASreadItemCompressed {
 public:
  explicit LASreadItemCompressed_WAVEPACKET13_v1(ArithmeticDecoder* dec);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticDecoder* dec;
  uint8_t last[28] = {};  // bytes 1 to 28 of the item
  int32_t last_offset_diff = 0;
  uint32_t last_kind = 0;
  std::unique_ptr<ArithmeticModel> m_packet_index;
  std::unique_ptr<ArithmeticModel> m_offset_kind[4];
  IntegerCompressor ic_offset_diff;
  IntegerCompressor ic_packet_size;
  IntegerCompressor ic_return_point;
  IntegerCompressor ic_xyz;
};

class LASreadItemCompressed_BYTE_v1 : public LASreadItemCompressed {
 public:
  LASreadItemCompressed_BYTE_v1(ArithmeticDecoder* dec, uint32_t size);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  uint32_t size;
  std::unique_ptr<uint8_t[]> last;  // size bytes, zeroed
  IntegerCompressor ic_byte;
};

#endif
