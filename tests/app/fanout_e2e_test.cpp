// The rastcmp binary fanning out to child processes: the progress lines,
// what each child is given, exit statuses, the list file, and how the
// program finds itself (by path, through PATH, or through /proc).
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.hpp"

namespace {

using testsupport::lines;
using testsupport::read_file;
using testsupport::run;
using testsupport::run_rastcmp;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::write_asc;
using testsupport::write_file;
using Strings = std::vector<std::string>;

const std::vector<std::string> kCells = {"1", "2", "-9999", "4", "5", "6"};

std::string exe_dir() {
  const std::string exe = RASTCMP_EXE;
  return exe.substr(0, exe.find_last_of('/'));
}

std::string real_exe() {
  char buf[PATH_MAX];
  return realpath(RASTCMP_EXE, buf) ? std::string(buf) : std::string(RASTCMP_EXE);
}

Strings files_in(const std::string& dir) {
  Strings names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Sets an environment variable for the lifetime of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const std::string& value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvVar() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

struct ThreadLine {
  int slot;
  std::string program;
  Strings args;  // as printed, split at blanks
};

// The "Starting thread[s](program) with arguments: ..." lines.
std::vector<ThreadLine> thread_lines(const Strings& all) {
  static const std::regex re(R"(^Starting thread\[(\d+)\]\(([^)]*)\) with arguments: (.*)$)");
  std::vector<ThreadLine> out;
  for (const auto& l : all) {
    std::smatch m;
    if (!std::regex_match(l, m, re)) continue;
    ThreadLine t;
    t.slot = std::stoi(m[1]);
    t.program = m[2];
    std::string rest = m[3];
    size_t start = 0;
    while (start < rest.size()) {
      const size_t end = rest.find(' ', start);
      t.args.push_back(rest.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    if (!t.args.empty() && t.args.back().empty()) t.args.pop_back();
    out.push_back(t);
  }
  return out;
}

int count_lines(const Strings& all, const std::string& pattern) {
  const std::regex re(pattern);
  return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const std::string& l) {
    return std::regex_match(l, re);
  }));
}

class FanoutE2E : public ::testing::Test {
 protected:
  Strings grids(const Strings& names, int cols = 3) {
    Strings paths;
    for (const auto& n : names) {
      paths.push_back(dir.file(n));
      write_asc(paths.back(), cols, static_cast<int>(kCells.size()) / cols, 100.0, 200.0, 0.5, kCells);
    }
    return paths;
  }
  static Strings with(Strings front, const Strings& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
  }
  TempDir dir;
};

// ---------------------------------------------------------------------------
// Real children

TEST_F(FanoutE2E, FiveGridsOnTwoCores) {
  const Strings in = grids({"a.asc", "b.asc", "c.asc", "d.asc", "e.asc"});
  const RunResult r = run_rastcmp(with({"-cores", "2", "-i"}, in));
  const Strings all = lines(r.err);
  ASSERT_GE(all.size(), 7u) << r.err;
  EXPECT_EQ(all.front(), "Starting 5 processes on 2 cores");
  EXPECT_EQ(all.back(), "Sucessfully started 5 jobs");
  const auto threads = thread_lines(all);
  ASSERT_EQ(threads.size(), 5u) << r.err;
  std::multiset<std::string> inputs;
  for (const auto& t : threads) {
    EXPECT_TRUE(t.slot == 0 || t.slot == 1) << t.slot;
    EXPECT_EQ(t.program, RASTCMP_EXE);
    // the program, one input, and the output format of the naming options
    ASSERT_EQ(t.args.size(), 4u) << r.err;
    EXPECT_EQ(t.args[0], RASTCMP_EXE);
    EXPECT_EQ(t.args[1], "-i");
    EXPECT_EQ(t.args[3], "-oasc");
    inputs.insert(t.args[2]);
  }
  EXPECT_EQ(inputs, std::multiset<std::string>(in.begin(), in.end()));
  // No .ptc copies exist, so every child fails on its second raster after
  // opening its grid; the parent ends with the children's status.
  EXPECT_EQ(r.status, 3) << r.err;
  for (int k = 1; k <= 5; k++) {
    EXPECT_EQ(count_lines(all, "ERROR: job " + std::to_string(k) + R"( of 5 \(process \d+\) ended with exit status 3)"),
              1)
        << r.err;
  }
  EXPECT_EQ(r.err.find(".asc'."), std::string::npos) << "a child could not open its grid:\n" << r.err;
}

TEST_F(FanoutE2E, MoreCoresThanInputsUsesOneSlotPerInput) {
  const Strings in = grids({"a.asc", "b.asc", "c.asc"});
  const RunResult r = run_rastcmp(with({"-cores", "8", "-i"}, in));
  const Strings all = lines(r.err);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front(), "Starting 3 processes on 3 cores");
  std::set<int> slots;
  for (const auto& t : thread_lines(all)) slots.insert(t.slot);
  EXPECT_EQ(slots, (std::set<int>{0, 1, 2}));
  EXPECT_EQ(all.back(), "Sucessfully started 3 jobs");
}

