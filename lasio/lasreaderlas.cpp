// The LAS/PTC file reader: header block, VLRs, user data, EVLRs, compression
// check, point reader set-up, reading and seeking.
#include "lasio/lasreaderlas.hpp"

#include <cstdarg>  // va_list for the formatted messages
#include <cstring>  // memcpy, memset, strncmp, strlen
#include <memory>   // std::make_shared for the compressor settings
#include <string>   // formatted message texts
#include <vector>   // payloads of unknown size

#include "index/copcindex.hpp"       // EPToctree, COPCindex
#include "index/lasindex.hpp"        // LASindex
#include "las/bytestreamin_file.hpp"  // new_byte_stream_in_file
#include "lasio/lasindexfile.hpp"     // lax_file_name
#include "lasio/lasreadopener.hpp"    // z_from_attribute settings
#include "ptcomp/layermask.hpp"       // LayerMask, the layers z needs
#include "ptcomp/lasreadpoint.hpp"    // LASreadPoint
#include "ptcomp/ptcomp.hpp"          // PTcomp, settings record and item lists
#include "tool/lasmessage.hpp"        // LASMessage, laserror
#include "tool/lasutility.hpp"        // LASfopen

namespace {

std::string text_of(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string text_of(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  return buffer;
}

// Reports an error (with the halt-on-error decision) and answers false.
bool fail(const std::string& text) {
  laserror("%s", text.c_str());
  return false;
}

// Reads a little-endian value; false at the end of the stream.
template <typename T>
bool get(ByteStreamIn* stream, T& value) {
  try {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&value);
    if constexpr (sizeof(T) == 1) {
      *bytes = static_cast<unsigned char>(stream->getByte());
    } else if constexpr (sizeof(T) == 2) {
      stream->get16bitsLE(bytes);
    } else if constexpr (sizeof(T) == 4) {
      stream->get32bitsLE(bytes);
    } else {
      static_assert(sizeof(T) == 8, "1, 2, 4 or 8 bytes");
      stream->get64bitsLE(bytes);
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool get_bytes(ByteStreamIn* stream, void* dest, long long n) {
  try {
    stream->getBytes(static_cast<unsigned char*>(dest), n);
    return true;
  } catch (...) {
    return false;
  }
}

// Reads n bytes into a new[] block of n + 1 bytes whose last byte is 0. The
// block grows as the data arrives, so a length taken from a damaged file
// cannot make it allocate much more than the stream really holds. Null at
// the end of the stream.
unsigned char* read_payload(ByteStreamIn* stream, uint64_t n) {
  constexpr uint64_t STEP = 1 << 20;
  try {
    if (n <= STEP) {
      unsigned char* data = new unsigned char[n + 1];
      try {
        stream->getBytes(data, static_cast<long long>(n));
      } catch (...) {
        delete[] data;
        return nullptr;
      }
      data[n] = 0;
      return data;
    }
    std::vector<unsigned char> buffer;
    uint64_t have = 0;
    while (have < n) {
      const uint64_t step = std::min<uint64_t>(n - have, std::max<uint64_t>(STEP, have));
      buffer.resize(have + step);
      stream->getBytes(buffer.data() + have, static_cast<long long>(step));
      have += step;
    }
    unsigned char* data = new unsigned char[n + 1];
    memcpy(data, buffer.data(), n);
    data[n] = 0;
    return data;
  } catch (...) {
    return nullptr;
  }
}

// A record's user id as a terminated text.
std::string user_id_text(const char* user_id) { return std::string(user_id, strnlen(user_id, 16)); }

// Appends a record to an owned array that grows by doubling.
template <typename R>
void append_record(R*& list, uint32_t& count, uint32_t& capacity, const R& record) {
  if (count == capacity) {
    const uint32_t grown = capacity ? capacity * 2 : 8;
    R* bigger = new R[grown];
    for (uint32_t i = 0; i < count; i++) bigger[i] = list[i];
    delete[] list;
    list = bigger;
    capacity = grown;
  }
  list[count++] = record;
}

constexpr const char* SUPPORT_LINE = "for help with this file, contact the support of the Kestrel tools";

// Reads header fields in order; the first that is missing is reported as
// "reading header.<name>".
class FieldReader {
 public:
  explicit FieldReader(ByteStreamIn* stream) : stream(stream) {}
  template <typename T>
  bool operator()(T& value, const char* name) const {
    return get(stream, value) || fail(text_of("reading header.%s", name));
  }
  bool bytes(void* dest, long long n, const char* name) const {
    return get_bytes(stream, dest, n) || fail(text_of("reading header.%s", name));
  }

 private:
  ByteStreamIn* stream;
};

// A VLR or EVLR being read.
struct RecordRef {
  bool extended;        // an EVLR
  uint32_t index;       // in the file's list
  const char* user_id;  // 16 characters, NUL-padded
  uint16_t record_id;
  uint64_t length;  // of the payload
  LASrecordKind kind;
  uint64_t position;  // of the payload in the file (EVLRs)
};

const char* list_of(const RecordRef& r) { return r.extended ? "evlrs" : "vlrs"; }

// Records the reader consumes: they are not listed in the header.
bool consumed(LASrecordKind kind) {
  return kind == LASrecordKind::PTCOMP_SETTINGS || kind == LASrecordKind::TILING ||
         kind == LASrecordKind::ORIGINAL_EXTENT || kind == LASrecordKind::KESTREL_IGNORED;
}

// The header of a VLR or EVLR, up to its payload.
template <typename R>
bool read_record_header(ByteStreamIn* stream, R& record, const char* list, uint32_t i) {
  const char* failed = nullptr;
  if (!get(stream, record.reserved)) {
    failed = "reserved";
  } else if (!get_bytes(stream, record.user_id, 16)) {
    failed = "user_id";
  } else if (!get(stream, record.record_id)) {
    failed = "record_id";
  } else if (!get(stream, record.record_length_after_header)) {
    failed = "record_length_after_header";
  } else if (!get_bytes(stream, record.description, 32)) {
    failed = "description";
  }
  return failed == nullptr || fail(text_of("reading header.%s[%d].%s", list, i, failed));
}

bool fail_size(const RecordRef& r) {
  return fail(text_of("evlr size of %llu bytes in header.evlrs[%d] not supported",
                      static_cast<unsigned long long>(r.length), r.index));
}

bool fail_payload(const RecordRef& r) {
  return fail(text_of("reading %llu bytes of data into header.%s[%d].data", static_cast<unsigned long long>(r.length),
                      list_of(r), r.index));
}

// The compressor settings.
bool read_settings(ByteStreamIn* stream, LASheader& h, const RecordRef& r) {
  if (r.length > 0xFFFFFFFFull) return fail_size(r);
  unsigned char* payload = read_payload(stream, r.length);
  if (payload == nullptr) return fail_payload(r);
  auto settings = std::make_shared<PTcomp>();
  std::string failure;
  const bool ok = settings->unpack(payload, static_cast<long long>(r.length), &failure);
  delete[] payload;
  if (!ok) return fail(failure);
  h.ptcomp = settings;
  return true;
}

bool read_tiling(ByteStreamIn* stream, LASheader& h, const RecordRef& r) {
  if (r.length != LAS_TILING_SIZE) {
    return fail(text_of("record_length_after_header of %s %s (%d) is %u instead of 28", r.extended ? "EVLR" : "VLR",
                        user_id_text(r.user_id).c_str(), r.record_id, static_cast<unsigned>(r.length)));
  }
  LASvlr_lastiling tiling;
  if (!get(stream, tiling.level)) return fail(text_of("reading vlr_lastiling->level %u", tiling.level));
  if (!get(stream, tiling.level_index)) {
    return fail(text_of("reading vlr_lastiling->level_index %u", tiling.level_index));
  }
  if (!get(stream, tiling.implicit_levels)) {
    return fail(text_of("reading vlr_lastiling->implicit_levels %u", tiling.implicit_levels));
  }
  if (!get(stream, tiling.min_x)) return fail(text_of("reading vlr_lastiling->min_x %g", tiling.min_x));
  if (!get(stream, tiling.max_x)) return fail(text_of("reading vlr_lastiling->max_x %g", tiling.max_x));
  if (!get(stream, tiling.min_y)) return fail(text_of("reading vlr_lastiling->min_y %g", tiling.min_y));
  if (!get(stream, tiling.max_y)) return fail(text_of("reading vlr_lastiling->max_y %g", tiling.max_y));
  if (h.vlr_lastiling == nullptr) h.vlr_lastiling = new LASvlr_lastiling();
  *h.vlr_lastiling = tiling;
  return true;
}

// The original extent (VLRs only).
bool read_original(ByteStreamIn* stream, LASheader& h, const RecordRef& r) {
  if (r.length != LAS_ORIGINAL_SIZE) {
    return fail(text_of("record_length_after_header of VLR %s (%d) is %d instead of 176",
                        user_id_text(r.user_id).c_str(), r.record_id, static_cast<int>(r.length)));
  }
  LASvlr_lasoriginal original;
  if (!get(stream, original.number_of_point_records)) {
    return fail(text_of("reading vlr_lasoriginal->number_of_point_records %u",
                        static_cast<unsigned>(original.number_of_point_records)));
  }
  for (int k = 0; k < 15; k++) {
    if (!get(stream, original.number_of_points_by_return[k])) {
      return fail(text_of("reading vlr_lasoriginal->number_of_points_by_return[%d] %u", k,
                          static_cast<unsigned>(original.number_of_points_by_return[k])));
    }
  }
  if (!get(stream, original.min_x)) return fail(text_of("reading vlr_lasoriginal->min_x %g", original.min_x));
  if (!get(stream, original.max_x)) return fail(text_of("reading vlr_lasoriginal->max_x %g", original.max_x));
  if (!get(stream, original.min_y)) return fail(text_of("reading vlr_lasoriginal->min_y %g", original.min_y));
  if (!get(stream, original.max_y)) return fail(text_of("reading vlr_lasoriginal->max_y %g", original.max_y));
  if (!get(stream, original.min_z)) return fail(text_of("reading vlr_lasoriginal->min_z %g", original.min_z));
  if (!get(stream, original.max_z)) return fail(text_of("reading vlr_lasoriginal->max_z %g", original.max_z));
  if (h.vlr_lasoriginal == nullptr) h.vlr_lasoriginal = new LASvlr_lasoriginal();
  *h.vlr_lasoriginal = original;
  return true;
}

// Reads a record's payload: a record the reader consumes into the header,
// any other into `data` (left null when empty). An ignored EVLR is skipped
// by seeking past it; an ignored VLR is read like any other.
bool read_record_payload(ByteStreamIn* stream, LASheader& h, const RecordRef& r, unsigned char** data) {
  switch (r.kind) {
    case LASrecordKind::PTCOMP_SETTINGS:
      return read_settings(stream, h, r);
    case LASrecordKind::TILING:
      return read_tiling(stream, h, r);
    case LASrecordKind::ORIGINAL_EXTENT:
      return read_original(stream, h, r);
    case LASrecordKind::KESTREL_IGNORED:
      if (!r.extended) break;
      if (r.length > uint64_t(INT64_MAX) - r.position || !stream->seek(static_cast<long long>(r.position + r.length))) {
        return fail_payload(r);
      }
      return true;
    default:
      break;
  }
  if (r.length == 0) return true;
  if (r.length > 0xFFFFFFFFull) return fail_size(r);
  *data = read_payload(stream, r.length);
  return *data != nullptr || fail_payload(r);
}

// The GeoTIFF key directory: a view into the payload when it is long enough
// for the directory head.
void take_geo_keys(LASheader& h, const RecordRef& r, unsigned char* data, const char* records) {
  if (h.vlr_geo_key_directory) LASMessage(LAS_WARNING, "%s contain more than one GeoKeyDirectoryTag", records);
  if (r.length < 8) {
    h.vlr_geo_key_directory = nullptr;
    h.vlr_geo_key_entries = nullptr;
    LASMessage(LAS_WARNING, "GeoKeyDirectoryTag of %u bytes is too short", static_cast<unsigned>(r.length));
    return;
  }
  h.vlr_geo_key_directory = reinterpret_cast<LASvlr_geo_keys*>(data);
  h.vlr_geo_key_entries = reinterpret_cast<LASvlr_key_entry*>(data + 8);
  const char* name = r.extended ? "evlr_geo_keys" : "vlr_geo_keys";
  const LASvlr_geo_keys* keys = h.vlr_geo_key_directory;
  if (keys->key_directory_version != 1) {
    LASMessage(LAS_WARNING, "wrong %s->key_directory_version: %d != 1", name, keys->key_directory_version);
  }
  if (keys->key_revision != 1) LASMessage(LAS_WARNING, "wrong %s->key_revision: %d != 1", name, keys->key_revision);
  if (keys->minor_revision != 0) {
    LASMessage(LAS_WARNING, "wrong %s->minor_revision: %d != 0", name, keys->minor_revision);
  }
}

void warn_deprecated_attributes(const LASheader& h) {
  for (int32_t a = 0; a < h.number_attributes; a++) {
    if (h.attributes[a].data_type > 10) {
      const std::string name(h.attributes[a].name, strnlen(h.attributes[a].name, 32));
      LASMessage(LAS_WARNING, "data type %d of attribute %d ('%s') is deprecated", h.attributes[a].data_type, a,
                 name.c_str());
    }
  }
}

// The plausibility of a wave packet descriptor read from a VLR.
void check_wave_packet_descr(const LASvlr_wave_packet_descr* descr, int index) {
  if (descr->getBitsPerSample() != 8 && descr->getBitsPerSample() != 16) {
    LASMessage(LAS_WARNING, "bits per sample for wave packet descr %d is %d instead of 8 or 16", index,
               descr->getBitsPerSample());
  }
  if (descr->getNumberOfSamples() == 0) {
    LASMessage(LAS_WARNING, "number of samples for wave packet descr %d is zero", index);
  }
  if (descr->getNumberOfSamples() > 8096) {
    LASMessage(LAS_WARNING, "number of samples of %u for wave packet descr %d is with unusually large",
               descr->getNumberOfSamples(), index);
  }
  if (descr->getTemporalSpacing() == 0) {
    LASMessage(LAS_WARNING, "temporal spacing for wave packet descr %d is zero", index);
  }
}

void take_wave_packet_descr(LASheader& h, const RecordRef& r, unsigned char* data, const char* records) {
  const int index = r.record_id - 99;
  if (h.vlr_wave_packet_descr && h.vlr_wave_packet_descr[index]) {
    LASMessage(LAS_WARNING, "%s defines wave packet descr %d more than once", records, index);
  }
  if (!r.extended && r.length != LAS_WAVE_PACKET_DESCR_SIZE) {
    LASMessage(LAS_WARNING, "variable length record payload for wave packet descr %d is %d instead of 26 bytes", index,
               static_cast<int>(r.length));
  }
  if (r.length < LAS_WAVE_PACKET_DESCR_SIZE) return;  // too short to be looked at
  h.set_wave_packet_descr(r.record_id, data);
  if (!r.extended) check_wave_packet_descr(h.vlr_wave_packet_descr[index], index);
}

// The COPC info VLR, kept (as a copy) only in a file of the kind it belongs in.
void take_copc_info(LASheader& h, const RecordRef& r, const unsigned char* data) {
  if (r.index != 0)
    LASMessage(LAS_WARNING, "COPC VLR info should be the first vlr (does not conform to the LAS format)");
  const unsigned format = h.point_data_format & 63;
  if (!(h.version_major == 1 && h.version_minor >= 4 && format >= 6 && format <= 8)) {
    LASMessage(LAS_WARNING,
               "COPC VLR info should belong in PTC file 1.4 or 1.5 pdrf 6-8 not PTC %u.%u pdrf %u (does not conform to "
               "the LAS format).",
               h.version_major, h.version_minor, format);
  } else if (h.vlr_copc_info) {
    LASMessage(LAS_WARNING, "variable length records contain more than one copc info");
  } else {
    h.vlr_copc_info = new unsigned char[LAS_COPC_INFO_SIZE]();
    memcpy(h.vlr_copc_info, data, r.length < LAS_COPC_INFO_SIZE ? r.length : LAS_COPC_INFO_SIZE);
  }
}

// Interprets the payload of a listed record by its kind: the header keeps
// views into it. VLRs and EVLRs differ in a few checks and in wording.
void interpret_payload(LASheader& h, const RecordRef& r, unsigned char* data) {
  const char* records = r.extended ? "extended variable length records" : "variable length records";
  switch (r.kind) {
    case LASrecordKind::GEO_KEY_DIRECTORY:
      take_geo_keys(h, r, data, records);
      break;
    case LASrecordKind::GEO_DOUBLE_PARAMS:
      if (h.vlr_geo_double_params) {
        LASMessage(LAS_WARNING, "%s contain more than one %s", records,
                   r.extended ? "GeoF64ParamsTag" : "GeoDoubleParamsTag");
      }
      h.vlr_geo_double_params = reinterpret_cast<double*>(data);
      break;
    case LASrecordKind::GEO_ASCII_PARAMS:
      if (h.vlr_geo_ascii_params) LASMessage(LAS_WARNING, "%s contain more than one GeoAsciiParamsTag", records);
      h.vlr_geo_ascii_params = reinterpret_cast<char*>(data);
      break;
    case LASrecordKind::WKT_MATH_TRANSFORM:
      if (h.vlr_geo_ogc_wkt_math) LASMessage(LAS_WARNING, "%s contain more than one WKT OGC MATH TRANSFORM", records);
      h.vlr_geo_ogc_wkt_math = reinterpret_cast<char*>(data);
      break;
    case LASrecordKind::WKT_COORDINATE_SYS:
      if (h.vlr_geo_ogc_wkt) LASMessage(LAS_WARNING, "%s contain more than one WKT OGC COORDINATE SYSTEM", records);
      h.vlr_geo_ogc_wkt = reinterpret_cast<char*>(data);
      break;
    case LASrecordKind::PROJECTION_UNKNOWN:
      LASMessage(LAS_WARNING, "unknown LASF_Projection %s with record_id %d.", r.extended ? "EVLR" : "VLR",
                 r.record_id);
      break;
    case LASrecordKind::CLASSIFICATION:
      if (h.vlr_classification) LASMessage(LAS_WARNING, "%s contain more than one ClassificationLookup", records);
      h.vlr_classification = reinterpret_cast<LASvlr_classification*>(data);
      break;
    case LASrecordKind::EXTRA_BYTES:
      h.set_attributes_from_payload(data, r.length);
      if (!r.extended) warn_deprecated_attributes(h);
      break;
    case LASrecordKind::WAVE_PACKET_DESCR:
      take_wave_packet_descr(h, r, data, records);
      break;
    case LASrecordKind::COPC_INFO:
    case LASrecordKind::COPC_OTHER:
      if (r.extended) {
        LASMessage(LAS_WARNING, "unknown COPC EVLR (does not conform to the LAS format).");
      } else if (r.kind == LASrecordKind::COPC_INFO) {
        take_copc_info(h, r, data);
      }
      break;
    case LASrecordKind::COPC_HIERARCHY:
      if (!r.extended) break;
      if (h.vlr_copc_info == nullptr) {
        LASMessage(LAS_WARNING,
                   "no COPC VLR info before COPC EPT hierarchy EVLR (does not conform to the LAS format).");
      } else if (!EPToctree::set_vlr_entries(data, r.length, r.position, h)) {
        LASMessage(LAS_WARNING, "invalid COPC EPT hierarchy (does not conform to the LAS format).");
        h.clean_copc();
      }
      break;
    default:
      break;
  }
}

// Warnings for records that should have a payload but have none.
void warn_empty_payload(const RecordRef& r) {
  if (r.extended) {
    if (las_user_id_is(r.user_id, "copc")) {
      LASMessage(LAS_WARNING, "no payload for COPC EVLR (does not conform to the LAS format).");
    }
  } else if (las_user_id_is(r.user_id, "LASF_Projection")) {
    LASMessage(LAS_WARNING, "no payload for LASF_Projection VLR with record_id %d.", r.record_id);
  } else if (las_user_id_is(r.user_id, "LASF_Spec")) {
    LASMessage(LAS_WARNING, "no payload for LASF_Spec (does not conform to the LAS format).");
  } else if (las_user_id_is(r.user_id, "copc")) {
    LASMessage(LAS_WARNING, "no payload for copc (does not conform to the LAS format).");
  }
}

// Reads and interprets the payload of one record.
bool take_record_payload(ByteStreamIn* stream, LASheader& h, const RecordRef& r, unsigned char** data) {
  if (!read_record_payload(stream, h, r, data)) return false;
  if (*data != nullptr) {
    interpret_payload(h, r, *data);
  } else if (r.length == 0) {
    warn_empty_payload(r);
  }
  return true;
}
}  // namespace

LASreaderLAS::LASreaderLAS(LASreadOpener* opener)
    : LASreader(opener),
      file(nullptr),
      file_name(nullptr),
      stream(nullptr),
      delete_stream(true),
      reader(nullptr),
      checked_end(false),
      keep_copc(false) {}

LASreaderLAS::~LASreaderLAS() {
  if (reader || stream) close(true);
  delete[] file_name;
}

int LASreaderLAS::get_format() const {
  return (header.ptcomp && header.ptcomp->compressor != PTcomp::COMPRESSOR_NONE) ? 2 : 1;
}

bool LASreaderLAS::open(const char* name, int io_buffer_size, bool peek_only, unsigned int decompress_selective) {
  if (name == nullptr) return fail("file name pointer is zero");
  if (reader || stream) close(true);
  file = LASfopen(name, "rb");
  if (file == nullptr) return fail(text_of("cannot open file '%s' for read", name));
  delete[] file_name;
  const size_t length = strlen(name);
  file_name = new char[length + 1];
  memcpy(file_name, name, length + 1);
  if (io_buffer_size <= 0 || setvbuf(file, nullptr, _IOFBF, static_cast<size_t>(io_buffer_size)) != 0) {
    LASMessage(LAS_WARNING, "setvbuf() failed with buffer size %d", io_buffer_size);
  }
  ByteStreamIn* file_stream = new_byte_stream_in_file(file);
  delete_stream = true;
  if (!open(file_stream, peek_only, decompress_selective)) return false;
  if (!peek_only) read_lax_index();
  return true;
}

bool LASreaderLAS::open(ByteStreamIn* new_stream, bool peek_only, unsigned int decompress_selective) {
  if (new_stream == nullptr) return fail("ByteStreamIn* pointer is zero");
  start_over(new_stream);
  uint32_t block_size = 227;
  if (!read_header_block() || !check_header_block() || !read_later_blocks(&block_size)) return false;
  LASheader& h = header;
  // The EVLR list is built as the records are read.
  const uint32_t evlr_count = h.number_of_extended_variable_length_records;
  h.number_of_extended_variable_length_records = 0;
  if (!read_user_data_in_header(block_size)) return false;

  npoints =
      static_cast<int64_t>(h.number_of_point_records ? h.number_of_point_records : h.extended_number_of_point_records);
  p_count = 0;
  p_idx = 0;
  if (peek_only) {
    // No records were read: the lists stay empty and so do their counts.
    h.number_of_variable_length_records = 0;
    h.point_data_format &= 0x7F;
    return true;
  }

  const uint32_t original_offset = h.offset_to_point_data;
  bool vlrs_cut = false;
  if (!read_vlrs(&vlrs_cut) || !read_user_data_after_vlrs(original_offset)) return false;
  if (h.version_major == 1 && h.version_minor >= 4 && evlr_count > 0) {
    if (!stream->isSeekable()) {
      LASMessage(LAS_WARNING, "LAS %d.%d file has %d EVLRs but stream is not seekable ...", h.version_major,
                 h.version_minor, static_cast<int>(evlr_count));
    } else if (!read_evlrs(evlr_count)) {
      return false;
    }
  }

  if (!keep_copc) remove_copc_records();
  if (!check_compression(vlrs_cut)) return false;
  z_from_attribute();
  if (!create_point_reader(decompress_selective)) return false;
  read_special_index(original_offset);
  if (h.number_of_copc_entries > 0 && h.vlr_copc_info) set_copc_index(new COPCindex(h));
  return start_point_data(original_offset);
}

// A spatial index among the special EVLRs that the compressor settings
// announce. Whatever goes wrong here only costs the index: the points read
// the same without it.
void LASreaderLAS::read_special_index(uint32_t point_data_offset) {
  const PTcomp* settings = header.ptcomp.get();
  if (settings == nullptr || settings->number_of_special_evlrs <= 0 ||
      settings->offset_to_special_evlrs < static_cast<int64_t>(point_data_offset) || !stream->isSeekable()) {
    return;
  }
  const long long saved = stream->tell();
  long long offset = settings->offset_to_special_evlrs;
  bool read_failed = false;
  for (int64_t i = 0; i < settings->number_of_special_evlrs; i++) {
    char user_id[16];
    uint16_t record_id;
    uint64_t length;
    if (!stream->seek(offset + 2) || !get_bytes(stream, user_id, 16) || !get(stream, record_id)) {
      read_failed = true;
      break;
    }
    if (record_id == 30 && las_user_id_is(user_id, "Kestrel")) {
      LASindex* found = new LASindex();
      if (stream->seek(offset + LAS_EVLR_HEADER_SIZE) && found->read(stream, static_cast<uint64_t>(npoints))) {
        set_index(found);
      } else {
        delete found;
      }
      break;
    }
    if (!get(stream, length) || length > uint64_t(INT64_MAX - offset - LAS_EVLR_HEADER_SIZE)) {
      read_failed = true;
      break;
    }
    offset += LAS_EVLR_HEADER_SIZE + static_cast<long long>(length);
  }
  if (read_failed) {
    LASMessage(LAS_WARNING, "trying to read %u internal EVLRs. ignoring ...",
               static_cast<unsigned>(settings->number_of_special_evlrs));
  }
  stream->seek(saved);
}

// An index in a file of its own beside the point file: the name with
// ".lax" in place of its extension.
void LASreaderLAS::read_lax_index() {
  if (index || file_name == nullptr) return;
  const std::string lax = lax_file_name(file_name);
  FILE* probe = fopen(lax.c_str(), "rb");
  if (probe == nullptr) return;
  fclose(probe);
  LASindex* found = new LASindex();
  if (found->read(lax.c_str(), static_cast<uint64_t>(npoints))) {
    set_index(found);
  } else {
    delete found;
  }
}

void LASreaderLAS::start_over(ByteStreamIn* new_stream) {
  if (reader) {
    reader->done();
    delete reader;
    reader = nullptr;
  }
  if (stream && stream != new_stream && delete_stream) delete stream;
  stream = new_stream;
  header.clean();
  point.clean();
  set_index(nullptr);
  set_copc_index(nullptr);
  inside_none();
  npoints = 0;
  p_count = 0;
  p_idx = 0;
  checked_end = false;
}

// The public header block up to the bounding box, field by field.
bool LASreaderLAS::read_header_block() {
  LASheader& h = header;
  const FieldReader field(stream);
  if (!(field.bytes(h.file_signature, 4, "file_signature") && field(h.file_source_ID, "file_source_ID") &&
        field(h.global_encoding, "global_encoding") && field(h.project_ID_GUID_data_1, "project_ID_GUID_data_1") &&
        field(h.project_ID_GUID_data_2, "project_ID_GUID_data_2") &&
        field(h.project_ID_GUID_data_3, "project_ID_GUID_data_3") &&
        field.bytes(h.project_ID_GUID_data_4, 8, "project_ID_GUID_data_4") && field(h.version_major, "version_major") &&
        field(h.version_minor, "version_minor") && field.bytes(h.system_identifier, 32, "system_identifier") &&
        field.bytes(h.generating_software, 32, "generating_software"))) {
    return false;
  }
  h.system_identifier[32] = '\0';
  h.generating_software[32] = '\0';
  if (!(field(h.file_creation_day, "file_creation_day") && field(h.file_creation_year, "file_creation_year") &&
        field(h.header_size, "header_size") && field(h.offset_to_point_data, "offset_to_point_data") &&
        field(h.number_of_variable_length_records, "number_of_variable_length_records") &&
        field(h.point_data_format, "point_data_format") &&
        field(h.point_data_record_length, "point_data_record_length") &&
        field(h.number_of_point_records, "number_of_point_records"))) {
    return false;
  }
  for (int i = 0; i < 5; i++) {
    if (!get(stream, h.number_of_points_by_return[i])) {
      return fail(text_of("reading header.number_of_points_by_return %d", i));
    }
  }
  return field(h.x_scale_factor, "x_scale_factor") && field(h.y_scale_factor, "y_scale_factor") &&
         field(h.z_scale_factor, "z_scale_factor") && field(h.x_offset, "x_offset") && field(h.y_offset, "y_offset") &&
         field(h.z_offset, "z_offset") && field(h.max_x, "max_x") && field(h.min_x, "min_x") &&
         field(h.max_y, "max_y") && field(h.min_y, "min_y") && field(h.max_z, "max_z") && field(h.min_z, "min_z");
}

// Errors for a header block the reader cannot go on with, warnings for
// oddities it can read past.
bool LASreaderLAS::check_header_block() {
  const LASheader& h = header;
  if (strncmp(h.file_signature, "LASF", 4) != 0) {
    char signature[5];
    memcpy(signature, h.file_signature, 4);
    signature[4] = '\0';
    return fail(text_of("wrong file signature '%4s'", signature));
  }
  if (h.version_major != 1 || h.version_minor > 5) {
    LASMessage(LAS_WARNING, "unknown version %d.%d (allowed 1.0-1.5)", h.version_major, h.version_minor);
  }
  const int format = h.point_data_format & 0x7F;
  bool allowed = true;
  if (h.version_minor <= 1) {
    allowed = format <= 1;
  } else if (h.version_minor == 2) {
    allowed = format <= 3;
  } else if (h.version_minor == 3) {
    allowed = format <= 5;
  } else if (h.version_minor >= 5) {
    allowed = format > 5;
  }
  if (!allowed) {
    LASMessage(LAS_WARNING, "LAS version %d.%d does not allow point format %d", h.version_major, h.version_minor,
               format);
  }
  if (h.header_size < 227) return fail(text_of("header size is %d but should be at least 227", h.header_size));
  if (h.offset_to_point_data < h.header_size) {
    return fail(text_of("offset to point data %d is smaller than header size %d",
                        static_cast<int>(h.offset_to_point_data), h.header_size));
  }
  if (h.x_scale_factor == 0.0) LASMessage(LAS_WARNING, "x scale factor is zero.");
  if (h.y_scale_factor == 0.0) LASMessage(LAS_WARNING, "y scale factor is zero.");
  if (h.z_scale_factor == 0.0) LASMessage(LAS_WARNING, "z scale factor is zero.");
  if ((h.min_x > h.max_x || h.min_y > h.max_y || h.min_z > h.max_z) &&
      (h.number_of_point_records || h.extended_number_of_point_records)) {
    LASMessage(LAS_WARNING, "invalid bounding box [ %g %g %g / %g %g %g ]", h.min_x, h.min_y, h.min_z, h.max_x, h.max_y,
               h.max_z);
  }
  return true;
}

// The blocks that versions 1.3, 1.4 and 1.5 add to the header block;
// `block_size` ends as the size of what was read.
bool LASreaderLAS::read_later_blocks(uint32_t* block_size) {
  LASheader& h = header;
  const FieldReader field(stream);
  if (h.version_major != 1 || h.version_minor < 3) return true;
  if (h.header_size < 235) {
    LASMessage(LAS_WARNING, "for LAS 1.%d header_size should at least be 235 but it is only %d", h.version_minor,
               h.header_size);
  } else {
    if (!field(h.start_of_waveform_data_packet_record, "start_of_waveform_data_packet_record")) return false;
    *block_size = 235;
  }
  if (h.version_minor < 4) return true;
  if (h.header_size < 375) {
    return fail(
        text_of("for LAS 1.%d header_size should at least be 375 but it is only %d", h.version_minor, h.header_size));
  }
  if (!(field(h.start_of_first_extended_variable_length_record, "start_of_first_extended_variable_length_record") &&
        field(h.number_of_extended_variable_length_records, "number_of_extended_variable_length_records") &&
        field(h.extended_number_of_point_records, "extended_number_of_point_records"))) {
    return false;
  }
  for (int i = 0; i < 15; i++) {
    if (!get(stream, h.extended_number_of_points_by_return[i])) {
      return fail(text_of("reading header.extended_number_of_points_by_return[%d]", i));
    }
  }
  *block_size = 375;
  if (h.version_minor < 5) return true;
  if (h.header_size < 393) {
    return fail(
        text_of("for LAS 1.%d header_size should at least be 393 but it is only %d", h.version_minor, h.header_size));
  }
  if (!(field(h.max_gps_time, "max_gps_time") && field(h.min_gps_time, "min_gps_time") &&
        field(h.time_offset, "time_offset"))) {
    return false;
  }
  *block_size = 393;
  return true;
}

// Whatever the header holds beyond the known fields.
bool LASreaderLAS::read_user_data_in_header(uint32_t block_size) {
  LASheader& h = header;
  if (h.header_size <= block_size) return true;
  const uint32_t size = h.header_size - block_size;
  h.user_data_in_header = read_payload(stream, size);
  if (h.user_data_in_header == nullptr) {
    return fail(text_of("reading %d bytes of data into header.user_data_in_header", static_cast<int>(size)));
  }
  h.user_data_in_header_size = size;
  return true;
}

// The bytes between the last VLR and the point data.
bool LASreaderLAS::read_user_data_after_vlrs(uint32_t point_data_offset) {
  LASheader& h = header;
  const long long rest = static_cast<long long>(point_data_offset) - stream->tell();
  if (rest <= 0) return true;
  h.user_data_after_header = read_payload(stream, static_cast<uint64_t>(rest));
  if (h.user_data_after_header == nullptr) {
    return fail(text_of("reading %lld bytes of data into header.user_data_after_header", rest));
  }
  h.user_data_after_header_size = static_cast<uint32_t>(rest);
  return true;
}

// The point data starts at the offset the file gave.
bool LASreaderLAS::start_point_data(uint32_t point_data_offset) {
  if (stream->isSeekable() && stream->tell() != static_cast<long long>(point_data_offset) &&
      !stream->seek(point_data_offset)) {
    return fail(text_of("cannot seek to the point data at offset %u", point_data_offset));
  }
  if (!reader->init(stream)) return false;
  reader->set_threads(threads, npoints);
  checked_end = false;
  return true;
}

void LASreaderLAS::set_threads(unsigned count) {
  threads = count ? count : 1;
  if (reader) reader->set_threads(threads, npoints);
}

bool LASreaderLAS::read_vlrs(bool* vlrs_cut) {
  LASheader& h = header;
  const uint32_t count = h.number_of_variable_length_records;
  h.number_of_variable_length_records = 0;
  uint32_t capacity = 0;
  long long available = static_cast<long long>(h.offset_to_point_data) - h.header_size;
  for (uint32_t i = 0; i < count; i++) {
    if (available < LAS_VLR_HEADER_SIZE) {
      LASMessage(LAS_WARNING,
                 "only %d bytes until point block after reading %d of %d vlrs. skipping remaining vlrs ...",
                 static_cast<int>(available), static_cast<int>(i), static_cast<int>(count));
      *vlrs_cut = true;
      break;
    }
    LASvlr vlr;
    if (!read_record_header(stream, vlr, "vlrs", i)) return false;
    available -= LAS_VLR_HEADER_SIZE;
    if (available < vlr.record_length_after_header) {
      LASMessage(LAS_WARNING, "only %d bytes until point block when trying to read %d bytes into header.vlrs[%d].data",
                 static_cast<int>(available), vlr.record_length_after_header, static_cast<int>(i));
      vlr.record_length_after_header = static_cast<uint16_t>(available);
    }
    available -= vlr.record_length_after_header;
    const LASrecordKind kind = las_record_kind(vlr.user_id, vlr.record_id, false);
    const RecordRef record = {false, i, vlr.user_id, vlr.record_id, vlr.record_length_after_header, kind, 0};
    if (!take_record_payload(stream, h, record, &vlr.data)) return false;
    if (consumed(record.kind)) {
      delete[] vlr.data;
      h.offset_to_point_data -= LAS_VLR_HEADER_SIZE + vlr.record_length_after_header;
      continue;
    }
    append_record(h.vlrs, h.number_of_variable_length_records, capacity, vlr);
  }
  return true;
}

bool LASreaderLAS::read_evlrs(uint32_t count) {
  LASheader& h = header;
  const long long saved = stream->tell();
  uint32_t capacity = 0;
  const uint64_t evlrs_start = h.start_of_first_extended_variable_length_record;
  if (evlrs_start > uint64_t(INT64_MAX) || !stream->seek(static_cast<long long>(evlrs_start))) {
    return fail("reading header.evlrs[0].reserved");
  }
  uint64_t position = evlrs_start;
  for (uint32_t i = 0; i < count; i++) {
    LASevlr evlr;
    if (!read_record_header(stream, evlr, "evlrs", i)) return false;
    position += LAS_EVLR_HEADER_SIZE;
    const LASrecordKind kind = las_record_kind(evlr.user_id, evlr.record_id, true);
    const RecordRef record = {true, i, evlr.user_id, evlr.record_id, evlr.record_length_after_header, kind, position};
    if (!take_record_payload(stream, h, record, &evlr.data)) return false;
    position += record.length;
    if (consumed(record.kind)) {
      delete[] evlr.data;
      continue;
    }
    append_record(h.evlrs, h.number_of_extended_variable_length_records, capacity, evlr);
  }
  if (!stream->seek(saved)) return fail("cannot seek back from the extended variable length records");
  return true;
}

void LASreaderLAS::remove_copc_records() {
  LASheader& h = header;
  h.remove_vlr("copc", 1);
  h.remove_vlr("copc", 10000);
  for (uint32_t i = 0; i < h.number_of_extended_variable_length_records; i++) {
    if (h.evlrs[i].record_id == 1000 && las_user_id_is(h.evlrs[i].user_id, "copc")) {
      h.remove_evlr(i);
      if (h.number_of_extended_variable_length_records == 0) h.start_of_first_extended_variable_length_record = 0;
      break;
    }
  }
}

bool LASreaderLAS::check_compression(bool vlrs_cut) {
  LASheader& h = header;
  if (!h.ptcomp) {
    if (h.point_data_format & 0xC0) {
      if (vlrs_cut) {
        return fail(
            "your PTC file has corruptions in the LAS header resulting in\n\tthe ptcomp VLR being lost. maybe your "
            "download failed?");
      }
      LASMessage(LAS_ERROR, "this file was compressed with an experimental version of ptcomp");
      LASMessage(LAS_INFO, "%s", SUPPORT_LINE);
      if (do_halt_on_error()) byebye();
      return false;
    }
    return true;
  }
  if (!h.ptcomp->check(h.point_data_record_length)) {
    const char* error = h.ptcomp->get_error();
    LASMessage(LAS_ERROR, "%s\n\tplease upgrade to the latest release of Kestrel (with PTcomp)", error ? error : "");
    LASMessage(LAS_INFO, "%s", SUPPORT_LINE);
    if (do_halt_on_error()) byebye();
    return false;
  }
  h.point_data_format &= 0x7F;
  return true;
}

void LASreaderLAS::z_from_attribute() {
  if (opener == nullptr || !opener->z_from_attribute) return;
  if (opener->z_from_attribute_index < 0) {
    const int32_t index = header.get_attribute_index("height above ground");
    if (index >= 0) {
      opener->z_from_attribute_index = static_cast<int16_t>(index);
      LASMessage(LAS_VERBOSE, "autodetect extra_byte[%d] as z\n", index);
    } else {
      opener->z_from_attribute_index = -1;
      LASMessage(LAS_WARNING, "\"height above ground\" not found in extra bytes. using Z\n");
    }
  }
  if (opener->z_from_attribute_index >= 0) header.z_attribute_index = opener->z_from_attribute_index;
}

bool LASreaderLAS::create_point_reader(unsigned int decompress_selective) {
  LASheader& h = header;
  // z taken from an attribute needs that attribute's extra bytes decoded,
  // whatever the caller asked for.
  const int16_t za = h.z_attribute_index;
  if (za >= 0 && za < h.number_attributes) {
    decompress_selective |= LayerMask::Z | LayerMask::extra_bytes(static_cast<uint32_t>(h.attribute_starts[za]),
                                                                  static_cast<uint32_t>(h.attribute_sizes[za]));
  }
  reader = new LASreadPoint(decompress_selective);
  const PTcomp* settings = h.ptcomp.get();
  PTcomp derived;
  if (settings == nullptr) {
    if (!derived.setup(h.point_data_format, h.point_data_record_length, PTcomp::COMPRESSOR_NONE)) {
      return fail(text_of("unknown point type %d with point size %d", h.point_data_format, h.point_data_record_length));
    }
  }
  const PTcomp& items = settings ? *settings : derived;
  if (!point.init(&h, items.num_items, items.items, &h)) {
    return fail(text_of("point type %d with point size %d has items the point cannot hold", h.point_data_format,
                        h.point_data_record_length));
  }
  if (!reader->setup(items.num_items, items.items, settings)) {
    const char* error = reader->error();
    return fail(text_of("cannot read points of type %d and size %d: %s", h.point_data_format,
                        h.point_data_record_length, error ? error : "unsupported items"));
  }
  return true;
}

bool LASreaderLAS::read_point_default() {
  if (reader == nullptr || checked_end) return false;
  const char* name = file_name ? file_name : "";
  if (p_count < npoints) {
    if (reader->read(point.point)) {
      p_count++;
      p_idx++;
      return true;
    }
    if (reader->warning()) LASMessage(LAS_WARNING, "'%s' for '%s'", reader->warning(), name);
    if (reader->error()) {
      LASMessage(LAS_ERROR, "'%s' after %u of %u points for '%s'", reader->error(), static_cast<unsigned>(p_count),
                 static_cast<unsigned>(npoints), name);
    } else {
      LASMessage(LAS_WARNING, "end-of-file after %u of %u points for '%s'", static_cast<unsigned>(p_count),
                 static_cast<unsigned>(npoints), name);
    }
    return false;
  }
  if (!checked_end) {
    if (!reader->check_end()) {
      LASMessage(LAS_ERROR, "'%s' when reaching end of encoding", reader->error() ? reader->error() : "");
      p_count--;
      p_idx--;
    }
    if (reader->warning()) LASMessage(LAS_WARNING, "'%s'", reader->warning());
    checked_end = true;
  }
  return false;
}

bool LASreaderLAS::seek(long long p_index) {
  if (reader == nullptr || p_index < 0 || p_index >= npoints) return false;
  // Chunks decoded ahead would mostly be thrown away by the next interval.
  if (reads_by_index()) reader->set_threads(1, npoints);
  if (!reader->seek(p_count, p_index)) return false;
  p_count = p_index;
  p_idx = p_index;
  checked_end = false;
  return true;
}

void LASreaderLAS::close(bool close_stream) {
  if (reader) {
    reader->done();
    delete reader;
    reader = nullptr;
  }
  if (close_stream) {
    if (stream && delete_stream) delete stream;
    stream = nullptr;
    if (file) fclose(file);
    file = nullptr;
    delete[] file_name;
    file_name = nullptr;
  }
}
