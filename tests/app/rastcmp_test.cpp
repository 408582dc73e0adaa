// rastcmp's library: checks, cell comparison and verdicts on scripted
// readers; one pair of GDAL-written rasters compared to a status and counts
// without starting a process. The report on GDAL-written pairs: statistics
// against a direct computation over the GDAL-read cells, the first listed
// cells, the difference raster read back through GDAL and the picture
// through libpng.
#include "app/rastcmp.hpp"

#include <gdal.h>
#include <png.h>

#include "app/rastcmp_report.hpp"
#include "raster/lasvlrrasterptc.hpp"
#include "raster/srreader.hpp"
#include "raster/srwriter_diff.hpp"
#include "raster/srwriter_ptc.hpp"
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tool/lasmessage.hpp"

namespace {

using namespace testsupport;

// Delivers a fixed list of cells; INT32_MIN marks nodata and `fail_at`
// makes read_raster() fail for one cell index.
struct ScriptedReader : SRreader {
  ScriptedReader(int cols, int rows, std::vector<int32_t> list, int64_t fail_at = -1) : cells(list), fail(fail_at) {
    ncols = cols, nrows = rows, nbits = 32, nbands = 1, nodata = INT32_MIN, r_count = 0;
    llx = lly = 0.0, urx = ury = 10.0, stepx = stepy = 1.0;
  }
  bool read_raster() override {
    const int64_t k = next++;
    if (k == fail || k >= static_cast<int64_t>(cells.size())) return false;
    value[0] = cells[static_cast<size_t>(k)];
    r_count++;
    return true;
  }
  void close(bool) override { r_count = -1; }
  std::vector<int32_t> cells;
  int64_t fail, next = 0;
};

constexpr int32_t ND = INT32_MIN;

class Rastcmp : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  void TearDown() override { las_message_reset(); }
};

// identical and different values, identical and different nodata, failed reads
void expect_counts(const RastcmpCounts& got, const RastcmpCounts& want) {
  auto all = [](const RastcmpCounts& c) {
    return std::vector<int64_t>{c.identical_value, c.different_value, c.identical_nodata, c.different_nodata,
                                c.failed_reads};
  };
  EXPECT_EQ(all(got), all(want));
}

struct CountCase {
  const char* name;
  std::vector<int32_t> a, b;
  RastcmpCounts expected;
  std::string err;  // the messages of the comparison and the verdict
  int64_t b_fails_at = -1;
};

class CompareCells : public Rastcmp, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CompareCells, CountsAndVerdict) {
  ScriptedReader a(2, 3, GetParam().a), b(2, 3, GetParam().b, GetParam().b_fails_at);
  halt_on_error(false);
  testing::internal::CaptureStderr();
  const RastcmpCounts got = rastcmp_compare_cells(&a, &b);
  rastcmp_report_verdict(got);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), GetParam().err + "\n");
  expect_counts(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, CompareCells,
    ::testing::Values(
        CountCase{"Identical", {1, 2, 3, ND, 5, 6}, {1, 2, 3, ND, 5, 6}, {5, 0, 1, 0, 0},
                  "rasters are identical. both have 5 value and 1 nodata cells."},
        CountCase{"Nearly", {1, 2, 3, ND, 5, ND}, {1, ND, 3, ND, 5, 6}, {3, 0, 1, 2, 0},
                  "rasters are nearly identical. both have 3 identical value cells. but they have 2 different and 1 "
                  "identical nodata cells."},
        CountCase{"ValuesDiffer", {1, 2, 3, ND, 5, 6}, {1, 2, -3, ND, 5, 7}, {3, 2, 1, 0, 0},
                  "rasters are not identical. rasters have 2 different and 3 identical value cells. but both have 1 "
                  "nodata cells"},
        CountCase{"Both", {1, 2, 3, ND, ND, 6}, {1, 9, 3, 4, ND, 6}, {3, 1, 1, 1, 0},
                  "rasters are not identical. they have 1 different and 3 identical value cells. they have 1 different "
                  "and 1 identical nodata cells."},
        // cell 4 of 2 columns x 3 rows is col 0 of row 2; it is counted
        // with the value the reader still holds (4)
        CountCase{"ReadFailure",
                  {1, 2, 3, 4, 5, 6},
                  {1, 2, 3, 4, 5, 6},
                  {5, 1, 0, 0, 1},
                  "ERROR: failed to read raster2 at col 0 and row 2 ...\nrasters are not identical. rasters have 1 "
                  "different and 5 identical value cells. but both have 0 nodata cells",
                  4}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return info.param.name; });