TEST_F(FanoutE2E, Cpu64OnOneCoreStillRunsEachInputInAChild) {
  const Strings in = grids({"a.asc", "b.asc", "c.asc"});
  const RunResult r = run_rastcmp(with({"-cpu64", "-i"}, in));
  const Strings all = lines(r.err);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front(), "Starting 3 processes on 1 cores");
  const auto threads = thread_lines(all);
  ASSERT_EQ(threads.size(), 3u) << r.err;
  for (size_t k = 0; k < threads.size(); k++) {
    EXPECT_EQ(threads[k].slot, 0);
    EXPECT_EQ(threads[k].args, (Strings{RASTCMP_EXE, "-i", in[k], "-oasc"}));
  }
  EXPECT_EQ(r.status, 3);
}

TEST_F(FanoutE2E, MergedPairRunsInOneChildOverTheListFile) {
  const std::string tmp = dir.file("list dir");
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  const Strings in = grids({"a.asc", "b.asc"});
  const RunResult r = run_rastcmp(with({"-cpu64", "-merged", "-temp_files", tmp, "-i"}, in));
  EXPECT_EQ(r.status, 0) << r.err;
  const Strings all = lines(r.err);
  const auto threads = thread_lines(all);
  ASSERT_EQ(threads.size(), 1u) << r.err;
  // the list file's name holds a blank and still reaches the child whole
  EXPECT_EQ(count_lines(all, R"(Starting thread\[0\]\(.*\) with arguments: .* -lof )" + tmp +
                                 R"(/file_list_buffered\.\d+\.txt -merged -temp_files )" + tmp + " -oasc "),
            1)
      << r.err;
  EXPECT_EQ(count_lines(all, R"(rasters are identical\. both have 5 value and 1 nodata cells\.)"), 1) << r.err;
  EXPECT_EQ(all.back(), "Sucessfully started 1 jobs");
  EXPECT_EQ(files_in(tmp), Strings{}) << "the list file was left behind";
}

TEST_F(FanoutE2E, FailingChildMakesTheParentFail) {
  const std::string tmp = dir.file("t");
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  const Strings a = grids({"a.asc"}, 3);
  const Strings b = grids({"b.asc"}, 2);
  const RunResult r = run_rastcmp({"-cpu64", "-merged", "-temp_files", tmp, "-i", a[0], b[0]});
  EXPECT_EQ(r.status, 3) << r.err;
  const Strings all = lines(r.err);
  EXPECT_EQ(count_lines(all, R"(ERROR: rasters have different ncols of 3 and 2\. difference too big \.\.\. )"), 1)
      << r.err;
  EXPECT_EQ(count_lines(all, R"(ERROR: job 1 of 1 \(process \d+\) ended with exit status 3)"), 1) << r.err;
  EXPECT_EQ(files_in(tmp), Strings{});
}

TEST_F(FanoutE2E, BufferedKeepsOneInputPerChildWithTheListAsNeighbours) {
  const std::string tmp = dir.file("t");
  ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
  const Strings in = grids({"a.asc", "b.asc", "c.asc"});
  const RunResult r = run_rastcmp(with({"-cores", "2", "-buffered", "10", "-temp_files", tmp, "-i"}, in));
  const Strings all = lines(r.err);
  const auto threads = thread_lines(all);
  ASSERT_EQ(threads.size(), 3u) << r.err;
  for (size_t k = 0; k < threads.size(); k++) {
    const Strings& args = threads[k].args;
    ASSERT_GE(args.size(), 3u);
    EXPECT_EQ(args[1], "-i");
    EXPECT_EQ(args[2], in[k]);
    EXPECT_EQ(std::count(args.begin(), args.end(), "-i"), 1);
    EXPECT_EQ(std::count(args.begin(), args.end(), "-lof"), 0);
    const auto nb = std::find(args.begin(), args.end(), "-neighbors_lof");
    ASSERT_NE(nb, args.end()) << r.err;
    ASSERT_NE(nb + 1, args.end());
    EXPECT_EQ((nb + 1)->rfind(tmp + "/file_list_buffered.", 0), 0u) << *(nb + 1);
  }
  EXPECT_EQ(r.err.find("neighbors only"), std::string::npos) << r.err;
  EXPECT_EQ(files_in(tmp), Strings{});
  EXPECT_EQ(r.status, 3);  // no .ptc copies
}

