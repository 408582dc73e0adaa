// Files of every point format and version written by LASwriterLAS and read
// back: header, records, the points byte for byte (also after seeks), counts.
#include <gtest/gtest.h>

#include <algorithm>  // min, max
#include <cstring>    // memcmp
#include <string>     // paths, messages
#include <tuple>      // parameters, field groups
#include <vector>     // message lists, user data

#include "lasio/lasreaderlas.hpp"            // LASreaderLAS
#include "tests/lasio/las_file_helpers.hpp"  // make_header, write_points, is_filled_point
#include "tests/support/test_support.hpp"    // TempDir

namespace {

using lastest::Messages;
using Names = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

// Whether a version allows a point format (as the reader judges it).
bool allowed(int minor, int format) {
  if (minor <= 1) return format <= 1;
  if (minor == 2) return format <= 3;
  if (minor == 3) return format <= 5;
  if (minor >= 5) return format > 5;
  return true;
}

// Version minor, point format, index into kStorages.
class RoundTrip : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(RoundTrip, HeaderRecordsAndPointsComeBackUnchanged) {
  const int minor = std::get<0>(GetParam()), format = std::get<1>(GetParam());
  const lastest::Storage& storage = lastest::kStorages[std::get<2>(GetParam())];
  const bool compressed = storage.compressor != PTcomp::COMPRESSOR_NONE;
  const int count = 3500, extra = format == 2 ? 17 : format % 2 * 3;  // more points than a read block
  Messages messages;
  testsupport::TempDir dir;
  const std::string path = dir.file("round.las");

