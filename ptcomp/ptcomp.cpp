// Compressor settings: item derivation, validation, versions, the payload.
#include "ptcomp/ptcomp.hpp"

#include <cstdarg>  // va_list for return_error
#include <cstdio>   // vsnprintf, snprintf
#include <cstring>  // memcpy

#include "las/bytestreamin_array.hpp"   // reading a payload held in memory
#include "las/bytestreamout_array.hpp"  // packing into memory
#include "tool/lasmessage.hpp"          // LASMessage for the short point size warning

namespace {

std::string format_text(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string format_text(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  return buffer;
}

}  // namespace

PTcomp::PTcomp() = default;

PTcomp::~PTcomp() {
  delete[] items;
  delete[] bytes;
}

PTcomp::PTcomp(const PTcomp& other) { *this = other; }

PTcomp& PTcomp::operator=(const PTcomp& other) {
  if (this == &other) return *this;
  compressor = other.compressor;
  coder = other.coder;
  version_major = other.version_major;
  version_minor = other.version_minor;
  version_revision = other.version_revision;
  options = other.options;
  chunk_size = other.chunk_size;
  number_of_special_evlrs = other.number_of_special_evlrs;
  offset_to_special_evlrs = other.offset_to_special_evlrs;
  delete[] items;
  items = nullptr;
  num_items = 0;
  if (other.items && other.num_items) {
    items = new LASitem[other.num_items];
    for (uint16_t i = 0; i < other.num_items; i++) items[i] = other.items[i];
    num_items = other.num_items;
  }
  error = other.error;
  return *this;
}

bool PTcomp::return_error(const char* format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof(message), format, args);
  va_end(args);
  error = format_text("%s (PTcomp v%d.%dr%d)", message, VERSION_MAJOR, VERSION_MINOR, VERSION_REVISION);
  return false;
}

bool PTcomp::check(uint16_t point_size) {
  if (compressor > COMPRESSOR_LAYERED_CHUNKED) return return_error("compressor %d not supported", compressor);
  if (coder != CODER_ARITHMETIC) return return_error("coder %d not supported", coder);
  return check_items(num_items, items, point_size);
}

bool PTcomp::check_items(uint16_t count, const LASitem* list, uint16_t point_size) {
  if (count == 0) return return_error("number of items cannot be zero");
  if (list == nullptr) return return_error("items pointer cannot be NULL");
  uint16_t size = 0;
  for (uint16_t i = 0; i < count; i++) {
    if (!check_item(&list[i])) return false;
    size = static_cast<uint16_t>(size + list[i].size);
  }
  if (point_size && point_size != size) {
    return return_error("point has size of %d but items only add up to %d bytes", point_size, size);
  }
  return true;
}

bool PTcomp::check_item(const LASitem* item) {
  const uint16_t v = item->version;
  switch (item->type) {
    case LASitem::BYTE:
      if (item->size < 1) return return_error("BYTE has size < 1");
      if (v > 2) return return_error("BYTE has version > 2");
      return true;
    case LASitem::POINT10:
      if (item->size != 20) return return_error("POINT10 has size != 20");
      if (v > 2) return return_error("POINT10 has version > 2");
      return true;
    case LASitem::GPSTIME11:
      if (item->size != 8) return return_error("GPSTIME11 has size != 8");
      if (v > 2) return return_error("GPSTIME11 has version > 2");
      return true;
    case LASitem::RGB12:
      if (item->size != 6) return return_error("RGB12 has size != 6");
      if (v > 2) return return_error("RGB12 has version > 2");
      return true;
    case LASitem::WAVEPACKET13:
      if (item->size != 29) return return_error("WAVEPACKET13 has size != 29");
      if (v > 1) return return_error("WAVEPACKET13 has version > 1");
      return true;
    case LASitem::POINT14:
      if (item->size != 30) return return_error("POINT14 has size != 30");
      if (v != 0 && v != 2 && v != 3 && v != 4) {
        return return_error("POINT14 has version != 0 and != 2 and != 3 and != 4");
      }
      return true;
    case LASitem::RGB14:
      if (item->size != 6) return return_error("RGB14 has size != 6");
      if (v != 0 && v != 2 && v != 3 && v != 4) {
        return return_error("RGB14 has version != 0 and != 2 and != 3 and != 4");
      }
      return true;
    case LASitem::RGBNIR14:
      if (item->size != 8) return return_error("RGBNIR14 has size != 8");
      if (v != 0 && v != 2 && v != 3 && v != 4) {
        return return_error("RGBNIR14 has version != 0 and != 2 and != 3 and != 4");
      }
      return true;
    case LASitem::WAVEPACKET14:
      if (item->size != 29) return return_error("WAVEPACKET14 has size != 29");
      if (v != 0 && v != 3 && v != 4) return return_error("WAVEPACKET14 has version != 0 and != 3 and != 4");
      return true;
    case LASitem::BYTE14:
      if (item->size < 1) return return_error("BYTE14 has size < 1");
      if (v != 0 && v != 2 && v != 3 && v != 4) {
        return return_error("BYTE14 has version != 0 and != 2 and != 3 and != 4");
      }
      return true;
    default:
      return return_error("item unknown (%d,%d,%d)", static_cast<int>(item->type), item->size, v);
  }
}

