// The point criteria: one class per kind of test (a value against bounds, a
// box, a circle, a profile, colour ranges, class and return masks, counting,
// random and thinning criteria, and/or), and the table of options that
// build them.
#include "filter/lascriteria.hpp"

#include <cctype>   // isdigit
#include <cerrno>   // errno of strtol, strtoul
#include <cfloat>   // DBL_MIN
#include <cmath>    // floor, sqrt, fabs, isfinite
#include <cstdint>  // fixed-width masks and keys
#include <cstdio>   // sprintf
#include <cstdlib>  // strtod, strtol, strtoul
#include <cstring>  // strcmp, strcspn, memcpy
#include <vector>   // thinning tables

#include "filter/lascriterion.hpp"  // LAScriterion
#include "las/laspoint.hpp"         // LASpoint fields and getters
#include "las/lasselective.hpp"     // LASselective layer bits
#include "tool/lasmessage.hpp"      // laserror

namespace {

constexpr double kHuge = 1e15;  // largest magnitude a bound may have

// ---- option text --------------------------------------------------------

// Writes "-<command> " and each value printed with its format from the
// blank-separated `formats` ("%d", "%u" or a floating format), each followed
// by a blank. Values printed with %d or %u were checked to fit when parsed.
int write_command(char* string, const char* command, const char* formats, const double* values) {
  int n = sprintf(string, "-%s ", command);
  for (int k = 0; *formats; k++) {
    char token[16];
    const size_t len = strcspn(formats, " ");
    memcpy(token, formats, len);
    token[len] = '\0';
    const char kind = token[len - 1];
    if (kind == 'd') {
      n += sprintf(string + n, token, static_cast<int>(values[k]));
    } else if (kind == 'u') {
      n += sprintf(string + n, token, static_cast<unsigned int>(values[k]));
    } else {
      n += sprintf(string + n, token, values[k]);
    }
    string[n++] = ' ';
    string[n] = '\0';
    formats += len;
    while (*formats == ' ') formats++;
  }
  return n;
}

// Reads the whole of `text` as a value of the kind a print format ends in:
// 'd' a 32-bit signed integer, 'u' a 32-bit unsigned integer (with "0x" a
// hexadecimal one), anything else a finite number of at most kHuge.
bool read_value(const char* text, char kind, double& value) {
  if (text == nullptr || text[0] == '\0') return false;
  char* end = nullptr;
  errno = 0;
  if (kind == 'd') {
    const long v = strtol(text, &end, 10);
    if (errno || *end || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<double>(v);
  } else if (kind == 'u') {
    if (!isdigit(static_cast<unsigned char>(text[0]))) return false;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned long v = strtoul(hex ? text + 2 : text, &end, hex ? 16 : 10);
    if (errno || *end || (hex && text[2] == '\0') || v > UINT32_MAX) return false;
    value = static_cast<double>(v);
  } else {
    const double v = strtod(text, &end);
    if (*end || !std::isfinite(v) || std::fabs(v) > kHuge) return false;
    value = v;
  }
  return true;
}

// The name of value k in the blank-separated `names`.
const char* value_name(const char* names, int k, char* buffer) {
  for (; k > 0 && *names; k--) {
    names += strcspn(names, " ");
    while (*names == ' ') names++;
  }
  const size_t len = strcspn(names, " ");
  memcpy(buffer, names, len);
  buffer[len] = '\0';
  return buffer;
}

int count_words(const char* text) {
  int n = 0;
  while (*text) {
    n++;
    text += strcspn(text, " ");
    while (*text == ' ') text++;
  }
  return n;
}

// An argument that no other parser took yet.
bool present(int j, int argc, char** argv) { return j < argc && argv[j][0] != '\0'; }
bool begins_with_digit(int j, int argc, char** argv) {
  return j < argc && isdigit(static_cast<unsigned char>(argv[j][0]));
}

void needs(const char* option, int count, const char* names) {
  laserror("'%s' needs %d argument%s: %s", option, count, count == 1 ? "" : "s", names);
}
void needs_valid(const char* option, int count, const char* names, const char* value, const char* name) {
  laserror("'%s' needs %d argument%s: %s but '%s' is no valid %s", option, count, count == 1 ? "" : "s", names, value,
           name);
}

// Clamps to the int32 range before the conversion.
int64_t floor_clamped(double v) {
  const double f = std::floor(v);
  if (!(f > -9.0e18)) return INT64_MIN;
  if (f > 9.0e18) return INT64_MAX;
  return static_cast<int64_t>(f);
}

// ---- point values ---------------------------------------------------------

typedef double (*Getter)(const LASpoint* point, int32_t index);

double scaled_x(const LASpoint* p) { return p->quantizer ? p->quantizer->get_x(p->X) : p->X; }
double scaled_y(const LASpoint* p) { return p->quantizer ? p->quantizer->get_y(p->Y) : p->Y; }
double scaled_z(const LASpoint* p) { return p->quantizer ? p->quantizer->get_z(p->Z) : p->Z; }

double get_x(const LASpoint* p, int32_t) { return scaled_x(p); }
double get_y(const LASpoint* p, int32_t) { return scaled_y(p); }
double get_z(const LASpoint* p, int32_t) { return scaled_z(p); }
double get_X(const LASpoint* p, int32_t) { return p->X; }
double get_Y(const LASpoint* p, int32_t) { return p->Y; }
double get_Z(const LASpoint* p, int32_t) { return p->Z; }

double is_first(const LASpoint* p, int32_t) { return p->get_return_number() == 1; }
double is_first_of_many(const LASpoint* p, int32_t) {
  return p->get_return_number() == 1 && p->get_number_of_returns() > 1;
}
double is_middle(const LASpoint* p, int32_t) {
  const int r = p->get_return_number();
  return r > 1 && r < p->get_number_of_returns();
}
double is_last(const LASpoint* p, int32_t) { return p->get_return_number() >= p->get_number_of_returns(); }
double is_last_of_many(const LASpoint* p, int32_t) {
  return p->get_return_number() >= p->get_number_of_returns() && p->get_number_of_returns() > 1;
}
double is_second_last(const LASpoint* p, int32_t) {
  const int n = p->get_number_of_returns();
  return n > 1 && p->get_return_number() == n - 1;
}
double get_number_of_returns(const LASpoint* p, int32_t) { return p->get_number_of_returns(); }
double is_single(const LASpoint* p, int32_t) { return p->get_number_of_returns() == 1; }
double is_double(const LASpoint* p, int32_t) { return p->get_number_of_returns() == 2; }
double is_triple(const LASpoint* p, int32_t) { return p->get_number_of_returns() == 3; }
double is_quadruple(const LASpoint* p, int32_t) { return p->get_number_of_returns() == 4; }
double is_quintuple(const LASpoint* p, int32_t) { return p->get_number_of_returns() == 5; }
double get_scan_direction(const LASpoint* p, int32_t) { return p->scan_direction_flag; }
double get_edge(const LASpoint* p, int32_t) { return p->edge_of_flight_line; }
double get_channel(const LASpoint* p, int32_t) { return p->extended_scanner_channel; }
double get_intensity(const LASpoint* p, int32_t) { return p->intensity; }
double get_synthetic(const LASpoint* p, int32_t) { return p->synthetic_flag; }
double get_keypoint(const LASpoint* p, int32_t) { return p->keypoint_flag; }
double get_withheld(const LASpoint* p, int32_t) { return p->withheld_flag; }
double get_overlap(const LASpoint* p, int32_t) { return p->get_overlap_flag(); }
double get_user_data(const LASpoint* p, int32_t) { return p->user_data; }
double get_point_source(const LASpoint* p, int32_t) { return p->point_source_ID; }
double get_scan_angle(const LASpoint* p, int32_t) { return p->get_scan_angle(); }
double get_abs_scan_angle(const LASpoint* p, int32_t) { return std::fabs(p->get_scan_angle()); }
double get_gps_time(const LASpoint* p, int32_t) { return p->gps_time; }
double get_red(const LASpoint* p, int32_t) { return p->rgb[0]; }
double get_green(const LASpoint* p, int32_t) { return p->rgb[1]; }
double get_blue(const LASpoint* p, int32_t) { return p->rgb[2]; }
double get_nir(const LASpoint* p, int32_t) { return p->rgb[3]; }
double get_greenness(const LASpoint* p, int32_t) { return 2.0 * p->rgb[1] - p->rgb[0] - p->rgb[2]; }
double get_wavepacket(const LASpoint* p, int32_t) { return p->wavepacket[0]; }
double get_attribute(const LASpoint* p, int32_t index) { return p->get_attribute_value(index); }

// (NIR - red) / (NIR + red); 0 when both are 0.
double ndvi(double nir, double red) { return nir + red > 0.0 ? (nir - red) / (nir + red) : 0.0; }
double get_ndvi(const LASpoint* p, int32_t) { return ndvi(p->rgb[3], p->rgb[0]); }
double get_ndvi_from_cir(const LASpoint* p, int32_t) { return ndvi(p->rgb[0], p->rgb[1]); }
double get_ndvi_intensity(const LASpoint* p, int32_t) { return ndvi(p->intensity, p->rgb[0]); }
double get_ndvi_green(const LASpoint* p, int32_t) { return ndvi(p->rgb[1], p->rgb[0]); }
double get_ndvi_blue(const LASpoint* p, int32_t) { return ndvi(p->rgb[2], p->rgb[0]); }

// ---- criteria ---------------------------------------------------------------

// How a value criterion turns its values into a test.
enum Test {
  KEEP_HALF,    // keep min <= v < max
  DROP_HALF,    // drop min <= v < max
  KEEP_CLOSED,  // keep min <= v <= max
  DROP_CLOSED,  // drop min <= v <= max
  KEEP_BELOW,   // keep v < a
  KEEP_ABOVE,   // keep v > a
  DROP_BELOW,   // drop v < a
  DROP_ABOVE,   // drop v > a
  KEEP_EQUAL,   // keep v == a
  DROP_EQUAL,   // drop v == a
  KEEP_FLAG,    // keep v == 1, no values
  DROP_FLAG     // drop v == 1, no values
};

// Common part of the criteria: the names and the rendering of the values.
class Named : public LAScriterion {
 public:
  Named(const char* name, const char* command, const char* formats, const double* values, int count)
      : name_(name), command_(command ? command : name), formats_(formats) {
    for (int k = 0; k < count && k < 6; k++) values_[k] = values[k];
  }
  const char* name() const override { return name_; }
  int get_command(char* string) const override { return write_command(string, command_, formats_, values_); }

 protected:
  const char* name_;
  const char* command_;
  const char* formats_;
  double values_[6] = {};
};

// One value of the point tested against an interval: inside when
// lo <= v < hi (or v <= hi when closed); dropped when inside equals
// drop_inside. A value that the point lacks (NaN) is dropped by keep
// criteria and kept by drop criteria.
class LAScriterionValue : public Named {
 public:
  LAScriterionValue(const char* name, const char* command, const char* formats, const double* values, int count,
                    Getter get, Test test, uint32_t mask, bool indexed)
      : Named(name, command, formats, values, count), get_(get), mask_(mask) {
    const double* v = values;
    if (indexed) {
      index_ = values[0] > INT32_MAX ? INT32_MAX : static_cast<int32_t>(values[0]);
      v++;
    }
    const double inf = HUGE_VAL;
    keep_ = test == KEEP_HALF || test == KEEP_CLOSED || test == KEEP_BELOW || test == KEEP_ABOVE ||
            test == KEEP_EQUAL || test == KEEP_FLAG;
    switch (test) {
      case KEEP_HALF:
      case DROP_HALF:
        set(v[0], v[1], false, test == DROP_HALF);
        break;
      case KEEP_CLOSED:
      case DROP_CLOSED:
        set(v[0], v[1], true, test == DROP_CLOSED);
        break;
      case KEEP_BELOW:
        set(-inf, v[0], false, false);
        break;
      case KEEP_ABOVE:
        set(-inf, v[0], true, true);
        break;
      case DROP_BELOW:
        set(-inf, v[0], false, true);
        break;
      case DROP_ABOVE:
        set(-inf, v[0], true, false);
        break;
      case KEEP_EQUAL:
      case DROP_EQUAL:
        set(v[0], v[0], true, test == DROP_EQUAL);
        break;
      case KEEP_FLAG:
      case DROP_FLAG:
        set(1.0, 1.0, true, test == DROP_FLAG);
        break;
    }
  }
  uint32_t get_decompress_selective() const override { return mask_; }
  bool filter(const LASpoint* point) override {
    const double v = get_(point, index_);
    if (v != v) return keep_;
    const bool inside = v >= lo_ && (closed_ ? v <= hi_ : v < hi_);
    return inside == drop_inside_;
  }

 private:
  void set(double lo, double hi, bool closed, bool drop_inside) {
    lo_ = lo;
    hi_ = hi;
    closed_ = closed;
    drop_inside_ = drop_inside;
  }
  Getter get_;
  uint32_t mask_;
  int32_t index_ = 0;
  double lo_ = 0.0, hi_ = 0.0;
  bool closed_ = false, drop_inside_ = false, keep_ = false;
};

// A box in x/y(/z), scaled or stored coordinates: inside when
// lo <= v < hi in every dimension.
class LAScriterionBox : public Named {
 public:
  LAScriterionBox(const char* name, const char* formats, const double* values, int count, const double* lo,
                  const double* hi, int dims, bool scaled, bool drop_inside)
      : Named(name, nullptr, formats, values, count), dims_(dims), scaled_(scaled), drop_inside_(drop_inside) {
    for (int d = 0; d < dims; d++) {
      lo_[d] = lo[d];
      hi_[d] = hi[d];
    }
  }
  uint32_t get_decompress_selective() const override { return dims_ == 3 ? LASselective::Z : 0; }
  bool filter(const LASpoint* p) override {
    const double v[3] = {scaled_ ? scaled_x(p) : p->X, scaled_ ? scaled_y(p) : p->Y,
                         dims_ == 3 ? (scaled_ ? scaled_z(p) : p->Z) : 0.0};
    bool inside = true;
    for (int d = 0; d < dims_; d++) inside = inside && lo_[d] <= v[d] && v[d] < hi_[d];
    return inside == drop_inside_;
  }

 private:
  int dims_;
  bool scaled_;
  bool drop_inside_;
  double lo_[3] = {}, hi_[3] = {};
};

// Keeps points strictly closer to the centre than the radius.
class LAScriterionKeepCircle : public Named {
 public:
  LAScriterionKeepCircle(const char* name, const char* formats, const double* v)
      : Named(name, nullptr, formats, v, 3), cx_(v[0]), cy_(v[1]), radius_squared_(v[2] * v[2]) {}
  bool filter(const LASpoint* p) override {
    const double dx = cx_ - scaled_x(p);
    const double dy = cy_ - scaled_y(p);
    return !(dx * dx + dy * dy < radius_squared_);
  }

 private:
  double cx_, cy_, radius_squared_;
};

// Keeps points along the segment from (x1, y1) to (x2, y2): their foot on
// the segment's line lies at 0 <= t < length from the start and their
// distance from the line is less than half the width.
class LAScriterionKeepProfile : public Named {
 public:
  LAScriterionKeepProfile(const char* name, const char* formats, const double* v)
      : Named(name, nullptr, formats, v, 5), x1_(v[0]), y1_(v[1]), half_(v[4] / 2.0) {
    const double dx = v[2] - v[0], dy = v[3] - v[1];
    length_ = std::sqrt(dx * dx + dy * dy);
    ux_ = length_ > 0.0 ? dx / length_ : 1.0;
    uy_ = length_ > 0.0 ? dy / length_ : 0.0;
  }
  bool filter(const LASpoint* p) override {
    const double px = scaled_x(p) - x1_, py = scaled_y(p) - y1_;
    const double t = px * ux_ + py * uy_;
    const double d = std::fabs(px * uy_ - py * ux_);
    return !(t >= 0.0 && t < length_ && d < half_);
  }

 private:
  double x1_, y1_, half_, length_, ux_, uy_;
};

// Hue (0 to 360 degrees), saturation and value or lightness (0 to 1) of
// the 16-bit colour, each tested against a closed range.
class LAScriterionColour : public Named {
 public:
  LAScriterionColour(const char* name, const double* v, bool lightness, bool drop)
      : Named(name, nullptr, "%g %g %g %g %g %g", v, 6), lightness_(lightness), drop_(drop) {}
  uint32_t get_decompress_selective() const override { return LASselective::RGB; }
  bool filter(const LASpoint* p) override {
    const double r = p->rgb[0] / 65535.0, g = p->rgb[1] / 65535.0, b = p->rgb[2] / 65535.0;
    const double max = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const double min = r < g ? (r < b ? r : b) : (g < b ? g : b);
    const double chroma = max - min;
    double hue = 0.0;
    if (chroma > 0.0) {
      if (max == r) {
        hue = 60.0 * std::fmod((g - b) / chroma + 6.0, 6.0);
      } else if (max == g) {
        hue = 60.0 * ((b - r) / chroma + 2.0);
      } else {
        hue = 60.0 * ((r - g) / chroma + 4.0);
      }
    }
    double sat, third;
    if (lightness_) {
      third = (max + min) / 2.0;
      sat = (third <= 0.0 || third >= 1.0) ? 0.0 : chroma / (1.0 - std::fabs(2.0 * third - 1.0));
    } else {
      third = max;
      sat = max > 0.0 ? chroma / max : 0.0;
    }
    const bool inside = values_[0] <= hue && hue <= values_[1] && values_[2] <= sat && sat <= values_[3] &&
                        values_[4] <= third && third <= values_[5];
    return inside == drop_;
  }

 private:
  bool lightness_;
  bool drop_;
};

// The 5-bit classes to keep (`-keep_class`) or drop (`-drop_class`); the
// criterion holds the drop mask. A point of class 0 with a non-zero
// extended class (a class above 31) is dropped by the keep form and kept
// by the drop form.
class LAScriterionClassifications : public LAScriterion {
 public:
  LAScriterionClassifications(uint32_t drop_mask, bool keep) : drop_mask_(drop_mask), keep_(keep) {}
  const char* name() const override { return keep_ ? "keep_classification_mask" : "drop_classification_mask"; }
  int get_command(char* string) const override {
    const uint32_t listed = keep_ ? ~drop_mask_ : drop_mask_;
    if (listed == 0) return sprintf(string, "-%s 0 ", name());
    int n = sprintf(string, "-%s ", keep_ ? "keep_class" : "drop_class");
    for (uint32_t c = 0; c < 32; c++) {
      if (listed & (1u << c)) n += sprintf(string + n, "%u ", c);
    }
    return n;
  }
  uint32_t get_decompress_selective() const override { return LASselective::CLASSIFICATION; }
  bool filter(const LASpoint* p) override {
    if (p->classification != 0) return (drop_mask_ >> p->classification) & 1u;
    if (p->extended_classification != 0) return keep_;
    return drop_mask_ & 1u;
  }

 private:
  uint32_t drop_mask_;
  bool keep_;
};

// The 8-bit classes to keep or drop; holds the drop mask and renders the
// classes the way they were given.
class LAScriterionExtendedClassifications : public LAScriterion {
 public:
  LAScriterionExtendedClassifications(const uint32_t* drop_mask, bool keep) : keep_(keep) {
    memcpy(mask_, drop_mask, sizeof(mask_));
  }
  const char* name() const override { return "drop_extended_classification_mask"; }
  int get_command(char* string) const override {
    int n = sprintf(string, "-%s ", keep_ ? "keep_extended_class" : "drop_extended_class");
    for (uint32_t c = 0; c < 256; c++) {
      if (((mask_[c / 32] >> (c % 32)) & 1u) != keep_) n += sprintf(string + n, "%u ", c);
    }
    return n;
  }
  uint32_t get_decompress_selective() const override { return LASselective::CLASSIFICATION; }
  bool filter(const LASpoint* p) override {
    const uint32_t c = p->get_extended_classification();
    return (mask_[c / 32] >> (c % 32)) & 1u;
  }

 private:
  uint32_t mask_[8];
  bool keep_;
};

// Return numbers 0 to 15 to keep or drop; holds the mask as given.
class LAScriterionReturnMask : public LAScriterion {
 public:
  LAScriterionReturnMask(uint32_t mask, bool keep) : mask_(mask), keep_(keep) {}
  const char* name() const override { return keep_ ? "keep_return_mask" : "drop_return_mask"; }
  int get_command(char* string) const override { return sprintf(string, "-%s %u ", name(), mask_); }
  bool filter(const LASpoint* p) override { return ((mask_ >> p->get_return_number()) & 1u) != keep_; }

 private:
  uint32_t mask_;
  bool keep_;
};

// Keeps (or drops) every nth point: the counter runs from 1 to n and
// starts again at 1 after the nth point.
class LAScriterionEveryNth : public Named {
 public:
  LAScriterionEveryNth(const char* name, const double* v, bool keep)
      : Named(name, nullptr, "%u", v, 1), n_(static_cast<uint32_t>(v[0])), keep_(keep) {}
  bool filter(const LASpoint*) override {
    const bool nth = counter_ == n_;
    counter_ = nth ? 1 : counter_ + 1;
    return nth != keep_;
  }
  void reset() override { counter_ = 1; }

 private:
  uint32_t n_;
  uint32_t counter_ = 1;
  bool keep_;
};

// Keeps each point with the given probability, drawn from a generator that
// restarts at the seed, so a file gives the same points every time.
class LAScriterionKeepRandomFraction : public LAScriterion {
 public:
  LAScriterionKeepRandomFraction(double fraction, uint32_t seed, bool seeded)
      : fraction_(fraction), seed_(seed), seeded_(seeded), state_(seed) {}
  const char* name() const override { return "keep_random_fraction"; }
  int get_command(char* string) const override {
    return seeded_ ? sprintf(string, "-%s %g %u ", name(), fraction_, seed_)
                   : sprintf(string, "-%s %g ", name(), fraction_);
  }
  bool filter(const LASpoint*) override {
    // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53 >= fraction_;
  }
  void reset() override { state_ = seed_; }

 private:
  double fraction_;
  uint32_t seed_;
  bool seeded_;
  uint64_t state_;
};

// Open-addressing table of 64-bit keys with one double per key; grows by
// doubling at half load.
class KeyTable {
 public:
  // The slot of key, inserted with `value` when new (then *fresh is true).
  double& find(uint64_t key, bool* fresh) {
    if (2 * (used_ + 1) > keys_.size()) grow();
    size_t i = slot(key);
    while (full_[i] && keys_[i] != key) i = (i + 1) & (keys_.size() - 1);
    *fresh = !full_[i];
    if (*fresh) {
      full_[i] = 1;
      keys_[i] = key;
      values_[i] = 0.0;
      used_++;
    }
    return values_[i];
  }
  void clear() {
    keys_.clear();
    values_.clear();
    full_.clear();
    used_ = 0;
  }

 private:
  size_t slot(uint64_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) & (keys_.size() - 1);
  }
  void grow() {
    std::vector<uint64_t> keys;
    std::vector<double> values;
    std::vector<uint8_t> full;
    keys.swap(keys_);
    values.swap(values_);
    full.swap(full_);
    const size_t size = keys.empty() ? 1024 : 2 * keys.size();
    keys_.assign(size, 0);
    values_.assign(size, 0.0);
    full_.assign(size, 0);
    used_ = 0;
    bool fresh;
    for (size_t k = 0; k < keys.size(); k++) {
      if (full[k]) find(keys[k], &fresh) = values[k];
    }
  }
  std::vector<uint64_t> keys_;
  std::vector<double> values_;
  std::vector<uint8_t> full_;
  size_t used_ = 0;
};

// Thinning: keeps the first point of each grid cell (thin_with_grid), the
// first point of each time step (thin_points_with_time) or every point of
// the first pulse, that is the first GPS time, of each time step
// (thin_pulses_with_time). Cells and steps start at multiples of the size.
class LAScriterionThin : public Named {
 public:
  enum Kind { GRID, POINTS, PULSES };
  LAScriterionThin(const char* name, const double* v, Kind kind)
      : Named(name, nullptr, "%g", v, 1), size_(v[0]), kind_(kind) {}
  uint32_t get_decompress_selective() const override { return kind_ == GRID ? 0 : LASselective::GPS_TIME; }
  bool filter(const LASpoint* p) override {
    bool fresh;
    if (kind_ == GRID) {
      const uint64_t cx = static_cast<uint32_t>(clamp32(floor_clamped(scaled_x(p) / size_)));
      const uint64_t cy = static_cast<uint32_t>(clamp32(floor_clamped(scaled_y(p) / size_)));
      table_.find((cx << 32) | cy, &fresh);
      return !fresh;
    }
    double& first = table_.find(static_cast<uint64_t>(floor_clamped(p->gps_time / size_)), &fresh);
    if (fresh) first = p->gps_time;
    return kind_ == POINTS ? !fresh : first != p->gps_time;
  }
  void reset() override { table_.clear(); }

