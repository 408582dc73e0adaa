// The LAS/PTC file writer: header block, records, user data, points, EVLRs
// and the header patch at the end.
#include "lasio/laswriterlas.hpp"

#include <cstring>  // memcpy, strlen
#include <string>   // message texts

#include "las/bytestreamout_file.hpp"  // new_byte_stream_out_file
#include "ptcomp/laswritepoint.hpp"    // LASwritePoint
#include "tool/lasmessage.hpp"         // LASMessage, laserror
#include "tool/lasutility.hpp"         // LASfopen

namespace {

// Writes a value of sizeof(T) bytes little-endian.
template <typename T>
bool put(ByteStreamOut* out, const T& value) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&value);
  if constexpr (sizeof(T) == 1) {
    return out->putByte(*bytes);
  } else if constexpr (sizeof(T) == 2) {
    return out->put16bitsLE(bytes);
  } else if constexpr (sizeof(T) == 4) {
    return out->put32bitsLE(bytes);
  } else {
    static_assert(sizeof(T) == 8, "1, 2, 4 or 8 bytes");
    return out->put64bitsLE(bytes);
  }
}

bool put_bytes(ByteStreamOut* out, const void* bytes, uint64_t n) {
  const unsigned char* at = static_cast<const unsigned char*>(bytes);
  while (n > 0) {
    const unsigned int step = n > 0x40000000u ? 0x40000000u : static_cast<unsigned int>(n);
    if (!out->putBytes(at, step)) return false;
    at += step;
    n -= step;
  }
  return true;
}

}  // namespace

LASwriterLAS::LASwriterLAS() { memset(&block, 0, sizeof(block)); }

LASwriterLAS::~LASwriterLAS() {
  if (stream) close(true);
}

bool LASwriterLAS::fail(const char* text) {
  laserror("%s", text);
  return false;
}

bool LASwriterLAS::open(const char* file_name, const LASheader* header, uint16_t compressor, uint32_t chunk_size,
                        int io_buffer_size) {
  if (file_name == nullptr) return fail("file name pointer is zero");
  if (stream) close(true);
  file = LASfopen(file_name, "wb");
  if (file == nullptr) {
    laserror("cannot open file '%s' for write", file_name);
    return false;
  }
  if (io_buffer_size <= 0 || setvbuf(file, nullptr, _IOFBF, static_cast<size_t>(io_buffer_size)) != 0) {
    LASMessage(LAS_WARNING, "setvbuf() failed with buffer size %d", io_buffer_size);
  }
  ByteStreamOut* file_stream = new_byte_stream_out_file(file);
  if (!open(file_stream, header, compressor, chunk_size)) {
    delete file_stream;
    delete writer;
    writer = nullptr;
    stream = nullptr;
    fclose(file);
    file = nullptr;
    remove(file_name);  // nothing of the file was written
    return false;
  }
  delete_stream = true;
  return true;
}

bool LASwriterLAS::open(ByteStreamOut* out, const LASheader* header, uint16_t compressor, uint32_t chunk_size) {
  if (out == nullptr) return fail("ByteStreamOut* pointer is zero");
  if (header == nullptr) return fail("LASheader* pointer is zero");
  if (stream && stream != out) close(true);
  if (!set_up_items(header, compressor, chunk_size) || !fill_block(header)) return false;
  keep_evlrs(header);

  stream = out;
  delete_stream = false;
  header_start = out->tell();
  p_count = 0;
  for (auto& count : by_return) count = 0;
  if (!write_up_to_points(out, header)) {
    stream = nullptr;
    return fail("cannot write the header");
  }
  if (!writer->init(out)) {
    stream = nullptr;
    return fail("cannot start writing points");
  }
  return true;
}

bool LASwriterLAS::set_item_version(uint16_t version) {
  if (version > 4) return false;
  item_version = version;
  return true;
}

