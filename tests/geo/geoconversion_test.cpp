// Forward and inverse conversions of every projection kind against PROJ, and
// the published British National Grid example.
#include <gtest/gtest.h>  // TEST_P
#include <proj.h>         // the reference conversions

#include <string>  // CRS names

#include "geo/geoprojectionconverter.hpp"  // GeoProjectionConverter

namespace {

struct GridCase {
  const char* name;
  int epsg;  // 4978: earth-centred, from longitude, latitude and height
  double west, east, south, north;
};

class Conversions : public ::testing::TestWithParam<GridCase> {
 protected:
  void SetUp() override { ctx = proj_context_create(); }
  void TearDown() override {
    for (PJ* p : {op, geodetic, crs}) proj_destroy(p);
    proj_context_destroy(ctx);
  }
  // PROJ's conversion from the system's own geodetic system to it, with
  // longitude first and easting first.
  void reference(int epsg) {
    const std::string name = "EPSG:" + std::to_string(epsg);
    crs = proj_create(ctx, name.c_str());
    ASSERT_NE(crs, nullptr) << name;
    geodetic = epsg == 4978 ? proj_create(ctx, "EPSG:4979") : proj_crs_get_geodetic_crs(ctx, crs);
    PJ* raw = proj_create_crs_to_crs_from_pj(ctx, geodetic, crs, nullptr, nullptr);
    ASSERT_NE(raw, nullptr);
    op = proj_normalize_for_visualization(ctx, raw);
    proj_destroy(raw);
    ASSERT_NE(op, nullptr);
  }
  PJ_CONTEXT* ctx = nullptr;
  PJ* crs = nullptr;
  PJ* geodetic = nullptr;
  PJ* op = nullptr;
};

TEST_P(Conversions, AgreeWithProjOverTheGrid) {
  const GridCase& g = GetParam();
  reference(g.epsg);
  GeoProjectionConverter c;
  ASSERT_TRUE(g.epsg == 4978 ? c.set_ecef_projection() : c.set_epsg_code(static_cast<short>(g.epsg)));
  const double f = c.get_source_coordinate_factor();
  const int n = 8;
  for (int i = 0; i <= n; i++) {
    for (int j = 0; j <= n; j++) {
      const double lon = g.west + (g.east - g.west) * i / n, lat = g.south + (g.north - g.south) * j / n;
      const double h = 1000.0 * j;
      const PJ_COORD ref = proj_trans(op, PJ_FWD, proj_coord(lon, lat, h, 0));
      SCOPED_TRACE(::testing::Message() << "lon " << lon << " lat " << lat);
      if (g.epsg == 4978) {
        double x, y, z, lon2, lat2, h2;
        c.lon_lat_to_ecef(lon, lat, h, x, y, z);
        EXPECT_NEAR(x, ref.xyz.x, 1e-3);
        EXPECT_NEAR(y, ref.xyz.y, 1e-3);
        EXPECT_NEAR(z, ref.xyz.z, 1e-3);
        c.ecef_to_lon_lat(ref.xyz.x, ref.xyz.y, ref.xyz.z, lon2, lat2, h2);
        EXPECT_NEAR(lon2, lon, 1e-9);
        EXPECT_NEAR(lat2, lat, 1e-9);
        EXPECT_NEAR(h2, h, 1e-3);
        continue;
      }
      double x, y, lon2, lat2;
      ASSERT_TRUE(c.to_projection(lon, lat, x, y));
      EXPECT_NEAR(x, ref.xy.x * f, 1e-3);
      EXPECT_NEAR(y, ref.xy.y * f, 1e-3);
      const PJ_COORD back = proj_trans(op, PJ_INV, ref);
      ASSERT_TRUE(c.to_lon_lat(ref.xy.x * f, ref.xy.y * f, lon2, lat2));
      EXPECT_NEAR(lon2, back.lp.lam, 1e-9);
      EXPECT_NEAR(lat2, back.lp.phi, 1e-9);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Conversions,
    ::testing::Values(GridCase{"Utm17N", 32617, -84, -78, 0, 72}, GridCase{"Utm17S", 32717, -84, -78, -72, 0},
                      GridCase{"TransverseMercator", 27700, -8, 2, 49.5, 61},
                      GridCase{"LambertStatePlaneFeet", 2227, -123.5, -117.5, 35.5, 39.5},
                      GridCase{"Albers", 5070, -125, -67, 24, 50}, GridCase{"ObliqueStereographic", 28992, 3, 7.5, 50.5, 53.7},
                      GridCase{"HotineObliqueMercator", 3078, -90.5, -82, 41.5, 48.5},
                      GridCase{"EarthCentred", 4978, -180, 180, -89, 89}),
    [](const ::testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

// 50°30'N 0°30'E on the British National Grid (Airy 1830, origin 49°N 2°W).
TEST(BritishNationalGrid, PublishedExampleToTheCentimetre) {
  GeoProjectionConverter c;
  ASSERT_TRUE(c.set_epsg_code(27700));
  EXPECT_EQ(c.get_ellipsoid().id, 1);  // Airy
  double e, n;
  ASSERT_TRUE(c.to_projection(0.5, 50.5, e, n));
  EXPECT_NEAR(e, 577274.99, 0.01);
  EXPECT_NEAR(n, 69740.50, 0.01);
}

}  // namespace
