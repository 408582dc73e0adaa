// The transform options: one table row per option word, the argument
// scanning and range checks, the map files, and the option overview.
#include <cerrno>   // errno of strtoul, strtol
#include <climits>  // INT_MAX, INT_MIN
#include <cmath>    // std::cos, std::sin, std::isfinite, HUGE_VAL
#include <cstdio>   // FILE, fgets
#include <cstdlib>  // strtod, strtoul, strtol
#include <cstring>  // strcmp, strlen, strspn

#include "filter/lasoperations.hpp"  // the operation families
#include "filter/lastransform.hpp"   // LAStransform
#include "tool/lasmessage.hpp"       // LASMessage, laserror
#include "tool/lasutility.hpp"       // LASfopen

namespace {

constexpr double kPi = 3.141592653589793238462643;
constexpr double kArcSecond = kPi / (180.0 * 3600.0);

enum class Make : uint8_t {
  FIELD,
  SCALE_INTENSITY,
  COPY,
  SWITCH,
  CLASSIFY,
  MAP,
  AFFINE,
  RAW,
  REGISTERS,
  COLOR,
  SPECIAL,
  MAP_RGB,
  LOAD,
  POINT_SOURCE
};

// Extra kinds of the table that select bounds of a clamp and the shape of
// an affine map.
enum { CLAMP_BELOW = 100, CLAMP_ABOVE };
enum { A_TRANSLATE, A_SCALE, A_ROT_XY, A_ROT_XZ, A_ROT_YZ, A_MATRIX, A_HELMERT, A_AFFINE };

using PF = PointField;

struct OptionRow {
  const char* name;
  const char* types;  // one letter per argument, see OperationValues
  const char* needs;  // the argument names of the "needs" messages
  Make make;
  int kind;
  PF a, b;           // the fields the operation reads or writes
  int8_t ia, ib;     // argument giving the register/attribute number of a / b, or -1
  uint32_t max;      // largest value of the arguments in max_mask
  uint8_t max_mask;  // bit k: argument k is range checked against max
  const char* what;  // the action named by a range message
};

// Table rows: the helpers keep each row to the columns it needs.
OptionRow row(const char* name, const char* types, const char* needs, Make make, int kind, PF a = PF::x, PF b = PF::x,
               int8_t ia = -1, int8_t ib = -1, uint32_t max = 0, uint8_t mask = 0, const char* what = "") {
  return OptionRow{name, types, needs, make, kind, a, b, ia, ib, max, mask, what};
}
// An operation on one field with an upper bound on its arguments.
OptionRow ranged(const char* name, const char* types, const char* needs, int kind, PF a, uint32_t max, uint8_t mask,
                  const char* what) {
  return row(name, types, needs, Make::FIELD, kind, a, PF::x, -1, -1, max, mask, what);
}
OptionRow field(const char* name, const char* types, const char* needs, int kind, PF a, int8_t ia = -1) {
  return row(name, types, needs, Make::FIELD, kind, a, PF::x, ia);
}
OptionRow copy(const char* name, PF src, PF dst, int8_t is = -1, int8_t id = -1, const char* types = "",
                const char* needs = "") {
  return row(name, types, needs, Make::COPY, LASoperationCopy::COPY, src, dst, is, id);
}
OptionRow special(const char* name, int kind, const char* types = "", const char* needs = "") {
  return row(name, types, needs, Make::SPECIAL, kind);
}
OptionRow color(const char* name, int kind, int first, int count, const char* types = "", const char* needs = "") {
  return row(name, types, needs, Make::COLOR, kind, PF::x, PF::x, static_cast<int8_t>(first),
             static_cast<int8_t>(count));
}

using F = LASoperationField;
using C = LASoperationCopy;
using K = LASoperationClassify;
using L = LASoperationColor;
using S = LASoperationSpecial;

const std::vector<OptionRow>& options() {
  static const std::vector<OptionRow> table = {
      // Coordinates.
      field("translate_x", "d", "offset", F::TRANSLATE, PF::x),
      field("translate_y", "d", "offset", F::TRANSLATE, PF::y),
      field("translate_z", "d", "offset", F::TRANSLATE, PF::z),
      row("translate_xyz", "ddd", "offset_x offset_y offset_z", Make::AFFINE, A_TRANSLATE),
      field("scale_x", "d", "scale", F::SCALE, PF::x),
      field("scale_y", "d", "scale", F::SCALE, PF::y),
      field("scale_z", "d", "scale", F::SCALE, PF::z),
      row("scale_xyz", "ddd", "scale_x scale_y scale_z", Make::AFFINE, A_SCALE),
      field("translate_then_scale_x", "dd", "offset scale", F::TRANSLATE_THEN_SCALE, PF::x),
      field("translate_then_scale_y", "dd", "offset scale", F::TRANSLATE_THEN_SCALE, PF::y),
      field("translate_then_scale_z", "dd", "offset scale", F::TRANSLATE_THEN_SCALE, PF::z),
      field("translate_scale_translate_x", "ddd", "offset scale offset", F::TRANSLATE_SCALE_TRANSLATE, PF::x),
      field("translate_scale_translate_y", "ddd", "offset scale offset", F::TRANSLATE_SCALE_TRANSLATE, PF::y),
      field("translate_scale_translate_z", "ddd", "offset scale offset", F::TRANSLATE_SCALE_TRANSLATE, PF::z),
      row("rotate_xy", "ddd", "angle rot_center_x rot_center_y", Make::AFFINE, A_ROT_XY),
      row("rotate_xz", "ddd", "angle rot_center_x rot_center_z", Make::AFFINE, A_ROT_XZ),
      row("rotate_yz", "ddd", "angle rot_center_y rot_center_z", Make::AFFINE, A_ROT_YZ),
      row("transform_matrix", "mmmm", "r11,r12,r13 r21,r22,r23 r31,r32,r33 tr1,tr2,tr3", Make::AFFINE, A_MATRIX),
      row("transform_helmert", "h", "dx,dy,dz,rx,ry,rz,m", Make::AFFINE, A_HELMERT),
      row("transform_affine", "a", "k,w,tx,ty", Make::AFFINE, A_AFFINE),
      field("clamp_z", "dd", "min max", F::CLAMP, PF::z),
      field("clamp_z_below", "d", "min", CLAMP_BELOW, PF::z),
      field("clamp_z_above", "d", "max", CLAMP_ABOVE, PF::z),
      field("clamp_raw_z", "ii", "min max", F::CLAMP, PF::Z),
      copy("copy_attribute_into_x", PF::attribute, PF::x, 0, -1, "u", "index"),
      copy("copy_attribute_into_y", PF::attribute, PF::y, 0, -1, "u", "index"),
      copy("copy_attribute_into_z", PF::attribute, PF::z, 0, -1, "u", "index"),
      copy("copy_intensity_into_z", PF::intensity, PF::z),
      copy("copy_user_data_into_z", PF::user_data, PF::z),
      row("translate_raw_x", "i", "offset", Make::RAW, 1),
      row("translate_raw_y", "i", "offset", Make::RAW, 2),
      row("translate_raw_z", "i", "offset", Make::RAW, 4),
      row("translate_raw_xyz", "iii", "offset_x offset_y offset_z", Make::RAW, 7),
      row("translate_raw_xy_at_random", "ii", "max_x max_y", Make::RAW, 8),
      // Intensity.
      ranged("set_intensity", "u", "value", F::SET, PF::intensity, 65535, 1, "set intensity"),
      row("scale_intensity", "f", "factor", Make::SCALE_INTENSITY, 0),
      field("translate_intensity", "f", "offset", F::TRANSLATE, PF::intensity),
      field("translate_then_scale_intensity", "ff", "offset scale", F::TRANSLATE_THEN_SCALE, PF::intensity),
      ranged("clamp_intensity", "uu", "min max", F::CLAMP, PF::intensity, 65535, 3, "clamp intensity"),
      ranged("clamp_intensity_below", "u", "min", CLAMP_BELOW, PF::intensity, 65535, 1, "clamp intensity"),
      ranged("clamp_intensity_above", "u", "max", CLAMP_ABOVE, PF::intensity, 65535, 1, "clamp intensity"),
      row("map_intensity", "s", "map_file.txt", Make::MAP, 0, PF::intensity),
      copy("copy_attribute_into_intensity", PF::attribute, PF::intensity, 0, -1, "u", "index"),
      copy("copy_attribute_into_point_source", PF::attribute, PF::point_source, 0, -1, "u", "index"),
      row("bin_gps_time_into_intensity", "d", "bin_size", Make::COPY, C::BIN, PF::gps_time, PF::intensity),
      // Registers.
      row("add_registers", "uuu", "input1 input2 output", Make::REGISTERS, '+'),
      row("subtract_registers", "uuu", "input1 input2 output", Make::REGISTERS, '-'),
      row("multiply_registers", "uuu", "input1 input2 output", Make::REGISTERS, '*'),
      row("divide_registers", "uuu", "input1 input2 output", Make::REGISTERS, '/'),
      copy("copy_intensity_into_register", PF::intensity, PF::reg, -1, 0, "u", "index"),
      copy("copy_user_data_into_register", PF::user_data, PF::reg, -1, 0, "u", "index"),
      copy("copy_point_source_into_register", PF::point_source, PF::reg, -1, 0, "u", "index"),
      copy("copy_R_into_register", PF::R, PF::reg, -1, 0, "u", "index"),
      copy("copy_attribute_into_register", PF::attribute, PF::reg, 0, 1, "uu", "attribute_index register_index"),
      field("set_register", "ud", "index value", F::SET, PF::reg, 0),
      field("scale_register", "ud", "index scale", F::SCALE, PF::reg, 0),
      field("translate_register", "ud", "index offset", F::TRANSLATE, PF::reg, 0),
      copy("copy_register_into_x", PF::reg, PF::x, 0, -1, "u", "index"),
      copy("copy_register_into_y", PF::reg, PF::y, 0, -1, "u", "index"),
      copy("copy_register_into_z", PF::reg, PF::z, 0, -1, "u", "index"),
      copy("copy_register_into_intensity", PF::reg, PF::intensity, 0, -1, "u", "index"),
      copy("copy_register_into_point_source", PF::reg, PF::point_source, 0, -1, "u", "index"),
      copy("copy_register_into_attribute", PF::reg, PF::attribute, 0, 1, "uu", "register_index attribute_index"),
      copy("copy_register_into_R", PF::reg, PF::R, 0, -1, "u", "index"),
      copy("copy_register_into_G", PF::reg, PF::G, 0, -1, "u", "index"),
      copy("copy_register_into_B", PF::reg, PF::B, 0, -1, "u", "index"),
      copy("copy_register_into_NIR", PF::reg, PF::NIR, 0, -1, "u", "index"),
      copy("copy_attribute_into_R", PF::attribute, PF::R, 0, -1, "u", "index"),
      copy("copy_attribute_into_G", PF::attribute, PF::G, 0, -1, "u", "index"),
      copy("copy_attribute_into_B", PF::attribute, PF::B, 0, -1, "u", "index"),
      copy("copy_attribute_into_NIR", PF::attribute, PF::NIR, 0, -1, "u", "index"),
      copy("copy_attribute_into_user_data", PF::attribute, PF::user_data, 0, -1, "u", "index"),
      // Scan angle.
      field("set_scan_angle", "f", "angle", F::SET, PF::scan_angle),
      field("scale_scan_angle", "f", "scale", F::SCALE, PF::scan_angle),
      field("translate_scan_angle", "f", "offset", F::TRANSLATE, PF::scan_angle),
      field("translate_then_scale_scan_angle", "ff", "offset scale", F::TRANSLATE_THEN_SCALE, PF::scan_angle),
      // Classification and flags.
      ranged("set_classification", "u", "classification", F::SET, PF::classification, 255, 1, "set classification"),
      ranged("change_classification_from_to", "uu", "from_value to_value", F::CHANGE_FROM_TO, PF::classification, 255,
             3, "change classification"),
      special("move_ancient_to_extended_classification", S::MOVE_ANCIENT),
      row("classify_z_below_as", "du", "z_value classification", Make::CLASSIFY, K::BELOW, PF::z, PF::x, -1, -1, 0, 0,
          "z_value"),
      row("classify_z_above_as", "du", "z_value classification", Make::CLASSIFY, K::ABOVE, PF::z, PF::x, -1, -1, 0, 0,
          "z_value"),
      row("classify_z_between_as", "ddu", "z_min z_max classification", Make::CLASSIFY, K::BETWEEN, PF::z, PF::x, -1,
          -1, 0, 0, "z_value"),
      row("classify_intensity_below_as", "uu", "value classification", Make::CLASSIFY, K::BELOW, PF::intensity, PF::x,
          -1, -1, 0, 0, "intensity"),
      row("classify_intensity_above_as", "uu", "value classification", Make::CLASSIFY, K::ABOVE, PF::intensity, PF::x,
          -1, -1, 0, 0, "intensity"),
      row("classify_intensity_between_as", "uuu", "min max classification", Make::CLASSIFY, K::BETWEEN, PF::intensity,
          PF::x, -1, -1, 0, 0, "intensity"),
      row("classify_attribute_below_as", "udu", "index value classification", Make::CLASSIFY, K::BELOW, PF::attribute,
          PF::x, 0, -1, 0, 0, "attribute"),
      row("classify_attribute_above_as", "udu", "index value classification", Make::CLASSIFY, K::ABOVE, PF::attribute,
          PF::x, 0, -1, 0, 0, "attribute"),
      row("classify_attribute_between_as", "uddu", "index min max classification", Make::CLASSIFY, K::BETWEEN,
          PF::attribute, PF::x, 0, -1, 0, 0, "attribute"),
      copy("copy_intensity_into_classification", PF::intensity, PF::classification),
      ranged("set_withheld_flag", "u", "value", F::SET, PF::withheld, 1, 1, "set withheld flag"),
      ranged("set_synthetic_flag", "u", "value", F::SET, PF::synthetic, 1, 1, "set synthetic flag"),
      ranged("set_keypoint_flag", "u", "value", F::SET, PF::keypoint, 1, 1, "set keypoint flag"),
      ranged("set_overlap_flag", "u", "value", F::SET, PF::overlap, 1, 1, "set overlap flag"),
      ranged("set_scan_direction_flag", "u", "value", F::SET, PF::scan_direction, 1, 1, "set scan direction flag"),
      ranged("set_edge_of_flight_line", "u", "value", F::SET, PF::edge_of_flight_line, 1, 1,
             "set edge of flight line flag"),
      ranged("set_scanner_channel", "u", "channel", F::SET, PF::scanner_channel, 3, 1, "set scanner channel"),
      // User data.
      ranged("set_user_data", "u", "value", F::SET, PF::user_data, 255, 1, "set user data"),
      field("scale_user_data", "f", "scale", F::SCALE, PF::user_data),
      ranged("change_user_data_from_to", "uu", "from_value to_value", F::CHANGE_FROM_TO, PF::user_data, 255, 3,
             "change user data"),
      row("map_user_data", "s", "map_file.txt", Make::MAP, 0, PF::user_data),
      copy("copy_classification_into_user_data", PF::classification, PF::user_data),
      copy("copy_user_data_into_classification", PF::user_data, PF::classification),
      copy("copy_classification_into_point_source", PF::classification, PF::point_source),
      copy("copy_user_data_into_attribute", PF::user_data, PF::attribute, -1, 0, "u", "index"),
      copy("copy_z_into_attribute", PF::z, PF::attribute, -1, 0, "u", "index"),
      row("add_attribute_to_z", "u", "index", Make::COPY, C::ADD_SCALED, PF::attribute, PF::z, 0),
      row("add_scaled_attribute_to_z", "uf", "index scale", Make::COPY, C::ADD_SCALED, PF::attribute, PF::z, 0),
      row("add_scaled_attribute_to_user_data", "uf", "index scale", Make::COPY, C::ADD_SCALED, PF::attribute,
          PF::user_data, 0),
      field("set_attribute", "ud", "index value", F::SET, PF::attribute, 0),
      field("scale_attribute", "ud", "index scale", F::SCALE, PF::attribute, 0),
      field("translate_attribute", "ud", "index offset", F::TRANSLATE, PF::attribute, 0),
      // Point source and scanner channel.
      row("set_point_source", "u", "psid", Make::POINT_SOURCE, 0, PF::point_source, PF::x, -1, -1, 65535, 1,
          "set point source"),
      ranged("change_point_source_from_to", "uu", "from_psid to_psid", F::CHANGE_FROM_TO, PF::point_source, 65535, 3,
             "change point source"),
      row("map_point_source", "s", "map_file.txt", Make::MAP, 0, PF::point_source),
      row("bin_gps_time_into_point_source", "d", "bin_size", Make::COPY, C::BIN, PF::gps_time, PF::point_source),
      row("bin_Z_into_point_source", "u", "bin_size", Make::COPY, C::BIN, PF::Z, PF::point_source),
      row("bin_abs_scan_angle_into_point_source", "f", "bin_size", Make::COPY, C::BIN_ABS, PF::scan_angle,
          PF::point_source),
      copy("copy_user_data_into_point_source", PF::user_data, PF::point_source),
      copy("copy_user_data_into_scanner_channel", PF::user_data, PF::scanner_channel),
      copy("copy_scanner_channel_into_user_data", PF::scanner_channel, PF::user_data),
      copy("copy_scanner_channel_into_point_source", PF::scanner_channel, PF::point_source),
      special("merge_scanner_channel_into_point_source", S::MERGE_CHANNEL),
      special("split_scanner_channel_from_point_source", S::SPLIT_CHANNEL),
      // Returns.
      special("repair_zero_returns", S::REPAIR_ZERO_RETURNS),
      ranged("set_return_number", "u", "return_number", F::SET, PF::return_number, 7, 1, "set return number"),
      ranged("set_extended_return_number", "u", "extended_return_number", F::SET, PF::extended_return_number, 15, 1,
             "set extended return number"),
      ranged("change_return_number_from_to", "uu", "from_return_number to_return_number", F::CHANGE_FROM_TO,
             PF::return_number, 7, 3, "change return number"),
      ranged("change_extended_return_number_from_to", "uu", "from_return_number to_return_number", F::CHANGE_FROM_TO,
             PF::extended_return_number, 15, 3, "change extended return number"),
      ranged("set_number_of_returns", "u", "number_of_returns", F::SET, PF::number_of_returns, 7, 1,
             "set number of returns"),
      ranged("set_extended_number_of_returns", "u", "extended_number_of_returns", F::SET,
             PF::extended_number_of_returns, 15, 1, "set extended number of returns"),
      ranged("change_number_of_returns_from_to", "uu", "from_number_of_returns to_number_of_returns", F::CHANGE_FROM_TO,
             PF::number_of_returns, 7, 3, "change number of returns"),
      ranged("change_extended_number_of_returns_from_to", "uu", "from_number_of_returns to_number_of_returns",
             F::CHANGE_FROM_TO, PF::extended_number_of_returns, 15, 3, "change extended number of returns"),
      // GPS time.
      field("set_gps_time", "d", "gps_time", F::SET, PF::gps_time),
      field("translate_gps_time", "d", "offset", F::TRANSLATE, PF::gps_time),
      special("adjusted_to_week", S::ADJUSTED_TO_WEEK),
      special("week_to_adjusted", S::WEEK_TO_ADJUSTED, "u", "week"),
      // Colours.
      special("force_RGB", S::FORCE_RGB),
      color("set_RGB", L::SET, 0, 3, "uuu", "R G B"),
      color("set_RGB_of_class", L::SET_OF_CLASS, 0, 3, "uuuu", "classification R G B"),
      color("set_NIR", L::SET, 3, 1, "u", "NIR"),
      color("scale_RGB", L::SCALE, 0, 3, "fff", "scale_R scale_G scale_B"),
      color("scale_RGB_down", L::DOWN, 0, 3),
      color("scale_RGB_up", L::UP, 0, 3),
      color("scale_RGB_to_8bit", L::TO_8BIT, 0, 3),
      color("scale_RGB_to_16bit", L::TO_16BIT, 0, 3),
      color("scale_NIR", L::SCALE, 3, 1, "f", "scale"),
      color("scale_NIR_down", L::DOWN, 3, 1),
      color("scale_NIR_up", L::UP, 3, 1),
      color("scale_NIR_to_8bit", L::TO_8BIT, 3, 1),
      color("scale_NIR_to_16bit", L::TO_16BIT, 3, 1),
      color("clamp_RGB_to_8bit", L::CLAMP_8BIT, 0, 3),
      row("switch_x_y", "", "", Make::SWITCH, 0, PF::x, PF::y),
      row("switch_x_z", "", "", Make::SWITCH, 0, PF::x, PF::z),
      row("switch_y_z", "", "", Make::SWITCH, 0, PF::y, PF::z),
      row("switch_R_G", "", "", Make::SWITCH, 0, PF::R, PF::G),
      row("switch_R_B", "", "", Make::SWITCH, 0, PF::R, PF::B),
      row("switch_G_B", "", "", Make::SWITCH, 0, PF::G, PF::B),
      row("map_attribute_into_RGB", "us", "index map_file.txt", Make::MAP_RGB, 0),
      row("load_attribute_from_text", "us", "index text_file.txt", Make::LOAD, 0),
      special("copy_RGB_into_intensity", S::RGB_INTO_INTENSITY),
      copy("copy_R_into_intensity", PF::R, PF::intensity),
      copy("copy_G_into_intensity", PF::G, PF::intensity),
      copy("copy_B_into_intensity", PF::B, PF::intensity),
      copy("copy_NIR_into_intensity", PF::NIR, PF::intensity),
      copy("copy_R_into_NIR", PF::R, PF::NIR),
      copy("copy_G_into_NIR", PF::G, PF::NIR),
      copy("copy_B_into_NIR", PF::B, PF::NIR),
      copy("copy_intensity_into_NIR", PF::intensity, PF::NIR),
      special("switch_RGBI_into_CIR", S::RGBI_INTO_CIR),
      special("switch_RGB_intensity_into_CIR", S::RGB_INTENSITY_INTO_CIR),
      special("multiply_scaled_intensity_into_RGB", S::INTENSITY_INTO_RGB, "f", "scale"),
      special("multiply_scaled_intensity_range_into_RGB", S::INTENSITY_RANGE_INTO_RGB, "ff", "min max"),
      special("flip_waveform_direction", S::FLIP_WAVEFORM),
  };
  return table;
}

const OptionRow* find_option(const char* word) {
  for (const OptionRow& entry : options()) {
    if (strcmp(entry.name, word) == 0) return &entry;
  }
  return nullptr;
}

// Strict number scanning: the whole text must be the number.
bool scan_unsigned(const char* text, double& v) {
  if (text[0] < '0' || text[0] > '9') return false;
  char* end;
  errno = 0;
  const unsigned long u = strtoul(text, &end, 10);
  if (*end != '\0' || errno != 0 || u > 0xFFFFFFFFul) return false;
  v = static_cast<double>(u);
  return true;
}

bool scan_int(const char* text, double& v) {
  char* end;
  errno = 0;
  const long i = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || i < INT_MIN || i > INT_MAX) return false;
  v = static_cast<double>(i);
  return true;
}