TEST_F(FanoutE2E, ListFileThatCannotBeCreatedIsAnError) {
  const Strings in = grids({"a.asc", "b.asc"});
  const std::string missing = dir.file("no/such/dir");
  const RunResult r = run_rastcmp(with({"-cpu64", "-merged", "-temp_files", missing, "-i"}, in));
  EXPECT_EQ(r.status, 3);
  const Strings all = lines(r.err);
  ASSERT_EQ(all.size(), 1u) << r.err;
  EXPECT_TRUE(std::regex_match(all[0], std::regex("ERROR: cannot open '" + missing +
                                                  R"(/file_list_buffered\.\d+\.txt')")))
      << all[0];
}

// ---------------------------------------------------------------------------
// How the program finds itself

class FanoutSelf : public FanoutE2E {
 protected:
  RunResult run_as(const std::string& argv0, const std::string& path) {
    const Strings in = grids({"a.asc", "b.asc"});
    EnvVar p("PATH", path);
    return run(argv0, with({"-cpu64", "-merged", "-temp_files", dir.path(), "-i"}, in), "", exe_dir());
  }
  void expect_child_compared(const RunResult& r, const std::string& program, const std::string& argv0) {
    EXPECT_EQ(r.status, 0) << r.err;
    const auto threads = thread_lines(lines(r.err));
    ASSERT_EQ(threads.size(), 1u) << r.err;
    EXPECT_EQ(threads[0].program, program);
    ASSERT_FALSE(threads[0].args.empty());
    EXPECT_EQ(threads[0].args[0], argv0);
    EXPECT_NE(r.err.find("rasters are identical. both have 5 value and 1 nodata cells."), std::string::npos)
        << r.err;
  }
};

TEST_F(FanoutSelf, BareNameFoundOnPath) {
  const RunResult r = run_as("rastcmp", exe_dir() + ":/usr/bin:/bin");
  expect_child_compared(r, exe_dir() + "/rastcmp", "rastcmp");
}

TEST_F(FanoutSelf, DotSlashUsedAsItStands) {
  const RunResult r = run_as("./rastcmp", "/usr/bin:/bin");
  expect_child_compared(r, "./rastcmp", "./rastcmp");
}

TEST_F(FanoutSelf, BareNameNotOnPathFallsBackToTheRunningProgram) {
  const RunResult r = run_as("rastcmp", "/usr/bin:/bin");
  expect_child_compared(r, real_exe(), "rastcmp");
  EXPECT_EQ(r.err.find("not found"), std::string::npos) << r.err;
}

// ---------------------------------------------------------------------------
// Controlled children: a stand-in program named rastcmp found first on
// PATH records what it was given and when it ran, and ends with the status
// its input's name asks for.

class FanoutStub : public FanoutE2E {
 protected:
  void SetUp() override {
    bin = dir.file("bin");
    ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
    const std::string stub = bin + "/rastcmp";
    // Each child appends its whole argument line with one write, so that
    // children running at once cannot interleave their lines.
    write_file(stub,
               "#!/bin/sh\n"
               "echo b >> \"$FANOUT_LOG.events\"\n"
               "line=''; for a in \"$@\"; do line=\"$line[$a]\"; done\n"
               "printf '%s\\n' \"$line\" >> \"$FANOUT_LOG.args\"\n"
               "sleep \"${FANOUT_SLEEP:-0}\"\n"
               "echo e >> \"$FANOUT_LOG.events\"\n"
               "case \"$*\" in *fail*) exit 3;; *warn*) exit 1;; esac\n"
               "exit 0\n");
    ASSERT_EQ(chmod(stub.c_str(), 0755), 0);
    log = dir.file("log");
  }
  // Runs the real program under the bare name, so that it starts its
  // children through PATH, where the stand-in comes first.
  RunResult run_parent(const Strings& args, const char* child_seconds = "0") {
    EnvVar p("PATH", bin + ":/usr/bin:/bin");
    EnvVar l("FANOUT_LOG", log);
    EnvVar s("FANOUT_SLEEP", child_seconds);
    return run("rastcmp", args, "", exe_dir());
  }
  int max_running() const {
    int now = 0, most = 0;
    for (const auto& l : lines(read_file(log + ".events"))) {
      now += l == "b" ? 1 : -1;
      most = std::max(most, now);
    }
    return most;
  }
  std::string bin, log;
};

