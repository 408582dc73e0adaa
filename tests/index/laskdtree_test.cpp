// The rectangle store: bounds and sequence numbers.
#include <gtest/gtest.h>

#include "index/laskdtree.hpp"

namespace {

void expect_bounds(const LASkdtreeRectangles& t, double min_x, double min_y, double max_x, double max_y) {
  EXPECT_EQ(t.min_x, min_x);
  EXPECT_EQ(t.min_y, min_y);
  EXPECT_EQ(t.max_x, max_x);
  EXPECT_EQ(t.max_y, max_y);
}

TEST(KdtreeRectangles, BoundsWidenAndRectanglesAreNumberedInOrder) {
  LASkdtreeRectangles t;
  EXPECT_EQ(t.get_count(), 0u);
  expect_bounds(t, 2e307, 2e307, -2e307, -2e307);  // inverted while empty
  t.add(10, 20, 30, 40);
  expect_bounds(t, 10, 20, 30, 40);
  t.add(-5, 25, 15, 35);  // widens only min_x
  t.add(0, -1, 50, 10);   // widens min_y and max_x
  expect_bounds(t, -5, -1, 50, 40);
  ASSERT_EQ(t.get_count(), 3u);
  EXPECT_EQ(t.get_rectangle(1).min_x, -5);
  EXPECT_EQ(t.get_rectangle(1).max_y, 35);
  for (uint32_t k = 0; k < 3; k++) EXPECT_EQ(t.get_rectangle(k).index, k);
  t.init();  // empty again
  EXPECT_EQ(t.get_count(), 0u);
  expect_bounds(t, 2e307, 2e307, -2e307, -2e307);
  t.add(7, 8, 9, 10);
  expect_bounds(t, 7, 8, 9, 10);
  EXPECT_EQ(t.get_rectangle(0).index, 0u);
}


// Overlap queries agree with a scan of all rectangles, edges included.
TEST(KdtreeRectangles, OverlapFindsWhatAScanFinds) {
  LASkdtreeRectangles t;
  uint32_t seed = 3;
  auto next = [&seed]() { return (seed = seed * 1664525u + 1013904223u) >> 16; };
  for (int i = 0; i < 300; i++) {
    const double x = next() % 1000, y = next() % 1000;
    t.add(x, y, x + next() % 50, y + next() % 50);
  }
  std::vector<uint32_t> found;
  t.overlap(10, 10, 10, 10, found);  // builds the tree
  t.add(0, 0, 10, 10);               // touches the query corner: rebuilt
  for (int q = 0; q < 40; q++) {
    double x = next() % 1000, y = next() % 1000, s = next() % 120;
    if (q == 0) x = y = s = 10;
    t.overlap(x, y, x + s, y + s, found);
    std::vector<uint32_t> scanned;
    for (uint32_t k = 0; k < t.get_count(); k++) {
      const LASkdtreeRectangle& r = t.get_rectangle(k);
      if (r.min_x <= x + s && r.max_x >= x && r.min_y <= y + s && r.max_y >= y) scanned.push_back(k);
    }
    EXPECT_EQ(found, scanned) << "query " << q;
    if (q == 0) {
      EXPECT_EQ(found.back(), 300u);
    }
  }
}

}  // namespace