 private:
  static int64_t clamp32(int64_t v) { return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v); }
  double size_;
  Kind kind_;
  KeyTable table_;
};

// Keeps a point whose scan direction differs from the previous point's; the
// first point has none before it and is dropped.
class LAScriterionKeepScanDirectionChange : public LAScriterion {
 public:
  const char* name() const override { return "keep_scan_direction_change"; }
  int get_command(char* string) const override { return sprintf(string, "-%s ", name()); }
  uint32_t get_decompress_selective() const override { return LASselective::FLAGS; }
  bool filter(const LASpoint* p) override {
    const int last = last_;
    last_ = p->scan_direction_flag;
    return last == last_ || last < 0;
  }
  void reset() override { last_ = -1; }

 private:
  int last_ = -1;
};

// Two criteria combined: `and` drops a point when both drop it (asking the
// second only when the first drops), `or` when either does (asking the
// second only when the first keeps).
class LAScriterionBoolean : public LAScriterion {
 public:
  LAScriterionBoolean(LAScriterion* one, LAScriterion* two, bool is_and) : one_(one), two_(two), and_(is_and) {}
  ~LAScriterionBoolean() override {
    delete one_;
    delete two_;
  }
  const char* name() const override { return and_ ? "filter_and" : "filter_or"; }
  int get_command(char* string) const override {
    int n = one_->get_command(string);
    n += two_->get_command(string + n);
    return n + sprintf(string + n, "-%s ", name());
  }
  uint32_t get_decompress_selective() const override {
    return one_->get_decompress_selective() | two_->get_decompress_selective();
  }
  bool filter(const LASpoint* p) override {
    return and_ ? (one_->filter(p) && two_->filter(p)) : (one_->filter(p) || two_->filter(p));
  }
  void reset() override {
    one_->reset();
    two_->reset();
  }

