// The point reader base: tile, circle and rectangle queries with their edge
// rules, queries that miss the file, inside_none restoring the box, and the
// filter and transform hooks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/lascriterion.hpp"
#include "filter/lasfilter.hpp"
#include "filter/lasoperation.hpp"
#include "filter/lastransform.hpp"
#include "lasio/lasreaderlas.hpp"
#include "lasio/laswriterlas.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

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
    path = dir.file("grid.las");
    LASwriterLAS writer;
    ASSERT_TRUE(writer.open(path.c_str(), &h));
    LASpoint p;
    ASSERT_TRUE(p.init(&h, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &h));
    for (int i = 0; i < 100; i++) {
      p.zero();
      p.X = (i % 10) * 100;
      p.Y = (i / 10) * 100;
      p.point_source_ID = static_cast<uint16_t>(i);
      ASSERT_TRUE(writer.write_point(&p));
    }
    ASSERT_GT(writer.close(), 0);
    ASSERT_TRUE(reader.open(path.c_str()));
  }

  // Indices of the points read_point delivers.
  std::vector<int> read_all() {
    std::vector<int> indices;
    while (reader.read_point()) indices.push_back(reader.point.point_source_ID);
    return indices;
  }

  Messages messages;
  testsupport::TempDir dir;
  std::string path;
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

TEST_F(GridFile, TileIncludesLowerAndExcludesUpperEdges) {
  ASSERT_TRUE(reader.inside_tile(2.0f, 3.0f, 4.0f));
  EXPECT_EQ(read_all(), grid_indices(2, 6, 3, 7));
  EXPECT_EQ(reader.header.min_x, 2.0);
  EXPECT_DOUBLE_EQ(reader.header.max_x, 6.0 - 0.01);
}

TEST_F(GridFile, CircleExcludesTheRadius) {
  ASSERT_TRUE(reader.inside_circle(5.0, 5.0, 2.0));
  // Distances below 2: the centre, its four neighbours at 1 and the four
  // diagonals at 1.41; (7, 5) at exactly 2 stays out.
  const std::vector<int> expected = {44, 45, 46, 54, 55, 56, 64, 65, 66};
  EXPECT_EQ(read_all(), expected);
}

TEST_F(GridFile, RectangleIncludesLowerAndExcludesUpperEdges) {
  ASSERT_TRUE(reader.inside_rectangle(2.0, 2.0, 4.0, 6.0));
  EXPECT_EQ(read_all(), grid_indices(2, 4, 2, 6));
}

TEST_F(GridFile, QueriesOutsideTheFileReadNothing) {
  ASSERT_TRUE(reader.inside_tile(200.0f, 200.0f, 100.0f));
  EXPECT_FALSE(reader.read_point());
  EXPECT_EQ(reader.p_count, 0);  // not a single point was decoded
  ASSERT_TRUE(reader.inside_none());
  ASSERT_TRUE(reader.inside_circle(-50.0, 5.0, 10.0));
  EXPECT_FALSE(reader.read_point());
  EXPECT_EQ(reader.p_count, 0);
  ASSERT_TRUE(reader.inside_none());
  ASSERT_TRUE(reader.inside_rectangle(3.5, 2.0, 3.9, 5.0));
  EXPECT_FALSE(reader.read_point());  // intersects the box but holds no point
  EXPECT_EQ(reader.p_count, 100);
}

TEST_F(GridFile, InsideNoneRestoresTheBoxAndEveryPoint) {
  const double min_x = reader.header.min_x, max_x = reader.header.max_x;
  const double min_y = reader.header.min_y, max_y = reader.header.max_y;
  EXPECT_EQ(max_x, 9.0);
  ASSERT_TRUE(reader.inside_rectangle(1.0, 1.0, 3.0, 3.0));
  EXPECT_EQ(read_all().size(), 4u);
  ASSERT_TRUE(reader.inside_none());
  EXPECT_EQ(reader.header.min_x, min_x);
  EXPECT_EQ(reader.header.max_x, max_x);
  EXPECT_EQ(reader.header.min_y, min_y);
  EXPECT_EQ(reader.header.max_y, max_y);
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

TEST_F(GridFile, FilterDropsWhatItAnswersTrueFor) {
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
  int n = 0;
  while (reader.read_point()) {
    EXPECT_EQ(reader.point.point_source_ID, 999);
    EXPECT_EQ((reader.point.X / 100) % 2, 0);
    EXPECT_LT(reader.point.X, 400);
    EXPECT_LT(reader.point.Y, 200);
    n++;
  }
  EXPECT_EQ(n, 4);  // x in {0, 2}, y in {0, 1}
}

TEST_F(GridFile, SettingAFilterDiscardsAnEarlierArea) {
  ASSERT_TRUE(reader.inside_rectangle(0.0, 0.0, 1.0, 1.0));
  filter.add_criterion(new DropOddX());
  reader.set_filter(&filter);
  EXPECT_EQ(read_all().size(), 50u);
}

}  // namespace
