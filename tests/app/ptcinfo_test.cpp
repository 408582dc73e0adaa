// The ptcinfo binary on good, truncated, foreign and missing LAS and PTC
// files: what it reports, the errors that say why a file is bad and its
// exit status. The index in the tools: ptcconv -index stores a spatial
// index with its output (inside a PTC file, a .lax beside a LAS file) and
// drops a stale .lax; ptcinfo reports it and -check -inside… reads only the
// area; bad area arguments end with status 3.
#include <filesystem>  // resize_file: truncated files

#include "lasio/laswriterlas.hpp"                // LASwriterLAS, the files checked
#include "tests/lasio/las_file_helpers.hpp"      // make_header, fill_point
#include "tests/support/raster_app_helpers.hpp"  // DirTest, run, expect_run

namespace {

using namespace testsupport;

// Writes `count` points with intensities 100, 101, ...; compressor 2 makes
// a PTC file. A VLR always, an EVLR from version 1.4 on.
void make_file(const std::string& path, int count, uint16_t compressor, int minor = 2, int format = 1) {
  LASheader h;
  lastest::make_header(h, minor, format);
  unsigned char payload[4] = {1, 2, 3, 4};
  EXPECT_TRUE(h.add_vlr("Raster PTC", 7113, 4, payload, false, "geometry"));
  if (minor >= 4) {
    EXPECT_TRUE(h.add_evlr("later", 5, 4, payload, false, "an evlr"));
  }
  LASwriterLAS writer;
  EXPECT_TRUE(writer.open(path.c_str(), &h, compressor, 40));
  LASpoint p;
  EXPECT_TRUE(p.init(&h, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &h));
  for (int i = 0; i < count; i++) {
    p.zero();
    lastest::fill_point(p, i);
    p.intensity = static_cast<uint16_t>(100 + i);
    EXPECT_TRUE(writer.write_point(&p));
  }
  EXPECT_GT(writer.close(), 0);
}

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

struct Case {
  const char* name;
  const char* exe;
  Strings args;  // "%s" is the directory
  int status;
  Strings parts;      // of stdout and stderr ("%s" as above); "!" first: must not be there
  Strings files = {};  // that exist afterwards; "!" first: that do not
};

class Ptcinfo : public DirTest<Case> {};

TEST_P(Ptcinfo, ReportAndStatus) {
  const std::string d = dir.path();
  make_file(d + "/v14.las", 30, PTcomp::COMPRESSOR_NONE, 4, 6);
  make_file(d + "/good.las", 100, PTcomp::COMPRESSOR_NONE);
  make_file(d + "/good.ptc", 100, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  make_file(d + "/short.las", 100, PTcomp::COMPRESSOR_NONE);
  make_file(d + "/short.ptc", 100, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  std::filesystem::resize_file(d + "/short.las", 227 + 54 + 4 + 60 * 28 + 3);  // header, VLR, 60 points, 3 bytes
  std::filesystem::resize_file(d + "/short.ptc", std::filesystem::file_size(d + "/short.ptc") / 2);  // no chunk table
  write_file(d + "/garbage.las", "this is not a point file at all" + std::string(300, '.'));
  const RunResult r = run(PTCINFO_EXE, in_dir(GetParam().args, d));
  expect_run(r, GetParam().status, GetParam().parts, {}, d);
  if (r.status == 0) {
    EXPECT_EQ(r.err, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Ptcinfo,
    ::testing::Values(
        Case{"HeaderRecordsAndRanges", PTCINFO_EXE, {"-check", "%s/v14.las"}, 0,
             {"file '%s/v14.las' (LAS)\n  version 1.4\n", "  point data format 6, record length 30\n",
              "  vlr 0: user id 'Raster PTC' record id 7113 length 4 description 'geometry'\n",
              "  evlr 0: user id 'later' record id 5 length 4 description 'an evlr'\n",
              "  extended number of point records 30\n", "  points read 30 of 30\n", "  intensity min max 100 129\n",
              "  gps time min max "}},
        // a PTC file's points only read whole when its chunks decode
        Case{"LasAndPtcChecked", PTCINFO_EXE, {"-check", "%s/good.las", "%s/good.ptc"}, 0,
             {"file '%s/good.ptc' (PTC)\n", "  compressor 2 (point-wise chunked), chunk size 40",
              "  points read 100 of 100\n"}},
        // passing points against the header's count; a filter alone is no damage
        Case{"CheckWithFilter", PTCINFO_EXE, {"-check", "-keep_intensity", "110", "149", "%s/good.ptc"}, 0,
             {"  points read 40 of 100\n", "  intensity min max 110 149\n"}},
        Case{"FilterOnTruncatedLas", PTCINFO_EXE, {"-check", "-drop_intensity_above", "120", "%s/short.las"}, 3,
             {"  points read 21 of 100\n", "ERROR: only 60 of 100 points could be read from '%s/short.las'"}},
        Case{"BadFilter", PTCINFO_EXE, {"-check", "-keep_intensity", "x", "9", "%s/good.ptc"}, 3,
             {"ERROR: '-keep_intensity' needs 2 arguments: min max but 'x' is no valid min", "!file '"}},
        Case{"WithoutCheckNoPointIsRead", PTCINFO_EXE, {"%s/short.las"}, 0, {"  points 100\n", "!points read"}},
        Case{"TruncatedLas", PTCINFO_EXE, {"-check", "%s/short.las"}, 3,
             {"ERROR: 'end-of-file' after 60 of 100 points for '%s/short.las'",
              "ERROR: only 60 of 100 points could be read from '%s/short.las'", "  points read 60 of 100\n"}},
        Case{"TruncatedPtc", PTCINFO_EXE, {"-check", "%s/short.ptc"}, 3,
             {"points could be read from '%s/short.ptc'", "WARNING: 'chunk table and "}},
        Case{"Missing", PTCINFO_EXE, {"%s/missing.las"}, 3, {"ERROR: cannot open file '%s/missing.las' for read"}},
        Case{"Garbage", PTCINFO_EXE, {"%s/garbage.las"}, 3, {"ERROR: wrong file signature 'this'"}},
        Case{"NoFile", PTCINFO_EXE, {"-check"}, 3, {"ERROR: no input file specified"}},
        Case{"UnknownOption", PTCINFO_EXE, {"-chek", "%s/good.las"}, 3, {"ERROR: unknown option '-chek'", "!file '"}}),
    CaseName());

// grid.las and its copies with an index, indexed.ptc and indexed.las.
class IndexTools : public DirTest<Case> {};

TEST_P(IndexTools, OutputAndStatus) {
  const std::string d = dir.path();
  make_grid(d + "/grid.las");
  for (const char* out : {"/indexed.ptc", "/indexed.las"}) {
    const RunResult r = run(PTCCONV_EXE, {"-i", d + "/grid.las", "-o", d + out, "-index"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  expect_run(run(GetParam().exe, in_dir(GetParam().args, d)), GetParam().status, GetParam().parts,
             GetParam().files, d);
}

const char* const kIndexReport = "  spatial index: quadtree of ";

INSTANTIATE_TEST_SUITE_P(
    Tools, IndexTools,
    ::testing::Values(
        Case{"PtcKeepsItsIndex", PTCINFO_EXE, {"%s/indexed.ptc"}, 0, {kIndexReport, "  special evlrs 1 at offset"}},
        Case{"LasGetsALax", PTCINFO_EXE, {"%s/indexed.las"}, 0, {kIndexReport}, {"%s/indexed.lax"}},
        Case{"Rectangle", PTCINFO_EXE, {"-check", "-inside", "10", "5", "20", "10", "%s/indexed.ptc"}, 0,
             {"  points inside the area 50 of 1000\n"}},
        Case{"Tile", PTCINFO_EXE, {"-check", "-inside_tile", "0", "0", "5", "%s/indexed.las"}, 0,
             {"  points inside the area 25 of 1000\n"}},
        Case{"Circle", PTCINFO_EXE, {"-check", "-inside_circle", "20", "12", "3", "%s/indexed.ptc"}, 0,
             {"  points inside the area 25 of 1000\n"}},
        Case{"CircleWithoutIndex", PTCINFO_EXE, {"-check", "-inside_circle", "20", "12", "3", "%s/grid.las"}, 0,
             {"  points inside the area 25 of 1000\n"}},
        Case{"AreaOutsideTheFile", PTCINFO_EXE, {"-check", "-inside", "100", "100", "200", "200", "%s/indexed.ptc"},
             0, {"  points inside the area 0 of 1000\n"}},
        Case{"TooFewValues", PTCINFO_EXE, {"-check", "-inside", "1", "2", "3"}, 3,
             {"'-inside' needs 4 arguments: min_x min_y max_x max_y"}},
        Case{"NotANumber", PTCINFO_EXE, {"-inside_circle", "1", "x", "3", "%s/grid.las"}, 3,
             {"cannot understand argument 'x' for '-inside_circle'"}},
        Case{"ConvertingAreaThroughTheIndex", PTCCONV_EXE,
             {"-i", "%s/indexed.ptc", "-o", "%s/part.las", "-inside", "10", "5", "20", "10"}, 0,
             {"wrote 50 points of"}},
        Case{"StaleLaxIsRemoved", PTCCONV_EXE, {"-i", "%s/grid.las", "-o", "%s/indexed.las"}, 0,
             {"indexed.lax', the index of an earlier '%s/indexed.las'"}, {"!%s/indexed.lax"}}),
    CaseName());

}  // namespace
