// PTC files end to end: point formats 0 to 5 written by LASwriterLAS with
// point-wise and chunked compression (fixed and variable chunk sizes), read
// back by LASreaderLAS and checked by the ptcinfo binary; and damaged PTC
// files (bytes flipped, files cut short) read without crash or hang, with
// the damage reported.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "lasio/lasreaderlas.hpp"
#include "lasio/laswriterlas.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using lastest::Messages;

struct FileKind {
  const char* name;
  uint16_t compressor;
  uint32_t chunk_size;
};

const FileKind kFileKinds[] = {
    {"Pointwise", PTcomp::COMPRESSOR_POINTWISE, 50000},
    {"Chunked", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 64},
    {"Variable", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 0},
};

// Writes `count` points (fill_point) of `format` with `extra` extra bytes;
// with variable chunks, a chunk ends after every 10th, 11th and 50th point.
bool write_ptc(const std::string& path, int format, int extra, const FileKind& kind, int count) {
  LASheader h;
  lastest::make_header(h, 3, format, extra);
  LASwriterLAS writer;
  if (!writer.open(path.c_str(), &h, kind.compressor, kind.chunk_size)) return false;
  LASpoint p;
  if (!p.init(&h, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &h)) return false;
  for (int i = 0; i < count; i++) {
    p.zero();
    lastest::fill_point(p, i);
    if (!writer.write_point(&p)) return false;
    if (kind.chunk_size == 0 && (i % 10 == 0 || i % 11 == 0 || i % 50 == 0) && !writer.chunk()) return false;
  }
  return writer.close() > 0;
}

class PtcFileRoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(PtcFileRoundTrip, ReaderGetsBackEveryItem) {
  const int format = std::get<0>(GetParam());
  const FileKind& kind = kFileKinds[std::get<1>(GetParam())];
  const int extra = format == 2 ? 17 : format % 2;
  const int count = 301;
  Messages messages;
  testsupport::TempDir dir;
  const std::string path = dir.file("points.ptc");
  ASSERT_TRUE(write_ptc(path, format, extra, kind, count)) << messages.dump();

  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(path.c_str())) << messages.dump();
  ASSERT_EQ(reader.npoints, count);
  LASpoint expected;
  ASSERT_TRUE(expected.init(&reader.header, reader.point.num_items, reader.point.items, &reader.header));
  for (int i = 0; i < count; i++) {
    ASSERT_TRUE(reader.read_point()) << i << messages.dump();
    expected.zero();
    lastest::fill_point(expected, i);
    for (int k = 0; k < reader.point.num_items; k++) {
      ASSERT_EQ(memcmp(expected.point[k], reader.point.point[k], reader.point.items[k].size), 0)
          << "point " << i << " item " << k;
    }
  }
  EXPECT_FALSE(reader.read_point());
  reader.close();
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

INSTANTIATE_TEST_SUITE_P(Formats, PtcFileRoundTrip, ::testing::Combine(::testing::Range(0, 6), ::testing::Range(0, 3)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                           return "Format" + std::to_string(std::get<0>(info.param)) +
                                  kFileKinds[std::get<1>(info.param)].name;
                         });

TEST(PtcinfoCheck, DecodesEveryFormatAndKind) {
  testsupport::TempDir dir;
  std::vector<std::string> args = {"-check"};
  {
    Messages messages;
    for (int format = 0; format <= 5; format++) {
      for (const FileKind& kind : kFileKinds) {
        const std::string path = dir.file("f" + std::to_string(format) + kind.name + ".ptc");
        ASSERT_TRUE(write_ptc(path, format, 3, kind, 150)) << messages.dump();
        args.push_back(path);
      }
    }
  }
  const auto result = testsupport::run(PTCINFO_EXE, args);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  size_t reads = 0;
  for (size_t at = 0; (at = result.out.find("  points read 150 of 150\n", at)) != std::string::npos; at++) reads++;
  EXPECT_EQ(reads, args.size() - 1) << result.out;
}

