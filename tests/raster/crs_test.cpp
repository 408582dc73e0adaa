// Coordinate systems of GeoTIFFs written by GDAL: the geo keys as the
// GeoTIFF reader hands them to a converter (EPSG-coded systems, which GDAL
// writes as the projected-CS key alone, and systems GDAL spells out key by
// key), and what rastcmp says about the systems of a pair.
#include "geo/geoprojectionconverter.hpp"        // GeoProjectionConverter
#include "raster/srreader_tif.hpp"               // SRreader_tif
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader

namespace {

using namespace testsupport;

const double kNodata = -9999;
const std::vector<double> kCells = {1, 2, 3, 4, 5, 6};

// false easting, false northing, origin latitude, central meridian, scale,
// standard parallels 1 and 2, azimuth, rectified grid angle
using Params = std::vector<double>;

struct KeysCase {
  const char* name;
  std::string srs;
  int kind;  // GeoProjectionKind, -1: no projection
  Params p;
  int gcs;
  const char* units;
  std::string messages;  // printed by the open
};

class GeoKeys : public DirTest<KeysCase> {};

TEST_P(GeoKeys, KindParametersGcsAndUnits) {
  const KeysCase& k = GetParam();
  const std::string path = dir.file("k.tif");
  ASSERT_TRUE(write_dem(path, 3, 2, GDT_Int16, kCells, Geo(), &kNodata, {}, k.srs));
  GeoProjectionConverter c;
  auto o = open_reader<SRreader_tif>(path, 0.0, &c);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, k.messages);
  const GeoProjectionParameters* p = c.get_projection(true);
  if (k.kind < 0) {
    EXPECT_EQ(p, nullptr);
    return;
  }
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->type, k.kind);
  const Params got = {p->false_easting,       p->false_northing,      p->origin_latitude,
                      p->central_meridian,    p->scale_factor,        p->standard_parallel_1,
                      p->standard_parallel_2, p->azimuth,             p->rectified_grid_angle};
  for (size_t i = 0; i < got.size(); i++) EXPECT_NEAR(got[i], k.p[i], i < 2 ? 1e-3 : 1e-8) << i;
  EXPECT_EQ(c.get_gcs_code(), k.gcs);
  EXPECT_STREQ(c.get_coordinate_unit_description_string(true, true), k.units);
}

const char* const kNotParsed = "WARNING: could not parse projection from geo keys\n";

INSTANTIATE_TEST_SUITE_P(
    Gdal, GeoKeys,
    ::testing::Values(
        KeysCase{"Utm17N", "EPSG:32617", GEO_PROJECTION_UTM, {500000, 0, 0, -81, 0.9996, 0, 0, 0, 0}, 4326, "m", ""},
        KeysCase{"Utm17S", "EPSG:32717", GEO_PROJECTION_UTM, {500000, 1e7, 0, -81, 0.9996, 0, 0, 0, 0}, 4326, "m", ""},
        KeysCase{"Nad83Utm17N", "EPSG:26917", GEO_PROJECTION_UTM, {500000, 0, 0, -81, 0.9996, 0, 0, 0, 0}, 4269, "m",
                 ""},
        KeysCase{"CaliforniaZone3Feet", "EPSG:2227", GEO_PROJECTION_LCC,
                 {2000000.0001, 500000.0000, 36.5, -120.5, 1, 38 + 26 / 60.0, 37 + 4 / 60.0, 0, 0}, 4269, "sft", ""},
        KeysCase{"BritishNationalGrid", "EPSG:27700", GEO_PROJECTION_TM,
                 {400000, -100000, 49, -2, 0.9996012717, 0, 0, 0, 0}, 4277, "m", ""},
        KeysCase{"ConusAlbers", "EPSG:5070", GEO_PROJECTION_AEAC, {0, 0, 23, -96, 1, 29.5, 45.5, 0, 0}, 4269, "m", ""},
        KeysCase{"RdNew", "EPSG:28992", GEO_PROJECTION_OS,
                 {155000, 463000, 52 + 9 / 60.0 + 22.178 / 3600, 5 + 23 / 60.0 + 15.5 / 3600, 0.9999079, 0, 0, 0, 0},
                 4289, "m", ""},
        KeysCase{"Wgs84", "EPSG:4326", GEO_PROJECTION_LONG_LAT, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 4326, "units", ""},
        KeysCase{"MichiganOblique", "EPSG:3078", GEO_PROJECTION_HOM,
                 {2546731.496, -4354009.816, 45 + 18 / 60.0 + 33 / 3600.0, -86, 0.9996, 0, 0, 337.25556, 337.25556},
                 4269, "m", ""},
        KeysCase{"LambertOneParallel", "EPSG:6792", -1, {}, 0, "",
                 std::string("SERIOUS WARNING: set_ProjectedCSTypeGeoKey: look-up for 6792 not implemented\n") +
                     kNotParsed},
        // spelled out key by key: false origins in feet become metres
        KeysCase{"TransverseMercatorFeet",
                 "+proj=tmerc +lat_0=49 +lon_0=-2 +k=0.9996012717 +x_0=152400 +y_0=-30480 +ellps=airy +units=ft",
                 GEO_PROJECTION_TM, {152400, -30480, 49, -2, 0.9996012717, 0, 0, 0, 0}, 32767, "ft", ""},
        KeysCase{"LambertFalseOrigin", "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=23 +lon_0=-96 +x_0=10 +y_0=20 +datum=NAD83",
                 GEO_PROJECTION_LCC, {10, 20, 23, -96, 1, 33, 45, 0, 0}, 4269, "m", ""},
        KeysCase{"HotineVariantA",
                 "+proj=omerc +no_uoff +lat_0=45.3 +lonc=-86 +alpha=337.25 +gamma=337.25 +k=0.9996 +x_0=2546731.5 "
                 "+y_0=-4354009.8 +datum=NAD83",
                 GEO_PROJECTION_HOM, {2546731.5, -4354009.8, 45.3, -86, 0.9996, 0, 0, 337.25, 337.25}, 4269, "m", ""},
        KeysCase{"StereographicBessel", "+proj=sterea +lat_0=52 +lon_0=5 +k=0.9999 +x_0=155000 +y_0=463000 +ellps=bessel",
                 GEO_PROJECTION_OS, {155000, 463000, 52, 5, 0.9999, 0, 0, 0, 0}, 32767, "m", ""},
        KeysCase{"LambertOneParallelKeys", "+proj=lcc +lat_1=40 +lat_0=40 +lon_0=-100 +k_0=0.99 +datum=WGS84", -1, {}, 0,
                 "", std::string("WARNING: ProjCoordTransGeoKey: CT_LambertConfConic_Helmert not implemented\n") +
                         kNotParsed}),
    CaseName());

