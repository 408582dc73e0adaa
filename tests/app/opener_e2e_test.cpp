// The rastcmp binary end to end through the input options: list files in
// their line forms, pair and batch mode from a list, several names after
// one -i, -unique, and options that lack their arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.hpp"

namespace {

using testsupport::lines;
using testsupport::run_rastcmp;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::write_asc;
using testsupport::write_file;

const char* const kIdentical = "rasters are identical. both have 5 value and 1 nodata cells.";

class OpenerE2E : public ::testing::Test {
 protected:
  std::string grid(const std::string& name) {
    const std::string path = dir.file(name);
    write_asc(path, 3, 2, 100.0, 200.0, 0.5, {"1", "2", "-9999", "4", "5", "6"});
    return path;
  }
  std::string list(const std::string& content) {
    const std::string path = dir.file("list.txt");
    write_file(path, content);
    return path;
  }
  static bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
  // stderr without the timing figures, which differ from run to run.
  static std::vector<std::string> untimed(const std::string& err) {
    std::vector<std::string> out;
    for (std::string line : lines(err)) {
      const size_t t = line.find(" total time");
      if (t != std::string::npos) line.resize(t);
      out.push_back(line);
    }
    return out;
  }
  TempDir dir;
};

struct ListCase {
  const char* name;
  const char* line_a;  // "%s" stands for the path
  const char* line_b;
};
class ListPair : public OpenerE2E, public ::testing::WithParamInterface<ListCase> {};

std::string fill(const char* form, const std::string& path) {
  std::string s = form;
  return s.replace(s.find("%s"), 2, path);
}

TEST_P(ListPair, TwoGridsAreComparedAsAPair) {
  const std::string a = grid("a.asc"), b = grid("b.asc");
  const std::string l = list(fill(GetParam().line_a, a) + "\n" + fill(GetParam().line_b, b) + "\n");
  const RunResult r = run_rastcmp({"-lof", l});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(untimed(r.err), (std::vector<std::string>{kIdentical, "done with '" + a + "'.", "done with all files."}));
}

INSTANTIATE_TEST_SUITE_P(OpenerE2E, ListPair,
                         ::testing::Values(ListCase{"Names", "%s", "%s   \t"},
                                           ListCase{"IDs", "1, %s", "2,%s"},
                                           ListCase{"BoundingBoxes", "1,6,100,200,101.5,201,%s",
                                                    "2,6,100,200,101.5,201,\t%s"}),
                         [](const ::testing::TestParamInfo<ListCase>& info) { return info.param.name; });

TEST_F(OpenerE2E, ThreeGridsInAListRunBatchModeAndStopAtTheMissingCopy) {
  const std::string a = grid("a.asc"), b = grid("b.asc"), c = grid("c.asc");
  const RunResult r = run_rastcmp({"-lof", list(a + "\n\n" + b + "\n" + c + "\n")});
  EXPECT_EQ(r.status, 3) << r.err;
  // a.asc was opened and checked; the run stops at its ".ptc" copy.
  EXPECT_TRUE(has(r.err, "ERROR: ")) << r.err;
  EXPECT_TRUE(has(r.err, "ptc")) << r.err;
  EXPECT_FALSE(has(r.err, "a.asc")) << r.err;
  EXPECT_FALSE(has(r.err, "rasters are")) << r.err;
}

TEST_F(OpenerE2E, UniqueTurnsADuplicatedListIntoAPair) {
  const std::string a = grid("a.asc"), b = grid("b.asc");
  const std::string l = list(a + "\n" + b + "\n" + a + "\n");
  const RunResult r = run_rastcmp({"-unique", "-lof", l});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(untimed(r.err), (std::vector<std::string>{kIdentical, "done with '" + a + "'.", "done with all files."}));
  // Without -unique the three names mean batch mode.
  EXPECT_EQ(run_rastcmp({"-lof", l}).status, 3);
}

TEST_F(OpenerE2E, SeveralNamesAfterOneInputOptionAreLikeSeveralInputOptions) {
  const std::string a = grid("a.asc"), b = grid("b.asc");
  const RunResult one = run_rastcmp({"-i", a, b});
  const RunResult two = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(untimed(one.err), untimed(two.err));
  EXPECT_EQ(untimed(one.err),
            (std::vector<std::string>{kIdentical, "done with '" + a + "'.", "done with all files."}));
}

TEST_F(OpenerE2E, MissingListFile) {
  const std::string none = dir.file("none.txt");
  const RunResult r = run_rastcmp({"-lof", none});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(lines(r.err), (std::vector<std::string>{"ERROR: cannot open '" + none + "'"}));
}

// An option at the end of the command line that lacks its arguments is an
// error; with -errors_ignore the comparison still runs.
class MissingArguments : public OpenerE2E, public ::testing::WithParamInterface<const char*> {};

TEST_P(MissingArguments, ErrorAndNoCrash) {
  const std::string a = grid("a.asc"), b = grid("b.asc");
  const RunResult halted = run_rastcmp({"-i", a, b, GetParam()});
  EXPECT_EQ(halted.status, 3) << halted.err;
  ASSERT_EQ(lines(halted.err).size(), 1u) << halted.err;
  EXPECT_EQ(lines(halted.err)[0].rfind(std::string("ERROR: '") + GetParam() + "' needs ", 0), 0u) << halted.err;

  const RunResult ignored = run_rastcmp({"-errors_ignore", "-i", a, b, GetParam()});
  EXPECT_EQ(ignored.status, 3) << ignored.err;
  EXPECT_TRUE(has(ignored.err, kIdentical)) << ignored.err;
}

INSTANTIATE_TEST_SUITE_P(OpenerE2E, MissingArguments,
                         ::testing::Values("-lof", "-rescale", "-inside", "-iadd_extra", "-faf_index", "-max_depth",
                                           "-neighbors_lof", "-temp_files"));

}  // namespace
