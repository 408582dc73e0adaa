// ESRI ASCII grid reader: header rules, values, nodata and bad files.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "raster/srreader.hpp"
#include "raster/srreader_asc.hpp"
#include "tests/support/test_support.hpp"
#include "tool/lasmessage.hpp"

namespace {

using testsupport::TempDir;
using testsupport::write_file;

class AscTest : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  void TearDown() override { las_message_reset(); }

  std::unique_ptr<SRreader_asc> open(const std::string& content, bool* ok = nullptr, double scale = 0.0) {
    const std::string path = dir.file("g.asc");
    write_file(path, content);
    auto r = std::make_unique<SRreader_asc>();
    if (scale != 0.0) r->set_scale(scale);
    const bool opened = r->open(path.c_str(), true);
    if (ok) *ok = opened;
    return r;
  }

  // Reads every cell through read_raster(); nodata cells become INT_MIN.
  static std::vector<int> cells(SRreader* r) {
    std::vector<int> out;
    while (r->read_raster()) out.push_back(r->is_nodata() ? INT_MIN : r->value[0]);
    return out;
  }

  TempDir dir;
};

const char* kHeader = "ncols 3\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 0.5\nNODATA_value -9999\n";

TEST_F(AscTest, GeometryAndRoundedValues) {
  bool ok = false;
  auto r = open(std::string(kHeader) + "12.345 -0.005 0.004\n-9999 -9999.5 7\n", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r->ncols, 3);
  EXPECT_EQ(r->nrows, 2);
  EXPECT_EQ(r->nbits, 32);
  EXPECT_EQ(r->nbands, 1);
  EXPECT_DOUBLE_EQ(r->urx, 101.5);
  EXPECT_DOUBLE_EQ(r->ury, 201.0);
  EXPECT_DOUBLE_EQ(r->scale[0], 0.01);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{1235, -1, 0, INT_MIN, -999950, 700}));
  EXPECT_EQ(r->r_count, 6);
  testing::internal::CaptureStderr();
  r->close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(AscTest, ScaleSetBeforeOpen) {
  bool ok = false;
  auto r = open(std::string(kHeader) + "12.345 1 2\n3 4 5\n", &ok, 1.0);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(r->read_raster());
  EXPECT_EQ(r->value[0], 12);
}

TEST_F(AscTest, FloatNodataTextIsComparedAsDouble) {
  bool ok = false;
  auto r = open(
      "ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -3.4028234663852886e+38\n"
      "-3.4028234663852886e+38 -3\n",
      &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r->nodata, INT_MIN);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{INT_MIN, -300}));
}

TEST_F(AscTest, NanCellsAreNodataAndHugeValuesClamp) {
  bool ok = false;
  auto r = open("ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\nnan 1e300 -1e300\n", &ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(r->read_raster());
  EXPECT_TRUE(r->is_nodata());
  ASSERT_TRUE(r->read_raster());
  EXPECT_FALSE(r->is_nodata());
  EXPECT_EQ(r->value[0], INT_MAX);
  ASSERT_TRUE(r->read_raster());
  EXPECT_EQ(r->value[0], INT_MIN);
}

TEST_F(AscTest, LongRowLineIsReadWhole) {
  // 4 cells with long texts: far more than 20 characters per cell.
  const std::string longcell = "1.00000000000000000000000000000000000000000000000000";
  bool ok = false;
  auto r = open("ncols 4\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n" + longcell + " " +
                    longcell + " " + longcell + " 2\n3 4 5 6\n",
                &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{100, 100, 100, 200, 300, 400, 500, 600}));
}

TEST_F(AscTest, GridWithoutNodataLineKeepsDefault) {
  bool ok = false;
  auto r = open("ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n 1 -9999\n -2.5 .5\n", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r->nodata, -9999);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{100, INT_MIN, -250, 50}));
}

TEST_F(AscTest, BatchDeliveryMatchesCellByCell) {
  std::string text = "ncols 7\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
  for (int r = 0; r < 5; r++) {
    for (int c = 0; c < 7; c++) text += std::to_string((r * 7 + c) % 5 == 0 ? -9999.0 : r * 10.25 - c) + " ";
    text += "\n";
  }
  bool ok = false;
  auto one = open(text, &ok);
  ASSERT_TRUE(ok);
  const std::vector<int> expected = cells(one.get());
  ASSERT_EQ(expected.size(), 35u);
  for (int64_t batch : {1, 3, 7, 8, 35, 100}) {
    SRreader_asc r;
    ASSERT_TRUE(r.open(dir.file("g.asc").c_str(), true));
    std::vector<int32_t> v(100);
    std::vector<uint8_t> nd(100);
    std::vector<int> got;
    int64_t n;
    while ((n = r.read_cells(batch, v.data(), nd.data())) > 0) {
      for (int64_t k = 0; k < n; k++) got.push_back(nd[k] ? INT_MIN : v[k]);
      if (n < batch) break;
    }
    EXPECT_EQ(got, expected) << "batch " << batch;
    EXPECT_EQ(r.r_count, 35);
  }
}

