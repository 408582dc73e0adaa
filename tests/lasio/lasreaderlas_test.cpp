// LASreaderLAS on damaged and unusual files: header checks, absurd record
// counts, offsets and lengths, records it consumes, unseekable streams.
#include <gtest/gtest.h>

#include <cstring>    // memcpy
#include <string>     // paths, messages
#include <tuple>      // field groups
#include <vector>     // file bytes, message lists

#include "las/bytestreamin_array.hpp"        // the stream under UnseekableStream
#include "lasio/lasreaderlas.hpp"            // LASreaderLAS
#include "ptcomp/ptcomp.hpp"                 // settings records
#include "tests/lasio/las_file_helpers.hpp"  // make_header, write_points, AT_*
#include "tests/support/test_support.hpp"    // TempDir, CaseName, with_path

namespace {

using lastest::Messages;
using Bytes = std::vector<unsigned char>;
using Names = std::vector<std::string>;

Bytes written(const testsupport::TempDir& dir, const LASheader& h, int count) {
  const std::string path = dir.file("written.las");
  EXPECT_TRUE(lastest::write_points(path, h, count));
  return lastest::read_bytes(path);
}

// A 1.2 file of format 1 with 3 bytes of user data in its header and 10
// points behind three VLRs of 10 bytes (payload bytes 10 * i + b) and 1 byte
// of user data after them.
Bytes vlr_file(const testsupport::TempDir& dir) {
  LASheader h;
  lastest::make_header(h, 2, 1);
  h.user_data_in_header = new unsigned char[3]{7, 8, 9};
  h.user_data_in_header_size = 3;
  for (int i = 0; i < 3; i++) {
    unsigned char payload[10];
    for (int b = 0; b < 10; b++) payload[b] = static_cast<unsigned char>(10 * i + b);
    EXPECT_TRUE(h.add_vlr("tester", static_cast<uint16_t>(100 + i), 10, payload, false, "three"));
  }
  h.user_data_after_header = new unsigned char[1]();
  h.user_data_after_header_size = 1;
  return written(dir, h, 10);
}
constexpr size_t kHeader = 227 + 3;               // where the VLRs start
constexpr size_t kVlrArea = kHeader + 3 * 64;  // where the user data after the VLRs starts

// A 1.4 file of format 6 with 10 points and two EVLRs of 5 bytes after them.
Bytes evlr_file(const testsupport::TempDir& dir) {
  LASheader h;
  lastest::make_header(h, 4, 6);
  unsigned char payload[5] = {1, 2, 3, 4, 5};
  EXPECT_TRUE(h.add_evlr("first", 1, 5, payload, false));
  EXPECT_TRUE(h.add_evlr("second", 2, 5, payload, false));
  return written(dir, h, 10);
}
constexpr size_t kFirstEvlr = 375 + 10 * 30;

// Opens bytes written to a file; the reader is left open for inspection.
bool open_bytes(const testsupport::TempDir& dir, const Bytes& bytes, LASreaderLAS& reader, bool peek_only = false) {
  const std::string path = dir.file("patched.las");
  lastest::write_bytes(path, bytes);
  return reader.open(path.c_str(), LASreaderLAS::DEFAULT_IO_BUFFER_SIZE, peek_only);
}

// ---------------------------------------------------------------------------
// One damage per row: whether the file still opens, the warnings and errors
// it gives until reading runs past the end, how many records are listed
// after opening and how many points are read.

// A little-endian value of `size` bytes written at `at`.
struct Patch {
  size_t at;
  size_t size;
  uint64_t value;
};

void apply(Bytes& bytes, const std::vector<Patch>& patches) {
  for (const Patch& p : patches) {
    ASSERT_LE(p.at + p.size, bytes.size());
    memcpy(bytes.data() + p.at, &p.value, p.size);
  }
}

uint64_t bits_of(double value) { return lastest::get<uint64_t>(reinterpret_cast<const uint8_t*>(&value)); }

struct DamageCase {
  const char* name;
  bool evlrs;  // damages the EVLR file, else the VLR file
  std::vector<Patch> patches;
  bool opens;
  Names messages;     // warnings and errors; "%s" is the file's path
  int records = -1;   // VLRs (EVLRs) listed; -1: not checked
  size_t cut = 0;     // the file's new size; 0: not cut
  int points = 10;    // read
  bool peek = false;  // opened for the header block only
};

const size_t VERSION = 24, HEADER_SIZE = lastest::AT_HEADER_SIZE, POINT_DATA = lastest::AT_OFFSET_TO_POINT_DATA,
             VLRS = lastest::AT_NUMBER_OF_VLRS, FORMAT = lastest::AT_POINT_DATA_FORMAT, MAX_X = lastest::AT_MAX_X;

const DamageCase damage_cases[] = {
    {"intact", false, {}, true, {}, 3},
    {"signature", false, {{3, 1, 'X'}}, false, {"wrong file signature 'LASX'"}},
    {"header_size_small", false, {{HEADER_SIZE, 2, 200}}, false, {"header size is 200 but should be at least 227"}},
    {"offset_below_header", false, {{POINT_DATA, 4, 100}}, false,
     {"offset to point data 100 is smaller than header size 230"}},
    {"unknown_version", false, {{VERSION, 1, 2}}, true, {"unknown version 2.2 (allowed 1.0-1.5)"}, 3},
    {"x_scale_zero", false, {{lastest::AT_X_SCALE, 8, bits_of(0.0)}}, true, {"x scale factor is zero."}},
    // max x, min x, max y, min y, max z, min z
    {"bounding_box", false, {{MAX_X, 8, bits_of(1)}, {MAX_X + 8, 8, bits_of(2)}, {MAX_X + 16, 8, bits_of(3)},
                             {MAX_X + 24, 8, bits_of(4)}, {MAX_X + 32, 8, bits_of(5)}, {MAX_X + 40, 8, bits_of(6)}},
     true, {"invalid bounding box [ 2 4 6 / 1 3 5 ]"}},
    // 26 bytes and 2 extra in the 28-byte records.
    {"format_for_version", false, {{VERSION + 1, 1, 0}, {FORMAT, 1, 2}}, true,
     {"LAS version 1.0 does not allow point format 2"}},
    {"unknown_point_format", false, {{FORMAT, 1, 11}}, false,
     {"LAS version 1.2 does not allow point format 11", "unknown point type 11 with point size 28"}},
    {"truncated_header", false, {}, false, {"reading header.number_of_variable_length_records"}, -1, 102},
    {"truncated_in_by_return", false, {}, false, {"reading header.number_of_points_by_return 2"}, -1, 120},
    // The 3 bytes after the 1.2 fields stay user data: the VLRs read right.
    {"version_1_3_short_header", false, {{VERSION + 1, 1, 3}}, true,
     {"for LAS 1.3 header_size should at least be 235 but it is only 230"}, 3},
    {"version_1_4_short_header", false, {{VERSION + 1, 1, 4}}, false,
     {"for LAS 1.4 header_size should at least be 235 but it is only 230",
      "for LAS 1.4 header_size should at least be 375 but it is only 230"}},
    {"version_1_5_short_header", false, {{VERSION + 1, 1, 5}}, false,
     {"LAS version 1.5 does not allow point format 1",
      "for LAS 1.5 header_size should at least be 235 but it is only 230",
      "for LAS 1.5 header_size should at least be 375 but it is only 230"}},
    // The point block starts 20 bytes into the third VLR header.
    {"area_ends_in_a_vlr_header", false, {{POINT_DATA, 4, kHeader + 2 * 64 + 20}}, true,
     {"only 20 bytes until point block after reading 2 of 3 vlrs. skipping remaining vlrs ..."}, 2},
    // The point block starts 4 bytes into the third VLR's payload.
    {"area_ends_in_a_vlr_payload", false, {{POINT_DATA, 4, kHeader + 2 * 64 + 54 + 4}}, true,
     {"only 4 bytes until point block when trying to read 10 bytes into header.vlrs[2].data"}, 3},
    // ... and the format (1) claims compression.
    {"compressor_record_lost", false, {{POINT_DATA, 4, kHeader + 2 * 64 + 20}, {FORMAT, 1, 0x81}}, false,
     {"only 20 bytes until point block after reading 2 of 3 vlrs. skipping remaining vlrs ...",
      "your PTC file has corruptions in the LAS header resulting in\n\tthe ptcomp VLR being lost. maybe your download "
      "failed?"}},
    {"compression_claim_without_record", false, {{FORMAT, 1, 0x41}}, false,
     {"LAS version 1.2 does not allow point format 65",
      "this file was compressed with an experimental version of ptcomp"}},
    // The fourth VLR header would overlap the user data and the points.
    {"absurd_vlr_count", false, {{VLRS, 4, 0xFFFFFFFF}}, true,
     {"only 1 bytes until point block after reading 3 of -1 vlrs. skipping remaining vlrs ..."}, 3},
    // The fourth "VLR" is made of user data and points and the file ends in it.
    {"absurd_vlr_count_and_offset", false, {{VLRS, 4, 0x7FFFFFFF}, {POINT_DATA, 4, 0xFFFFFFF0}}, false,
     {"reading 28928 bytes of data into header.vlrs[3].data"}},
    {"absurd_user_data_after_vlrs", false, {{POINT_DATA, 4, 0xFFFFFFF0}}, false,
     {"reading 4294966858 bytes of data into header.user_data_after_header"}},
    // Opened for the header only, the VLRs that could not be read (far more
    // than exist) and the missing compressor record go unnoticed.
    {"peek_only", false, {{VLRS, 4, 0xFFFFFFF0}, {POINT_DATA, 4, 0xFFFFFFF0}, {FORMAT, 1, 0x81}}, true, {}, 0, 0, 0,
     true},
    // 6 whole points and part of one.
    {"truncated_point_data", false, {}, true, {"'end-of-file' after 6 of 10 points for '%s'"}, 3,
     kVlrArea + 1 + 6 * 28 + 13, 6},
    {"evlrs_intact", true, {}, true, {}, 2},
    {"absurd_evlr_count", true, {{lastest::AT_EVLR_COUNT, 4, 0xFFFFFFFF}}, false,
     {"reading header.evlrs[2].reserved"}},
    {"evlr_beyond_the_file", true, {{lastest::AT_EVLR_START, 8, 1ull << 62}}, false,
     {"reading header.evlrs[0].reserved"}},
    {"absurd_evlr_length", true, {{kFirstEvlr + 20, 8, 1ull << 40}}, false,
     {"evlr size of 1099511627776 bytes in header.evlrs[0] not supported"}},
    // Just below the limit: reading runs out of file long before any such
    // allocation.
    {"large_evlr_length", true, {{kFirstEvlr + 20, 8, 0xFFFFFFF0}}, false,
     {"reading 4294967280 bytes of data into header.evlrs[0].data"}},
};

class Damage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(Damage, GivesItsMessage) {
  const DamageCase& c = GetParam();
  testsupport::TempDir dir;
  Bytes bytes = c.evlrs ? evlr_file(dir) : vlr_file(dir);
  apply(bytes, c.patches);
  if (c.cut) bytes.resize(c.cut);
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_EQ(open_bytes(dir, bytes, reader, c.peek), c.opens) << messages.dump();
  if (c.records >= 0) {
    EXPECT_EQ(c.evlrs ? reader.header.number_of_extended_variable_length_records
                      : reader.header.number_of_variable_length_records,
              uint32_t(c.records));
  }
  if (c.opens) {
    EXPECT_EQ(reader.npoints, 10);
    int n = 0;
    while (reader.read_point()) n++;
    EXPECT_EQ(n, c.points);
    EXPECT_EQ(reader.p_count, c.points);
    if (n == 10) {
      EXPECT_FALSE(reader.read_point());  // past the end, quietly
    }
  }
  Names expected = c.messages;
  for (std::string& text : expected) text = testsupport::with_path(text, dir.file("patched.las"));
  EXPECT_EQ(messages.problems(), expected);
}

INSTANTIATE_TEST_SUITE_P(LASreaderLAS, Damage, ::testing::ValuesIn(damage_cases), testsupport::CaseName());

// ---------------------------------------------------------------------------
// Records by kind: one record (or two of a kind) in a VLR of a 1.2 file of
// format 0 or an EVLR of a 1.4 file of format 6 (with 2 extra bytes), and
// the messages they give.

enum Place { VLR, SECOND_VLR, TWO_VLRS, EVLR, TWO_EVLRS };

struct RecordCase {
  const char* name;
  Place place;
  const char* user_id;
  uint16_t record_id;
  Bytes payload;
  bool opens;
  Names messages;  // warnings, then errors
};

Bytes settings_payload(uint16_t compressor, size_t cut = 0) {
  PTcomp settings;
  settings.setup(0, 20, PTcomp::COMPRESSOR_NONE);
  settings.compressor = compressor;
  const unsigned char* bytes = nullptr;
  uint32_t size = 0;
  settings.pack(&bytes, &size);
  Bytes payload(bytes, bytes + size);
  if (cut) payload.resize(cut);
  return payload;
}

Bytes attribute(unsigned char data_type, const char* name) {
  const LASattribute descriptor(data_type, name);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&descriptor);
  return Bytes(bytes, bytes + LAS_EXTRA_BYTES_DESCR_SIZE);
}

