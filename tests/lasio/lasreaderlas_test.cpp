// LASreaderLAS on damaged and unusual files: header checks and their
// messages, the VLR area, consumed records, compression claims, peek-only
// opening, seeking, reading past the end, truncated point data, absurd
// counts and lengths, and streams that cannot seek.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "lasio/lasreaderlas.hpp"
#include "lasio/lasreadopener.hpp"
#include "lasio/laswriterlas.hpp"
#include "ptcomp/ptcomp.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using lastest::Messages;
using lastest::patch;

// A 1.2 file of format 1 with `count` points, as bytes.
std::vector<unsigned char> small_file(const testsupport::TempDir& dir, int count = 10, int minor = 2,
                                      int format = 1) {
  LASheader h;
  lastest::make_header(h, minor, format);
  const std::string path = dir.file("small.las");
  EXPECT_TRUE(lastest::write_points(path, h, count));
  return lastest::read_bytes(path);
}

// Opens bytes written to a file; the reader is left open for inspection.
bool open_bytes(const testsupport::TempDir& dir, const std::vector<unsigned char>& bytes, LASreaderLAS& reader,
                bool peek_only = false) {
  const std::string path = dir.file("patched.las");
  lastest::write_bytes(path, bytes);
  return reader.open(path.c_str(), LASreaderLAS::DEFAULT_IO_BUFFER_SIZE, peek_only);
}

// ---------------------------------------------------------------------------
// Header checks: one damage per row, whether the open succeeds, and the
// message it must give.
struct HeaderCase {
  const char* name;
  void (*damage)(std::vector<unsigned char>& bytes);
  bool opens;
  LAS_MESSAGE_TYPE type;
  const char* message;
};

const HeaderCase header_cases[] = {
    {"signature", [](std::vector<unsigned char>& b) { b[3] = 'X'; }, false, LAS_ERROR, "wrong file signature 'LASX'"},
    {"header_size_small", [](std::vector<unsigned char>& b) { patch<uint16_t>(b, lastest::AT_HEADER_SIZE, 200); },
     false, LAS_ERROR, "header size is 200 but should be at least 227"},
    {"offset_below_header",
     [](std::vector<unsigned char>& b) { patch<uint32_t>(b, lastest::AT_OFFSET_TO_POINT_DATA, 100); }, false,
     LAS_ERROR, "offset to point data 100 is smaller than header size 227"},
    {"unknown_version", [](std::vector<unsigned char>& b) { b[24] = 2; }, true, LAS_WARNING,
     "unknown version 2.2 (allowed 1.0-1.5)"},
    {"x_scale_zero", [](std::vector<unsigned char>& b) { patch<double>(b, lastest::AT_X_SCALE, 0.0); }, true,
     LAS_WARNING, "x scale factor is zero."},
    {"bounding_box", [](std::vector<unsigned char>& b) { patch<double>(b, lastest::AT_MIN_X, 1e9); }, true,
     LAS_WARNING, nullptr},
    {"format_for_version",
     [](std::vector<unsigned char>& b) {
       b[25] = 0;
       b[lastest::AT_POINT_DATA_FORMAT] = 2;  // 26 bytes and 2 extra in the 28-byte records
     },
     true, LAS_WARNING, "LAS version 1.0 does not allow point format 2"},
    {"truncated_header", [](std::vector<unsigned char>& b) { b.resize(102); }, false, LAS_ERROR,
     "reading header.number_of_variable_length_records"},
    {"truncated_in_by_return", [](std::vector<unsigned char>& b) { b.resize(120); }, false, LAS_ERROR,
     "reading header.number_of_points_by_return 2"},
    {"version_1_4_short_header", [](std::vector<unsigned char>& b) { b[25] = 4; }, false, LAS_ERROR,
     "for LAS 1.4 header_size should at least be 375 but it is only 227"},
    {"version_1_5_short_header", [](std::vector<unsigned char>& b) { b[25] = 5; }, false, LAS_ERROR,
     "for LAS 1.5 header_size should at least be 375 but it is only 227"},
    {"unknown_point_format", [](std::vector<unsigned char>& b) { b[lastest::AT_POINT_DATA_FORMAT] = 11; }, false,
     LAS_ERROR, "unknown point type 11 with point size 28"},
};

class HeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderCheck, GivesItsMessage) {
  const HeaderCase& c = GetParam();
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = small_file(dir);
  c.damage(bytes);
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_EQ(open_bytes(dir, bytes, reader), c.opens) << messages.dump();
  if (c.message) {
    EXPECT_TRUE(messages.has(c.type, c.message)) << messages.dump();
  } else {
    EXPECT_EQ(messages.count(c.type), 1) << messages.dump();
  }
  if (c.opens) {
    // The points are still there.
    int n = 0;
    while (reader.read_point()) n++;
    EXPECT_EQ(n, 10);
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, HeaderCheck, ::testing::ValuesIn(header_cases),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) { return info.param.name; });

TEST(LASreaderLAS, BoundingBoxWarningNamesTheBox) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = small_file(dir);
  patch<double>(bytes, lastest::AT_MAX_X, 1.0);
  patch<double>(bytes, lastest::AT_MIN_X, 2.0);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  const LASheader& h = reader.header;
  char expected[256];
  snprintf(expected, sizeof(expected), "invalid bounding box [ %g %g %g / %g %g %g ]", 2.0, h.min_y, h.min_z, 1.0,
           h.max_y, h.max_z);
  EXPECT_TRUE(messages.has(LAS_WARNING, expected)) << messages.dump();
}

TEST(LASreaderLAS, Version13WithShortHeaderWarnsAndKeepsTheRestAsUserData) {
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 1);
  h.user_data_in_header = new unsigned char[3]{7, 8, 9};
  h.user_data_in_header_size = 3;
  const std::string path = dir.file("short13.las");
  ASSERT_TRUE(lastest::write_points(path, h, 4));
  std::vector<unsigned char> bytes = lastest::read_bytes(path);
  bytes[25] = 3;  // version 1.3 with its 230-byte header
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  EXPECT_TRUE(messages.has(LAS_WARNING, "for LAS 1.3 header_size should at least be 235 but it is only 230"))
      << messages.dump();
  ASSERT_EQ(reader.header.user_data_in_header_size, 3u);
  EXPECT_EQ(reader.header.user_data_in_header[2], 9);
  int n = 0;
  while (reader.read_point()) n++;
  EXPECT_EQ(n, 4);
}

// ---------------------------------------------------------------------------
// The VLR area.

// A 1.2 format-0 file with three VLRs of 10 bytes and `after` bytes of user
// data after them.
std::vector<unsigned char> three_vlrs(const testsupport::TempDir& dir, uint32_t after, int points = 5) {
  LASheader h;
  lastest::make_header(h, 2, 0);
  for (int i = 0; i < 3; i++) {
    unsigned char payload[10];
    for (int b = 0; b < 10; b++) payload[b] = static_cast<unsigned char>(10 * i + b);
    EXPECT_TRUE(h.add_vlr("tester", static_cast<uint16_t>(100 + i), 10, payload, false, "three"));
  }
  if (after) {
    h.user_data_after_header = new unsigned char[after]();
    h.user_data_after_header_size = after;
  }
  const std::string path = dir.file("vlrs.las");
  EXPECT_TRUE(lastest::write_points(path, h, points));
  return lastest::read_bytes(path);
}

TEST(LASreaderLAS, UserDataAfterTheVlrs) {
  testsupport::TempDir dir;
  const std::vector<unsigned char> bytes = three_vlrs(dir, 10);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  EXPECT_EQ(reader.header.number_of_variable_length_records, 3u);
  EXPECT_EQ(reader.header.user_data_after_header_size, 10u);
  EXPECT_EQ(reader.header.vlrs[2].data[9], 29);
  EXPECT_EQ(reader.header.offset_to_point_data, 227u + 3 * 64 + 10);
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

TEST(LASreaderLAS, VlrAreaEndingInsideAVlrHeaderKeepsTheWholeOnes) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  // The point block now starts 20 bytes into the third VLR header.
  patch<uint32_t>(bytes, lastest::AT_OFFSET_TO_POINT_DATA, 227 + 2 * 64 + 20);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader)) << messages.dump();
  EXPECT_EQ(reader.header.number_of_variable_length_records, 2u);
  EXPECT_TRUE(messages.has(LAS_WARNING,
                           "only 20 bytes until point block after reading 2 of 3 vlrs. skipping remaining vlrs ..."))
      << messages.dump();
  EXPECT_EQ(reader.header.user_data_after_header_size, 20u);
}

