// ptcinfo: the report of a file's header and records (in process), and the
// real binary checking good, truncated and missing LAS and PTC files with
// its exit status.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/ptcinfo.hpp"
#include "lasio/laswriterlas.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using lastest::Messages;

// Writes a file of `count` points; compressor 2 makes a PTC file.
std::string make_file(const testsupport::TempDir& dir, const std::string& name, int count,
                      uint16_t compressor = PTcomp::COMPRESSOR_NONE, int minor = 2, int format = 1) {
  LASheader h;
  lastest::make_header(h, minor, format);
  const unsigned char payload[4] = {1, 2, 3, 4};
  EXPECT_TRUE(h.add_vlr("Raster PTC", 7113, 4, const_cast<unsigned char*>(payload), false, "geometry"));
  if (minor >= 4) {
    EXPECT_TRUE(h.add_evlr("later", 5, 4, const_cast<unsigned char*>(payload), false, "an evlr"));
  }
  const std::string path = dir.file(name);
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
  return path;
}

void truncate_file(const std::string& path, size_t size) {
  std::vector<unsigned char> bytes = lastest::read_bytes(path);
  ASSERT_LT(size, bytes.size());
  bytes.resize(size);
  lastest::write_bytes(path, bytes);
}

std::string report(const std::string& path, bool check, bool* ok) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  *ok = ptcinfo_file(path.c_str(), check, out);
  fclose(out);
  std::string result(text, size);
  free(text);
  return result;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Ptcinfo, ReportsHeaderRecordsAndRanges) {
  testsupport::TempDir dir;
  const std::string path = make_file(dir, "a.las", 30, PTcomp::COMPRESSOR_NONE, 4, 6);
  Messages messages;
  bool ok = false;
  const std::string text = report(path, true, &ok);
  EXPECT_TRUE(ok) << messages.dump();
  EXPECT_TRUE(contains(text, "file '" + path + "' (LAS)")) << text;
  EXPECT_TRUE(contains(text, "  version 1.4\n")) << text;
  EXPECT_TRUE(contains(text, "  point data format 6, record length 30\n")) << text;
  EXPECT_TRUE(contains(text, "  vlr 0: user id 'Raster PTC' record id 7113 length 4 description 'geometry'\n"))
      << text;
  EXPECT_TRUE(contains(text, "  evlr 0: user id 'later' record id 5 length 4 description 'an evlr'\n")) << text;
  EXPECT_TRUE(contains(text, "  extended number of point records 30\n")) << text;
  EXPECT_TRUE(contains(text, "  points read 30 of 30\n")) << text;
  EXPECT_TRUE(contains(text, "  intensity min max 100 129\n")) << text;
  EXPECT_TRUE(contains(text, "  gps time min max ")) << text;
}

TEST(Ptcinfo, WithoutCheckNoPointIsRead) {
  testsupport::TempDir dir;
  const std::string path = make_file(dir, "b.las", 10);
  truncate_file(path, 227 + 54 + 4 + 5 * 28);
  Messages messages;
  bool ok = false;
  const std::string text = report(path, false, &ok);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(contains(text, "  points 10\n")) << text;
  EXPECT_FALSE(contains(text, "points read")) << text;
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

TEST(Ptcinfo, OptionParsing) {
  Messages messages;
  {
    PtcinfoOptions options;
    char arg0[] = "ptcinfo", arg1[] = "-check", arg2[] = "x.las";
    char* argv[] = {arg0, arg1, arg2};
    EXPECT_TRUE(ptcinfo_parse(3, argv, options));
    EXPECT_TRUE(options.check);
    ASSERT_EQ(options.files.size(), 1u);
    EXPECT_EQ(options.files[0], "x.las");
  }
  {
    PtcinfoOptions options;
    char arg0[] = "ptcinfo", arg1[] = "-chek";
    char* argv[] = {arg0, arg1};
    EXPECT_FALSE(ptcinfo_parse(2, argv, options));
    EXPECT_TRUE(messages.has(LAS_ERROR, "unknown option '-chek'"));
  }
}

// The real binary.
testsupport::RunResult run_ptcinfo(const std::vector<std::string>& args) { return testsupport::run(PTCINFO_EXE, args); }

TEST(PtcinfoBinary, GoodFilesExitZero) {
  testsupport::TempDir dir;
  const std::string las = make_file(dir, "good.las", 100);
  const std::string ptc = make_file(dir, "good.ptc", 100, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  const auto result = run_ptcinfo({"-check", las, ptc});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(contains(result.out, "file '" + ptc + "' (PTC)")) << result.out;
  EXPECT_TRUE(contains(result.out, "  compressor 2 (point-wise chunked), chunk size 40")) << result.out;
  const std::string line = "  points read 100 of 100\n";
  const size_t first = result.out.find(line);
  ASSERT_NE(first, std::string::npos) << result.out;
  EXPECT_NE(result.out.find(line, first + 1), std::string::npos) << result.out;
  EXPECT_EQ(result.err, "");
}

TEST(PtcinfoBinary, HeaderAnnouncingMorePointsThanTheFileHoldsExitsThree) {
  testsupport::TempDir dir;
  const std::string path = make_file(dir, "short.las", 100);
  truncate_file(path, 227 + 54 + 4 + 60 * 28 + 3);
  const auto result = run_ptcinfo({"-check", path});
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_TRUE(contains(result.err, "ERROR: 'end-of-file' after 60 of 100 points for '" + path + "'")) << result.err;
  EXPECT_TRUE(contains(result.err, "ERROR: only 60 of 100 points could be read from '" + path + "'")) << result.err;
  EXPECT_TRUE(contains(result.out, "  points read 60 of 100\n")) << result.out;
}

TEST(PtcinfoBinary, TruncatedPtcFileExitsThree) {
  testsupport::TempDir dir;
  const std::string path = make_file(dir, "short.ptc", 100, PTcomp::COMPRESSOR_POINTWISE_CHUNKED);
  // Cut inside the third chunk: the chunk table at the end is gone too.
  const std::vector<unsigned char> bytes = lastest::read_bytes(path);
  truncate_file(path, bytes.size() / 2);
  const auto result = run_ptcinfo({"-check", path});
  EXPECT_EQ(result.status, 3) << result.err;
  EXPECT_TRUE(contains(result.err, "points could be read from '" + path + "'")) << result.err;
  EXPECT_TRUE(contains(result.err, "WARNING: 'chunk table and ")) << result.err;
}

TEST(PtcinfoBinary, UnreadableInputsExitThree) {
  testsupport::TempDir dir;
  {
    const auto result = run_ptcinfo({dir.file("missing.las")});
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(contains(result.err, "ERROR: cannot open file '" + dir.file("missing.las") + "' for read"))
        << result.err;
  }
  {
    const std::string garbage = dir.file("garbage.las");
    testsupport::write_file(garbage, "this is not a point file at all" + std::string(300, '.'));
    const auto result = run_ptcinfo({garbage});
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(contains(result.err, "ERROR: wrong file signature 'this'")) << result.err;
  }
  {
    const auto result = run_ptcinfo({});
    EXPECT_EQ(result.status, 3);
    EXPECT_TRUE(contains(result.err, "ERROR: no input file specified")) << result.err;
  }
}

}  // namespace
