// The rastcmp binary's report options end to end: JSON lines parsed with a
// JSON parser (pairs, odd file names, batch runs through the fan-out),
// notes, listed cells, messages and exit statuses of bad options, and the
// read-failure message of a grid cut in the middle of a row.
#include <gdal.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run

namespace {

using namespace testsupport;

using nlohmann::json;

struct Case {
  const char* name;
  Strings args;     // "@f" is file f of the test's directory
  int status;
  Strings err;        // lines that stderr holds, in this order
  Strings json = {};  // per JSON line: "raster1 name|verdict|notes joined by ;"
  Strings outputs = {};  // files that must exist afterwards
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kA = {"1", "2", "3", "4", "5", "6"};
const std::vector<std::string> kB = {"1", "2.5", "-9999", "4", "-9999", "7"};

class ReportE2E : public DirTest<Case> {
 protected:
  void SetUp() override {
    for (const char* n : {"a.asc", "x.asc", "y.asc", "z.asc", "q\"uo\\te.asc", "\xe9t\xe9.asc", "h.asc"})
      write_asc(dir.file(n), 3, 2, 100, 200, 0.5, kA);
    write_asc(dir.file("b.asc"), 3, 2, 100, 200, 0.5, kB);
    write_asc(dir.file("far.asc"), 3, 2, 150, 200, 0.5, kA);
    write_asc(dir.file("coarse.asc"), 3, 2, 100, 200, 1, kA);
    // 20 cells that all differ: more lines than the message system shows of one format
    Strings w1, w2;
    for (int k = 0; k < 20; k++) w1.push_back(std::to_string(k)), w2.push_back(std::to_string(k + 1));
    write_asc(dir.file("w1.asc"), 5, 4, 100, 200, 1, w1);
    write_asc(dir.file("w2.asc"), 5, 4, 100, 200, 1, w2);
    const std::vector<double> v = {1, 2, 3, 4, 5, 6};
    // the same heights as an int16 GeoTIFF (upper-left 100, 201), and a grid cut in its second row
    ASSERT_TRUE(write_dem(dir.file("h.tif"), 3, 2, GDT_Int16, v, {100, 201, 0.5}));
    write_file(dir.file("cut.asc"), "ncols 3\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 0.5\n"
                                                 "NODATA_value -9999\n1 2 3\n4\n");
    for (const char* n : {"x.asc", "y.asc", "z.asc"}) ASSERT_EQ(run(RAST2PTC_EXE, {"-i", dir.file(n)}).status, 0);
  }
  std::string expand(std::string s) const {
    const size_t at = s.find('@');
    return at == std::string::npos ? s : s.substr(0, at) + dir.file(s.substr(at + 1));
  }
};

TEST_P(ReportE2E, MessagesJsonAndOutputs) {
  const Case& c = GetParam();
  Strings args;
  for (const std::string& a : c.args) args.push_back(expand(a));
  const RunResult r = run_rastcmp(args);
  EXPECT_EQ(r.status, c.status) << r.err;
  // the wanted lines appear in this order
  const Strings err = lines(r.err);
  auto from = err.begin();
  for (const std::string& want : c.err) {
    from = std::find(from, err.end(), expand(want));
    EXPECT_NE(from, err.end()) << "missing: " << expand(want) << "\n" << r.err;
  }
  Strings got;
  for (const std::string& line : lines(r.out)) {
    const json j = json::parse(line);  // throws, failing the test, on bad JSON
    std::string notes;
    for (const auto& n : j.at("notes")) notes += (notes.empty() ? "" : ";") + n.get<std::string>();
    got.push_back(j.at("raster1").get<std::string>() + "|" + j.at("verdict").get<std::string>() + "|" + notes);
    EXPECT_EQ(j.at("identical_value_cells").get<int64_t>() + j.at("different_value_cells").get<int64_t>() +
                  j.at("identical_nodata_cells").get<int64_t>() + j.at("different_nodata_cells").get<int64_t>(),
              6);
  }
  std::sort(got.begin(), got.end());  // children finish in any order
  Strings want;
  for (const std::string& w : c.json) want.push_back(expand(w));
  EXPECT_EQ(got, want);
  for (const std::string& f : c.outputs) EXPECT_TRUE(std::filesystem::exists(expand(f))) << f;
}

const char* const kUnits = "raster1 holds values in units of 1 and raster2 in units of 0.01";

INSTANTIATE_TEST_SUITE_P(
    Runs, ReportE2E,
    ::testing::Values(
        Case{"PairJson", {"-json", "-i", "@a.asc", "-i", "@b.asc"}, 0, {}, {"@a.asc|not_identical|"}},
        Case{"QuoteAndBackslash", {"-json", "-i", "@q\"uo\\te.asc", "-i", "@a.asc"}, 0, {}, {"@q\"uo\\te.asc|identical|"}},
        Case{"Latin1Name", {"-json", "-i", "@\xe9t\xe9.asc", "-i", "@a.asc"}, 0, {}, {"@\xc3\xa9t\xc3\xa9.asc|identical|"}},
        Case{"UnitsNote", {"-json", "-i", "@h.tif", "-i", "@h.asc"}, 1, {kUnits},
             {std::string("@h.tif|not_identical|") + kUnits}},
        Case{"ExtentNote", {"-i", "@a.asc", "-i", "@far.asc"}, 0,
             {"rasters of the same size have different extents: raster1 from (100, 200) to (101.5, 201) and raster2 "
              "from (150, 200) to (151.5, 201)"}},
        Case{"CellSizeNote", {"-i", "@a.asc", "-i", "@coarse.asc"}, 0,
             {"rasters of the same size have different cell sizes: raster1 0.5 by 0.5 and raster2 1 by 1"}},
        Case{"BatchThroughChildren",
             {"-json", "-cores", "2", "-diff_raster", "@out", "-diff_picture", "@out", "-i", "@x.asc", "@y.asc", "@z.asc"},
             0, {}, {"@x.asc|identical|", "@y.asc|identical|", "@z.asc|identical|"},
             {"@out/x_diff.tif", "@out/y_diff.png", "@out/z_diff.tif"}},
        Case{"ListThree", {"-list_differences", "3", "-i", "@a.asc", "-i", "@b.asc"}, 0,
             {"rasters are not identical. they have 2 different and 2 identical value cells. they have 2 different and "
              "0 identical nodata cells.",
              "difference at col 1 and row 0 (x 100.75, y 200.75): raster1 2 and raster2 2.5",
              "difference at col 2 and row 0 (x 101.25, y 200.75): raster1 3 and raster2 nodata",
              "difference at col 1 and row 1 (x 100.75, y 200.25): raster1 5 and raster2 nodata"}},
        Case{"ListEighteen", {"-list_differences", "18", "-i", "@w1.asc", "-i", "@w2.asc"}, 0,
             {"difference at col 2 and row 3 (x 102.5, y 200.5): raster1 17 and raster2 18"}},
        Case{"GridCutInRow", {"-i", "@a.asc", "-i", "@cut.asc"}, 3, {"ERROR: failed to read raster2 at col 1 and row 1 ..."}},
        Case{"ListNotANumber", {"-list_differences", "x", "-i", "@a.asc", "-i", "@b.asc"}, 3,
             {"ERROR: cannot understand argument 'x' for '-list_differences'"}},
        Case{"RasterWithoutName", {"-i", "@a.asc", "-i", "@b.asc", "-diff_raster"}, 3,
             {"ERROR: '-diff_raster' needs 1 argument: file name or folder"}},
        Case{"FileWhereFolderNeeded", {"-diff_picture", "@a.asc", "-i", "@x.asc", "@y.asc", "@z.asc"}, 3,
             {"ERROR: '@a.asc' is not a folder. with more than one comparison the outputs go into a folder"}},
        Case{"RasterNotCreated", {"-i", "@a.asc", "-i", "@b.asc", "-diff_raster", "@none/d.tif"}, 3,
             {"ERROR: cannot create difference raster '@none/d.tif'"}}),
    CaseName());

}  // namespace
