// Output naming options: defaults, rendered option text, name handling.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fanout/srwriteopener.hpp"

namespace {

TEST(SRwriteOpenerUnparse, DefaultsRenderOnlyTheFormat) {
  SRwriteOpener w;
  char buffer[64] = "garbage";
  EXPECT_EQ(w.unparse(buffer, true), 6);
  EXPECT_STREQ(buffer, "-oasc ");
  EXPECT_EQ(w.unparse(buffer, false), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(SRwriteOpenerUnparse, EverySettingInOrder) {
  SRwriteOpener w;
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
  char buffer[512];
  EXPECT_EQ(w.unparse(buffer, true), static_cast<int>(names.size()));
  EXPECT_EQ(std::string(buffer), names);
}

TEST(SRwriteOpenerUnparse, ClearedNameIsNotRendered) {
  SRwriteOpener w;
  w.set_file_name("dem.bil");
  EXPECT_EQ(w.unparse(true), "-o \"dem.bil\" -obil ");
  w.set_file_name(nullptr);
  EXPECT_EQ(w.get_file_name(), nullptr);
  EXPECT_EQ(w.unparse(true), "-obil ");
}

struct FormatCase {
  const char* name;
  const char* format;
};

class SRwriteOpenerFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(SRwriteOpenerFormat, LastFourCharactersChoose) {
  SRwriteOpener w;
  w.set_file_name(GetParam().name);
  ASSERT_NE(w.get_file_name(), nullptr);
  EXPECT_STREQ(w.get_file_name(), GetParam().name);
  EXPECT_STREQ(w.get_format(), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(Endings, SRwriteOpenerFormat,
                         ::testing::Values(FormatCase{"out.bil", "bil"}, FormatCase{"out.BIL", "bil"},
                                           FormatCase{"x.asc", "asc"}, FormatCase{"x.FLT", "flt"},
                                           FormatCase{"x.dtm", "dtm"}, FormatCase{"x.XYZ", "xyz"},
                                           FormatCase{"x.csv", "csv"}, FormatCase{"d/x.ptc", "ptc"},
                                           FormatCase{"x.PNG", "png"}, FormatCase{"x.tif", "tif"},
                                           FormatCase{"x.JPG", "jpg"}, FormatCase{"x.img", "img"}));

struct BadNameCase {
  const char* name;
  const char* first_line;
};

class SRwriteOpenerBadName : public ::testing::TestWithParam<BadNameCase> {};

TEST_P(SRwriteOpenerBadName, RefusedOnStderrAndUnchanged) {
  SRwriteOpener w;
  w.set_file_name("keep.img");
  testing::internal::CaptureStderr();
  w.set_file_name(GetParam().name);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, std::string(GetParam().first_line) +
                     "       *.bil *.asc *.flt *.dtm *.xyz *.img *.png *.jpg *.tif *.csv *.ptc\n");
  EXPECT_STREQ(w.get_file_name(), "keep.img");
  EXPECT_STREQ(w.get_format(), "img");
}

INSTANTIATE_TEST_SUITE_P(
    Names, SRwriteOpenerBadName,
    ::testing::Values(BadNameCase{"a.ti", "ERROR: bad file name. file name 'a.ti' should end in\n"},
                      BadNameCase{"", "ERROR: bad file name. file name '' should end in\n"},
                      BadNameCase{"a.tiff", "ERROR: unknown file format. file name 'a.tiff' must end in\n"},
                      BadNameCase{"a.Tif", "ERROR: unknown file format. file name 'a.Tif' must end in\n"}));

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

INSTANTIATE_TEST_SUITE_P(
    Cases, SRwriteOpenerNaming,
    ::testing::Values(NamingCase{"results", nullptr, 0, "tif", "/data/a.tif", "results/a.tif"},
                      NamingCase{"results", "_d", 0, "tif", "/data/a.tif", "results/a_d.tif"},
                      NamingCase{"results", nullptr, 0, "tif", "c:\\data\\a.tif", "results/a.tif"},
                      NamingCase{nullptr, "_d", 0, "asc", "dir.v2/tile.asc", "dir.v2/tile_d.asc"},
                      NamingCase{nullptr, "_d", 0, "csv", "dir/tile.csv", "dir/tile.csv"},
                      NamingCase{nullptr, nullptr, 2, "img", "dir/tile01.img", "dir/tile.img"},
                      NamingCase{nullptr, nullptr, 9, "img", "dir/tile.img", "dir/.img"},
                      NamingCase{nullptr, "_d", 2, "png", "out/abcd.png", "out/abcd.png"}));

TEST(SRwriteOpenerNames, DirectoryReplacesTheWholeDirectoryPart) {
  SRwriteOpener w;
  w.set_file_name("dir.v2/tile.asc");
  w.add_directory("dir.v3/sub");
  EXPECT_STREQ(w.get_file_name(), "dir.v3/sub/tile.asc");
  SRwriteOpener v;
  v.set_file_name("a.b/x.asc");
  v.set_file_name(nullptr);
  v.add_appendix("_z");  // no name: nothing happens
  EXPECT_EQ(v.get_file_name(), nullptr);
}

TEST(SRwriteOpenerNames, NullArgumentsUseTheStoredSettings) {
  SRwriteOpener w;
  w.set_file_name("in/a.asc");
  w.add_directory(nullptr);  // nothing stored: unchanged
  w.add_appendix(nullptr);
  EXPECT_STREQ(w.get_file_name(), "in/a.asc");
  w.set_directory("o");  // applied to the current name at once
  EXPECT_STREQ(w.get_file_name(), "o/a.asc");
  w.add_appendix("_1");
  EXPECT_STREQ(w.get_file_name(), "o/a_1.asc");
  EXPECT_EQ(w.get_appendix(), nullptr);
}

}  // namespace
