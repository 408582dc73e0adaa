// Message levels, repeat suppression, indentation and exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/lasmessage.hpp"

namespace {

struct Captured {
  LAS_MESSAGE_TYPE type;
  std::string text;
};
std::vector<Captured> captured;

void capture(LAS_MESSAGE_TYPE type, const char* text, void*) { captured.push_back({type, text}); }

class MessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    las_message_reset();
    captured.clear();
    set_message_handler(&capture);
  }
  void TearDown() override {
    unset_message_handler();
    las_message_reset();
  }
};

TEST_F(MessageTest, BelowThresholdCountsButIsNotShown) {
  LASMessage(LAS_VERBOSE, "progress %d", 1);
  EXPECT_TRUE(captured.empty());
  EXPECT_EQ(las_message_count(LAS_VERBOSE), 1);
  EXPECT_EQ(las_exit_status(), 0);
}

TEST_F(MessageTest, TrailingLineEndsAreRemoved) {
  LASMessage(LAS_INFO, "done\n\n\n");
  ASSERT_EQ(captured.size(), 1u);
  EXPECT_EQ(captured[0].text, "done");
}

TEST_F(MessageTest, RepeatsBeyondFifteenAreSuppressedAndNoted) {
  for (int k = 0; k < 20; k++) LASMessage(LAS_INFO, "cell %d", k);
  EXPECT_EQ(captured.size(), 15u);
  EXPECT_EQ(captured[14].text, "cell 14");
  LASMessage(LAS_WARNING, "other");
  ASSERT_EQ(captured.size(), 17u);
  EXPECT_EQ(captured[15].type, LAS_INFO);
  EXPECT_EQ(captured[15].text, "(log message repeated 20 times)");
  EXPECT_EQ(captured[16].text, "other");
  EXPECT_EQ(las_message_count(LAS_INFO), 20);  // the note is not counted
}

TEST_F(MessageTest, FifteenRepeatsGiveNoNote) {
  for (int k = 0; k < 15; k++) LASMessage(LAS_INFO, "same");
  LASMessage(LAS_INFO, "next");
  ASSERT_EQ(captured.size(), 16u);
  EXPECT_EQ(captured[15].text, "next");
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

TEST(FormatMessage, TabContinuationsAlignUnderPrefix) {
  std::string s = "a\n\tb\nc";
  format_message(s, 9, true);
  EXPECT_EQ(s, "a\n         b\nc\n");
}

TEST(LevelNames, AllNamed) {
  EXPECT_STREQ(las_message_type_string(LAS_SERIOUS_WARNING), "SERIOUS_WARNING");
  EXPECT_STREQ(las_message_type_string(LAS_QUIET), "QUIET");
  EXPECT_STREQ(las_message_type_string(static_cast<LAS_MESSAGE_TYPE>(12)), "?");
}

TEST(DefaultHandler, WarningIsPrefixedAndIndented) {
  testing::internal::CaptureStderr();
  las_default_message_handler(LAS_WARNING, "a\n\tb", nullptr);
  las_default_message_handler(LAS_INFO, "plain", nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: a\n         b\nplain\n");
}

TEST(ByeBye, WarningGivesStatusOne) {
  EXPECT_EXIT(
      {
        las_message_reset();
        LASMessage(LAS_WARNING, "w");
        byebye();
      },
      ::testing::ExitedWithCode(1), "WARNING: w");
}

TEST(ByeBye, ErrorsIgnoredStillExitThree) {
  EXPECT_EXIT(
      {
        las_message_reset();
        halt_on_error(false);
        laserror("bad %d", 5);
        LASMessage(LAS_INFO, "went on");
        byebye();
      },
      ::testing::ExitedWithCode(3), "ERROR: bad 5\nwent on");
}

TEST(ByeBye, LaserrorHaltsByDefault) {
  EXPECT_EXIT(
      {
        las_message_reset();
        laserror("stop");
        LASMessage(LAS_INFO, "never");
        byebye();
      },
      ::testing::ExitedWithCode(3), "^ERROR: stop\n$");
}

TEST(ByeBye, LogStats) {
  EXPECT_EXIT(
      {
        las_message_reset();
        print_log_stats(true);
        LASMessage(LAS_INFO, "i");
        LASMessage(LAS_WARNING, "w");
        byebye();
      },
      ::testing::ExitedWithCode(1), "Log stats: FE=0,E=0,SW=0,W=1,I=1");
}

}  // namespace
