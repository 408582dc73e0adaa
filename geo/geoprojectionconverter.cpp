// Projection state: ellipsoids, geographic systems, projections and units,
// set from codes, geo keys or parameters, and described for the user and
// for child processes.
#include "geo/geoprojectionconverter.hpp"

#include <cmath>    // sqrt, fabs, floor, round
#include <cstdio>   // snprintf
#include <cstring>  // memcpy, strcpy

#include "geo/geoepsgtables.hpp"  // geo_epsg_find_pcs, geo_epsg_find_gcs
#include "tool/lasmessage.hpp"    // LASMessage, do_halt_on_error, byebye

namespace {
constexpr double kFeetPerMetre = 3.280839895013123;
constexpr double kSurveyFeetPerMetre = 3.28083333333354;
constexpr double kMetresPerFoot = 0.3048;
constexpr double kMetresPerSurveyFoot = 0.3048006096012;

struct EllipsoidRow {
  const char* name;
  double a;
  double inverse_flattening;
};

// Ids 1 to 24; the names are the ones users see.
const EllipsoidRow kEllipsoids[25] = {
    {"placeholder", 0.0, 0.0},
    {"Airy", 6377563.396, 299.3249646},
    {"Australian National", 6378160.0, 298.25},
    {"Bessel 1841", 6377397.155, 299.1528128},
    {"Bessel 1841 (Namibia) ", 6377483.865, 299.1528128},
    {"Clarke 1866", 6378206.4, 294.9786982},
    {"Clarke 1880", 6378249.145, 293.465},
    {"Everest 1830", 6377276.345, 300.8017},
    {"Fischer 1960 (Mercury) ", 6378166.0, 298.3},
    {"Fischer 1968", 6378150.0, 298.3},
    {"GRS 1967", 6378160.0, 298.247167427},
    {"GRS 1980", 6378137.0, 298.257222101},
    {"Helmert 1906", 6378200.0, 298.3},
    {"Hough", 6378270.0, 297.0},
    {"International", 6378388.0, 297.0},
    {"Krassovsky", 6378245.0, 298.3},
    {"Modified Airy", 6377340.189, 299.3249646},
    {"Modified Everest", 6377304.063, 300.8017},
    {"Modified Fischer 1960", 6378155.0, 298.3},
    {"South American 1969", 6378160.0, 298.25},
    {"WGS 60", 6378165.0, 298.3},
    {"WGS 66", 6378145.0, 298.25},
    {"WGS-72", 6378135.0, 298.26},
    {"WGS-84", 6378137.0, 298.257223563},
    {"Indonesian National 1974", 6378160.0, 298.247},
};

enum : int { AIRY = 1, AUSTRALIAN = 2, BESSEL = 3, BESSEL_NAMIBIA = 4, CLARKE1866 = 5, CLARKE1880 = 6,
             EVEREST = 7, GRS1967 = 10, GRS1980 = 11, HELMERT = 12, INTERNATIONAL = 14, KRASSOVSKY = 15,
             MODIFIED_AIRY = 16, MODIFIED_EVEREST = 17, WGS72 = 22, WGS84 = 23, INDONESIAN = 24 };

struct GcsRow {
  short code;
  const char* name;
  int ellipsoid;
};

const GcsRow kGcs[] = {
    {4326, "WGS 84", WGS84},         {4322, "WGS 72", WGS72},           {4324, "WGS 72BE", WGS72},
    {4269, "NAD83", GRS1980},        {4267, "NAD27", CLARKE1866},       {4152, "NAD83(HARN)", GRS1980},
    {4617, "NAD83(CSRS)", GRS1980},  {4759, "NAD83(NSRS2007)", GRS1980}, {6318, "NAD83(2011)", GRS1980},
    {6322, "NAD83(PA11)", GRS1980},  {4258, "ETRS89", GRS1980},          {4283, "GDA94", GRS1980},
    {7844, "GDA2020", GRS1980},      {4167, "NZGD2000", GRS1980},        {4237, "HD72", GRS1967},
    {4291, "SAD69", GRS1967},        {4277, "OSGB1936", AIRY},           {4149, "CH1903", BESSEL},
};

// Ellipsoid of the datum codes 6001 to 6034 (and of the GCS codes 4001 to
// 4034), 0 for none.
int datum_ellipsoid(int datum) {
  switch (datum) {
    case 6001: return AIRY;
    case 6002: return MODIFIED_AIRY;
    case 6003: case 6202: case 6203: return AUSTRALIAN;
    case 6004: case 6005: return BESSEL;
    case 6006: return BESSEL_NAMIBIA;
    case 6008: case 6009: return CLARKE1866;
    case 6010: case 6011: case 6012: case 6013: case 6014: case 6034: return CLARKE1880;
    case 6015: case 6016: case 6017: return EVEREST;
    case 6018: return MODIFIED_EVEREST;
    case 6019: return GRS1980;
    case 6020: return HELMERT;
    case 6022: case 6023: return INTERNATIONAL;
    case 6024: return KRASSOVSKY;
    case 6030: return WGS84;
    default: return 0;
  }
}

int ellipsoid_code_id(int code) {
  switch (code) {
    case 7001: return AIRY;
    case 7002: return MODIFIED_AIRY;
    case 7003: return AUSTRALIAN;
    case 7004: case 7005: return BESSEL;
    case 7006: case 7046: return BESSEL_NAMIBIA;
    case 7008: case 7009: return CLARKE1866;
    case 7010: case 7011: case 7012: case 7013: case 7014: case 7034: return CLARKE1880;
    case 7015: case 7016: case 7017: return EVEREST;
    case 7018: return MODIFIED_EVEREST;
    case 7019: return GRS1980;
    case 7020: return HELMERT;
    case 7021: return INDONESIAN;
    case 7022: case 7023: return INTERNATIONAL;
    case 7024: return KRASSOVSKY;
    case 7030: return WGS84;
    case 7043: return WGS72;
    default: return 0;
  }
}

GeoProjectionEllipsoid make_ellipsoid(int id, const std::string& name, double a, double inverse_flattening,
                                      double b) {
  GeoProjectionEllipsoid e;
  e.id = id;
  e.name = name;
  e.equatorial_radius = a;
  if (inverse_flattening > 0.0) {
    const double f = 1.0 / inverse_flattening;
    e.eccentricity_squared = 2.0 * f - f * f;
    e.polar_radius = a * (1.0 - f);
  } else {
    e.polar_radius = b > 0.0 ? b : a;
    e.eccentricity_squared = 1.0 - (e.polar_radius * e.polar_radius) / (a * a);
  }
  e.inverse_flattening = e.polar_radius < a ? a / (a - e.polar_radius) : 0.0;
  e.eccentricity_prime_squared = e.eccentricity_squared / (1.0 - e.eccentricity_squared);
  e.eccentricity = std::sqrt(e.eccentricity_squared);
  const double root = std::sqrt(1.0 - e.eccentricity_squared);
  e.eccentricity_e1 = (1.0 - root) / (1.0 + root);
  return e;
}

// Key ids of the projection parameters, in the order of their slots.
const int kParameterKeys[16] = {3078, 3079, 3080, 3081, 3082, 3083, 3084, 3085,
                                3086, 3087, 3088, 3089, 3092, 3093, 3094, 3096};
enum Slot { STD_PARALLEL_1, STD_PARALLEL_2, NAT_ORIGIN_LONG, NAT_ORIGIN_LAT, FALSE_EASTING, FALSE_NORTHING,
            FALSE_ORIGIN_LONG, FALSE_ORIGIN_LAT, FALSE_ORIGIN_EASTING, FALSE_ORIGIN_NORTHING, CENTER_LONG,
            CENTER_LAT, SCALE_AT_NAT_ORIGIN, SCALE_AT_CENTER, AZIMUTH, RECTIFIED_GRID_ANGLE, SLOTS };

// Names of the GeoTIFF transformations 2 to 27 that are not implemented;
// null for the implemented ones.
const char* const kTransformationNames[28] = {
    nullptr, nullptr, "CT_TransvMercator_Modified_Alaska", nullptr, "CT_ObliqueMercator_Laborde",
    "CT_ObliqueMercator_Rosenmund", "CT_ObliqueMercator_Spherical", "CT_Mercator", nullptr,
    "CT_LambertConfConic_Helmert", "CT_LambertAzimEqualArea", nullptr, "CT_AzimuthalEquidistant",
    "CT_EquidistantConic", "CT_Stereographic", "CT_PolarStereographic", nullptr, "CT_Equirectangular",
    "CT_CassiniSoldner", "CT_Gnomonic", "CT_MillerCylindrical", "CT_Orthographic", "CT_Polyconic", "CT_Robinson",
    "CT_Sinusoidal", "CT_VanDerGrinten", "CT_NewZealandMapGrid", "CT_TransvMercator_SouthOriented"};

void copy_name(char* description, const std::string& name) {
  if (description) strcpy(description, name.c_str());
}

// Projection names are kept to 255 characters.
std::string bounded_name(const std::string& name) { return name.size() > 255 ? name.substr(0, 255) : name; }

}  // namespace

