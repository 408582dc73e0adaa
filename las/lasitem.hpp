// One item of a point record: its type code, its size on disk and the version
// of its compression. Point records are sequences of items.
#ifndef LAS_LASITEM_HPP
#define LAS_LASITEM_HPP

#include <cstdint>  // uint16_t, uint32_t

class LASitem {
 public:
  // Type codes as stored in the compressor settings; 1 to 5 are not used.
  enum Type : uint32_t {
    BYTE = 0,
    POINT10 = 6,
    GPSTIME11 = 7,
    RGB12 = 8,
    WAVEPACKET13 = 9,
    POINT14 = 10,
    RGB14 = 11,
    RGBNIR14 = 12,
    WAVEPACKET14 = 13,
    BYTE14 = 14
  };

  uint32_t type = BYTE;
  uint16_t size = 0;
  uint16_t version = 0;

  bool operator==(const LASitem& other) const {
    return type == other.type && size == other.size && version == other.version;
  }
  bool operator!=(const LASitem& other) const { return !(*this == other); }
};

#endif
