// Helpers of the raster, program, fan-out and tool suites: the includes
// nearly all of them need, argument lists with the test directory put in,
// captured stderr, the checks of a finished program run, and a program
// started by its bare name with a stand-in first on PATH.
#ifndef TESTS_SUPPORT_RASTER_APP_HELPERS_HPP
#define TESTS_SUPPORT_RASTER_APP_HELPERS_HPP

#include <gtest/gtest.h>   // TEST_P, CaptureStderr, EXPECT_*
#include <sys/stat.h>      // stat, mkdir, chmod
#include <unistd.h>        // truncate

#include <algorithm>   // sort, find, count_if, min, max
#include <climits>     // INT_MIN, INT_MAX
#include <cmath>       // nan, llround, fabs
#include <cstdint>     // sample and field types
#include <cstdlib>     // getenv, setenv, free
#include <cstring>     // memcpy, memcmp
#include <functional>  // stderr_of, the changes of tables
#include <memory>      // unique_ptr of readers
#include <string>      // paths, messages
#include <utility>     // pairs
#include <vector>      // values, cells, arguments

#include "tests/support/test_support.hpp"  // TempDir, DirTest, CaseName, write_*, run, lines, with_path

namespace testsupport {

using Strings = std::vector<std::string>;

inline bool exists(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

// text with every "%s" replaced by dir.
inline std::string in_dir(std::string text, const std::string& dir) {
  for (size_t at = text.find("%s"); at != std::string::npos; at = text.find("%s", at + dir.size()))
    text.replace(at, 2, dir);
  return text;
}

inline Strings in_dir(const Strings& texts, const std::string& dir) {
  Strings out;
  for (const std::string& t : texts) out.push_back(in_dir(t, dir));
  return out;
}

// What f prints on stderr.
inline std::string stderr_of(const std::function<void()>& f) {
  testing::internal::CaptureStderr();
  f();
  return testing::internal::GetCapturedStderr();
}

// A program run against what it must do: its exit status, texts of stdout
// and stderr together, and files ("!" first: the text or file must not be
// there; "%s" stands for dir).
inline void expect_run(const RunResult& r, int status, const Strings& parts, const Strings& files,
                       const std::string& dir) {
  EXPECT_EQ(r.status, status) << r.err;
  for (const std::string& part : parts) {
    const bool absent = part[0] == '!';
    const std::string text = in_dir(part.substr(absent), dir);
    EXPECT_EQ((r.out + r.err).find(text) == std::string::npos, absent) << text << "\n" << r.out << r.err;
  }
  for (const std::string& f : files) {
    const bool absent = f[0] == '!';
    EXPECT_EQ(exists(in_dir(f.substr(absent), dir)), !absent) << f;
  }
}

// Runs rastcmp by its bare name, so that it finds its children through
// PATH, where a stand-in comes first that writes its arguments as one line
// of "[arg]"s, one write per child so that children running at once cannot
// interleave. Returns the sorted lines; status gets the exit status.
inline Strings stand_in_lines(const TempDir& dir, const Strings& args, int* status) {
  const std::string exe = RASTCMP_EXE;
  const std::string bin = dir.file("bin"), stub = dir.file("bin/rastcmp");
  EXPECT_EQ(mkdir(bin.c_str(), 0700), 0);
  write_file(stub, "#!/bin/sh\nline=''; for a in \"$@\"; do line=\"$line[$a]\"; done\n"
                   "printf '%s\\n' \"$line\" >> \"" + dir.file("args") + "\"\n");
  EXPECT_EQ(chmod(stub.c_str(), 0755), 0);
  const std::string path = getenv("PATH");
  setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
  const RunResult r = run("rastcmp", args, "", exe.substr(0, exe.find_last_of('/')));
  setenv("PATH", path.c_str(), 1);
  *status = r.status;
  Strings got = lines(read_file(dir.file("args")));
  std::sort(got.begin(), got.end());
  return got;
}

}  // namespace testsupport

#endif
