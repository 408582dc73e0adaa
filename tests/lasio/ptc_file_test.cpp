// PTC files of formats 0 to 5 checked by the ptcinfo binary, and damaged PTC
// files read without crash or hang, with the damage reported.
#include <gtest/gtest.h>

#include <algorithm>  // min
#include <cstring>    // memcpy
#include <random>     // mt19937, the mutations
#include <string>     // paths, output
#include <vector>     // arguments, file bytes

#include "lasio/lasreaderlas.hpp"            // LASreaderLAS
#include "tests/lasio/las_file_helpers.hpp"  // make_header, write_points, kStorages, read_bytes
#include "tests/support/test_support.hpp"    // TempDir, run

namespace {

using lastest::Messages;
using lastest::Storage;

// Writes `count` points of `format` with 3 extra bytes, stored as `storage`.
bool write_ptc(const std::string& path, int format, const Storage& storage, int count) {
  LASheader h;
  lastest::make_header(h, 3, format, 3);
  return lastest::write_points(path, h, count, storage);
}

// ptcinfo -check decodes files of every format and kind, and empty ones,
// which the reader opens and finds empty.
TEST(PtcinfoCheck, DecodesEveryFormatAndKind) {
  testsupport::TempDir dir;
  std::vector<std::string> args = {"-check"};
  Messages messages;
  for (const Storage& storage : lastest::kStorages) {
    if (storage.compressor == PTcomp::COMPRESSOR_NONE) continue;
    for (int format = 0; format <= 5; format++) {
      args.push_back(dir.file("f" + std::to_string(format) + storage.name + ".ptc"));
      ASSERT_TRUE(write_ptc(args.back(), format, storage, 150)) << messages.dump();
    }
    args.push_back(dir.file(std::string("empty") + storage.name + ".ptc"));
    ASSERT_TRUE(write_ptc(args.back(), 0, storage, 0)) << messages.dump();
    LASreaderLAS reader(nullptr);
    ASSERT_TRUE(reader.open(args.back().c_str())) << messages.dump();
    EXPECT_EQ(reader.npoints, 0);
    EXPECT_FALSE(reader.read_point());
  }
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
  const auto result = testsupport::run(PTCINFO_EXE, args);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  size_t reads = 0;
  for (size_t at = 0; (at = result.out.find("  points read 150 of 150\n", at)) != std::string::npos; at++) reads++;
  EXPECT_EQ(reads, 18u) << result.out;
}

enum Outcome { NOT_OPENED, READ_FAILED, READ };

// Reads a file to the end (at most 1000 points).
Outcome read_through(const std::string& path) {
  LASreaderLAS reader(nullptr);
  if (!reader.open(path.c_str())) return NOT_OPENED;
  for (int64_t i = 0; i < std::min<int64_t>(reader.npoints, 1000); i++) {
    if (!reader.read_point()) return READ_FAILED;
  }
  reader.read_point();  // the end check
  return READ;
}

// Damaged files: a few hundred mutations of valid files, each read to the
// end in process. Nothing may crash (the sanitizer build runs this too) or
// hang; a file that fails to open or read says why, and a file cut before
// its chunk table must not read completely without a word.
TEST(PtcFileDamage, FlippedAndTruncatedFilesAreReportedNeverCrash) {
  testsupport::TempDir dir;
  const std::string path = dir.file("damaged.ptc");
  std::vector<std::vector<unsigned char>> sources;
  const std::pair<int, int> formats_and_storages[] = {{1, 2}, {3, 3}, {5, 1}, {0, 2}};
  for (const auto& [format, storage] : formats_and_storages) {
    ASSERT_TRUE(write_ptc(path, format, lastest::kStorages[storage], 200));
    sources.push_back(lastest::read_bytes(path));
  }
  std::mt19937 rng(2024);
  int failed_reads = 0, truncations = 0;
  for (int m = 0; m < 320; m++) {
    std::vector<unsigned char> bytes = sources[m % sources.size()];
    const size_t size = bytes.size();
    uint32_t point_data = 0;
    memcpy(&point_data, bytes.data() + lastest::AT_OFFSET_TO_POINT_DATA, 4);
    if (m % 3 == 0) {
      bytes.resize(rng() % size);
    } else {
      for (int flips = 1 + static_cast<int>(rng() % 4); flips > 0; flips--) {
        // Mostly the point data and chunk table; sometimes the header.
        const size_t lo = rng() % 8 == 0 ? 0 : point_data;
        bytes[lo + rng() % (size - lo)] ^= static_cast<unsigned char>(1u << (rng() % 8));
      }
    }
    lastest::write_bytes(path, bytes);
    Messages messages;
    const Outcome outcome = read_through(path);
    const bool reported = messages.at_least(LAS_WARNING) > 0;
    failed_reads += outcome == READ_FAILED;
    EXPECT_TRUE(outcome == READ || reported) << "mutation " << m;
    if (bytes.size() < size - 16) {
      truncations++;
      EXPECT_TRUE(outcome != READ || reported) << "mutation " << m << " cut " << bytes.size();
    }
  }
  EXPECT_GT(failed_reads, 50);
  EXPECT_GT(truncations, 80);
}

}  // namespace
