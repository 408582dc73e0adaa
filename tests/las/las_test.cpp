// The LAS layer: byte streams (end-of-data throws, positions, seek limits,
// byte orders, growing output buffers), header defaults and record lists
// with the offset invariant, the record catalogue, the extra-bytes attribute
// table, and the point model's item buffers and bit fields.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamin_file.hpp"
#include "las/bytestreamout_array.hpp"
#include "las/bytestreamout_file.hpp"
#include "las/lasheader.hpp"
#include "las/laspoint.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::thrown_by;

TEST(ByteStreamInArray, ThrowsAtEndWithoutMoving) {
  const unsigned char data[5] = {1, 2, 3, 4, 5};
  ByteStreamInArrayLE in(data, 5);
  unsigned char out[8] = {0};
  EXPECT_EQ(thrown_by([&] { in.getBytes(out, 6); }), -1);
  EXPECT_EQ(in.tell(), 0);
  in.get16bitsLE(out);
  EXPECT_EQ(out[0] + 256 * out[1], 0x0201);
  EXPECT_EQ(thrown_by([&] { in.getBytes(out, 4); }), -1);
  EXPECT_EQ(thrown_by([&] { in.getBytes(out, -1); }), -1);
  EXPECT_EQ(thrown_by([&] { in.get64bitsBE(out); }), -1);
  EXPECT_EQ(thrown_by([&] { in.get32bitsLE(out); }), -1);
  EXPECT_EQ(in.tell(), 2);
  in.get16bitsLE(out);
  EXPECT_EQ(in.getByte(), 5);
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_EQ(thrown_by([&] { in.get16bitsLE(out); }), -1);
  EXPECT_EQ(in.tell(), 5);
  ByteStreamInArrayLE null(nullptr, 100);  // no data: empty, whatever the size
  EXPECT_EQ(null.get_size(), 0);
  EXPECT_EQ(thrown_by([&] { null.getByte(); }), -1);
  EXPECT_TRUE(null.seek(0));
  EXPECT_FALSE(null.seek(1));
}

TEST(ByteStreamInArray, SeekLimits) {
  const unsigned char data[4] = {9, 8, 7, 6};
  ByteStreamInArrayLE in(data, 4);
  EXPECT_TRUE(in.isSeekable());
  EXPECT_TRUE(in.seek(4));
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_FALSE(in.seek(5));
  EXPECT_FALSE(in.seek(-1));
  EXPECT_EQ(in.tell(), 4);
  EXPECT_TRUE(in.seekEnd(4));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_FALSE(in.seekEnd(5));
  EXPECT_FALSE(in.seekEnd(-1));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_TRUE(in.seekEnd(0));
  EXPECT_EQ(in.tell(), 4);
}

TEST(ByteStreamInArray, ByteOrders) {
  const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ByteStreamInArrayLE le(data, 8);
  uint16_t s = 0;
  uint32_t v = 0;
  le.get16bitsBE(reinterpret_cast<unsigned char*>(&s));
  le.get16bitsLE(reinterpret_cast<unsigned char*>(&v));
  EXPECT_EQ(s, 0x0102);
  EXPECT_EQ(v, 0x0403u);
  le.get32bitsBE(reinterpret_cast<unsigned char*>(&v));
  EXPECT_EQ(v, 0x05060708u);
  uint64_t w = 0;
  ASSERT_TRUE(le.seek(0));
  le.get64bitsBE(reinterpret_cast<unsigned char*>(&w));
  EXPECT_EQ(w, 0x0102030405060708ull);
  ASSERT_TRUE(le.seek(0));
  le.get32bitsLE(reinterpret_cast<unsigned char*>(&v));
  EXPECT_EQ(v, 0x04030201u);
  // The big-endian-host class copies BE values and reverses LE ones.
  ByteStreamInArrayBE be(data, 8);
  unsigned char out[4];
  be.get32bitsBE(out);
  EXPECT_EQ(0, memcmp(out, data, 4));
  be.get32bitsLE(out);
  const unsigned char reversed[4] = {8, 7, 6, 5};
  EXPECT_EQ(0, memcmp(out, reversed, 4));
}

