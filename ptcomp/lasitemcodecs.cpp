// Codec selection by item type and version.
#include "ptcomp/lasitemcodecs.hpp"

#include "ptcomp/arithmeticdecoder.hpp"          // ArithmeticDecoder, handed to the readers
#include "ptcomp/arithmeticencoder.hpp"          // ArithmeticEncoder, handed to the writers
#include "ptcomp/lasreaditemcompressed_v1.hpp"   // the version 1 readers
#include "ptcomp/lasreaditemcompressed_v2.hpp"   // the version 2 readers
#include "ptcomp/laswriteitemcompressed_v1.hpp"  // the version 1 writers
#include "ptcomp/laswriteitemcompressed_v2.hpp"  // the version 2 writers

LASreadItemCompressed* create_read_item_compressed(const LASitem& item, ArithmeticDecoder* decoder,
                                                   uint32_t selective_mask) {
  (void)selective_mask;  // these codecs decode every field
  if (decoder == nullptr) return nullptr;
  const uint16_t v = item.version;
  switch (item.type) {
    // BYTE, POINT10, GPSTIME11 and RGB12 in versions 1 and 2, WAVEPACKET13
    // in version 1. The point format 6 to 10 items have no codec.
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
    default:
      return nullptr;
  }
}

LASwriteItemCompressed* create_write_item_compressed(const LASitem& item, ArithmeticEncoder* encoder) {
  if (encoder == nullptr) return nullptr;
  const uint16_t v = item.version;
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
    default:
      return nullptr;
  }
}
