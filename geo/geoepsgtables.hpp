// Look-ups in the EPSG tables generated at build time (pcs.txt, gcs.txt):
// projected systems with their method and parameters, and geographic
// systems with their datum, ellipsoid and prime meridian.
#ifndef GEO_GEOEPSGTABLES_HPP
#define GEO_GEOEPSGTABLES_HPP

#include <string>  // names

struct GeoEpsgPcs {
  static constexpr int PARAMETERS = 7;
  int code = 0;
  int gcs = 0;
  int method = 0;
  int unit = 0;                      // unit of the coordinates
  int parameter[PARAMETERS] = {};    // EPSG parameter codes, 0: none
  double value[PARAMETERS] = {};     // as stored
  int value_unit[PARAMETERS] = {};   // EPSG unit code of each value
  std::string name;
};

struct GeoEpsgGcs {
  int code = 0;
  int ellipsoid_code = 0;
  double semi_major_axis = 0.0;     // metres
  double inverse_flattening = 0.0;  // 0: the semi-minor axis defines it
  double semi_minor_axis = 0.0;     // metres
  double prime_meridian = 0.0;      // degrees east of Greenwich
  std::string datum_name;
  std::string name;
};

// False when the code is not in the table or the table cannot be read.
bool geo_epsg_find_pcs(int code, GeoEpsgPcs& row);
bool geo_epsg_find_gcs(int code, GeoEpsgGcs& row);

#endif
