// Output naming options: rendered option text, name endings, refused
// names, directory, appendix and cut.
#include "fanout/srwriteopener.hpp"
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run

namespace {

using namespace testsupport;

TEST(SRwriteOpenerUnparse, DefaultsEverySettingAndAClearedName) {
  SRwriteOpener w;
  char buffer[512] = "garbage";
  EXPECT_EQ(w.unparse(buffer, true), 6);
  EXPECT_STREQ(buffer, "-oasc ");
  EXPECT_EQ(w.unparse(buffer, false), 0);
  EXPECT_STREQ(buffer, "");
  w.set_tiling("tiles", 1000);
  w.set_nodata(-1);
  w.set_compression_quality(75);
  w.set_kml(false);
  w.set_world_file(false);
  w.set_directory("out dir");
  w.set_appendix("_d");
  w.set_file_name("a.tif");
  w.set_cut(1);
  const std::string names =
      "-tiling_ns tiles 1000 -nodata -1 -compression_quality 75 -no_kml -no_world_file -odir \"out dir\" "
      "-o \"out dir/a_.tif\" -odix \"_d\" -ocut 1 -otif ";
  EXPECT_EQ(w.unparse(true), names);
  EXPECT_EQ(w.unparse(false), "-tiling_ns tiles 1000 -nodata -1 -compression_quality 75 ");
  EXPECT_EQ(w.unparse(buffer, true), static_cast<int>(names.size()));
  EXPECT_EQ(std::string(buffer), names);
  SRwriteOpener v;
  v.set_file_name("dem.bil");
  EXPECT_EQ(v.unparse(true), "-o \"dem.bil\" -obil ");
  v.set_file_name(nullptr);
  EXPECT_EQ(v.get_file_name(), nullptr);
  EXPECT_EQ(v.unparse(true), "-obil ");
}

struct NameCase {
  const char* name;
  const char* format;           // null: refused, "keep.img" stays
  const char* first_line = "";  // of the refusal on stderr
};

class SRwriteOpenerName : public ::testing::TestWithParam<NameCase> {};

TEST_P(SRwriteOpenerName, LastFourCharactersChooseTheFormat) {
  const NameCase& c = GetParam();
  SRwriteOpener w;
  w.set_file_name("keep.img");
  testing::internal::CaptureStderr();
  w.set_file_name(c.name);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_STREQ(w.get_file_name(), c.format ? c.name : "keep.img");
  EXPECT_STREQ(w.get_format(), c.format ? c.format : "img");
  EXPECT_EQ(err, c.format ? ""
                          : std::string(c.first_line) +
                                "       *.bil *.asc *.flt *.dtm *.xyz *.img *.png *.jpg *.tif *.csv *.ptc\n");
}

INSTANTIATE_TEST_SUITE_P(
    Names, SRwriteOpenerName,
    ::testing::Values(NameCase{"out.bil", "bil"}, NameCase{"out.BIL", "bil"}, NameCase{"x.asc", "asc"},
                      NameCase{"x.FLT", "flt"}, NameCase{"x.dtm", "dtm"}, NameCase{"x.XYZ", "xyz"},
                      NameCase{"x.csv", "csv"}, NameCase{"d/x.ptc", "ptc"}, NameCase{"x.PNG", "png"},
                      NameCase{"x.tif", "tif"}, NameCase{"x.JPG", "jpg"}, NameCase{"x.img", "img"},
                      NameCase{"a.ti", nullptr, "ERROR: bad file name. file name 'a.ti' should end in\n"},
                      NameCase{"", nullptr, "ERROR: bad file name. file name '' should end in\n"},
                      NameCase{"a.tiff", nullptr, "ERROR: unknown file format. file name 'a.tiff' must end in\n"},
                      NameCase{"a.Tif", nullptr, "ERROR: unknown file format. file name 'a.Tif' must end in\n"}));

struct NamingCase {
  const char* directory;
  const char* appendix;
  unsigned cut;
  const char* format;
  const char* name;
  const char* expected;
};

class SRwriteOpenerNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(SRwriteOpenerNaming, DirectoryAppendixCut) {
  const NamingCase& c = GetParam();
  SRwriteOpener w;
  if (c.directory) w.set_directory(c.directory);
  if (c.appendix) w.set_appendix(c.appendix);
  if (c.cut) w.set_cut(c.cut);
  w.set_file_name(c.name);
  EXPECT_STREQ(w.get_file_name(), c.expected);
  EXPECT_STREQ(w.get_format(), c.format);
}

INSTANTIATE_TEST_SUITE_P(Cases, SRwriteOpenerNaming,
                         ::testing::Values(NamingCase{"results", nullptr, 0, "tif", "/data/a.tif", "results/a.tif"},
                                           NamingCase{"results", "_d", 0, "tif", "/data/a.tif", "results/a_d.tif"},
                                           NamingCase{"results", nullptr, 0, "tif", "c:\\data\\a.tif", "results/a.tif"},
                                           NamingCase{nullptr, "_d", 0, "asc", "dir.v2/tile.asc", "dir.v2/tile_d.asc"},
                                           NamingCase{nullptr, "_d", 0, "csv", "dir/tile.csv", "dir/tile.csv"},
                                           NamingCase{nullptr, nullptr, 2, "img", "dir/tile01.img", "dir/tile.img"},
                                           NamingCase{nullptr, nullptr, 9, "img", "dir/tile.img", "dir/.img"},
                                           NamingCase{nullptr, "_d", 2, "png", "out/abcd.png", "out/abcd.png"}));

TEST(SRwriteOpenerNames, DirectoryAndAppendixOnTheCurrentName) {
  SRwriteOpener w;
  w.set_file_name("dir.v2/tile.asc");
  w.add_directory("dir.v3/sub");  // replaces the whole directory part
  EXPECT_STREQ(w.get_file_name(), "dir.v3/sub/tile.asc");
  w.add_directory(nullptr);  // nothing stored: unchanged
  w.add_appendix(nullptr);
  EXPECT_STREQ(w.get_file_name(), "dir.v3/sub/tile.asc");
  w.set_directory("o");  // applied to the current name at once
  EXPECT_STREQ(w.get_file_name(), "o/tile.asc");
  w.add_appendix("_1");
  EXPECT_STREQ(w.get_file_name(), "o/tile_1.asc");
  EXPECT_EQ(w.get_appendix(), nullptr);
  w.set_file_name(nullptr);
  w.add_appendix("_z");  // no name: nothing happens
  EXPECT_EQ(w.get_file_name(), nullptr);
}

}  // namespace
