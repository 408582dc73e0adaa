// ESRI ASCII grid reader on hand-written grids: header rules, cell texts,
// nodata, rows that end early and bad headers. GDAL-written grids are in
// the reader contract.
#include "raster/srreader_asc.hpp"               // SRreader_asc, open_raster
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader, cells, cells_batched
#include "tool/lasmessage.hpp"                   // halt_on_error, las_message_reset

namespace {

using namespace testsupport;

constexpr int ND = kNodataCell;
const std::string kHeader = "ncols 3\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 0.5\nNODATA_value -9999\n";
const std::string kUnit = "xllcorner 0\nyllcorner 0\ncellsize 1\n";

class AscTest : public ::testing::Test {
 protected:
  void TearDown() override { las_message_reset(); }
  Opened<SRreader_asc> open(const std::string& content) {
    write_file(dir.file("g.asc"), content);
    return open_reader<SRreader_asc>(dir.file("g.asc"), 0.0, true);
  }
  TempDir dir;
};

struct GridCase {
  const char* name;
  std::string content;
  int nodata;
  std::vector<int> expected;  // cells delivered before the first failure
  int short_by = 0;           // cells missing at close
  std::string warning = "";   // once per reading, %s: the file name
};

class AscGrids : public AscTest, public ::testing::WithParamInterface<GridCase> {};

TEST_P(AscGrids, CellsOneByOneAndInBatches) {
  const GridCase& c = GetParam();
  auto o = open(c.content);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.r->nodata, c.nodata);
  auto batched = open(c.content);
  // damaged grids keep their cells but warn, so that the run ends with 1
  testing::internal::CaptureStderr();
  EXPECT_EQ(cells(o.r.get()), c.expected);
  EXPECT_EQ(cells_batched(batched.r.get(), {2}), c.expected);
  const std::string warning = c.warning.empty() ? "" : with_path("WARNING: " + c.warning + "\n", dir.file("g.asc"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), warning + warning);
  EXPECT_EQ(las_exit_status(), c.warning.empty() ? 0 : 1);
  const std::string count = std::to_string(c.expected.size() + c.short_by);
  EXPECT_EQ(close_messages(o.r.get()),
            c.short_by == 0 ? "" : "WARNING (SRreader_asc): r_count is " + std::to_string(c.expected.size()) +
                                       " but nrows (2) * ncols (3) is " + count + "\n");
}

const std::string kLong = "1.00000000000000000000000000000000000000000000000000";

INSTANTIATE_TEST_SUITE_P(
    All, AscGrids,
    ::testing::Values(
        GridCase{"RoundedHundredths", kHeader + "12.345 -0.005 0.004\n-9999 -9999.5 7\n", -9999,
                 {1235, -1, 0, ND, -999950, 700}},
        // float grids carry nodata texts that are compared as doubles
        GridCase{"FloatNodataText", "ncols 2\nnrows 1\n" + kUnit + "NODATA_value -3.4028234663852886e+38\n"
                 "-3.4028234663852886e+38 -3\n", INT_MIN, {ND, -300}},
        GridCase{"NanIsNodataHugeValuesClamp", "ncols 3\nnrows 1\n" + kUnit + "NODATA_value -9999\nnan 1e300 -1e300\n",
                 -9999, {ND, INT_MAX, INT_MIN}},
        GridCase{"LongRowLineIsReadWhole", "ncols 4\nnrows 2\n" + kUnit + "NODATA_value -9999\n" + kLong + " " + kLong +
                 " " + kLong + " 2\n3 4 5 6\n", -9999, {100, 100, 100, 200, 300, 400, 500, 600}},
        // without a nodata line the first line that looks like a number is a row
        GridCase{"NoNodataLineKeepsDefault", "ncols 2\nnrows 2\n" + kUnit + " 1 -9999\n -2.5 .5\n", -9999,
                 {100, ND, -250, 50}},
        GridCase{"ShortRowFailsAtTheMissingCell", kHeader + "1 2 3\n4 5\n", -9999, {100, 200, 300, 400, 500}, 1},
        GridCase{"GarbageCellFails", kHeader + "1 x 3\n4 5 6\n", -9999, {100}, 5},
        GridCase{"TextAfterNumber", kHeader + "1 2 3\n4 5.00abc 6x\n", -9999, {100, 200, 300, 400, 500, 600}, 0,
                 "cell text '5.00abc' in row 1 of '%s' is not a number"},
        GridCase{"FourthValue", kHeader + "1 2 3 7\n4 5 6 8 9\n", -9999, {100, 200, 300, 400, 500, 600}, 0,
                 "row 0 of '%s' holds more than 3 values"},
        GridCase{"TextAfterLastRow", kHeader + "1 2 3\n4 5 6\n \n  end\n", -9999, {100, 200, 300, 400, 500, 600}, 0,
                 "'%s' has text after its last row"},
        GridCase{"BlankLinesAfterLastRow", kHeader + "1 2 3\n4 5 6\n \n\t\n", -9999, {100, 200, 300, 400, 500, 600}}),
    CaseName());

struct BadHeader {
  const char* name;
  std::string content;
  std::string message;  // %s: the file name
};

class AscBadHeader : public AscTest, public ::testing::WithParamInterface<BadHeader> {};

TEST_P(AscBadHeader, RefusedWithMessage) {
  halt_on_error(false);
  auto o = open(GetParam().content);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, with_path(GetParam().message, dir.file("g.asc")));
}

const std::string kE = "ERROR in SRreader_asc::open(): ";

INSTANTIATE_TEST_SUITE_P(
    Cases, AscBadHeader,
    ::testing::Values(
        BadHeader{"NoCols", "nrows 2\n" + kUnit + "NODATA_value -9999\n1\n", kE + "ncols is -1 in '%s'\n"},
        BadHeader{"NoRows", "ncols 2\n" + kUnit + "NODATA_value -9999\n1 2\n", kE + "nrows is -1 in '%s'\n"},
        BadHeader{"NoXll", "ncols 1\nnrows 1\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  kE + "xllcorner is -32767 in '%s'\n"},
        BadHeader{"NoYll", "ncols 1\nnrows 1\nxllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  kE + "yllcorner is -32767 in '%s'\n"},
        // the nodata line ends the header
        BadHeader{"NodataBeforeCellsize", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\nNODATA_value -9999\ncellsize 1\n1\n",
                  kE + "cellsize is -32767 in '%s'\n"},
        BadHeader{"UpperCaseNcols", "NCOLS 10\nnrows 1\n" + kUnit + "NODATA_value -9999\n1\n", kE + "ncols is -1 in '%s'\n"},
        BadHeader{"AbsurdSize", "ncols 2000000000\nnrows 2000000000\n" + kUnit + "NODATA_value -9999\n1\n",
                  kE + "ncols 2000000000 and nrows 2000000000 announce 4000000000000000000 cells but '%s' has only 90 "
                       "bytes\n"},
        BadHeader{"Empty", "", kE + "ncols is -1 in '%s'\n"},
        BadHeader{"IndentedKeyword", " ncols 10\nnrows 1\n", "ERROR: Error: Failed to parse 'ncols' from line:  ncols 10\n"}),
    CaseName());

}  // namespace
