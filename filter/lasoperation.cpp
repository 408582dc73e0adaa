// Point operations that the read opener itself adds to a transform.
#include "filter/lasoperation.hpp"

#include <cstdio>  // sprintf

int LASoperationSetPointSource::get_command(char* string) const {
  return sprintf(string, "-%s %u ", name(), static_cast<unsigned>(psid));
}

void LASoperationSetPointSource::transform(LASpoint* point) {
  // Writing the point's source ID needs the point model, which the filter
  // library links once point readers apply transforms; no reader of this
  // program does so yet.
  (void)point;
}
