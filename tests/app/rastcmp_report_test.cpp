// rastcmp's report on GDAL-written pairs: statistics against a direct
// computation over the GDAL-read cells, the first listed cells, the
// difference raster read back through GDAL and the picture through libpng.
#include "app/rastcmp_report.hpp"

#include <gdal.h>
#include <png.h>

#include "raster/srreader.hpp"
#include "raster/srwriter_diff.hpp"
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tool/lasmessage.hpp"

namespace {

using namespace testsupport;

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

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

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

// A BIL file cut in the middle of its third row after it was opened: the
// read failure names the first cell of that row.
TEST_F(ReportLong, BilCutInRowNamesTheCell) {
  const std::vector<double> v(20, 7.0);
  ASSERT_TRUE(write_dem(dir.file("a.bil"), 5, 4, GDT_Int16, v));
  ASSERT_TRUE(write_dem(dir.file("b.bil"), 5, 4, GDT_Int16, v));
  std::unique_ptr<SRreader> r1(rastcmp_open_raster("bil", dir.file("a.bil").c_str(), "a.bil"));
  std::unique_ptr<SRreader> r2(rastcmp_open_raster("bil", dir.file("b.bil").c_str(), "b.bil"));
  ASSERT_TRUE(r1 && r2);
  ASSERT_EQ(truncate(dir.file("b.bil").c_str(), 25), 0);
  halt_on_error(false);
  testing::internal::CaptureStderr();
  rastcmp_compare_cells(r1.get(), r2.get());
  halt_on_error(true);
  const std::vector<std::string> err = lines(testing::internal::GetCapturedStderr());
  ASSERT_GE(err.size(), 2u);
  EXPECT_EQ(err[1], "ERROR: failed to read raster2 at col 0 and row 2 ...") << err[0];
}

}  // namespace