TEST(FileStreams, ReadWriteRoundTripEndAndSeeks) {
  testsupport::TempDir dir;
  const std::string path = dir.file("data.bin");
  const unsigned char v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  FILE* out = fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  {
    std::unique_ptr<ByteStreamOutFile> stream(new_byte_stream_out_file(out));
    EXPECT_TRUE(stream->put16bitsLE(v) && stream->put32bitsBE(v) && stream->put64bitsLE(v) && stream->putByte(0xEE));
    EXPECT_EQ(stream->tell(), 15);
    EXPECT_TRUE(stream->isSeekable());
  }
  fclose(out);
  EXPECT_EQ(testsupport::read_file(path), std::string("\1\2\4\3\2\1\1\2\3\4\5\6\7\10\xEE", 15));
  FILE* in = fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::unique_ptr<ByteStreamInFile> stream(new_byte_stream_in_file(in));
  unsigned char got[14];
  stream->get16bitsLE(got);
  stream->get32bitsBE(got + 2);
  stream->get64bitsLE(got + 6);
  const unsigned char expected[14] = {1, 2, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(0, memcmp(got, expected, 14));
  EXPECT_EQ(stream->getByte(), 0xEE);
  EXPECT_EQ(thrown_by([&] { stream->getByte(); }), -1);
  EXPECT_TRUE(stream->seek(2));
  EXPECT_EQ(stream->getByte(), 4);
  EXPECT_TRUE(stream->seekEnd(1));
  EXPECT_EQ(stream->tell(), 14);
  EXPECT_EQ(thrown_by([&] { stream->getBytes(got, 2); }), -1);
  EXPECT_FALSE(stream->seek(-3));
  EXPECT_FALSE(stream->seekEnd(100));
  fclose(in);
  // Standard input and output cannot seek.
  EXPECT_FALSE(ByteStreamInFileLE(stdin).isSeekable());
  EXPECT_FALSE(ByteStreamOutFileLE(stdout).isSeekable());
}

TEST(ByteStreamOutArray, GrowsSeeksOverwritesAndGivesUpItsData) {
  ByteStreamOutArrayLE out(2);  // grows past its first buffer
  const uint32_t v = 0x01020304;
  out.put32bitsBE(reinterpret_cast<const unsigned char*>(&v));
  out.put32bitsLE(reinterpret_cast<const unsigned char*>(&v));
  const unsigned char expected[8] = {1, 2, 3, 4, 4, 3, 2, 1};
  ASSERT_EQ(out.get_size(), 8);
  EXPECT_EQ(0, memcmp(out.get_data(), expected, 8));
  EXPECT_FALSE(out.seek(9));
  EXPECT_FALSE(out.seek(-1));
  EXPECT_TRUE(out.seek(8));
  EXPECT_TRUE(out.seek(1));
  out.putByte(0xFF);
  EXPECT_EQ(out.tell(), 2);
  EXPECT_EQ(out.get_size(), 8);
  EXPECT_TRUE(out.seekEnd());
  EXPECT_EQ(out.tell(), 8);
  unsigned char* data = out.take_data();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[1], 0xFF);
  EXPECT_EQ(out.get_data(), nullptr);
  EXPECT_EQ(out.get_size(), 0);
  EXPECT_EQ(out.tell(), 0);
  free(data);
  // The emptied stream can be written again.
  EXPECT_TRUE(out.putByte(5));
  EXPECT_EQ(out.get_data()[0], 5);
  // The big-endian-host class reverses little-endian writes.
  ByteStreamOutArrayBE be(8);
  be.put16bitsLE(expected + 2);
  be.put16bitsBE(expected + 2);
  const unsigned char be_expected[4] = {4, 3, 3, 4};
  EXPECT_EQ(0, memcmp(be.get_data(), be_expected, 4));
}

TEST(LASheader, VersionHeaderSizes) {
  LASheader header;
  const int expected[6] = {227, 227, 227, 235, 375, 393};
  for (int minor = 0; minor <= 5; minor++) {
    header.version_minor = static_cast<uint8_t>(minor);
    EXPECT_EQ(header.get_version_header_size(), static_cast<uint32_t>(expected[minor])) << minor;
  }
}

