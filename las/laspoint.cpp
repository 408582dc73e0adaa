// The point record in memory: item layout and copies.
#include "las/laspoint.hpp"

#include <cstddef>  // offsetof
#include <cmath>    // NAN
#include <cstring>  // memset, memcpy
#include <new>      // std::nothrow


static_assert(offsetof(LASpoint, intensity) == 12, "POINT10 layout");
static_assert(offsetof(LASpoint, scan_angle_rank) == 16, "POINT10 layout");
static_assert(offsetof(LASpoint, point_source_ID) == 18, "POINT10 layout");
static_assert(offsetof(LASpoint, extended_scan_angle) == 20, "POINT14 layout");
static_assert(offsetof(LASpoint, extended_classification) == 23, "POINT14 layout");
static_assert(offsetof(LASpoint, gps_time_change) == 28, "POINT14 layout");
static_assert(offsetof(LASpoint, gps_time) == 32, "POINT14 layout");
static_assert(offsetof(LASpoint, rgb) == 40, "POINT14 layout");
static_assert(offsetof(LASpoint, wavepacket) == 48, "item buffer layout");

namespace {

// Bytes of the record fields, X up to and including the wave packet.
constexpr size_t RECORD_BYTES = offsetof(LASpoint, wavepacket) + 29;

}  // namespace

LASpoint::LASpoint() {
  extra_bytes = nullptr;
  point = nullptr;
  items = nullptr;
  quantizer = nullptr;
  attributer = nullptr;
  clean();
}

LASpoint::~LASpoint() { clean(); }

LASpoint::LASpoint(const LASpoint& other) : LASpoint() { *this = other; }

LASpoint& LASpoint::operator=(const LASpoint& other) {
  if (this == &other) return *this;
  bool same_layout = num_items == other.num_items;
  for (uint16_t i = 0; same_layout && i < num_items; i++) same_layout = items[i] == other.items[i];
  if (!same_layout) {
    if (other.num_items) {
      init(other.quantizer, other.num_items, other.items, other.attributer);
    } else {
      clean();
    }
  }
  memcpy(static_cast<void*>(this), &other, RECORD_BYTES);
  if (extra_bytes_number && extra_bytes) memcpy(extra_bytes, other.extra_bytes, extra_bytes_number);
  quantizer = other.quantizer;
  attributer = other.attributer;
  return *this;
}

void LASpoint::zero() {
  memset(static_cast<void*>(this), 0, RECORD_BYTES);
  return_number = 1;
  number_of_returns = 1;
  extended_return_number = 1;
  extended_number_of_returns = 1;
  if (extra_bytes) memset(extra_bytes, 0, extra_bytes_number);
  extended_point_type = (items && num_items && items[0].type == LASitem::POINT14) ? 1 : 0;
}

void LASpoint::clean() {
  delete[] extra_bytes;
  delete[] point;
  delete[] items;
  extra_bytes = nullptr;
  point = nullptr;
  items = nullptr;
  memset(static_cast<void*>(this), 0, RECORD_BYTES);
  return_number = 1;
  number_of_returns = 1;
  extended_return_number = 1;
  extended_number_of_returns = 1;
  have_gps_time = have_rgb = have_nir = have_wavepacket = false;
  extra_bytes_number = 0;
  total_point_size = 0;
  rgb_flag = 0;
  num_items = 0;
}

bool LASpoint::init(const LASquantizer* new_quantizer, uint32_t count, const LASitem* list,
                    const LASattributer* new_attributer) {
  clean();
  quantizer = new_quantizer;
  attributer = new_attributer;
  if (count > 0xFFFF || (count && list == nullptr)) return false;
  if (count == 0) return true;
  items = new (std::nothrow) LASitem[count];
  point = new (std::nothrow) uint8_t*[count];
  if (items == nullptr || point == nullptr) {
    clean();
    return false;
  }
  num_items = static_cast<uint16_t>(count);
  for (uint32_t i = 0; i < count; i++) items[i] = list[i];
  if (!layout(list)) {
    clean();
    quantizer = new_quantizer;
    attributer = new_attributer;
    return false;
  }
  return true;
}