Bytes geo_keys(uint16_t version) {
  Bytes payload(16, 0);
  payload[0] = static_cast<unsigned char>(version);
  payload[2] = 1;
  payload[6] = 1;
  return payload;
}

class Records : public ::testing::TestWithParam<RecordCase> {};

TEST_P(Records, GiveTheirMessage) {
  const RecordCase& c = GetParam();
  testsupport::TempDir dir;
  LASheader h;
  const bool extended = c.place == EVLR || c.place == TWO_EVLRS;
  lastest::make_header(h, extended ? 4 : 2, extended ? 6 : 0, 2);
  unsigned char* payload = const_cast<unsigned char*>(c.payload.data());
  const uint16_t length = static_cast<uint16_t>(c.payload.size());
  if (c.place == SECOND_VLR) {
    ASSERT_TRUE(h.add_vlr("first", 1, 0, nullptr, false));
  }
  for (int k = 0; k < (c.place == TWO_VLRS || c.place == TWO_EVLRS ? 2 : 1); k++) {
    if (extended) {
      ASSERT_TRUE(h.add_evlr(c.user_id, c.record_id, length, payload, false));
    } else {
      ASSERT_TRUE(h.add_vlr(c.user_id, c.record_id, length, payload, false));
    }
  }
  const Bytes bytes = written(dir, h, 3);
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_EQ(open_bytes(dir, bytes, reader), c.opens) << messages.dump();
  EXPECT_EQ(messages.problems(), c.messages);
}

