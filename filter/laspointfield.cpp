// Point field access for the transform operations: reading as double and
// clamped writing, with the legacy and extended fields kept consistent.
#include "filter/laspointfield.hpp"

#include <cmath>    // std::round, std::trunc, std::isnan
#include <cstring>  // memcpy of attribute values

#include "las/laspoint.hpp"  // LASpoint fields, attributer, extra bytes

namespace {

const LASquantizer kDefaultQuantizer;

// t inside [lo, hi], else the nearer bound (lo for NaN) and one overflow.
double clamp_count(double t, double lo, double hi, int64_t& overflow) {
  if (t >= lo && t <= hi) return t;
  overflow++;
  return t > hi ? hi : lo;
}

// Integer fields cut the fraction toward zero before the range test.
int64_t to_int(double v, double lo, double hi, int64_t& overflow) {
  return static_cast<int64_t>(clamp_count(std::trunc(v), lo, hi, overflow));
}

int64_t to_int_rounded(double v, double lo, double hi, int64_t& overflow) {
  return static_cast<int64_t>(clamp_count(std::round(v), lo, hi, overflow));
}

const LASquantizer& quantizer_of(const LASpoint* point, const FieldContext& c) {
  if (c.quantizer) return *c.quantizer;
  return point->quantizer ? *point->quantizer : kDefaultQuantizer;
}

bool has_colour(const LASpoint* point, const FieldContext& c, bool nir) {
  return c.force_rgb || (nir ? point->have_nir : point->have_rgb);
}

// The descriptor and the bytes of attribute `index`, or false when the
// point carries no such (typed) attribute.
bool locate_attribute(const LASpoint* point, uint32_t index, const LASattribute** a, uint8_t** at) {
  const LASattributer* attributer = point->attributer;
  if (attributer == nullptr || point->extra_bytes == nullptr) return false;
  if (index >= static_cast<uint32_t>(attributer->number_attributes)) return false;
  const LASattribute& attribute = attributer->attributes[index];
  const int type = attribute.get_type();
  const int32_t start = attributer->attribute_starts[index];
  if (type < 0 || start < 0 || start + attribute.get_size() > point->extra_bytes_number) return false;
  *a = &attribute;
  *at = point->extra_bytes + start;
  return true;
}

template <typename T>
T load(const uint8_t* at) {
  T v;
  memcpy(&v, at, sizeof(T));
  return v;
}

template <typename T>
void store(uint8_t* at, T v) {
  memcpy(at, &v, sizeof(T));
}

double attribute_raw(const LASattribute& a, const uint8_t* at) {
  switch (a.get_type()) {
    case LASattribute::U8: return *at;
    case LASattribute::I8: return static_cast<int8_t>(*at);
    case LASattribute::U16: return load<uint16_t>(at);
    case LASattribute::I16: return load<int16_t>(at);
    case LASattribute::U32: return load<uint32_t>(at);
    case LASattribute::I32: return load<int32_t>(at);
    case LASattribute::U64: return static_cast<double>(load<uint64_t>(at));
    case LASattribute::I64: return static_cast<double>(load<int64_t>(at));
    case LASattribute::F32: return load<float>(at);
    default: return load<double>(at);
  }
}

void attribute_store(const LASattribute& a, uint8_t* at, double raw, int64_t& overflow) {
  switch (a.get_type()) {
    case LASattribute::U8: *at = static_cast<uint8_t>(to_int_rounded(raw, 0, 255, overflow)); break;
    case LASattribute::I8: store(at, static_cast<int8_t>(to_int_rounded(raw, -128, 127, overflow))); break;
    case LASattribute::U16: store(at, static_cast<uint16_t>(to_int_rounded(raw, 0, 65535, overflow))); break;
    case LASattribute::I16: store(at, static_cast<int16_t>(to_int_rounded(raw, -32768, 32767, overflow))); break;
    case LASattribute::U32: store(at, static_cast<uint32_t>(to_int_rounded(raw, 0, 4294967295.0, overflow))); break;
    case LASattribute::I32:
      store(at, static_cast<int32_t>(to_int_rounded(raw, -2147483648.0, 2147483647.0, overflow)));
      break;
    // The 64-bit limits as doubles that convert back without overflow.
    case LASattribute::U64:
      store(at, static_cast<uint64_t>(clamp_count(std::round(raw), 0, 18446744073709549568.0, overflow)));
      break;
    case LASattribute::I64:
      store(at, static_cast<int64_t>(
                    clamp_count(std::round(raw), -9223372036854775808.0, 9223372036854774784.0, overflow)));
      break;
    case LASattribute::F32:
      store(at, static_cast<float>(clamp_count(raw, -3.4028234e38, 3.4028234e38, overflow)));
      break;
    default: store(at, std::isnan(raw) ? (overflow++, 0.0) : raw); break;
  }
}

double attribute_scale(const LASattribute& a) { return (a.options & 0x08) ? a.scale[0] : 1.0; }
double attribute_offset(const LASattribute& a) { return (a.options & 0x10) ? a.offset[0] : 0.0; }

void set_class_flag(LASpoint* p, int bit, bool on) {
  const uint8_t mask = static_cast<uint8_t>(1u << bit);
  p->extended_classification_flags =
      static_cast<uint8_t>(on ? (p->extended_classification_flags | mask) : (p->extended_classification_flags & ~mask));
}

}  // namespace