TEST_F(Rastcmp, BatchesSpanManyCells) {
  // more cells than one batch: a nodata cell just past the first batch,
  // a different value in the last cell
  const int cols = 300, rows = 301;
  std::vector<int32_t> a_cells(static_cast<size_t>(cols) * rows);
  for (size_t k = 0; k < a_cells.size(); k++) a_cells[k] = static_cast<int32_t>(k % 1000) - 500;
  std::vector<int32_t> b_cells = a_cells;
  b_cells.back() += 1;
  b_cells[SR_CELL_BATCH] = ND;
  ScriptedReader a(cols, rows, a_cells), b(cols, rows, b_cells);
  expect_counts(rastcmp_compare_cells(&a, &b), {static_cast<int64_t>(cols) * rows - 2, 1, 0, 1, 0});
}

struct CheckCase {
  const char* name;
  void (*tweak)(SRreader&);
  std::string message;  // empty: the raster passes
};

class RasterChecks : public Rastcmp, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(RasterChecks, MessageWhenRefused) {
  ScriptedReader r(2, 2, {1, 2, 3, 4});
  GetParam().tweak(r);
  halt_on_error(false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(rastcmp_check_raster(&r, "dem.tif"), GetParam().message.empty());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, GetParam().message.empty() ? "" : "ERROR: " + GetParam().message + "\n");
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
        CheckCase{"StepYXNan", [](SRreader& r) { r.stepy_x = NAN; }, "stepy_x of nan not supported"},
        CheckCase{"UnsetMarkerNanAnd8Bits", [](SRreader& r) { r.llx = -32767.0, r.lly = NAN, r.nbits = 8; }, ""}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

// One pair compared in process: a GeoTIFF written through GDAL against a
// GDAL-written ASCII grid (`b` values), a text file, or nothing.
struct FilesCase {
  const char* name;
  const char* b_name;
  std::vector<double> b;  // 3 x n cells, -9999 nodata
  const char* b_text;     // written as it is when set
  int status;
  RastcmpCounts counts;
  const char* error;  // a line on stderr, "" for a silent run
};

class CompareFiles : public Rastcmp, public ::testing::WithParamInterface<FilesCase> {};

TEST_P(CompareFiles, StatusCountsAndHaltingRestored) {
  const FilesCase& c = GetParam();
  TempDir dir;
  const double nodata = -9999.0;
  const std::string a = dir.file("a.tif"), b = dir.file(c.b_name);
  ASSERT_TRUE(write_raster("GTiff", a, 3, 2, 1, GDT_Float32, {1, 2.5, -9999, 4, 5, 6}, {}, &nodata));
  if (c.b_text) write_file(b, c.b_text);
  if (!c.b.empty()) {
    ASSERT_TRUE(write_raster("AAIGrid", b, 3, static_cast<int>(c.b.size()) / 3, 1, GDT_Float32, c.b, {}, &nodata));
  }
  for (const bool halt : {true, false}) {
    halt_on_error(halt);
    RastcmpCounts counts{9, 9, 9, 9, 9};
    testing::internal::CaptureStderr();
    EXPECT_EQ(rastcmp_compare_files(a.c_str(), b.c_str(), RastcmpOptions(), &counts), c.status);
    const Strings err = lines(testing::internal::GetCapturedStderr());
    expect_counts(counts, c.counts);
    EXPECT_EQ(do_halt_on_error(), halt);
    if (*c.error) {
      EXPECT_NE(std::find(err.begin(), err.end(), c.error), err.end()) << testing::PrintToString(err);
    } else {
      EXPECT_EQ(err, Strings{});
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, CompareFiles,
    ::testing::Values(
        FilesCase{"Identical", "b.asc", {1, 2.5, -9999, 4, 5, 6}, nullptr, 0, {5, 0, 1, 0, 0}, ""},
        FilesCase{"ValueAndNodataDiffer", "b.asc", {1, 2.5, 3, 4, -9999, 7}, nullptr, 0, {3, 1, 0, 2, 0}, ""},
        FilesCase{
            "Missing", "missing.tif", {}, nullptr, 3, {}, "ERROR: cannot open raster1 with file name 'missing.tif'."},
        FilesCase{
            "Corrupt", "bad.tif", {}, "II* not a tiff", 3, {}, "ERROR: cannot open raster1 with file name 'bad.tif'."},
        FilesCase{"OtherSize", "b.asc", {1, 2.5, -9999}, nullptr, 3, {},
                  "ERROR: rasters have different nrows of 2 and 1. difference too big ... "}),
    [](const ::testing::TestParamInfo<FilesCase>& info) { return info.param.name; });

constexpr double kND = -9999.0;

struct Edit {
  int64_t cell;
  double a, b;  // the cell's values in raster a and b (kND: nodata)
};
struct Case {
  const char* name;
  int cols, rows;
  std::vector<Edit> edits;
};

std::vector<double> read_band(const std::string& path, int band, double gt[6] = nullptr) {
  GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
  EXPECT_NE(ds, nullptr) << path;
  if (ds == nullptr) return {};
  const int cols = GDALGetRasterXSize(ds), rows = GDALGetRasterYSize(ds);
  std::vector<double> v(static_cast<size_t>(cols) * rows);
  EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, band), GF_Read, 0, 0, cols, rows, v.data(), cols, rows, GDT_Float64,
                         0, 0),
            CE_None);
  if (gt) GDALGetGeoTransform(ds, gt);
  GDALClose(ds);
  return v;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

Picture read_png(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture p;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
  image.format = PNG_FORMAT_RGBA;
  p.rgba.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, p.rgba.data(), 0, nullptr)) p.width = image.width, p.height = image.height;
  return p;
}

