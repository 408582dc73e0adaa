// Bits of the selective-decoding mask of layered compressed points: each bit
// asks for one layer of fields. The layer with the scanner channel, the
// return numbers and X/Y is always decoded, so it has no bit.
#ifndef LAS_LASSELECTIVE_HPP
#define LAS_LASSELECTIVE_HPP

#include <cstdint>  // uint32_t masks

namespace LASselective {
constexpr uint32_t CHANNEL_RETURNS_XY = 0;
constexpr uint32_t Z = 0x1;
constexpr uint32_t CLASSIFICATION = 0x2;
constexpr uint32_t FLAGS = 0x4;  // classification flags, scan direction, edge of flight line
constexpr uint32_t INTENSITY = 0x8;
constexpr uint32_t SCAN_ANGLE = 0x10;
constexpr uint32_t USER_DATA = 0x20;
constexpr uint32_t POINT_SOURCE = 0x40;
constexpr uint32_t GPS_TIME = 0x80;
constexpr uint32_t RGB = 0x100;
constexpr uint32_t NIR = 0x200;
constexpr uint32_t WAVEPACKET = 0x400;
constexpr uint32_t EXTRA_BYTES = 0xFFFF0000;  // extra byte i < 16 is 0x10000 << i
constexpr uint32_t ALL = 0xFFFFFFFF;
}  // namespace LASselective

#endif
