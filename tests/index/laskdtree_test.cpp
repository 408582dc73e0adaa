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

}  // namespace