// count doubles separated by `separator`; finite values only.
bool scan_doubles(const char* text, double* v, int count, bool single_precision) {
  const char* at = text;
  for (int k = 0; k < count; k++) {
    char* end;
    v[k] = strtod(at, &end);
    if (end == at || !std::isfinite(v[k])) return false;
    if (single_precision) {
      if (std::fabs(v[k]) > 3.4028234e38) return false;
      v[k] = static_cast<float>(v[k]);
    }
    if (k + 1 < count && *end != ',') return false;
    at = end + (k + 1 < count ? 1 : 0);
  }
  return *at == '\0';
}

bool scan_value(char type, const char* text, double* v) {
  switch (type) {
    case 'u': return scan_unsigned(text, *v);
    case 'i': return scan_int(text, *v);
    case 'f': return scan_doubles(text, v, 1, true);
    default: return scan_doubles(text, v, values_of_type(type), false);
  }
}

// Reads the lines of a text file; `line` gets each line without its end,
// with its number. False (after the error) when the file cannot be opened
// or `line` refuses one.
template <typename LineFn>
bool read_lines(const char* option, const char* kind, const char* file, LineFn line) {
  FILE* in = LASfopen(file, "r");
  if (in == nullptr) {
    laserror("'%s' needs text file with %s but '%s' cannot be opened", option, kind, file);
    return false;
  }
  char buffer[1024];
  unsigned number = 0;
  bool ok = true;
  while (ok && fgets(buffer, sizeof(buffer), in)) {
    number++;
    buffer[strcspn(buffer, "\r\n")] = '\0';
    const char* text = buffer + strspn(buffer, " \t");
    if (text[0] == '\0' || text[0] == '#') continue;
    ok = line(text, number);
  }
  fclose(in);
  return ok;
}