 private:
  LAScriterion* one_;
  LAScriterion* two_;
  bool and_;
};

// ---- option table -----------------------------------------------------------

struct Row;
typedef LAScriterion* (*Make)(const Row& row, const double* v, int count);

struct Row {
  const char* option;   // the option word without its dash
  const char* name;     // what name() answers; null: the option word
  const char* command;  // the word get_command writes; null: the name
  const char* formats;  // print formats of the values, blank-separated
  const char* values;   // names of the values, for messages
  Make make;
  Getter get;
  Test test;
  uint32_t mask;
  double min, max;     // every value must lie in [min, max]
  bool positive_last;  // and the last one must be > 0
  int variant;         // what a special criterion makes (see its make function)
};

// Variants of the special rows.
constexpr int STORED = 1;     // box of stored integer coordinates
constexpr int LIGHTNESS = 8;  // colour: HSL instead of HSV; plus the index of the first value among the six

LAScriterion* make_value(const Row& r, const double* v, int count) {
  const bool indexed = r.get == get_attribute;
  return new LAScriterionValue(r.name ? r.name : r.option, r.command, r.formats, v, count, r.get, r.test, r.mask,
                               indexed);
}
LAScriterion* make_box(const Row& r, const double* v, int count) {
  const char* name = r.name ? r.name : r.option;
  const bool drop = r.test == DROP_HALF;
  const bool scaled = r.variant != STORED;
  if (count == 3) {  // tile: single-precision corners
    const double lo[2] = {static_cast<float>(v[0]), static_cast<float>(v[1])};
    const double hi[2] = {static_cast<float>(static_cast<float>(v[0]) + static_cast<float>(v[2])),
                          static_cast<float>(static_cast<float>(v[1]) + static_cast<float>(v[2]))};
    const double shown[3] = {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
    return new LAScriterionBox(name, r.formats, shown, 3, lo, hi, 2, true, false);
  }
  const int dims = count / 2;
  return new LAScriterionBox(name, r.formats, v, count, v, v + dims, dims, scaled, drop);
}
LAScriterion* make_circle(const Row& r, const double* v, int) {
  return new LAScriterionKeepCircle(r.option, r.formats, v);
}
LAScriterion* make_profile(const Row& r, const double* v, int) {
  return new LAScriterionKeepProfile(r.option, r.formats, v);
}
// Six-value colour ranges; the single-channel forms set one range and keep
// the full range of the other two.
LAScriterion* make_colour(const Row& r, const double* v, int count) {
  const char* name = r.name ? r.name : r.option;
  const bool lightness = (r.variant & LIGHTNESS) != 0;
  double all[6] = {0.0, 360.0, 0.0, 1.0, 0.0, 1.0};
  const int at = r.variant & 7;
  for (int k = 0; k < count; k++) all[at + k] = v[k];
  return new LAScriterionColour(name, all, lightness, name[0] == 'd');
}
LAScriterion* make_every_nth(const Row& r, const double* v, int) {
  return new LAScriterionEveryNth(r.option, v, r.test == KEEP_FLAG);
}
LAScriterion* make_thin(const Row& r, const double* v, int) {
  const char* name = r.name ? r.name : r.option;
  return new LAScriterionThin(name, v, static_cast<LAScriterionThin::Kind>(r.variant));
}
LAScriterion* make_direction_change(const Row&, const double*, int) {
  return new LAScriterionKeepScanDirectionChange();
}

constexpr double kInf = kHuge;
constexpr double kI32 = 2147483647.0;

#define VALUE(option, formats, values, test, get, mask, lo, hi) \
  { option, nullptr, nullptr, formats, values, make_value, get, test, mask, lo, hi, false, 0 }
#define ALIAS(option, name, formats, values, test, get, mask, lo, hi) \
  { option, name, nullptr, formats, values, make_value, get, test, mask, lo, hi, false, 0 }
#define FLAG(option, test, get, mask) \
  { option, nullptr, nullptr, "", "", make_value, get, test, mask, 0, 0, false, 0 }
#define SPECIAL(option, name, formats, values, make, test, variant, lo, hi, positive) \
  { option, name, nullptr, formats, values, make, nullptr, test, 0, lo, hi, positive, variant }
#define CHANNEL(option, test, get, mask)                                                                               \
  {                                                                                                                    \
    option, test == KEEP_CLOSED ? "keep_RGB" : "drop_RGB", option, "%d %d", "min max", make_value, get, test, mask, 0, \
        65535, false, 0                                                                                                \
  }
#define NDVI(option, get, mask) VALUE(option, "%g %g", "min max", KEEP_CLOSED, get, mask, -1, 1)
#define COLOUR(option, name, formats, values, variant) \
  SPECIAL(option, name, formats, values, make_colour, KEEP_CLOSED, variant, -kInf, kInf, false)

using namespace LASselective;

const Row kRows[] = {
    // coordinates
    SPECIAL("keep_tile", nullptr, "%g %g %g", "ll_x ll_y size", make_box, KEEP_HALF, 0, -kInf, kInf, true),
    SPECIAL("keep_circle", nullptr, "%lf %lf %lf", "center_x center_y radius", make_circle, KEEP_HALF, 0, -kInf, kInf,
            true),
    SPECIAL("keep_xyz", nullptr, "%lf %lf %lf %lf %lf %lf", "min_x min_y min_z max_x max_y max_z", make_box, KEEP_HALF,
            0, -kInf, kInf, false),
    SPECIAL("drop_xyz", nullptr, "%lf %lf %lf %lf %lf %lf", "min_x min_y min_z max_x max_y max_z", make_box, DROP_HALF,
            0, -kInf, kInf, false),
    SPECIAL("keep_profile", nullptr, "%lf %lf %lf %lf %lf", "start_x start_y end_x end_y width", make_profile,
            KEEP_HALF, 0, -kInf, kInf, true),
    SPECIAL("keep_xy", nullptr, "%lf %lf %lf %lf", "min_x min_y max_x max_y", make_box, KEEP_HALF, 0, -kInf, kInf,
            false),
    SPECIAL("drop_xy", nullptr, "%lf %lf %lf %lf", "min_x min_y max_x max_y", make_box, DROP_HALF, 0, -kInf, kInf,
            false),
    SPECIAL("keep_XY", nullptr, "%d %d %d %d", "min_X min_Y max_X max_Y", make_box, KEEP_HALF, STORED, -kI32 - 1, kI32,
            false),
    VALUE("keep_x", "%lf %lf", "min max", KEEP_HALF, get_x, 0, -kInf, kInf),
    VALUE("drop_x", "%lf %lf", "min max", DROP_HALF, get_x, 0, -kInf, kInf),
    VALUE("keep_y", "%lf %lf", "min max", KEEP_HALF, get_y, 0, -kInf, kInf),
    VALUE("drop_y", "%lf %lf", "min max", DROP_HALF, get_y, 0, -kInf, kInf),
    VALUE("keep_z", "%lf %lf", "min max", KEEP_HALF, get_z, Z, -kInf, kInf),
    VALUE("drop_z", "%lf %lf", "min max", DROP_HALF, get_z, Z, -kInf, kInf),
    VALUE("drop_x_below", "%lf", "min_x", DROP_BELOW, get_x, 0, -kInf, kInf),
    VALUE("drop_x_above", "%lf", "max_x", DROP_ABOVE, get_x, 0, -kInf, kInf),
    VALUE("drop_y_below", "%lf", "min_y", DROP_BELOW, get_y, 0, -kInf, kInf),
    VALUE("drop_y_above", "%lf", "max_y", DROP_ABOVE, get_y, 0, -kInf, kInf),
    VALUE("drop_z_below", "%lf", "min_z", DROP_BELOW, get_z, Z, -kInf, kInf),
    VALUE("drop_z_above", "%lf", "max_z", DROP_ABOVE, get_z, Z, -kInf, kInf),
    VALUE("keep_X", "%d %d", "min max", KEEP_HALF, get_X, 0, -kI32 - 1, kI32),
    VALUE("drop_X", "%d %d", "min max", DROP_HALF, get_X, 0, -kI32 - 1, kI32),
    VALUE("keep_Y", "%d %d", "min max", KEEP_HALF, get_Y, 0, -kI32 - 1, kI32),
    VALUE("drop_Y", "%d %d", "min max", DROP_HALF, get_Y, 0, -kI32 - 1, kI32),
    VALUE("keep_Z", "%d %d", "min max", KEEP_HALF, get_Z, Z, -kI32 - 1, kI32),
    VALUE("drop_Z", "%d %d", "min max", DROP_HALF, get_Z, Z, -kI32 - 1, kI32),
    VALUE("drop_X_below", "%d", "min_X", DROP_BELOW, get_X, 0, -kI32 - 1, kI32),
    VALUE("drop_X_above", "%d", "max_X", DROP_ABOVE, get_X, 0, -kI32 - 1, kI32),
    VALUE("drop_Y_below", "%d", "min_Y", DROP_BELOW, get_Y, 0, -kI32 - 1, kI32),
    VALUE("drop_Y_above", "%d", "max_Y", DROP_ABOVE, get_Y, 0, -kI32 - 1, kI32),
    VALUE("drop_Z_below", "%d", "min_Z", DROP_BELOW, get_Z, Z, -kI32 - 1, kI32),
    VALUE("drop_Z_above", "%d", "max_Z", DROP_ABOVE, get_Z, Z, -kI32 - 1, kI32),
    // return numbering
    FLAG("keep_first", KEEP_FLAG, is_first, 0),
    ALIAS("first_only", "keep_first", "", "", KEEP_FLAG, is_first, 0, 0, 0),
    FLAG("keep_first_of_many", KEEP_FLAG, is_first_of_many, 0),
    FLAG("keep_middle", KEEP_FLAG, is_middle, 0),
    FLAG("keep_last", KEEP_FLAG, is_last, 0),
    ALIAS("last_only", "keep_last", "", "", KEEP_FLAG, is_last, 0, 0, 0),
    FLAG("keep_last_of_many", KEEP_FLAG, is_last_of_many, 0),
    FLAG("keep_second_last", KEEP_FLAG, is_second_last, 0),
    FLAG("drop_first", DROP_FLAG, is_first, 0),
    FLAG("drop_first_of_many", DROP_FLAG, is_first_of_many, 0),
    FLAG("drop_middle", DROP_FLAG, is_middle, 0),
    FLAG("drop_last", DROP_FLAG, is_last, 0),
    FLAG("drop_last_of_many", DROP_FLAG, is_last_of_many, 0),
    FLAG("drop_second_last", DROP_FLAG, is_second_last, 0),
    FLAG("keep_single", KEEP_FLAG, is_single, 0),
    FLAG("keep_double", KEEP_FLAG, is_double, 0),
    FLAG("keep_triple", KEEP_FLAG, is_triple, 0),
    FLAG("keep_quadruple", KEEP_FLAG, is_quadruple, 0),
    FLAG("keep_quintuple", KEEP_FLAG, is_quintuple, 0),
    FLAG("drop_single", DROP_FLAG, is_single, 0),
    FLAG("drop_double", DROP_FLAG, is_double, 0),
    FLAG("drop_triple", DROP_FLAG, is_triple, 0),
    FLAG("drop_quadruple", DROP_FLAG, is_quadruple, 0),
    FLAG("drop_quintuple", DROP_FLAG, is_quintuple, 0),
    VALUE("keep_number_of_returns", "%u", "number", KEEP_EQUAL, get_number_of_returns, 0, 0, 15),
    VALUE("drop_number_of_returns", "%u", "number", DROP_EQUAL, get_number_of_returns, 0, 0, 15),
    // scanline flags
    VALUE("drop_scan_direction", "%d", "direction", DROP_EQUAL, get_scan_direction, FLAGS, 0, 1),
    SPECIAL("keep_scan_direction_change", nullptr, "", "", make_direction_change, KEEP_FLAG, 0, 0, 0, false),
    FLAG("keep_edge_of_flight_line", KEEP_FLAG, get_edge, FLAGS),
    FLAG("drop_edge_of_flight_line", DROP_FLAG, get_edge, FLAGS),
    VALUE("keep_scanner_channel", "%d", "channel", KEEP_EQUAL, get_channel, 0, 0, 3),
    VALUE("drop_scanner_channel", "%d", "channel", DROP_EQUAL, get_channel, 0, 0, 3),
    // intensity
    VALUE("keep_intensity", "%d %d", "min max", KEEP_CLOSED, get_intensity, INTENSITY, 0, 65535),
    VALUE("keep_intensity_below", "%d", "max", KEEP_BELOW, get_intensity, INTENSITY, 0, 65535),
    VALUE("keep_intensity_above", "%d", "min", KEEP_ABOVE, get_intensity, INTENSITY, 0, 65535),
    VALUE("drop_intensity_below", "%d", "min", DROP_BELOW, get_intensity, INTENSITY, 0, 65535),
    VALUE("drop_intensity_above", "%d", "max", DROP_ABOVE, get_intensity, INTENSITY, 0, 65535),
    VALUE("drop_intensity_between", "%d %d", "min max", DROP_CLOSED, get_intensity, INTENSITY, 0, 65535),
    // flags
    FLAG("drop_synthetic", DROP_FLAG, get_synthetic, FLAGS),
    FLAG("keep_synthetic", KEEP_FLAG, get_synthetic, FLAGS),
    FLAG("drop_keypoint", DROP_FLAG, get_keypoint, FLAGS),
    FLAG("keep_keypoint", KEEP_FLAG, get_keypoint, FLAGS),
    FLAG("drop_withheld", DROP_FLAG, get_withheld, FLAGS),
    FLAG("keep_withheld", KEEP_FLAG, get_withheld, FLAGS),
    FLAG("drop_overlap", DROP_FLAG, get_overlap, FLAGS),
    FLAG("keep_overlap", KEEP_FLAG, get_overlap, FLAGS),
    // user data
    VALUE("keep_user_data", "%d", "value", KEEP_EQUAL, get_user_data, USER_DATA, 0, 255),
    VALUE("keep_user_data_below", "%d", "max", KEEP_BELOW, get_user_data, USER_DATA, 0, 255),
    VALUE("keep_user_data_above", "%d", "min", KEEP_ABOVE, get_user_data, USER_DATA, 0, 255),
    VALUE("keep_user_data_between", "%d %d", "min max", KEEP_CLOSED, get_user_data, USER_DATA, 0, 255),
    VALUE("drop_user_data", "%d", "value", DROP_EQUAL, get_user_data, USER_DATA, 0, 255),
    VALUE("drop_user_data_below", "%d", "min", DROP_BELOW, get_user_data, USER_DATA, 0, 255),
    VALUE("drop_user_data_above", "%d", "max", DROP_ABOVE, get_user_data, USER_DATA, 0, 255),
    VALUE("drop_user_data_between", "%d %d", "min max", DROP_CLOSED, get_user_data, USER_DATA, 0, 255),
    // point source
    VALUE("keep_point_source", "%d", "ID", KEEP_EQUAL, get_point_source, POINT_SOURCE, 0, 65535),
    VALUE("keep_point_source_between", "%d %d", "min max", KEEP_CLOSED, get_point_source, POINT_SOURCE, 0, 65535),
    VALUE("drop_point_source", "%d", "ID", DROP_EQUAL, get_point_source, POINT_SOURCE, 0, 65535),
    VALUE("drop_point_source_below", "%d", "min", DROP_BELOW, get_point_source, POINT_SOURCE, 0, 65535),
    VALUE("drop_point_source_above", "%d", "max", DROP_ABOVE, get_point_source, POINT_SOURCE, 0, 65535),
    VALUE("drop_point_source_between", "%d %d", "min max", DROP_CLOSED, get_point_source, POINT_SOURCE, 0, 65535),
    // scan angle
    VALUE("keep_scan_angle", "%.3f %.3f", "min max", KEEP_CLOSED, get_scan_angle, SCAN_ANGLE, -180, 180),
    VALUE("drop_scan_angle_below", "%.3f", "min", DROP_BELOW, get_scan_angle, SCAN_ANGLE, -180, 180),
    VALUE("drop_scan_angle_above", "%.3f", "max", DROP_ABOVE, get_scan_angle, SCAN_ANGLE, -180, 180),
    VALUE("drop_scan_angle_between", "%.3f %.3f", "min max", DROP_CLOSED, get_scan_angle, SCAN_ANGLE, -180, 180),
    VALUE("drop_abs_scan_angle_below", "%.3f", "min", DROP_BELOW, get_abs_scan_angle, SCAN_ANGLE, 0, 180),
    VALUE("drop_abs_scan_angle_above", "%.3f", "max", DROP_ABOVE, get_abs_scan_angle, SCAN_ANGLE, 0, 180),
    VALUE("drop_abs_scan_angle_between", "%.3f %.3f", "min max", DROP_CLOSED, get_abs_scan_angle, SCAN_ANGLE, 0, 180),
    // GPS time
    VALUE("keep_gps_time", "%lf %lf", "min max", KEEP_CLOSED, get_gps_time, GPS_TIME, -kInf, kInf),
    VALUE("drop_gps_time_below", "%lf", "min", DROP_BELOW, get_gps_time, GPS_TIME, -kInf, kInf),
    VALUE("drop_gps_time_above", "%lf", "max", DROP_ABOVE, get_gps_time, GPS_TIME, -kInf, kInf),
    VALUE("drop_gps_time_between", "%lf %lf", "min max", DROP_CLOSED, get_gps_time, GPS_TIME, -kInf, kInf),
    ALIAS("keep_gpstime", "keep_gps_time", "%lf %lf", "min max", KEEP_CLOSED, get_gps_time, GPS_TIME, -kInf, kInf),
    ALIAS("drop_gpstime_below", "drop_gps_time_below", "%lf", "min", DROP_BELOW, get_gps_time, GPS_TIME, -kInf, kInf),
    ALIAS("drop_gpstime_above", "drop_gps_time_above", "%lf", "max", DROP_ABOVE, get_gps_time, GPS_TIME, -kInf, kInf),
    ALIAS("drop_gpstime_between", "drop_gps_time_between", "%lf %lf", "min max", DROP_CLOSED, get_gps_time, GPS_TIME,
          -kInf, kInf),
    // colour channels
    CHANNEL("keep_RGB_red", KEEP_CLOSED, get_red, RGB),
    CHANNEL("keep_RGB_green", KEEP_CLOSED, get_green, RGB),
    CHANNEL("keep_RGB_blue", KEEP_CLOSED, get_blue, RGB),
    CHANNEL("keep_RGB_nir", KEEP_CLOSED, get_nir, NIR),
    CHANNEL("drop_RGB_red", DROP_CLOSED, get_red, RGB),
    CHANNEL("drop_RGB_green", DROP_CLOSED, get_green, RGB),
    CHANNEL("drop_RGB_blue", DROP_CLOSED, get_blue, RGB),
    CHANNEL("drop_RGB_nir", DROP_CLOSED, get_nir, NIR),
    VALUE("keep_RGB_greenness", "%d %d", "min max", KEEP_CLOSED, get_greenness, RGB, -131070, 131070),
    NDVI("keep_NDVI", get_ndvi, RGB | NIR),
    NDVI("keep_NDVI_from_CIR", get_ndvi_from_cir, RGB),
    NDVI("keep_NDVI_intensity_is_NIR", get_ndvi_intensity, RGB | INTENSITY),
    NDVI("keep_NDVI_green_is_NIR", get_ndvi_green, RGB),
    NDVI("keep_NDVI_blue_is_NIR", get_ndvi_blue, RGB),
    COLOUR("keep_HSV", nullptr, "%g %g %g %g %g %g",
           "min_hue max_hue min_saturation max_saturation min_value max_value", 0),
    COLOUR("drop_HSV", nullptr, "%g %g %g %g %g %g",
           "min_hue max_hue min_saturation max_saturation min_value max_value", 0),
    COLOUR("keep_HSL", nullptr, "%g %g %g %g %g %g",
           "min_hue max_hue min_saturation max_saturation min_lightness max_lightness", LIGHTNESS),
    COLOUR("drop_HSL", nullptr, "%g %g %g %g %g %g",
           "min_hue max_hue min_saturation max_saturation min_lightness max_lightness", LIGHTNESS),
    COLOUR("keep_HSV_hue", "keep_HSV", "%g %g", "min max", 0),
    COLOUR("keep_HSV_saturation", "keep_HSV", "%g %g", "min max", 2),
    COLOUR("keep_HSV_value", "keep_HSV", "%g %g", "min max", 4),
    COLOUR("drop_HSV_hue", "drop_HSV", "%g %g", "min max", 0),
    COLOUR("drop_HSV_saturation", "drop_HSV", "%g %g", "min max", 2),
    COLOUR("drop_HSV_value", "drop_HSV", "%g %g", "min max", 4),
    COLOUR("keep_HSL_hue", "keep_HSL", "%g %g", "min max", LIGHTNESS),
    COLOUR("keep_HSL_saturation", "keep_HSL", "%g %g", "min max", LIGHTNESS + 2),
    COLOUR("keep_HSL_lightness", "keep_HSL", "%g %g", "min max", LIGHTNESS + 4),
    COLOUR("drop_HSL_hue", "drop_HSL", "%g %g", "min max", LIGHTNESS),
    COLOUR("drop_HSL_saturation", "drop_HSL", "%g %g", "min max", LIGHTNESS + 2),
    COLOUR("drop_HSL_lightness", "drop_HSL", "%g %g", "min max", LIGHTNESS + 4),
    // wave packets
    VALUE("keep_wavepacket", "%u", "index", KEEP_EQUAL, get_wavepacket, WAVEPACKET, 0, 255),
    VALUE("drop_wavepacket", "%u", "index", DROP_EQUAL, get_wavepacket, WAVEPACKET, 0, 255),
    // extra attributes: the first value is the attribute's index
    VALUE("keep_attribute_below", "%u %lf", "index max", KEEP_BELOW, get_attribute, EXTRA_BYTES, -kInf, kInf),
    VALUE("keep_attribute_above", "%u %lf", "index min", KEEP_ABOVE, get_attribute, EXTRA_BYTES, -kInf, kInf),
    VALUE("keep_attribute_between", "%u %lf %lf", "index min max", KEEP_CLOSED, get_attribute, EXTRA_BYTES, -kInf,
          kInf),
    VALUE("drop_attribute_below", "%u %lf", "index min", DROP_BELOW, get_attribute, EXTRA_BYTES, -kInf, kInf),
    VALUE("drop_attribute_above", "%u %lf", "index max", DROP_ABOVE, get_attribute, EXTRA_BYTES, -kInf, kInf),
    VALUE("drop_attribute_between", "%u %lf %lf", "index min max", DROP_CLOSED, get_attribute, EXTRA_BYTES, -kInf,
          kInf),
    // thinning
    SPECIAL("keep_every_nth", nullptr, "%u", "n", make_every_nth, KEEP_FLAG, 0, 1, 4294967295.0, false),
    SPECIAL("drop_every_nth", nullptr, "%u", "n", make_every_nth, DROP_FLAG, 0, 1, 4294967295.0, false),
    SPECIAL("thin_with_grid", nullptr, "%g", "grid_spacing", make_thin, KEEP_FLAG, LAScriterionThin::GRID, DBL_MIN,
            kInf, false),
    SPECIAL("thin_pulses_with_time", nullptr, "%g", "time_spacing", make_thin, KEEP_FLAG, LAScriterionThin::PULSES,
            DBL_MIN, kInf, false),
    SPECIAL("thin_points_with_time", nullptr, "%g", "time_spacing", make_thin, KEEP_FLAG, LAScriterionThin::POINTS,
            DBL_MIN, kInf, false),
    SPECIAL("thin_with_time", "thin_points_with_time", "%g", "time_spacing", make_thin, KEEP_FLAG,
            LAScriterionThin::POINTS, DBL_MIN, kInf, false),
};

#undef VALUE
#undef ALIAS
#undef FLAG
#undef SPECIAL
#undef CHANNEL
#undef NDVI
#undef COLOUR

// Reads the values of a table option; blanks option and values.
CriterionOption parse_row(const Row& row, int& i, int argc, char** argv, LAScriterion** made) {
  const char* option = argv[i];
  const int count = count_words(row.values);
  double v[6];
  char name[32];
  for (int k = 0; k < count; k++) {
    if (!present(i + 1 + k, argc, argv)) {
      needs(option, count, row.values);
      return CriterionOption::FAILED;
    }
  }
  const char* formats = row.formats;
  for (int k = 0; k < count; k++) {
    const char* text = argv[i + 1 + k];
    const size_t len = strcspn(formats, " ");
    const char kind = formats[len - 1];
    formats += len;
    while (*formats == ' ') formats++;
    const bool indexed = row.get == get_attribute && k == 0;
    const bool ok = read_value(text, kind, v[k]);
    if (ok && row.get == get_point_source && v[k] > 65535.0) {
      laserror("cannot %s ID %u because it is larger than %u", row.option, static_cast<unsigned int>(v[k]), 65535u);
      return CriterionOption::FAILED;
    }
    if (!ok || (!indexed && (v[k] < row.min || v[k] > row.max)) ||
        (row.positive_last && k == count - 1 && !(v[k] > 0.0))) {
      needs_valid(option, count, row.values, text, value_name(row.values, k, name));
      return CriterionOption::FAILED;
    }
  }
  *made = row.make(row, v, count);
  for (int k = 0; k <= count; k++) argv[i + k][0] = '\0';
  i += count;
  return CriterionOption::TAKEN;
}

// `-keep_class`/`-drop_class` c ... (0 to 31) and `-keep_extended_class`/
// `-drop_extended_class` c ... (0 to 255): the codes as long as the next
// argument begins with a digit.
CriterionOption parse_class_list(int& i, int argc, char** argv, bool keep, bool extended, LAScriterion** made) {
  const char* option = argv[i];
  if (!begins_with_digit(i + 1, argc, argv)) {
    laserror("'%s' needs at least 1 argument: classification", option);
    return CriterionOption::FAILED;
  }
  uint32_t mask[8] = {};
  int j = i + 1;
  for (; begins_with_digit(j, argc, argv); j++) {
    double v;
    if (!read_value(argv[j], 'u', v)) {
      laserror("'%s' needs at least 1 argument: classification but '%s' is no valid classification", option, argv[j]);
      return CriterionOption::FAILED;
    }
    const uint32_t c = static_cast<uint32_t>(v);
    if (extended && c > 255) {
      laserror("'%s' needs arguments between 0 and 255 but '%u' is out of range", option, c);
      return CriterionOption::FAILED;
    }
    if (!extended && c > 31) {
      laserror("'%s' needs arguments between 0 and 31 but '%u' is out of range (see -%s_extended_class)", option, c,
               keep ? "keep" : "drop");
      return CriterionOption::FAILED;
    }
    mask[c / 32] |= 1u << (c % 32);
  }
  if (extended) {
    if (keep) {
      for (uint32_t& word : mask) word = ~word;
    }
    *made = new LAScriterionExtendedClassifications(mask, keep);
  } else {
    *made = new LAScriterionClassifications(keep ? ~mask[0] : mask[0], keep);
  }
  for (int k = i; k < j; k++) argv[k][0] = '\0';
  i = j - 1;
  return CriterionOption::TAKEN;
}

// `-keep_return`/`-drop_return` r ... (0 to 15).
CriterionOption parse_return_list(int& i, int argc, char** argv, bool keep, LAScriterion** made) {
  const char* option = argv[i];
  if (!begins_with_digit(i + 1, argc, argv)) {
    laserror("'%s' needs at least 1 argument: return_number", option);
    return CriterionOption::FAILED;
  }
  uint32_t mask = 0;
  int j = i + 1;
  for (; begins_with_digit(j, argc, argv); j++) {
    double v;
    if (!read_value(argv[j], 'u', v)) {
      laserror("'%s' needs at least 1 argument: return_number but '%s' is no valid return_number", option, argv[j]);
      return CriterionOption::FAILED;
    }
    if (v > 15) {
      laserror("cannot %s return_number %u because it is larger than 15", keep ? "keep" : "drop",
               static_cast<unsigned int>(v));
      return CriterionOption::FAILED;
    }
    mask |= 1u << static_cast<uint32_t>(v);
  }
  *made = new LAScriterionReturnMask(mask, keep);
  for (int k = i; k < j; k++) argv[k][0] = '\0';
  i = j - 1;
  return CriterionOption::TAKEN;
}

// One mask value: `-keep_classification_mask`, `-drop_classification_mask`,
// `-keep_return_mask`, `-drop_return_mask`.
CriterionOption parse_mask(int& i, int argc, char** argv, const char* what, uint32_t limit, double& mask) {
  const char* option = argv[i];
  if (!present(i + 1, argc, argv)) {
    laserror("'%s' needs 1 argument: %s", option, what);
    return CriterionOption::FAILED;
  }
  if (!read_value(argv[i + 1], 'u', mask)) {
    laserror("'%s' needs 1 argument: %s but '%s' is no valid %s", option, what, argv[i + 1], what);
    return CriterionOption::FAILED;
  }
  if (mask > limit) {
    laserror("'%s' needs a %s between 0 and %u but %s is %u", option, what, limit, what,
             static_cast<unsigned int>(mask));
    return CriterionOption::FAILED;
  }
  argv[i][0] = argv[i + 1][0] = '\0';
  i++;
  return CriterionOption::TAKEN;
}

// `-keep_random_fraction` fraction [seed].
CriterionOption parse_random_fraction(int& i, int argc, char** argv, LAScriterion** made) {
  const char* option = argv[i];
  double fraction, seed = 0.0;
  if (!present(i + 1, argc, argv)) {
    needs(option, 1, "fraction");
    return CriterionOption::FAILED;
  }
  if (!read_value(argv[i + 1], 'f', fraction) || fraction < 0.0 || fraction > 1.0) {
    needs_valid(option, 1, "fraction", argv[i + 1], "fraction");
    return CriterionOption::FAILED;
  }
  const bool seeded = begins_with_digit(i + 2, argc, argv);
  if (seeded && !read_value(argv[i + 2], 'u', seed)) {
    laserror("'%s' needs 1 or 2 arguments: fraction seed but '%s' is no valid seed", option, argv[i + 2]);
    return CriterionOption::FAILED;
  }
  *made = new LAScriterionKeepRandomFraction(fraction, static_cast<uint32_t>(seed), seeded);
  const int count = seeded ? 2 : 1;
  for (int k = 0; k <= count; k++) argv[i + k][0] = '\0';
  i += count;
  return CriterionOption::TAKEN;
}

}  // namespace

