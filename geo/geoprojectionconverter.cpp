// Projection state with its defaults, its unit settings and their option text.
#include "geo/geoprojectionconverter.hpp"

#include <cstring>  // memcpy, strcpy

#include "tool/lasmessage.hpp"  // LASMessage, do_halt_on_error, byebye

namespace {
constexpr double kFeetPerMetre = 3.280839895013123;
constexpr double kSurveyFeetPerMetre = 3.28083333333354;
constexpr double kMetresPerFoot = 0.3048;
constexpr double kMetresPerSurveyFoot = 0.3048006096012;
}  // namespace

const char* GeoProjectionConverter::get_coordinate_unit_description_string(bool abbreviated, bool source) const {
  if (!has_coordinate_units(source)) return "units";
  const double factor = source ? source_coordinate_factor : target_coordinate_factor;
  if (factor == 1.0) return abbreviated ? "m" : "meter";
  if (factor == (source ? kMetresPerFoot : kFeetPerMetre)) return abbreviated ? "ft" : "feet";
  return abbreviated ? "sft" : "surveyfeet";
}

const char* GeoProjectionConverter::get_elevation_unit_description_string(bool abbreviated, bool source) const {
  if (!has_elevation_units(source)) return "units";
  const double factor = source ? source_elevation_factor : target_elevation_factor;
  if (factor == 1.0) return abbreviated ? "m" : "meter";
  return abbreviated ? "ft" : "feet";
}

bool GeoProjectionConverter::set_ProjLinearUnitsGeoKey(short code, bool source) {
  double metres_per_unit;
  double units_per_metre;
  switch (code) {
    case 9001: metres_per_unit = 1.0; units_per_metre = 1.0; break;
    case 9002: metres_per_unit = kMetresPerFoot; units_per_metre = kFeetPerMetre; break;
    case 9003: metres_per_unit = kMetresPerSurveyFoot; units_per_metre = kSurveyFeetPerMetre; break;
    default:
      if (!quiet) {
        LASMessage(LAS_ERROR, "set_ProjLinearUnitsGeoKey: look-up for %d not implemented", code);
        if (do_halt_on_error()) byebye();
      }
      return false;
  }
  if (source) {
    source_coordinate_factor = metres_per_unit;
    source_coordinate_units = true;
  } else {
    target_coordinate_factor = units_per_metre;
    target_coordinate_units = true;
  }
  return true;
}

bool GeoProjectionConverter::set_VerticalUnitsGeoKey(short code) {
  switch (code) {
    case 9001: source_elevation_factor = 1.0; break;
    case 9002: source_elevation_factor = kMetresPerFoot; break;
    case 9003: source_elevation_factor = kMetresPerSurveyFoot; break;
    default:
      if (!quiet) {
        LASMessage(LAS_ERROR, "set_VerticalUnitsGeoKey: look-up for %d not implemented", code);
        if (do_halt_on_error()) byebye();
      }
      return false;
  }
  source_elevation_units = true;
  return true;
}

bool GeoProjectionConverter::set_no_projection(char* description, bool source) {
  (source ? source_projection : target_projection) = true;
  if (description) strcpy(description, "intentionally no projection");
  return true;
}

int GeoProjectionConverter::unparse(std::string& text) const {
  const size_t old = text.size();
  for (bool source : {true, false}) {
    const char* side = source ? "-" : "-target_";
    if (has_coordinate_units(source)) {
      text += side;
      text += get_coordinate_unit_description_string(false, source);
      text += ' ';
    }
    if (has_elevation_units(source)) {
      text += side;
      text += "elevation_";
      text += get_elevation_unit_description_string(false, source);
      text += ' ';
    }
  }
  return static_cast<int>(text.size() - old);
}

int GeoProjectionConverter::unparse(char* string) const {
  std::string text;
  unparse(text);
  memcpy(string, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}
