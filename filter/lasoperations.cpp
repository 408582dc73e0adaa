// The per-point rules and the option texts of the operation families.
#include "filter/lasoperations.hpp"

#include <cmath>    // std::floor, std::fabs, std::round
#include <cstdio>   // sprintf
#include <cstring>  // memcpy of wave packet floats

#include "filter/lastransform.hpp"  // LAStransform registers and force_RGB
#include "las/laspoint.hpp"         // LASpoint fields

namespace {

// Seconds of one GPS week, and the offset of adjusted standard GPS time.
constexpr double kSecondsPerWeek = 604800.0;
constexpr double kAdjustedOffset = 1e9;

bool is_coordinate(FieldRef f) { return f.field <= PointField::z; }
bool is_raw_coordinate(FieldRef f) { return f.field >= PointField::X && f.field <= PointField::Z; }

FieldRef channel(int c) { return FieldRef{static_cast<PointField>(static_cast<int>(PointField::R) + c), 0}; }

double* axis_of(FieldRef f, double& x, double& y, double& z) {
  if (f.field == PointField::x) return &x;
  if (f.field == PointField::y) return &y;
  return f.field == PointField::z ? &z : nullptr;
}

}  // namespace

int values_of_type(char type) {
  switch (type) {
    case 's': return 0;
    case 'm': return 3;
    case 'a': return 4;
    case 'h': return 7;
    default: return 1;
  }
}

int LASoperationValues::get_command(char* s) const {
  int n = sprintf(s, "-%s ", values.name);
  int k = 0;
  for (const char* t = values.types; *t; t++) {
    switch (*t) {
      case 'u': n += sprintf(s + n, "%u ", static_cast<unsigned>(values.v[k++])); break;
      case 'i': n += sprintf(s + n, "%d ", static_cast<int>(values.v[k++])); break;
      case 'f': n += sprintf(s + n, "%g ", values.v[k++]); break;
      case 'd': n += sprintf(s + n, "%lf ", values.v[k++]); break;
      case 's': n += sprintf(s + n, "\"%s\" ", values.text.c_str()); break;
      default:
        for (int j = 0, count = values_of_type(*t); j < count; j++) {
          n += sprintf(s + n, j + 1 < count ? "%lf," : "%lf ", values.v[k++]);
        }
    }
  }
  return n;
}

FieldContext LASoperationValues::context() const {
  FieldContext c;
  if (offset_adjust) c.quantizer = &quantizer_out;
  if (values.owner) {
    c.registers = values.owner->registers;
    c.force_rgb = values.owner->force_rgb;
  }
  return c;
}

// ---------------------------------------------------------------------------

LASoperationField::LASoperationField(const OperationValues& values, Kind kind, FieldRef field, int first, double lo,
                                     double hi)
    : LASoperationValues(values), kind(kind), field(field), first(first), lo(lo), hi(hi) {}

double LASoperationField::compute(double v) const {
  const double* p = values.v + first;
  switch (kind) {
    case SET: return p[0];
    case TRANSLATE: return v + p[0];
    case SCALE: return v * p[0];
    case TRANSLATE_THEN_SCALE: return (v + p[0]) * p[1];
    case TRANSLATE_SCALE_TRANSLATE: return (v + p[0]) * p[1] + p[2];
    case CLAMP: return v < lo ? lo : (v > hi ? hi : v);
    case CHANGE_FROM_TO: return v == p[0] ? p[1] : v;
  }
  return v;
}

uint32_t LASoperationField::get_decompress_selective() const { return kind == SET ? 0 : field_selective(field); }

void LASoperationField::transform_coords_for_offset_adjustment(double& x, double& y, double& z) const {
  if (double* a = axis_of(field, x, y, z)) *a = compute(*a);
}

bool LASoperationField::supports_offset_adjust() const {
  if (is_raw_coordinate(field)) return false;
  return !is_coordinate(field) || (kind != SET && kind != CLAMP && kind != CHANGE_FROM_TO);
}

void LASoperationField::transform(LASpoint* point) {
  const FieldContext c = context();
  double v;
  if (!field_get(point, field, c, v)) return;
  const double result = compute(v);
  if (kind == CHANGE_FROM_TO && v != values.v[first]) return;
  if (kind == CLAMP) {
    if (result == v) return;
    int64_t wanted = 0;  // clamping is what was asked for, not an overflow
    field_set(point, field, c, result, wanted);
    return;
  }
  field_set(point, field, c, result, overflow);
}