TEST(LASreaderLAS, LostCompressorRecordIsReportedAsCorruption) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  patch<uint32_t>(bytes, lastest::AT_OFFSET_TO_POINT_DATA, 227 + 2 * 64 + 20);
  bytes[lastest::AT_POINT_DATA_FORMAT] |= 0x80;
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(open_bytes(dir, bytes, reader));
  EXPECT_TRUE(messages.has(LAS_ERROR,
                           "your PTC file has corruptions in the LAS header resulting in\n\tthe ptcomp VLR being "
                           "lost. maybe your download failed?"))
      << messages.dump();
  EXPECT_FALSE(messages.has(LAS_ERROR, "this file was compressed with an experimental version of ptcomp"));
}

TEST(LASreaderLAS, CompressionClaimWithoutRecord) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  bytes[lastest::AT_POINT_DATA_FORMAT] |= 0x40;
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(open_bytes(dir, bytes, reader));
  EXPECT_TRUE(messages.has(LAS_ERROR, "this file was compressed with an experimental version of ptcomp"))
      << messages.dump();
  EXPECT_EQ(messages.count(LAS_INFO), 1) << messages.dump();
}

TEST(LASreaderLAS, VlrPayloadCutAtThePointBlock) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  patch<uint32_t>(bytes, lastest::AT_OFFSET_TO_POINT_DATA, 227 + 2 * 64 + 54 + 4);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  EXPECT_TRUE(messages.has(LAS_WARNING, "only 4 bytes until point block when trying to read 10 bytes into "
                                        "header.vlrs[2].data"))
      << messages.dump();
  ASSERT_EQ(reader.header.number_of_variable_length_records, 3u);
  EXPECT_EQ(reader.header.vlrs[2].record_length_after_header, 4);
  EXPECT_EQ(reader.header.vlrs[2].data[3], 23);
  EXPECT_EQ(reader.header.vlrs[2].data[4], 0);  // terminated
}

TEST(LASreaderLAS, PeekOnlyReadsJustTheHeaderBlock) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0, 7);
  // VLRs that could not be read: the count promises far more than exist.
  patch<uint32_t>(bytes, lastest::AT_NUMBER_OF_VLRS, 0xFFFFFFF0u);
  patch<uint32_t>(bytes, lastest::AT_OFFSET_TO_POINT_DATA, 0xFFFFFFF0u);
  bytes[lastest::AT_POINT_DATA_FORMAT] |= 0x80;
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader, true)) << messages.dump();
  EXPECT_EQ(reader.npoints, 7);
  EXPECT_EQ(reader.header.point_data_format, 0);
  EXPECT_EQ(reader.header.number_of_variable_length_records, 0u);
  EXPECT_EQ(reader.header.vlrs, nullptr);
  EXPECT_FALSE(reader.read_point());
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

TEST(LASreaderLAS, AbsurdVlrCountEndsWithAMessage) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  patch<uint32_t>(bytes, lastest::AT_NUMBER_OF_VLRS, 0xFFFFFFFFu);
  Messages messages;
  LASreaderLAS reader(nullptr);
  // The VLR area holds three VLRs and then the points: the fourth VLR header
  // is cut by the point block (5 points of 20 bytes do not start a VLR).
  ASSERT_TRUE(open_bytes(dir, bytes, reader)) << messages.dump();
  EXPECT_EQ(reader.header.number_of_variable_length_records, 3u);
  EXPECT_TRUE(messages.has(LAS_WARNING, "only 0 bytes until point block after reading 3 of -1 vlrs. skipping "
                                        "remaining vlrs ..."))
      << messages.dump();
}

TEST(LASreaderLAS, AbsurdOffsetToPointDataOnASmallFile) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  patch<uint32_t>(bytes, lastest::AT_NUMBER_OF_VLRS, 0x7FFFFFFFu);
  patch<uint32_t>(bytes, lastest::AT_OFFSET_TO_POINT_DATA, 0xFFFFFFF0u);
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(open_bytes(dir, bytes, reader));
  // The fourth "VLR" is made of point bytes and the file ends inside it.
  EXPECT_EQ(messages.count(LAS_ERROR), 1) << messages.dump();
  EXPECT_EQ(messages.entries.back().text.rfind("reading ", 0), 0u) << messages.dump();
}

