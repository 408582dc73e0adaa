// The driver's checks, cell comparison and verdicts on scripted readers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/rastcmp_driver.hpp"
#include "raster/srreader.hpp"
#include "tool/lasmessage.hpp"

namespace {

// A reader that delivers a fixed list of cells; INT32_MIN marks nodata and
// `fail_at` makes read_raster() fail for one cell index.
class ScriptedReader : public SRreader {
 public:
  ScriptedReader(int cols, int rows, std::vector<int32_t> cells, int64_t fail_at = -1)
      : cells_(std::move(cells)), fail_at_(fail_at) {
    ncols = cols;
    nrows = rows;
    nbits = 32;
    nbands = 1;
    llx = lly = 0.0;
    urx = ury = 10.0;
    stepx = stepy = 1.0;
    nodata = INT32_MIN;
    r_count = 0;
  }
  bool read_raster() override {
    const int64_t k = next_++;
    if (k == fail_at_ || k >= static_cast<int64_t>(cells_.size())) return false;
    value[0] = cells_[static_cast<size_t>(k)];
    r_count++;
    return true;
  }
  void close(bool) override { r_count = -1; }

 private:
  std::vector<int32_t> cells_;
  int64_t fail_at_;
  int64_t next_ = 0;
};

constexpr int32_t ND = INT32_MIN;

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  void TearDown() override { las_message_reset(); }
};

struct CountCase {
  const char* name;
  std::vector<int32_t> a, b;
  RastcmpCounts expected;
  std::string verdict;
};

class CompareCells : public DriverTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CompareCells, CountsAndVerdict) {
  const CountCase& c = GetParam();
  ScriptedReader a(2, 3, c.a), b(2, 3, c.b);
  const RastcmpCounts got = rastcmp_compare_cells(&a, &b);
  EXPECT_EQ(got.identical_value, c.expected.identical_value);
  EXPECT_EQ(got.different_value, c.expected.different_value);
  EXPECT_EQ(got.identical_nodata, c.expected.identical_nodata);
  EXPECT_EQ(got.different_nodata, c.expected.different_nodata);
  testing::internal::CaptureStderr();
  rastcmp_report_verdict(got);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), c.verdict + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, CompareCells,
    ::testing::Values(
        CountCase{"Identical", {1, 2, 3, ND, 5, 6}, {1, 2, 3, ND, 5, 6}, {5, 0, 1, 0},
                  "rasters are identical. both have 5 value and 1 nodata cells."},
        CountCase{"Nearly", {1, 2, 3, ND, 5, ND}, {1, ND, 3, ND, 5, 6}, {3, 0, 1, 2},
                  "rasters are nearly identical. both have 3 identical value cells. but they have 2 different and 1 "
                  "identical nodata cells."},
        CountCase{"ValuesDiffer", {1, 2, 3, ND, 5, 6}, {1, 2, -3, ND, 5, 7}, {3, 2, 1, 0},
                  "rasters are not identical. rasters have 2 different and 3 identical value cells. but both have 1 "
                  "nodata cells"},
        CountCase{"Both", {1, 2, 3, ND, ND, 6}, {1, 9, 3, 4, ND, 6}, {3, 1, 1, 1},
                  "rasters are not identical. they have 1 different and 3 identical value cells. they have 1 different "
                  "and 1 identical nodata cells."}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return info.param.name; });

TEST_F(DriverTest, ReadFailureIsReportedWithColAndRow) {
  halt_on_error(false);
  // 3 columns x 4 rows; cell 9 fails: col 9/4 = 2, row 9%4 = 1.
  std::vector<int32_t> cells(12, 7);
  ScriptedReader a(3, 4, cells), b(3, 4, cells, 9);
  testing::internal::CaptureStderr();
  const RastcmpCounts got = rastcmp_compare_cells(&a, &b);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: failed to read raster2 at col 2 and row 1 ...\n");
  EXPECT_EQ(got.identical_value + got.different_value + got.identical_nodata + got.different_nodata, 12);
  EXPECT_EQ(las_exit_status(), 3);
}