const RecordCase record_cases[] = {
    {"compressor_4", VLR, "ptcomp encoded", 1, settings_payload(4), false,
     {"compressor 4 not supported (PTcomp v3.5r0)\n\tplease upgrade to the latest release of Kestrel (with PTcomp)"}},
    {"settings_cut", VLR, "ptcomp encoded", 1, settings_payload(0, 10), false, {"reading options 0"}},
    {"settings_empty", VLR, "ptcomp encoded", 1, {}, false, {"reading compressor 2"}},
    {"tiling_27", VLR, "Kestrel", 10, Bytes(27, 0), false,
     {"record_length_after_header of VLR Kestrel (10) is 27 instead of 28"}},
    {"tiling_27_evlr", EVLR, "kestrel tile", 3, Bytes(27, 0), false,
     {"record_length_after_header of EVLR kestrel tile (3) is 27 instead of 28"}},
    {"original_100", VLR, "Kestrel", 20, Bytes(100, 0), false,
     {"record_length_after_header of VLR Kestrel (20) is 100 instead of 176"}},
    {"geo_keys_version", VLR, "LASF_Projection", 34735, geo_keys(2), true,
     {"wrong vlr_geo_keys->key_directory_version: 2 != 1"}},
    {"geo_keys_version_evlr", EVLR, "LASF_Projection", 34735, geo_keys(2), true,
     {"wrong evlr_geo_keys->key_directory_version: 2 != 1"}},
    {"geo_keys_short", VLR, "LASF_Projection", 34735, Bytes(4, 1), true,
     {"GeoKeyDirectoryTag of 4 bytes is too short"}},
    {"geo_keys_twice_evlr", TWO_EVLRS, "LASF_Projection", 34735, geo_keys(1), true,
     {"extended variable length records contain more than one GeoKeyDirectoryTag"}},
    {"double_params_twice", TWO_VLRS, "LASF_Projection", 34736, Bytes(8, 0), true,
     {"variable length records contain more than one GeoDoubleParamsTag"}},
    {"double_params_twice_evlr", TWO_EVLRS, "LASF_Projection", 34736, Bytes(8, 0), true,
     {"extended variable length records contain more than one GeoF64ParamsTag"}},
    {"projection_unknown", VLR, "LASF_Projection", 9, {1, 2}, true, {"unknown LASF_Projection VLR with record_id 9."}},
    {"projection_unknown_evlr", EVLR, "LASF_Projection", 9, {1, 2}, true,
     {"unknown LASF_Projection EVLR with record_id 9."}},
    {"projection_empty", VLR, "LASF_Projection", 2112, {}, true,
     {"no payload for LASF_Projection VLR with record_id 2112."}},
    {"spec_empty", VLR, "LASF_Spec", 3, {}, true, {"no payload for LASF_Spec (does not conform to the LAS format)."}},
    {"wave_packet_short", VLR, "LASF_Spec", 100, Bytes(10, 8), true,
     {"variable length record payload for wave packet descr 1 is 10 instead of 26 bytes"}},
    {"wave_packet_bits", VLR, "LASF_Spec", 101, Bytes(26, 3), true,
     {"bits per sample for wave packet descr 2 is 3 instead of 8 or 16",
      "number of samples of 50529027 for wave packet descr 2 is with unusually large"}},
    {"extra_bytes_deprecated", VLR, "LASF_Spec", 4, attribute(11, "pair"), true,
     {"data type 11 of attribute 0 ('pair') is deprecated"}},
    {"extra_bytes_deprecated_evlr", EVLR, "LASF_Spec", 4, attribute(11, "pair"), true, {}},
    {"wave_packet_short_evlr", EVLR, "LASF_Spec", 100, Bytes(10, 8), true, {}},
    {"wave_packet_twice_evlr", TWO_EVLRS, "LASF_Spec", 102, Bytes(26, 8), true,
     {"extended variable length records defines wave packet descr 3 more than once"}},
    {"copc_in_1_2", VLR, "copc", 1, Bytes(160, 0), true,
     {"COPC VLR info should belong in PTC file 1.4 or 1.5 pdrf 6-8 not PTC 1.2 pdrf 0 (does not conform to the LAS "
     "format)."}},
    {"copc_not_first", SECOND_VLR, "copc", 1, Bytes(160, 0), true,
     {"COPC VLR info should be the first vlr (does not conform to the LAS format)",
      "COPC VLR info should belong in PTC file 1.4 or 1.5 pdrf 6-8 not PTC 1.2 pdrf 0 (does not conform to the LAS "
      "format)."}},
    {"copc_empty", VLR, "copc", 1, {}, true, {"no payload for copc (does not conform to the LAS format)."}},
    {"copc_hierarchy_without_info", EVLR, "copc", 1000, Bytes(32, 0), true,
     {"no COPC VLR info before COPC EPT hierarchy EVLR (does not conform to the LAS format)."}},
    {"copc_unknown_evlr", EVLR, "copc", 5, Bytes(8, 0), true,
     {"unknown COPC EVLR (does not conform to the LAS format)."}},
    {"copc_empty_evlr", EVLR, "copc", 5, {}, true, {"no payload for COPC EVLR (does not conform to the LAS format)."}},
};

