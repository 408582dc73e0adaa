// The index in the tools: ptcconv -index stores a spatial index with its
// output (inside a PTC file, a .lax beside a LAS file) and drops a stale
// .lax; ptcinfo reports the index and -check -inside… reads only the area;
// bad area arguments end with status 3.
#include <gtest/gtest.h>
#include <sys/stat.h>  // stat

#include <string>
#include <vector>

#include "lasio/laswriterlas.hpp"            // LASwriterLAS, the grid file
#include "tests/lasio/las_file_helpers.hpp"  // make_header
#include "tests/support/test_support.hpp"    // DirTest, run, with_path

namespace {

using Strings = std::vector<std::string>;

// 1000 points on the integer grid x 0..39, y 0..24.
void make_grid(const std::string& path) {
  LASheader h;
  lastest::make_header(h, 2, 1);
  h.x_scale_factor = h.y_scale_factor = 0.01;
  h.x_offset = h.y_offset = 0.0;
  LASwriterLAS writer;
  ASSERT_TRUE(writer.open(path.c_str(), &h));
  LASpoint p;
  ASSERT_TRUE(p.init(&h, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &h));
  for (int i = 0; i < 1000; i++) {
    p.zero();
    p.X = (i % 40) * 100;
    p.Y = (i / 40) * 100;
    ASSERT_TRUE(writer.write_point(&p));
  }
  ASSERT_GT(writer.close(), 0);
}

bool exists(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

struct Case {
  const char* name;
  const char* exe;
  Strings args;  // "%s" is the directory
  int status;
  Strings parts;     // of stdout and stderr
  const char* made;  // a file that exists afterwards ("!": that does not)
};

class IndexTools : public testsupport::DirTest<Case> {};

TEST_P(IndexTools, OutputAndStatus) {
  const std::string d = dir.path();
  make_grid(d + "/grid.las");
  for (const char* out : {"/indexed.ptc", "/indexed.las"}) {
    const testsupport::RunResult r = testsupport::run(PTCCONV_EXE, {"-i", d + "/grid.las", "-o", d + out, "-index"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  Strings args;
  for (const std::string& a : GetParam().args) args.push_back(testsupport::with_path(a, d));
  const testsupport::RunResult r = testsupport::run(GetParam().exe, args);
  EXPECT_EQ(r.status, GetParam().status) << r.err;
  for (const std::string& part : GetParam().parts) {
    EXPECT_NE((r.out + r.err).find(testsupport::with_path(part, d)), std::string::npos) << part << "\n" << r.out << r.err;
  }
  const std::string made = GetParam().made;
  if (!made.empty()) {
    EXPECT_EQ(exists(testsupport::with_path(made.substr(made[0] == '!'), d)), made[0] != '!') << made;
  }
}

const char* const kIndexReport = "  spatial index: quadtree of ";

INSTANTIATE_TEST_SUITE_P(
    Tools, IndexTools,
    ::testing::Values(
        Case{"PtcKeepsItsIndex", PTCINFO_EXE, {"%s/indexed.ptc"}, 0, {kIndexReport, "  special evlrs 1 at offset"}, ""},
        Case{"LasGetsALax", PTCINFO_EXE, {"%s/indexed.las"}, 0, {kIndexReport}, "%s/indexed.lax"},
        Case{"Rectangle", PTCINFO_EXE, {"-check", "-inside", "10", "5", "20", "10", "%s/indexed.ptc"}, 0,
             {"  points inside the area 50 of 1000\n"}, ""},
        Case{"Tile", PTCINFO_EXE, {"-check", "-inside_tile", "0", "0", "5", "%s/indexed.las"}, 0,
             {"  points inside the area 25 of 1000\n"}, ""},
        Case{"Circle", PTCINFO_EXE, {"-check", "-inside_circle", "20", "12", "3", "%s/indexed.ptc"}, 0,
             {"  points inside the area 25 of 1000\n"}, ""},
        Case{"CircleWithoutIndex", PTCINFO_EXE, {"-check", "-inside_circle", "20", "12", "3", "%s/grid.las"}, 0,
             {"  points inside the area 25 of 1000\n"}, ""},
        Case{"AreaOutsideTheFile", PTCINFO_EXE, {"-check", "-inside", "100", "100", "200", "200", "%s/indexed.ptc"},
             0, {"  points inside the area 0 of 1000\n"}, ""},
        Case{"TooFewValues", PTCINFO_EXE, {"-check", "-inside", "1", "2", "3"}, 3,
             {"'-inside' needs 4 arguments: min_x min_y max_x max_y"}, ""},
        Case{"NotANumber", PTCINFO_EXE, {"-inside_circle", "1", "x", "3", "%s/grid.las"}, 3,
             {"cannot understand argument 'x' for '-inside_circle'"}, ""},
        Case{"ConvertingAreaThroughTheIndex", PTCCONV_EXE,
             {"-i", "%s/indexed.ptc", "-o", "%s/part.las", "-inside", "10", "5", "20", "10"}, 0,
             {"wrote 50 points of"}, ""},
        Case{"StaleLaxIsRemoved", PTCCONV_EXE, {"-i", "%s/grid.las", "-o", "%s/indexed.las"}, 0,
             {"indexed.lax', the index of an earlier '%s/indexed.las'"}, "!%s/indexed.lax"}),
    testsupport::CaseName());

}  // namespace
