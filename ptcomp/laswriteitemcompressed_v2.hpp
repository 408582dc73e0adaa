// Compressed item writers of version 2 for the items of point formats 0 to 5
// (POINT10, GPSTIME11, RGB12, BYTE), the mirror of the version 2 readers: the
// same models, contexts and state updates, with every symbol the reader
// decodes encoded into one shared arithmetic encoder.
#ifndef PTCOMP_LASWRITEITEMCOMPRESSED_V2_HPP
#define PTCOMP_LASWRITEITEMCOMPRESSED_V2_HPP

#include <cstdint>  // fixed-width types
#include <memory>   // unique_ptr, owned models

#include "ptcomp/arithmeticencoder.hpp"  // ArithmeticEncoder, the shared encoder
#include "ptcomp/bytemodeltable.hpp"     // ByteModelTable, models chosen by a byte value
#include "ptcomp/integercompressor.hpp"  // IntegerCompressor
#include "ptcomp/itemfields.hpp"         // Point10Fields
#include "ptcomp/laswriteitem.hpp"       // LASwriteItemCompressed
#include "ptcomp/streamingmedian5.hpp"   // StreamingMedian5, coordinate predictions

class LASwriteItemCompressed_POINT10_v2 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_POINT10_v2(ArithmeticEncoder* enc);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticEncoder* enc;
  Point10Fields last{};
  uint16_t last_intensity[16] = {};
  StreamingMedian5 last_x_diff_median[16];
  StreamingMedian5 last_y_diff_median[16];
  int32_t last_height[8] = {};
  std::unique_ptr<ArithmeticModel> m_changed_values;
  IntegerCompressor ic_intensity;
  std::unique_ptr<ArithmeticModel> m_scan_angle_rank[2];
  IntegerCompressor ic_point_source_id;
  ByteModelTable m_flags{true};
  ByteModelTable m_classification{true};
  ByteModelTable m_user_data{true};
  IntegerCompressor ic_dx;
  IntegerCompressor ic_dy;
  IntegerCompressor ic_z;
};

class LASwriteItemCompressed_GPSTIME11_v2 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_GPSTIME11_v2(ArithmeticEncoder* enc);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticEncoder* enc;
  uint32_t current = 0;
  uint32_t next = 0;
  uint64_t last_time[4] = {};  // 64-bit patterns of the doubles
  int32_t last_diff[4] = {};
  int32_t extreme_counter[4] = {};
  std::unique_ptr<ArithmeticModel> m_multi;
  std::unique_ptr<ArithmeticModel> m_multi_0diff;
  IntegerCompressor ic_time;

  // The offset (1..3) from sequence L of another sequence from which t is
  // a 32-bit difference of magnitude below `limit`, the closest one; 0 when
  // there is none.
  uint32_t closer_sequence(uint32_t L, uint64_t t, uint64_t limit) const;
  // Codes t in sequence L, whose difference to t fits 32 bits.
  void encode_in(uint32_t L, uint64_t t);
  // Codes the difference through the multiplier model (last_diff[L] != 0).
  void encode_multiplied(uint32_t L, int32_t diff);
  // Codes t in full, opening the next sequence; returns it.
  uint32_t encode_full(uint32_t L, uint64_t t);
};

class LASwriteItemCompressed_RGB12_v2 : public LASwriteItemCompressed {
 public:
  explicit LASwriteItemCompressed_RGB12_v2(ArithmeticEncoder* enc);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticEncoder* enc;
  uint16_t last[3] = {0, 0, 0};
  std::unique_ptr<ArithmeticModel> m_byte_used;
  std::unique_ptr<ArithmeticModel> m_diff[6];
};

class LASwriteItemCompressed_BYTE_v2 : public LASwriteItemCompressed {
 public:
  LASwriteItemCompressed_BYTE_v2(ArithmeticEncoder* enc, uint32_t size);
  ~LASwriteItemCompressed_BYTE_v2() override;
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  ArithmeticEncoder* enc;
  uint32_t size;
  std::unique_ptr<uint8_t[]> last;  // size bytes, zeroed
  ArithmeticModel** m_byte;         // size models, owned
};

#endif