bool field_get(const LASpoint* p, FieldRef f, const FieldContext& c, double& v) {
  switch (f.field) {
    case PointField::x: v = quantizer_of(p, c).get_x(p->X); return true;
    case PointField::y: v = quantizer_of(p, c).get_y(p->Y); return true;
    case PointField::z: v = quantizer_of(p, c).get_z(p->Z); return true;
    case PointField::X: v = p->X; return true;
    case PointField::Y: v = p->Y; return true;
    case PointField::Z: v = p->Z; return true;
    case PointField::intensity: v = p->intensity; return true;
    case PointField::scan_angle:
      v = p->is_extended() ? 0.006 * p->extended_scan_angle : p->scan_angle_rank;
      return true;
    case PointField::user_data: v = p->user_data; return true;
    case PointField::point_source: v = p->point_source_ID; return true;
    case PointField::classification: v = p->is_extended() ? p->extended_classification : p->classification; return true;
    case PointField::gps_time: v = p->gps_time; return true;
    case PointField::R:
    case PointField::G:
    case PointField::B:
      if (!has_colour(p, c, false)) return false;
      v = p->rgb[static_cast<int>(f.field) - static_cast<int>(PointField::R)];
      return true;
    case PointField::NIR:
      if (!has_colour(p, c, true)) return false;
      v = p->rgb[3];
      return true;
    case PointField::return_number: v = p->return_number; return true;
    case PointField::extended_return_number: v = p->extended_return_number; return true;
    case PointField::number_of_returns: v = p->number_of_returns; return true;
    case PointField::extended_number_of_returns: v = p->extended_number_of_returns; return true;
    case PointField::scanner_channel: v = p->extended_scanner_channel; return true;
    case PointField::withheld: v = p->withheld_flag; return true;
    case PointField::synthetic: v = p->synthetic_flag; return true;
    case PointField::keypoint: v = p->keypoint_flag; return true;
    case PointField::overlap: v = (p->extended_classification_flags >> 3) & 1; return true;
    case PointField::scan_direction: v = p->scan_direction_flag; return true;
    case PointField::edge_of_flight_line: v = p->edge_of_flight_line; return true;
    case PointField::reg:
      if (c.registers == nullptr || f.index > 15) return false;
      v = c.registers[f.index];
      return true;
    case PointField::attribute: {
      const LASattribute* a;
      uint8_t* at;
      if (!locate_attribute(p, f.index, &a, &at)) return false;
      v = attribute_raw(*a, at) * attribute_scale(*a) + attribute_offset(*a);
      return true;
    }
  }
  return false;
}