TEST(LASreaderLAS, AbsurdUserDataAfterHeaderEndsWithAMessage) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = three_vlrs(dir, 0);
  patch<uint32_t>(bytes, lastest::AT_OFFSET_TO_POINT_DATA, 0xFFFFFFF0u);
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(open_bytes(dir, bytes, reader));
  char expected[128];
  snprintf(expected, sizeof(expected), "reading %lld bytes of data into header.user_data_after_header",
           0xFFFFFFF0ll - (227 + 3 * 64));
  EXPECT_TRUE(messages.has(LAS_ERROR, expected)) << messages.dump();
}

// ---------------------------------------------------------------------------
// EVLRs of a 1.4 file.

std::vector<unsigned char> file_with_evlrs(const testsupport::TempDir& dir, int points = 6) {
  LASheader h;
  lastest::make_header(h, 4, 6);
  unsigned char payload[5] = {1, 2, 3, 4, 5};
  EXPECT_TRUE(h.add_evlr("first", 1, 5, payload, false));
  EXPECT_TRUE(h.add_evlr("second", 2, 5, payload, false));
  const std::string path = dir.file("evlrs.las");
  EXPECT_TRUE(lastest::write_points(path, h, points));
  return lastest::read_bytes(path);
}

TEST(LASreaderLAS, EvlrsAreReadFromTheirStart) {
  testsupport::TempDir dir;
  const std::vector<unsigned char> bytes = file_with_evlrs(dir);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  ASSERT_EQ(reader.header.number_of_extended_variable_length_records, 2u);
  EXPECT_EQ(reader.header.evlrs[1].record_id, 2);
  EXPECT_EQ(reader.header.start_of_first_extended_variable_length_record, 375u + 6 * 30);
  int n = 0;
  while (reader.read_point()) n++;
  EXPECT_EQ(n, 6);
}

TEST(LASreaderLAS, AbsurdEvlrCountEndsWithAMessage) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = file_with_evlrs(dir);
  patch<uint32_t>(bytes, lastest::AT_EVLR_COUNT, 0xFFFFFFFFu);
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(open_bytes(dir, bytes, reader));
  EXPECT_TRUE(messages.has(LAS_ERROR, "reading header.evlrs[2].reserved")) << messages.dump();
}

TEST(LASreaderLAS, AbsurdEvlrLengthsEndWithAMessage) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = file_with_evlrs(dir);
  const size_t first = 375 + 6 * 30;
  {
    std::vector<unsigned char> huge = bytes;
    patch<uint64_t>(huge, first + 20, 1ull << 40);
    Messages messages;
    LASreaderLAS reader(nullptr);
    EXPECT_FALSE(open_bytes(dir, huge, reader));
    EXPECT_TRUE(messages.has(LAS_ERROR, "evlr size of 1099511627776 bytes in header.evlrs[0] not supported"))
        << messages.dump();
  }
  {
    // Just below the limit: reading runs out of file long before any such
    // allocation.
    std::vector<unsigned char> large = bytes;
    patch<uint64_t>(large, first + 20, 0xFFFFFFF0ull);
    Messages messages;
    LASreaderLAS reader(nullptr);
    EXPECT_FALSE(open_bytes(dir, large, reader));
    EXPECT_TRUE(messages.has(LAS_ERROR, "reading 4294967280 bytes of data into header.evlrs[0].data"))
        << messages.dump();
  }
  {
    std::vector<unsigned char> beyond = bytes;
    patch<uint64_t>(beyond, lastest::AT_EVLR_START, 1ull << 62);
    Messages messages;
    LASreaderLAS reader(nullptr);
    EXPECT_FALSE(open_bytes(dir, beyond, reader));
    EXPECT_TRUE(messages.has(LAS_ERROR, "reading header.evlrs[0].reserved")) << messages.dump();
  }
}

// ---------------------------------------------------------------------------
// Records the reader consumes.