TEST_F(AscTest, ShortRowFailsAtTheMissingCell) {
  bool ok = false;
  auto r = open(std::string(kHeader) + "1 2 3\n4 5\n", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(cells(r.get()).size(), 5u);
  testing::internal::CaptureStderr();
  r->close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING (SRreader_asc): r_count is 5 but nrows (2) * ncols (3) is 6\n");
}

TEST_F(AscTest, GarbageCellFailsRead) {
  bool ok = false;
  auto r = open(std::string(kHeader) + "1 x 3\n4 5 6\n", &ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(r->read_raster());
  EXPECT_FALSE(r->read_raster());
}

struct BadHeader {
  const char* name;
  std::string content;
  std::string message;
};

class AscBadHeader : public AscTest, public ::testing::WithParamInterface<BadHeader> {};

TEST_P(AscBadHeader, RefusedWithMessage) {
  bool ok = true;
  testing::internal::CaptureStderr();
  auto r = open(GetParam().content, &ok);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find(GetParam().message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AscBadHeader,
    ::testing::Values(
        BadHeader{"NoCols", "nrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  "ERROR in SRreader_asc::open(): ncols is -1 in '"},
        BadHeader{"NoRows", "ncols 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 2\n",
                  "ERROR in SRreader_asc::open(): nrows is -1 in '"},
        BadHeader{"NoXll", "ncols 1\nnrows 1\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  "ERROR in SRreader_asc::open(): xllcorner is -32767 in '"},
        BadHeader{"NoYll", "ncols 1\nnrows 1\nxllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  "ERROR in SRreader_asc::open(): yllcorner is -32767 in '"},
        BadHeader{"NodataBeforeCellsize", "ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\nNODATA_value -9999\ncellsize 1\n1\n",
                  "ERROR in SRreader_asc::open(): cellsize is -32767 in '"},
        BadHeader{"UpperCaseNcols", "NCOLS 10\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  "ncols is -1"},
        BadHeader{"AbsurdSize",
                  "ncols 2000000000\nnrows 2000000000\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\n",
                  "announce 4000000000000000000 cells but '"},
        BadHeader{"Empty", "", "ncols is -1"}),
    [](const ::testing::TestParamInfo<BadHeader>& info) { return info.param.name; });

TEST_F(AscTest, IndentedKeywordIsAParseError) {
  const std::string path = dir.file("i.asc");
  write_file(path, " ncols 10\nnrows 1\n");
  halt_on_error(false);
  testing::internal::CaptureStderr();
  SRreader_asc r;
  EXPECT_FALSE(r.open(path.c_str(), true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: Error: Failed to parse 'ncols' from line:  ncols 10\n");
}

TEST_F(AscTest, MissingFile) {
  SRreader_asc r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(dir.file("none.asc").c_str(), true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR in SRreader_asc::open(): cannot open '" + dir.file("none.asc") + "'\n");
}

TEST_F(AscTest, OpenRasterDispatchIsCaseExact) {
  const std::string path = dir.file("g.asc");
  write_file(path, std::string(kHeader) + "1 2 3\n4 5 6\n");
  SRreader* r = open_raster("ASC", path.c_str());
  ASSERT_NE(r, nullptr);
  r->close(true);
  delete r;
  EXPECT_EQ(open_raster(nullptr, path.c_str()), nullptr);
  halt_on_error(false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_raster("Asc", path.c_str()), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: unknown raster format 'Asc'.\n");
}

TEST_F(AscTest, WorldRasterConversions) {
  bool ok = false;
  auto r = open(std::string(kHeader) + "1 2 3\n4 5 6\n", &ok);
  ASSERT_TRUE(ok);
  const double xyz[3] = {100.75, 200.25, 5.0};
  float rc[3];
  r->world_to_raster(xyz, rc);
  EXPECT_FLOAT_EQ(rc[0], 1.0f);
  EXPECT_FLOAT_EQ(rc[1], 1.0f);
  double back[3];
  r->raster_to_world(rc, back);
  EXPECT_DOUBLE_EQ(back[0], 100.5);
  EXPECT_DOUBLE_EQ(back[1], 200.5);
}

}  // namespace