// Writes a and b (values in quarters, so the 0.01 unit of float rasters
// holds them exactly), compares them with the report options and returns
// the report after finish().
class Report : public DirTest<Case> {
 protected:
  std::unique_ptr<RastcmpReport> compare(const Case& c, const RastcmpReportOptions& o, GDALDataType type,
                                         LAS_MESSAGE_TYPE level) {
    a.assign(static_cast<size_t>(c.cols) * c.rows, 0.0);
    for (size_t k = 0; k < a.size(); k++) a[k] = 100.0 + 0.25 * (k % 37);
    b = a;
    for (const Edit& e : c.edits) a[e.cell] = e.a, b[e.cell] = e.b;
    EXPECT_TRUE(write_raster("GTiff", dir.file("a.tif"), c.cols, c.rows, 1, type, a, {}, &kND));
    EXPECT_TRUE(write_raster("GTiff", dir.file("b.tif"), c.cols, c.rows, 1, type, b, {}, &kND));
    set_message_log_level(level);  // statistics at VERBOSE, as at -v
    testing::internal::CaptureStderr();
    std::unique_ptr<SRreader> r1(rastcmp_open_raster("tif", dir.file("a.tif").c_str(), "a.tif"));
    std::unique_ptr<SRreader> r2(rastcmp_open_raster("tif", dir.file("b.tif").c_str(), "b.tif"));
    auto report = std::make_unique<RastcmpReport>(o);
    EXPECT_TRUE(report->begin(r1.get(), r2.get(), "a.tif", "b.tif"));
    const RastcmpCounts counts = rastcmp_compare_cells(r1.get(), r2.get(), report->sink());
    EXPECT_TRUE(report->finish(counts, 0.0));
    set_message_log_level(LAS_INFO);
    testing::internal::GetCapturedStderr();
    return report;
  }
  std::vector<double> a, b;
};