bool PTcomp::setup(uint16_t* out_num_items, LASitem** out_items, uint8_t point_type, uint16_t point_size,
                   uint16_t kind) {
  bool have_point14 = false;
  bool have_gps_time = false;
  bool have_rgb = false;
  bool have_nir = false;
  bool have_wavepacket = false;
  int standard_size = 0;
  switch (point_type) {
    case 0: standard_size = 20; break;
    case 1: have_gps_time = true; standard_size = 28; break;
    case 2: have_rgb = true; standard_size = 26; break;
    case 3: have_gps_time = have_rgb = true; standard_size = 34; break;
    case 4: have_gps_time = have_wavepacket = true; standard_size = 57; break;
    case 5: have_gps_time = have_rgb = have_wavepacket = true; standard_size = 63; break;
    case 6: have_point14 = true; standard_size = 30; break;
    case 7: have_point14 = have_rgb = true; standard_size = 36; break;
    case 8: have_point14 = have_rgb = have_nir = true; standard_size = 38; break;
    case 9: have_point14 = have_wavepacket = true; standard_size = 59; break;
    case 10: have_point14 = have_rgb = have_nir = have_wavepacket = true; standard_size = 67; break;
    default: return return_error("point type %d unknown", point_type);
  }
  int extra_bytes = static_cast<int>(point_size) - standard_size;
  if (extra_bytes < 0) {
    LASMessage(LAS_WARNING, "point size %d too small by %d bytes for point type %d. assuming point_size of %d",
               point_size, -extra_bytes, point_type, standard_size);
    extra_bytes = 0;
  }
  if (have_point14 && (options & OPTION_COMPATIBILITY)) {
    // Newer formats described with the older items.
    extra_bytes += 5;
    if (have_nir) extra_bytes += 2;
    have_point14 = false;
    have_gps_time = true;
    have_nir = false;
  }

  LASitem list[5];
  uint16_t count = 0;
  list[count].type = have_point14 ? LASitem::POINT14 : LASitem::POINT10;
  list[count++].size = have_point14 ? 30 : 20;
  if (have_gps_time && !have_point14) {
    list[count].type = LASitem::GPSTIME11;
    list[count++].size = 8;
  }
  if (have_rgb) {
    if (!have_point14) {
      list[count].type = LASitem::RGB12;
      list[count++].size = 6;
    } else if (have_nir) {
      list[count].type = LASitem::RGBNIR14;
      list[count++].size = 8;
    } else {
      list[count].type = LASitem::RGB14;
      list[count++].size = 6;
    }
  }
  if (have_wavepacket) {
    list[count].type = have_point14 ? LASitem::WAVEPACKET14 : LASitem::WAVEPACKET13;
    list[count++].size = 29;
  }
  if (extra_bytes) {
    list[count].type = have_point14 ? LASitem::BYTE14 : LASitem::BYTE;
    list[count++].size = static_cast<uint16_t>(extra_bytes);
  }
  for (uint16_t i = 0; i < count; i++) list[i].version = 0;

  delete[] items;
  items = new LASitem[count];
  for (uint16_t i = 0; i < count; i++) items[i] = list[i];
  num_items = count;
  compressor = kind;
  if (kind != COMPRESSOR_NONE && !request_version(2)) return false;

  if (out_num_items && out_num_items != &num_items) *out_num_items = num_items;
  if (out_items && out_items != &items) {
    *out_items = new LASitem[num_items];
    for (uint16_t i = 0; i < num_items; i++) (*out_items)[i] = items[i];
  }
  return true;
}

bool PTcomp::setup_writing(uint8_t point_type, uint16_t point_size, uint16_t item_version, uint32_t chunk) {
  const uint16_t kind = point_type >= 6 ? COMPRESSOR_LAYERED_CHUNKED : COMPRESSOR_POINTWISE_CHUNKED;
  options = 0;
  if (!setup(point_type, point_size, kind) || !request_version(item_version)) return false;
  chunk_size = chunk;
  return true;
}

bool PTcomp::request_version(uint16_t v) {
  if (num_items == 0 || items == nullptr) return return_error("call setup() before requesting version");
  if (compressor != COMPRESSOR_NONE) {
    if (v == 0) return return_error("with compression version is at least 1");
    if (v > 4) return return_error("version larger than 4 not supported");
  } else if (v != 0) {
    return return_error("without compression version is always 0");
  }
  for (uint16_t i = 0; i < num_items; i++) {
    switch (items[i].type) {
      case LASitem::POINT10:
      case LASitem::GPSTIME11:
      case LASitem::RGB12:
      case LASitem::BYTE:
        items[i].version = v < 3 ? v : 2;
        break;
      case LASitem::WAVEPACKET13:
        items[i].version = 1;
        break;
      case LASitem::POINT14:
      case LASitem::RGB14:
      case LASitem::RGBNIR14:
      case LASitem::WAVEPACKET14:
      case LASitem::BYTE14:
        items[i].version = v < 3 ? 3 : v;
        break;
      default:
        return return_error("item type not supported");
    }
  }
  return true;
}