CriterionOption parse_criterion(int& i, int argc, char** argv, LAScriterion** made) {
  const char* word = argv[i] + 1;
  if (strcmp(word, "keep_class") == 0 || strcmp(word, "keep_classification") == 0) {
    return parse_class_list(i, argc, argv, true, false, made);
  }
  if (strcmp(word, "drop_class") == 0 || strcmp(word, "drop_classification") == 0) {
    return parse_class_list(i, argc, argv, false, false, made);
  }
  if (strcmp(word, "keep_extended_class") == 0 || strcmp(word, "keep_extended_classification") == 0) {
    return parse_class_list(i, argc, argv, true, true, made);
  }
  if (strcmp(word, "drop_extended_class") == 0 || strcmp(word, "drop_extended_classification") == 0) {
    return parse_class_list(i, argc, argv, false, true, made);
  }
  if (strcmp(word, "keep_return") == 0 || strcmp(word, "drop_return") == 0) {
    return parse_return_list(i, argc, argv, word[0] == 'k', made);
  }
  if (strcmp(word, "keep_random_fraction") == 0) return parse_random_fraction(i, argc, argv, made);
  const bool class_mask =
      strcmp(word, "keep_classification_mask") == 0 || strcmp(word, "drop_classification_mask") == 0;
  const bool return_mask = strcmp(word, "keep_return_mask") == 0 || strcmp(word, "drop_return_mask") == 0;
  if (class_mask || return_mask) {
    const bool keep = word[0] == 'k';
    double mask;
    const CriterionOption result = class_mask ? parse_mask(i, argc, argv, "mask", UINT32_MAX, mask)
                                              : parse_mask(i, argc, argv, "return_mask", 65535, mask);
    if (result != CriterionOption::TAKEN) return result;
    const uint32_t m = static_cast<uint32_t>(mask);
    if (class_mask) {
      *made = new LAScriterionClassifications(keep ? ~m : m, keep);
    } else {
      *made = new LAScriterionReturnMask(m, keep);
    }
    return result;
  }
  for (const Row& row : kRows) {
    if (strcmp(word, row.option) == 0) return parse_row(row, i, argc, argv, made);
  }
  return CriterionOption::NOT_MINE;
}

LAScriterion* make_criterion_and(LAScriterion* one, LAScriterion* two) {
  return new LAScriterionBoolean(one, two, true);
}
LAScriterion* make_criterion_or(LAScriterion* one, LAScriterion* two) {
  return new LAScriterionBoolean(one, two, false);
}