INSTANTIATE_TEST_SUITE_P(LASreaderLAS, Records, ::testing::ValuesIn(record_cases), testsupport::CaseName());

TEST(LASreaderLAS, ConsumedRecordsAreNotListed) {
  testsupport::TempDir dir;
  LASheader h;
  lastest::make_header(h, 2, 0);
  Bytes settings = settings_payload(PTcomp::COMPRESSOR_NONE);
  unsigned char tiling[28] = {3};  // level 3
  const float min_x = 12.5f;
  memcpy(tiling + 12, &min_x, 4);
  unsigned char original[176] = {44};  // 44 point records
  ASSERT_TRUE(h.add_vlr("ptcomp encoded", 22, uint16_t(settings.size()), settings.data(), false));
  ASSERT_TRUE(h.add_vlr("Kestrel", 10, 28, tiling, false));
  ASSERT_TRUE(h.add_vlr("keep me", 1, 0, nullptr, false));
  ASSERT_TRUE(h.add_vlr("Kestrel", 20, 176, original, false));
  ASSERT_TRUE(h.add_vlr("Kestrel", 1999, 2, tiling, false));
  ASSERT_TRUE(h.add_vlr("last", 3, 0, nullptr, false));
  const Bytes bytes = written(dir, h, 9);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(open_bytes(dir, bytes, reader));
  const LASheader& r = reader.header;
  ASSERT_EQ(r.number_of_variable_length_records, 2u);
  EXPECT_STREQ(r.vlrs[0].user_id, "keep me");
  EXPECT_EQ(std::make_tuple(r.vlrs[1].record_id, r.offset_to_point_data, reader.get_format()),
            std::make_tuple(3, 227u + 2 * 54, 1));
  ASSERT_TRUE(r.ptcomp && r.vlr_lastiling && r.vlr_lasoriginal);
  EXPECT_EQ(std::make_tuple(r.vlr_lastiling->level, r.vlr_lastiling->min_x, r.vlr_lasoriginal->number_of_point_records),
            std::make_tuple(3u, 12.5f, 44u));
  for (int i = 0; i < 9; i++) {
    ASSERT_TRUE(reader.read_point());
    ASSERT_TRUE(lastest::is_filled_point(reader.point, h, i));
  }
  EXPECT_FALSE(reader.read_point());
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

// A stream over memory that says it cannot seek, as standard input does
// (on a little-endian host).
class UnseekableStream : public ByteStreamInArray {
 public:
  using ByteStreamInArray::ByteStreamInArray;
  void get16bitsLE(unsigned char* dest) override { take(dest, 2); }
  void get32bitsLE(unsigned char* dest) override { take(dest, 4); }
  void get64bitsLE(unsigned char* dest) override { take(dest, 8); }
  void get16bitsBE(unsigned char* dest) override { take_reversed(dest, 2); }
  void get32bitsBE(unsigned char* dest) override { take_reversed(dest, 4); }
  void get64bitsBE(unsigned char* dest) override { take_reversed(dest, 8); }
  bool isSeekable() const override { return false; }
  bool seek(long long) override { return false; }
  bool seekEnd(long long) override { return false; }
};

// Points are read record by record; the EVLRs after them are left.
TEST(LASreaderLAS, StreamThatCannotSeek) {
  testsupport::TempDir dir;
  const Bytes bytes = evlr_file(dir);
  Messages messages;
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(new UnseekableStream(bytes.data(), static_cast<long long>(bytes.size()))));
  EXPECT_EQ(messages.texts(LAS_WARNING), Names{"LAS 1.4 file has 2 EVLRs but stream is not seekable ..."});
  EXPECT_EQ(reader.header.number_of_extended_variable_length_records, 0u);
  int n = 0;
  while (reader.read_point()) ASSERT_TRUE(lastest::is_filled_point(reader.point, reader.header, n++));
  EXPECT_EQ(n, 10);
  EXPECT_FALSE(reader.seek(0));
}

TEST(LASreaderLAS, OpenFailures) {
  Messages messages;
  LASreaderLAS reader(nullptr);
  EXPECT_FALSE(reader.open(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(reader.open("/nonexistent/dir/file.las"));
  EXPECT_FALSE(reader.open(static_cast<ByteStreamIn*>(nullptr)));
  EXPECT_EQ(messages.texts(LAS_ERROR), (Names{"file name pointer is zero",
                                              "cannot open file '/nonexistent/dir/file.las' for read",
                                              "ByteStreamIn* pointer is zero"}));
}

}  // namespace
