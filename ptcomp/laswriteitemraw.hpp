// Raw item writers, the mirror of the raw item readers: each writes one item
// buffer of the point model as the item is stored in an uncompressed record
// (or as the raw first point of a chunk), in a little-endian (LE) and a
// big-endian (BE) host variant.
#ifndef PTCOMP_LASWRITEITEMRAW_HPP
#define PTCOMP_LASWRITEITEMRAW_HPP

#include <cstdint>  // uint8_t, uint32_t

#include "las/bytestreamout.hpp"     // ByteStreamOut::putBytes
#include "las/lasitem.hpp"           // LASitem, for the factory
#include "ptcomp/laswriteitem.hpp"   // LASwriteItemRaw

// BYTE and BYTE14: the bytes as they are.
class LASwriteItemRaw_BYTE final : public LASwriteItemRaw {
 public:
  explicit LASwriteItemRaw_BYTE(uint32_t number) : number(number) {}
  bool write(const uint8_t* item, uint32_t&) override { return outstream->putBytes(item, number); }

 private:
  uint32_t number;
};

// Items stored exactly as they lie in memory on a little-endian host
// (POINT10 20, GPSTIME11 8, RGB12/RGB14 6, RGBNIR14 8, WAVEPACKET 29 bytes).
class LASwriteItemRaw_COPY_LE final : public LASwriteItemRaw {
 public:
  explicit LASwriteItemRaw_COPY_LE(uint32_t number) : number(number) {}
  bool write(const uint8_t* item, uint32_t&) override { return outstream->putBytes(item, number); }

 private:
  uint32_t number;
};

class LASwriteItemRaw_POINT10_BE final : public LASwriteItemRaw {
 public:
  bool write(const uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[20];
};

class LASwriteItemRaw_GPSTIME11_BE final : public LASwriteItemRaw {
 public:
  bool write(const uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[8];
};

// RGB12, RGB14 (3 × u16) and RGBNIR14 (4 × u16).
class LASwriteItemRaw_RGB_BE final : public LASwriteItemRaw {
 public:
  explicit LASwriteItemRaw_RGB_BE(uint32_t number) : number(number) {}
  bool write(const uint8_t* item, uint32_t&) override;

 private:
  uint32_t number;
  uint8_t swapped[8];
};

class LASwriteItemRaw_WAVEPACKET13_BE final : public LASwriteItemRaw {
 public:
  bool write(const uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[29];
};

// POINT14: the 48-byte buffer back into the 30 disk bytes.
class LASwriteItemRaw_POINT14_LE final : public LASwriteItemRaw {
 public:
  bool write(const uint8_t* item, uint32_t&) override;

 private:
  uint8_t disk[30];
};

class LASwriteItemRaw_POINT14_BE final : public LASwriteItemRaw {
 public:
  bool write(const uint8_t* item, uint32_t&) override;

 private:
  uint8_t disk[30];
};

// The 30 disk bytes (fields in host order) of a 48-byte POINT14 buffer.
void las_point14_to_disk(const uint8_t* item, uint8_t* disk);

// The raw writer for an item on this host (caller owns it), or null.
LASwriteItemRaw* create_write_item_raw(const LASitem& item);

#endif