TEST(LASheader, RecordListsKeepTheOffsetInvariant) {
  LASheader header;
  unsigned char payload[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(header.add_vlr("LASF_Projection", 2112, 10, payload, false, "wkt"));
  ASSERT_TRUE(header.add_vlr("Raster PTC", 7113, 0, nullptr, false));
  ASSERT_TRUE(header.add_vlr("other", 5, 3, payload, false));
  EXPECT_EQ(header.number_of_variable_length_records, 3u);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54 + 10 + 54 + 54 + 3);
  // Payloads are terminated copies.
  EXPECT_EQ(header.vlrs[0].data[9], 10);
  EXPECT_EQ(header.vlrs[0].data[10], 0);
  EXPECT_EQ(header.vlrs[1].data, nullptr);
  EXPECT_EQ(std::string(header.vlrs[0].description), "wkt");

  header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(header.vlrs[0].data);
  EXPECT_TRUE(header.remove_vlr(0u));
  EXPECT_EQ(header.vlr_geo_ogc_wkt, nullptr);
  EXPECT_EQ(header.number_of_variable_length_records, 2u);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54 + 54 + 3);
  EXPECT_TRUE(header.remove_vlr("other", 5));
  EXPECT_EQ(header.offset_to_point_data, 227u + 54);
  EXPECT_FALSE(header.remove_vlr(5u));

  header.user_data_after_header_size = 7;
  header.user_data_after_header = new unsigned char[7]();
  header.offset_to_point_data += 7;
  header.user_data_in_header_size = 5;
  header.user_data_in_header = new unsigned char[5]();
  header.header_size += 5;
  header.offset_to_point_data += 5;
  header.clean_user_data_in_header();
  EXPECT_EQ(header.header_size, 227);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54 + 7);
  header.clean_user_data_after_header();
  header.clean_vlrs();
  EXPECT_EQ(header.offset_to_point_data, 227u);

  header.version_minor = 4;
  header.clean();
  EXPECT_EQ(header.version_minor, 2);
}

struct RecordCase {
  const char* user_id;
  uint16_t record_id;
  bool extended;
  LASrecordKind kind;
};

