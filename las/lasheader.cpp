// The LAS header: defaults, cleaning with the offset invariant, record lists
// and the interpreted payload views.
#include "las/lasheader.hpp"

#include <cstring>  // memset, memcpy, strnlen
#include <new>      // std::nothrow

namespace {

uint32_t saturating_sub(uint32_t a, uint64_t b) { return b >= a ? 0 : static_cast<uint32_t>(a - b); }

void copy_id(char* dest, size_t size, const char* src) {
  memset(dest, 0, size);
  if (src) memcpy(dest, src, strnlen(src, size));
}

}  // namespace

LASheader::LASheader() {
  vlrs = nullptr;
  evlrs = nullptr;
  user_data_in_header = nullptr;
  user_data_after_header = nullptr;
  vlr_wave_packet_descr = nullptr;
  vlr_copc_info = nullptr;
  vlr_copc_entries = nullptr;
  vlr_lastiling = nullptr;
  vlr_lasoriginal = nullptr;
  set_defaults();
}

LASheader::~LASheader() { clean(); }

void LASheader::set_defaults() {
  reset_quantizer();
  clean_attributes();
  memcpy(file_signature, "LASF", 4);
  file_source_ID = 0;
  global_encoding = 0;
  project_ID_GUID_data_1 = 0;
  project_ID_GUID_data_2 = 0;
  project_ID_GUID_data_3 = 0;
  memset(project_ID_GUID_data_4, 0, sizeof(project_ID_GUID_data_4));
  version_major = 1;
  version_minor = 2;
  memset(system_identifier, 0, sizeof(system_identifier));
  memset(generating_software, 0, sizeof(generating_software));
  file_creation_day = 0;
  file_creation_year = 0;
  header_size = 227;
  offset_to_point_data = 227;
  number_of_variable_length_records = 0;
  point_data_format = 0;
  point_data_record_length = 20;
  number_of_point_records = 0;
  memset(number_of_points_by_return, 0, sizeof(number_of_points_by_return));
  max_x = min_x = max_y = min_y = max_z = min_z = 0.0;
  start_of_waveform_data_packet_record = 0;
  start_of_first_extended_variable_length_record = 0;
  number_of_extended_variable_length_records = 0;
  extended_number_of_point_records = 0;
  memset(extended_number_of_points_by_return, 0, sizeof(extended_number_of_points_by_return));
  max_gps_time = 0.0;
  min_gps_time = 0.0;
  time_offset = 0;
  user_data_in_header_size = 0;
  user_data_after_header_size = 0;
  number_of_copc_entries = 0;
  number_of_copc_pages = 0;
  clear_views();
}

void LASheader::clean() {
  clean_user_data_in_header();
  clean_vlrs();
  clean_evlrs();
  clean_ptcomp();
  clean_lastiling();
  clean_lasoriginal();
  clean_copc();
  clean_user_data_after_header();
  set_defaults();
}

void LASheader::clean_user_data_in_header() {
  if (user_data_in_header_size) {
    header_size = static_cast<uint16_t>(saturating_sub(header_size, user_data_in_header_size));
    offset_to_point_data = saturating_sub(offset_to_point_data, user_data_in_header_size);
  }
  delete[] user_data_in_header;
  user_data_in_header = nullptr;
  user_data_in_header_size = 0;
}

void LASheader::clean_user_data_after_header() {
  if (user_data_after_header_size) {
    offset_to_point_data = saturating_sub(offset_to_point_data, user_data_after_header_size);
  }
  delete[] user_data_after_header;
  user_data_after_header = nullptr;
  user_data_after_header_size = 0;
}

void LASheader::clear_views() {
  vlr_geo_key_directory = nullptr;
  vlr_geo_key_entries = nullptr;
  vlr_geo_double_params = nullptr;
  vlr_geo_ascii_params = nullptr;
  vlr_geo_ogc_wkt_math = nullptr;
  vlr_geo_ogc_wkt = nullptr;
  vlr_classification = nullptr;
  delete[] vlr_wave_packet_descr;
  vlr_wave_packet_descr = nullptr;
}