GeoProjectionConverter::GeoProjectionConverter() { set_gcs(4326, nullptr); }

GeoProjectionConverter::~GeoProjectionConverter() = default;

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

void GeoProjectionConverter::set_coordinate_factor(double metres_per_unit, double units_per_metre, bool source) {
  if (source) {
    source_coordinate_factor = metres_per_unit;
    source_coordinate_units = true;
  } else {
    target_coordinate_factor = units_per_metre;
    target_coordinate_units = true;
  }
}

bool GeoProjectionConverter::set_ProjLinearUnitsGeoKey(short code, bool source) {
  switch (code) {
    case 9001: set_coordinate_factor(1.0, 1.0, source); break;
    case 9002: set_coordinate_factor(kMetresPerFoot, kFeetPerMetre, source); break;
    case 9003: set_coordinate_factor(kMetresPerSurveyFoot, kSurveyFeetPerMetre, source); break;
    default:
      if (!quiet) {
        LASMessage(LAS_ERROR, "set_ProjLinearUnitsGeoKey: look-up for %d not implemented", code);
        if (do_halt_on_error()) byebye();
      }
      return false;
  }
  projected_linear_unit = code;
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

bool GeoProjectionConverter::set_VerticalCSTypeGeoKey(short code) {
  vertical_cs_code = code;
  return true;
}

void GeoProjectionConverter::set_ellipsoid(const GeoProjectionEllipsoid& e) {
  ellipsoid = std::make_unique<GeoProjectionEllipsoid>(e);
  if (source_projection) prepare(*source_projection);
  if (target_projection) prepare(*target_projection);
}

bool GeoProjectionConverter::set_reference_ellipsoid(int id, char* description) {
  if (id < 1 || id > 24) return false;
  const EllipsoidRow& row = kEllipsoids[id];
  set_ellipsoid(make_ellipsoid(id, row.name, row.a, row.inverse_flattening, 0.0));
  copy_name(description, row.name);
  return true;
}

bool GeoProjectionConverter::set_gcs(short code, char* description) {
  gcs_code = code;
  for (const GcsRow& row : kGcs) {
    if (row.code != code) continue;
    gcs_name = row.name;
    datum_name = row.name;
    set_reference_ellipsoid(row.ellipsoid);
    copy_name(description, gcs_name);
    return true;
  }
  if (set_gcs_from_table(code)) {
    copy_name(description, gcs_name);
    return true;
  }
  // the ellipsoid stays, but the system is no longer the one named before
  gcs_name = "unknown";
  datum_name = "unknown";
  if (description) strcpy(description, "unknown");
  return false;
}

// Other geographic systems come from the EPSG table. Only systems measured
// from Greenwich are taken: the formulas here do not shift longitudes.
bool GeoProjectionConverter::set_gcs_from_table(short code) {
  GeoEpsgGcs row;
  if (!geo_epsg_find_gcs(code, row)) return false;
  if (row.prime_meridian != 0.0) return false;
  int id = 0;
  std::string name = "EPSG ellipsoid " + std::to_string(row.ellipsoid_code);
  if (const int known = ellipsoid_code_id(row.ellipsoid_code)) {
    id = known;
    name = kEllipsoids[known].name;
  }
  gcs_name = row.name;
  datum_name = row.datum_name;
  set_ellipsoid(make_ellipsoid(id, name, row.semi_major_axis, row.inverse_flattening, row.semi_minor_axis));
  return true;
}

// An ellipsoid given by its semi-major axis and its inverse flattening or
// semi-minor axis (metres), named after a known one of the same size.
bool GeoProjectionConverter::set_ellipsoid_from_axes(double a, double b, double inverse_flattening) {
  if (!(a > 6000000.0 && a < 7000000.0)) return false;
  if (!(inverse_flattening >= 1.0) && !(b > 0.0 && b <= a)) return false;
  const double invf = inverse_flattening >= 1.0 ? inverse_flattening : (b < a ? a / (a - b) : 0.0);
  int id = 0;
  for (int k = 1; k <= 24; k++) {
    if (std::fabs(kEllipsoids[k].a - a) < 1e-3 && std::fabs(kEllipsoids[k].inverse_flattening - invf) < 1e-6) id = k;
  }
  set_ellipsoid(make_ellipsoid(id, id ? kEllipsoids[id].name : "user-defined ellipsoid", a, invf, b));
  return true;
}

void GeoProjectionConverter::set_projection(std::unique_ptr<GeoProjectionParameters> projection, bool source) {
  prepare(*projection);
  (source ? source_projection : target_projection) = std::move(projection);
  if (source) epsg_code = 0;
}

bool GeoProjectionConverter::set_no_projection(char* description, bool source) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_NONE;
  p->name = "intentionally no projection";
  copy_name(description, p->name);
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_longlat_projection(char* description, bool source) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_LONG_LAT;
  p->name = "longitude/latitude";
  copy_name(description, p->name);
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_ecef_projection(char* description, bool source, const char* name) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_ECEF;
  p->name = bounded_name(name ? name : "earth-centered earth-fixed");
  copy_name(description, p->name);
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_utm_projection(int zone, bool northern, char* description, bool source,
                                                const char* name, bool mga) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_UTM;
  p->utm_zone_number = zone;
  p->utm_zone_letter = northern ? 'N' : 'S';
  p->false_easting = 500000.0;
  p->false_northing = northern ? 0.0 : 10000000.0;
  p->central_meridian = 6.0 * zone - 183.0;
  p->scale_factor = 0.9996;
  if (name) {
    p->name = bounded_name(name);
  } else {
    char text[300];
    snprintf(text, sizeof(text), "%s / %s %d%s", gcs_name.c_str(), mga ? "MGA" : "UTM", zone, northern ? "N" : "S");
    p->name = bounded_name(text);
  }
  copy_name(description, p->name);
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_transverse_mercator_projection(double false_easting, double false_northing,
                                                                double lat_origin, double long_meridian,
                                                                double scale, char* description, bool source,
                                                                const char* name) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_TM;
  p->name = bounded_name(name ? name : "Transverse Mercator");
  p->false_easting = false_easting;
  p->false_northing = false_northing;
  p->origin_latitude = lat_origin;
  p->central_meridian = long_meridian;
  p->scale_factor = scale;
  if (description) {
    sprintf(description, "false east/north: %g/%g [m], origin lat/meridian long: %g/%g, scale: %g", false_easting,
            false_northing, lat_origin, long_meridian, scale);
  }
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_lambert_conformal_conic_projection(double false_easting, double false_northing,
                                                                    double lat_origin, double long_meridian,
                                                                    double first_parallel, double second_parallel,
                                                                    char* description, bool source,
                                                                    const char* name) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_LCC;
  p->name = bounded_name(name ? name : "Lambert Conformal Conic");
  p->false_easting = false_easting;
  p->false_northing = false_northing;
  p->origin_latitude = lat_origin;
  p->central_meridian = long_meridian;
  p->standard_parallel_1 = first_parallel;
  p->standard_parallel_2 = second_parallel;
  if (description) {
    sprintf(description, "false east/north: %g/%g [m], origin lat/ meridian long: %g/%g, parallel 1st/2nd: %g/%g",
            false_easting, false_northing, lat_origin, long_meridian, first_parallel, second_parallel);
  }
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_albers_equal_area_conic_projection(double false_easting, double false_northing,
                                                                    double lat_center, double long_center,
                                                                    double first_parallel, double second_parallel,
                                                                    char* description, bool source,
                                                                    const char* name) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_AEAC;
  p->name = bounded_name(name ? name : "Albers Equal Area Conic");
  p->false_easting = false_easting;
  p->false_northing = false_northing;
  p->origin_latitude = lat_center;
  p->central_meridian = long_center;
  p->standard_parallel_1 = first_parallel;
  p->standard_parallel_2 = second_parallel;
  if (description) {
    sprintf(description, "false east/north: %g/%g [m], center lat/long: %g/%g, parallel 1st/2nd: %g/%g",
            false_easting, false_northing, lat_center, long_center, first_parallel, second_parallel);
  }
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_hotine_oblique_mercator_projection(double false_easting, double false_northing,
                                                                    double lat_center, double long_center,
                                                                    double azimuth, double rectified_grid_angle,
                                                                    double scale, char* description, bool source,
                                                                    const char* name) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_HOM;
  p->name = bounded_name(name ? name : "Hotine Oblique Mercator");
  p->false_easting = false_easting;
  p->false_northing = false_northing;
  p->origin_latitude = lat_center;
  p->central_meridian = long_center;
  p->azimuth = azimuth;
  p->rectified_grid_angle = rectified_grid_angle;
  p->scale_factor = scale;
  if (description) {
    sprintf(description, "false east/north: %g/%g [m], center lat/long: %g/%g, azimuth: %g angle: %g scale: %g",
            false_easting, false_northing, lat_center, long_center, azimuth, rectified_grid_angle, scale);
  }
  set_projection(std::move(p), source);
  return true;
}

