// Compressed item readers of versions 3 and 4 for the items of point formats
// 6 to 10 (POINT14, RGB14, RGBNIR14, WAVEPACKET14, BYTE14). A chunk stores
// each group of fields in a layer of its own with its own arithmetic
// decoder, so a reader decodes only the layers the selective mask asks for;
// the fields of a layer it skips keep their last values. Each reader keeps
// one set of models and one last item per scanner channel. Version 4
// differs only in how the items after POINT14 follow the channel.
#ifndef PTCOMP_LASREADITEMCOMPRESSED_V3_HPP
#define PTCOMP_LASREADITEMCOMPRESSED_V3_HPP

#include <cstdint>  // fixed-width types
#include <memory>   // unique_ptr, the layers
#include <vector>   // the layer buffer

#include "las/bytestreamin_array.hpp"    // ByteStreamInArray, one per layer
#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder, one per layer
#include "ptcomp/lasreaditem.hpp"        // LASreadItemCompressed
#include "ptcomp/layeredcontext.hpp"     // the contexts shared with the writers

// The layer handling common to the layered readers: the sizes of a chunk's
// layers, their bytes in one buffer, and a decoder per decoded layer.
class LASreadItemCompressedLayered : public LASreadItemCompressed {
 public:
  // Reads this item's layer sizes (u32 each) from the shared stream.
  bool chunk_sizes() override;
  uint64_t chunk_layer_bytes() const override;

 protected:
  struct Layer {
    uint32_t bit = 0;  // mask bit that requests the layer; 0: always decoded
    uint32_t size = 0;
    bool changed = false;  // decoded in this chunk
    std::unique_ptr<ByteStreamInArray> stream{new_byte_stream_in_array(nullptr, 0)};
    ArithmeticDecoder dec;
  };
  LASreadItemCompressedLayered(ArithmeticDecoder* shared, uint32_t layer_count, uint32_t selective_mask);
  // Reads the chunk's layers (after chunk_sizes): requested layers of
  // non-zero size into the buffer, starting their decoders; the rest is
  // skipped. The shared stream then stands after this item's layers.
  void read_layers();

  ArithmeticDecoder* shared;
  uint32_t layer_count;
  std::unique_ptr<Layer[]> layers;
  uint32_t selective_mask;
  std::vector<uint8_t> buffer;  // grown as chunks need, never shrunk
};

class LASreadItemCompressed_POINT14_v3 : public LASreadItemCompressedLayered {
 public:
  LASreadItemCompressed_POINT14_v3(ArithmeticDecoder* dec, uint32_t selective_mask, bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  void read_gps_time(Point14Context<ArithmeticDecoder>& c);
  Point14Context<ArithmeticDecoder> contexts[4];
  ArithmeticDecoder* coders[P14_LAYERS];
  uint32_t current = 0;
  bool version4;
};

class LASreadItemCompressed_POINT14_v4 final : public LASreadItemCompressed_POINT14_v3 {
 public:
  LASreadItemCompressed_POINT14_v4(ArithmeticDecoder* dec, uint32_t selective_mask)
      : LASreadItemCompressed_POINT14_v3(dec, selective_mask, true) {}
};

// RGB14 (size 6) and RGBNIR14 (size 8).
class LASreadItemCompressed_RGB14_v3 : public LASreadItemCompressedLayered {
 public:
  LASreadItemCompressed_RGB14_v3(ArithmeticDecoder* dec, uint32_t selective_mask, bool nir = false,
                                 bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  FollowingContexts<RgbContext<ArithmeticDecoder>> contexts;
  uint32_t size;
};

class LASreadItemCompressed_RGB14_v4 final : public LASreadItemCompressed_RGB14_v3 {
 public:
  LASreadItemCompressed_RGB14_v4(ArithmeticDecoder* dec, uint32_t mask)
      : LASreadItemCompressed_RGB14_v3(dec, mask, false, true) {}
};

class LASreadItemCompressed_RGBNIR14_v3 final : public LASreadItemCompressed_RGB14_v3 {
 public:
  LASreadItemCompressed_RGBNIR14_v3(ArithmeticDecoder* dec, uint32_t mask)
      : LASreadItemCompressed_RGB14_v3(dec, mask, true, false) {}
};

class LASreadItemCompressed_RGBNIR14_v4 final : public LASreadItemCompressed_RGB14_v3 {
 public:
  LASreadItemCompressed_RGBNIR14_v4(ArithmeticDecoder* dec, uint32_t mask)
      : LASreadItemCompressed_RGB14_v3(dec, mask, true, true) {}
};

class LASreadItemCompressed_WAVEPACKET14_v3 : public LASreadItemCompressedLayered {
 public:
  LASreadItemCompressed_WAVEPACKET14_v3(ArithmeticDecoder* dec, uint32_t selective_mask, bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  FollowingContexts<WavepacketContext<ArithmeticDecoder>> contexts;
};

class LASreadItemCompressed_WAVEPACKET14_v4 final : public LASreadItemCompressed_WAVEPACKET14_v3 {
 public:
  LASreadItemCompressed_WAVEPACKET14_v4(ArithmeticDecoder* dec, uint32_t mask)
      : LASreadItemCompressed_WAVEPACKET14_v3(dec, mask, true) {}
};

class LASreadItemCompressed_BYTE14_v3 : public LASreadItemCompressedLayered {
 public:
  LASreadItemCompressed_BYTE14_v3(ArithmeticDecoder* dec, uint32_t size, uint32_t selective_mask,
                                  bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  void read(uint8_t* item, uint32_t& context) override;

 private:
  FollowingContexts<BytesContext<ArithmeticDecoder>> contexts;
  uint32_t size;
};

class LASreadItemCompressed_BYTE14_v4 final : public LASreadItemCompressed_BYTE14_v3 {
 public:
  LASreadItemCompressed_BYTE14_v4(ArithmeticDecoder* dec, uint32_t size, uint32_t mask)
      : LASreadItemCompressed_BYTE14_v3(dec, size, mask, true) {}
};

#endif
