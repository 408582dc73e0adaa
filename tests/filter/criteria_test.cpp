// Filter criteria: parse, rendering and the points kept at and around each
// option's boundaries; every option error with its text and exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filter/lasfilter.hpp"
#include "las/lasselective.hpp"
#include "lasio/lasreaderlas.hpp"
#include "lasio/lasreadopener.hpp"
#include "tests/lasio/las_file_helpers.hpp"

namespace {

namespace S = LASselective;

// Which fields a point value sets; XY, XYZ, IXY, RGB3, NIR_RED and INT_RED
// take two or three values per point. RET is r * 10 + n on a legacy point,
// ERET r * 100 + n on an extended one; ECLS, EANG and ERET make extended
// points; ATTR is extra attribute 0 (int16, scale 0.5).
enum Field { NONE, X, Y, Z, XY, XYZ, IX, IY, IZ, IXY, RET, ERET, DIR, EDGE, CHAN, INTEN, CLS, ECLS, SYN, KEY, WH,
             OVL, UD, PSID, ANG, EANG, GPS, RED, NIR, RGB3, NIR_RED, INT_RED, WAVE, ATTR };

int arity(Field f) { return f == XY || f == IXY || f == NIR_RED || f == INT_RED ? 2 : (f == XYZ || f == RGB3 ? 3 : 1); }

struct Points {
  LASquantizer quantizer;
  LASattributer attributer;
  LASpoint point;
  Points() {
    quantizer.x_scale_factor = quantizer.y_scale_factor = quantizer.z_scale_factor = 0.25;
    LASattribute a(4, "height");
    a.options = 0x08;
    a.scale[0] = 0.5;
    attributer.add_attribute(a);
    const LASitem items[2] = {{LASitem::POINT10, 20, 0}, {LASitem::BYTE, 2, 0}};
    point.init(&quantizer, 2, items, &attributer);
  }
  // A fresh point with the field set from v.
  const LASpoint* make(Field f, const double* v) {
    LASpoint& p = point;
    p.zero();
    const auto q = [](double w) { return static_cast<int32_t>(w / 0.25); };
    const int i = static_cast<int>(v[0]);
    const int16_t raw = static_cast<int16_t>(v[0] / 0.5);
    p.extended_point_type = f == ERET || f == ECLS || f == EANG;
    switch (f) {
      case NONE: break;
      case X: p.X = q(v[0]); break;
      case Y: p.Y = q(v[0]); break;
      case Z: p.Z = q(v[0]); break;
      case XYZ: p.Z = q(v[2]); [[fallthrough]];
      case XY: p.X = q(v[0]); p.Y = q(v[1]); break;
      case IX: p.X = i; break;
      case IY: p.Y = i; break;
      case IZ: p.Z = i; break;
      case IXY: p.X = i; p.Y = static_cast<int32_t>(v[1]); break;
      case RET: p.return_number = i / 10; p.number_of_returns = i % 10; break;
      case ERET: p.extended_return_number = i / 100; p.extended_number_of_returns = i % 100; break;
      case DIR: p.scan_direction_flag = i; break;
      case EDGE: p.edge_of_flight_line = i; break;
      case CHAN: p.extended_scanner_channel = i; break;
      case INTEN: p.intensity = static_cast<uint16_t>(i); break;
      case CLS: p.classification = i; break;
      case ECLS: p.extended_classification = static_cast<uint8_t>(i); p.classification = i < 32 ? i : 0; break;
      case SYN: p.synthetic_flag = i; break;
      case KEY: p.keypoint_flag = i; break;
      case WH: p.withheld_flag = i; break;
      case OVL: p.extended_classification_flags = i ? 8 : 0; break;
      case UD: p.user_data = static_cast<uint8_t>(i); break;
      case PSID: p.point_source_ID = static_cast<uint16_t>(i); break;
      case ANG: p.scan_angle_rank = static_cast<int8_t>(i); break;
      case EANG: p.extended_scan_angle = static_cast<int16_t>(v[0] / 0.006 + 0.5); break;
      case GPS: p.gps_time = v[0]; break;
      case RED: p.rgb[0] = static_cast<uint16_t>(i); break;
      case NIR: p.rgb[3] = static_cast<uint16_t>(i); break;
      case RGB3: for (int k = 0; k < 3; k++) p.rgb[k] = static_cast<uint16_t>(v[k]); break;
      case NIR_RED: p.rgb[3] = static_cast<uint16_t>(i); p.rgb[0] = static_cast<uint16_t>(v[1]); break;
      case INT_RED: p.intensity = static_cast<uint16_t>(i); p.rgb[0] = static_cast<uint16_t>(v[1]); break;
      case WAVE: p.wavepacket[0] = static_cast<uint8_t>(i); break;
      case ATTR: memcpy(p.extra_bytes, &raw, 2); break;
    }
    return &p;
  }
};

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::string command;  // unparse text
  uint32_t mask;        // decoding mask
  Field field;
  std::vector<double> values;  // arity(field) values per point, in reading order
  std::string expect;          // per point: K kept, D dropped, ? either
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
class Criteria : public ::testing::TestWithParam<Case> {};

TEST_P(Criteria, ParseRenderFilter) {
  const Case& c = GetParam();
  lastest::Messages messages;
  testsupport::Argv a(c.args);
  LASfilter filter;
  ASSERT_TRUE(filter.parse(a.argc(), a.argv()));
  EXPECT_TRUE(a.left().empty());
  ASSERT_EQ(filter.num_criteria, 1u);
  char text[4096];
  EXPECT_EQ(filter.unparse(text), static_cast<int>(c.command.size()));
  EXPECT_EQ(text, c.command);
  EXPECT_EQ(filter.get_decompress_selective(), c.mask);
  Points points;
  const size_t n = arity(c.field);
  ASSERT_EQ(c.values.size(), n * c.expect.size());
  std::string first;
  for (int pass = 0; pass < 2; pass++) {  // the second pass after reset() must repeat the first
    std::string got;
    for (size_t k = 0; k < c.expect.size(); k++) got += filter.filter(points.make(c.field, &c.values[k * n])) ? 'D' : 'K';
    for (size_t k = 0; k < got.size(); k++) {
      if (c.expect[k] != '?') {
        EXPECT_EQ(got[k], c.expect[k]) << "point " << k;
      }
    }
    if (pass == 0) first = got;
    EXPECT_EQ(got, first);
    EXPECT_EQ(filter.counters[0], static_cast<uint32_t>(std::count(got.begin(), got.end(), 'D')));
    filter.reset();
  }
}

const double kL = -1e8;  // far outside

INSTANTIATE_TEST_SUITE_P(
    Filter, Criteria,
    ::testing::Values(
        Case{"keep_tile", {"-keep_tile", "10", "20", "5"}, "-keep_tile 10 20 5 ", 0, XY, {10, 20, 14.75, 24.75, 15, 20, 10, 25, 9.75, 22}, "KKDDD"},
        Case{"keep_circle", {"-keep_circle", "0", "0", "5"}, "-keep_circle 0.000000 0.000000 5.000000 ", 0, XY, {3, 4, 3, 3.75, -4.75, 0}, "DKK"},
        Case{"keep_xyz", {"-keep_xyz", "0", "0", "0", "1", "1", "1"}, "-keep_xyz 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000 ", S::Z, XYZ, {0, 0, 0, 0.75, 0.75, 0.75, 0.75, 0.75, 1, 0, -0.25, 0}, "KKDD"},
        Case{"drop_xyz", {"-drop_xyz", "0", "0", "0", "1", "1", "1"}, "-drop_xyz 0.000000 0.000000 0.000000 1.000000 1.000000 1.000000 ", S::Z, XYZ, {0, 0, 0, 1, 0.5, 0.5}, "DK"},
        Case{"keep_profile", {"-keep_profile", "0", "0", "10", "0", "2"}, "-keep_profile 0.000000 0.000000 10.000000 0.000000 2.000000 ", 0, XY, {0, 0, 9.75, 0.75, 10, 0, -0.25, 0, 5, 1, 5, -1}, "KKDDDD"},
        Case{"keep_xy", {"-keep_xy", "0", "0", "1", "2"}, "-keep_xy 0.000000 0.000000 1.000000 2.000000 ", 0, XY, {0, 0, 0.75, 1.75, 1, 1, 0.5, 2}, "KKDD"},
        Case{"drop_xy", {"-drop_xy", "0", "0", "1", "2"}, "-drop_xy 0.000000 0.000000 1.000000 2.000000 ", 0, XY, {0, 0, 1, 1}, "DK"},
        Case{"keep_XY", {"-keep_XY", "-5", "0", "5", "9"}, "-keep_XY -5 0 5 9 ", 0, IXY, {-5, 0, 4, 8, 5, 0, 0, 9}, "KKDD"},
        Case{"keep_x", {"-keep_x", "1", "2"}, "-keep_x 1.000000 2.000000 ", 0, X, {0.75, 1, 1.75, 2}, "DKKD"},
        Case{"drop_x", {"-drop_x", "1", "2"}, "-drop_x 1.000000 2.000000 ", 0, X, {0.75, 1, 1.75, 2}, "KDDK"},
        Case{"keep_y", {"-keep_y", "1", "2"}, "-keep_y 1.000000 2.000000 ", 0, Y, {0.75, 1, 2}, "DKD"},
        Case{"drop_y", {"-drop_y", "1", "2"}, "-drop_y 1.000000 2.000000 ", 0, Y, {0.75, 1, 2}, "KDK"},
        Case{"keep_z", {"-keep_z", "1", "2"}, "-keep_z 1.000000 2.000000 ", S::Z, Z, {0.75, 1, 2}, "DKD"},
        Case{"drop_z", {"-drop_z", "1", "2"}, "-drop_z 1.000000 2.000000 ", S::Z, Z, {0.75, 1, 2}, "KDK"},
        Case{"drop_x_below", {"-drop_x_below", "1.5"}, "-drop_x_below 1.500000 ", 0, X, {1.25, 1.5}, "DK"},
        Case{"drop_x_above", {"-drop_x_above", "1.5"}, "-drop_x_above 1.500000 ", 0, X, {1.5, 1.75}, "KD"},
        Case{"drop_y_below", {"-drop_y_below", "-1"}, "-drop_y_below -1.000000 ", 0, Y, {-1.25, -1}, "DK"},
        Case{"drop_y_above", {"-drop_y_above", "-1"}, "-drop_y_above -1.000000 ", 0, Y, {-1, -0.75}, "KD"},
        Case{"drop_z_below", {"-drop_z_below", "0"}, "-drop_z_below 0.000000 ", S::Z, Z, {-0.25, 0}, "DK"},
        Case{"drop_z_above", {"-drop_z_above", "0"}, "-drop_z_above 0.000000 ", S::Z, Z, {0, 0.25}, "KD"},
        Case{"keep_X", {"-keep_X", "-3", "7"}, "-keep_X -3 7 ", 0, IX, {-4, -3, 6, 7}, "DKKD"},
        Case{"drop_X", {"-drop_X", "-3", "7"}, "-drop_X -3 7 ", 0, IX, {-4, -3, 6, 7}, "KDDK"},
        Case{"keep_Y", {"-keep_Y", "0", "1"}, "-keep_Y 0 1 ", 0, IY, {-1, 0, 1}, "DKD"},
        Case{"drop_Y", {"-drop_Y", "0", "1"}, "-drop_Y 0 1 ", 0, IY, {-1, 0, 1}, "KDK"},
        Case{"keep_Z", {"-keep_Z", "0", "1"}, "-keep_Z 0 1 ", S::Z, IZ, {-1, 0, 1}, "DKD"},
        Case{"drop_Z", {"-drop_Z", "0", "1"}, "-drop_Z 0 1 ", S::Z, IZ, {-1, 0, 1}, "KDK"},
        Case{"drop_X_below", {"-drop_X_below", "5"}, "-drop_X_below 5 ", 0, IX, {4, 5}, "DK"},
        Case{"drop_X_above", {"-drop_X_above", "5"}, "-drop_X_above 5 ", 0, IX, {5, 6}, "KD"},
        Case{"drop_Y_below", {"-drop_Y_below", "5"}, "-drop_Y_below 5 ", 0, IY, {4, 5}, "DK"},
        Case{"drop_Y_above", {"-drop_Y_above", "5"}, "-drop_Y_above 5 ", 0, IY, {5, 6}, "KD"},
        Case{"drop_Z_below", {"-drop_Z_below", "5"}, "-drop_Z_below 5 ", S::Z, IZ, {4, 5}, "DK"},
        Case{"drop_Z_above", {"-drop_Z_above", "5"}, "-drop_Z_above 5 ", S::Z, IZ, {5, 6}, "KD"},
        // returns: r * 10 + n (legacy), r * 100 + n (extended)
        Case{"keep_first", {"-keep_first"}, "-keep_first ", 0, RET, {11, 13, 23}, "KKD"},
        Case{"first_only", {"-first_only"}, "-keep_first ", 0, ERET, {101, 1515}, "KD"},
        Case{"keep_first_of_many", {"-keep_first_of_many"}, "-keep_first_of_many ", 0, RET, {11, 12, 22}, "DKD"},
        Case{"keep_middle", {"-keep_middle"}, "-keep_middle ", 0, RET, {13, 23, 33, 22}, "DKDD"},
        Case{"keep_last", {"-keep_last"}, "-keep_last ", 0, RET, {11, 12, 22}, "KDK"},
        Case{"last_only", {"-last_only"}, "-keep_last ", 0, ERET, {1415, 1515}, "DK"},
        Case{"keep_last_of_many", {"-keep_last_of_many"}, "-keep_last_of_many ", 0, RET, {11, 22}, "DK"},
        Case{"keep_second_last", {"-keep_second_last"}, "-keep_second_last ", 0, RET, {11, 12, 23, 33}, "DKKD"},
        Case{"drop_first", {"-drop_first"}, "-drop_first ", 0, RET, {11, 23}, "DK"},
        Case{"drop_first_of_many", {"-drop_first_of_many"}, "-drop_first_of_many ", 0, RET, {11, 12}, "KD"},
        Case{"drop_middle", {"-drop_middle"}, "-drop_middle ", 0, RET, {13, 23, 33}, "KDK"},
        Case{"drop_last", {"-drop_last"}, "-drop_last ", 0, RET, {11, 12}, "DK"},
        Case{"drop_last_of_many", {"-drop_last_of_many"}, "-drop_last_of_many ", 0, RET, {11, 22}, "KD"},
        Case{"drop_second_last", {"-drop_second_last"}, "-drop_second_last ", 0, RET, {12, 22}, "DK"},
        Case{"keep_return", {"-keep_return", "1", "15"}, "-keep_return_mask 32770 ", 0, ERET, {101, 202, 1515}, "KDK"},
        Case{"drop_return_mask", {"-drop_return_mask", "4"}, "-drop_return_mask 4 ", 0, RET, {12, 23}, "KD"},
        Case{"keep_single", {"-keep_single"}, "-keep_single ", 0, RET, {11, 12}, "KD"},
        Case{"keep_double", {"-keep_double"}, "-keep_double ", 0, RET, {12, 13}, "KD"},
        Case{"keep_triple", {"-keep_triple"}, "-keep_triple ", 0, RET, {13, 14}, "KD"},
        Case{"keep_quadruple", {"-keep_quadruple"}, "-keep_quadruple ", 0, RET, {14, 15}, "KD"},
        Case{"drop_quintuple", {"-drop_quintuple"}, "-drop_quintuple ", 0, RET, {15, 14}, "DK"},
        Case{"keep_number_of_returns", {"-keep_number_of_returns", "15"}, "-keep_number_of_returns 15 ", 0, ERET, {1515, 114}, "KD"},
        Case{"drop_number_of_returns", {"-drop_number_of_returns", "0"}, "-drop_number_of_returns 0 ", 0, RET, {10, 11}, "DK"},
        // scanline flags
        Case{"drop_scan_direction", {"-drop_scan_direction", "1"}, "-drop_scan_direction 1 ", S::FLAGS, DIR, {0, 1}, "KD"},
        Case{"keep_scan_direction_change", {"-keep_scan_direction_change"}, "-keep_scan_direction_change ", S::FLAGS, DIR, {0, 0, 1, 1, 0}, "DDKDK"},
        Case{"keep_edge_of_flight_line", {"-keep_edge_of_flight_line"}, "-keep_edge_of_flight_line ", S::FLAGS, EDGE, {0, 1}, "DK"},
        Case{"drop_edge_of_flight_line", {"-drop_edge_of_flight_line"}, "-drop_edge_of_flight_line ", S::FLAGS, EDGE, {0, 1}, "KD"},
        Case{"keep_scanner_channel", {"-keep_scanner_channel", "3"}, "-keep_scanner_channel 3 ", 0, CHAN, {2, 3}, "DK"},
        Case{"drop_scanner_channel", {"-drop_scanner_channel", "0"}, "-drop_scanner_channel 0 ", 0, CHAN, {0, 1}, "DK"},
        // intensity: ranges closed
        Case{"keep_intensity", {"-keep_intensity", "10", "20"}, "-keep_intensity 10 20 ", S::INTENSITY, INTEN, {9, 10, 20, 21}, "DKKD"},
        Case{"keep_intensity_below", {"-keep_intensity_below", "10"}, "-keep_intensity_below 10 ", S::INTENSITY, INTEN, {9, 10}, "KD"},
        Case{"keep_intensity_above", {"-keep_intensity_above", "10"}, "-keep_intensity_above 10 ", S::INTENSITY, INTEN, {10, 11}, "DK"},
        Case{"drop_intensity_below", {"-drop_intensity_below", "10"}, "-drop_intensity_below 10 ", S::INTENSITY, INTEN, {9, 10}, "DK"},
        Case{"drop_intensity_above", {"-drop_intensity_above", "65534"}, "-drop_intensity_above 65534 ", S::INTENSITY, INTEN, {65534, 65535}, "KD"},
        Case{"drop_intensity_between", {"-drop_intensity_between", "10", "20"}, "-drop_intensity_between 10 20 ", S::INTENSITY, INTEN, {9, 10, 20, 21}, "KDDK"},
        // classes and flags
        Case{"keep_class", {"-keep_class", "2", "8"}, "-keep_class 2 8 ", S::CLASSIFICATION, ECLS, {2, 8, 0, 3, 40}, "KKDDD"},
        Case{"keep_classification_mask", {"-keep_classification_mask", "0x1"}, "-keep_class 0 ", S::CLASSIFICATION, ECLS, {0, 1, 40}, "KDD"},
        Case{"keep_nothing", {"-keep_classification_mask", "0"}, "-keep_classification_mask 0 ", S::CLASSIFICATION, CLS, {0, 31}, "DD"},
        Case{"drop_class", {"-drop_class", "31", "0"}, "-drop_class 0 31 ", S::CLASSIFICATION, ECLS, {0, 31, 1, 40}, "DDKK"},
        Case{"keep_extended_class", {"-keep_extended_class", "40"}, "-keep_extended_class 40 ", S::CLASSIFICATION, ECLS, {40, 41, 8}, "KDD"},
        Case{"drop_extended_class", {"-drop_extended_class", "255", "2"}, "-drop_extended_class 2 255 ", S::CLASSIFICATION, ECLS, {255, 2, 254}, "DDK"},
        Case{"drop_synthetic", {"-drop_synthetic"}, "-drop_synthetic ", S::FLAGS, SYN, {0, 1}, "KD"},
        Case{"keep_synthetic", {"-keep_synthetic"}, "-keep_synthetic ", S::FLAGS, SYN, {0, 1}, "DK"},
        Case{"drop_keypoint", {"-drop_keypoint"}, "-drop_keypoint ", S::FLAGS, KEY, {0, 1}, "KD"},
        Case{"keep_keypoint", {"-keep_keypoint"}, "-keep_keypoint ", S::FLAGS, KEY, {0, 1}, "DK"},
        Case{"drop_withheld", {"-drop_withheld"}, "-drop_withheld ", S::FLAGS, WH, {0, 1}, "KD"},
        Case{"keep_withheld", {"-keep_withheld"}, "-keep_withheld ", S::FLAGS, WH, {0, 1}, "DK"},
        Case{"drop_overlap", {"-drop_overlap"}, "-drop_overlap ", S::FLAGS, OVL, {0, 1}, "KD"},
        Case{"keep_overlap", {"-keep_overlap"}, "-keep_overlap ", S::FLAGS, OVL, {0, 1}, "DK"},
        // user data, point source: ranges closed
        Case{"keep_user_data", {"-keep_user_data", "7"}, "-keep_user_data 7 ", S::USER_DATA, UD, {6, 7, 8}, "DKD"},
        Case{"keep_user_data_below", {"-keep_user_data_below", "7"}, "-keep_user_data_below 7 ", S::USER_DATA, UD, {6, 7}, "KD"},
        Case{"keep_user_data_above", {"-keep_user_data_above", "7"}, "-keep_user_data_above 7 ", S::USER_DATA, UD, {7, 8}, "DK"},
        Case{"keep_user_data_between", {"-keep_user_data_between", "7", "9"}, "-keep_user_data_between 7 9 ", S::USER_DATA, UD, {6, 7, 9, 10}, "DKKD"},
        Case{"drop_user_data", {"-drop_user_data", "255"}, "-drop_user_data 255 ", S::USER_DATA, UD, {254, 255}, "KD"},
        Case{"drop_user_data_below", {"-drop_user_data_below", "7"}, "-drop_user_data_below 7 ", S::USER_DATA, UD, {6, 7}, "DK"},
        Case{"drop_user_data_above", {"-drop_user_data_above", "7"}, "-drop_user_data_above 7 ", S::USER_DATA, UD, {7, 8}, "KD"},
        Case{"drop_user_data_between", {"-drop_user_data_between", "7", "9"}, "-drop_user_data_between 7 9 ", S::USER_DATA, UD, {6, 7, 9, 10}, "KDDK"},
        Case{"keep_point_source", {"-keep_point_source", "65535"}, "-keep_point_source 65535 ", S::POINT_SOURCE, PSID, {65534, 65535}, "DK"},
        Case{"keep_point_source_between", {"-keep_point_source_between", "2", "4"}, "-keep_point_source_between 2 4 ", S::POINT_SOURCE, PSID, {1, 2, 4, 5}, "DKKD"},
        Case{"drop_point_source", {"-drop_point_source", "3"}, "-drop_point_source 3 ", S::POINT_SOURCE, PSID, {3, 4}, "DK"},
        Case{"drop_point_source_below", {"-drop_point_source_below", "3"}, "-drop_point_source_below 3 ", S::POINT_SOURCE, PSID, {2, 3}, "DK"},
        Case{"drop_point_source_above", {"-drop_point_source_above", "3"}, "-drop_point_source_above 3 ", S::POINT_SOURCE, PSID, {3, 4}, "KD"},
        Case{"drop_point_source_between", {"-drop_point_source_between", "2", "4"}, "-drop_point_source_between 2 4 ", S::POINT_SOURCE, PSID, {1, 2, 4, 5}, "KDDK"},
        // scan angle (degrees), GPS time: ranges closed
        Case{"keep_scan_angle", {"-keep_scan_angle", "-15", "15"}, "-keep_scan_angle -15.000 15.000 ", S::SCAN_ANGLE, ANG, {-16, -15, 15, 16}, "DKKD"},
        Case{"keep_extended_scan_angle", {"-keep_scan_angle", "-15", "15"}, "-keep_scan_angle -15.000 15.000 ", S::SCAN_ANGLE, EANG, {-15.6, 14.4, 30}, "DKD"},
        Case{"drop_scan_angle_below", {"-drop_scan_angle_below", "-15"}, "-drop_scan_angle_below -15.000 ", S::SCAN_ANGLE, ANG, {-16, -15}, "DK"},
        Case{"drop_scan_angle_above", {"-drop_scan_angle_above", "15"}, "-drop_scan_angle_above 15.000 ", S::SCAN_ANGLE, ANG, {15, 16}, "KD"},
        Case{"drop_scan_angle_between", {"-drop_scan_angle_between", "-1", "1"}, "-drop_scan_angle_between -1.000 1.000 ", S::SCAN_ANGLE, ANG, {-2, -1, 1, 2}, "KDDK"},
        Case{"drop_abs_scan_angle_above", {"-drop_abs_scan_angle_above", "10"}, "-drop_abs_scan_angle_above 10.000 ", S::SCAN_ANGLE, ANG, {-11, -10, 10, 11}, "DKKD"},
        Case{"drop_abs_scan_angle_below", {"-drop_abs_scan_angle_below", "2"}, "-drop_abs_scan_angle_below 2.000 ", S::SCAN_ANGLE, ANG, {-1, -2, 3}, "DKK"},
        Case{"keep_gps_time", {"-keep_gpstime", "1.5", "2.5"}, "-keep_gps_time 1.500000 2.500000 ", S::GPS_TIME, GPS, {1.25, 1.5, 2.5, 2.75}, "DKKD"},
        Case{"drop_gps_time_below", {"-drop_gps_time_below", "1.5"}, "-drop_gps_time_below 1.500000 ", S::GPS_TIME, GPS, {1.25, 1.5}, "DK"},
        Case{"drop_gps_time_above", {"-drop_gps_time_above", "1.5"}, "-drop_gps_time_above 1.500000 ", S::GPS_TIME, GPS, {1.5, 1.75}, "KD"},
        Case{"drop_gps_time_between", {"-drop_gpstime_between", "1", "2"}, "-drop_gps_time_between 1.000000 2.000000 ", S::GPS_TIME, GPS, {0.5, 1, 2, 2.5}, "KDDK"},
        // colours
        Case{"keep_RGB", {"-keep_RGB_red", "10", "20"}, "-keep_RGB_red 10 20 ", S::RGB, RED, {9, 10, 20, 21}, "DKKD"},
        Case{"drop_RGB", {"-drop_RGB_nir", "10", "20"}, "-drop_RGB_nir 10 20 ", S::NIR, NIR, {9, 10, 20, 21}, "KDDK"},
        Case{"keep_RGB_greenness", {"-keep_RGB_greenness", "0", "10"}, "-keep_RGB_greenness 0 10 ", S::RGB, RGB3, {5, 5, 6, 5, 10, 10, 0, 5, 0, 0, 6, 1}, "DKKD"},
        Case{"keep_NDVI", {"-keep_NDVI", "0.5", "1"}, "-keep_NDVI 0.5 1 ", S::RGB | S::NIR, NIR_RED, {3, 1, 2, 1, 0, 0, 5, 0}, "KDDK"},
        Case{"keep_NDVI_from_CIR", {"-keep_NDVI_from_CIR", "0.5", "1"}, "-keep_NDVI_from_CIR 0.5 1 ", S::RGB, RGB3, {3, 1, 0, 2, 1, 0}, "KD"},
        Case{"keep_NDVI_intensity_is_NIR", {"-keep_NDVI_intensity_is_NIR", "-1", "-0.5"}, "-keep_NDVI_intensity_is_NIR -1 -0.5 ", S::RGB | S::INTENSITY, INT_RED, {1, 3, 1, 2}, "KD"},
        Case{"keep_NDVI_green_is_NIR", {"-keep_NDVI_green_is_NIR", "0.5", "1"}, "-keep_NDVI_green_is_NIR 0.5 1 ", S::RGB, RGB3, {1, 3, 0, 1, 2, 0}, "KD"},
        Case{"keep_NDVI_blue_is_NIR", {"-keep_NDVI_blue_is_NIR", "0.5", "1"}, "-keep_NDVI_blue_is_NIR 0.5 1 ", S::RGB, RGB3, {1, 0, 3, 1, 0, 2}, "KD"},
        Case{"keep_HSV", {"-keep_HSV", "100", "140", "0.5", "1", "0.5", "1"}, "-keep_HSV 100 140 0.5 1 0.5 1 ", S::RGB, RGB3, {0, 65535, 0, 65535, 65535, 0, 0, 32767, 0, 0, 65535, 65535}, "KDDD"},
        Case{"drop_HSV", {"-drop_HSV_value", "0", "0.25"}, "-drop_HSV 0 360 0 1 0 0.25 ", S::RGB, RGB3, {0, 0, 0, 65535, 0, 0}, "DK"},
        Case{"keep_HSL", {"-keep_HSL_lightness", "0.75", "1"}, "-keep_HSL 0 360 0 1 0.75 1 ", S::RGB, RGB3, {65535, 65535, 65535, 65535, 0, 0}, "KD"},
        Case{"drop_HSL", {"-drop_HSL_hue", "0", "0"}, "-drop_HSL 0 0 0 1 0 1 ", S::RGB, RGB3, {65535, 0, 0, 0, 0, 65535}, "DK"},
        Case{"keep_wavepacket", {"-keep_wavepacket", "2"}, "-keep_wavepacket 2 ", S::WAVEPACKET, WAVE, {1, 2}, "DK"},
        Case{"drop_wavepacket", {"-drop_wavepacket", "2"}, "-drop_wavepacket 2 ", S::WAVEPACKET, WAVE, {1, 2}, "KD"},
        // extra attribute 0 holds v; attribute 1 does not exist
        Case{"keep_attribute_below", {"-keep_attribute_below", "0", "1.5"}, "-keep_attribute_below 0 1.500000 ", S::EXTRA_BYTES, ATTR, {1, 1.5}, "KD"},
        Case{"keep_attribute_above", {"-keep_attribute_above", "0", "-1.5"}, "-keep_attribute_above 0 -1.500000 ", S::EXTRA_BYTES, ATTR, {-1.5, -1}, "DK"},
        Case{"keep_attribute_between", {"-keep_attribute_between", "0", "1", "2"}, "-keep_attribute_between 0 1.000000 2.000000 ", S::EXTRA_BYTES, ATTR, {0.5, 1, 2, 2.5}, "DKKD"},
        Case{"keep_missing_attribute", {"-keep_attribute_above", "1", "0"}, "-keep_attribute_above 1 0.000000 ", S::EXTRA_BYTES, ATTR, {1}, "D"},
        Case{"drop_attribute_below", {"-drop_attribute_below", "0", "1.5"}, "-drop_attribute_below 0 1.500000 ", S::EXTRA_BYTES, ATTR, {1, 1.5}, "DK"},
        Case{"drop_attribute_above", {"-drop_attribute_above", "0", "1.5"}, "-drop_attribute_above 0 1.500000 ", S::EXTRA_BYTES, ATTR, {1.5, 2}, "KD"},
        Case{"drop_attribute_between", {"-drop_attribute_between", "1", "1", "2"}, "-drop_attribute_between 1 1.000000 2.000000 ", S::EXTRA_BYTES, ATTR, {1.5}, "K"},
        // thinning and counting
        Case{"keep_every_nth", {"-keep_every_nth", "3"}, "-keep_every_nth 3 ", 0, NONE, {0, 0, 0, 0, 0, 0, 0}, "DDKDDKD"},
        Case{"drop_every_nth", {"-drop_every_nth", "2"}, "-drop_every_nth 2 ", 0, NONE, {0, 0, 0, 0}, "KDKD"},
        Case{"keep_random_fraction_none", {"-keep_random_fraction", "0"}, "-keep_random_fraction 0 ", 0, NONE, {0, 0, 0}, "DDD"},
        Case{"keep_random_fraction_all", {"-keep_random_fraction", "1", "5"}, "-keep_random_fraction 1 5 ", 0, NONE, {0, 0, 0}, "KKK"},
        Case{"keep_random_fraction", {"-keep_random_fraction", "0.5", "7"}, "-keep_random_fraction 0.5 7 ", 0, NONE, std::vector<double>(64, 0.0), std::string(64, '?')},
        Case{"thin_with_grid", {"-thin_with_grid", "1"}, "-thin_with_grid 1 ", 0, XY, {0.5, 0.5, 0, 0.75, 1, 0.5, -0.25, 0.5, -1, 0.5, 0.5, kL}, "KDKKDK"},
        Case{"thin_points_with_time", {"-thin_with_time", "1"}, "-thin_points_with_time 1 ", S::GPS_TIME, GPS, {0, 0, 0.75, 1, -0.25}, "KDDKK"},
        Case{"thin_pulses_with_time", {"-thin_pulses_with_time", "1"}, "-thin_pulses_with_time 1 ", S::GPS_TIME, GPS, {0.25, 0.25, 0.5, 1, 0.25}, "KKDKK"},
        // combinations
        Case{"filter_and", {"-keep_z", "0", "1", "-drop_intensity_below", "5", "-filter_and"}, "-keep_z 0.000000 1.000000 -drop_intensity_below 5 -filter_and ", S::Z | S::INTENSITY, Z, {0, 2}, "KD"},
        Case{"filter_or", {"-keep_class", "2", "-keep_class", "6", "-filter_or"}, "-keep_class 2 -keep_class 6 -filter_or ", S::CLASSIFICATION, CLS, {2, 6, 1}, "DDD"}),
    testsupport::CaseName());

TEST(Criteria, RandomFractionKeepsAboutTheFraction) {
  testsupport::Argv a({"-keep_random_fraction", "0.25"});
  LASfilter filter;
  ASSERT_TRUE(filter.parse(a.argc(), a.argv()));
  LASpoint point;
  int kept = 0;
  for (int k = 0; k < 4000; k++) kept += !filter.filter(&point);
  EXPECT_NEAR(kept, 1000, 100);
}

// A read that asks for X, Y and Z only still decodes the layers its filter
// reads (and no others) from layered compressed points.
TEST(Criteria, FilteredReadDecodesTheLayersOfTheFilter) {
  testsupport::TempDir dir;
  const std::string path = dir.file("a.ptc");
  LASheader h;
  lastest::make_header(h, 4, 6);
  ASSERT_TRUE(lastest::write_points(path, h, 500, {"Layered", PTcomp::COMPRESSOR_LAYERED_CHUNKED, 100}));
  std::vector<std::vector<int>> full;  // X, user data of the points the filter keeps
  LASreaderLAS all(nullptr);
  ASSERT_TRUE(all.open(path.c_str()));
  while (all.read_point()) {
    const LASpoint& p = all.point;
    if (p.intensity >= 32768 && p.extended_classification > 3) full.push_back({p.X, p.user_data});
  }
  lastest::Messages messages;
  testsupport::Argv a({"-i", path, "-drop_intensity_below", "32768", "-drop_class", "0", "1", "2", "3"});
  LASreadOpener opener;
  opener.parse(a.argc(), a.argv());
  std::unique_ptr<LASreaderLAS> reader(opener.open(S::Z));
  ASSERT_NE(reader, nullptr);
  size_t k = 0, other_layer_decoded = 0;
  for (; reader->read_point(); k++) {
    ASSERT_LT(k, full.size());
    EXPECT_EQ(reader->point.X, full[k][0]);
    other_layer_decoded += reader->point.user_data == full[k][1];
  }
  EXPECT_EQ(k, full.size());
  EXPECT_LT(other_layer_decoded, k / 2);
}

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }
class CriteriaErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CriteriaErrors, MessageAndStatus) {
  lastest::Messages messages;
  testsupport::Argv a(GetParam().args);
  LASfilter filter;
  EXPECT_FALSE(filter.parse(a.argc(), a.argv()));
  EXPECT_EQ(messages.texts(LAS_ERROR), std::vector<std::string>{GetParam().message});
  EXPECT_EQ(las_exit_status(), 3);
}