void LASheader::unview(const unsigned char* data) {
  if (data == nullptr) return;
  const unsigned char* geo_keys = reinterpret_cast<const unsigned char*>(vlr_geo_key_directory);
  if (geo_keys == data) {
    vlr_geo_key_directory = nullptr;
    vlr_geo_key_entries = nullptr;
  }
  if (reinterpret_cast<const unsigned char*>(vlr_geo_double_params) == data) vlr_geo_double_params = nullptr;
  if (reinterpret_cast<const unsigned char*>(vlr_geo_ascii_params) == data) vlr_geo_ascii_params = nullptr;
  if (reinterpret_cast<const unsigned char*>(vlr_geo_ogc_wkt_math) == data) vlr_geo_ogc_wkt_math = nullptr;
  if (reinterpret_cast<const unsigned char*>(vlr_geo_ogc_wkt) == data) vlr_geo_ogc_wkt = nullptr;
  if (reinterpret_cast<const unsigned char*>(vlr_classification) == data) vlr_classification = nullptr;
  if (vlr_wave_packet_descr) {
    for (int i = 0; i < 256; i++) {
      if (reinterpret_cast<const unsigned char*>(vlr_wave_packet_descr[i]) == data) vlr_wave_packet_descr[i] = nullptr;
    }
  }
}

void LASheader::clean_vlrs() {
  if (vlrs) {
    for (uint32_t i = 0; i < number_of_variable_length_records; i++) {
      offset_to_point_data =
          saturating_sub(offset_to_point_data, LAS_VLR_HEADER_SIZE + uint64_t(vlrs[i].record_length_after_header));
      unview(vlrs[i].data);
      // An extra-bytes record may share its payload with the attribute table.
      if (vlrs[i].data != reinterpret_cast<unsigned char*>(attributes)) delete[] vlrs[i].data;
    }
    delete[] vlrs;
    vlrs = nullptr;
  }
  number_of_variable_length_records = 0;
}

void LASheader::clean_evlrs() {
  if (evlrs) {
    for (uint32_t i = 0; i < number_of_extended_variable_length_records; i++) {
      unview(evlrs[i].data);
      if (evlrs[i].data != reinterpret_cast<unsigned char*>(attributes)) delete[] evlrs[i].data;
    }
    delete[] evlrs;
    evlrs = nullptr;
  }
  number_of_extended_variable_length_records = 0;
}

void LASheader::clean_lastiling() {
  delete vlr_lastiling;
  vlr_lastiling = nullptr;
}

void LASheader::clean_lasoriginal() {
  delete vlr_lasoriginal;
  vlr_lasoriginal = nullptr;
}

void LASheader::clean_copc() {
  delete[] vlr_copc_info;
  vlr_copc_info = nullptr;
  delete[] vlr_copc_entries;
  vlr_copc_entries = nullptr;
  number_of_copc_entries = 0;
  number_of_copc_pages = 0;
}

// A record's own copy of `length` payload bytes (zeros without data), with
// one terminating zero so that text payloads can be read as strings. No
// payload for length 0; false when the memory is not there.
static bool copy_payload(const unsigned char* data, uint64_t length, unsigned char*& payload) {
  payload = nullptr;
  if (length == 0) return true;
  payload = new (std::nothrow) unsigned char[length + 1];
  if (payload == nullptr) return false;
  if (data) {
    memcpy(payload, data, length);
  } else {
    memset(payload, 0, length);
  }
  payload[length] = 0;
  return true;
}

bool LASheader::add_vlr(const char* user_id, uint16_t record_id, uint16_t length, unsigned char* data, bool take_data,
                        const char* description, bool keep_offset) {
  unsigned char* payload = take_data ? data : nullptr;
  if (!take_data && !copy_payload(data, length, payload)) return false;
  LASvlr* grown = new (std::nothrow) LASvlr[number_of_variable_length_records + 1];
  if (grown == nullptr) {
    if (!take_data) delete[] payload;
    return false;
  }
  for (uint32_t i = 0; i < number_of_variable_length_records; i++) grown[i] = vlrs[i];
  LASvlr& vlr = grown[number_of_variable_length_records];
  copy_id(vlr.user_id, sizeof(vlr.user_id), user_id);
  copy_id(vlr.description, sizeof(vlr.description), description);
  vlr.record_id = record_id;
  vlr.record_length_after_header = length;
  vlr.data = payload;
  delete[] vlrs;
  vlrs = grown;
  number_of_variable_length_records++;
  if (!keep_offset) offset_to_point_data += LAS_VLR_HEADER_SIZE + length;
  return true;
}