void field_set(LASpoint* p, FieldRef f, const FieldContext& c, double v, int64_t& o) {
  switch (f.field) {
    case PointField::x: {
      const LASquantizer& q = quantizer_of(p, c);
      p->X = static_cast<int32_t>(to_int_rounded((v - q.x_offset) / q.x_scale_factor, INT32_MIN, INT32_MAX, o));
      break;
    }
    case PointField::y: {
      const LASquantizer& q = quantizer_of(p, c);
      p->Y = static_cast<int32_t>(to_int_rounded((v - q.y_offset) / q.y_scale_factor, INT32_MIN, INT32_MAX, o));
      break;
    }
    case PointField::z: {
      const LASquantizer& q = quantizer_of(p, c);
      p->Z = static_cast<int32_t>(to_int_rounded((v - q.z_offset) / q.z_scale_factor, INT32_MIN, INT32_MAX, o));
      break;
    }
    case PointField::X: p->X = static_cast<int32_t>(to_int_rounded(v, INT32_MIN, INT32_MAX, o)); break;
    case PointField::Y: p->Y = static_cast<int32_t>(to_int_rounded(v, INT32_MIN, INT32_MAX, o)); break;
    case PointField::Z: p->Z = static_cast<int32_t>(to_int_rounded(v, INT32_MIN, INT32_MAX, o)); break;
    case PointField::intensity: p->intensity = static_cast<uint16_t>(to_int(v, 0, 65535, o)); break;
    case PointField::scan_angle:
      if (p->is_extended()) {
        p->extended_scan_angle = static_cast<int16_t>(to_int_rounded(v / 0.006, -30000, 30000, o));
        int64_t ignored = 0;  // the rank only mirrors the extended angle
        p->scan_angle_rank = static_cast<int8_t>(to_int_rounded(0.006 * p->extended_scan_angle, -90, 90, ignored));
      } else {
        p->scan_angle_rank = static_cast<int8_t>(to_int(v, -90, 90, o));
      }
      break;
    case PointField::user_data: p->user_data = static_cast<uint8_t>(to_int(v, 0, 255, o)); break;
    case PointField::point_source: p->point_source_ID = static_cast<uint16_t>(to_int(v, 0, 65535, o)); break;
    case PointField::classification:
      if (p->is_extended()) {
        const uint8_t k = static_cast<uint8_t>(to_int(v, 0, 255, o));
        p->extended_classification = k;
        p->classification = k < 32 ? k : 0;
      } else {
        p->classification = static_cast<uint8_t>(to_int(v, 0, 31, o));
      }
      break;
    case PointField::gps_time: p->gps_time = std::isnan(v) ? (o++, 0.0) : v; break;
    case PointField::R:
    case PointField::G:
    case PointField::B:
    case PointField::NIR:
      if (!has_colour(p, c, f.field == PointField::NIR)) break;
      p->rgb[static_cast<int>(f.field) - static_cast<int>(PointField::R)] =
          static_cast<uint16_t>(to_int(v, 0, 65535, o));
      break;
    case PointField::return_number:
      p->return_number = static_cast<uint8_t>(to_int(v, 0, 7, o));
      if (p->is_extended()) p->extended_return_number = p->return_number;
      break;
    case PointField::extended_return_number:
      p->extended_return_number = static_cast<uint8_t>(to_int(v, 0, 15, o));
      p->return_number = p->extended_return_number < 7 ? p->extended_return_number : 7;
      break;
    case PointField::number_of_returns:
      p->number_of_returns = static_cast<uint8_t>(to_int(v, 0, 7, o));
      if (p->is_extended()) p->extended_number_of_returns = p->number_of_returns;
      break;
    case PointField::extended_number_of_returns:
      p->extended_number_of_returns = static_cast<uint8_t>(to_int(v, 0, 15, o));
      p->number_of_returns = p->extended_number_of_returns < 7 ? p->extended_number_of_returns : 7;
      break;
    case PointField::scanner_channel: p->extended_scanner_channel = static_cast<uint8_t>(to_int(v, 0, 3, o)); break;
    case PointField::synthetic:
      p->synthetic_flag = static_cast<uint8_t>(to_int(v, 0, 1, o));
      set_class_flag(p, 0, p->synthetic_flag);
      break;
    case PointField::keypoint:
      p->keypoint_flag = static_cast<uint8_t>(to_int(v, 0, 1, o));
      set_class_flag(p, 1, p->keypoint_flag);
      break;
    case PointField::withheld:
      p->withheld_flag = static_cast<uint8_t>(to_int(v, 0, 1, o));
      set_class_flag(p, 2, p->withheld_flag);
      break;
    case PointField::overlap: set_class_flag(p, 3, to_int(v, 0, 1, o) != 0); break;
    case PointField::scan_direction: p->scan_direction_flag = static_cast<uint8_t>(to_int(v, 0, 1, o)); break;
    case PointField::edge_of_flight_line: p->edge_of_flight_line = static_cast<uint8_t>(to_int(v, 0, 1, o)); break;
    case PointField::reg:
      if (c.registers != nullptr && f.index <= 15) c.registers[f.index] = v;
      break;
    case PointField::attribute: {
      const LASattribute* a;
      uint8_t* at;
      if (!locate_attribute(p, f.index, &a, &at)) break;
      attribute_store(*a, at, (v - attribute_offset(*a)) / attribute_scale(*a), o);
      break;
    }
  }
}

uint32_t field_selective(FieldRef f) {
  switch (f.field) {
    case PointField::z:
    case PointField::Z: return selective::Z;
    case PointField::intensity: return selective::INTENSITY;
    case PointField::scan_angle: return selective::SCAN_ANGLE;
    case PointField::user_data: return selective::USER_DATA;
    case PointField::point_source: return selective::POINT_SOURCE;
    case PointField::classification: return selective::CLASSIFICATION;
    case PointField::gps_time: return selective::GPS_TIME;
    case PointField::R:
    case PointField::G:
    case PointField::B: return selective::RGB;
    case PointField::NIR: return selective::NIR;
    case PointField::withheld:
    case PointField::synthetic:
    case PointField::keypoint:
    case PointField::overlap:
    case PointField::scan_direction:
    case PointField::edge_of_flight_line: return selective::FLAGS;
    case PointField::attribute: return selective::EXTRA_BYTES;
    default: return 0;  // X, Y, returns and channel always come with the point
  }
}
