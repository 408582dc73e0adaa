// rast2ptc -threads: one and three threads write the same copy (of three
// chunks, the last one partial); counts it cannot use end with status 3.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.hpp"  // DirTest, write_asc, run, lines

namespace {

using testsupport::RunResult;
using Strings = std::vector<std::string>;

struct ThreadsCase {
  const char* name;
  Strings threads;        // the arguments after "-threads"; none: copies with 1 and 3 are compared
  const char* last_line;  // of the refusal
};

class Rast2ptcThreads : public testsupport::DirTest<ThreadsCase> {};

TEST_P(Rast2ptcThreads, WriteOneCopyOrRefuse) {
  const ThreadsCase& c = GetParam();
  // 331 x 333 cells, every 13th without a value: 101744 points in chunks of 50000
  Strings z(331 * 333);
  for (size_t i = 0; i < z.size(); i++) z[i] = i % 13 == 5 ? "-9999" : std::to_string(100 + i % 977) + ".25";
  testsupport::write_asc(dir.file("dem.asc"), 331, 333, 1000.0, 2000.0, 0.5, z);
  if (c.last_line == nullptr) {
    for (const char* n : {"1", "3"}) {
      const RunResult r = testsupport::run(RAST2PTC_EXE, {"-i", dir.file("dem.asc"), "-o", dir.file(n), "-threads", n});
      ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(testsupport::read_file(dir.file("1")) == testsupport::read_file(dir.file("3")));
    return;
  }
  Strings args = {"-i", dir.file("dem.asc"), "-threads"};
  args.insert(args.end(), c.threads.begin(), c.threads.end());
  const RunResult r = testsupport::run(RAST2PTC_EXE, args);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(testsupport::lines(r.err).back(), c.last_line) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rast2ptcThreads,
    ::testing::Values(
        ThreadsCase{"OneAndThreeAlike", {}, nullptr},
        ThreadsCase{"Missing", {}, "ERROR: '-threads' needs 1 argument: number"},
        ThreadsCase{"Zero", {"0"}, "ERROR: cannot understand argument '0' for '-threads'. a number from 1 to 64"},
        ThreadsCase{"TooMany", {"65"}, "ERROR: cannot understand argument '65' for '-threads'. a number from 1 to 64"},
        ThreadsCase{
            "Trailing", {"2x"}, "ERROR: cannot understand argument '2x' for '-threads'. a number from 1 to 64"}),
    testsupport::CaseName());

}  // namespace
