// Codec selection by item type and version. Each codec adds its case here.
#include "ptcomp/lasitemcodecs.hpp"

#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder, handed to the readers
#include "ptcomp/arithmeticencoder.hpp"  // ArithmeticEncoder, handed to the writers

LASreadItemCompressed* create_read_item_compressed(const LASitem& item, ArithmeticDecoder* decoder,
                                                   uint32_t selective_mask) {
  (void)decoder;
  (void)selective_mask;
  switch (item.type) {
    // BYTE (v1, v2), POINT10, GPSTIME11, RGB12 (v1, v2), WAVEPACKET13 (v1);
    // POINT14, RGB14, RGBNIR14, BYTE14 (v2 read as v3, v3, v4) and
    // WAVEPACKET14 (v3, v4) join here as their codecs land.
    default:
      return nullptr;
  }
}

LASwriteItemCompressed* create_write_item_compressed(const LASitem& item, ArithmeticEncoder* encoder) {
  (void)encoder;
  switch (item.type) {
    default:
      return nullptr;
  }
}
