// The point reader base: area queries with their edge rules, inside_none,
// and the filter and transform hooks.
#include <gtest/gtest.h>

#include <string>  // paths
#include <vector>  // point indices, boxes

#include "filter/lascriterion.hpp"           // LAScriterion
#include "filter/lasfilter.hpp"              // LASfilter
#include "filter/lasoperation.hpp"           // LASoperationSetPointSource
#include "filter/lastransform.hpp"           // LAStransform
#include "lasio/lasreaderlas.hpp"            // LASreaderLAS
#include "tests/lasio/las_file_helpers.hpp"  // make_header, Messages
#include "tests/support/test_support.hpp"    // TempDir, CaseName

namespace {

using lastest::Messages;

// A 10 × 10 grid of points at integer coordinates 0..9 (scale 0.01), with
// the point source ID carrying the point's index.
class GridFile : public ::testing::Test {
 protected:
  void SetUp() override {
    LASheader h;
    lastest::make_header(h, 2, 0);
    h.x_scale_factor = h.y_scale_factor = h.z_scale_factor = 0.01;
    h.x_offset = h.y_offset = h.z_offset = 0.0;
    const std::string path = dir.file("grid.las");
    ASSERT_TRUE(lastest::write_points(path, h, 100, lastest::kStorages[0], [](LASpoint& p, int i) {
      p.X = (i % 10) * 100;
      p.Y = (i / 10) * 100;
      p.point_source_ID = static_cast<uint16_t>(i);
    }));
    ASSERT_TRUE(reader.open(path.c_str()));
  }

  // Indices of the points read_point delivers.
  std::vector<int> read_all() {
    std::vector<int> indices;
    while (reader.read_point()) indices.push_back(reader.point.point_source_ID);
    return indices;
  }
  std::vector<double> box() const {
    const LASheader& h = reader.header;
    return {h.min_x, h.min_y, h.max_x, h.max_y};
  }

  Messages messages;
  testsupport::TempDir dir;
  // Filter and transform are not owned by the reader and must outlive it.
  LASfilter filter;
  LAStransform transform;
  LASreaderLAS reader{nullptr};
};

std::vector<int> grid_indices(int x0, int x1, int y0, int y1) {
  std::vector<int> indices;
  for (int y = y0; y < y1; y++) {
    for (int x = x0; x < x1; x++) indices.push_back(y * 10 + x);
  }
  return indices;
}

// One area per row: the points it lets through, the points decoded on the
// way (none when the area misses the file) and the box the header gets.
struct AreaCase {
  const char* name;
  bool (*query)(LASreaderLAS& reader);
  std::vector<int> indices;
  int64_t decoded;
  std::vector<double> box;  // min x, min y, max x, max y
};
class Areas : public GridFile, public ::testing::WithParamInterface<AreaCase> {};

TEST_P(Areas, PointsDecodedAndBox) {
  const AreaCase& c = GetParam();
  ASSERT_TRUE(c.query(reader));
  EXPECT_EQ(box(), c.box);
  EXPECT_EQ(read_all(), c.indices);
  EXPECT_EQ(reader.p_count, c.decoded);
}

INSTANTIATE_TEST_SUITE_P(
    GridFile, Areas,
    ::testing::Values(
        AreaCase{"TileIncludesLowerAndExcludesUpperEdges", [](LASreaderLAS& r) { return r.inside_tile(2, 3, 4); },
                 grid_indices(2, 6, 3, 7), 100, {2, 3, 6 - 0.01, 7 - 0.01}},
        // Distances below 2: the centre, its four neighbours at 1 and the four
        // diagonals at 1.41; (7, 5) at exactly 2 stays out.
        AreaCase{"CircleExcludesTheRadius", [](LASreaderLAS& r) { return r.inside_circle(5, 5, 2); },
                 {44, 45, 46, 54, 55, 56, 64, 65, 66}, 100, {3, 3, 7, 7}},
        AreaCase{"RectangleIncludesLowerAndExcludesUpperEdges",
                 [](LASreaderLAS& r) { return r.inside_rectangle(2, 2, 4, 6); }, grid_indices(2, 4, 2, 6), 100,
                 {2, 2, 4, 6}},
        AreaCase{"TileOutside", [](LASreaderLAS& r) { return r.inside_tile(200, 200, 100); }, {}, 0,
                 {200, 200, 300 - 0.01, 300 - 0.01}},
        AreaCase{"CircleOutside", [](LASreaderLAS& r) { return r.inside_circle(-50, 5, 10); }, {}, 0,
                 {-60, -5, -40, 15}},
        // Intersects the box but holds no point.
        AreaCase{"RectangleBetweenPoints", [](LASreaderLAS& r) { return r.inside_rectangle(3.5, 2, 3.9, 5); }, {},
                 100, {3.5, 2, 3.9, 5}}),
    testsupport::CaseName());

TEST_F(GridFile, InsideNoneRestoresTheBoxAndEveryPoint) {
  EXPECT_EQ(box(), (std::vector<double>{0, 0, 9, 9}));
  ASSERT_TRUE(reader.inside_rectangle(1.0, 1.0, 3.0, 3.0));
  EXPECT_EQ(read_all().size(), 4u);
  ASSERT_TRUE(reader.inside_none());
  EXPECT_EQ(box(), (std::vector<double>{0, 0, 9, 9}));
  EXPECT_EQ(reader.inside, 0);
  ASSERT_TRUE(reader.seek(0));
  EXPECT_EQ(read_all().size(), 100u);
}

TEST_F(GridFile, CopcDepthNeedsCopcInfo) {
  EXPECT_FALSE(reader.inside_copc_depth(1, 3, 0.0f));
  EXPECT_FALSE(reader.inside_copc_depth(3, 3, 0.0f));
  EXPECT_EQ(read_all().size(), 100u);
}

// Drops points with an odd X.
class DropOddX : public LAScriterion {
 public:
  const char* name() const override { return "drop_odd_x"; }
  int get_command(char* string) const override { return sprintf(string, "-drop_odd_x "); }
  bool filter(const LASpoint* point) override { return (point->X / 100) % 2 == 1; }
};

// An area set before the filter is discarded.
TEST_F(GridFile, FilterDropsWhatItAnswersTrueForAndDiscardsAnEarlierArea) {
  ASSERT_TRUE(reader.inside_rectangle(0.0, 0.0, 1.0, 1.0));
  filter.add_criterion(new DropOddX());
  reader.set_filter(&filter);
  const std::vector<int> indices = read_all();
  ASSERT_EQ(indices.size(), 50u);
  for (int i : indices) EXPECT_EQ(i % 2, 0) << i;
}

TEST_F(GridFile, FilterTransformAndAreaTogether) {
  filter.add_criterion(new DropOddX());
  transform.add_operation(new LASoperationSetPointSource(999));
  reader.set_filter(&filter);
  reader.set_transform(&transform);
  ASSERT_TRUE(reader.inside_rectangle(0.0, 0.0, 4.0, 2.0));  // after filter and transform
  std::vector<int> cells;  // y * 10 + x of the points let through
  while (reader.read_point()) {
    EXPECT_EQ(reader.point.point_source_ID, 999);
    cells.push_back(reader.point.Y / 10 + reader.point.X / 100);
  }
  EXPECT_EQ(cells, (std::vector<int>{0, 2, 10, 12}));
}

}  // namespace