TEST(LASreaderLAS, CompressorRecordIsConsumed) {
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 1);
  PTcomp settings;
  ASSERT_TRUE(settings.setup(1, 28, PTcomp::COMPRESSOR_NONE));
  const unsigned char* payload = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(settings.pack(&payload, &size));
  ASSERT_TRUE(h.add_vlr("first", 1, 0, nullptr, false));
  ASSERT_TRUE(h.add_vlr("ptcomp encoded", 22, static_cast<uint16_t>(size), const_cast<unsigned char*>(payload), false));
  ASSERT_TRUE(h.add_vlr("last", 3, 0, nullptr, false));
  const std::string path = dir.file("settings.las");
  ASSERT_TRUE(lastest::write_points(path, h, 9));
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(path.c_str()));
  ASSERT_EQ(reader.header.number_of_variable_length_records, 2u);
  EXPECT_EQ(reader.header.vlrs[1].record_id, 3);
  EXPECT_EQ(reader.header.offset_to_point_data, 227u + 3 * 54 + size - 54 - size);
  ASSERT_NE(reader.header.ptcomp, nullptr);
  EXPECT_EQ(reader.get_format(), 1);
  LASpoint expected;
  ASSERT_TRUE(expected.init(&h, reader.point.num_items, reader.point.items, &h));
  int n = 0;
  while (reader.read_point()) {
    expected.zero();
    lastest::fill_point(expected, n);
    EXPECT_EQ(reader.point.X, expected.X);
    EXPECT_EQ(reader.point.gps_time, expected.gps_time);
    n++;
  }
  EXPECT_EQ(n, 9);
}

struct RecordCase {
  const char* name;
  const char* user_id;
  uint16_t record_id;
  std::vector<unsigned char> payload;
  bool opens;
  LAS_MESSAGE_TYPE type;
  const char* message;
};

std::vector<unsigned char> settings_payload(uint16_t compressor, size_t cut = 0) {
  PTcomp settings;
  settings.setup(0, 20, PTcomp::COMPRESSOR_NONE);
  settings.compressor = compressor;
  const unsigned char* bytes = nullptr;
  uint32_t size = 0;
  settings.pack(&bytes, &size);
  std::vector<unsigned char> payload(bytes, bytes + size);
  if (cut) payload.resize(cut);
  return payload;
}

std::vector<unsigned char> geo_keys(uint16_t version) {
  std::vector<unsigned char> payload(16, 0);
  payload[0] = static_cast<unsigned char>(version);
  payload[2] = 1;
  payload[6] = 1;
  return payload;
}

class RecordCheck : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordCheck, GivesItsMessage) {
  const RecordCase& c = GetParam();
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 0);
  ASSERT_TRUE(h.add_vlr(c.user_id, c.record_id, static_cast<uint16_t>(c.payload.size()),
                        const_cast<unsigned char*>(c.payload.data()), false));
  const std::string path = dir.file("record.las");
  ASSERT_TRUE(lastest::write_points(path, h, 3));
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_EQ(reader.open(path.c_str()), c.opens) << messages.dump();
  EXPECT_TRUE(messages.has(c.type, c.message)) << messages.dump();
}

const RecordCase record_cases[] = {
    {"compressor_4", "ptcomp encoded", 1, settings_payload(4), false, LAS_ERROR,
     "compressor 4 not supported (PTcomp v3.5r0)\n\tplease upgrade to the latest release of Kestrel (with PTcomp)"},
    {"settings_cut", "ptcomp encoded", 1, settings_payload(0, 10), false, LAS_ERROR, "reading options 0"},
    {"settings_empty", "ptcomp encoded", 1, {}, false, LAS_ERROR, "reading compressor 2"},
    {"tiling_27", "Kestrel", 10, std::vector<unsigned char>(27, 0), false, LAS_ERROR,
     "record_length_after_header of VLR Kestrel (10) is 27 instead of 28"},
    {"original_100", "Kestrel", 20, std::vector<unsigned char>(100, 0), false, LAS_ERROR,
     "record_length_after_header of VLR Kestrel (20) is 100 instead of 176"},
    {"geo_keys_version", "LASF_Projection", 34735, geo_keys(2), true, LAS_WARNING,
     "wrong vlr_geo_keys->key_directory_version: 2 != 1"},
    {"geo_keys_short", "LASF_Projection", 34735, std::vector<unsigned char>(4, 1), true, LAS_WARNING,
     "GeoKeyDirectoryTag of 4 bytes is too short"},
    {"projection_unknown", "LASF_Projection", 9, {1, 2}, true, LAS_WARNING,
     "unknown LASF_Projection VLR with record_id 9."},
    {"projection_empty", "LASF_Projection", 2112, {}, true, LAS_WARNING,
     "no payload for LASF_Projection VLR with record_id 2112."},
    {"spec_empty", "LASF_Spec", 3, {}, true, LAS_WARNING, "no payload for LASF_Spec (not " LAS_NOT_CONFORMING ")."},
    {"wave_packet_short", "LASF_Spec", 100, std::vector<unsigned char>(10, 8), true, LAS_WARNING,
     "variable length record payload for wave packet descr 1 is 10 instead of 26 bytes"},
    {"wave_packet_bits", "LASF_Spec", 101, std::vector<unsigned char>(26, 3), true, LAS_WARNING,
     "bits per sample for wave packet descr 2 is 3 instead of 8 or 16"},
    {"copc_in_1_2", "copc", 1, std::vector<unsigned char>(160, 0), true, LAS_WARNING,
     "COPC VLR info should belong in PTC file 1.4 or 1.5 pdrf 6-8 not PTC 1.2 pdrf 0 (not " LAS_NOT_CONFORMING ")."},
};

