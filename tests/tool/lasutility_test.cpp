// Runtime utilities and the shared numeric conversions.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/test_support.hpp"
#include "tool/lasutility.hpp"

namespace {

TEST(TempPath, AddsSlashOnce) {
  EXPECT_EQ(temp_path("out"), "out/");
  EXPECT_EQ(temp_path("out/"), "out/");
  const std::string t = temp_path("");
  EXPECT_EQ(t.back(), '/');
}

TEST(MallocLas, WarnsWhenFreeMemoryIsShort) {
  las_message_reset();
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
  las_message_reset();
}

TEST(FileDelete, RemovesWithoutShellAndReportsFailure) {
  las_message_reset();
  testsupport::TempDir dir;
  const std::string name = dir.file("a b;echo x");
  testsupport::write_file(name, "x");
  FileDelete(name, LAS_WARNING);
  EXPECT_FALSE(std::ifstream(name).good());
  testing::internal::CaptureStderr();
  FileDelete(name, LAS_WARNING);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("delete of file '" + name + "' failed"), std::string::npos);
  las_message_reset();
}

TEST(BinLocation, SearchesPath) {
  EXPECT_EQ(bin_location_get("./x"), "./x");
  const std::string sh = bin_location_get("sh");
  EXPECT_FALSE(sh.empty());
  EXPECT_EQ(bin_location_get("no_such_program_here_12345"), "");
}

TEST(ExePath, EndsWithSlash) {
  const std::string p = exe_path();
  ASSERT_FALSE(p.empty());
  EXPECT_EQ(p.back(), '/');
}

struct RoundCase {
  double in;
  int32_t out;
};
class RoundClamp : public ::testing::TestWithParam<RoundCase> {};
TEST_P(RoundClamp, HalfAwayFromZeroAndClamped) { EXPECT_EQ(round_clamp_i32(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(Values, RoundClamp,
                         ::testing::Values(RoundCase{1234.5, 1235}, RoundCase{-0.5, -1}, RoundCase{0.4, 0},
                                           RoundCase{-1234.49, -1234}, RoundCase{2147483646.6, INT32_MAX},
                                           RoundCase{3e38, INT32_MAX}, RoundCase{-3.4028234663852886e+38, INT32_MIN},
                                           RoundCase{-2147483648.4, INT32_MIN}, RoundCase{NAN, 0},
                                           RoundCase{INFINITY, INT32_MAX}));

}  // namespace
