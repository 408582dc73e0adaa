// Transforms end to end: rastcmp hands them on to its children.
#include <gtest/gtest.h>
#include <sys/stat.h>  // mkdir, chmod

#include <algorithm>  // sort
#include <cstdlib>    // getenv, setenv
#include <string>
#include <vector>

#include "tests/support/test_support.hpp"  // TempDir, write_asc, run

namespace {

using Strings = std::vector<std::string>;

// Started by a bare name, rastcmp finds its children through PATH, where a
// stand-in that records its arguments comes first.
TEST(TransformFanOut, ChildrenGetTheRenderedTransform) {
  testsupport::TempDir dir;
  const std::string bin = dir.file("bin"), stub = dir.file("bin/rastcmp"), exe = RASTCMP_EXE;
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  testsupport::write_file(stub, "#!/bin/sh\nline=''; for a in \"$@\"; do line=\"$line[$a]\"; done\n"
                                "printf '%s\\n' \"$line\" >> \"" + dir.file("args") + "\"\n");
  ASSERT_EQ(chmod(stub.c_str(), 0755), 0);
  Strings args = {"-cores", "2", "-translate_z", "10", "-scale_intensity", "2", "-i"}, expected;
  for (const char* f : {"a.asc", "b.asc"}) {
    testsupport::write_asc(dir.file(f), 2, 1, 0, 0, 1, {"1", "2"});
    args.push_back(dir.file(f));
    expected.push_back("[-i][" + dir.file(f) + "][-oasc][-translate_z][10.000000][-scale_intensity][2]");
  }
  const std::string path = getenv("PATH");
  setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
  const testsupport::RunResult r = testsupport::run("rastcmp", args, "", exe.substr(0, exe.find_last_of('/')));
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(r.status, 0) << r.err;
  Strings got = testsupport::lines(testsupport::read_file(dir.file("args")));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);
}

}  // namespace
