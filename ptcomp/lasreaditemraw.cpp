// Raw item readers: byte-order handling and the POINT14 legacy fields.
#include "ptcomp/lasreaditemraw.hpp"

#include <cstring>  // memcpy

#include "las/endianness.hpp"  // Endian::IS_LITTLE_ENDIAN, choosing the variant

namespace {

// Reverses n bytes from src into dest.
inline void reverse_into(uint8_t* dest, const uint8_t* src, int n) {
  for (int i = 0; i < n; i++) dest[i] = src[n - 1 - i];
}

// Reverses n bytes in place.
inline void reverse_in_place(uint8_t* bytes, int n) {
  for (int i = 0, j = n - 1; i < j; i++, j--) {
    const uint8_t t = bytes[i];
    bytes[i] = bytes[j];
    bytes[j] = t;
  }
}

}  // namespace

bool las_item_size_valid(const LASitem& item) {
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::BYTE14: return item.size >= 1;
    case LASitem::POINT10: return item.size == 20;
    case LASitem::GPSTIME11: return item.size == 8;
    case LASitem::RGB12:
    case LASitem::RGB14: return item.size == 6;
    case LASitem::WAVEPACKET13:
    case LASitem::WAVEPACKET14: return item.size == 29;
    case LASitem::POINT14: return item.size == 30;
    case LASitem::RGBNIR14: return item.size == 8;
    default: return false;
  }
}

void LASreadItemRaw_POINT10_BE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(swapped, 20);
  reverse_into(item + 0, swapped + 0, 4);    // X
  reverse_into(item + 4, swapped + 4, 4);    // Y
  reverse_into(item + 8, swapped + 8, 4);    // Z
  reverse_into(item + 12, swapped + 12, 2);  // intensity
  memcpy(item + 14, swapped + 14, 4);        // flags, classification, scan angle, user data
  reverse_into(item + 18, swapped + 18, 2);  // point source ID
}

void LASreadItemRaw_GPSTIME11_BE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(swapped, 8);
  reverse_into(item, swapped, 8);
}

void LASreadItemRaw_RGB12_BE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(swapped, 6);
  for (int i = 0; i < 6; i += 2) reverse_into(item + i, swapped + i, 2);
}

void LASreadItemRaw_RGBNIR14_BE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(swapped, 8);
  for (int i = 0; i < 8; i += 2) reverse_into(item + i, swapped + i, 2);
}

void LASreadItemRaw_WAVEPACKET13_BE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(swapped, 29);
  item[0] = swapped[0];
  reverse_into(item + 1, swapped + 1, 8);
  for (int i = 9; i < 29; i += 4) reverse_into(item + i, swapped + i, 4);
}

void las_point14_from_disk(const uint8_t* disk, uint8_t* item) {
  memcpy(item, disk, 14);  // X, Y, Z, intensity
  const uint8_t returns = disk[14];
  const uint8_t flags = disk[15];
  const uint8_t classification = disk[16];
  const uint32_t return_number = returns & 0x0F;
  const uint32_t number_of_returns = returns >> 4;
  uint32_t legacy_return_number;
  uint32_t legacy_number_of_returns;
  if (number_of_returns > 7) {
    legacy_number_of_returns = 7;
    if (return_number <= 6) {
      legacy_return_number = return_number;
    } else if (return_number < number_of_returns) {
      legacy_return_number = 6;
    } else {
      legacy_return_number = 7;
    }
  } else {
    legacy_number_of_returns = number_of_returns & 7;
    legacy_return_number = return_number & 7;
  }
  // Byte 14: legacy returns, scan direction (bit 6) and edge (bit 7) as on disk.
  item[14] = static_cast<uint8_t>(legacy_return_number | (legacy_number_of_returns << 3) | (flags & 0xC0));
  // Byte 15: the low three classification flags in bits 5-7, the class when it fits in 5 bits.
  item[15] = static_cast<uint8_t>(static_cast<uint8_t>(flags << 5) + (classification < 32 ? classification : 0));
  int16_t scan_angle;
  memcpy(&scan_angle, disk + 18, 2);
  const float degrees = 0.006f * static_cast<float>(scan_angle);
  const double rounded = degrees < 0.0f ? static_cast<double>(degrees) - 0.5 : static_cast<double>(degrees) + 0.5;
  int16_t rank = static_cast<int16_t>(rounded);  // |rounded| < 197: always fits
  if (rank < -128) rank = -128;
  if (rank > 127) rank = 127;
  item[16] = static_cast<uint8_t>(static_cast<int8_t>(rank));
  item[17] = disk[17];                  // user data
  memcpy(item + 18, disk + 20, 2);      // point source ID
  memcpy(item + 20, disk + 18, 2);      // scan angle
  item[22] = static_cast<uint8_t>((item[22] & 0x03) | (((flags >> 4) & 0x03) << 2) | ((flags & 0x0F) << 4));
  item[23] = classification;
  item[24] = returns;
  memset(item + 28, 0, 4);          // the layered decoders' GPS-time-changed flag: not changed
  memcpy(item + 32, disk + 22, 8);  // GPS time
}

void LASreadItemRaw_POINT14_LE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(disk, 30);
  las_point14_from_disk(disk, item);
}

void LASreadItemRaw_POINT14_BE::read(uint8_t* item, uint32_t&) {
  instream->getBytes(disk, 30);
  reverse_in_place(disk + 0, 4);    // X
  reverse_in_place(disk + 4, 4);    // Y
  reverse_in_place(disk + 8, 4);    // Z
  reverse_in_place(disk + 12, 2);   // intensity
  reverse_in_place(disk + 18, 2);   // scan angle
  reverse_in_place(disk + 20, 2);   // point source ID
  reverse_in_place(disk + 22, 8);   // GPS time
  las_point14_from_disk(disk, item);
}

LASreadItemRaw* create_read_item_raw(const LASitem& item) {
  constexpr bool le = Endian::IS_LITTLE_ENDIAN;
  if (!las_item_size_valid(item)) return nullptr;
  switch (item.type) {
    case LASitem::BYTE:
    case LASitem::BYTE14:
      return new LASreadItemRaw_BYTE(item.size);
    case LASitem::POINT10:
      if (le) return new LASreadItemRaw_POINT10_LE();
      return new LASreadItemRaw_POINT10_BE();
    case LASitem::GPSTIME11:
      if (le) return new LASreadItemRaw_GPSTIME11_LE();
      return new LASreadItemRaw_GPSTIME11_BE();
    case LASitem::RGB12:
    case LASitem::RGB14:
      if (le) return new LASreadItemRaw_RGB12_LE();
      return new LASreadItemRaw_RGB12_BE();
    case LASitem::WAVEPACKET13:
    case LASitem::WAVEPACKET14:
      if (le) return new LASreadItemRaw_WAVEPACKET13_LE();
      return new LASreadItemRaw_WAVEPACKET13_BE();
    case LASitem::POINT14:
      if (le) return new LASreadItemRaw_POINT14_LE();
      return new LASreadItemRaw_POINT14_BE();
    case LASitem::RGBNIR14:
      if (le) return new LASreadItemRaw_RGBNIR14_LE();
      return new LASreadItemRaw_RGBNIR14_BE();
    default:
      return nullptr;
  }
}