INSTANTIATE_TEST_SUITE_P(Records, RecordCheck, ::testing::ValuesIn(record_cases),
                         [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(LASreaderLAS, TilingAndOriginalRecordsAreConsumed) {
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 0);
  unsigned char tiling[28] = {0};
  tiling[0] = 3;  // level
  const float min_x = 12.5f;
  memcpy(tiling + 12, &min_x, 4);
  unsigned char original[176] = {0};
  original[0] = 44;  // number of point records
  ASSERT_TRUE(h.add_vlr("Kestrel", 10, 28, tiling, false));
  ASSERT_TRUE(h.add_vlr("keep me", 1, 0, nullptr, false));
  ASSERT_TRUE(h.add_vlr("Kestrel", 20, 176, original, false));
  ASSERT_TRUE(h.add_vlr("Kestrel", 1999, 2, tiling, false));
  const std::string path = dir.file("tiling.las");
  ASSERT_TRUE(lastest::write_points(path, h, 3));
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(path.c_str()));
  ASSERT_EQ(reader.header.number_of_variable_length_records, 1u);
  EXPECT_STREQ(reader.header.vlrs[0].user_id, "keep me");
  ASSERT_NE(reader.header.vlr_lastiling, nullptr);
  EXPECT_EQ(reader.header.vlr_lastiling->level, 3u);
  EXPECT_EQ(reader.header.vlr_lastiling->min_x, 12.5f);
  ASSERT_NE(reader.header.vlr_lasoriginal, nullptr);
  EXPECT_EQ(reader.header.vlr_lasoriginal->number_of_point_records, 44u);
  EXPECT_EQ(reader.header.offset_to_point_data, 227u + 54);
  int n = 0;
  while (reader.read_point()) n++;
  EXPECT_EQ(n, 3);
}

TEST(LASreaderLAS, HeightAboveGroundBecomesZ) {
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 0, 2);
  LASattribute attribute(4, "height above ground");  // i16
  ASSERT_TRUE(h.add_vlr("LASF_Spec", 4, 192, reinterpret_cast<unsigned char*>(&attribute), false));
  const std::string path = dir.file("hag.las");
  ASSERT_TRUE(lastest::write_points(path, h, 2));
  Messages messages;
  LASreadOpener opener;
  opener.z_from_attribute = true;
  opener.z_from_attribute_index = -1;
  LASreaderLAS reader(&opener);
  ASSERT_TRUE(reader.open(path.c_str()));
  EXPECT_EQ(opener.z_from_attribute_index, 0);
  EXPECT_EQ(reader.header.z_attribute_index, 0);
  EXPECT_TRUE(messages.has(LAS_VERBOSE, "autodetect extra_byte[0] as z")) << messages.dump();
}

// ---------------------------------------------------------------------------
// Reading and seeking.

