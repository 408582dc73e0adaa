// Coordinate reference state: a geographic coordinate system with its
// ellipsoid, a source and a target projection, and the horizontal and
// vertical units of each side; filled from GeoTIFF geo keys, EPSG codes or
// explicit parameters, and able to convert between longitude/latitude and
// the coordinates of each projection kind.
#ifndef GEO_GEOPROJECTIONCONVERTER_HPP
#define GEO_GEOPROJECTIONCONVERTER_HPP

#include <cstdint>  // uint16_t key entries
#include <memory>   // owned ellipsoid and projection records
#include <string>   // rendered option text, descriptions

// One entry of a GeoTIFF key directory: key id, the tag that holds the
// value (0: the value is in the entry), count, value or index.
struct GeoProjectionGeoKeys {
  uint16_t key_id;
  uint16_t tiff_tag_location;
  uint16_t count;
  uint16_t value_offset;
};

// A reference ellipsoid with the constants derived from its axes.
struct GeoProjectionEllipsoid {
  int id = 0;  // 1 to 24 for the known ellipsoids, 0 for one taken from the EPSG table
  std::string name;
  double equatorial_radius = 0.0;
  double polar_radius = 0.0;
  double eccentricity_squared = 0.0;
  double inverse_flattening = 0.0;
  double eccentricity_prime_squared = 0.0;
  double eccentricity = 0.0;
  double eccentricity_e1 = 0.0;
};

enum GeoProjectionKind {
  GEO_PROJECTION_UTM = 0,
  GEO_PROJECTION_LCC = 1,
  GEO_PROJECTION_TM = 2,
  GEO_PROJECTION_LONG_LAT = 3,
  GEO_PROJECTION_ECEF = 5,
  GEO_PROJECTION_AEAC = 6,
  GEO_PROJECTION_HOM = 7,
  GEO_PROJECTION_OS = 8,
  GEO_PROJECTION_NONE = 9
};

// One projection: its kind, name and parameters (distances in metres,
// angles in degrees), and the constants its formulas derive from the
// ellipsoid. Parameters a kind does not use stay 0.
struct GeoProjectionParameters {
  GeoProjectionKind type = GEO_PROJECTION_NONE;
  std::string name;
  int utm_zone_number = 0;
  char utm_zone_letter = 'N';  // 'N' or 'S'
  double false_easting = 0.0;
  double false_northing = 0.0;
  double origin_latitude = 0.0;   // origin or centre latitude
  double central_meridian = 0.0;  // central meridian or centre longitude
  double scale_factor = 1.0;
  double standard_parallel_1 = 0.0;
  double standard_parallel_2 = 0.0;
  double azimuth = 0.0;
  double rectified_grid_angle = 0.0;
  double c[24] = {};  // derived constants, by kind (see the formulas)
};

class GeoProjectionConverter {
 public:
  GeoProjectionConverter();
  ~GeoProjectionConverter();
  GeoProjectionConverter(const GeoProjectionConverter&) = delete;
  GeoProjectionConverter& operator=(const GeoProjectionConverter&) = delete;

  // Whether the source (true) or target (false) projection is set.
  bool has_projection(bool source = true) const { return (source ? source_projection : target_projection) != nullptr; }
  const GeoProjectionParameters* get_projection(bool source = true) const {
    return (source ? source_projection : target_projection).get();
  }
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
  // Metres per source coordinate unit.
  double get_source_coordinate_factor() const { return source_coordinate_factor; }

  // The geographic coordinate system by EPSG code: the built-in systems
  // first, then the EPSG table. Unknown codes write "unknown" into
  // `description` and return false.
  bool set_gcs(short code, char* description = nullptr);
  short get_gcs_code() const { return gcs_code; }
  const char* get_gcs_name() const { return gcs_name.c_str(); }
  const char* get_datum_name() const { return datum_name.c_str(); }
  const GeoProjectionEllipsoid& get_ellipsoid() const { return *ellipsoid; }
  // One of the ellipsoids 1 to 24; false for other ids.
  bool set_reference_ellipsoid(int id, char* description = nullptr);

  // A projected system by EPSG code, through the EPSG table: its projection
  // (named as in the table), geographic system and horizontal units. False
  // when the code is unknown or its method is not one of the kinds above.
  bool set_epsg_code(short code, char* description = nullptr, bool source = true);
  // The EPSG code of the source side's projected system (0: none known).
  int get_epsg_code() const { return epsg_code; }