  LASheader h;
  lastest::make_header(h, minor, format, extra);
  if (minor >= 5) {
    h.min_gps_time = 1.5;
    h.max_gps_time = 99.25;
    h.time_offset = 7;
  }
  h.user_data_in_header = new unsigned char[5]{1, 2, 3, 4, 5};
  h.user_data_in_header_size = 5;
  h.user_data_after_header = new unsigned char[7]{9, 8, 7, 6, 5, 4, 3};
  h.user_data_after_header_size = 7;
  const char wkt[] = "PROJCS[\"test\"]";
  ASSERT_TRUE(h.add_vlr("LASF_Projection", 2112, sizeof(wkt), (unsigned char*)wkt, false, "wkt"));
  const unsigned char payload[80] = {42};
  ASSERT_TRUE(h.add_vlr("Raster PTC", 7113, 80, (unsigned char*)payload, false, "raster"));
  unsigned char evlr_payload[3] = {0xAB, 0xCD, 0xEF};
  ASSERT_TRUE(minor < 4 || h.add_evlr("someone", 17, 3, evlr_payload, false, "an evlr"));
  ASSERT_TRUE(lastest::write_points(path, h, count, storage)) << messages.dump();

  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(path.c_str())) << messages.dump();
  const LASheader& r = reader.header;
  EXPECT_EQ(std::make_tuple(r.version_minor, r.point_data_format, r.point_data_record_length),
            std::make_tuple(uint8_t(minor), uint8_t(format), uint16_t(lastest::standard_size(format) + extra)));
  EXPECT_EQ(std::make_tuple(r.file_source_ID, r.global_encoding, r.project_ID_GUID_data_1, r.project_ID_GUID_data_2,
                            r.project_ID_GUID_data_3, r.project_ID_GUID_data_4[7], r.file_creation_day,
                            r.file_creation_year),
            std::make_tuple(77, 1, 0xDEADBEEFu, 0x1234, 0x5678, 8, 200, 2024));
  EXPECT_STREQ(r.system_identifier, "test system");
  EXPECT_STREQ(r.generating_software, "lasio tests");
  EXPECT_EQ(std::make_tuple(r.x_scale_factor, r.y_scale_factor, r.z_scale_factor, r.x_offset, r.y_offset, r.z_offset),
            std::make_tuple(0.01, 0.001, 0.1, 1000.0, -2000.0, 5.0));
  EXPECT_EQ(r.header_size, h.get_version_header_size() + 5);
  EXPECT_EQ(Bytes(r.user_data_in_header, r.user_data_in_header + r.user_data_in_header_size),
            (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(Bytes(r.user_data_after_header, r.user_data_after_header + r.user_data_after_header_size),
            (Bytes{9, 8, 7, 6, 5, 4, 3}));
  // The compressor's settings record is consumed: neither listed nor counted.
  ASSERT_EQ(r.number_of_variable_length_records, 2u);
  EXPECT_STREQ(r.vlr_geo_ogc_wkt, wkt);
  EXPECT_EQ(std::make_tuple(r.vlrs[1].record_id, r.vlrs[1].record_length_after_header, r.vlrs[1].data[0]),
            std::make_tuple(7113, 80, 42));
  EXPECT_STREQ(r.vlrs[1].description, "raster");
  EXPECT_EQ(r.offset_to_point_data, r.header_size + 54u + sizeof(wkt) + 54u + 80u + 7u);
  EXPECT_EQ(reader.get_format(), compressed ? 2 : 1);
  if (compressed) {
    ASSERT_NE(r.ptcomp, nullptr);
    EXPECT_EQ(r.ptcomp->chunk_size, storage.chunk_size);
  }
  if (minor >= 4) {
    ASSERT_EQ(r.number_of_extended_variable_length_records, 1u);
    EXPECT_EQ(std::make_tuple(r.evlrs[0].record_id, r.evlrs[0].record_length_after_header), std::make_tuple(17, 3ull));
    EXPECT_EQ(0, memcmp(r.evlrs[0].data, evlr_payload, 3));
    EXPECT_STREQ(r.evlrs[0].description, "an evlr");
    EXPECT_EQ(r.extended_number_of_point_records, uint64_t(count));
    EXPECT_EQ(r.number_of_point_records, format <= 5 ? uint32_t(count) : 0u);
  } else {
    EXPECT_EQ(r.number_of_extended_variable_length_records, 0u);
    EXPECT_EQ(r.number_of_point_records, uint32_t(count));
  }
  if (minor >= 5) {
    EXPECT_EQ(std::make_tuple(r.min_gps_time, r.max_gps_time, r.time_offset), std::make_tuple(1.5, 99.25, 7));
  }
  EXPECT_EQ(reader.npoints, count);

  // The points, and the inventory patched into the header.
  int32_t min_X = INT32_MAX, max_X = INT32_MIN, min_Z = INT32_MAX, max_Z = INT32_MIN;
  uint32_t by_return[16] = {0};
  for (int i = 0; i < count; i++) {
    ASSERT_TRUE(reader.read_point()) << i << messages.dump();
    ASSERT_TRUE(lastest::is_filled_point(reader.point, h, i));
    min_X = std::min(min_X, reader.point.X);
    max_X = std::max(max_X, reader.point.X);
    min_Z = std::min(min_Z, reader.point.Z);
    max_Z = std::max(max_Z, reader.point.Z);
    by_return[reader.point.get_return_number()]++;
  }
  EXPECT_FALSE(reader.read_point());
  EXPECT_DOUBLE_EQ(r.min_x, h.get_x(min_X));
  EXPECT_DOUBLE_EQ(r.max_x, h.get_x(max_X));
  EXPECT_DOUBLE_EQ(r.min_z, h.get_z(min_Z));
  EXPECT_DOUBLE_EQ(r.max_z, h.get_z(max_Z));
  for (int k = 0; k < 5 && r.number_of_point_records; k++) EXPECT_EQ(r.number_of_points_by_return[k], by_return[k + 1]);
  for (int k = 0; k < 15 && minor >= 4; k++) EXPECT_EQ(r.extended_number_of_points_by_return[k], by_return[k + 1]);

  // Seeks to the last point, back to the first, across chunk edges and
  // into a later read block (a point-wise compressed stream cannot seek).
  EXPECT_FALSE(reader.seek(count));
  EXPECT_FALSE(reader.seek(-1));
  for (int target : {count - 1, 0, 63, 64, 65, 3300, 17}) {
    if (storage.compressor == PTcomp::COMPRESSOR_POINTWISE) break;
    ASSERT_TRUE(reader.seek(target)) << target;
    ASSERT_TRUE(reader.read_point()) << target;
    ASSERT_TRUE(lastest::is_filled_point(reader.point, h, target));
    EXPECT_EQ(reader.p_count, target + 1);
  }

  // Only the version/format warning, and only where the pair is not allowed.
  const std::string mismatch =
      "LAS version 1." + std::to_string(minor) + " does not allow point format " + std::to_string(format);
  EXPECT_EQ(messages.texts(LAS_WARNING), allowed(minor, format) ? Names{} : Names{mismatch});
  EXPECT_EQ(messages.at_least(LAS_ERROR), 0) << messages.dump();
}

std::string round_trip_name(const ::testing::TestParamInfo<RoundTrip::ParamType>& info) {
  return "v1_" + std::to_string(std::get<0>(info.param)) + "_format" + std::to_string(std::get<1>(info.param)) +
         lastest::kStorages[std::get<2>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(EveryVersionAndFormat, RoundTrip,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Range(0, 11), ::testing::Values(0)),
                         round_trip_name);
INSTANTIATE_TEST_SUITE_P(Compressed, RoundTrip,
                         ::testing::Combine(::testing::Values(3, 4), ::testing::Range(0, 6), ::testing::Range(1, 4)),
                         round_trip_name);

}  // namespace
