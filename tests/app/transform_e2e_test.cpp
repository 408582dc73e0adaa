// Transforms end to end: ptcconv writes the transformed points, ptcinfo
// -check reports them, rastcmp hands the options on to its children.
#include <gtest/gtest.h>
#include <sys/stat.h>  // mkdir, chmod

#include <algorithm>  // sort, min, max
#include <cstdlib>    // getenv, setenv
#include <cstring>    // memcmp
#include <iterator>   // istream_iterator
#include <sstream>    // options split at blanks
#include <string>
#include <vector>

#include "lasio/lasreaderlas.hpp"            // LASreaderLAS, the files read back
#include "tests/lasio/las_file_helpers.hpp"  // make_header, write_points
#include "tests/support/test_support.hpp"    // TempDir, write_asc, run

namespace {

using Strings = std::vector<std::string>;

// A LAS 1.4 file of `format` with `count` points made by fill_point.
void make_las(const std::string& path, int format, int count) {
  LASheader h;
  lastest::make_header(h, 4, format);
  ASSERT_TRUE(lastest::write_points(path, h, count));
}

// The direct computations (z scale 0.1 and offset 5, y scale 0.001, x scale 0.01).
void translate_z(LASpoint& p) { p.Z += 100; }
void scale_intensity(LASpoint& p) { p.intensity = p.intensity > 32767 ? 65535 : p.intensity * 2; }
void set_class_6(LASpoint& p) {
  p.classification = 6;
  if (p.extended_point_type) p.extended_classification = 6;
}
void class_2_to_6(LASpoint& p) {
  if ((p.extended_point_type ? p.extended_classification : p.classification) == 2) set_class_6(p);
}
void clamp_z(LASpoint& p) { p.Z = std::min(std::max(p.Z, -50), 950); }
void translate_xyz(LASpoint& p) {
  p.X += 100;
  p.Y += 2000;
  p.Z += 30;
}

struct ConvCase {
  std::string name;
  int format;
  std::string options;
  void (*compute)(LASpoint&);
};

// The lines of a ptcinfo -check report that give the ranges of the points.
Strings ranges(const std::string& report) {
  Strings out;
  for (const std::string& line : testsupport::lines(report)) {
    if (line.find(" min max ") != std::string::npos) out.push_back(line);
  }
  return out;
}

class PtcconvTransform : public testsupport::DirTest<ConvCase> {};

TEST_P(PtcconvTransform, WritesTheComputedPointsAndPtcinfoAgrees) {
  const ConvCase& c = GetParam();
  const std::string in = dir.file("in.las"), out = dir.file("out.ptc");
  make_las(in, c.format, 2000);
  std::istringstream words(c.options);
  Strings options{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
  Strings args = {"-i", in, "-o", out};
  args.insert(args.end(), options.begin(), options.end());
  const testsupport::RunResult r = testsupport::run(PTCCONV_EXE, args);
  ASSERT_LE(r.status, 1) << r.err;  // 1: values were clamped (and said so)

  LASreaderLAS original(nullptr), converted(nullptr);
  ASSERT_TRUE(original.open(in.c_str()));
  ASSERT_TRUE(converted.open(out.c_str()));
  int changed = 0;
  while (original.read_point()) {
    ASSERT_TRUE(converted.read_point());
    LASpoint expected = original.point;
    c.compute(expected);
    for (int k = 0; k < expected.num_items; k++) {
      // Of POINT14 the record fields without the legacy bytes derived from
      // them (14 to 16) and the decoder's own state after byte 27.
      const bool extended = expected.items[k].type == LASitem::POINT14;
      for (auto part : {std::make_pair(0, extended ? 14 : int(expected.items[k].size)), std::make_pair(17, 28)}) {
        if (part.second <= part.first || (!extended && part.first)) continue;
        const size_t n = part.second - part.first;
        changed += memcmp(expected.point[k] + part.first, original.point.point[k] + part.first, n) != 0;
        ASSERT_EQ(memcmp(expected.point[k] + part.first, converted.point.point[k] + part.first, n), 0)
            << "point " << original.p_count << " item " << k;
      }
    }
  }
  EXPECT_FALSE(converted.read_point());
  EXPECT_GT(changed, 0);

  Strings check = {"-check", in};
  check.insert(check.end(), options.begin(), options.end());
  const testsupport::RunResult transformed = testsupport::run(PTCINFO_EXE, check);
  const testsupport::RunResult written = testsupport::run(PTCINFO_EXE, {"-check", out});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(ranges(transformed.out), ranges(written.out));
  EXPECT_FALSE(ranges(written.out).empty());
}

std::vector<ConvCase> conversions() {
  std::vector<ConvCase> cases;
  for (int format : {1, 6}) {
    const std::string f = "Format" + std::to_string(format);
    for (const ConvCase& c : {ConvCase{"TranslateZ", 0, "-translate_z 10", translate_z},
                              ConvCase{"ScaleIntensity", 0, "-scale_intensity 2", scale_intensity},
                              ConvCase{"SetClassification", 0, "-set_classification 6", set_class_6},
                              ConvCase{"ClampZ", 0, "-clamp_z 0 100", clamp_z},
                              ConvCase{"TranslateXyz", 0, "-translate_xyz 1 2 3", translate_xyz},
                              ConvCase{"FilteredSetClassification", 0,
                                       "-keep_class 2 -filtered_transform -set_classification 6", class_2_to_6}}) {
      cases.push_back(c);
      cases.back().name = c.name + f;
      cases.back().format = format;
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Transform, PtcconvTransform, ::testing::ValuesIn(conversions()), testsupport::CaseName());

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
