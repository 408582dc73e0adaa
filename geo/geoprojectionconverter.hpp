// Projection state: kept at its defaults in this tool and handed to the
// fan-out so that child processes receive the same settings.
#ifndef GEO_GEOPROJECTIONCONVERTER_HPP
#define GEO_GEOPROJECTIONCONVERTER_HPP

#include <string>  // rendered option text

class GeoProjectionConverter {
 public:
  GeoProjectionConverter() = default;

  // Whether the source (true) or target (false) projection is set.
  bool has_projection(bool source = true) const { return source ? source_projection : target_projection; }
  bool has_coordinate_units(bool source = true) const {
    return source ? source_coordinate_units : target_coordinate_units;
  }
  bool has_elevation_units(bool source = true) const {
    return source ? source_elevation_units : target_elevation_units;
  }
  // "units" when the side has none; otherwise "m"/"meter", "ft"/"feet" or
  // "sft"/"surveyfeet" (the short forms when `abbreviated`).
  const char* get_coordinate_unit_description_string(bool abbreviated = true, bool source = true) const;
  // "units" when the side has none; "m"/"meter" for metres, else "ft"/"feet".
  const char* get_elevation_unit_description_string(bool abbreviated = true, bool source = true) const;

  // Horizontal units from a GeoTIFF linear unit code: 9001 metre, 9002
  // international foot, 9003 US survey foot. Other codes: ERROR (unless
  // quiet) and false.
  bool set_ProjLinearUnitsGeoKey(short code, bool source = true);
  // Source elevation units from a GeoTIFF vertical unit code (same codes).
  bool set_VerticalUnitsGeoKey(short code);
  // Sets the side's projection to "intentionally no projection"; the name is
  // copied into `description` when given.
  bool set_no_projection(char* description, bool source = true);

  // Whether settings beyond units and projection were asked for (the PROJ
  // library); then only the converter's own rendering describes the state.
  bool proj_requested() const { return proj_request; }
  void set_proj_requested(bool on) { proj_request = on; }

  bool quiet = false;

  // Appends the option text of the non-default unit settings (both sides)
  // and returns the number of characters appended.
  int unparse(std::string& text) const;
  // The same written at `string`, which must be large enough.
  int unparse(char* string) const;

 private:
  bool source_projection = false;
  bool target_projection = false;
  bool source_coordinate_units = false;
  bool target_coordinate_units = false;
  double source_coordinate_factor = 1.0;  // metres per source unit
  double target_coordinate_factor = 1.0;  // target units per metre
  bool source_elevation_units = false;
  bool target_elevation_units = false;
  double source_elevation_factor = 1.0;
  double target_elevation_factor = 1.0;
  bool proj_request = false;
};

#endif