// Whitespace-separated unsigned numbers of a map line, exactly count of them.
bool scan_map_line(const char* text, unsigned long* values, int count) {
  for (int k = 0; k < count; k++) {
    text += strspn(text, " \t");
    if (*text < '0' || *text > '9') return false;
    char* end;
    errno = 0;
    values[k] = strtoul(text, &end, 10);
    if (errno != 0 || (*end != '\0' && *end != ' ' && *end != '\t')) return false;
    text = end;
  }
  text += strspn(text, " \t");
  return *text == '\0';
}

bool load_map(const char* option, const char* file, uint32_t max, std::vector<int32_t>& table) {
  table.assign(static_cast<size_t>(max) + 1, -1);
  return read_lines(option, "map", file, [&](const char* text, unsigned number) {
    unsigned long v[2];
    if (!scan_map_line(text, v, 2)) {
      laserror("'%s' needs text file with map but line %u of '%s' is not 'from_value to_value'", option, number, file);
      return false;
    }
    if (v[0] > max || v[1] > max) {
      laserror("'%s' needs text file with map but line %u of '%s' has a value larger than %u", option, number, file,
               max);
      return false;
    }
    table[v[0]] = static_cast<int32_t>(v[1]);
    return true;
  });
}

bool load_rgb_map(const char* option, const char* file, std::map<int64_t, std::vector<uint16_t>>& table) {
  return read_lines(option, "map", file, [&](const char* text, unsigned number) {
    unsigned long v[4];
    if (!scan_map_line(text, v, 4)) {
      laserror("'%s' needs text file with map but line %u of '%s' is not 'value R G B'", option, number, file);
      return false;
    }
    if (v[0] > 0x7FFFFFFFul || v[1] > 65535 || v[2] > 65535 || v[3] > 65535) {
      laserror("'%s' needs text file with map but line %u of '%s' has a value larger than %u", option, number, file,
               65535u);
      return false;
    }
    table[static_cast<int64_t>(v[0])] = {static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[2]),
                                         static_cast<uint16_t>(v[3])};
    return true;
  });
}

