// Common options of the tool frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/kestreltool.hpp"

namespace {

struct Args {
  std::vector<std::string> store;
  std::vector<char*> ptrs;
  explicit Args(std::vector<std::string> a) : store(std::move(a)) {
    for (auto& s : store) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(store.size()); }
  char** argv() { return ptrs.data(); }
};

class ToolFrame : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  void TearDown() override { las_message_reset(); }
};

TEST_F(ToolFrame, VerbosityOrder) {
  Args a({"rastcmp", "-vv", "-v"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  t.parse_all();
  EXPECT_EQ(get_message_log_level(), LAS_VERY_VERBOSE);
  Args b({"rastcmp", "-v", "-vv"});
  las_message_reset();
  KestrelTool u("rastcmp", b.argc(), b.argv());
  u.parse_all();
  EXPECT_EQ(get_message_log_level(), LAS_VERY_VERBOSE);
}

TEST_F(ToolFrame, CoresBlanksOptionAndValue) {
  Args a({"rastcmp", "-cores", "4", "-other", "-cpu64"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  t.parse_all();
  EXPECT_EQ(t.cores, 4);
  EXPECT_TRUE(t.cpu64);
  EXPECT_EQ(a.argv()[1][0], '\0');
  EXPECT_EQ(a.argv()[2][0], '\0');
  EXPECT_STREQ(a.argv()[3], "-other");
  EXPECT_EQ(a.argv()[4][0], '\0');
}

TEST_F(ToolFrame, PreOptionsOnlyApplyWhenAsked) {
  Args a({"rastcmp", "-errors_ignore", "-quiet"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  int i = 1;
  EXPECT_TRUE(t.parse_pre(i, false));
  EXPECT_TRUE(do_halt_on_error());
  EXPECT_TRUE(t.parse_pre(i, true));
  EXPECT_FALSE(do_halt_on_error());
  i = 2;
  EXPECT_TRUE(t.parse_pre(i, true));
  EXPECT_EQ(get_message_log_level(), LAS_QUIET);
  EXPECT_STREQ(a.argv()[1], "-errors_ignore");  // never blanked
}

TEST_F(ToolFrame, CoresWithoutValueFails) {
  Args a({"rastcmp", "-cores"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  EXPECT_EXIT(t.parse_all(), ::testing::ExitedWithCode(3), "ERROR: '-cores' needs 1 argument: number");
}

TEST_F(ToolFrame, CoresWithWordFails) {
  Args a({"rastcmp", "-cores", "many"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  EXPECT_EXIT(t.parse_all(), ::testing::ExitedWithCode(3), "ERROR: cannot understand argument 'many' for '-cores'");
}

TEST_F(ToolFrame, GuiWarnsAndIsKept) {
  Args a({"rastcmp", "-gui"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  testing::internal::CaptureStderr();
  t.parse_all();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: not compiled with GUI support. ignoring '-gui' ...\n");
  EXPECT_STREQ(a.argv()[1], "-gui");
}

TEST_F(ToolFrame, BannerShownOnceWhenVisible) {
  Args a({"rastcmp"});
  KestrelTool t("rastcmp", a.argc(), a.argv());
  testing::internal::CaptureStderr();
  t.lastitle(LAS_VERBOSE, "");  // filtered: may show later
  t.lastitle(LAS_INFO, " x");
  t.lastitle(LAS_INFO, " y");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Kestrel rastcmp (rastcmp project) version 251128 x\n");
}

}  // namespace
