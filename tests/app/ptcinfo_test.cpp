// The ptcinfo binary on good, truncated, foreign and missing LAS and PTC
// files: what it reports, the errors that say why a file is bad and its
// exit status.
#include <gtest/gtest.h>

#include <filesystem>  // resize_file: truncated files
#include <string>
#include <vector>

#include "lasio/laswriterlas.hpp"           // LASwriterLAS, the files checked
#include "tests/lasio/las_file_helpers.hpp"  // make_header, fill_point
#include "tests/support/test_support.hpp"    // DirTest, run, with_path

namespace {

using Strings = std::vector<std::string>;

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

struct Case {
  const char* name;
  Strings args;  // "%s" is the directory
  int status;
  Strings parts;  // of stdout and stderr ("%s" as above); "!" first: must not be there
};

class Ptcinfo : public testsupport::DirTest<Case> {};

TEST_P(Ptcinfo, ReportAndStatus) {
  const std::string d = dir.path();
  make_file(d + "/v14.las", 30, PTcomp::COMPRESSOR_NONE, 4, 6);
  make_file(d + "/good.las", 100, PTcomp::COMPRESSOR_NONE);
  make_file(d + "/good.ptc", 100, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  make_file(d + "/short.las", 100, PTcomp::COMPRESSOR_NONE);
  make_file(d + "/short.ptc", 100, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  std::filesystem::resize_file(d + "/short.las", 227 + 54 + 4 + 60 * 28 + 3);  // header, VLR, 60 points, 3 bytes
  std::filesystem::resize_file(d + "/short.ptc", std::filesystem::file_size(d + "/short.ptc") / 2);  // no chunk table
  testsupport::write_file(d + "/garbage.las", "this is not a point file at all" + std::string(300, '.'));
  Strings args;
  for (const std::string& a : GetParam().args) args.push_back(testsupport::with_path(a, d));
  const testsupport::RunResult r = testsupport::run(PTCINFO_EXE, args);
  EXPECT_EQ(r.status, GetParam().status) << r.err;
  if (r.status == 0) {
    EXPECT_EQ(r.err, "");
  }
  for (const std::string& part : GetParam().parts) {
    const bool absent = part[0] == '!';
    const std::string text = testsupport::with_path(part.substr(absent), d);
    EXPECT_EQ((r.out + r.err).find(text) == std::string::npos, absent) << text << "\n" << r.out << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Ptcinfo,
    ::testing::Values(
        Case{"HeaderRecordsAndRanges", {"-check", "%s/v14.las"}, 0,
             {"file '%s/v14.las' (LAS)\n  version 1.4\n", "  point data format 6, record length 30\n",
              "  vlr 0: user id 'Raster PTC' record id 7113 length 4 description 'geometry'\n",
              "  evlr 0: user id 'later' record id 5 length 4 description 'an evlr'\n",
              "  extended number of point records 30\n", "  points read 30 of 30\n", "  intensity min max 100 129\n",
              "  gps time min max "}},
        // a PTC file's points only read whole when its chunks decode
        Case{"LasAndPtcChecked", {"-check", "%s/good.las", "%s/good.ptc"}, 0,
             {"file '%s/good.ptc' (PTC)\n", "  compressor 2 (point-wise chunked), chunk size 40",
              "  points read 100 of 100\n"}},
        Case{"WithoutCheckNoPointIsRead", {"%s/short.las"}, 0, {"  points 100\n", "!points read"}},
        // an area query reads only its points; a pattern names both files
        Case{"AreaQuery", {"-check", "-i", "%s/good.p*", "-inside", "0", "0", "1", "1"}, 0,
             {"file '%s/good.ptc' (PTC)\n", "  points read 0 of 100\n"}},
        Case{"TruncatedLas", {"-check", "%s/short.las"}, 3,
             {"ERROR: 'end-of-file' after 60 of 100 points for '%s/short.las'",
              "ERROR: only 60 of 100 points could be read from '%s/short.las'", "  points read 60 of 100\n"}},
        Case{"TruncatedPtc", {"-check", "%s/short.ptc"}, 3,
             {"points could be read from '%s/short.ptc'", "WARNING: 'chunk table and "}},
        Case{"Missing", {"%s/missing.las"}, 3, {"ERROR: cannot open file '%s/missing.las' for read"}},
        Case{"Garbage", {"%s/garbage.las"}, 3, {"ERROR: wrong file signature 'this'"}},
        Case{"NoFile", {"-check"}, 3, {"ERROR: no input file specified"}},
        Case{"UnknownOption", {"-chek", "%s/good.las"}, 3, {"ERROR: unknown option '-chek'", "!file '"}}),
    testsupport::CaseName());

}  // namespace