  bool set_no_projection(char* description = nullptr, bool source = true);
  bool set_longlat_projection(char* description = nullptr, bool source = true);
  bool set_ecef_projection(char* description = nullptr, bool source = true, const char* name = nullptr);
  bool set_utm_projection(int zone, bool northern, char* description = nullptr, bool source = true,
                          const char* name = nullptr, bool mga = false);
  bool set_transverse_mercator_projection(double false_easting, double false_northing, double lat_origin,
                                          double long_meridian, double scale, char* description = nullptr,
                                          bool source = true, const char* name = nullptr);
  bool set_lambert_conformal_conic_projection(double false_easting, double false_northing, double lat_origin,
                                              double long_meridian, double first_parallel, double second_parallel,
                                              char* description = nullptr, bool source = true,
                                              const char* name = nullptr);
  bool set_albers_equal_area_conic_projection(double false_easting, double false_northing, double lat_center,
                                              double long_center, double first_parallel, double second_parallel,
                                              char* description = nullptr, bool source = true,
                                              const char* name = nullptr);
  bool set_hotine_oblique_mercator_projection(double false_easting, double false_northing, double lat_center,
                                              double long_center, double azimuth, double rectified_grid_angle,
                                              double scale, char* description = nullptr, bool source = true,
                                              const char* name = nullptr);
  bool set_oblique_stereographic_projection(double false_easting, double false_northing, double lat_origin,
                                            double long_meridian, double scale, char* description = nullptr,
                                            bool source = true, const char* name = nullptr);

  // Horizontal units from a GeoTIFF linear unit code: 9001 metre, 9002
  // international foot, 9003 US survey foot. Other codes: ERROR (unless
  // quiet) and false.
  bool set_ProjLinearUnitsGeoKey(short code, bool source = true);
  // Source elevation units from a GeoTIFF vertical unit code (same codes).
  bool set_VerticalUnitsGeoKey(short code);
  // Vertical coordinate system code of the source side (kept, not applied).
  bool set_VerticalCSTypeGeoKey(short code);
  int get_vertical_cs_code() const { return vertical_cs_code; }

  // Interprets GeoTIFF geo keys into the side given by `source`. The values
  // of double keys are indexes into `double_params`, of which the caller
  // holds `double_count` entries; an index beyond them counts as absent.
  // True when a projection was set.
  bool set_projection_from_geo_keys(int count, const GeoProjectionGeoKeys* keys, char* ascii_params,
                                    double* double_params, char* description = nullptr, bool source = true,
                                    int double_count = 0);

  // Decimal degrees from an angle in an EPSG angle unit: 9102 degree, 9105
  // grad, 9110 sexagesimal DDD.MMSSsss. Others: SERIOUS_WARNING unless
  // `quiet`, and 0.0.
  static double unit2decdeg(double value, int unit, bool quiet = false);

  // Conversions of the side's projection between longitude/latitude in
  // degrees and projected coordinates in metres. For a geographic
  // projection both are degrees. False when the side has no projection
  // or its kind has no plane coordinates (earth-centred, none).
  bool to_projection(double longitude, double latitude, double& x, double& y, bool source = true) const;
  bool to_lon_lat(double x, double y, double& longitude, double& latitude, bool source = true) const;
  // Earth-centred coordinates (metres) from longitude, latitude (degrees)
  // and ellipsoidal height (metres), and back.
  void lon_lat_to_ecef(double longitude, double latitude, double height, double& x, double& y, double& z) const;
  void ecef_to_lon_lat(double x, double y, double z, double& longitude, double& latitude, double& height) const;

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

  // The source side's coordinate system in one line: projection name, GCS,
  // horizontal units and the EPSG code when known.
  std::string describe_coordinate_system() const;
  // Whether both converters have a source projection of the same kind and
  // parameters, the same GCS and the same horizontal units.
  bool same_coordinate_system(const GeoProjectionConverter& other) const;

 private:
  void set_projection(std::unique_ptr<GeoProjectionParameters> projection, bool source);
  void prepare(GeoProjectionParameters& p) const;
  void set_ellipsoid(const GeoProjectionEllipsoid& e);
  bool set_gcs_from_table(short code);
  bool set_ellipsoid_from_axes(double a, double b, double inverse_flattening);
  void set_coordinate_factor(double metres_per_unit, double units_per_metre, bool source);

  short projected_linear_unit = 9001;
  int stored_key_count = 0;
  std::unique_ptr<GeoProjectionGeoKeys[]> stored_keys;
  char* stored_ascii_params = nullptr;
  double* stored_double_params = nullptr;

  short gcs_code = 4326;
  std::string gcs_name;
  std::string datum_name;
  std::unique_ptr<GeoProjectionEllipsoid> ellipsoid;
  std::unique_ptr<GeoProjectionParameters> source_projection;
  std::unique_ptr<GeoProjectionParameters> target_projection;
  int epsg_code = 0;
  int vertical_cs_code = 0;

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

// The note for two rasters' coordinate systems: "rasters have different
// coordinate systems: '<first>' and '<second>'" when both have a source
// projection and they differ in kind, parameters, GCS or horizontal units;
// empty otherwise.
std::string geo_coordinate_system_note(const GeoProjectionConverter& first, const GeoProjectionConverter& second);

// The directory that holds the EPSG tables (pcs.txt, gcs.txt): next to the
// program in ../share/rastcmp (installed) or the build tree's share/rastcmp.
// Empty when neither exists.
std::string geo_epsg_table_directory();

#endif