class RecordKinds : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordKinds, Classified) {
  char user_id[16] = {0};
  strncpy(user_id, GetParam().user_id, 15);
  EXPECT_EQ(las_record_kind(user_id, GetParam().record_id, GetParam().extended), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, RecordKinds,
    ::testing::Values(RecordCase{"LASF_Projection", 34735, false, LASrecordKind::GEO_KEY_DIRECTORY},
                      RecordCase{"LASF_Projection", 34736, true, LASrecordKind::GEO_DOUBLE_PARAMS},
                      RecordCase{"LASF_Projection", 34737, false, LASrecordKind::GEO_ASCII_PARAMS},
                      RecordCase{"LASF_Projection", 2111, false, LASrecordKind::WKT_MATH_TRANSFORM},
                      RecordCase{"LASF_Projection", 2112, false, LASrecordKind::WKT_COORDINATE_SYS},
                      RecordCase{"LASF_Projection", 7, false, LASrecordKind::PROJECTION_UNKNOWN},
                      RecordCase{"LASF_Spec", 0, false, LASrecordKind::CLASSIFICATION},
                      RecordCase{"LASF_Spec", 3, false, LASrecordKind::SPEC_PLAIN},
                      RecordCase{"LASF_Spec", 4, false, LASrecordKind::EXTRA_BYTES},
                      RecordCase{"LASF_Spec", 99, false, LASrecordKind::SPEC_PLAIN},
                      RecordCase{"LASF_Spec", 100, false, LASrecordKind::WAVE_PACKET_DESCR},
                      RecordCase{"LASF_Spec", 354, false, LASrecordKind::WAVE_PACKET_DESCR},
                      RecordCase{"LASF_Spec", 355, false, LASrecordKind::SPEC_PLAIN},
                      RecordCase{"ptcomp encoded", 22204, false, LASrecordKind::PTCOMP_SETTINGS},
                      RecordCase{"ptcomp encoded", 1, true, LASrecordKind::PTCOMP_SETTINGS},
                      RecordCase{"Kestrel", 10, false, LASrecordKind::TILING},
                      RecordCase{"Kestrel", 20, false, LASrecordKind::ORIGINAL_EXTENT},
                      RecordCase{"Kestrel", 1999, false, LASrecordKind::KESTREL_IGNORED},
                      RecordCase{"Kestrel", 2000, false, LASrecordKind::OTHER},
                      RecordCase{"Kestrel", 10, true, LASrecordKind::TILING},
                      RecordCase{"Kestrel", 20, true, LASrecordKind::KESTREL_IGNORED},
                      RecordCase{"kestrel tile", 5, false, LASrecordKind::TILING},
                      RecordCase{"copc", 1, false, LASrecordKind::COPC_INFO},
                      RecordCase{"copc", 1000, true, LASrecordKind::COPC_HIERARCHY},
                      RecordCase{"copc", 10000, false, LASrecordKind::COPC_OTHER},
                      RecordCase{"Raster PTC", 7113, false, LASrecordKind::RASTER_PTC},
                      RecordCase{"Raster PTC", 7114, false, LASrecordKind::OTHER},
                      RecordCase{"LASF_Projectio", 34735, false, LASrecordKind::OTHER}));

TEST(LASattribute, SizeFromDataType) {
  // {data type, options, size}: 0 is opaque with its size in the options.
  const int cases[17][3] = {{0, 5, 5},   {1, 0, 1},   {2, 0, 1},  {3, 0, 2},   {4, 0, 2},   {5, 0, 4},
                            {6, 0, 4},   {7, 0, 8},   {8, 0, 8},  {9, 0, 4},   {10, 0, 8},  {11, 0, 2},
                            {19, 0, 8},  {20, 0, 16}, {21, 0, 3}, {30, 24, 24}, {31, 0, 0}};
  for (const auto& c : cases) {
    LASattribute attribute;
    attribute.data_type = static_cast<unsigned char>(c[0]);
    attribute.options = static_cast<unsigned char>(c[1]);
    EXPECT_EQ(attribute.get_size(), c[2]) << "data type " << c[0];
  }
}

TEST(LASattributer, StartsFollowSizes) {
  LASheader header;
  std::vector<unsigned char> payload(3 * 192, 0);
  payload[2] = 0;  // opaque, 5 bytes
  payload[3] = 5;
  payload[192 + 2] = 19;  // two floats
  payload[2 * 192 + 2] = 4;  // i16
  memcpy(&payload[2 * 192 + 4], "height", 6);
  ASSERT_TRUE(header.set_attributes_from_payload(payload.data(), payload.size() + 100));
  ASSERT_EQ(header.number_attributes, 3);
  EXPECT_EQ(header.attribute_starts[0], 0);
  EXPECT_EQ(header.attribute_starts[1], 5);
  EXPECT_EQ(header.attribute_starts[2], 13);
  EXPECT_EQ(header.attribute_sizes[2], 2);
  EXPECT_EQ(header.get_attribute_index("height"), 2);
  EXPECT_EQ(header.get_attribute_index("none"), -1);
}

TEST(LASheader, WavePacketSlots) {
  LASheader header;
  unsigned char descr[27] = {8, 0, 100, 0, 0, 0};
  EXPECT_FALSE(header.set_wave_packet_descr(99, descr));
  EXPECT_FALSE(header.set_wave_packet_descr(355, descr));
  ASSERT_TRUE(header.set_wave_packet_descr(100, descr));
  ASSERT_NE(header.vlr_wave_packet_descr, nullptr);
  ASSERT_NE(header.vlr_wave_packet_descr[1], nullptr);
  EXPECT_EQ(header.vlr_wave_packet_descr[1]->getBitsPerSample(), 8);
  EXPECT_EQ(header.vlr_wave_packet_descr[1]->getNumberOfSamples(), 100u);
  EXPECT_EQ(header.vlr_wave_packet_descr[0], nullptr);
}

LASitem item(uint32_t type, uint16_t size) {
  LASitem i;
  i.type = type;
  i.size = size;
  return i;
}

TEST(LASpoint, BitFieldsMatchItemLayout) {
  LASpoint point;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&point);
  EXPECT_EQ(bytes[14], 9) << "a fresh point is return 1 of 1";
  EXPECT_EQ(bytes[24], 17);
  bytes[14] = 0xC0 | (3 << 3) | 2;
  bytes[15] = 0x80 | 17;
  bytes[22] = 0x81 | (2 << 2);
  bytes[24] = (5 << 4) | 4;
  EXPECT_EQ(point.return_number, 2);
  EXPECT_EQ(point.number_of_returns, 3);
  EXPECT_EQ(point.scan_direction_flag, 1);
  EXPECT_EQ(point.edge_of_flight_line, 1);
  EXPECT_EQ(point.classification, 17);
  EXPECT_EQ(point.withheld_flag, 1);
  EXPECT_EQ(point.synthetic_flag, 0);
  EXPECT_EQ(point.extended_point_type, 1);
  EXPECT_EQ(point.extended_scanner_channel, 2);
  EXPECT_EQ(point.extended_classification_flags, 8);
  EXPECT_EQ(point.extended_return_number, 4);
  EXPECT_EQ(point.extended_number_of_returns, 5);
}

