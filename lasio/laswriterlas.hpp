// The writer of LAS files and their compressed form (PTC), the mirror of
// LASreaderLAS: writes the public header block of LAS 1.0 to 1.5, the VLRs
// of a header (plus the compressor settings record when compressing), the
// user data in and after the header, the points through a LASwritePoint and
// at the end the EVLRs; closing patches the point counts, the counts by
// return and the bounding box into the header block. Compressed point
// formats 6 to 10 are written with the layered chunked compressor and items
// of version 3 or 4.
#ifndef LASIO_LASWRITERLAS_HPP
#define LASIO_LASWRITERLAS_HPP

#include <cstdint>  // fixed-width fields
#include <cstdio>   // FILE
#include <vector>   // the EVLRs kept for the end

#include "las/bytestreamout.hpp"  // ByteStreamOut
#include "las/lasheader.hpp"      // LASheader
#include "las/laspoint.hpp"       // LASpoint
#include "ptcomp/ptcomp.hpp"      // PTcomp, items and the settings record
#include "tool/lasutility.hpp"    // LAS_IO_BUFFER_SIZE

class LASwritePoint;

class LASwriterLAS {
 public:
  static constexpr int DEFAULT_IO_BUFFER_SIZE = LAS_IO_BUFFER_SIZE;
  static constexpr uint16_t PTCOMP_RECORD_ID = 1;

  LASwriterLAS();
  ~LASwriterLAS();
  LASwriterLAS(const LASwriterLAS&) = delete;
  LASwriterLAS& operator=(const LASwriterLAS&) = delete;

  // Creates the file and writes everything up to the point data. The header
  // gives version, point format and record length, quantizer, the other
  // header fields, VLRs, EVLRs and user data; header_size,
  // offset_to_point_data and the record counts are computed. `compressor`
  // is a PTcomp kind (0: uncompressed LAS). Errors are reported at ERROR;
  // a file created before the error is removed again.
  bool open(const char* file_name, const LASheader* header, uint16_t compressor = PTcomp::COMPRESSOR_NONE,
            uint32_t chunk_size = PTcomp::CHUNK_SIZE_DEFAULT, int io_buffer_size = DEFAULT_IO_BUFFER_SIZE);
  // The same onto a stream (not owned), positioned where the file begins.
  // Compressed formats 6 to 10 always use the layered chunked compressor
  // (kind 3), formats 0 to 5 never (kind 3 becomes point-wise chunked). The
  // header's version is written as it is (LAS 1.4 and later have the
  // extended point counts and EVLRs).
  bool open(ByteStreamOut* stream, const LASheader* header, uint16_t compressor = PTcomp::COMPRESSOR_NONE,
            uint32_t chunk_size = PTcomp::CHUNK_SIZE_DEFAULT);

  // The item version compressed files are written with, from the next open
  // on: 1 to 4, or 0 for the default (2 for formats 0 to 5, 3 for 6 to 10).
  // Items of formats 0 to 5 have versions 1 and 2 only (3 and 4 give 2),
  // those of formats 6 to 10 versions 3 and 4 only (1 and 2 give 3). False
  // for a version above 4.
  bool set_item_version(uint16_t version);

  // The number of threads that encode the chunks of compressed points,
  // from the next open on (0 or 1: the calling thread only). The file's
  // bytes do not depend on it.
  void set_threads(unsigned n) { threads = n; }

  // Writes a point laid out for this file's items (see the item list of
  // get_ptcomp(); LASpoint::init with it gives such a point) and counts it
  // into the counts by return and the bounding box.
  bool write_point(const LASpoint* point);
  // Ends a chunk early (compressed output with variable chunk sizes).
  bool chunk();

  // Ends the point data, writes the EVLRs and, with update_header, patches
  // counts and bounding box from the inventory (the stream must be
  // seekable for that). Closes the file. Returns the number of bytes
  // written, or -1 after an error.
  int64_t close(bool update_header = true);

  // The item list and settings the points are written with.
  const PTcomp& get_ptcomp() const { return ptcomp; }
  int64_t get_point_count() const { return p_count; }

 private:
  // The steps of open, in order.
  bool set_up_items(const LASheader* header, uint16_t compressor, uint32_t chunk_size);
  bool fill_block(const LASheader* header);
  void keep_evlrs(const LASheader* header);
  bool write_up_to_points(ByteStreamOut* out, const LASheader* header) const;
  bool write_header_block(ByteStreamOut* out) const;
  bool write_settings_record(ByteStreamOut* out) const;
  void update_inventory(const LASpoint* point);
  bool fail(const char* text);

  FILE* file = nullptr;
  ByteStreamOut* stream = nullptr;
  bool delete_stream = false;
  LASwritePoint* writer = nullptr;
  PTcomp ptcomp;
  bool compressed = false;
  uint16_t item_version = 0;
  unsigned threads = 1;
  long long header_start = 0;

  // The header block as written (scalars copied from the caller's header).
  struct Block {
    char file_signature[4];
    uint16_t file_source_ID;
    uint16_t global_encoding;
    uint32_t project_ID_GUID_data_1;
    uint16_t project_ID_GUID_data_2;
    uint16_t project_ID_GUID_data_3;
    uint8_t project_ID_GUID_data_4[8];
    uint8_t version_major;
    uint8_t version_minor;
    char system_identifier[32];
    char generating_software[32];
    uint16_t file_creation_day;
    uint16_t file_creation_year;
    uint16_t header_size;
    uint32_t offset_to_point_data;
    uint32_t number_of_variable_length_records;
    uint8_t point_data_format;
    uint16_t point_data_record_length;
    uint32_t number_of_point_records;
    uint32_t number_of_points_by_return[5];
    double x_scale_factor, y_scale_factor, z_scale_factor;
    double x_offset, y_offset, z_offset;
    double max_x, min_x, max_y, min_y, max_z, min_z;
    uint64_t start_of_waveform_data_packet_record;
    uint64_t start_of_first_extended_variable_length_record;
    uint32_t number_of_extended_variable_length_records;
    uint64_t extended_number_of_point_records;
    uint64_t extended_number_of_points_by_return[15];
    double max_gps_time, min_gps_time;
    uint16_t time_offset;
  } block;
  uint32_t block_size = 227;  // bytes of the block for the version
  LASquantizer quantizer;

  struct Evlr {
    uint16_t reserved;
    char user_id[16];
    uint16_t record_id;
    char description[32];
    std::vector<unsigned char> data;
  };
  std::vector<Evlr> evlrs;

  // Inventory of the written points.
  int64_t p_count = 0;
  uint64_t by_return[16] = {0};
  int32_t min_X = 0, max_X = 0, min_Y = 0, max_Y = 0, min_Z = 0, max_Z = 0;
};

#endif
