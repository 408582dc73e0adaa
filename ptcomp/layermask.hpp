// Bits of the selective-decoding mask of the layered point codecs: a reader
// decodes a layer only when its bit is set (the layer of scanner channel,
// returns and X/Y is always decoded, as are extra bytes from the 17th on).
// A layer that is not decoded keeps its fields at their last values.
#ifndef PTCOMP_LAYERMASK_HPP
#define PTCOMP_LAYERMASK_HPP

#include <cstdint>  // uint32_t

struct LayerMask {
  static constexpr uint32_t Z = 0x1;
  static constexpr uint32_t CLASSIFICATION = 0x2;
  static constexpr uint32_t FLAGS = 0x4;
  static constexpr uint32_t INTENSITY = 0x8;
  static constexpr uint32_t SCAN_ANGLE = 0x10;
  static constexpr uint32_t USER_DATA = 0x20;
  static constexpr uint32_t POINT_SOURCE = 0x40;
  static constexpr uint32_t GPS_TIME = 0x80;
  static constexpr uint32_t RGB = 0x100;
  static constexpr uint32_t NIR = 0x200;
  static constexpr uint32_t WAVEPACKET = 0x400;
  // Extra byte i (i < 16) of a point: BYTE0 << i.
  static constexpr uint32_t BYTE0 = 0x10000;
  static constexpr uint32_t ALL = 0xFFFFFFFFu;
  // X, Y and Z only.
  static constexpr uint32_t XYZ = Z;

  // The bits of extra bytes [start, start + size), those below 16.
  static uint32_t extra_bytes(uint32_t start, uint32_t size) {
    uint32_t bits = 0;
    for (uint32_t i = start; i < start + size && i < 16; i++) bits |= BYTE0 << i;
    return bits;
  }
};

#endif