TEST(PtcFileEdges, EmptyFilesReadAndCheck) {
  testsupport::TempDir dir;
  std::vector<std::string> args = {"-check"};
  for (const FileKind& kind : kFileKinds) {
    Messages messages;
    const std::string path = dir.file(std::string("empty") + kind.name + ".ptc");
    ASSERT_TRUE(write_ptc(path, 0, 0, kind, 0)) << messages.dump();
    LASreaderLAS reader(nullptr);
    ASSERT_TRUE(reader.open(path.c_str())) << messages.dump();
    EXPECT_EQ(reader.npoints, 0);
    EXPECT_FALSE(reader.read_point());
    reader.close();
    EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
    args.push_back(path);
  }
  const auto result = testsupport::run(PTCINFO_EXE, args);
  EXPECT_EQ(result.status, 0) << result.err;
}

// Damaged files: a few hundred mutations of valid files, each read to the
// end in process. Nothing may crash (the sanitizer build runs this too) or
// hang; a file cut inside its point data must not read completely without
// a word, and a failed read must come with an error or warning.
TEST(PtcFileDamage, FlippedAndTruncatedFilesAreReportedNeverCrash) {
  testsupport::TempDir dir;
  struct Source {
    int format;
    FileKind kind;
    std::vector<unsigned char> bytes;
  };
  std::vector<Source> sources = {{1, kFileKinds[1], {}}, {3, kFileKinds[2], {}}, {5, kFileKinds[0], {}},
                                 {0, kFileKinds[1], {}}};
  {
    Messages messages;
    for (size_t s = 0; s < sources.size(); s++) {
      const std::string path = dir.file("source" + std::to_string(s) + ".ptc");
      ASSERT_TRUE(write_ptc(path, sources[s].format, 2, sources[s].kind, 200)) << messages.dump();
      sources[s].bytes = lastest::read_bytes(path);
    }
  }
  std::mt19937 rng(2024);
  const std::string path = dir.file("damaged.ptc");
  int failed_reads = 0, truncations = 0;
  for (int m = 0; m < 320; m++) {
    const Source& src = sources[m % sources.size()];
    std::vector<unsigned char> bytes = src.bytes;
    const bool truncate = m % 3 == 0;
    // Offset of the point data: the header's field.
    uint32_t point_data = 0;
    memcpy(&point_data, bytes.data() + lastest::AT_OFFSET_TO_POINT_DATA, 4);
    size_t cut = bytes.size();
    if (truncate) {
      cut = rng() % bytes.size();
      bytes.resize(cut);
    } else {
      const int flips = 1 + static_cast<int>(rng() % 4);
      for (int f = 0; f < flips; f++) {
        // Mostly the point data and chunk table; sometimes the header.
        const size_t lo = rng() % 8 == 0 ? 0 : point_data;
        const size_t at = lo + rng() % (bytes.size() - lo);
        bytes[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
      }
    }
    lastest::write_bytes(path, bytes);

    Messages messages;
    LASreaderLAS reader(nullptr);
    const bool opened = reader.open(path.c_str());
    int64_t read = 0;
    bool failed = false;
    if (opened) {
      const int64_t limit = reader.npoints < 1000 ? reader.npoints : 1000;
      for (int64_t i = 0; i < limit; i++) {
        if (!reader.read_point()) {
          failed = true;
          break;
        }
        read++;
      }
      if (!failed) reader.read_point();  // the end check
      reader.close();
    } else {
      EXPECT_GT(messages.at_least(LAS_WARNING), 0) << "mutation " << m;
    }
    if (failed) {
      failed_reads++;
      EXPECT_GT(messages.at_least(LAS_WARNING), 0) << "mutation " << m;
    }
    if (truncate && cut < src.bytes.size() - 16) {
      truncations++;
      // Cut before the chunk table: the points cannot all be there.
      EXPECT_TRUE(!opened || failed || messages.at_least(LAS_WARNING) > 0) << "mutation " << m << " cut " << cut;
    }
  }
  EXPECT_GT(failed_reads, 50);
  EXPECT_GT(truncations, 80);
}

}  // namespace