TEST(LASreaderLAS, SeekRewindsAndJumps) {
  testsupport::TempDir dir;
  const std::vector<unsigned char> bytes = small_file(dir, 5000);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  std::vector<int32_t> xs;
  while (reader.read_point()) xs.push_back(reader.point.X);
  ASSERT_EQ(xs.size(), 5000u);
  EXPECT_FALSE(reader.seek(5000));
  EXPECT_FALSE(reader.seek(-1));
  ASSERT_TRUE(reader.seek(0));
  ASSERT_TRUE(reader.read_point());
  EXPECT_EQ(reader.point.X, xs[0]);
  // Forward across a record block, then back.
  ASSERT_TRUE(reader.seek(4000));
  ASSERT_TRUE(reader.read_point());
  EXPECT_EQ(reader.point.X, xs[4000]);
  EXPECT_EQ(reader.p_count, 4001);
  ASSERT_TRUE(reader.seek(17));
  ASSERT_TRUE(reader.read_point());
  EXPECT_EQ(reader.point.X, xs[17]);
  ASSERT_TRUE(reader.seek(4999));
  ASSERT_TRUE(reader.read_point());
  EXPECT_EQ(reader.point.X, xs[4999]);
  EXPECT_FALSE(reader.read_point());
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

TEST(LASreaderLAS, ReadingPastTheEndStaysQuiet) {
  testsupport::TempDir dir;
  const std::vector<unsigned char> bytes = small_file(dir, 3);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  for (int i = 0; i < 3; i++) ASSERT_TRUE(reader.read_point());
  const size_t before = messages.entries.size();
  EXPECT_FALSE(reader.read_point());
  EXPECT_FALSE(reader.read_point());
  EXPECT_FALSE(reader.read_point());
  EXPECT_EQ(messages.entries.size(), before) << messages.dump();
  EXPECT_EQ(reader.p_count, 3);
}

TEST(LASreaderLAS, TruncatedPointDataEndsWithAnError) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = small_file(dir, 100);
  const size_t points_start = 227;
  bytes.resize(points_start + 60 * 28 + 13);  // 60 whole points and part of one
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  int n = 0;
  while (reader.read_point()) n++;
  EXPECT_EQ(n, 60);
  const std::string expected = "'end-of-file' after 60 of 100 points for '" + dir.file("patched.las") + "'";
  EXPECT_TRUE(messages.has(LAS_ERROR, expected)) << messages.dump();
}

// A stream over memory that says it cannot seek, as standard input does.
class UnseekableStream : public ByteStreamIn {
 public:
  UnseekableStream(const unsigned char* data, long long size) : inner(new_byte_stream_in_array(data, size)) {}
  int getByte() override { return inner->getByte(); }
  void getBytes(unsigned char* bytes, long long n) override { inner->getBytes(bytes, n); }
  void get16bitsLE(unsigned char* dest) override { inner->get16bitsLE(dest); }
  void get32bitsLE(unsigned char* dest) override { inner->get32bitsLE(dest); }
  void get64bitsLE(unsigned char* dest) override { inner->get64bitsLE(dest); }
  void get16bitsBE(unsigned char* dest) override { inner->get16bitsBE(dest); }
  void get32bitsBE(unsigned char* dest) override { inner->get32bitsBE(dest); }
  void get64bitsBE(unsigned char* dest) override { inner->get64bitsBE(dest); }
  bool isSeekable() const override { return false; }
  long long tell() const override { return inner->tell(); }
  bool seek(long long) override { return false; }
  bool seekEnd(long long) override { return false; }

 private:
  std::unique_ptr<ByteStreamInArray> inner;
};

TEST(LASreaderLAS, StreamThatCannotSeekIsReadRecordByRecord) {
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 3, 2);
  const std::string path = dir.file("stream.las");
  ASSERT_TRUE(lastest::write_points(path, h, 50));
  const std::vector<unsigned char> bytes = lastest::read_bytes(path);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(new UnseekableStream(bytes.data(), static_cast<long long>(bytes.size()))));
  LASpoint expected;
  ASSERT_TRUE(expected.init(&h, reader.point.num_items, reader.point.items, &h));
  int n = 0;
  while (reader.read_point()) {
    expected.zero();
    lastest::fill_point(expected, n);
    ASSERT_EQ(reader.point.X, expected.X);
    ASSERT_EQ(reader.point.rgb[2], expected.rgb[2]);
    ASSERT_EQ(reader.point.extra_bytes[1], expected.extra_bytes[1]);
    n++;
  }
  EXPECT_EQ(n, 50);
  EXPECT_FALSE(reader.seek(0));
}

TEST(LASreaderLAS, OpenFailures) {
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(reader.open(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(messages.has(LAS_ERROR, "file name pointer is zero"));
  EXPECT_FALSE(reader.open("/nonexistent/dir/file.las"));
  EXPECT_TRUE(messages.has(LAS_ERROR, "cannot open file '/nonexistent/dir/file.las' for read"));
  EXPECT_FALSE(reader.open(static_cast<ByteStreamIn*>(nullptr)));
  EXPECT_TRUE(messages.has(LAS_ERROR, "ByteStreamIn* pointer is zero"));
}

}  // namespace
