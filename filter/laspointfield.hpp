// Uniform access to the point fields that transform operations read and
// write: every field reads as a double and is written back through its
// range, so that a value outside the range is clamped and counted instead of
// wrapping around or overflowing a cast.
#ifndef FILTER_LASPOINTFIELD_HPP
#define FILTER_LASPOINTFIELD_HPP

#include <cstdint>  // int64_t overflow counts, uint32_t masks

#include "las/lasselective.hpp"  // LASselective, the decoding mask bits

class LASpoint;
class LASquantizer;

enum class PointField : uint8_t {
  x,  // world coordinates through the quantizer
  y,
  z,
  X,  // stored integer coordinates
  Y,
  Z,
  intensity,
  scan_angle,  // degrees
  user_data,
  point_source,
  classification,  // 0..255 for extended points, 0..31 otherwise
  gps_time,
  R,
  G,
  B,
  NIR,
  return_number,
  extended_return_number,
  number_of_returns,
  extended_number_of_returns,
  scanner_channel,
  withheld,
  synthetic,
  keypoint,
  overlap,
  scan_direction,
  edge_of_flight_line,
  reg,        // one of the transform's sixteen registers
  attribute,  // first component of an extra-bytes attribute
};

struct FieldRef {
  PointField field;
  uint32_t index = 0;  // register or attribute number
};

// What a field access needs besides the point.
struct FieldContext {
  const LASquantizer* quantizer = nullptr;  // null: the point's own
  double* registers = nullptr;
  bool force_rgb = false;  // colour fields exist even without a colour item
};

// Bits of the layered decoder's selective mask: the fields a reader must
// decode. X and Y (and the return counts) are always decoded.
namespace selective = LASselective;

// Reads a field into v; false when the point has no such field (an
// attribute it does not carry, colour without a colour item).
bool field_get(const LASpoint* point, FieldRef f, const FieldContext& c, double& v);
// Writes v into a field. Coordinates, attributes and the extended scan
// angle round half away from zero; the other integer fields cut the
// fraction toward zero. A value outside the field's range (or NaN) is
// clamped and adds 1 to overflow. Fields the point lacks are left alone.
void field_set(LASpoint* point, FieldRef f, const FieldContext& c, double v, int64_t& overflow);
// The selective-mask bits a field needs decoded.
uint32_t field_selective(FieldRef f);
// The coordinate field (x, y or z) of an axis number 0..2.
inline FieldRef coordinate(int axis) { return FieldRef{static_cast<PointField>(axis), 0}; }

#endif