bool load_values(const char* option, const char* file, std::vector<double>& values) {
  return read_lines(option, "values", file, [&](const char* text, unsigned number) {
    double v;
    char* end;
    v = strtod(text, &end);
    end += strspn(end, " \t");
    if (end == text || *end != '\0' || !std::isfinite(v)) {
      laserror("'%s' needs text file with values but line %u of '%s' is no valid number", option, number, file);
      return false;
    }
    values.push_back(v);
    return true;
  });
}

void rotation(int a, int b, double degrees, double ca, double cb, double* m, double* t) {
  const double c = std::cos(degrees * kPi / 180.0);
  const double s = std::sin(degrees * kPi / 180.0);
  m[a * 3 + a] = c;
  m[a * 3 + b] = -s;
  m[b * 3 + a] = s;
  m[b * 3 + b] = c;
  t[a] = ca - c * ca + s * cb;
  t[b] = cb - s * ca - c * cb;
}

LASoperation* make_affine(const OptionRow& entry, const OperationValues& values) {
  const double* v = values.v;
  double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  double t[3] = {0, 0, 0};
  switch (entry.kind) {
    case A_TRANSLATE:
      for (int i = 0; i < 3; i++) t[i] = v[i];
      break;
    case A_SCALE:
      for (int i = 0; i < 3; i++) m[i * 4] = v[i];
      break;
    case A_ROT_XY: rotation(0, 1, v[0], v[1], v[2], m, t); break;
    case A_ROT_XZ: rotation(0, 2, v[0], v[1], v[2], m, t); break;
    case A_ROT_YZ: rotation(1, 2, v[0], v[1], v[2], m, t); break;
    case A_MATRIX:
      for (int i = 0; i < 9; i++) m[i] = v[i];
      for (int i = 0; i < 3; i++) t[i] = v[9 + i];
      break;
    case A_HELMERT: {
      // Position-vector convention, small-angle form: rotations in arc
      // seconds, scale in parts per million.
      const double k = 1.0 + v[6] * 1e-6;
      const double rx = v[3] * kArcSecond, ry = v[4] * kArcSecond, rz = v[5] * kArcSecond;
      const double h[9] = {1, -rz, ry, rz, 1, -rx, -ry, rx, 1};
      for (int i = 0; i < 9; i++) m[i] = k * h[i];
      for (int i = 0; i < 3; i++) t[i] = v[i];
      break;
    }
    case A_AFFINE: {
      // Similarity in the xy plane: scale k, rotation w in arc seconds.
      const double c = v[0] * std::cos(v[1] * kArcSecond), s = v[0] * std::sin(v[1] * kArcSecond);
      m[0] = c;
      m[1] = -s;
      m[3] = s;
      m[4] = c;
      t[0] = v[2];
      t[1] = v[3];
      break;
    }
  }
  return new LASoperationAffine(values, m, t);
}

