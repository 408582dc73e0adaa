// Compressed item writers of versions 3 and 4 for the items of point formats
// 6 to 10, the mirror of the layered readers: every layer is coded into a
// memory buffer of its own during the chunk; at the chunk's end the point
// writer asks each item for its layer sizes and then for the layer bytes.
// A layer whose fields never changed in the chunk is stored with size 0,
// which readers take as "the fields keep their values".
#ifndef PTCOMP_LASWRITEITEMCOMPRESSED_V3_HPP
#define PTCOMP_LASWRITEITEMCOMPRESSED_V3_HPP

#include <cstdint>  // fixed-width types
#include <memory>   // unique_ptr, the layers

#include "las/bytestreamout_array.hpp"   // ByteStreamOutArray, one per layer
#include "ptcomp/arithmeticencoder.hpp"  // ArithmeticEncoder, one per layer
#include "ptcomp/laswriteitem.hpp"       // LASwriteItemCompressed
#include "ptcomp/layeredcontext.hpp"     // the contexts shared with the readers

class LASwriteItemCompressedLayered : public LASwriteItemCompressed {
 public:
  // Ends every layer's code and writes the sizes (u32 each) to the shared
  // encoder's stream.
  bool chunk_sizes() override;
  // Writes the bytes of the layers with a non-zero size.
  bool chunk_bytes() override;

 protected:
  struct Layer {
    std::unique_ptr<ByteStreamOutArray> stream{new_byte_stream_out_array(4096)};
    ArithmeticEncoder enc;
    bool changed = false;  // some field of the layer changed in this chunk
    uint32_t size = 0;
  };
  LASwriteItemCompressedLayered(ArithmeticEncoder* shared, uint32_t layer_count);
  // A chunk starts: empty layers, no changes.
  void start_layers();

  ArithmeticEncoder* shared;
  uint32_t layer_count;
  std::unique_ptr<Layer[]> layers;
};

class LASwriteItemCompressed_POINT14_v3 : public LASwriteItemCompressedLayered {
 public:
  LASwriteItemCompressed_POINT14_v3(ArithmeticEncoder* enc, bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  void write_gps_time(Point14Context<ArithmeticEncoder>& c, uint64_t t);
  void encode_in(Point14Context<ArithmeticEncoder>& c, uint32_t S, uint64_t t);
  void encode_multiplied(Point14Context<ArithmeticEncoder>& c, uint32_t S, int32_t diff);
  uint32_t encode_full(Point14Context<ArithmeticEncoder>& c, uint32_t S, uint64_t t);
  Point14Context<ArithmeticEncoder> contexts[4];
  ArithmeticEncoder* coders[P14_LAYERS];
  uint32_t current = 0;
  bool version4;
};

// RGB14 (size 6) and RGBNIR14 (size 8).
class LASwriteItemCompressed_RGB14_v3 : public LASwriteItemCompressedLayered {
 public:
  LASwriteItemCompressed_RGB14_v3(ArithmeticEncoder* enc, bool nir = false, bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  FollowingContexts<RgbContext<ArithmeticEncoder>> contexts;
  uint32_t size;
};

class LASwriteItemCompressed_WAVEPACKET14_v3 : public LASwriteItemCompressedLayered {
 public:
  LASwriteItemCompressed_WAVEPACKET14_v3(ArithmeticEncoder* enc, bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  FollowingContexts<WavepacketContext<ArithmeticEncoder>> contexts;
};

class LASwriteItemCompressed_BYTE14_v3 : public LASwriteItemCompressedLayered {
 public:
  LASwriteItemCompressed_BYTE14_v3(ArithmeticEncoder* enc, uint32_t size, bool version4 = false);
  bool init(const uint8_t* item, uint32_t& context) override;
  bool write(const uint8_t* item, uint32_t& context) override;

 private:
  FollowingContexts<BytesContext<ArithmeticEncoder>> contexts;
  uint32_t size;
};

#endif
