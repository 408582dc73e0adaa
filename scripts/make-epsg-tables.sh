#!/bin/sh
# Writes the EPSG look-up tables of the projection converter from the EPSG
# database that PROJ ships (proj.db), one tab-separated row per system:
#   pcs.txt  projected systems: code, geographic system code, method code,
#            unit of the first axis, then seven (parameter code, value,
#            unit code) triples (empty when absent), and the name last
#   gcs.txt  geographic 2D systems: code, ellipsoid code, semi-major axis
#            in metres, inverse flattening (0 when given by the semi-minor
#            axis), semi-minor axis in metres, prime meridian in degrees,
#            datum name, and the name last
# Usage: make-epsg-tables.sh PROJ_DB OUTPUT_DIRECTORY
set -eu
db="$1"
out="$2"
mkdir -p "$out"
sqlite3 -batch -noheader -separator '	' "file:$db?immutable=1" >"$out/pcs.txt.tmp" <<'SQL'
SELECT p.code, p.geodetic_crs_code, c.method_code,
       (SELECT a.uom_code FROM axis a
         WHERE a.coordinate_system_auth_name = p.coordinate_system_auth_name
           AND a.coordinate_system_code = p.coordinate_system_code
           AND a.coordinate_system_order = 1),
       c.param1_code, c.param1_value, c.param1_uom_code,
       c.param2_code, c.param2_value, c.param2_uom_code,
       c.param3_code, c.param3_value, c.param3_uom_code,
       c.param4_code, c.param4_value, c.param4_uom_code,
       c.param5_code, c.param5_value, c.param5_uom_code,
       c.param6_code, c.param6_value, c.param6_uom_code,
       c.param7_code, c.param7_value, c.param7_uom_code,
       replace(p.name, '	', ' ')
  FROM projected_crs p
  JOIN conversion_table c ON c.auth_name = p.conversion_auth_name AND c.code = p.conversion_code
 WHERE p.auth_name = 'EPSG' AND p.geodetic_crs_auth_name = 'EPSG'
 ORDER BY CAST(p.code AS INTEGER);
SQL
sqlite3 -batch -noheader -separator '	' "file:$db?immutable=1" >"$out/gcs.txt.tmp" <<'SQL'
SELECT g.code, e.code,
       e.semi_major_axis * (SELECT u.conv_factor FROM unit_of_measure u
                             WHERE u.auth_name = e.uom_auth_name AND u.code = e.uom_code),
       coalesce(e.inv_flattening, 0),
       coalesce(e.semi_minor_axis * (SELECT u.conv_factor FROM unit_of_measure u
                                      WHERE u.auth_name = e.uom_auth_name AND u.code = e.uom_code), 0),
       pm.longitude, pm.uom_code,
       replace(d.name, '	', ' '),
       replace(g.name, '	', ' ')
  FROM geodetic_crs g
  JOIN geodetic_datum d ON d.auth_name = g.datum_auth_name AND d.code = g.datum_code
  JOIN ellipsoid e ON e.auth_name = d.ellipsoid_auth_name AND e.code = d.ellipsoid_code
  JOIN prime_meridian pm ON pm.auth_name = d.prime_meridian_auth_name AND pm.code = d.prime_meridian_code
 WHERE g.auth_name = 'EPSG' AND g.type = 'geographic 2D'
 ORDER BY CAST(g.code AS INTEGER);
SQL
mv "$out/pcs.txt.tmp" "$out/pcs.txt"
mv "$out/gcs.txt.tmp" "$out/gcs.txt"
