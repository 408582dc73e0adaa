// Extra-bytes descriptors: sizes and the attribute table.
#include "las/lasattributer.hpp"

#include <cstring>  // memset, memcpy, strncmp, strnlen
#include <new>      // std::nothrow

namespace {

const int component_sizes[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};

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
