// Raw item readers: one class per item type that takes an item's bytes as
// stored in an uncompressed record (or the raw first point of a chunk) and
// fills the item buffer of the point model, in a little-endian (LE) and a
// big-endian (BE) host variant. Running out of input throws -1.
#ifndef PTCOMP_LASREADITEMRAW_HPP
#define PTCOMP_LASREADITEMRAW_HPP

#include <cstdint>  // uint8_t, uint16_t, uint32_t

#include "las/bytestreamin.hpp"  // ByteStreamIn::getBytes
#include "las/lasitem.hpp"       // LASitem, for the factory
#include "ptcomp/lasreaditem.hpp"  // LASreadItemRaw

// BYTE and BYTE14: the item's bytes as stored, whatever the host order.
class LASreadItemRaw_BYTE final : public LASreadItemRaw {
 public:
  explicit LASreadItemRaw_BYTE(uint32_t number) : number(number) {}
  void read(uint8_t* item, uint32_t&) override { instream->getBytes(item, number); }

 private:
  uint32_t number;
};

// POINT10: 20 bytes, same layout in the file and in the buffer.
class LASreadItemRaw_POINT10_LE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override { instream->getBytes(item, 20); }
};

class LASreadItemRaw_POINT10_BE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[20];
};

// GPSTIME11: the 8-byte pattern of the double.
class LASreadItemRaw_GPSTIME11_LE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override { instream->getBytes(item, 8); }
};

class LASreadItemRaw_GPSTIME11_BE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[8];
};

// RGB12 and RGB14: three u16.
class LASreadItemRaw_RGB12_LE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override { instream->getBytes(item, 6); }
};

class LASreadItemRaw_RGB12_BE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[6];
};

// RGBNIR14: four u16.
class LASreadItemRaw_RGBNIR14_LE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override { instream->getBytes(item, 8); }
};

class LASreadItemRaw_RGBNIR14_BE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[8];
};

// WAVEPACKET13 and WAVEPACKET14: index byte, u64 offset, u32 size and four
// 32-bit floats.
class LASreadItemRaw_WAVEPACKET13_LE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override { instream->getBytes(item, 29); }
};

class LASreadItemRaw_WAVEPACKET13_BE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t swapped[29];
};

// POINT14: 30 bytes on disk become the 48-byte buffer with the legacy
// fields derived from the extended ones.
class LASreadItemRaw_POINT14_LE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t disk[30];
};

class LASreadItemRaw_POINT14_BE final : public LASreadItemRaw {
 public:
  void read(uint8_t* item, uint32_t&) override;

 private:
  uint8_t disk[30];
};

// Fills the 48-byte POINT14 buffer from the 30 disk bytes, both already in
// host order field by field (shared by both host variants and by tests).
void las_point14_from_disk(const uint8_t* disk, uint8_t* item);

// True for a known item type whose size is the one its raw layout has (at
// least 1 for BYTE and BYTE14).
bool las_item_size_valid(const LASitem& item);

// True for the items of point formats 6 to 10 coded in layers (versions 2
// to 4 of POINT14, RGB14, RGBNIR14, WAVEPACKET14 and BYTE14).
inline bool las_item_is_layered(const LASitem& item) { return item.type >= LASitem::POINT14 && item.version >= 2; }

// The raw reader for an item on this host (caller owns it), or null for an
// item type that has no raw reader.
LASreadItemRaw* create_read_item_raw(const LASitem& item);

#endif