bool LASpoint::layout(const LASitem* list) {
  // Extra bytes of every BYTE item go into one block, in item order.
  int64_t extra = 0;
  for (uint16_t i = 0; i < num_items; i++) {
    if (list[i].type == LASitem::BYTE || list[i].type == LASitem::BYTE14) extra += list[i].size;
  }
  if (extra) {
    extra_bytes = new (std::nothrow) uint8_t[extra]();
    if (extra_bytes == nullptr) return false;
    extra_bytes_number = static_cast<int32_t>(extra);
  }
  int32_t extra_at = 0;
  for (uint16_t i = 0; i < num_items; i++) {
    const LASitem& item = list[i];
    total_point_size += item.size;
    switch (item.type) {
      case LASitem::POINT10:
        if (item.size != 20) return false;
        point[i] = reinterpret_cast<uint8_t*>(this);
        break;
      case LASitem::GPSTIME11:
        if (item.size != 8) return false;
        have_gps_time = true;
        point[i] = reinterpret_cast<uint8_t*>(&gps_time);
        break;
      case LASitem::RGB12:
      case LASitem::RGB14:
        if (item.size != 6) return false;
        have_rgb = true;
        rgb_flag = 16;
        point[i] = reinterpret_cast<uint8_t*>(rgb);
        break;
      case LASitem::RGBNIR14:
        if (item.size != 8) return false;
        have_rgb = true;
        have_nir = true;
        rgb_flag = 16;
        point[i] = reinterpret_cast<uint8_t*>(rgb);
        break;
      case LASitem::WAVEPACKET13:
      case LASitem::WAVEPACKET14:
        if (item.size != 29) return false;
        have_wavepacket = true;
        point[i] = wavepacket;
        break;
      case LASitem::POINT14:
        if (item.size != 30) return false;
        have_gps_time = true;
        extended_point_type = 1;
        point[i] = reinterpret_cast<uint8_t*>(this);
        break;
      case LASitem::BYTE:
      case LASitem::BYTE14:
        point[i] = extra_bytes + extra_at;
        extra_at += item.size;
        break;
      default:
        return false;
    }
  }
  return true;
}

namespace {

// The component at `data` of the given type as a double.
template <typename T>
double component(const uint8_t* data) {
  T value;
  memcpy(&value, data, sizeof(T));
  return static_cast<double>(value);
}

}  // namespace

double LASpoint::get_attribute_value(int32_t index) const {
  if (attributer == nullptr || extra_bytes == nullptr || index < 0 || index >= attributer->number_attributes) return NAN;
  const LASattribute& a = attributer->attributes[index];
  const int32_t start = attributer->attribute_starts[index];
  static const int kSizes[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
  const int type = a.get_type();
  if (type < 0 || start < 0 || start + kSizes[type] > extra_bytes_number) return NAN;
  const uint8_t* data = extra_bytes + start;
  double value = 0.0;
  switch (type) {
    case LASattribute::U8: value = data[0]; break;
    case LASattribute::I8: value = static_cast<int8_t>(data[0]); break;
    case LASattribute::U16: value = component<uint16_t>(data); break;
    case LASattribute::I16: value = component<int16_t>(data); break;
    case LASattribute::U32: value = component<uint32_t>(data); break;
    case LASattribute::I32: value = component<int32_t>(data); break;
    case LASattribute::U64: value = component<uint64_t>(data); break;
    case LASattribute::I64: value = component<int64_t>(data); break;
    case LASattribute::F32: value = component<float>(data); break;
    default: value = component<double>(data); break;
  }
  // Options bit 3: the scale is used; bit 4: the offset is used.
  if (a.options & 0x08) value *= a.scale[0];
  if (a.options & 0x10) value += a.offset[0];
  return value;
}