bool LASheader::remove_vlr(uint32_t i) {
  if (vlrs == nullptr || i >= number_of_variable_length_records) return false;
  unview(vlrs[i].data);
  offset_to_point_data =
      saturating_sub(offset_to_point_data, LAS_VLR_HEADER_SIZE + uint64_t(vlrs[i].record_length_after_header));
  if (vlrs[i].data != reinterpret_cast<unsigned char*>(attributes)) delete[] vlrs[i].data;
  for (uint32_t j = i + 1; j < number_of_variable_length_records; j++) vlrs[j - 1] = vlrs[j];
  number_of_variable_length_records--;
  vlrs[number_of_variable_length_records] = LASvlr();
  if (number_of_variable_length_records == 0) {
    delete[] vlrs;
    vlrs = nullptr;
  }
  return true;
}

bool LASheader::remove_vlr(const char* user_id, uint16_t record_id) {
  for (uint32_t i = 0; i < number_of_variable_length_records; i++) {
    if (vlrs[i].record_id == record_id && las_user_id_is(vlrs[i].user_id, user_id)) return remove_vlr(i);
  }
  return false;
}

bool LASheader::add_evlr(const char* user_id, uint16_t record_id, uint64_t length, unsigned char* data,
                         bool take_data, const char* description) {
  unsigned char* payload = take_data ? data : nullptr;
  if (!take_data && !copy_payload(data, length, payload)) return false;
  LASevlr* grown = new (std::nothrow) LASevlr[number_of_extended_variable_length_records + 1];
  if (grown == nullptr) {
    if (!take_data) delete[] payload;
    return false;
  }
  for (uint32_t i = 0; i < number_of_extended_variable_length_records; i++) grown[i] = evlrs[i];
  LASevlr& evlr = grown[number_of_extended_variable_length_records];
  copy_id(evlr.user_id, sizeof(evlr.user_id), user_id);
  copy_id(evlr.description, sizeof(evlr.description), description);
  evlr.record_id = record_id;
  evlr.record_length_after_header = length;
  evlr.data = payload;
  delete[] evlrs;
  evlrs = grown;
  number_of_extended_variable_length_records++;
  return true;
}

bool LASheader::remove_evlr(uint32_t i) {
  if (evlrs == nullptr || i >= number_of_extended_variable_length_records) return false;
  unview(evlrs[i].data);
  if (evlrs[i].data != reinterpret_cast<unsigned char*>(attributes)) delete[] evlrs[i].data;
  for (uint32_t j = i + 1; j < number_of_extended_variable_length_records; j++) evlrs[j - 1] = evlrs[j];
  number_of_extended_variable_length_records--;
  evlrs[number_of_extended_variable_length_records] = LASevlr();
  if (number_of_extended_variable_length_records == 0) {
    delete[] evlrs;
    evlrs = nullptr;
  }
  return true;
}

bool LASheader::set_attributes_from_payload(const unsigned char* data, uint64_t length) {
  const uint64_t count = length / LAS_EXTRA_BYTES_DESCR_SIZE;
  if (data == nullptr || count == 0) {
    clean_attributes();
    return count == 0;
  }
  if (count > 0x7FFFFFFF) return false;
  // The payload may be unaligned for the descriptor's doubles: copy it first.
  LASattribute* descriptors = new (std::nothrow) LASattribute[count];
  if (descriptors == nullptr) return false;
  memcpy(static_cast<void*>(descriptors), data, count * LAS_EXTRA_BYTES_DESCR_SIZE);
  const bool ok = init_attributes(static_cast<int32_t>(count), descriptors);
  delete[] descriptors;
  return ok;
}

bool LASheader::set_wave_packet_descr(uint16_t record_id, unsigned char* data) {
  if (record_id < 100 || record_id > 354) return false;
  if (vlr_wave_packet_descr == nullptr) {
    vlr_wave_packet_descr = new (std::nothrow) LASvlr_wave_packet_descr*[256]();
    if (vlr_wave_packet_descr == nullptr) return false;
  }
  vlr_wave_packet_descr[record_id - 99] = reinterpret_cast<LASvlr_wave_packet_descr*>(data);
  return true;
}

uint32_t LASheader::get_version_header_size() const {
  if (version_major != 1 || version_minor <= 2) return 227;
  if (version_minor == 3) return 235;
  if (version_minor == 4) return 375;
  return 393;
}