TEST_P(Report, StatisticsListRasterAndPicture) {
  const Case& c = GetParam();
  RastcmpReportOptions o;
  o.list_differences = 3;
  o.diff_raster = dir.file("d.tif");
  o.diff_picture = dir.file("d.png");
  const auto report = compare(c, o, GDT_Float32, LAS_VERBOSE);

  // the same in plain loops: classes, b - a in the 0.01 unit, statistics
  RastcmpStatistics want;
  std::vector<int64_t> listed;
  std::vector<int> cls(a.size());
  for (size_t k = 0; k < a.size(); k++) {
    const bool n1 = a[k] == kND, n2 = b[k] == kND;
    const double d = (std::lround(b[k] * 100) - std::lround(a[k] * 100)) / 100.0;
    cls[k] = n1 && n2 ? 4 : n1 ? 2 : n2 ? 3 : d != 0.0 ? 1 : 0;
    if ((cls[k] == 1 || cls[k] == 2 || cls[k] == 3) && listed.size() < 3) listed.push_back(static_cast<int64_t>(k));
    if (n1 || n2) continue;
    want.cells++;
    want.sum_abs += std::fabs(d);
    want.sum_squares += d * d;
    if (d != 0.0) want.magnitude[std::fabs(d) <= 0.01 ? 0 : std::fabs(d) <= 0.1 ? 1 : std::fabs(d) <= 1 ? 2 : std::fabs(d) <= 10 ? 3 : 4]++;
    if (std::fabs(d) > want.max_abs) want.max_abs = std::fabs(d), want.max_cell = static_cast<int64_t>(k);
  }
  const RastcmpStatistics& s = report->statistics();
  EXPECT_EQ(s.cells, want.cells);
  EXPECT_NEAR(s.max_abs, want.max_abs, 1e-9);
  EXPECT_EQ(s.max_cell, want.max_cell);
  EXPECT_NEAR(s.mean_abs(), want.mean_abs(), 1e-9);
  EXPECT_NEAR(s.rms(), want.rms(), 1e-9);
  EXPECT_EQ(std::vector<int64_t>(s.magnitude, s.magnitude + 5), std::vector<int64_t>(want.magnitude, want.magnitude + 5));
  std::vector<int64_t> got_listed;
  for (const RastcmpListed& d : report->listed()) got_listed.push_back(d.cell);
  EXPECT_EQ(got_listed, listed);

  double gt_a[6], gt_d[6];
  read_band(dir.file("a.tif"), 1, gt_a);
  const std::vector<double> diff = read_band(dir.file("d.tif"), 1, gt_d), cls_band = read_band(dir.file("d.tif"), 2);
  EXPECT_EQ(std::vector<double>(gt_d, gt_d + 6), std::vector<double>(gt_a, gt_a + 6));
  const Picture p = read_png(dir.file("d.png"));
  ASSERT_EQ(p.width, c.cols);
  ASSERT_EQ(p.height, c.rows);
  ASSERT_EQ(diff.size(), a.size());
  for (size_t k = 0; k < a.size(); k++) {
    SCOPED_TRACE(k);
    EXPECT_EQ(cls_band[k], cls[k]);
    if (cls[k] <= 1) EXPECT_NEAR(diff[k], b[k] - a[k], 1e-4);
    else EXPECT_EQ(diff[k], static_cast<double>(SR_DIFF_NODATA));
    const uint8_t* px = p.at(static_cast<int>(k % c.cols), static_cast<int>(k / c.cols));
    const int r = px[0], g = px[1], bl = px[2], alpha = px[3];
    switch (cls[k]) {
      case 0: EXPECT_TRUE(r == g && g == bl && r >= 170 && alpha == 255) << r << " " << g << " " << bl; break;
      case 1:  // blue to white to red, white within a hundredth of the scale's end
        if (std::fabs(b[k] - a[k]) < 0.01 * want.max_abs) EXPECT_TRUE(r >= 250 && bl >= 250) << r << " " << bl;
        else EXPECT_TRUE(b[k] > a[k] ? r > bl : bl > r) << r << " " << bl;
        break;
      case 2: EXPECT_EQ(std::vector<int>({r, g, bl, alpha}), std::vector<int>({0, 170, 0, 255})); break;
      case 3: EXPECT_EQ(std::vector<int>({r, g, bl, alpha}), std::vector<int>({140, 0, 200, 255})); break;
      default: EXPECT_EQ(alpha, 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Report,
    ::testing::Values(
        // the changed cell opens the second batch of 65536 cells
        Case{"OneCellAfterBatch", 300, 250, {{65536, 100.0, 102.5}}},
        Case{"RowEdges", 7, 5, {{6, 100.0, 100.01}, {7, 100.0, 99.95}, {13, 100.0, 100.5}, {34, 100.0, 80.0}}},
        Case{"Nodata", 6, 4, {{0, kND, 100.0}, {5, 100.0, kND}, {6, kND, kND}, {23, 100.0, 104.0}}}),
    CaseName());

// A raster longer than the picture's limit is reduced along that side only;
// the one differing cell outweighs the equal cells of its pixel.
class ReportLong : public Report {};

TEST_F(ReportLong, PictureReducedAlongLongSideOnly) {
  RastcmpReportOptions o;
  o.diff_picture = dir.file("d.png");
  compare({"Long", 20000, 300, {{150 * 20000 + 19999, 100.0, 90.0}}}, o, GDT_Int16, LAS_QUIET);
  const Picture p = read_png(dir.file("d.png"));
  ASSERT_EQ(p.width, 4096);
  ASSERT_EQ(p.height, 300);
  const uint8_t* px = p.at(4095, 150);
  EXPECT_GT(px[2], px[0]);  // raster2 lower: blue
  EXPECT_EQ(p.at(4095, 149)[0], p.at(4095, 149)[2]);
}

}  // namespace

// A RasterPTC copy written west half first, then east half, sends its
// points back to rows that went out already: the pair is compared again
// with the copy collected first, and the verdict is that of the copy in
// raster order.
TEST(ComparePair, CopyInAnyPointOrderGivesTheSameVerdict) {
  TempDir dir;
  const int cols = 300, rows = 250;  // more cells than the reader decodes ahead
  std::vector<double> cells(static_cast<size_t>(cols) * rows);
  for (size_t k = 0; k < cells.size(); k++) cells[k] = static_cast<double>(k * 7 % 1000) - 500;
  const std::string tif = dir.file("a.tif");
  ASSERT_TRUE(write_raster("GTiff", tif, cols, rows, 1, GDT_Int16, cells));
  for (const bool halves : {false, true}) {
    const std::string ptc = dir.file(halves ? "halves.ptc" : "ordered.ptc");
    LASvlrRasterPTC g;
    g.nbands = 1, g.nbits = 16, g.ncols = cols, g.nrows = rows;
    g.stepx = 1.0, g.stepy = 1.0, g.llx = 1000.0, g.lly = 2000.0 - rows;
    SRwriter_ptc w;
    ASSERT_TRUE(w.open(ptc.c_str(), g, 1.0, 0.0));
    for (int half = 0; half < (halves ? 2 : 1); half++) {
      for (int row = 0; row < rows; row++) {
        for (int col = 0; col < cols; col++) {
          if (halves && (col < cols / 2) != (half == 0)) continue;
          ASSERT_TRUE(w.write_cell(col, row, static_cast<int32_t>(cells[static_cast<size_t>(row) * cols + col])));
        }
      }
    }
    ASSERT_GT(w.close(), 0);
    std::unique_ptr<SRreader> alone(open_raster("ptc", ptc.c_str()));
    ASSERT_TRUE(alone);
    std::vector<int32_t> v(cells.size());
    std::vector<uint8_t> nd(cells.size());
    alone->read_cells(static_cast<int64_t>(cells.size()), v.data(), nd.data());
    EXPECT_EQ(alone->needs_second_pass(), halves);
    RastcmpCounts counts;
    EXPECT_EQ(rastcmp_compare_files(tif.c_str(), ptc.c_str(), RastcmpOptions(), &counts), 0);
    expect_counts(counts, {cols * rows, 0, 0, 0, 0});
  }
}