TEST_F(FanoutStub, ArgumentsArriveWholeAndAtMostTwoRunAtOnce) {
  const Strings in = grids({"a.asc", "b c.asc", "it's.asc", "d.asc", "e.asc"});
  const RunResult r = run_parent(with({"hello world", "-cores", "2", "it's", "-i"}, in), "0.2");
  EXPECT_EQ(r.status, 0) << r.err;
  Strings got = lines(read_file(log + ".args"));
  std::sort(got.begin(), got.end());
  Strings expected;
  for (const auto& f : in) expected.push_back("[-i][" + f + "][-oasc][hello world][it's]");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(max_running(), 2);
  EXPECT_EQ(lines(read_file(log + ".events")).size(), 10u);
  const Strings all = lines(r.err);
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front(), "Starting 5 processes on 2 cores");
  EXPECT_EQ(all.back(), "Sucessfully started 5 jobs");
}

struct StatusCase {
  const char* name;
  Strings inputs;
  int status;
  const char* message;  // the parent's report, a regular expression
};

class FanoutStubStatus : public FanoutStub, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(FanoutStubStatus, HighestChildStatusBecomesTheParents) {
  const Strings in = grids(GetParam().inputs);
  const RunResult r = run_parent(with({"-cores", "2", "-i"}, in));
  EXPECT_EQ(r.status, GetParam().status) << r.err;
  if (GetParam().message[0]) {
    EXPECT_EQ(count_lines(lines(r.err), GetParam().message), 1) << r.err;
  } else {
    EXPECT_EQ(r.err.find("ended with"), std::string::npos) << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, FanoutStubStatus,
    ::testing::Values(
        StatusCase{"AllClean", {"a.asc", "b.asc", "c.asc", "d.asc", "e.asc"}, 0, ""},
        StatusCase{"OneFails", {"a.asc", "b.asc", "fail.asc", "d.asc", "e.asc"}, 3,
                   R"(ERROR: job 3 of 5 \(process \d+\) ended with exit status 3)"},
        StatusCase{"OneWarns", {"a.asc", "warn.asc", "c.asc"}, 1,
                   R"(WARNING: job 2 of 3 \(process \d+\) ended with exit status 1)"},
        StatusCase{"LastFails", {"a.asc", "b.asc", "c.asc", "d.asc", "fail.asc"}, 3,
                   R"(ERROR: job 5 of 5 \(process \d+\) ended with exit status 3)"}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Real comparisons in every child need RasterPTC copies of the grids, made
// by the rast2ptc binary of this build.

bool make_ptc_copy(const std::string& grid, const std::string& ptc) {
  const RunResult made = run(RAST2PTC_EXE, {"-i", grid, "-o", ptc});
  EXPECT_EQ(made.status, 0) << made.err;
  return made.status == 0;
}

TEST_F(FanoutE2E, EveryChildComparesItsGridWithItsCopy) {
  const Strings in = grids({"a.asc", "b.asc", "c.asc", "d.asc", "e.asc"});
  for (const auto& g : in) {
    if (!make_ptc_copy(g, g.substr(0, g.size() - 3) + "ptc")) FAIL() << "no RasterPTC copy of " << g;
  }
  const RunResult r = run_rastcmp(with({"-cores", "2", "-i"}, in));
  EXPECT_EQ(r.status, 0) << r.err;
  const Strings all = lines(r.err);
  EXPECT_EQ(count_lines(all, R"(rasters are identical\. both have 5 value and 1 nodata cells\.)"), 5) << r.err;
  EXPECT_EQ(all.back(), "Sucessfully started 5 jobs");
}

TEST_F(FanoutE2E, OneMissingCopyAmongFiveMakesTheParentFail) {
  const Strings in = grids({"a.asc", "b.asc", "c.asc", "d.asc", "e.asc"});
  for (size_t k = 0; k + 1 < in.size(); k++) {
    if (!make_ptc_copy(in[k], in[k].substr(0, in[k].size() - 3) + "ptc")) FAIL() << "no RasterPTC copy of " << in[k];
  }
  const RunResult r = run_rastcmp(with({"-cores", "2", "-i"}, in));
  EXPECT_EQ(r.status, 3) << r.err;
  const Strings all = lines(r.err);
  EXPECT_EQ(count_lines(all, R"(rasters are identical\. both have 5 value and 1 nodata cells\.)"), 4) << r.err;
  EXPECT_EQ(count_lines(all, R"(ERROR: job 5 of 5 \(process \d+\) ended with exit status 3)"), 1) << r.err;
}

}  // namespace