// The items and settings of the point format, and the point writer.
bool LASwriterLAS::set_up_items(const LASheader* header, uint16_t compressor, uint32_t chunk_size) {
  ptcomp = PTcomp();
  const uint8_t point_type = header->point_data_format & 0x3F;
  const uint16_t size = header->point_data_record_length;
  compressed = compressor != PTcomp::COMPRESSOR_NONE;
  bool ok;
  if (compressed && (point_type >= 6 || compressor != PTcomp::COMPRESSOR_POINTWISE)) {
    // Chunked: layered for formats 6 to 10, point-wise for 0 to 5. Version
    // 2 gives the items of formats 6 to 10 their version 3.
    ok = ptcomp.setup_writing(point_type, size, item_version ? item_version : 2, chunk_size);
  } else {
    ok = ptcomp.setup(point_type, size, compressor) &&
         (!compressed || item_version == 0 || ptcomp.request_version(item_version));
    if (compressed) ptcomp.chunk_size = chunk_size;
  }
  if (!ok) {
    laserror("%s", ptcomp.get_error() ? ptcomp.get_error() : "unsupported point type");
    return false;
  }
  delete writer;
  writer = new LASwritePoint();
  writer->set_threads(threads);
  if (!writer->setup(ptcomp.num_items, ptcomp.items, compressed ? &ptcomp : nullptr)) {
    laserror("cannot write points of type %d and size %d: %s", point_type, header->point_data_record_length,
             writer->error() ? writer->error() : "unsupported items");
    return false;
  }
  return true;
}

// The header block as it is written: the caller's fields, with the sizes,
// offsets and record counts of this file.
bool LASwriterLAS::fill_block(const LASheader* header) {
  memcpy(block.file_signature, "LASF", 4);
  block.file_source_ID = header->file_source_ID;
  block.global_encoding = header->global_encoding;
  block.project_ID_GUID_data_1 = header->project_ID_GUID_data_1;
  block.project_ID_GUID_data_2 = header->project_ID_GUID_data_2;
  block.project_ID_GUID_data_3 = header->project_ID_GUID_data_3;
  memcpy(block.project_ID_GUID_data_4, header->project_ID_GUID_data_4, 8);
  block.version_major = header->version_major;
  block.version_minor = header->version_minor;
  memcpy(block.system_identifier, header->system_identifier, 32);
  memcpy(block.generating_software, header->generating_software, 32);
  block.file_creation_day = header->file_creation_day;
  block.file_creation_year = header->file_creation_year;
  block_size = header->get_version_header_size();
  const uint64_t header_size = uint64_t(block_size) + header->user_data_in_header_size;
  if (header_size > 0xFFFF) return fail("user data in header makes the header larger than 65535 bytes");
  block.header_size = static_cast<uint16_t>(header_size);
  uint64_t offset = header_size;
  for (uint32_t i = 0; i < header->number_of_variable_length_records; i++) {
    offset += LAS_VLR_HEADER_SIZE + uint64_t(header->vlrs[i].record_length_after_header);
  }
  if (compressed) offset += LAS_VLR_HEADER_SIZE + uint64_t(ptcomp.get_payload_size());
  offset += header->user_data_after_header_size;
  if (offset > 0xFFFFFFFFull) return fail("records and user data make the point data start beyond 4 GB");
  block.offset_to_point_data = static_cast<uint32_t>(offset);
  block.number_of_variable_length_records = header->number_of_variable_length_records + (compressed ? 1 : 0);
  block.point_data_format = static_cast<uint8_t>((header->point_data_format & 0x3F) | (compressed ? 0x80 : 0));
  block.point_data_record_length = header->point_data_record_length;
  block.number_of_point_records = header->number_of_point_records;
  memcpy(block.number_of_points_by_return, header->number_of_points_by_return,
         sizeof(block.number_of_points_by_return));
  block.x_scale_factor = header->x_scale_factor;
  block.y_scale_factor = header->y_scale_factor;
  block.z_scale_factor = header->z_scale_factor;
  block.x_offset = header->x_offset;
  block.y_offset = header->y_offset;
  block.z_offset = header->z_offset;
  block.max_x = header->max_x;
  block.min_x = header->min_x;
  block.max_y = header->max_y;
  block.min_y = header->min_y;
  block.max_z = header->max_z;
  block.min_z = header->min_z;
  block.start_of_waveform_data_packet_record = header->start_of_waveform_data_packet_record;
  block.start_of_first_extended_variable_length_record = 0;
  block.number_of_extended_variable_length_records = 0;
  block.extended_number_of_point_records = header->extended_number_of_point_records;
  memcpy(block.extended_number_of_points_by_return, header->extended_number_of_points_by_return,
         sizeof(block.extended_number_of_points_by_return));
  block.max_gps_time = header->max_gps_time;
  block.min_gps_time = header->min_gps_time;
  block.time_offset = header->time_offset;
  quantizer = *static_cast<const LASquantizer*>(header);
  return true;
}

