// Filter and transform lists: growth, rendering, the point-source operation
// and the filtered-transform switch.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "filter/lascriterion.hpp"
#include "filter/lasfilter.hpp"
#include "filter/lasoperation.hpp"
#include "filter/lastransform.hpp"
#include "tool/lasmessage.hpp"

namespace {

// A criterion that drops every point and renders as "-keep_n <n> ".
class Numbered : public LAScriterion {
 public:
  explicit Numbered(int n) : n_(n) {}
  const char* name() const override { return "keep_n"; }
  int get_command(char* string) const override { return sprintf(string, "-%s %d ", name(), n_); }
  bool filter(const LASpoint*) override { return true; }

 private:
  int n_;
};

TEST(FilterList, GrowsBySixteenAndRendersInOrder) {
  LASfilter f;
  std::string expected;
  for (int k = 0; k < 17; k++) {
    f.add_criterion(new Numbered(k));
    expected += "-keep_n " + std::to_string(k) + " ";
  }
  EXPECT_EQ(f.alloc_criteria, 32u);
  char text[512];
  EXPECT_EQ(f.unparse(text), static_cast<int>(expected.size()));
  EXPECT_EQ(text, expected);
  EXPECT_TRUE(f.filter(nullptr));
  EXPECT_EQ(f.counters[0], 1u);
  EXPECT_EQ(f.counters[1], 0u);  // the first criterion that drops is counted
  f.clean();
  EXPECT_EQ(f.num_criteria, 0u);
  EXPECT_FALSE(f.filter(nullptr));
}

TEST(TransformList, PointSourceReplacesItself) {
  LAStransform t;
  t.setPointSource(3);
  t.setPointSource(0);
  ASSERT_EQ(t.num_operations, 1u);
  char text[128];
  t.unparse(text);
  EXPECT_STREQ(text, "-set_point_source 0 ");
}

TEST(TransformList, FilteredTransformRendersFilterFirst) {
  char arg0[] = "rastcmp", arg1[] = "-filtered_transform", arg2[] = "-other";
  char* argv[] = {arg0, arg1, arg2, nullptr};
  LAStransform t;
  ASSERT_TRUE(t.parse(3, argv));
  EXPECT_TRUE(t.filtered);
  EXPECT_EQ(argv[1][0], '\0');
  EXPECT_STREQ(argv[2], "-other");
  LASfilter* f = new LASfilter();
  f->add_criterion(new Numbered(2));
  t.setFilter(f);
  t.setPointSource(7);
  char text[128];
  const int n = t.unparse(text);
  EXPECT_STREQ(text, "-keep_n 2 -filtered_transform -set_point_source 7 ");
  EXPECT_EQ(n, static_cast<int>(strlen(text)));
}

TEST(TransformList, DeleteOperationClosesTheGap) {
  LAStransform t;
  for (int k = 0; k < 20; k++) t.add_operation(new LASoperationSetPointSource(static_cast<unsigned short>(k)));
  EXPECT_EQ(t.alloc_operations, 32u);
  t.delete_operation("set_point_source");
  ASSERT_EQ(t.num_operations, 19u);
  EXPECT_EQ(static_cast<LASoperationSetPointSource*>(t.operations[0])->value(), 1);
  EXPECT_EQ(static_cast<LASoperationSetPointSource*>(t.operations[18])->value(), 19);
  t.delete_operation("no_such_operation");
  EXPECT_EQ(t.num_operations, 19u);
}

}  // namespace
