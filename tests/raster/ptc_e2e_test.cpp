// rast2ptc and rastcmp end to end for every raster format: the copy of a
// raster compares identical with it and one changed cell gives the exact
// counts; a damaged copy ends with a message and exit status 3, never with
// "rasters are identical". Copies whose points come in any order or leave
// cells out are in ptc_test.
#include <gdal.h>         // GDALDataType

#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run

namespace {

using namespace testsupport;

constexpr int kCols = 37, kRows = 23, kCells = kCols * kRows;

RunResult run_rast2ptc(const std::vector<std::string>& args) { return run(RAST2PTC_EXE, args); }

std::string ptc_of(const std::string& path) { return path.substr(0, path.size() - 3) + "ptc"; }

// How a format's test raster is written.
struct FormatCase {
  const char* name;
  const char* ext;
  GDALDataType type;
  bool has_nodata;
  double step;  // the change that makes one cell differ in the reader's unit
};

class PtcCopyE2E : public DirTest<FormatCase> {
 protected:
  // Values of the format's sample type with a few nodata cells.
  std::vector<double> values() const {
    const FormatCase& c = GetParam();
    std::vector<double> v(kCells);
    for (int i = 0; i < kCells; i++) {
      const int col = i % kCols, row = i / kCols;
      v[i] = c.type == GDT_Float32 ? 180.25 + 0.37 * col - 0.11 * row + 0.01 * (i % 7)
             : c.type == GDT_Int16 ? -300 + 29 * col - 17 * row
                                   : 1000 + 97 * col + 5 * row;
    }
    if (c.has_nodata) v[0] = v[kCols + 3] = v[kCells - 1] = nodata;
    return v;
  }

  void write_source(const std::string& path, const std::vector<double>& v) const {
    ASSERT_TRUE(write_dem(path, kCols, kRows, GetParam().type, v, Geo{500000.0, 4100000.0 + kRows * 0.5, 0.5},
                                       GetParam().has_nodata ? &nodata : nullptr));
  }

  int value_cells() const { return GetParam().has_nodata ? kCells - 3 : kCells; }
  int nodata_cells() const { return GetParam().has_nodata ? 3 : 0; }

  std::string source() const { return dir.file(std::string("dem.") + GetParam().ext); }

  void expect_verdict(const RunResult& r, const std::string& verdict) const {
    EXPECT_EQ(r.status, 0) << r.err;
    const auto all = lines(r.err);
    ASSERT_GE(all.size(), 2u) << r.err;
    EXPECT_EQ(all[0], verdict) << r.err;
    EXPECT_EQ(all[1].rfind("done with '" + source() + "'. total time ", 0), 0u) << r.err;
  }

  const double nodata = -9999.0;
};

// The copy is identical in batch and pair mode; one changed cell of the
// source is counted.
TEST_P(PtcCopyE2E, VerdictsOnTheCopy) {
  const std::string src = source();
  std::vector<double> v = values();
  write_source(src, v);
  const RunResult made = run_rast2ptc({"-i", src});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string counts = std::to_string(value_cells()) + " value and " + std::to_string(nodata_cells());
  EXPECT_EQ(made.err.rfind("wrote '" + ptc_of(src) + "' with " + counts + " nodata cells. total time ", 0), 0u)
      << made.err;
  const std::string identical = "rasters are identical. both have " + counts + " nodata cells.";
  expect_verdict(run_rastcmp({"-i", src}), identical);
  const RunResult pair = run_rastcmp({"-i", ptc_of(src), "-i", src});
  EXPECT_EQ(pair.status, 0) << pair.err;
  EXPECT_EQ(lines(pair.err)[0], identical);

  std::vector<double> changed = v;
  changed[kCols * 11 + 17] += GetParam().step;
  write_source(src, changed);
  expect_verdict(run_rastcmp({"-i", src}),
                 "rasters are not identical. rasters have 1 different and " + std::to_string(value_cells() - 1) +
                     " identical value cells. but both have " + std::to_string(nodata_cells()) + " nodata cells");
}

INSTANTIATE_TEST_SUITE_P(Formats, PtcCopyE2E,
                         ::testing::Values(FormatCase{"Asc", "asc", GDT_Float32, true, 0.05},
                                           FormatCase{"BilInt16", "bil", GDT_Int16, true, 1},
                                           FormatCase{"TifFloat32", "tif", GDT_Float32, true, 0.5},
                                           FormatCase{"TifInt32", "tif", GDT_Int32, true, 1},
                                           FormatCase{"ImgFloat32", "img", GDT_Float32, true, 0.25},
                                           FormatCase{"PngUInt16", "png", GDT_UInt16, false, 1}),
                         CaseName());

// ---------------------------------------------------------------------------
// Damaged copies

struct Damage {
  const char* name;
  double at;   // position as a share of the file
  bool cut;    // cut the file there, or overwrite three bytes
  bool ignore_errors;
  std::vector<std::string> messages = {};  // %s: the copy's name
};

class DamagedCopy : public DirTest<Damage> {};

TEST_P(DamagedCopy, EndsWithAnErrorNeverIdentical) {
  const int cols = 150, rows = 120;
  std::vector<double> v(cols * rows);
  for (int i = 0; i < cols * rows; i++) v[i] = 100.0 + (i * 7919 % 10007) * 0.01;
  const std::string tif = dir.file("dem.tif"), ptc = dir.file("dem.ptc");
  ASSERT_TRUE(write_raster("GTiff", tif, cols, rows, 1, GDT_Float32, v));
  ASSERT_EQ(run_rast2ptc({"-i", tif}).status, 0);
  std::string bytes = read_file(ptc);
  const size_t at = static_cast<size_t>(bytes.size() * GetParam().at);
  if (GetParam().cut) {
    ASSERT_EQ(truncate(ptc.c_str(), static_cast<off_t>(at)), 0);
  } else {
    bytes[at] = static_cast<char>(~bytes[at]);
    bytes[at + 1] = 0x55;
    bytes[at + 2] = static_cast<char>(bytes[at + 2] ^ 0x10);
    write_file(ptc, bytes);
  }
  std::vector<std::string> args = {"-i", tif};
  if (GetParam().ignore_errors) args.push_back("-errors_ignore");
  const RunResult r = run_rastcmp(args);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(r.err.find("rasters are identical"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("ERROR: "), std::string::npos) << r.err;
  // halting on errors, a copy that cannot be read completely gets no verdict
  EXPECT_TRUE(GetParam().ignore_errors || r.err.find("rasters are ") == std::string::npos) << r.err;
  for (const std::string& m : GetParam().messages)
    EXPECT_NE(r.err.find(with_path(m, ptc)), std::string::npos) << m << "\n" << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedCopy,
    ::testing::Values(Damage{"CutInHeader", 0.01, true, false}, Damage{"CutEarly", 0.2, true, false},
                      // the shortfall, and the first cell as the one that failed
                      Damage{"CutInHalf", 0.5, true, false,
                             {"ERROR: corrupt or truncated RasterPTC '%s': only ", " of 18000 points could be read\n",
                              "\nERROR: failed to read raster2 at col 0 and row 0 ...\n"}},
                      Damage{"CutLate", 0.9, true, false}, Damage{"CutLateErrorsIgnored", 0.9, true, true},
                      Damage{"FlippedEarly", 0.3, false, false}, Damage{"FlippedLate", 0.8, false, false},
                      Damage{"FlippedErrorsIgnored", 0.5, false, true}),
    CaseName());

}  // namespace
