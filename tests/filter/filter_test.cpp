// Ignore options (parsing, errors, rendering) and the point-source operation
// replacing itself in the transform list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/lasignore.hpp"
#include "filter/lastransform.hpp"
#include "tests/support/point_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

// An argument vector that the ignore settings parse.
struct Args : testsupport::Argv {
  using Argv::Argv;
  // Parses every non-blank argument; false at the first failure.
  bool parse_into(LASignore& ignore) {
    for (int i = 1; i < argc(); i++) {
      if (argv()[i][0] != '\0' && !ignore.parse(i, argc(), argv())) return false;
    }
    return true;
  }
};

class Ignore : public ::testing::Test {
 protected:
  lastest::Messages messages;
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
const std::string kMaskRange = "'-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but ";

class IgnoreErrors : public Ignore, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(IgnoreErrors, Message) {
  Args a(GetParam().args);
  LASignore ignore;
  EXPECT_FALSE(a.parse_into(ignore));
  EXPECT_EQ(messages.texts(LAS_ERROR), (std::vector<std::string>{GetParam().message}));
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
        ErrorCase{"MaskText", {"-ignore_class_mask", "abc"}, kMaskRange + "'abc' is no valid mask"},
        ErrorCase{"MaskZero", {"-ignore_class_mask", "0"}, kMaskRange + "0 makes no sense"},
        ErrorCase{"MaskAll", {"-ignore_class_mask", "4294967295"}, kMaskRange + "4294967295 makes no sense"},
        ErrorCase{"Unknown", {"-ignore_noise"}, "cannot understand argument '-ignore_noise'"}),
    testsupport::CaseName());

TEST(TransformList, PointSourceReplacesItself) {
  LAStransform t;
  t.setPointSource(3);
  t.setPointSource(0);
  ASSERT_EQ(t.num_operations, 1u);
  char text[128];
  t.unparse(text);
  EXPECT_STREQ(text, "-set_point_source 0 ");
}

}  // namespace
