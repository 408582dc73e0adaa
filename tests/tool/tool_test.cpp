// The tool frame: message levels, repeat suppression, indentation and exit
// statuses; the common options; runtime utilities and the shared numeric
// conversions.
#include <fstream>

#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tool/kestreltool.hpp"
#include "tool/lasmessage.hpp"
#include "tool/lasutility.hpp"

namespace {

using namespace testsupport;

// Message state reset around each test.
class Fresh : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  void TearDown() override {
    unset_message_handler();
    las_message_reset();
  }
};

struct Captured {
  LAS_MESSAGE_TYPE type;
  std::string text;
};
std::vector<Captured> captured;

// Messages captured instead of printed.
class MessageTest : public Fresh {
 protected:
  void SetUp() override {
    Fresh::SetUp();
    captured.clear();
    set_message_handler([](LAS_MESSAGE_TYPE type, const char* text, void*) { captured.push_back({type, text}); });
  }
};

TEST_F(MessageTest, BelowThresholdCountsAndTrailingLineEndsGo) {
  LASMessage(LAS_VERBOSE, "progress %d", 1);
  EXPECT_TRUE(captured.empty());
  EXPECT_EQ(las_message_count(LAS_VERBOSE), 1);
  EXPECT_EQ(las_exit_status(), 0);
  LASMessage(LAS_INFO, "done\n\n\n");
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].text, "done");
}

TEST_F(MessageTest, RepeatsBeyondFifteenAreSuppressedAndNoted) {
  for (int k = 0; k < 15; k++) LASMessage(LAS_INFO, "same");
  LASMessage(LAS_INFO, "next");  // fifteen repeats: no note
  ASSERT_EQ(captured.size(), 16u);
  EXPECT_EQ(captured[15].text, "next");
  captured.clear();
  for (int k = 0; k < 20; k++) LASMessage(LAS_INFO, "cell %d", k);
  EXPECT_EQ(captured.size(), 15u);
  EXPECT_EQ(captured[14].text, "cell 14");
  LASMessage(LAS_WARNING, "other");
  ASSERT_EQ(captured.size(), 17u);
  EXPECT_EQ(captured[15].type, LAS_INFO);
  EXPECT_EQ(captured[15].text, "(log message repeated 20 times)");
  EXPECT_EQ(captured[16].text, "other");
  EXPECT_EQ(las_message_count(LAS_INFO), 36);  // the note is not counted
}

TEST_F(MessageTest, LogLevelNoteOnlyAtVeryVerbose) {
  set_message_log_level(LAS_VERY_VERBOSE);
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].text, "Log level [VERY_VERBOSE]");
  set_message_log_level(LAS_VERY_VERBOSE);  // same level: nothing
  EXPECT_EQ(captured.size(), 1u);
  set_message_log_level(LAS_QUIET);
  LASMessage(LAS_ERROR, "hidden");
  EXPECT_EQ(captured.size(), 1u);
  EXPECT_EQ(las_exit_status(), 3);
  EXPECT_STREQ(las_message_type_string(LAS_SERIOUS_WARNING), "SERIOUS_WARNING");
  EXPECT_STREQ(las_message_type_string(LAS_QUIET), "QUIET");
  EXPECT_STREQ(las_message_type_string(static_cast<LAS_MESSAGE_TYPE>(12)), "?");
}

struct StatusCase {
  LAS_MESSAGE_TYPE level;
  int status;
};
class ExitStatusTest : public MessageTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatusTest, HighestLevelDecides) {
  LASMessage(LAS_INFO, "info");
  LASMessage(GetParam().level, "message");
  LASMessage(LAS_WARNING, "warning");
  EXPECT_EQ(las_exit_status(), std::max(GetParam().status, 1));
}

INSTANTIATE_TEST_SUITE_P(Levels, ExitStatusTest,
                         ::testing::Values(StatusCase{LAS_VERBOSE, 0}, StatusCase{LAS_WARNING, 1},
                                           StatusCase{LAS_SERIOUS_WARNING, 2}, StatusCase{LAS_ERROR, 3},
                                           StatusCase{LAS_FATAL_ERROR, 4}));