// A pair written with and without coordinate systems: with them, rastcmp
// says the same as without (verdict, counts, exit status) plus, when the
// systems differ, the note right before the verdict; -v names each system.
struct PairCase {
  const char* name;
  const char* a;
  std::string a_srs;
  const char* b;
  std::string b_srs;
  std::string note;
  std::vector<std::string> described;  // the -v lines
};

class PairSystems : public DirTest<PairCase> {
 protected:
  RunResult compare(bool with_systems, const std::vector<std::string>& more = {}) {
    const PairCase& k = GetParam();
    for (auto [name, srs] : {std::make_pair(k.a, k.a_srs), std::make_pair(k.b, k.b_srs)}) {
      EXPECT_TRUE(write_dem(dir.file(name), 3, 2, GDT_Int16, kCells, Geo(), &kNodata, {},
                                         with_systems ? srs : ""));
    }
    std::vector<std::string> args = {"-i", dir.file(k.a), dir.file(k.b)};
    args.insert(args.end(), more.begin(), more.end());
    return run_rastcmp(args);
  }
};

TEST_P(PairSystems, NoteBeforeTheSameVerdict) {
  const PairCase& k = GetParam();
  const RunResult plain = compare(false);
  const RunResult with = compare(true);
  // the lines up to the verdict: the timings after it vary
  auto up_to_verdict = [](const std::string& err) {
    std::vector<std::string> l = lines(err);
    auto verdict = std::find_if(l.begin(), l.end(), [](const std::string& s) { return s.rfind("rasters are ", 0) == 0; });
    EXPECT_NE(verdict, l.end()) << err;
    return std::vector<std::string>(l.begin(), verdict == l.end() ? verdict : verdict + 1);
  };
  std::vector<std::string> expected = up_to_verdict(plain.err);
  if (!k.note.empty() && !expected.empty()) expected.insert(expected.end() - 1, k.note);
  EXPECT_EQ(up_to_verdict(with.err), expected);
  EXPECT_EQ(with.status, plain.status);
  const std::string json = compare(true, {"-json"}).out;  // the note also travels in the JSON line
  EXPECT_EQ(json.find(k.note.empty() ? "coordinate systems" : k.note) != std::string::npos, !k.note.empty()) << json;
  const std::vector<std::string> verbose = lines(compare(true, {"-v"}).err);
  for (const std::string& line : k.described) {
    EXPECT_NE(std::find(verbose.begin(), verbose.end(), line), verbose.end()) << line;
  }
}

const char* const kUtm = "WGS 84 / UTM zone 17N (GCS WGS 84, meter, EPSG:32617)";
const char* const kNad83Utm = "NAD83 / UTM zone 17N (GCS NAD83, meter, EPSG:26917)";

INSTANTIATE_TEST_SUITE_P(
    Gdal, PairSystems,
    ::testing::Values(
        PairCase{"OtherDatum", "a.tif", "EPSG:32617", "b.tif", "EPSG:26917",
                 std::string("rasters have different coordinate systems: '") + kUtm + "' and '" + kNad83Utm + "'",
                 {std::string("coordinate system of 'a.tif': ") + kUtm,
                  std::string("coordinate system of 'b.tif': ") + kNad83Utm}},
        PairCase{"SameSystem", "a.tif", "EPSG:32617", "b.tif", "EPSG:32617", "", {}},
        PairCase{"ImgSameAsTif", "a.img", "EPSG:26917", "b.tif", "EPSG:26917", "",
                 {std::string("coordinate system of 'a.img': ") + kNad83Utm}},
        PairCase{"AscHasNone", "a.asc", "", "b.tif", "EPSG:32617", "", {"coordinate system of 'a.asc': none"}}),
    CaseName());

}  // namespace