const char* kClip =
    "'-clip_box' is no longer recognized. check documentation with '-h'.\n  rename '-clip' to '-keep_xy'.\n  rename "
    "'-clip_box' to '-keep_xyz'.\n  rename '-clip_tile' to '-keep_tile'.\n  rename '-clip_z_below' to "
    "'-drop_z_below'.\n  rename '-clip_z_above' to '-drop_z_above'.\n  rename '-clip_z_between' to '-drop_z'.\n  etc "
    "...";

// Five of the longest class lists (all extended classes but one), combined.
const std::vector<std::string> kLong = [] {
  std::vector<std::string> args;
  for (int k = 0; k < 5; k++) {
    args.push_back("-keep_extended_class");
    for (int c = 0; c < 255; c++) args.push_back(std::to_string(c));
    if (k > 0) args.push_back(k == 1 ? "-filter_and" : "-filter_or");
  }
  return args;
}();

INSTANTIATE_TEST_SUITE_P(
    Filter, CriteriaErrors,
    ::testing::Values(
        ErrorCase{"MissingBelow", {"-drop_z_below"}, "'-drop_z_below' needs 1 argument: min_z"},
        ErrorCase{"MissingSecond", {"-keep_x", "1"}, "'-keep_x' needs 2 arguments: min max"},
        ErrorCase{"MissingBox", {"-keep_xy", "1", "2", "3"}, "'-keep_xy' needs 4 arguments: min_x min_y max_x max_y"},
        ErrorCase{"UnreadableMin", {"-keep_z", "x", "1"}, "'-keep_z' needs 2 arguments: min max but 'x' is no valid min"},
        ErrorCase{"TrailingText", {"-keep_z", "1", "2m"}, "'-keep_z' needs 2 arguments: min max but '2m' is no valid max"},
        ErrorCase{"NotANumber", {"-drop_gps_time_above", "nan"}, "'-drop_gps_time_above' needs 1 argument: max but 'nan' is no valid max"},
        ErrorCase{"IntegerBound", {"-keep_X", "1.5", "3"}, "'-keep_X' needs 2 arguments: min max but '1.5' is no valid min"},
        ErrorCase{"IntensityRange", {"-keep_intensity", "0", "65536"}, "'-keep_intensity' needs 2 arguments: min max but '65536' is no valid max"},
        ErrorCase{"TileSize", {"-keep_tile", "0", "0", "0"}, "'-keep_tile' needs 3 arguments: ll_x ll_y size but '0' is no valid size"},
        ErrorCase{"EveryZeroth", {"-keep_every_nth", "0"}, "'-keep_every_nth' needs 1 argument: n but '0' is no valid n"},
        ErrorCase{"Fraction", {"-keep_random_fraction", "1.5"}, "'-keep_random_fraction' needs 1 argument: fraction but '1.5' is no valid fraction"},
        ErrorCase{"Seed", {"-keep_random_fraction", "0.5", "7x"}, "'-keep_random_fraction' needs 1 or 2 arguments: fraction seed but '7x' is no valid seed"},
        ErrorCase{"PointSource", {"-keep_point_source", "65536"}, "cannot keep_point_source ID 65536 because it is larger than 65535"},
        ErrorCase{"NoClass", {"-keep_class", "-i"}, "'-keep_class' needs at least 1 argument: classification"},
        ErrorCase{"BadClass", {"-keep_class", "2", "3x"}, "'-keep_class' needs at least 1 argument: classification but '3x' is no valid classification"},
        ErrorCase{"ClassRange", {"-keep_class", "32"}, "'-keep_class' needs arguments between 0 and 31 but '32' is out of range (see -keep_extended_class)"},
        ErrorCase{"DropClassRange", {"-drop_class", "40"}, "'-drop_class' needs arguments between 0 and 31 but '40' is out of range (see -drop_extended_class)"},
        ErrorCase{"ExtendedRange", {"-drop_extended_class", "256"}, "'-drop_extended_class' needs arguments between 0 and 255 but '256' is out of range"},
        ErrorCase{"NoMask", {"-keep_classification_mask"}, "'-keep_classification_mask' needs 1 argument: mask"},
        ErrorCase{"BadMask", {"-drop_classification_mask", "0x"}, "'-drop_classification_mask' needs 1 argument: mask but '0x' is no valid mask"},
        ErrorCase{"ReturnRange", {"-keep_return", "1", "16"}, "cannot keep return_number 16 because it is larger than 15"},
        ErrorCase{"DropReturnRange", {"-drop_return", "16"}, "cannot drop return_number 16 because it is larger than 15"},
        ErrorCase{"NoReturn", {"-drop_return"}, "'-drop_return' needs at least 1 argument: return_number"},
        ErrorCase{"ReturnMask", {"-keep_return_mask", "65536"}, "'-keep_return_mask' needs a return_mask between 0 and 65535 but return_mask is 65536"},
        ErrorCase{"AndFirst", {"-filter_and", "-keep_first"}, "'-filter_and' needs to be preceeded by at least two filters"},
        ErrorCase{"OrAfterOne", {"-keep_first", "-filter_or"}, "'-filter_or' needs to be preceeded by at least two filters"},
        ErrorCase{"LongCombination", kLong, "'-filter_or' combines filters whose option text is longer than 4000 characters"},
        ErrorCase{"Clip", {"-clip_box", "0", "0", "0", "1", "1", "1"}, kClip}),
    testsupport::CaseName());

TEST(CriteriaErrors, EndTheProcessWhileHaltingIsOn) {
  testsupport::Argv a({"-drop_z_below"});
  LASfilter filter;
  EXPECT_EXIT(
      {
        halt_on_error(true);
        filter.parse(a.argc(), a.argv());
      },
      ::testing::ExitedWithCode(3), "needs 1 argument: min_z");
}

}  // namespace
