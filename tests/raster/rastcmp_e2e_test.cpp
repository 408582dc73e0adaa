// The rastcmp binary on pairs of rasters of different formats written by
// GDAL: the verdict with its counts, and exit status 3 with the reader's
// message, never a verdict, for files that cannot be read. Each format
// against its own copy is in ptc_e2e_test.
#include <gdal.h>         // GDALDataType

#include <filesystem>  // resize_file

#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run

namespace {

using namespace testsupport;

constexpr double kNodata = -9999;

// A raster file of a pair: name (its extension picks the driver), sample
// type, creation options, and the cells changed from the common values.
struct Side {
  std::string name;
  GDALDataType type;
  std::vector<std::string> options;
  std::vector<std::pair<int, double>> changes;
};

// Elevations in metres with nodata in the first row and the last cell.
std::vector<double> terrain(int cols, int rows) {
  std::vector<double> v(cols * rows);
  for (size_t i = 0; i < v.size(); i++) v[i] = 250.0 + std::cos(i * 0.01) * 40.0 + 0.37 * (i % cols) + 0.001 * (i % 7);
  v[0] = v[cols + 17] = v[v.size() - 1] = kNodata;
  return v;
}

// Writes one side with GDAL's driver for its extension.
void write_side(const TempDir& dir, const Side& s, int cols, int rows) {
  std::vector<double> v = terrain(cols, rows);
  for (auto [i, d] : s.changes) v[i] += d;
  ASSERT_TRUE(write_dem(dir.file(s.name), cols, rows, s.type, v, Geo(), &kNodata, s.options));
}

// A pair, with b cut to a share of its size or (keep < 0) the tail of a
// overwritten, and what rastcmp says: the verdict of an undamaged pair, or
// messages of a damaged one.
struct PairCase {
  const char* name;
  Side a, b;
  int cols, rows;
  double keep;
  std::vector<std::string> messages;
};

class PairE2E : public DirTest<PairCase> {};

TEST_P(PairE2E, VerdictOrErrorNeverAVerdict) {
  const PairCase& c = GetParam();
  write_side(dir, c.a, c.cols, c.rows);
  write_side(dir, c.b, c.cols, c.rows);
  if (c.keep > 0) {
    const std::string b = dir.file(c.b.name);
    std::filesystem::resize_file(b, static_cast<uintmax_t>(std::filesystem::file_size(b) * c.keep));
  } else if (c.keep < 0) {
    std::string bytes = read_file(dir.file(c.a.name));
    for (size_t i = bytes.size() - 200; i < bytes.size() - 8; i++) bytes[i] = static_cast<char>(i * 31);
    write_file(dir.file(c.a.name), bytes);
  }
  const RunResult r = run_rastcmp({"-i", dir.file(c.a.name), "-i", dir.file(c.b.name)});
  if (c.keep != 0) {
    EXPECT_EQ(r.status, 3) << r.err;
    for (const std::string& m : c.messages)
      EXPECT_NE(r.err.find(m), std::string::npos) << m << "\n" << r.err;
    EXPECT_EQ(r.err.find("rasters are"), std::string::npos) << r.err;
    return;
  }
  EXPECT_EQ(r.status, 0) << r.err;
  const auto all = lines(r.err);
  ASSERT_EQ(all.size(), 3u) << r.err;
  EXPECT_EQ(all[0], c.messages[0]);
  EXPECT_EQ(all[1].rfind("done with '" + dir.file(c.a.name) + "'. total time ", 0), 0u) << all[1];
  EXPECT_EQ(all[2].rfind("done with all files. total time for 2 files ", 0), 0u) << all[2];
}

INSTANTIATE_TEST_SUITE_P(
    All, PairE2E,
    ::testing::Values(
        PairCase{"BilAndTifWithThreeDifferentCells", {"a.bil", GDT_Float32, {}, {}},
                 {"b.tif", GDT_Float32, {"BLOCKYSIZE=4"}, {{1, 0.02}, {23 * 8 + 11, -5}, {23 * 17 - 2, 1}}}, 23, 17, 0,
                 {"rasters are not identical. rasters have 3 different and 385 identical value cells. but both have 3 "
                  "nodata cells"}},
        // neither side a multiple of the 64-cell blocks
        PairCase{"ImgAndAsc", {"a.img", GDT_Float32, {}, {}}, {"b.asc", GDT_Float32, {}, {}}, 130, 75, 0,
                 {"rasters are identical. both have 9747 value and 3 nodata cells."}},
        PairCase{"CorruptTilesOfTheFirst", {"a.tif", GDT_Float32, {"TILED=YES", "COMPRESS=DEFLATE"}, {}},
                 {"b.tif", GDT_Float32, {}, {}}, 23, 17, -1, {"failed to read raster1 at "}},
        // the layer entries behind the block data are gone
        PairCase{"ImgCutInHalf", {"a.tif", GDT_Float32, {}, {}}, {"b.img", GDT_Float32, {}, {}}, 200, 200, 0.5,
                 {"ERROR: HFAOpen() failed in SRreader_img::open().", "cannot open raster1 with file name 'b.img'."}}),
    CaseName());

}  // namespace
