// Codec selection by item type and version.
#include "ptcomp/lasitemcodecs.hpp"

#include "ptcomp/arithmeticdecoder.hpp"          // ArithmeticDecoder, handed to the readers
#include "ptcomp/arithmeticencoder.hpp"          // ArithmeticEncoder, handed to the writers
#include "ptcomp/lasreaditemcompressed_v1.hpp"   // the version 1 readers
#include "ptcomp/lasreaditemcompressed_v2.hpp"   // the version 2 readers
#include "ptcomp/lasreaditemcompressed_v3.hpp"   // the layered readers, versions 3 and 4
#include "ptcomp/laswriteitemcompressed_v1.hpp"  // the version 1 writers
#include "ptcomp/laswriteitemcompressed_v2.hpp"  // the version 2 writers
#include "ptcomp/laswriteitemcompressed_v3.hpp"  // the layered writers, versions 3 and 4

LASreadItemCompressed* create_read_item_compressed(const LASitem& item, ArithmeticDecoder* decoder,
                                                   uint32_t selective_mask) {
  if (decoder == nullptr) return nullptr;
  const uint16_t v = item.version;
  // The layered items: version 2 files were written with the version 3
  // coding.
  const bool v3 = v == 2 || v == 3;
  const bool v4 = v == 4;
  switch (item.type) {
    // BYTE, POINT10, GPSTIME11 and RGB12 in versions 1 and 2, WAVEPACKET13
    // in version 1.
    case LASitem::BYTE:
      if (item.size == 0) return nullptr;
      if (v == 1) return new LASreadItemCompressed_BYTE_v1(decoder, item.size);
      if (v == 2) return new LASreadItemCompressed_BYTE_v2(decoder, item.size);
      return nullptr;
    case LASitem::POINT10:
      if (v == 1) return new LASreadItemCompressed_POINT10_v1(decoder);
      if (v == 2) return new LASreadItemCompressed_POINT10_v2(decoder);
      return nullptr;
    case LASitem::GPSTIME11:
      if (v == 1) return new LASreadItemCompressed_GPSTIME11_v1(decoder);
      if (v == 2) return new LASreadItemCompressed_GPSTIME11_v2(decoder);
      return nullptr;
    case LASitem::RGB12:
      if (v == 1) return new LASreadItemCompressed_RGB12_v1(decoder);
      if (v == 2) return new LASreadItemCompressed_RGB12_v2(decoder);
      return nullptr;
    case LASitem::WAVEPACKET13:
      if (v == 1) return new LASreadItemCompressed_WAVEPACKET13_v1(decoder);
      return nullptr;
    // The layered items of point formats 6 to 10.
    case LASitem::POINT14:
      if (v3) return new LASreadItemCompressed_POINT14_v3(decoder, selective_mask);
      if (v4) return new LASreadItemCompressed_POINT14_v4(decoder, selective_mask);
      return nullptr;
    case LASitem::RGB14:
      if (v3) return new LASreadItemCompressed_RGB14_v3(decoder, selective_mask);
      if (v4) return new LASreadItemCompressed_RGB14_v4(decoder, selective_mask);
      return nullptr;
    case LASitem::RGBNIR14:
      if (v3) return new LASreadItemCompressed_RGBNIR14_v3(decoder, selective_mask);
      if (v4) return new LASreadItemCompressed_RGBNIR14_v4(decoder, selective_mask);
      return nullptr;
    case LASitem::WAVEPACKET14:
      if (v == 3) return new LASreadItemCompressed_WAVEPACKET14_v3(decoder, selective_mask);
      if (v4) return new LASreadItemCompressed_WAVEPACKET14_v4(decoder, selective_mask);
      return nullptr;
    case LASitem::BYTE14:
      if (item.size == 0) return nullptr;
      if (v3) return new LASreadItemCompressed_BYTE14_v3(decoder, item.size, selective_mask);
      if (v4) return new LASreadItemCompressed_BYTE14_v4(decoder, item.size, selective_mask);
      return nullptr;
    default:
      return nullptr;
  }
}

LASwriteItemCompressed* create_write_item_compressed(const LASitem& item, ArithmeticEncoder* encoder) {
  if (encoder == nullptr) return nullptr;
  const uint16_t v = item.version;
  const bool v3 = v == 2 || v == 3;
  const bool v4 = v == 4;
  switch (item.type) {
    case LASitem::BYTE:
      if (item.size == 0) return nullptr;
      if (v == 1) return new LASwriteItemCompressed_BYTE_v1(encoder, item.size);
      if (v == 2) return new LASwriteItemCompressed_BYTE_v2(encoder, item.size);
      return nullptr;
    case LASitem::POINT10:
      if (v == 1) return new LASwriteItemCompressed_POINT10_v1(encoder);
      if (v == 2) return new LASwriteItemCompressed_POINT10_v2(encoder);
      return nullptr;
    case LASitem::GPSTIME11:
      if (v == 1) return new LASwriteItemCompressed_GPSTIME11_v1(encoder);
      if (v == 2) return new LASwriteItemCompressed_GPSTIME11_v2(encoder);
      return nullptr;
    case LASitem::RGB12:
      if (v == 1) return new LASwriteItemCompressed_RGB12_v1(encoder);
      if (v == 2) return new LASwriteItemCompressed_RGB12_v2(encoder);
      return nullptr;
    case LASitem::WAVEPACKET13:
      if (v == 1) return new LASwriteItemCompressed_WAVEPACKET13_v1(encoder);
      return nullptr;
    case LASitem::POINT14:
      if (v3 || v4) return new LASwriteItemCompressed_POINT14_v3(encoder, v4);
      return nullptr;
    case LASitem::RGB14:
    case LASitem::RGBNIR14:
      if (v3 || v4) return new LASwriteItemCompressed_RGB14_v3(encoder, item.type == LASitem::RGBNIR14, v4);
      return nullptr;
    case LASitem::WAVEPACKET14:
      if (v == 3 || v4) return new LASwriteItemCompressed_WAVEPACKET14_v3(encoder, v4);
      return nullptr;
    case LASitem::BYTE14:
      if (item.size == 0) return nullptr;
      if (v3 || v4) return new LASwriteItemCompressed_BYTE14_v3(encoder, item.size, v4);
      return nullptr;
    default:
      return nullptr;
  }
}
