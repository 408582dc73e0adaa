// Bits of the selective-decoding mask of the layered point codecs: a reader
// decodes a layer only when its bit is set (the layer of scanner channel,
// returns and X/Y is always decoded, as are extra bytes from the 17th on).
// A layer that is not decoded keeps its fields at their last values.
#ifndef PTCOMP_LAYERMASK_HPP
#define PTCOMP_LAYERMASK_HPP

#include <cstdint>  // uint32_t

#include "las/lasselective.hpp"  // LASselective, the bit values

struct LayerMask {
  static constexpr uint32_t Z = LASselective::Z;
  static constexpr uint32_t CLASSIFICATION = LASselective::CLASSIFICATION;
  static constexpr uint32_t FLAGS = LASselective::FLAGS;
  static constexpr uint32_t INTENSITY = LASselective::INTENSITY;
  static constexpr uint32_t SCAN_ANGLE = LASselective::SCAN_ANGLE;
  static constexpr uint32_t USER_DATA = LASselective::USER_DATA;
  static constexpr uint32_t POINT_SOURCE = LASselective::POINT_SOURCE;
  static constexpr uint32_t GPS_TIME = LASselective::GPS_TIME;
  static constexpr uint32_t RGB = LASselective::RGB;
  static constexpr uint32_t NIR = LASselective::NIR;
  static constexpr uint32_t WAVEPACKET = LASselective::WAVEPACKET;
  // Extra byte i (i < 16) of a point: BYTE0 << i.
  static constexpr uint32_t BYTE0 = 0x10000;
  static constexpr uint32_t ALL = LASselective::ALL;
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