// Copies of the EVLRs, which go after the points (LAS 1.4 and later).
void LASwriterLAS::keep_evlrs(const LASheader* header) {
  evlrs.clear();
  if (header->number_of_extended_variable_length_records == 0) return;
  if (block.version_major != 1 || block.version_minor < 4) {
    LASMessage(LAS_WARNING, "LAS %d.%d has no EVLRs: %u EVLRs not written", block.version_major, block.version_minor,
               header->number_of_extended_variable_length_records);
    return;
  }
  for (uint32_t i = 0; i < header->number_of_extended_variable_length_records; i++) {
    const LASevlr& source = header->evlrs[i];
    Evlr evlr;
    evlr.reserved = source.reserved;
    memcpy(evlr.user_id, source.user_id, 16);
    evlr.record_id = source.record_id;
    memcpy(evlr.description, source.description, 32);
    if (source.data && source.record_length_after_header) {
      evlr.data.assign(source.data, source.data + source.record_length_after_header);
    }
    evlrs.push_back(std::move(evlr));
  }
  block.number_of_extended_variable_length_records = static_cast<uint32_t>(evlrs.size());
}

// Everything before the point data: header block, user data in it, the
// VLRs (a missing payload written as zeros), the settings record of a
// compressed file and the user data after the VLRs.
bool LASwriterLAS::write_up_to_points(ByteStreamOut* out, const LASheader* header) const {
  bool ok = write_header_block(out);
  if (ok && header->user_data_in_header_size) {
    ok = put_bytes(out, header->user_data_in_header, header->user_data_in_header_size);
  }
  for (uint32_t i = 0; ok && i < header->number_of_variable_length_records; i++) {
    const LASvlr& vlr = header->vlrs[i];
    ok = put(out, vlr.reserved) && put_bytes(out, vlr.user_id, 16) && put(out, vlr.record_id) &&
         put(out, vlr.record_length_after_header) && put_bytes(out, vlr.description, 32);
    if (ok && vlr.record_length_after_header) {
      if (vlr.data) {
        ok = put_bytes(out, vlr.data, vlr.record_length_after_header);
      } else {
        for (uint32_t b = 0; ok && b < vlr.record_length_after_header; b++) ok = out->putByte(0);
      }
    }
  }
  if (ok && compressed) ok = write_settings_record(out);
  if (ok && header->user_data_after_header_size) {
    ok = put_bytes(out, header->user_data_after_header, header->user_data_after_header_size);
  }
  return ok;
}

bool LASwriterLAS::write_settings_record(ByteStreamOut* out) const {
  char user_id[16] = {0};
  char description[32] = {0};
  memcpy(user_id, PTcomp::RECORD_USER_ID, strlen(PTcomp::RECORD_USER_ID));
  memcpy(description, "compressor settings", strlen("compressor settings"));
  const uint16_t reserved = 0;
  const uint16_t record_id = PTCOMP_RECORD_ID;
  const uint16_t length = static_cast<uint16_t>(ptcomp.get_payload_size());
  return put(out, reserved) && put_bytes(out, user_id, 16) && put(out, record_id) && put(out, length) &&
         put_bytes(out, description, 32) && ptcomp.write_payload(out);
}

bool LASwriterLAS::write_header_block(ByteStreamOut* out) const {
  const Block& b = block;
  bool ok = put_bytes(out, b.file_signature, 4) && put(out, b.file_source_ID) && put(out, b.global_encoding) &&
            put(out, b.project_ID_GUID_data_1) && put(out, b.project_ID_GUID_data_2) &&
            put(out, b.project_ID_GUID_data_3) && put_bytes(out, b.project_ID_GUID_data_4, 8) &&
            put(out, b.version_major) && put(out, b.version_minor) && put_bytes(out, b.system_identifier, 32) &&
            put_bytes(out, b.generating_software, 32) && put(out, b.file_creation_day) &&
            put(out, b.file_creation_year) && put(out, b.header_size) && put(out, b.offset_to_point_data) &&
            put(out, b.number_of_variable_length_records) && put(out, b.point_data_format) &&
            put(out, b.point_data_record_length) && put(out, b.number_of_point_records);
  for (int i = 0; ok && i < 5; i++) ok = put(out, b.number_of_points_by_return[i]);
  ok = ok && put(out, b.x_scale_factor) && put(out, b.y_scale_factor) && put(out, b.z_scale_factor) &&
       put(out, b.x_offset) && put(out, b.y_offset) && put(out, b.z_offset) && put(out, b.max_x) && put(out, b.min_x) &&
       put(out, b.max_y) && put(out, b.min_y) && put(out, b.max_z) && put(out, b.min_z);
  if (block_size >= 235) ok = ok && put(out, b.start_of_waveform_data_packet_record);
  if (block_size >= 375) {
    ok = ok && put(out, b.start_of_first_extended_variable_length_record) &&
         put(out, b.number_of_extended_variable_length_records) && put(out, b.extended_number_of_point_records);
    for (int i = 0; ok && i < 15; i++) ok = put(out, b.extended_number_of_points_by_return[i]);
  }
  if (block_size >= 393) ok = ok && put(out, b.max_gps_time) && put(out, b.min_gps_time) && put(out, b.time_offset);
  return ok;
}

