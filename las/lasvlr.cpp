// The catalogue of records the system recognises, by user id and record id.
#include "las/lasvlr.hpp"

#include <cstring>  // strncmp

bool las_user_id_is(const char* user_id, const char* text) { return strncmp(user_id, text, 16) == 0; }

LASrecordKind las_record_kind(const char* user_id, uint16_t record_id, bool extended) {
  if (las_user_id_is(user_id, "LASF_Projection")) {
    switch (record_id) {
      case 34735: return LASrecordKind::GEO_KEY_DIRECTORY;
      case 34736: return LASrecordKind::GEO_DOUBLE_PARAMS;
      case 34737: return LASrecordKind::GEO_ASCII_PARAMS;
      case 2111: return LASrecordKind::WKT_MATH_TRANSFORM;
      case 2112: return LASrecordKind::WKT_COORDINATE_SYS;
      default: return LASrecordKind::PROJECTION_UNKNOWN;
    }
  }
  if (las_user_id_is(user_id, "LASF_Spec")) {
    if (record_id == 0) return LASrecordKind::CLASSIFICATION;
    if (record_id == 4) return LASrecordKind::EXTRA_BYTES;
    if (record_id >= 100 && record_id <= 354) return LASrecordKind::WAVE_PACKET_DESCR;
    return LASrecordKind::SPEC_PLAIN;
  }
  if (las_user_id_is(user_id, "ptcomp encoded")) return LASrecordKind::PTCOMP_SETTINGS;
  if (las_user_id_is(user_id, "kestrel tile")) return LASrecordKind::TILING;
  if (las_user_id_is(user_id, "Kestrel")) {
    if (record_id == 10) return LASrecordKind::TILING;
    if (extended) return LASrecordKind::KESTREL_IGNORED;
    if (record_id == 20) return LASrecordKind::ORIGINAL_EXTENT;
    if (record_id < 2000) return LASrecordKind::KESTREL_IGNORED;
    return LASrecordKind::OTHER;
  }
  if (las_user_id_is(user_id, "copc")) {
    if (record_id == 1) return LASrecordKind::COPC_INFO;
    if (record_id == 1000) return LASrecordKind::COPC_HIERARCHY;
    return LASrecordKind::COPC_OTHER;
  }
  if (las_user_id_is(user_id, "Raster PTC") && record_id == 7113) return LASrecordKind::RASTER_PTC;
  return LASrecordKind::OTHER;
}
