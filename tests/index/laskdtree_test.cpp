// The rectangle store: bounds and sequence numbers.
#include <gtest/gtest.h>

#include "index/laskdtree.hpp"

namespace {

TEST(KdtreeRectangles, StartsEmptyWithInvertedBounds) {
  LASkdtreeRectangles t;
  EXPECT_EQ(t.get_count(), 0u);
  EXPECT_EQ(t.min_x, 2e307);
  EXPECT_EQ(t.min_y, 2e307);
  EXPECT_EQ(t.max_x, -2e307);
  EXPECT_EQ(t.max_y, -2e307);
}

TEST(KdtreeRectangles, AddWidensBoundsAndNumbersInOrder) {
  LASkdtreeRectangles t;
  t.add(10, 20, 30, 40);
  EXPECT_EQ(t.min_x, 10);
  EXPECT_EQ(t.max_y, 40);
  t.add(-5, 25, 15, 35);  // widens only min_x
  t.add(0, -1, 50, 10);   // widens min_y and max_x
  EXPECT_EQ(t.min_x, -5);
  EXPECT_EQ(t.min_y, -1);
  EXPECT_EQ(t.max_x, 50);
  EXPECT_EQ(t.max_y, 40);
  ASSERT_EQ(t.get_count(), 3u);
  EXPECT_EQ(t.get_rectangle(1).min_x, -5);
  EXPECT_EQ(t.get_rectangle(1).max_y, 35);
  for (uint32_t k = 0; k < 3; k++) EXPECT_EQ(t.get_rectangle(k).index, k);
}

TEST(KdtreeRectangles, InitEmptiesAgain) {
  LASkdtreeRectangles t;
  t.add(1, 2, 3, 4);
  t.init();
  EXPECT_EQ(t.get_count(), 0u);
  EXPECT_EQ(t.max_x, -2e307);
  t.add(7, 8, 9, 10);
  EXPECT_EQ(t.min_x, 7);
  EXPECT_EQ(t.get_rectangle(0).index, 0u);
}

}  // namespace