TEST(LASpoint, InitLaysOutItemBuffers) {
  LASheader header;
  // Two BYTE items share one extra-bytes block.
  const LASitem items[6] = {item(LASitem::POINT10, 20),      item(LASitem::GPSTIME11, 8), item(LASitem::RGB12, 6),
                            item(LASitem::WAVEPACKET13, 29), item(LASitem::BYTE, 3),      item(LASitem::BYTE, 2)};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 6, items, &header));
  EXPECT_EQ(point.num_items, 6);
  EXPECT_EQ(point.total_point_size, 68u);
  EXPECT_EQ(point.point[0], reinterpret_cast<uint8_t*>(&point));
  EXPECT_EQ(point.point[1], reinterpret_cast<uint8_t*>(&point.gps_time));
  EXPECT_EQ(point.point[2], reinterpret_cast<uint8_t*>(point.rgb));
  EXPECT_EQ(point.point[3], point.wavepacket);
  EXPECT_EQ(point.point[4], point.extra_bytes);
  EXPECT_EQ(point.point[5], point.extra_bytes + 3);
  EXPECT_EQ(point.extra_bytes_number, 5);
  EXPECT_TRUE(point.have_gps_time);
  EXPECT_TRUE(point.have_rgb);
  EXPECT_FALSE(point.have_nir);
  EXPECT_TRUE(point.have_wavepacket);
  EXPECT_EQ(point.extended_point_type, 0);

  const LASitem items14[3] = {item(LASitem::POINT14, 30), item(LASitem::RGBNIR14, 8), item(LASitem::BYTE14, 4)};
  ASSERT_TRUE(point.init(&header, 3, items14, &header));
  EXPECT_EQ(point.point[0], reinterpret_cast<uint8_t*>(&point));
  EXPECT_TRUE(point.have_gps_time);
  EXPECT_TRUE(point.have_nir);
  EXPECT_EQ(point.extended_point_type, 1);
  EXPECT_EQ(point.extra_bytes_number, 4);
  EXPECT_EQ(point.total_point_size, 42u);
  // The 48-byte POINT14 buffer ends right before the colour.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&point.gps_time) - reinterpret_cast<uint8_t*>(&point), 32);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(point.rgb) - reinterpret_cast<uint8_t*>(&point), 40);
}

class RejectedItems : public ::testing::TestWithParam<LASitem> {};

TEST_P(RejectedItems, InitFails) {
  LASheader header;
  const LASitem items[2] = {item(LASitem::POINT10, 20), GetParam()};
  LASpoint point;
  EXPECT_FALSE(point.init(&header, 2, items, &header));
  EXPECT_EQ(point.num_items, 0);
  EXPECT_EQ(point.point, nullptr);
  EXPECT_EQ(point.total_point_size, 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, RejectedItems,
                         ::testing::Values(item(1, 2), item(5, 8), item(15, 4), item(LASitem::RGB12, 8),
                                           item(LASitem::GPSTIME11, 4), item(LASitem::WAVEPACKET14, 30),
                                           item(LASitem::POINT14, 20)));

}  // namespace