const char* const kArgumentOrdinals[] = {"input1", "input2", "output"};

// Builds the operation of a table row from its scanned values; null after
// a range error.
LASoperation* make(const OptionRow& entry, const char* option, OperationValues& values, LAStransform& owner) {
  double* v = values.v;
  // The register numbers among the arguments.
  const bool a_reg = entry.a == PF::reg && entry.ia >= 0, b_reg = entry.b == PF::reg && entry.ib >= 0;
  if (entry.make != Make::COLOR && (a_reg || b_reg)) {
    const uint32_t r = static_cast<uint32_t>(v[a_reg ? entry.ia : entry.ib]);
    if (r > 15) {
      laserror("'%s' index of register %u is out of valid [0,15] range", option, r);
      return nullptr;
    }
    if (a_reg && b_reg && v[entry.ib] > 15) {
      laserror("'%s' index of register %u is out of valid [0,15] range", option, static_cast<uint32_t>(v[entry.ib]));
      return nullptr;
    }
  }
  for (int k = 0; k < 8; k++) {
    if ((entry.max_mask >> k & 1) && v[k] > entry.max) {
      const char* names = entry.needs;
      // The k-th argument name of the needs text.
      for (int skip = 0; skip < k; skip++) names = strchr(names, ' ') + 1;
      const size_t length = strcspn(names, " ");
      laserror("cannot %s because %.*s %u is larger than %u", entry.what, static_cast<int>(length), names,
               static_cast<uint32_t>(v[k]), entry.max);
      return nullptr;
    }
  }
  const FieldRef a{entry.a, entry.ia >= 0 ? static_cast<uint32_t>(v[entry.ia]) : 0};
  const FieldRef b{entry.b, entry.ib >= 0 ? static_cast<uint32_t>(v[entry.ib]) : 0};
  switch (entry.make) {
    case Make::FIELD: {
      const int first = entry.ia >= 0 ? 1 : 0;
      if (entry.kind == CLAMP_BELOW) return new F(values, F::CLAMP, a, first, v[first], HUGE_VAL);
      if (entry.kind == CLAMP_ABOVE) return new F(values, F::CLAMP, a, first, -HUGE_VAL, v[first]);
      if (entry.kind == F::CLAMP && v[first] > v[first + 1]) {
        laserror("'%s' needs 2 arguments: min max but min %g is larger than max %g", option, v[first], v[first + 1]);
        return nullptr;
      }
      return new F(values, static_cast<F::Kind>(entry.kind), a, first, v[first], v[first + 1]);
    }
    case Make::SCALE_INTENSITY: return new LASoperationScaleIntensity(values);
    case Make::COPY: {
      const int given = static_cast<int>(strlen(values.types));
      const double factor = entry.kind == C::COPY ? 1.0 : (given > (entry.ia >= 0 ? 1 : 0) ? v[given - 1] : 1.0);
      if ((entry.kind == C::BIN || entry.kind == C::BIN_ABS) && !(factor > 0.0)) {
        laserror("'%s' needs 1 argument: bin_size but %g is no valid bin_size", option, factor);
        return nullptr;
      }
      return new C(values, static_cast<C::Kind>(entry.kind), a, b, factor);
    }
    case Make::SWITCH: return new LASoperationSwitch(values, a, b);
    case Make::CLASSIFY: {
      const int first = entry.ia >= 0 ? 1 : 0;
      const int count = static_cast<int>(strlen(values.types));
      const double klass = v[count - 1];
      if (klass > 255) {
        laserror("cannot classify %s because classification of %u is larger than 255", entry.what,
                 static_cast<uint32_t>(klass));
        return nullptr;
      }
      const double lo = v[first], hi = entry.kind == K::BETWEEN ? v[first + 1] : v[first];
      return new K(values, static_cast<K::Kind>(entry.kind), a, lo, hi, klass);
    }
    case Make::MAP: {
      std::vector<int32_t> table;
      const uint32_t max = entry.a == PF::user_data ? 255 : 65535;
      if (!load_map(option, values.text.c_str(), max, table)) return nullptr;
      return new LASoperationMap(values, a, std::move(table));
    }
    case Make::AFFINE: return make_affine(entry, values);
    case Make::RAW: {
      int64_t d[3] = {0, 0, 0};
      int k = 0;
      for (int axis = 0; axis < 3; axis++) {
        if (entry.kind & (1 << axis)) d[axis] = static_cast<int64_t>(v[k++]);
      }
      if (entry.kind == 8) {
        d[0] = static_cast<int64_t>(v[0]);
        d[1] = static_cast<int64_t>(v[1]);
      }
      return new LASoperationTranslateRaw(values, d, entry.kind == 8);
    }
    case Make::REGISTERS:
      for (int k = 0; k < 3; k++) {
        if (v[k] > 15) {
          laserror("'%s' needs 3 arguments: input1 input2 output but %u is out-of-range for %s", option,
                   static_cast<uint32_t>(v[k]), kArgumentOrdinals[k]);
          return nullptr;
        }
      }
      return new LASoperationRegisters(values, static_cast<char>(entry.kind));
    case Make::COLOR: {
      const int first_value = entry.kind == L::SET_OF_CLASS ? 1 : 0;
      if (first_value && v[0] > 255) {
        laserror("cannot set RGB of class because classification %u is larger than 255", static_cast<uint32_t>(v[0]));
        return nullptr;
      }
      if (entry.kind == L::SET || entry.kind == L::SET_OF_CLASS) {
        static const char* const channels[] = {"R", "G", "B", "NIR"};
        for (int c = 0; c < entry.ib; c++) {
          if (v[first_value + c] > 65535) {
            laserror("cannot set %s because %s is %u, which is larger than %u", entry.ia == 3 ? "NIR" : "RGB",
                     channels[entry.ia + c], static_cast<uint32_t>(v[first_value + c]), 65535u);
            return nullptr;
          }
        }
      }
      return new L(values, static_cast<L::Kind>(entry.kind), entry.ia, entry.ib);
    }
    case Make::SPECIAL:
      if (entry.kind == S::INTENSITY_RANGE_INTO_RGB && !(v[1] > v[0])) {
        laserror("'%s' needs 2 arguments: min max but min %g is not smaller than max %g", option, v[0], v[1]);
        return nullptr;
      }
      if (entry.kind == S::FORCE_RGB) owner.force_rgb = true;
      return new S(values, static_cast<S::Kind>(entry.kind));
    case Make::MAP_RGB: {
      std::map<int64_t, std::vector<uint16_t>> table;
      if (!load_rgb_map(option, values.text.c_str(), table)) return nullptr;
      return new LASoperationMapAttributeIntoRGB(values, std::move(table));
    }
    case Make::LOAD: {
      std::vector<double> loaded;
      if (!load_values(option, values.text.c_str(), loaded)) return nullptr;
      return new LASoperationLoadAttribute(values, std::move(loaded));
    }
    case Make::POINT_SOURCE: return new LASoperationSetPointSource(static_cast<unsigned short>(v[0]));
  }
  return nullptr;
}

}  // namespace

