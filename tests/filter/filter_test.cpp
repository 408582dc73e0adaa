// Filter settings: ignore options (parsing, errors, rendering), filter and
// transform lists (growth, rendering), the point-source operation and the
// filtered-transform switch.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "filter/lascriterion.hpp"
#include "filter/lasfilter.hpp"
#include "filter/lasignore.hpp"
#include "filter/lasoperation.hpp"
#include "filter/lastransform.hpp"
#include "tests/support/test_support.hpp"
#include "tool/lasmessage.hpp"

namespace {

// A writable argument vector after the program name.
struct Args {
  std::vector<std::string> store;
  std::vector<char*> ptrs;
  explicit Args(std::vector<std::string> a) : store(std::move(a)) {
    store.insert(store.begin(), "rastcmp");
    for (auto& s : store) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(store.size()); }
  char** argv() { return ptrs.data(); }
  // Parses every non-blank argument; false at the first failure.
  bool parse_into(LASignore& ignore) {
    for (int i = 1; i < argc(); i++) {
      if (ptrs[i][0] != '\0' && !ignore.parse(i, argc(), argv())) return false;
    }
    return true;
  }
};

std::vector<std::string> errors;

class Ignore : public ::testing::Test {
 protected:
  void SetUp() override {
    las_message_reset();
    errors.clear();
    set_message_handler([](LAS_MESSAGE_TYPE type, const char* text, void*) {
      if (type == LAS_ERROR) errors.push_back(text);
    });
    halt_on_error(false);
  }
  void TearDown() override {
    unset_message_handler();
    las_message_reset();
  }
};

struct RenderCase {
  const char* name;
  std::vector<std::string> args;
  std::string text;
};
class IgnoreRender : public Ignore, public ::testing::WithParamInterface<RenderCase> {};

TEST_P(IgnoreRender, TextAndBlanking) {
  Args a(GetParam().args);
  LASignore ignore;
  ASSERT_TRUE(a.parse_into(ignore));
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.argv()[k][0], '\0') << k;
  char text[2048];
  const int n = ignore.unparse(text);
  EXPECT_EQ(text, GetParam().text);
  EXPECT_EQ(n, static_cast<int>(GetParam().text.size()));
  EXPECT_EQ(ignore.active(), !GetParam().text.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ignore, IgnoreRender,
    ::testing::Values(
        RenderCase{"Empty", {}, ""},
        RenderCase{"ClassesAcrossBlocks", {"-ignore_class", "200", "7", "-ignore_extended_class", "31", "32", "0"},
                   "-ignore_class 0 7 31 32 200 "},
        RenderCase{"Mask", {"-ignore_class_mask", "6"}, "-ignore_class 1 2 "},
        RenderCase{"FirstAndLastOfMany", {"-ignore_last_of_many", "-ignore_first_of_many"},
                   "-ignore_first_of_many -ignore_last_of_many "},
        RenderCase{"FirstWithSingle", {"-ignore_first"}, "-ignore_first "},
        RenderCase{"SingleAndLast", {"-ignore_single", "-ignore_last_of_many"}, "-ignore_last "},
        RenderCase{"SingleAlone", {"-ignore_single"}, "-ignore_single "},
        RenderCase{"Flags", {"-ignore_overlap", "-ignore_intermediate", "-ignore_synthetic", "-ignore_withheld",
                             "-ignore_keypoint"},
                   "-ignore_intermediate -ignore_synthetic -ignore_keypoint -ignore_withheld -ignore_overlap "}),
    testsupport::CaseName());

TEST_F(Ignore, ClassCodesStopAtTheFirstNonDigit) {
  Args a({"-ignore_class", "2", "-i", "3"});
  LASignore ignore;
  int i = 1;
  ASSERT_TRUE(ignore.parse(i, a.argc(), a.argv()));
  EXPECT_EQ(i, 2);
  EXPECT_STREQ(a.argv()[3], "-i");
  EXPECT_STREQ(a.argv()[4], "3");
  EXPECT_EQ(ignore.ignore_mask[0], 1u);
  EXPECT_EQ(ignore.ignore_mask[1], 4u);
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};
class IgnoreErrors : public Ignore, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(IgnoreErrors, Message) {
  Args a(GetParam().args);
  LASignore ignore;
  EXPECT_FALSE(a.parse_into(ignore));
  EXPECT_EQ(errors, (std::vector<std::string>{GetParam().message}));
}

INSTANTIATE_TEST_SUITE_P(
    Ignore, IgnoreErrors,
    ::testing::Values(
        ErrorCase{"NoCode", {"-ignore_class"}, "'-ignore_class' needs 1 at least argument: classification"},
        ErrorCase{"NoCodeBeforeOption", {"-ignore_extended_class", "-x"},
                  "'-ignore_extended_class' needs 1 at least argument: classification"},
        ErrorCase{"CodeTooLarge", {"-ignore_class", "2", "256"},
                  "'-ignore_class' needs arguments between 0 and 255 but '256' is out of range"},
        ErrorCase{"NoMask", {"-ignore_class_mask"}, "'-ignore_class_mask' needs 1 argument: mask"},
        ErrorCase{"MaskText", {"-ignore_class_mask", "abc"},
                  "'-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 'abc' is no valid mask"},
        ErrorCase{"MaskZero", {"-ignore_class_mask", "0"},
                  "'-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 0 makes no sense"},
        ErrorCase{"MaskAll", {"-ignore_class_mask", "4294967295"},
                  "'-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 4294967295 makes no "
                  "sense"},
        ErrorCase{"Unknown", {"-ignore_noise"}, "cannot understand argument '-ignore_noise'"}),
    testsupport::CaseName());


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
  Args a({"-filtered_transform", "-other"});
  LAStransform t;
  ASSERT_TRUE(t.parse(a.argc(), a.argv()));
  EXPECT_TRUE(t.filtered);
  EXPECT_EQ(a.argv()[1][0], '\0');
  EXPECT_STREQ(a.argv()[2], "-other");
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
  t.delete_operation("no_such_operation");
  EXPECT_EQ(t.num_operations, 19u);
  char text[512];
  t.unparse(text);
  std::string expected;
  for (int k = 1; k < 20; k++) expected += "-set_point_source " + std::to_string(k) + " ";
  EXPECT_EQ(text, expected);
}

}  // namespace
