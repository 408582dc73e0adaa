// Point operations that the read opener itself adds to a transform.
#include "filter/lasoperation.hpp"

#include <cstdio>  // sprintf

#include "las/laspoint.hpp"  // LASpoint, the field the operation sets

int LASoperationSetPointSource::get_command(char* string) const {
  return sprintf(string, "-%s %u ", name(), static_cast<unsigned>(psid));
}

void LASoperationSetPointSource::transform(LASpoint* point) { point->point_source_ID = psid; }