bool LAStransform::parse(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    char* arg = argv[i];
    if (arg[0] == '\0') continue;
    if (strcmp(arg, "-h") == 0 || strcmp(arg, "-help") == 0) return true;
    if (strcmp(arg, "-hh") == 0) {
      usage();
      return true;
    }
    if (arg[0] != '-' && static_cast<unsigned char>(arg[0]) != 150) continue;
    if (strcmp(arg + 1, "filtered_transform") == 0) {
      filtered = true;
      arg[0] = '\0';
      continue;
    }
    const OptionRow* entry = find_option(arg + 1);
    if (entry == nullptr) continue;  // left for the other parsers

    const int count = static_cast<int>(strlen(entry->types));
    bool missing = i + count >= argc;
    for (int k = 1; !missing && k <= count; k++) missing = argv[i + k][0] == '\0';  // taken by another parser
    if (missing) {
      laserror("'%s' needs %d argument%s: %s", arg, count, count == 1 ? "" : "s", entry->needs);
      return false;
    }
    OperationValues values;
    values.name = entry->name;
    values.types = entry->types;
    values.owner = this;
    int at = 0;
    for (int k = 0; k < count; k++) {
      const char* text = argv[i + 1 + k];
      const char type = entry->types[k];
      if (type == 's') {
        values.text = text;
      } else if (!scan_value(type, text, values.v + at)) {
        laserror("'%s' needs %d argument%s: %s but '%s' is no valid number", arg, count, count == 1 ? "" : "s",
                 entry->needs, text);
        return false;
      }
      at += values_of_type(type);
    }
    LASoperation* operation = make(*entry, arg, values, *this);
    if (operation == nullptr) return false;
    add_operation(operation);
    for (int k = 0; k <= count; k++) argv[i + k][0] = '\0';
    i += count;
  }
  return true;
}