// ---------------------------------------------------------------------------

LASoperationCopy::LASoperationCopy(const OperationValues& values, Kind kind, FieldRef src, FieldRef dst, double factor)
    : LASoperationValues(values), kind(kind), src(src), dst(dst), factor(factor) {}

uint32_t LASoperationCopy::get_decompress_selective() const {
  return field_selective(src) | (kind == ADD_SCALED ? field_selective(dst) : 0);
}

bool LASoperationCopy::supports_offset_adjust() const {
  return !is_coordinate(dst) && !is_raw_coordinate(dst) && !is_raw_coordinate(src);
}

void LASoperationCopy::transform(LASpoint* point) {
  const FieldContext c = context();
  double v;
  if (!field_get(point, src, c, v)) return;
  switch (kind) {
    case COPY: break;
    case ADD_SCALED: {
      double d;
      if (!field_get(point, dst, c, d)) return;
      v = d + factor * v;
      break;
    }
    case BIN: v = std::floor(v / factor); break;
    case BIN_ABS: v = std::floor(std::fabs(v) / factor); break;
  }
  field_set(point, dst, c, v, overflow);
}

// ---------------------------------------------------------------------------

void LASoperationSwitch::transform_coords_for_offset_adjustment(double& x, double& y, double& z) const {
  double* pa = axis_of(a, x, y, z);
  double* pb = axis_of(b, x, y, z);
  if (pa && pb) {
    const double t = *pa;
    *pa = *pb;
    *pb = t;
  }
}

void LASoperationSwitch::transform(LASpoint* point) {
  const FieldContext c = context();
  double va, vb;
  if (!field_get(point, a, c, va) || !field_get(point, b, c, vb)) return;
  field_set(point, a, c, vb, overflow);
  field_set(point, b, c, va, overflow);
}

// ---------------------------------------------------------------------------

void LASoperationClassify::transform(LASpoint* point) {
  const FieldContext c = context();
  double v;
  if (!field_get(point, field, c, v)) return;
  const bool hit = kind == BELOW ? v < lo : (kind == ABOVE ? v > hi : (lo <= v && v <= hi));
  if (hit) field_set(point, FieldRef{PointField::classification}, c, klass, overflow);
}

void LASoperationMap::transform(LASpoint* point) {
  const FieldContext c = context();
  double v;
  if (!field_get(point, field, c, v) || !(v >= 0.0 && v < static_cast<double>(table.size()))) return;
  const int32_t mapped = table[static_cast<size_t>(v)];
  if (mapped >= 0) field_set(point, field, c, mapped, overflow);
}

// ---------------------------------------------------------------------------

LASoperationAffine::LASoperationAffine(const OperationValues& values, const double matrix[9], const double shift[3])
    : LASoperationValues(values) {
  memcpy(m, matrix, sizeof(m));
  memcpy(t, shift, sizeof(t));
}

void LASoperationAffine::transform_coords_for_offset_adjustment(double& x, double& y, double& z) const {
  const double nx = m[0] * x + m[1] * y + m[2] * z + t[0];
  const double ny = m[3] * x + m[4] * y + m[5] * z + t[1];
  const double nz = m[6] * x + m[7] * y + m[8] * z + t[2];
  x = nx;
  y = ny;
  z = nz;
}

void LASoperationAffine::transform(LASpoint* point) {
  const FieldContext c = context();
  double x, y, z;
  field_get(point, coordinate(0), c, x);
  field_get(point, coordinate(1), c, y);
  field_get(point, coordinate(2), c, z);
  transform_coords_for_offset_adjustment(x, y, z);
  field_set(point, coordinate(0), c, x, overflow);
  field_set(point, coordinate(1), c, y, overflow);
  field_set(point, coordinate(2), c, z, overflow);
}

// ---------------------------------------------------------------------------

LASoperationTranslateRaw::LASoperationTranslateRaw(const OperationValues& values, const int64_t shift[3], bool random)
    : LASoperationValues(values), random(random), state(0x5EEDull) {
  for (int i = 0; i < 3; i++) d[i] = shift[i];
}

// A uniform integer in [-range, range] from a fixed-seed splitmix64
// sequence, so that runs repeat exactly.
int64_t LASoperationTranslateRaw::next_random(int64_t range) {
  state += 0x9E3779B97F4A7C15ull;
  uint64_t r = state;
  r = (r ^ (r >> 30)) * 0xBF58476D1CE4E5B9ull;
  r = (r ^ (r >> 27)) * 0x94D049BB133111EBull;
  r ^= r >> 31;
  if (range <= 0) return 0;
  return static_cast<int64_t>(r % static_cast<uint64_t>(2 * range + 1)) - range;
}

