// The in-memory LAS/PTC file header: the public header block of LAS 1.0 to
// 1.5 with its defaults, the quantizer and attribute table, the VLR and EVLR
// lists, the interpreted views into their payloads, and the records the
// system consumes (compressor settings, tiling, original extent, COPC).
#ifndef LAS_LASHEADER_HPP
#define LAS_LASHEADER_HPP

#include <cstdint>  // fixed-width fields
#include <memory>   // std::shared_ptr for the compressor settings

#include "las/lasattributer.hpp"  // LASattributer, LASattribute
#include "las/lasquantizer.hpp"   // LASquantizer
#include "las/lasvlr.hpp"         // LASvlr, LASevlr and the interpreted records

class PTcomp;  // compressor settings, defined in ptcomp/ptcomp.hpp

class LASheader : public LASquantizer, public LASattributer {
 public:
  // Public header block (LAS 1.0 - 1.2).
  char file_signature[4];
  uint16_t file_source_ID;
  uint16_t global_encoding;
  uint32_t project_ID_GUID_data_1;
  uint16_t project_ID_GUID_data_2;
  uint16_t project_ID_GUID_data_3;
  unsigned char project_ID_GUID_data_4[8];
  uint8_t version_major;
  uint8_t version_minor;
  char system_identifier[33];    // 32 bytes on disk + terminating NUL
  char generating_software[33];  // 32 bytes on disk + terminating NUL
  uint16_t file_creation_day;
  uint16_t file_creation_year;
  uint16_t header_size;
  uint32_t offset_to_point_data;
  uint32_t number_of_variable_length_records;
  uint8_t point_data_format;
  uint16_t point_data_record_length;
  uint32_t number_of_point_records;
  uint32_t number_of_points_by_return[5];
  double max_x, min_x, max_y, min_y, max_z, min_z;

  // LAS 1.3
  uint64_t start_of_waveform_data_packet_record;

  // LAS 1.4
  uint64_t start_of_first_extended_variable_length_record;
  uint32_t number_of_extended_variable_length_records;
  uint64_t extended_number_of_point_records;
  uint64_t extended_number_of_points_by_return[15];

  // LAS 1.5 (18 bytes after the 1.4 block)
  double max_gps_time;
  double min_gps_time;
  uint16_t time_offset;

  // Header bytes beyond the fields known for the file's version (owned).
  uint32_t user_data_in_header_size;
  unsigned char* user_data_in_header;

  // Records (owned arrays; each record owns its data).
  LASvlr* vlrs;
  LASevlr* evlrs;

  // Views into record payloads (not owned).
  LASvlr_geo_keys* vlr_geo_key_directory;
  LASvlr_key_entry* vlr_geo_key_entries;
  double* vlr_geo_double_params;
  char* vlr_geo_ascii_params;
  char* vlr_geo_ogc_wkt_math;
  char* vlr_geo_ogc_wkt;
  LASvlr_classification* vlr_classification;
  // Owned table of 256 slots (created on first use); slot i views the
  // descriptor of record id 99 + i.
  LASvlr_wave_packet_descr** vlr_wave_packet_descr;

  // Owned interpreted records.
  unsigned char* vlr_copc_info;  // LAS_COPC_INFO_SIZE bytes, opaque here
  uint32_t number_of_copc_entries;
  uint32_t number_of_copc_pages;  // hierarchy pages the entries came from
  LASvlr_copc_entry* vlr_copc_entries;
  std::shared_ptr<PTcomp> ptcomp;  // compressor settings, null for plain LAS
  LASvlr_lastiling* vlr_lastiling;
  LASvlr_lasoriginal* vlr_lasoriginal;

  // Bytes between the last VLR and the point data (owned).
  uint32_t user_data_after_header_size;
  unsigned char* user_data_after_header;

  LASheader();
  ~LASheader();
  LASheader(const LASheader&) = delete;
  LASheader& operator=(const LASheader&) = delete;

  // Frees every record and returns every field to its default.
  void clean();
  // Each removal keeps offset_to_point_data consistent.
  void clean_user_data_in_header();
  void clean_user_data_after_header();
  void clean_vlrs();
  void clean_evlrs();
  void clean_ptcomp() { ptcomp.reset(); }
  void clean_lastiling();
  void clean_lasoriginal();
  void clean_copc();
  // Clears the views that point into VLR/EVLR payloads.
  void clear_views();

  // Appends a VLR. With take_data the header adopts `data` (allocated with
  // new[] and of length + 1 bytes, last byte 0); otherwise it copies
  // `length` bytes. offset_to_point_data grows by 54 + length unless
  // keep_offset. False when memory runs out.
  bool add_vlr(const char* user_id, uint16_t record_id, uint16_t length, unsigned char* data, bool take_data,
               const char* description = nullptr, bool keep_offset = false);
  // Removes VLR i (freeing its payload); offset_to_point_data shrinks by
  // 54 + its length. Views into its payload are cleared.
  bool remove_vlr(uint32_t i);
  bool remove_vlr(const char* user_id, uint16_t record_id);
  // Same for EVLRs (no effect on offset_to_point_data).
  bool add_evlr(const char* user_id, uint16_t record_id, uint64_t length, unsigned char* data, bool take_data,
                const char* description = nullptr);
  bool remove_evlr(uint32_t i);

  // Replaces the attribute table with the descriptors of an extra-bytes
  // payload (length / 192 of them).
  bool set_attributes_from_payload(const unsigned char* data, uint64_t length);
  // Points slot record_id - 99 of the wave packet table at a 26-byte
  // payload; false for record ids outside 100..354.
  bool set_wave_packet_descr(uint16_t record_id, unsigned char* data);

  // Bytes in the header block for this version: 227, 235, 375 or 393.
  uint32_t get_version_header_size() const;

 private:
  void set_defaults();
  void unview(const unsigned char* data);
};

#endif
