// The operation base (offset adjustment) and the point-source operation
// that the read opener adds itself.
#include "filter/lasoperation.hpp"

#include <cstdio>  // sprintf

#include "filter/laspointfield.hpp"  // field_set, clamped coordinates
#include "las/laspoint.hpp"          // LASpoint, the fields the operations set

void LASoperation::adjust_offset(LASpoint* point) {
  const double x = quantizer_in.get_x(point->X);
  const double y = quantizer_in.get_y(point->Y);
  const double z = quantizer_in.get_z(point->Z);
  FieldContext out;
  out.quantizer = &quantizer_out;
  field_set(point, coordinate(0), out, x, overflow);
  field_set(point, coordinate(1), out, y, overflow);
  field_set(point, coordinate(2), out, z, overflow);
}

int LASoperationSetPointSource::get_command(char* string) const {
  return sprintf(string, "-%s %u ", name(), static_cast<unsigned>(psid));
}

void LASoperationSetPointSource::transform(LASpoint* point) { point->point_source_ID = psid; }