void LASoperationTranslateRaw::transform(LASpoint* point) {
  const FieldContext c = context();
  const int64_t dx = random ? next_random(d[0]) : d[0];
  const int64_t dy = random ? next_random(d[1]) : d[1];
  if (dx) field_set(point, FieldRef{PointField::X}, c, static_cast<double>(point->X + dx), overflow);
  if (dy) field_set(point, FieldRef{PointField::Y}, c, static_cast<double>(point->Y + dy), overflow);
  if (d[2] && !random) field_set(point, FieldRef{PointField::Z}, c, static_cast<double>(point->Z + d[2]), overflow);
}

// ---------------------------------------------------------------------------

void LASoperationRegisters::transform(LASpoint*) {
  double* r = values.owner->registers;
  const double a = r[static_cast<int>(values.v[0])];
  const double b = r[static_cast<int>(values.v[1])];
  double& out = r[static_cast<int>(values.v[2])];
  switch (op) {
    case '+': out = a + b; break;
    case '-': out = a - b; break;
    case '*': out = a * b; break;
    default: out = a / b; break;
  }
}

// ---------------------------------------------------------------------------

LASoperationColor::LASoperationColor(const OperationValues& values, Kind kind, int first, int count)
    : LASoperationValues(values), kind(kind), first(first), count(count) {}

uint32_t LASoperationColor::get_decompress_selective() const {
  uint32_t mask = 0;
  if (kind != SET && kind != SET_OF_CLASS) {
    mask |= first < 3 ? selective::RGB : 0;
    mask |= first + count > 3 ? selective::NIR : 0;
  }
  return kind == SET_OF_CLASS ? selective::CLASSIFICATION : mask;
}

void LASoperationColor::transform(LASpoint* point) {
  const FieldContext c = context();
  double v[4];
  for (int i = 0; i < count; i++) {
    if (!field_get(point, channel(first + i), c, v[i])) return;
  }
  const double* p = values.v;
  bool wide = false, narrow = true;
  for (int i = 0; i < count; i++) {
    wide = wide || v[i] > 255;
    narrow = narrow && v[i] <= 255;
  }
  switch (kind) {
    case SET_OF_CLASS: {
      double k;
      field_get(point, FieldRef{PointField::classification}, c, k);
      if (k != p[0]) return;
      p++;
    }
    // fall through
    case SET:
      for (int i = 0; i < count; i++) v[i] = p[i];
      break;
    case SCALE:
      for (int i = 0; i < count; i++) v[i] *= p[i];
      break;
    case DOWN:
      for (int i = 0; i < count; i++) v[i] /= 256;
      break;
    case UP:
      for (int i = 0; i < count; i++) v[i] *= 256;
      break;
    case TO_8BIT:
      if (!wide) return;
      for (int i = 0; i < count; i++) v[i] /= 256;
      break;
    case TO_16BIT:
      if (!narrow) return;
      for (int i = 0; i < count; i++) v[i] *= 256;
      break;
    case CLAMP_8BIT:
      for (int i = 0; i < count; i++) v[i] = v[i] > 255 ? 255 : v[i];
      break;
  }
  for (int i = 0; i < count; i++) field_set(point, channel(first + i), c, v[i], overflow);
}

// ---------------------------------------------------------------------------

uint32_t LASoperationSpecial::get_decompress_selective() const {
  switch (kind) {
    case FLIP_WAVEFORM: return selective::WAVEPACKET;
    case ADJUSTED_TO_WEEK:
    case WEEK_TO_ADJUSTED: return selective::GPS_TIME;
    case MERGE_CHANNEL:
    case SPLIT_CHANNEL: return selective::POINT_SOURCE;
    case MOVE_ANCIENT: return selective::CLASSIFICATION | selective::FLAGS;
    case RGB_INTO_INTENSITY: return selective::RGB;
    case RGBI_INTO_CIR: return selective::RGB | selective::NIR;
    case RGB_INTENSITY_INTO_CIR: return selective::RGB | selective::INTENSITY;
    case INTENSITY_INTO_RGB:
    case INTENSITY_RANGE_INTO_RGB: return selective::RGB | selective::INTENSITY;
    default: return 0;
  }
}