bool PTcomp::read_payload(ByteStreamIn* stream, std::string* failure) {
  // Each field is read in file order; a read that runs out of data names
  // the field and its value so far.
  const char* field = nullptr;
  int item_index = -1;
  int field_value = 0;
  try {
    field = "reading compressor %d";
    field_value = compressor;
    stream->get16bitsLE(reinterpret_cast<unsigned char*>(&compressor));
    field = "reading coder %d";
    field_value = coder;
    stream->get16bitsLE(reinterpret_cast<unsigned char*>(&coder));
    field = "reading version_major %d";
    field_value = version_major;
    version_major = static_cast<uint8_t>(stream->getByte());
    field = "reading version_minor %d";
    field_value = version_minor;
    version_minor = static_cast<uint8_t>(stream->getByte());
    field = "reading version_revision %d";
    field_value = version_revision;
    stream->get16bitsLE(reinterpret_cast<unsigned char*>(&version_revision));
    field = "reading options %d";
    field_value = static_cast<int>(options);
    stream->get32bitsLE(reinterpret_cast<unsigned char*>(&options));
    field = "reading chunk_size %d";
    field_value = static_cast<int>(chunk_size);
    stream->get32bitsLE(reinterpret_cast<unsigned char*>(&chunk_size));
    field = "reading number_of_special_evlrs %d";
    field_value = static_cast<int>(number_of_special_evlrs);
    stream->get64bitsLE(reinterpret_cast<unsigned char*>(&number_of_special_evlrs));
    field = "reading offset_to_special_evlrs %d";
    field_value = static_cast<int>(offset_to_special_evlrs);
    stream->get64bitsLE(reinterpret_cast<unsigned char*>(&offset_to_special_evlrs));
    field = "reading num_items %d";
    field_value = num_items;
    uint16_t count = 0;
    stream->get16bitsLE(reinterpret_cast<unsigned char*>(&count));
    delete[] items;
    items = new LASitem[count];
    num_items = count;
    for (uint16_t i = 0; i < count; i++) {
      item_index = i;
      uint16_t type = 0;
      field = "reading type %d of item %d";
      field_value = 0;
      stream->get16bitsLE(reinterpret_cast<unsigned char*>(&type));
      items[i].type = type;
      field = "reading size %d of item %d";
      field_value = 0;
      stream->get16bitsLE(reinterpret_cast<unsigned char*>(&items[i].size));
      field = "reading version %d of item %d";
      field_value = 0;
      stream->get16bitsLE(reinterpret_cast<unsigned char*>(&items[i].version));
    }
  } catch (...) {
    if (failure) *failure = item_index >= 0 ? format_text(field, field_value, item_index) : format_text(field, field_value);
    return false;
  }
  return true;
}

bool PTcomp::unpack(const unsigned char* data, long long num_bytes, std::string* failure) {
  ByteStreamInArray* stream = new_byte_stream_in_array(data, num_bytes);
  const bool ok = read_payload(stream, failure);
  delete stream;
  return ok;
}

bool PTcomp::write_payload(ByteStreamOut* stream) const {
  bool ok = stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&compressor));
  ok = ok && stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&coder));
  ok = ok && stream->putByte(version_major);
  ok = ok && stream->putByte(version_minor);
  ok = ok && stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&version_revision));
  ok = ok && stream->put32bitsLE(reinterpret_cast<const unsigned char*>(&options));
  ok = ok && stream->put32bitsLE(reinterpret_cast<const unsigned char*>(&chunk_size));
  ok = ok && stream->put64bitsLE(reinterpret_cast<const unsigned char*>(&number_of_special_evlrs));
  ok = ok && stream->put64bitsLE(reinterpret_cast<const unsigned char*>(&offset_to_special_evlrs));
  ok = ok && stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&num_items));
  for (uint16_t i = 0; ok && i < num_items; i++) {
    const uint16_t type = static_cast<uint16_t>(items[i].type);
    ok = stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&type));
    ok = ok && stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&items[i].size));
    ok = ok && stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&items[i].version));
  }
  return ok;
}

bool PTcomp::pack(const unsigned char** out_bytes, uint32_t* num_bytes) {
  const uint32_t size = get_payload_size();
  ByteStreamOutArray* stream = new_byte_stream_out_array(size);
  const bool ok = write_payload(stream) && stream->get_size() == size;
  if (ok) {
    delete[] bytes;
    bytes = new unsigned char[size];
    memcpy(bytes, stream->get_data(), size);
    *out_bytes = bytes;
    *num_bytes = size;
  }
  delete stream;
  return ok;
}