TEST_F(DriverTest, ReadFailureHaltsByDefault) {
  std::vector<int32_t> cells(6, 1);
  ScriptedReader a(2, 3, cells, 0), b(2, 3, cells);
  EXPECT_EXIT(rastcmp_compare_cells(&a, &b), ::testing::ExitedWithCode(3),
              "^ERROR: failed to read raster1 at col 0 and row 0 ...\n$");
}

TEST_F(DriverTest, BatchesSpanManyCells) {
  // more cells than one batch, values differing in the last cell only
  const int cols = 300, rows = 301;
  std::vector<int32_t> a_cells(static_cast<size_t>(cols) * rows), b_cells;
  for (size_t k = 0; k < a_cells.size(); k++) a_cells[k] = static_cast<int32_t>(k % 1000) - 500;
  b_cells = a_cells;
  b_cells.back() += 1;
  b_cells[65536] = ND;
  ScriptedReader a(cols, rows, a_cells), b(cols, rows, b_cells);
  const RastcmpCounts got = rastcmp_compare_cells(&a, &b);
  EXPECT_EQ(got.different_value, 1);
  EXPECT_EQ(got.different_nodata, 1);
  EXPECT_EQ(got.identical_value, static_cast<int64_t>(cols) * rows - 2);
}

struct CheckCase {
  const char* name;
  void (*tweak)(SRreader&);
  std::string message;
};

class RasterChecks : public DriverTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(RasterChecks, FailWithMessage) {
  ScriptedReader r(2, 2, {1, 2, 3, 4});
  GetParam().tweak(r);
  halt_on_error(false);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(rastcmp_check_raster(&r, "dem.tif"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: " + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RasterChecks,
    ::testing::Values(
        CheckCase{"Bands", [](SRreader& r) { r.nbands = 2; }, "raster 'dem.tif' has 2 bands. not implemented."},
        CheckCase{"Bits64", [](SRreader& r) { r.nbits = 64; }, "raster 'dem.tif' has 64 bits. not implemented."},
        CheckCase{"Bits4", [](SRreader& r) { r.nbits = 4; }, "raster 'dem.tif' has 4 bits. not implemented."},
        CheckCase{"NoCols", [](SRreader& r) { r.ncols = 0; }, "raster 'dem.tif' has no columns. skipping ..."},
        CheckCase{"NoRows", [](SRreader& r) { r.nrows = 0; }, "raster 'dem.tif' has no rows. skipping ... "},
        CheckCase{"Llx", [](SRreader& r) { r.llx = -1.0; }, "raster has no lower left x info"},
        CheckCase{"Lly", [](SRreader& r) { r.lly = -1.0; }, "raster has no lower left y info"},
        CheckCase{"Urx", [](SRreader& r) { r.urx = -1.0; }, "raster has no upper right x info"},
        CheckCase{"Ury", [](SRreader& r) { r.ury = -1.0; }, "raster has no upper right y info"},
        CheckCase{"StepX", [](SRreader& r) { r.stepx = -1.0; }, "raster has no step x info"},
        CheckCase{"StepY", [](SRreader& r) { r.stepy = -1.0; }, "raster has no step y info"},
        CheckCase{"StepXY", [](SRreader& r) { r.stepx_y = 0.25; }, "stepx_y of 0.25 not supported"},
        CheckCase{"StepYXNan", [](SRreader& r) { r.stepy_x = NAN; }, "stepy_x of nan not supported"}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

TEST_F(DriverTest, UnsetMarkerAndNanPassChecks) {
  ScriptedReader r(2, 2, {1, 2, 3, 4});
  r.llx = -32767.0;
  r.lly = NAN;
  r.nbits = 8;
  EXPECT_TRUE(rastcmp_check_raster(&r, "x"));
}

}  // namespace
