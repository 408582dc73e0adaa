// Extra-bytes descriptors: sizes, value access, and the attribute table.
#include "las/lasattributer.hpp"

#include <cmath>    // std::isnan
#include <cstring>  // memset, memcpy, strncmp, strnlen
#include <new>      // std::nothrow

namespace {

const int component_sizes[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};

template <typename T>
T load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
void store(unsigned char* p, T v) {
  memcpy(p, &v, sizeof(T));
}

// Rounds half away from zero into 64 bits, clamping instead of overflowing.
int64_t round_signed(double v) {
  if (std::isnan(v)) return 0;
  const double r = v < 0.0 ? v - 0.5 : v + 0.5;
  if (r >= 9223372036854775807.0) return INT64_MAX;
  if (r <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(r);
}

uint64_t round_unsigned(double v) {
  if (std::isnan(v) || v < 0.0) return 0;
  const double r = v + 0.5;
  if (r >= 18446744073709551615.0) return UINT64_MAX;
  return static_cast<uint64_t>(r);
}

}  // namespace

LASattribute::LASattribute() {
  memset(static_cast<void*>(this), 0, sizeof(LASattribute));
  scale[0] = scale[1] = scale[2] = 1.0;
}

LASattribute::LASattribute(unsigned char type, const char* attribute_name, const char* attribute_description,
                           unsigned char size)
    : LASattribute() {
  data_type = type;
  if (type == 0) options = size;
  // NUL-padded fields that may be filled completely.
  if (attribute_name) memcpy(name, attribute_name, strnlen(attribute_name, sizeof(name)));
  if (attribute_description) {
    memcpy(description, attribute_description, strnlen(attribute_description, sizeof(description)));
  }
}

int LASattribute::get_size() const {
  if (data_type == 0) return options;
  if (data_type > 30) return 0;
  return component_sizes[get_type()] * get_dim();
}

void LASattribute::set_scale(double value) {
  scale[0] = value;
  options |= 0x08;
}

void LASattribute::set_offset(double value) {
  offset[0] = value;
  options |= 0x10;
}

double LASattribute::get_raw_value(const unsigned char* value) const {
  switch (get_type()) {
    case U8: return load<uint8_t>(value);
    case I8: return load<int8_t>(value);
    case U16: return load<uint16_t>(value);
    case I16: return load<int16_t>(value);
    case U32: return load<uint32_t>(value);
    case I32: return load<int32_t>(value);
    case U64: return static_cast<double>(load<uint64_t>(value));
    case I64: return static_cast<double>(load<int64_t>(value));
    case F32: return load<float>(value);
    case F64: return load<double>(value);
    default: return 0.0;
  }
}

double LASattribute::get_value_as_float(const unsigned char* value) const {
  double v = get_raw_value(value);
  if (has_scale()) v *= scale[0];
  if (has_offset()) v += offset[0];
  return v;
}

void LASattribute::set_raw_value(unsigned char* value, double v) const {
  switch (get_type()) {
    case U8: store<uint8_t>(value, static_cast<uint8_t>(round_unsigned(v))); break;
    case I8: store<int8_t>(value, static_cast<int8_t>(round_signed(v))); break;
    case U16: store<uint16_t>(value, static_cast<uint16_t>(round_unsigned(v))); break;
    case I16: store<int16_t>(value, static_cast<int16_t>(round_signed(v))); break;
    case U32: store<uint32_t>(value, static_cast<uint32_t>(round_unsigned(v))); break;
    case I32: store<int32_t>(value, static_cast<int32_t>(round_signed(v))); break;
    case U64: store<uint64_t>(value, round_unsigned(v)); break;
    case I64: store<int64_t>(value, round_signed(v)); break;
    case F32: store<float>(value, static_cast<float>(v)); break;
    case F64: store<double>(value, v); break;
    default: break;
  }
}

void LASattribute::set_value_from_float(unsigned char* value, double z) const {
  double v = z;
  if (has_scale()) {
    v = (has_offset() ? z - offset[0] : z) / scale[0];
  } else if (has_offset()) {
    v = z - offset[0];
  }
  set_raw_value(value, v);
}

void LASattributer::clean_attributes() {
  delete[] attributes;
  delete[] attribute_starts;
  delete[] attribute_sizes;
  attributes = nullptr;
  attribute_starts = nullptr;
  attribute_sizes = nullptr;
  number_attributes = 0;
}

bool LASattributer::init_attributes(int32_t count, const LASattribute* descriptors) {
  clean_attributes();
  if (count < 0 || (count > 0 && descriptors == nullptr)) return false;
  if (count == 0) return true;
  attributes = new (std::nothrow) LASattribute[count];
  attribute_starts = new (std::nothrow) int32_t[count];
  attribute_sizes = new (std::nothrow) int32_t[count];
  if (!attributes || !attribute_starts || !attribute_sizes) {
    clean_attributes();
    return false;
  }
  memcpy(static_cast<void*>(attributes), descriptors, sizeof(LASattribute) * static_cast<size_t>(count));
  number_attributes = count;
  compute_starts();
  return true;
}

int32_t LASattributer::add_attribute(const LASattribute& attribute) {
  const int32_t count = number_attributes + 1;
  LASattribute* grown = new (std::nothrow) LASattribute[count];
  int32_t* starts = new (std::nothrow) int32_t[count];
  int32_t* sizes = new (std::nothrow) int32_t[count];
  if (!grown || !starts || !sizes) {
    delete[] grown;
    delete[] starts;
    delete[] sizes;
    return -1;
  }
  if (number_attributes) {
    memcpy(static_cast<void*>(grown), attributes, sizeof(LASattribute) * static_cast<size_t>(number_attributes));
  }
  grown[number_attributes] = attribute;
  delete[] attributes;
  delete[] attribute_starts;
  delete[] attribute_sizes;
  attributes = grown;
  attribute_starts = starts;
  attribute_sizes = sizes;
  number_attributes = count;
  compute_starts();
  return count - 1;
}

bool LASattributer::remove_attribute(int32_t index) {
  if (index < 0 || index >= number_attributes) return false;
  for (int32_t i = index + 1; i < number_attributes; i++) attributes[i - 1] = attributes[i];
  number_attributes--;
  if (number_attributes == 0) {
    clean_attributes();
  } else {
    compute_starts();
  }
  return true;
}

void LASattributer::compute_starts() {
  int32_t start = 0;
  for (int32_t i = 0; i < number_attributes; i++) {
    attribute_starts[i] = start;
    attribute_sizes[i] = attributes[i].get_size();
    start += attribute_sizes[i];
  }
}

int32_t LASattributer::get_attribute_index(const char* name) const {
  if (name == nullptr) return -1;
  for (int32_t i = 0; i < number_attributes; i++) {
    if (strncmp(attributes[i].name, name, sizeof(attributes[i].name)) == 0) return i;
  }
  return -1;
}

int32_t LASattributer::get_attribute_start(int32_t index) const {
  return (index >= 0 && index < number_attributes) ? attribute_starts[index] : -1;
}

int32_t LASattributer::get_attribute_size(int32_t index) const {
  return (index >= 0 && index < number_attributes) ? attribute_sizes[index] : -1;
}

int32_t LASattributer::get_attributes_size() const {
  return number_attributes ? attribute_starts[number_attributes - 1] + attribute_sizes[number_attributes - 1] : 0;
}