bool GeoProjectionConverter::set_oblique_stereographic_projection(double false_easting, double false_northing,
                                                                  double lat_origin, double long_meridian,
                                                                  double scale, char* description, bool source,
                                                                  const char* name) {
  auto p = std::make_unique<GeoProjectionParameters>();
  p->type = GEO_PROJECTION_OS;
  p->name = bounded_name(name ? name : "Oblique Stereographic");
  p->false_easting = false_easting;
  p->false_northing = false_northing;
  p->origin_latitude = lat_origin;
  p->central_meridian = long_meridian;
  p->scale_factor = scale;
  if (description) {
    sprintf(description, "false east/north: %g/%g [m], origin lat/meridian long: %g/%g, scale: %g", false_easting,
            false_northing, lat_origin, long_meridian, scale);
  }
  set_projection(std::move(p), source);
  return true;
}

double GeoProjectionConverter::unit2decdeg(double value, int unit, bool quiet) {
  switch (unit) {
    case 9102:
    case 9122:
      return value;
    case 9105:
      return value * 0.9;
    case 9110: {
      const bool negative = value < 0.0;
      const double v = std::fabs(value);
      const double degrees = std::floor(v);
      const double minutes_seconds = std::round((v - degrees) * 100.0 * 100000.0) / 100000.0;
      const double minutes = std::floor(minutes_seconds);
      const double seconds = std::round((minutes_seconds - minutes) * 100.0 * 100000.0) / 100000.0;
      const double result = degrees + minutes / 60.0 + seconds / 3600.0;
      return negative ? -result : result;
    }
    default:
      if (!quiet) LASMessage(LAS_SERIOUS_WARNING, "unit %d not known", unit);
      return 0.0;
  }
}