void LAStransform::usage() const {
  LASMessage(LAS_INFO,
             "Transform coordinates.\n"
             "  -translate_x -2.5, -translate_y 0.5, -translate_z 42.1, -translate_xyz 0.5 0.5 0.01\n"
             "  -scale_x 0.3048, -scale_y, -scale_z, -scale_xyz 0.3048 0.3048 0.3048\n"
             "  -translate_then_scale_x 0.5 1.001, _y, _z; -translate_scale_translate_x 0.5 1.001 -0.5, _y, _z\n"
             "  -rotate_xy 15.0 620000 4100000 (angle in degrees, counter-clockwise about the centre), -rotate_xz, "
             "-rotate_yz\n"
             "  -transform_matrix r11,r12,r13 r21,r22,r23 r31,r32,r33 tr1,tr2,tr3\n"
             "  -transform_helmert dx,dy,dz,rx,ry,rz,m (position-vector convention, small-angle form: rotations in "
             "arc seconds, m in ppm)\n"
             "  -transform_affine k,w,tx,ty (x' = k(x cos w - y sin w) + tx, y' = k(x sin w + y cos w) + ty, w in arc "
             "seconds)\n"
             "  -clamp_z 70.5 72.5, -clamp_z_below 70.5, -clamp_z_above 72.5, -clamp_raw_z 500 800\n"
             "  -copy_attribute_into_x 0, _y, _z; -copy_intensity_into_z, -copy_user_data_into_z\n"
             "  -add_attribute_to_z 1, -add_scaled_attribute_to_z 1 -1.2\n"
             "  -translate_raw_x 2, _y, _z, -translate_raw_xyz 1 1 0\n"
             "  -translate_raw_xy_at_random 2 2 (uniform in [-2,2], the same fixed-seed sequence in every run)\n"
             "  -switch_x_y, -switch_x_z, -switch_y_z\n"
             "Transform intensity.\n"
             "  -set_intensity 0, -scale_intensity 2.5, -translate_intensity 50, -translate_then_scale_intensity 0.5 "
             "3.1\n"
             "  -clamp_intensity 0 255, -clamp_intensity_below 5, -clamp_intensity_above 255\n"
             "  -map_intensity map_file.txt, -bin_gps_time_into_intensity 0.5\n"
             "  -copy_attribute_into_intensity 0, -copy_RGB_into_intensity (0.299 R + 0.587 G + 0.114 B)\n"
             "  -copy_R_into_intensity, _G_, _B_, -copy_NIR_into_intensity\n"
             "Transform scan_angle.\n"
             "  -set_scan_angle 0.0, -scale_scan_angle 1.944445, -translate_scan_angle -5, "
             "-translate_then_scale_scan_angle -0.5 2.1\n"
             "Change the return number or return count of points.\n"
             "  -repair_zero_returns, -set_return_number 1, -set_extended_return_number 10\n"
             "  -change_return_number_from_to 2 1, -change_extended_return_number_from_to 2 8\n"
             "  -set_number_of_returns 2, -set_extended_number_of_returns 15\n"
             "  -change_number_of_returns_from_to 0 2, -change_extended_number_of_returns_from_to 5 6\n"
             "Modify the classification.\n"
             "  -set_classification 2, -change_classification_from_to 2 4, -copy_intensity_into_classification\n"
             "  -classify_z_below_as -5.0 7, -classify_z_above_as 70.0 7, -classify_z_between_as 2.0 5.0 4\n"
             "  -classify_intensity_below_as 200 9, -classify_intensity_above_as 5000 9, "
             "-classify_intensity_between_as 1000 2000 9\n"
             "  -classify_attribute_below_as 0 -5.0 7, _above_as, -classify_attribute_between_as 0 2.0 5.0 4\n"
             "  (below: value < bound, above: value > bound, between: min <= value <= max)\n"
             "  -move_ancient_to_extended_classification\n"
             "Change the flags.\n"
             "  -set_withheld_flag 0, -set_synthetic_flag 1, -set_keypoint_flag 0, -set_overlap_flag 1\n"
             "  -set_scan_direction_flag 0, -set_edge_of_flight_line 1, -set_scanner_channel 2\n"
             "Change the user data.\n"
             "  -set_user_data 0, -scale_user_data 1.5, -change_user_data_from_to 23 26, -map_user_data map_file.txt\n"
             "  -copy_classification_into_user_data, -copy_user_data_into_classification, "
             "-copy_attribute_into_user_data 1\n"
             "  -add_scaled_attribute_to_user_data 0 10.0\n"
             "Change the point source ID.\n"
             "  -set_point_source 500, -change_point_source_from_to 1023 1024, -map_point_source map_file.txt\n"
             "  -copy_user_data_into_point_source, -copy_classification_into_point_source, "
             "-copy_scanner_channel_into_point_source\n"
             "  -bin_gps_time_into_point_source 5.0, -bin_Z_into_point_source 100, "
             "-bin_abs_scan_angle_into_point_source 2\n"
             "  -merge_scanner_channel_into_point_source (4 x point source + channel), "
             "-split_scanner_channel_from_point_source\n"
             "  -copy_user_data_into_scanner_channel, -copy_scanner_channel_into_user_data\n"
             "Transform gps_time.\n"
             "  -set_gps_time 113556000.0, -translate_gps_time 40.50\n"
             "  -adjusted_to_week, -week_to_adjusted 1671 (adjusted standard GPS time is GPS time - 1e9)\n"
             "Transform RGB/NIR colors.\n"
             "  -set_RGB 255 0 127, -set_RGB_of_class 9 0 0 255, -set_NIR 255\n"
             "  -scale_RGB 2 4 2, -scale_RGB_down (/256), -scale_RGB_up (*256), -scale_NIR 2, -scale_NIR_down, "
             "-scale_NIR_up\n"
             "  -scale_RGB_to_8bit (only points with a channel above 255), -scale_RGB_to_16bit (only points with "
             "all channels up to 255), -scale_NIR_to_8bit, -scale_NIR_to_16bit\n"
             "  -clamp_RGB_to_8bit, -switch_R_G, -switch_R_B, -switch_G_B\n"
             "  -copy_R_into_NIR, -copy_G_into_NIR, -copy_B_into_NIR, -copy_intensity_into_NIR\n"
             "  -switch_RGBI_into_CIR (R,G,B = NIR,R,G), -switch_RGB_intensity_into_CIR (R,G,B = intensity,R,G)\n"
             "  -force_RGB (colour operations also act on points whose format has no colour)\n"
             "  -map_attribute_into_RGB 0 map_file.txt (lines 'value R G B')\n"
             "Transform intensity into RGB colors.\n"
             "  -multiply_scaled_intensity_into_RGB 0.01 (RGB times scale x intensity)\n"
             "  -multiply_scaled_intensity_range_into_RGB 100 2000 (RGB times (intensity - min) / (max - min), "
             "within [0,1])\n"
             "Transform with registers and extra attributes.\n"
             "  -set_register 0 1.5, -scale_register 0 2.0, -translate_register 0 -1.0 (registers 0 to 15, all 0 at "
             "the start)\n"
             "  -add_registers 0 1 3, -subtract_registers, -multiply_registers, -divide_registers (input1 input2 "
             "output)\n"
             "  -copy_intensity_into_register 0, -copy_user_data_into_register, -copy_point_source_into_register, "
             "-copy_R_into_register\n"
             "  -copy_attribute_into_register 0 1, -copy_register_into_attribute 1 0\n"
             "  -copy_register_into_x 0, _y, _z, _intensity, _point_source, _R, _G, _B, _NIR\n"
             "  -copy_attribute_into_R 0, _G, _B, _NIR, -copy_attribute_into_point_source 0\n"
             "  -set_attribute 0 1.5, -scale_attribute 0 1.5, -translate_attribute 0 0.2, "
             "-copy_user_data_into_attribute 0, -copy_z_into_attribute 0\n"
             "  -load_attribute_from_text 0 values.txt (one value per line, the k-th for the k-th point)\n"
             "  -flip_waveform_direction\n"
             "Map files hold one 'from_value to_value' pair per line; blank lines and lines starting with '#' are "
             "skipped.\n"
             "Results outside a field's range are clamped and counted as overflows; fractions of integer fields are "
             "cut toward zero.\n"
             "Restrict the transform to filtered points: -filtered_transform");
}
