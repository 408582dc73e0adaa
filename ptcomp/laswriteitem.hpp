// Base classes of the item writers, the mirror of the item readers: raw
// items go straight to the byte stream, compressed items are predicted from
// the previous point and coded with the shared arithmetic encoder.
#ifndef PTCOMP_LASWRITEITEM_HPP
#define PTCOMP_LASWRITEITEM_HPP

#include <cstdint>  // uint8_t, uint32_t

class ByteStreamOut;

class LASwriteItem {
 public:
  // Writes one item; false when the output fails.
  virtual bool write(const uint8_t* item, uint32_t& context) = 0;
  virtual ~LASwriteItem() = default;
};

class LASwriteItemRaw : public LASwriteItem {
 public:
  LASwriteItemRaw() = default;
  bool init(ByteStreamOut* output) {
    if (output == nullptr) return false;
    outstream = output;
    return true;
  }

 protected:
  ByteStreamOut* outstream = nullptr;
};

class LASwriteItemCompressed : public LASwriteItem {
 public:
  // Starts the encoder state of a chunk from its raw first point (which the
  // point writer has already written raw).
  virtual bool init(const uint8_t* item, uint32_t& context) = 0;
  // Writes the per-chunk layer sizes and layers (layered codecs only).
  virtual bool chunk_sizes() { return false; }
  virtual bool chunk_bytes() { return false; }
};

#endif