// A projected system from the EPSG table. The table holds each parameter
// with its unit; lengths become metres and angles degrees here.
bool GeoProjectionConverter::set_epsg_code(short code, char* description, bool source) {
  GeoEpsgPcs row;
  if (!geo_epsg_find_pcs(static_cast<uint16_t>(code), row)) return false;
  if (row.unit != 9001 && row.unit != 9002 && row.unit != 9003) return false;
  // value of EPSG parameter `id` in metres, degrees or as a ratio
  bool complete = true;
  auto param = [&row, &complete](int id) {
    for (int i = 0; i < GeoEpsgPcs::PARAMETERS; i++) {
      if (row.parameter[i] != id) continue;
      const double v = row.value[i];
      switch (row.value_unit[i]) {
        case 9001: case 9201: return v;
        case 9002: return v * kMetresPerFoot;
        case 9003: return v * kMetresPerSurveyFoot;
        case 9102: case 9122: case 9105: case 9110: return unit2decdeg(v, row.value_unit[i], true);
        default: break;
      }
      break;
    }
    complete = false;
    return 0.0;
  };
  GeoProjectionConverter probe;  // the GCS must be known before the projection is named
  if (!probe.set_gcs(static_cast<short>(row.gcs))) return false;
  std::unique_ptr<GeoProjectionParameters> p;
  switch (row.method) {
    case 9807: {  // transverse Mercator, UTM when it has the zone's parameters
      const double lat0 = param(8801), lon0 = param(8802), k = param(8805), fe = param(8806), fn = param(8807);
      if (!complete) return false;
      set_gcs(static_cast<short>(row.gcs));
      const double zone = (lon0 + 183.0) / 6.0;
      if (lat0 == 0.0 && k == 0.9996 && fe == 500000.0 && (fn == 0.0 || fn == 10000000.0) &&
          zone == std::floor(zone) && zone >= 1 && zone <= 60) {
        set_utm_projection(static_cast<int>(zone), fn == 0.0, description, source, row.name.c_str());
      } else {
        set_transverse_mercator_projection(fe, fn, lat0, lon0, k, nullptr, source, row.name.c_str());
      }
      break;
    }
    case 9802: case 9822: {  // conic with two standard parallels
      const double lat = param(8821), lon = param(8822), sp1 = param(8823), sp2 = param(8824), fe = param(8826),
                   fn = param(8827);
      if (!complete) return false;
      set_gcs(static_cast<short>(row.gcs));
      if (row.method == 9802) {
        set_lambert_conformal_conic_projection(fe, fn, lat, lon, sp1, sp2, nullptr, source, row.name.c_str());
      } else {
        set_albers_equal_area_conic_projection(fe, fn, lat, lon, sp1, sp2, nullptr, source, row.name.c_str());
      }
      break;
    }
    case 9812: {  // Hotine oblique Mercator, false origin at the natural origin
      const double lat = param(8811), lon = param(8812), azimuth = param(8813), angle = param(8814),
                   k = param(8815), fe = param(8806), fn = param(8807);
      if (!complete) return false;
      set_gcs(static_cast<short>(row.gcs));
      set_hotine_oblique_mercator_projection(fe, fn, lat, lon, azimuth, angle, k, nullptr, source, row.name.c_str());
      break;
    }
    case 9809: {  // oblique stereographic
      const double lat0 = param(8801), lon0 = param(8802), k = param(8805), fe = param(8806), fn = param(8807);
      if (!complete) return false;
      set_gcs(static_cast<short>(row.gcs));
      set_oblique_stereographic_projection(fe, fn, lat0, lon0, k, nullptr, source, row.name.c_str());
      break;
    }
    default:
      return false;
  }
  set_ProjLinearUnitsGeoKey(static_cast<short>(row.unit), source);
  copy_name(description, row.name);
  if (source) epsg_code = static_cast<uint16_t>(code);
  return true;
}

