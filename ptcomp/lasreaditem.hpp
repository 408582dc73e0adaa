// Base classes of the item readers: one reader per item of a point record,
// raw (straight from the byte stream) or compressed (from the shared
// arithmetic decoder, predicted from the previous point).
#ifndef PTCOMP_LASREADITEM_HPP
#define PTCOMP_LASREADITEM_HPP

#include <cstdint>  // uint8_t, uint32_t, uint64_t

class ByteStreamIn;

class LASreadItem {
 public:
  // Reads one item into `item` (an item buffer as laid out for the point
  // model). `context` is the scanner-channel context of the layered
  // codecs; the point-by-point codecs ignore it. Throws -1 when the input
  // ends and 4711 on corrupt data.
  virtual void read(uint8_t* item, uint32_t& context) = 0;
  virtual ~LASreadItem() = default;
};

class LASreadItemRaw : public LASreadItem {
 public:
  LASreadItemRaw() = default;
  bool init(ByteStreamIn* input) {
    if (input == nullptr) return false;
    instream = input;
    return true;
  }

 protected:
  ByteStreamIn* instream = nullptr;
};

class LASreadItemCompressed : public LASreadItem {
 public:
  // Reads the per-chunk layer sizes (layered codecs only).
  virtual bool chunk_sizes() { return false; }
  // Starts the decoder state of a chunk from its raw first point.
  virtual bool init(const uint8_t* item, uint32_t& context) = 0;
  // Bytes of this item's layers in the current chunk, known once
  // chunk_sizes has run (layered codecs only), so that the point reader can
  // check them against what the chunk holds before any is read.
  virtual uint64_t chunk_layer_bytes() const { return 0; }
};

#endif
