// Raw item writers: byte-order handling and the POINT14 disk layout.
#include "ptcomp/laswriteitemraw.hpp"

#include <cstring>  // memcpy

#include "las/endianness.hpp"         // Endian::IS_LITTLE_ENDIAN, choosing the variant
#include "ptcomp/lasreaditemraw.hpp"  // las_item_size_valid

namespace {

inline void reverse_into(uint8_t* dest, const uint8_t* src, int n) {
  for (int i = 0; i < n; i++) dest[i] = src[n - 1 - i];
}

inline void reverse_in_place(uint8_t* bytes, int n) {
  for (int i = 0, j = n - 1; i < j; i++, j--) {
    const uint8_t t = bytes[i];
    bytes[i] = bytes[j];
    bytes[j] = t;
  }
}

}  // namespace

bool LASwriteItemRaw_POINT10_BE::write(const uint8_t* item, uint32_t&) {
  reverse_into(swapped + 0, item + 0, 4);
  reverse_into(swapped + 4, item + 4, 4);
  reverse_into(swapped + 8, item + 8, 4);
  reverse_into(swapped + 12, item + 12, 2);
  memcpy(swapped + 14, item + 14, 4);
  reverse_into(swapped + 18, item + 18, 2);
  return outstream->putBytes(swapped, 20);
}

bool LASwriteItemRaw_GPSTIME11_BE::write(const uint8_t* item, uint32_t&) {
  reverse_into(swapped, item, 8);
  return outstream->putBytes(swapped, 8);
}

bool LASwriteItemRaw_RGB_BE::write(const uint8_t* item, uint32_t&) {
  for (uint32_t i = 0; i < number; i += 2) reverse_into(swapped + i, item + i, 2);
  return outstream->putBytes(swapped, number);
}

bool LASwriteItemRaw_WAVEPACKET13_BE::write(const uint8_t* item, uint32_t&) {
  swapped[0] = item[0];
  reverse_into(swapped + 1, item + 1, 8);
  for (int i = 9; i < 29; i += 4) reverse_into(swapped + i, item + i, 4);
  return outstream->putBytes(swapped, 29);
}

void las_point14_to_disk(const uint8_t* item, uint8_t* disk) {
  memcpy(disk, item, 14);  // X, Y, Z, intensity
  disk[14] = item[24];     // return number and number of returns
  // Classification flags (bits 0-3), scanner channel (4-5), scan direction
  // and edge of flight line (6-7, kept in the legacy byte).
  disk[15] = static_cast<uint8_t>(((item[22] >> 4) & 0x0F) | (((item[22] >> 2) & 0x03) << 4) | (item[14] & 0xC0));
  disk[16] = item[23];              // classification
  disk[17] = item[17];              // user data
  memcpy(disk + 18, item + 20, 2);  // scan angle
  memcpy(disk + 20, item + 18, 2);  // point source ID
  memcpy(disk + 22, item + 32, 8);  // GPS time
}

bool LASwriteItemRaw_POINT14_LE::write(const uint8_t* item, uint32_t&) {
  las_point14_to_disk(item, disk);
  return outstream->putBytes(disk, 30);
}

bool LASwriteItemRaw_POINT14_BE::write(const uint8_t* item, uint32_t&) {
  las_point14_to_disk(item, disk);
  reverse_in_place(disk + 0, 4);
  reverse_in_place(disk + 4, 4);
  reverse_in_place(disk + 8, 4);
  reverse_in_place(disk + 12, 2);
  reverse_in_place(disk + 18, 2);
  reverse_in_place(disk + 20, 2);
  reverse_in_place(disk + 22, 8);
  return outstream->putBytes(disk, 30);
}

LASwriteItemRaw* create_write_item_raw(const LASitem& item) {
  constexpr bool le = Endian::IS_LITTLE_ENDIAN;
  if (!las_item_size_valid(item)) return nullptr;
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::BYTE14:
      return new LASwriteItemRaw_BYTE(item.size);
    case LASitem::POINT10:
      if (le) return new LASwriteItemRaw_COPY_LE(20);
      return new LASwriteItemRaw_POINT10_BE();
    case LASitem::GPSTIME11:
      if (le) return new LASwriteItemRaw_COPY_LE(8);
      return new LASwriteItemRaw_GPSTIME11_BE();
    case LASitem::RGB12:
    case LASitem::RGB14:
      if (le) return new LASwriteItemRaw_COPY_LE(6);
      return new LASwriteItemRaw_RGB_BE(6);
    case LASitem::RGBNIR14:
      if (le) return new LASwriteItemRaw_COPY_LE(8);
      return new LASwriteItemRaw_RGB_BE(8);
    case LASitem::WAVEPACKET13:
    case LASitem::WAVEPACKET14:
      if (le) return new LASwriteItemRaw_COPY_LE(29);
      return new LASwriteItemRaw_WAVEPACKET13_BE();
    case LASitem::POINT14:
      if (le) return new LASwriteItemRaw_POINT14_LE();
      return new LASwriteItemRaw_POINT14_BE();
    default:
      return nullptr;
  }
}
