// Compressor settings of a point file and the item list that describes one
// point record: validation of stored settings, derivation of the item list
// from a point format, item versions, and the "ptcomp encoded" record payload.
// LASitem itself lives in las/lasitem.hpp (the point model needs it too).
#ifndef PTCOMP_PTCOMP_HPP
#define PTCOMP_PTCOMP_HPP

#include <cstdint>  // fixed-width fields
#include <string>   // error texts

#include "las/bytestreamin.hpp"   // ByteStreamIn, reading the settings record
#include "las/bytestreamout.hpp"  // ByteStreamOut, writing it
#include "las/lasitem.hpp"        // LASitem

class PTcomp {
 public:
  // Compressor kinds.
  static constexpr uint16_t COMPRESSOR_NONE = 0;
  static constexpr uint16_t COMPRESSOR_POINTWISE = 1;
  static constexpr uint16_t COMPRESSOR_POINTWISE_CHUNKED = 2;
  static constexpr uint16_t COMPRESSOR_LAYERED_CHUNKED = 3;
  static constexpr uint16_t COMPRESSOR_DEFAULT = COMPRESSOR_POINTWISE_CHUNKED;
  // Entropy coders: only the arithmetic coder exists.
  static constexpr uint16_t CODER_ARITHMETIC = 0;
  static constexpr uint32_t CHUNK_SIZE_DEFAULT = 50000;
  // Settings option bits.
  static constexpr uint32_t OPTION_COMPATIBILITY = 1;
  // The writer version these settings describe.
  static constexpr int VERSION_MAJOR = 3;
  static constexpr int VERSION_MINOR = 5;
  static constexpr int VERSION_REVISION = 0;
  // The user id of the settings record.
  static constexpr const char* RECORD_USER_ID = "ptcomp encoded";

  PTcomp();
  ~PTcomp();
  PTcomp(const PTcomp& other);
  PTcomp& operator=(const PTcomp& other);

  // Derives the item list (all versions 0) from the point type and size and
  // makes it this object's list; the compressor kind is recorded and, when
  // not 0, version 2 is requested. When num_items/items point elsewhere
  // than this object's own fields, the caller also receives a copy of the
  // list (allocated with new[], the caller's to delete[]). A point size too
  // small for the type is warned about and tolerated.
  bool setup(uint16_t* num_items, LASitem** items, uint8_t point_type, uint16_t point_size, uint16_t compressor);
  bool setup(uint8_t point_type, uint16_t point_size, uint16_t compressor = COMPRESSOR_NONE) {
    return setup(&num_items, &items, point_type, point_size, compressor);
  }

  // Settings for writing compressed points of point type 0 to 10: the
  // layered chunked compressor (kind 3) for types 6 to 10, the point-wise
  // chunked one (kind 2) for 0 to 5; items of `item_version` 1 to 4 (types
  // 0-5 take at most version 2 of their items, types 6-10 at least version
  // 3), `chunk_size` points per chunk (0: variable-sized chunks, ended by
  // LASwritePoint::chunk). The result is what LASwritePoint::setup takes
  // (num_items, items, this) and what the "ptcomp encoded" record stores.
  bool setup_writing(uint8_t point_type, uint16_t point_size, uint16_t item_version,
                     uint32_t chunk_size = CHUNK_SIZE_DEFAULT);

  // Validates compressor, coder and the items; a point size of 0 skips the
  // size sum test.
  bool check(uint16_t point_size);
  bool check_items(uint16_t num_items, const LASitem* items, uint16_t point_size);
  bool check_item(const LASitem* item);
  // Sets every item's compression version for requested version v.
  bool request_version(uint16_t v);

  // Last error text, "<message> (PTcomp v3.5r0)", or null.
  const char* get_error() const { return error.empty() ? nullptr : error.c_str(); }
  // Stores the formatted message as the error and returns false.
  bool return_error(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // The settings record payload: 34 + 6 × num_items bytes, little-endian.
  uint32_t get_payload_size() const { return 34u + 6u * num_items; }
  // Reads the payload field by field. On a failed read returns false and
  // sets `failure` (if given) to the field's message, such as
  // "reading compressor %d" or "reading type %d of item %d" filled with the
  // field's current value (and the item index).
  bool read_payload(ByteStreamIn* stream, std::string* failure = nullptr);
  bool unpack(const unsigned char* bytes, long long num_bytes, std::string* failure = nullptr);
  bool write_payload(ByteStreamOut* stream) const;
  // Serialises into the object's packing buffer (valid until the next pack
  // or the object's end).
  bool pack(const unsigned char** bytes, uint32_t* num_bytes);

  uint16_t compressor = COMPRESSOR_DEFAULT;
  uint16_t coder = CODER_ARITHMETIC;
  uint8_t version_major = VERSION_MAJOR;
  uint8_t version_minor = VERSION_MINOR;
  uint16_t version_revision = VERSION_REVISION;
  uint32_t options = 0;
  uint32_t chunk_size = CHUNK_SIZE_DEFAULT;
  int64_t number_of_special_evlrs = -1;
  int64_t offset_to_special_evlrs = -1;
  uint16_t num_items = 0;
  LASitem* items = nullptr;

 private:
  unsigned char* bytes = nullptr;  // packing buffer
  std::string error;
};

#endif