bool GeoProjectionConverter::set_projection_from_geo_keys(int count, const GeoProjectionGeoKeys* keys,
                                                          char* ascii_params, double* double_params,
                                                          char* description, bool source, int double_count) {
  stored_key_count = 0;
  stored_keys.reset();
  if (count > 0 && keys) {
    stored_keys = std::make_unique<GeoProjectionGeoKeys[]>(count);
    memcpy(stored_keys.get(), keys, sizeof(GeoProjectionGeoKeys) * count);
    stored_key_count = count;
  }
  stored_ascii_params = ascii_params;
  stored_double_params = double_params;

  bool result = false;
  int gcs = 0;
  int ellipsoid_id = 0;
  int transformation = 0;
  double axes[3] = {0.0, 0.0, 0.0};  // semi-major, semi-minor, inverse flattening
  bool present[SLOTS] = {};
  double value[SLOTS] = {};
  for (int i = 0; i < stored_key_count; i++) {
    const int v = keys[i].value_offset;
    switch (keys[i].key_id) {
      case 1024:  // model type
        if (v == 2) {
          result = set_longlat_projection(description, source);
        } else if (v == 3) {
          result = set_ecef_projection(description, source);
        } else if (v == 0) {
          result = set_no_projection(description, source);
        } else {
          result = false;
        }
        break;
      case 2048:  // geographic type
        switch (v) {
          case 4267: case 4269: case 4283: case 4322: case 4326: case 4619: case 6322: case 7844: case 4152:
          case 4759: case 4167:
            gcs = v;
            break;
          case 4957: gcs = 4152; break;
          case 4893: gcs = 4759; break;
          case 6318: case 6319: gcs = 6318; break;
          case 6782: case 6783: gcs = 6783; break;
          case 4617: case 32767: case 4140: break;
          default:
            if (v >= 4001 && v <= 4034) {
              ellipsoid_id = datum_ellipsoid(v + 2000);
            } else if (GeoEpsgGcs row; geo_epsg_find_gcs(v, row)) {
              gcs = v;
            } else if (!quiet) {
              LASMessage(LAS_WARNING, "GeographicTypeGeoKey: look-up for %d not implemented", v);
            }
        }
        break;
      case 2050:  // geodetic datum
        if (const int id = datum_ellipsoid(v)) {
          ellipsoid_id = id;
        } else if (v != 6140 && v != 6167 && v != 6267 && v != 6269 && v != 6283 && v != 6322 && v != 6326 &&
                   v != 6619 && v != 9844 && v != 32767 && !quiet) {
          LASMessage(LAS_WARNING, "GeogGeodeticDatumGeoKey: look-up for %d not implemented", v);
        }
        break;
      case 2052:  // geographic linear units
        if (v == 9001 || v == 9002 || v == 9003) {
          set_ProjLinearUnitsGeoKey(static_cast<short>(v), source);
        } else if (!quiet) {
          LASMessage(LAS_WARNING, "GeogLinearUnitsGeoKey: look-up for %d not implemented", v);
        }
        break;
      case 2056:  // ellipsoid
        if (v >= 7001 && v <= 7046) ellipsoid_id = ellipsoid_code_id(v);
        break;
      case 2057: case 2058: case 2059:  // a user-defined ellipsoid by its axes
        if (double_params && v < double_count) axes[keys[i].key_id - 2057] = double_params[v];
        break;
      case 3072:  // projected CS type
        if (v == 32767) break;
        if (set_epsg_code(static_cast<short>(v), description, source)) {
          result = true;
        } else if (!quiet) {
          LASMessage(LAS_SERIOUS_WARNING, "set_ProjectedCSTypeGeoKey: look-up for %d not implemented", v);
        }
        break;
      case 3075:  // coordinate transformation
        if (v == 1 || v == 3 || v == 8 || v == 11 || v == 16) {
          transformation = v;
        } else if (!quiet) {
          if (v >= 2 && v <= 27 && kTransformationNames[v]) {
            LASMessage(LAS_WARNING, "ProjCoordTransGeoKey: %s not implemented", kTransformationNames[v]);
          } else {
            LASMessage(LAS_WARNING, "ProjCoordTransGeoKey: look-up for %d not implemented", v);
          }
        }
        break;
      case 3076:  // projected linear units
        set_ProjLinearUnitsGeoKey(static_cast<short>(v), source);
        break;
      case 4096:
        set_VerticalCSTypeGeoKey(static_cast<short>(v));
        break;
      case 4099:
        set_VerticalUnitsGeoKey(static_cast<short>(v));
        break;
      default:
        for (int s = 0; s < SLOTS; s++) {
          if (kParameterKeys[s] != keys[i].key_id) continue;
          // an index outside the caller's array counts as an absent key
          if (double_params && v < double_count) {
            present[s] = true;
            value[s] = double_params[v];
          }
        }
        break;
    }
  }

  if (gcs) {
    set_gcs(static_cast<short>(gcs), nullptr);
  } else if ((ellipsoid_id >= 1 && ellipsoid_id <= 24) || set_ellipsoid_from_axes(axes[0], axes[1], axes[2])) {
    // a system of its own on that ellipsoid: no longer the default WGS 84
    if (ellipsoid_id) set_reference_ellipsoid(ellipsoid_id);
    gcs_code = 32767;
    gcs_name = "user-defined on " + ellipsoid->name;
    datum_name = gcs_name;
  }
  auto has = [&present](int s) { return present[s]; };
  const double f = source_coordinate_factor;
  const double fe = value[FALSE_EASTING] * f, fn = value[FALSE_NORTHING] * f;
  const char* generic = nullptr;
  switch (transformation) {
    case 1:
      if (has(FALSE_EASTING) && has(FALSE_NORTHING) && has(NAT_ORIGIN_LAT) && has(SCALE_AT_NAT_ORIGIN) &&
          (has(CENTER_LONG) || has(NAT_ORIGIN_LONG))) {
        set_transverse_mercator_projection(fe, fn, value[NAT_ORIGIN_LAT],
                                           has(CENTER_LONG) ? value[CENTER_LONG] : value[NAT_ORIGIN_LONG],
                                           value[SCALE_AT_NAT_ORIGIN], nullptr, source);
        generic = "generic transverse mercator";
      }
      break;
    case 3:
      if (has(FALSE_EASTING) && has(FALSE_NORTHING) && has(CENTER_LAT) && has(CENTER_LONG) &&
          has(SCALE_AT_CENTER) && has(AZIMUTH)) {
        set_hotine_oblique_mercator_projection(
            fe, fn, value[CENTER_LAT], value[CENTER_LONG], value[AZIMUTH],
            has(RECTIFIED_GRID_ANGLE) ? value[RECTIFIED_GRID_ANGLE] : value[AZIMUTH], value[SCALE_AT_CENTER],
            nullptr, source);
        generic = "generic hotine oblique mercator";
      }
      break;
    case 8:
      if (has(STD_PARALLEL_1) && has(STD_PARALLEL_2) && (has(FALSE_EASTING) || has(FALSE_ORIGIN_EASTING)) &&
          (has(FALSE_NORTHING) || has(FALSE_ORIGIN_NORTHING)) && (has(NAT_ORIGIN_LAT) || has(FALSE_ORIGIN_LAT)) &&
          (has(CENTER_LONG) || has(NAT_ORIGIN_LONG) || has(FALSE_ORIGIN_LONG))) {
        double meridian = has(CENTER_LONG) ? value[CENTER_LONG]
                          : has(NAT_ORIGIN_LONG) ? value[NAT_ORIGIN_LONG] : value[FALSE_ORIGIN_LONG];
        if (has(CENTER_LONG) && value[CENTER_LONG] == 0.0 && has(NAT_ORIGIN_LONG)) meridian = value[NAT_ORIGIN_LONG];
        set_lambert_conformal_conic_projection(
            has(FALSE_EASTING) ? fe : value[FALSE_ORIGIN_EASTING] * f,
            has(FALSE_NORTHING) ? fn : value[FALSE_ORIGIN_NORTHING] * f,
            has(NAT_ORIGIN_LAT) ? value[NAT_ORIGIN_LAT] : value[FALSE_ORIGIN_LAT], meridian, value[STD_PARALLEL_1],
            value[STD_PARALLEL_2], nullptr, source);
        generic = "generic lambert conformal conic";
      }
      break;
    case 11:
      if (has(FALSE_EASTING) && has(FALSE_NORTHING) && has(NAT_ORIGIN_LAT) && has(STD_PARALLEL_1) &&
          has(STD_PARALLEL_2) && (has(CENTER_LONG) || has(NAT_ORIGIN_LONG))) {
        double meridian = has(CENTER_LONG) ? value[CENTER_LONG] : value[NAT_ORIGIN_LONG];
        if (has(CENTER_LONG) && value[CENTER_LONG] == 0.0 && has(NAT_ORIGIN_LONG)) meridian = value[NAT_ORIGIN_LONG];
        set_albers_equal_area_conic_projection(fe, fn, value[NAT_ORIGIN_LAT], meridian, value[STD_PARALLEL_1],
                                               value[STD_PARALLEL_2], nullptr, source);
        generic = "generic albers equal area";
      }
      break;
    case 16:
      if (has(FALSE_EASTING) && has(FALSE_NORTHING) && has(NAT_ORIGIN_LAT) && has(SCALE_AT_NAT_ORIGIN) &&
          (has(CENTER_LONG) || has(NAT_ORIGIN_LONG))) {
        set_oblique_stereographic_projection(fe, fn, value[NAT_ORIGIN_LAT],
                                             has(CENTER_LONG) ? value[CENTER_LONG] : value[NAT_ORIGIN_LONG],
                                             value[SCALE_AT_NAT_ORIGIN], nullptr, source);
        generic = "generic oblique stereographic";
      }
      break;
    default:
      break;
  }
  if (generic) {
    if (description) strcpy(description, generic);
    result = true;
  }
  return result;
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

std::string GeoProjectionConverter::describe_coordinate_system() const {
  if (!source_projection) return "no coordinate system";
  std::string text = source_projection->name;
  text += " (GCS ";
  text += gcs_name;
  text += ", ";
  const GeoProjectionKind kind = source_projection->type;
  if (kind == GEO_PROJECTION_LONG_LAT) {
    text += "degree";
  } else {
    text += get_coordinate_unit_description_string(false, true);
  }
  const int code = epsg_code ? epsg_code : (kind == GEO_PROJECTION_LONG_LAT ? gcs_code : 0);
  if (code > 0) text += ", EPSG:" + std::to_string(code);
  text += ")";
  return text;
}

bool GeoProjectionConverter::same_coordinate_system(const GeoProjectionConverter& other) const {
  const GeoProjectionParameters* a = source_projection.get();
  const GeoProjectionParameters* b = other.source_projection.get();
  if (!a || !b) return a == b;
  // a UTM zone is a transverse Mercator with the zone's parameters
  auto kind = [](GeoProjectionKind k) { return k == GEO_PROJECTION_UTM ? GEO_PROJECTION_TM : k; };
  auto near = [](double x, double y) { return std::fabs(x - y) <= 1e-9 * (1.0 + std::fabs(x)); };
  if (kind(a->type) != kind(b->type)) return false;
  if (!near(a->false_easting, b->false_easting) || !near(a->false_northing, b->false_northing) ||
      !near(a->origin_latitude, b->origin_latitude) || !near(a->central_meridian, b->central_meridian) ||
      !near(a->scale_factor, b->scale_factor) || !near(a->standard_parallel_1, b->standard_parallel_1) ||
      !near(a->standard_parallel_2, b->standard_parallel_2) || !near(a->azimuth, b->azimuth) ||
      !near(a->rectified_grid_angle, b->rectified_grid_angle)) {
    return false;
  }
  if (gcs_code != other.gcs_code || ellipsoid->equatorial_radius != other.ellipsoid->equatorial_radius ||
      ellipsoid->eccentricity_squared != other.ellipsoid->eccentricity_squared) {
    return false;
  }
  if (a->type == GEO_PROJECTION_LONG_LAT) return true;  // degrees either way
  if (source_coordinate_units != other.source_coordinate_units) return false;
  return !source_coordinate_units || source_coordinate_factor == other.source_coordinate_factor;
}

std::string geo_coordinate_system_note(const GeoProjectionConverter& first, const GeoProjectionConverter& second) {
  if (!first.has_projection(true) || !second.has_projection(true) || first.same_coordinate_system(second)) return "";
  return "rasters have different coordinate systems: '" + first.describe_coordinate_system() + "' and '" +
         second.describe_coordinate_system() + "'";
}