void LASwriterLAS::update_inventory(const LASpoint* point) {
  const unsigned r = point->extended_point_type ? point->extended_return_number : point->return_number;
  by_return[r & 15]++;
  if (p_count == 0) {
    min_X = max_X = point->X;
    min_Y = max_Y = point->Y;
    min_Z = max_Z = point->Z;
    return;
  }
  if (point->X < min_X) min_X = point->X;
  if (point->X > max_X) max_X = point->X;
  if (point->Y < min_Y) min_Y = point->Y;
  if (point->Y > max_Y) max_Y = point->Y;
  if (point->Z < min_Z) min_Z = point->Z;
  if (point->Z > max_Z) max_Z = point->Z;
}

bool LASwriterLAS::write_point(const LASpoint* point) {
  if (writer == nullptr || stream == nullptr || point == nullptr) return false;
  if (point->point == nullptr || point->num_items != ptcomp.num_items) {
    return fail("point does not have the items of the file");
  }
  if (!writer->write(point->point)) {
    laserror("cannot write point %lld: %s", static_cast<long long>(p_count),
             writer->error() ? writer->error() : "output failed");
    return false;
  }
  update_inventory(point);
  p_count++;
  return true;
}

bool LASwriterLAS::chunk() { return writer && writer->chunk(); }

int64_t LASwriterLAS::close(bool update_header) {
  if (stream == nullptr) return -1;
  bool ok = true;
  if (writer && !writer->done()) {
    laserror("cannot finish the point data: %s", writer->error() ? writer->error() : "output failed");
    ok = false;
  }
  if (ok && !evlrs.empty()) {
    block.start_of_first_extended_variable_length_record = static_cast<uint64_t>(stream->tell());
    for (const Evlr& evlr : evlrs) {
      const uint64_t length = evlr.data.size();
      ok = ok && put(stream, evlr.reserved) && put_bytes(stream, evlr.user_id, 16) && put(stream, evlr.record_id) &&
           put(stream, length) && put_bytes(stream, evlr.description, 32) &&
           (length == 0 || put_bytes(stream, evlr.data.data(), length));
    }
    if (!ok) laserror("cannot write the extended variable length records");
  }
  if (ok && update_header) {
    if (!stream->isSeekable()) {
      LASMessage(LAS_WARNING, "cannot update the header of a stream that cannot seek");
    } else {
      const bool extended = block.version_major == 1 && block.version_minor >= 4;
      const uint64_t count = static_cast<uint64_t>(p_count);
      if (extended) {
        block.extended_number_of_point_records = count;
        for (int i = 0; i < 15; i++) block.extended_number_of_points_by_return[i] = by_return[i + 1];
      }
      if ((!extended || (block.point_data_format & 0x3F) <= 5) && count <= 0xFFFFFFFFull) {
        block.number_of_point_records = static_cast<uint32_t>(count);
        for (int i = 0; i < 5; i++) block.number_of_points_by_return[i] = static_cast<uint32_t>(by_return[i + 1]);
      } else if (!extended) {
        laserror("%lld points do not fit into a LAS %d.%d header", static_cast<long long>(p_count), block.version_major,
                 block.version_minor);
        ok = false;
      } else {
        block.number_of_point_records = 0;
        for (int i = 0; i < 5; i++) block.number_of_points_by_return[i] = 0;
      }
      if (p_count > 0) {
        block.min_x = quantizer.get_x(min_X);
        block.max_x = quantizer.get_x(max_X);
        block.min_y = quantizer.get_y(min_Y);
        block.max_y = quantizer.get_y(max_Y);
        block.min_z = quantizer.get_z(min_Z);
        block.max_z = quantizer.get_z(max_Z);
      }
      const long long end = stream->tell();
      if (!stream->seek(header_start) || !write_header_block(stream) || !stream->seek(end)) {
        laserror("cannot update the header");
        ok = false;
      }
    }
  }
  const int64_t bytes = stream->tell() - header_start;
  delete writer;
  writer = nullptr;
  if (delete_stream) delete stream;
  stream = nullptr;
  if (file) {
    if (fclose(file) != 0 && ok) {
      laserror("cannot close the file");
      ok = false;
    }
    file = nullptr;
  }
  return ok ? bytes : -1;
}
