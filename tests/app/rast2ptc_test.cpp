// The rast2ptc tool: output names, the rasters and arguments it refuses
// with exit status 3, several inputs, -o, -odir and -lof.
#include "app/rast2ptc.hpp"

#include <gdal.h>  // GDT_Int16, GDT_Byte

#include "tests/support/raster_app_helpers.hpp"  // DirTest, write_raster, write_asc, run, exists

namespace {

using namespace testsupport;

RunResult run_rast2ptc(const Strings& args) { return run(RAST2PTC_EXE, args); }

std::string grid(const TempDir& dir, const std::string& name) {
  write_asc(dir.file(name), 3, 2, 100.0, 200.0, 0.5, {"1.5", "2.25", "-9999", "4", "5.75", "6"});
  return dir.file(name);
}

struct NameCase {
  const char* input;
  const char* directory;
  const char* expected;
};

class OutputName : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputName, ReplacesTheExtensionAndPlacesTheName) {
  EXPECT_EQ(rast2ptc_output_name(GetParam().input, GetParam().directory), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputName,
    ::testing::Values(NameCase{"dem.tif", "", "dem.ptc"}, NameCase{"dir/dem.TIF", "", "dir/dem.ptc"},
                      NameCase{"a.b/dem", "", "a.b/dem.ptc"}, NameCase{"dem.tile.asc", "", "dem.tile.ptc"},
                      NameCase{"x/.hidden", "", "x/.hidden.ptc"}, NameCase{"C:dem.img", "", "C:dem.ptc"},
                      NameCase{"in/dem.bil", "out", "out/dem.ptc"}, NameCase{"in/dem.bil", "out/", "out/dem.ptc"},
                      NameCase{"dem.png", "/tmp", "/tmp/dem.ptc"}));

struct RefusedCase {
  const char* name;
  Strings args;  // "%s" is the directory
  std::string last_line;
  const char* not_made;  // an output that must not exist afterwards
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

// The tool on files of its own: two.tif has two bands, rot.png and
// rot1.png rotation terms in their world files, a.asc is a plain grid and
// a.ptc its copy.
class Rast2ptcRefuses : public DirTest<RefusedCase> {};

TEST_P(Rast2ptcRefuses, WithStatusThreeAndNoOutput) {
  ASSERT_TRUE(write_raster("GTiff", dir.file("two.tif"), 4, 3, 2, GDT_Int16, std::vector<double>(24, 7.0)));
  for (const char* png : {"rot.png", "rot1.png"}) {
    ASSERT_TRUE(write_raster("PNG", dir.file(png), 4, 3, 1, GDT_Byte, std::vector<double>(12, 9.0)));
  }
  write_file(dir.file("rot.pgw"), "1\n0.5\n0.25\n-1\n0.5\n9.5\n");
  write_file(dir.file("rot1.pgw"), "1\n0\n0.25\n-1\n0.5\n9.5\n");
  ASSERT_EQ(run_rast2ptc({"-i", grid(dir, "a.asc"), "-o", dir.file("a.ptc")}).status, 0);
  const RunResult r = run_rast2ptc(in_dir(GetParam().args, dir.path()));
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(lines(r.err).back(), with_path(GetParam().last_line, dir.path())) << r.err;
  EXPECT_FALSE(exists(dir.file(GetParam().not_made)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rast2ptcRefuses,
    ::testing::Values(
        RefusedCase{"TwoBands", {"-i", "%s/two.tif"},
                    "ERROR: raster '%s/two.tif' has 2 bands. a RasterPTC copy holds one band only.", "two.ptc"},
        RefusedCase{"RotationTerms", {"-i", "%s/rot.png"},
                    "ERROR: raster '%s/rot.png' has rotation terms (stepx_y 0.5, stepy_x 0.25). a RasterPTC copy "
                    "cannot hold them.", "rot.ptc"},
        RefusedCase{"OneRotationTerm", {"-i", "%s/rot1.png"},
                    "ERROR: raster '%s/rot1.png' has rotation terms (stepx_y 0, stepy_x 0.25). a RasterPTC copy "
                    "cannot hold them.", "rot1.ptc"},
        RefusedCase{"Unreadable", {"-i", "%s/missing.asc"}, "ERROR: cannot open raster '%s/missing.asc'.",
                    "missing.ptc"},
        RefusedCase{"NoArguments", {}, "ERROR: no input specified", "x.ptc"},
        RefusedCase{"UnknownOption", {"-i", "%s/a.asc", "-bogus"}, "ERROR: cannot understand argument '-bogus'",
                    "x.ptc"},
        RefusedCase{"DashOWithTwoInputs", {"-i", "%s/a.asc", "%s/a.asc", "-o", "%s/x.ptc"},
                    "ERROR: '-o' names one output but there are 2 inputs. use '-odir' for several ...", "x.ptc"},
        RefusedCase{"DashOWithoutName", {"-i", "%s/a.asc", "-o"}, "ERROR: '-o' needs 1 argument: file name", "x.ptc"},
        RefusedCase{"PointFormat11", {"-i", "%s/a.asc", "-o", "%s/x.ptc", "-point_format", "11"},
                    "ERROR: cannot understand argument '11' for '-point_format'. point formats are 0 to 10", "x.ptc"},
        RefusedCase{"OutputIsTheInput", {"-i", "%s/a.ptc"},
                    "ERROR: output '%s/a.ptc' is the input itself. name another output with '-o' or '-odir'.",
                    "a.ptc.ptc"}),
    CaseName());

// -lof with -odir; several inputs, each copy beside its input; a copy of a
// copy that rastcmp finds identical with the grid.
TEST(Rast2ptc, SeveralInputsAndOutputOptions) {
  TempDir dir;
  const Strings in = {grid(dir, "a.asc"), grid(dir, "b.asc"), grid(dir, "c.asc")};
  const std::string out = dir.file("out");
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
  write_file(dir.file("list.txt"), in[0] + "\n" + in[1] + "\n");
  EXPECT_EQ(run_rast2ptc({"-lof", dir.file("list.txt"), "-odir", out}).status, 0);
  EXPECT_TRUE(exists(out + "/a.ptc"));
  EXPECT_FALSE(exists(dir.file("a.ptc")));

  RunResult r = run_rast2ptc({"-i", in[0], in[1], in[2]});
  EXPECT_EQ(r.status, 0) << r.err;
  const Strings all = lines(r.err);
  ASSERT_EQ(all.size(), 4u) << r.err;
  EXPECT_EQ(all[1].rfind("wrote '" + dir.file("b.ptc") + "' with 5 value and 1 nodata cells. total time ", 0), 0u);
  EXPECT_EQ(all[3].rfind("done with all files. total time for 3 files ", 0), 0u) << all[3];
  EXPECT_EQ(run_rast2ptc({"-i", out + "/b.ptc", "-o", dir.file("again.ptc")}).status, 0);
  r = run_rastcmp({"-i", in[1], "-i", dir.file("again.ptc")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.err)[0], "rasters are identical. both have 5 value and 1 nodata cells.");
}

// The copy in every point format holds the grid's cells, in the oldest LAS
// version that has the format.
class Rast2ptcPointFormat : public ::testing::TestWithParam<int> {};

TEST_P(Rast2ptcPointFormat, CopyIsIdenticalWithTheGrid) {
  TempDir dir;
  const int format = GetParam();
  RunResult r = run_rast2ptc({"-i", grid(dir, "a.asc"), "-point_format", std::to_string(format)});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string header = read_file(dir.file("a.ptc")).substr(0, 106);
  EXPECT_EQ(int(uint8_t(header[25])), format <= 3 ? 2 : format <= 5 ? 3 : 4);  // version minor
  EXPECT_EQ(int(uint8_t(header[104])), 0x80 | format);
  r = run_rastcmp({"-i", dir.file("a.asc"), dir.file("a.ptc")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines(r.err)[0], "rasters are identical. both have 5 value and 1 nodata cells.");
}

INSTANTIATE_TEST_SUITE_P(Formats, Rast2ptcPointFormat, ::testing::Range(0, 11));

}  // namespace
