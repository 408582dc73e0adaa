// Variable-length records (VLRs and extended VLRs) and the in-memory forms of
// the records that the system interprets: GeoTIFF keys, classification
// lookup, wave packet descriptors, tiling, original extent, COPC entries.
// Also the catalogue of which (user id, record id) pairs are recognised.
#ifndef LAS_LASVLR_HPP
#define LAS_LASVLR_HPP

#include <cstdint>  // fixed-width fields
#include <cstring>  // memcpy for the unaligned descriptor fields

// One VLR; 54 bytes of header on disk. `data` holds
// record_length_after_header + 1 bytes, the last one 0 (null when the length
// is 0), and is owned by the header that lists the record.
struct LASvlr {
  uint16_t reserved = 0;
  char user_id[16] = {0};
  uint16_t record_id = 0;
  uint16_t record_length_after_header = 0;
  char description[32] = {0};
  unsigned char* data = nullptr;
};

// One extended VLR; 60 bytes of header on disk, 64-bit length.
struct LASevlr {
  uint16_t reserved = 0;
  char user_id[16] = {0};
  uint16_t record_id = 0;
  uint64_t record_length_after_header = 0;
  char description[32] = {0};
  unsigned char* data = nullptr;
};

constexpr int LAS_VLR_HEADER_SIZE = 54;
constexpr int LAS_EVLR_HEADER_SIZE = 60;

// GeoKeyDirectoryTag head: the first four u16 of record 34735.
struct LASvlr_geo_keys {
  uint16_t key_directory_version;
  uint16_t key_revision;
  uint16_t minor_revision;
  uint16_t number_of_keys;
};

// One GeoTIFF key entry (4 × u16), following the directory head.
struct LASvlr_key_entry {
  uint16_t key_id;
  uint16_t tiff_tag_location;
  uint16_t count;
  uint16_t value_offset;
};

// One entry of the classification lookup (record "LASF_Spec"/0).
struct LASvlr_classification {
  unsigned char class_number;
  char description[15];
};

// Wave packet descriptor (records "LASF_Spec"/100-354), 26 bytes as stored;
// fields are read with memcpy since the payload is unaligned.
struct LASvlr_wave_packet_descr {
  unsigned char data[26];
  unsigned char getBitsPerSample() const { return data[0]; }
  uint32_t getNumberOfSamples() const { return get<uint32_t>(2); }
  uint32_t getTemporalSpacing() const { return get<uint32_t>(6); }

 private:
  template <typename T>
  T get(int at) const {
    T v;
    memcpy(&v, data + at, sizeof(T));
    return v;
  }
};

static_assert(sizeof(LASvlr_wave_packet_descr) == 26, "wave packet descriptor must be 26 bytes");

// Tiling record ("Kestrel"/10 or "kestrel tile"), 28 bytes little-endian.
struct LASvlr_lastiling {
  uint32_t level = 0;
  uint32_t level_index = 0;
  uint32_t implicit_levels = 0;  // carried as read
  float min_x = 0.0f;
  float max_x = 0.0f;
  float min_y = 0.0f;
  float max_y = 0.0f;
};

// Original-extent record ("Kestrel"/20), 176 bytes.
struct LASvlr_lasoriginal {
  uint64_t number_of_point_records = 0;
  uint64_t number_of_points_by_return[15] = {0};
  double min_x = 0.0, max_x = 0.0, min_y = 0.0, max_y = 0.0, min_z = 0.0, max_z = 0.0;
};

// One COPC hierarchy entry (32 bytes on disk).
struct LASvlr_copc_entry {
  int32_t level = 0;
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  uint64_t offset = 0;
  int32_t byte_size = 0;
  int32_t point_count = 0;
};

constexpr int LAS_COPC_INFO_SIZE = 160;
constexpr int LAS_TILING_SIZE = 28;
constexpr int LAS_ORIGINAL_SIZE = 176;
constexpr int LAS_WAVE_PACKET_DESCR_SIZE = 26;
constexpr int LAS_EXTRA_BYTES_DESCR_SIZE = 192;

// What a record is, by its user id and record id.
enum class LASrecordKind {
  OTHER,               // kept as read
  GEO_KEY_DIRECTORY,   // "LASF_Projection" 34735
  GEO_DOUBLE_PARAMS,   // "LASF_Projection" 34736
  GEO_ASCII_PARAMS,    // "LASF_Projection" 34737
  WKT_MATH_TRANSFORM,  // "LASF_Projection" 2111
  WKT_COORDINATE_SYS,  // "LASF_Projection" 2112
  PROJECTION_UNKNOWN,  // "LASF_Projection" with another record id
  CLASSIFICATION,      // "LASF_Spec" 0
  SPEC_PLAIN,          // "LASF_Spec" 2, 3 and other ids: kept as plain records
  EXTRA_BYTES,         // "LASF_Spec" 4
  WAVE_PACKET_DESCR,   // "LASF_Spec" 100-354
  PTCOMP_SETTINGS,     // "ptcomp encoded", any id: removed
  TILING,              // "Kestrel" 10 or "kestrel tile": removed
  ORIGINAL_EXTENT,     // "Kestrel" 20: removed
  KESTREL_IGNORED,     // other "Kestrel" records (VLRs: ids below 2000; EVLRs: any): removed
  COPC_INFO,           // "copc" 1
  COPC_HIERARCHY,      // "copc" 1000
  COPC_OTHER,          // other "copc" records (10000 is removed after the header is read)
  RASTER_PTC           // "Raster PTC" 7113: kept as a plain record
};

// Classifies a record. `extended` selects the EVLR rules, where every
// "Kestrel" record is consumed.
LASrecordKind las_record_kind(const char* user_id, uint16_t record_id, bool extended);

// Compares a record's NUL-padded 16-character user id with a text.
bool las_user_id_is(const char* user_id, const char* text);

#endif