void LASoperationSpecial::transform(LASpoint* point) {
  const FieldContext c = context();
  double r, g, b, k;
  switch (kind) {
    case FORCE_RGB: break;  // the switch itself lives in the transform
    case REPAIR_ZERO_RETURNS:
      if (point->return_number == 0) point->return_number = 1;
      if (point->number_of_returns == 0) point->number_of_returns = 1;
      if (point->extended_return_number == 0) point->extended_return_number = 1;
      if (point->extended_number_of_returns == 0) point->extended_number_of_returns = 1;
      break;
    case FLIP_WAVEFORM:
      if (!point->have_wavepacket) break;
      for (int at = 17; at < 29; at += 4) {
        float f;
        memcpy(&f, point->wavepacket + at, 4);
        f = -f;
        memcpy(point->wavepacket + at, &f, 4);
      }
      break;
    case ADJUSTED_TO_WEEK: {
      const double gps = point->gps_time + kAdjustedOffset;
      field_set(point, FieldRef{PointField::gps_time}, c, gps - std::floor(gps / kSecondsPerWeek) * kSecondsPerWeek,
                overflow);
      break;
    }
    case WEEK_TO_ADJUSTED:
      field_set(point, FieldRef{PointField::gps_time}, c,
                values.v[0] * kSecondsPerWeek + point->gps_time - kAdjustedOffset, overflow);
      break;
    case MERGE_CHANNEL:
      field_set(point, FieldRef{PointField::point_source}, c,
                4.0 * point->point_source_ID + point->extended_scanner_channel, overflow);
      break;
    case SPLIT_CHANNEL:
      point->extended_scanner_channel = point->point_source_ID & 3;
      point->point_source_ID = static_cast<uint16_t>(point->point_source_ID >> 2);
      break;
    case MOVE_ANCIENT:
      if (point->extended_classification == 0) point->extended_classification = point->classification;
      point->extended_classification_flags =
          static_cast<uint8_t>((point->extended_classification_flags & 0x8) | point->synthetic_flag |
                               (point->keypoint_flag << 1) | (point->withheld_flag << 2));
      break;
    case RGB_INTO_INTENSITY:
      if (!field_get(point, channel(0), c, r) || !field_get(point, channel(1), c, g) ||
          !field_get(point, channel(2), c, b)) {
        break;
      }
      field_set(point, FieldRef{PointField::intensity}, c, std::round(0.299 * r + 0.587 * g + 0.114 * b), overflow);
      break;
    case RGBI_INTO_CIR:
    case RGB_INTENSITY_INTO_CIR:
      if (!field_get(point, channel(0), c, r) || !field_get(point, channel(1), c, g)) break;
      if (kind == RGBI_INTO_CIR ? !field_get(point, channel(3), c, k)
                                : !field_get(point, FieldRef{PointField::intensity}, c, k)) {
        break;
      }
      field_set(point, channel(0), c, k, overflow);
      field_set(point, channel(1), c, r, overflow);
      field_set(point, channel(2), c, g, overflow);
      break;
    case INTENSITY_INTO_RGB:
    case INTENSITY_RANGE_INTO_RGB: {
      double factor = point->intensity * values.v[0];
      if (kind == INTENSITY_RANGE_INTO_RGB) {
        factor = (point->intensity - values.v[0]) / (values.v[1] - values.v[0]);
        factor = factor < 0.0 ? 0.0 : (factor > 1.0 ? 1.0 : factor);
      }
      for (int i = 0; i < 3; i++) {
        if (field_get(point, channel(i), c, r)) field_set(point, channel(i), c, r * factor, overflow);
      }
      break;
    }
  }
}

// ---------------------------------------------------------------------------

void LASoperationMapAttributeIntoRGB::transform(LASpoint* point) {
  const FieldContext c = context();
  double v;
  if (!field_get(point, FieldRef{PointField::attribute, static_cast<uint32_t>(values.v[0])}, c, v)) return;
  if (!(std::fabs(v) < 9e18)) return;
  const auto found = table.find(static_cast<int64_t>(std::round(v)));
  if (found == table.end()) return;
  for (int i = 0; i < 3; i++) field_set(point, channel(i), c, found->second[i], overflow);
}

void LASoperationLoadAttribute::transform(LASpoint* point) {
  if (next >= loaded.size()) return;
  field_set(point, FieldRef{PointField::attribute, static_cast<uint32_t>(values.v[0])}, context(), loaded[next++],
            overflow);
}

void LASoperationLoadAttribute::reset() {
  LASoperation::reset();
  next = 0;
}