TEST(DefaultHandler, WarningIsPrefixedAndIndented) {
  testing::internal::CaptureStderr();
  las_default_message_handler(LAS_WARNING, "a\n\tb", nullptr);
  las_default_message_handler(LAS_INFO, "plain", nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: a\n         b\nplain\n");
}

// What byebye() prints and the status it exits with after some messages.
struct ByeByeCase {
  const char* name;
  void (*run)();
  int status;
  const char* stderr_pattern;
};

const ByeByeCase kByeByes[] = {
    {"ErrorsIgnoredStillExitThree",
     [] { halt_on_error(false); laserror("bad %d", 5); LASMessage(LAS_INFO, "went on"); }, 3, "ERROR: bad 5\nwent on"},
    {"LaserrorHaltsByDefault", [] { laserror("stop"); LASMessage(LAS_INFO, "never"); }, 3, "^ERROR: stop\n$"},
};

class ByeBye : public ::testing::TestWithParam<ByeByeCase> {};

TEST_P(ByeBye, ExitStatusAndText) {
  EXPECT_EXIT(
      {
        las_message_reset();
        GetParam().run();
        byebye();
      },
      ::testing::ExitedWithCode(GetParam().status), GetParam().stderr_pattern);
}

INSTANTIATE_TEST_SUITE_P(Runs, ByeBye, ::testing::ValuesIn(kByeByes), CaseName());

// An argument vector and the tool frame over it.
struct Args : Argv {
  using Argv::Argv;
  KestrelTool tool() { return KestrelTool("rastcmp", argc(), argv()); }
};

using ToolFrame = Fresh;

TEST_F(ToolFrame, VerbosityTakesTheHighestWhateverTheOrder) {
  for (const auto& order : {std::vector<std::string>{"-vv", "-v"}, std::vector<std::string>{"-v", "-vv"}}) {
    las_message_reset();
    Args a(order);
    a.tool().parse_all();
    EXPECT_EQ(get_message_log_level(), LAS_VERY_VERBOSE);
  }
}

TEST_F(ToolFrame, CoresBlanksOptionAndValue) {
  Args a({"-cores", "4", "-other", "-cpu64"});
  KestrelTool t = a.tool();
  t.parse_all();
  EXPECT_EQ(t.cores, 4);
  EXPECT_TRUE(t.cpu64);
  EXPECT_EQ(a.at(1) + a.at(2) + a.at(4), "");
  EXPECT_EQ(a.at(3), "-other");
}

TEST_F(ToolFrame, PreOptionsOnlyApplyWhenAsked) {
  Args a({"-errors_ignore", "-quiet"});
  KestrelTool t = a.tool();
  int i = 1;
  EXPECT_TRUE(t.parse_pre(i, false));
  EXPECT_TRUE(do_halt_on_error());
  EXPECT_TRUE(t.parse_pre(i, true));
  EXPECT_FALSE(do_halt_on_error());
  i = 2;
  EXPECT_TRUE(t.parse_pre(i, true));
  EXPECT_EQ(get_message_log_level(), LAS_QUIET);
  EXPECT_EQ(a.at(1), "-errors_ignore");  // never blanked
}

TEST_F(ToolFrame, BannerShownOnceWhenVisible) {
  Args a(std::vector<std::string>{});
  KestrelTool t = a.tool();
  testing::internal::CaptureStderr();
  t.lastitle(LAS_VERBOSE, "");  // filtered: may show later
  t.lastitle(LAS_INFO, " x");
  t.lastitle(LAS_INFO, " y");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Kestrel rastcmp (rastcmp project) version 251128 x\n");
}

TEST(Paths, TempPathAndProgramSearch) {
  EXPECT_EQ(temp_path("out"), "out/");
  EXPECT_EQ(temp_path("out/"), "out/");
  EXPECT_EQ(temp_path("").back(), '/');
  EXPECT_EQ(bin_location_get("./x"), "./x");
  EXPECT_FALSE(bin_location_get("sh").empty());
  EXPECT_EQ(bin_location_get("no_such_program_here_12345"), "");
}

TEST_F(ToolFrame, MallocWarnsWhenFreeMemoryIsShort) {
  set_available_RAM_override(1048576);
  testing::internal::CaptureStderr();
  void* p = malloc_las(2 * 1048576);
  const std::string err = testing::internal::GetCapturedStderr();
  set_available_RAM_override(0);
  EXPECT_NE(p, nullptr);
  free(p);
  EXPECT_NE(err.find("failed to allocate 2MB memory as only approx. 1MB free reported. An error may occur"),
            std::string::npos);
  EXPECT_EQ(las_exit_status(), 1);
}

TEST_F(ToolFrame, FileDeleteRemovesWithoutShellAndReportsFailure) {
  TempDir dir;
  const std::string name = dir.file("a b;echo x");
  write_file(name, "x");
  FileDelete(name, LAS_WARNING);
  EXPECT_FALSE(std::ifstream(name).good());
  testing::internal::CaptureStderr();
  FileDelete(name, LAS_WARNING);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("delete of file '" + name + "' failed"), std::string::npos);
}

TEST(RoundClamp, HalfAwayFromZeroAndClamped) {
  const std::pair<double, int32_t> cases[] = {
      {1234.5, 1235},          {-0.5, -1},       {0.4, 0},   {-1234.49, -1234}, {2147483646.6, INT32_MAX},
      {3e38, INT32_MAX},       {-3.4028234663852886e+38, INT32_MIN}, {-2147483648.4, INT32_MIN},
      {NAN, 0},                {INFINITY, INT32_MAX}};
  for (const auto& c : cases) EXPECT_EQ(round_clamp_i32(c.first), c.second) << c.first;
}

}  // namespace
