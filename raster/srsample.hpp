// Turns runs of decoded raster samples into cell values and nodata flags
// with one rule shared by the binary readers (BIL, GeoTIFF).
#ifndef RASTER_SRSAMPLE_HPP
#define RASTER_SRSAMPLE_HPP

#include <cmath>        // std::isnan, std::floor, std::copysign
#include <cstddef>      // ptrdiff_t
#include <cstdint>      // fixed-width sample types
#include <limits>       // numeric_limits for the nodata range check
#include <type_traits>  // is_integral

// How a reader maps its samples to cell values.
//  - integer samples: value = sample, or round(sample * rescale) when scaled;
//  - float samples: value = round((sample - offset) / unit);
//  - a sample equal to nodata_raw (in the file's own unit), and every NaN,
//    is nodata: its flag is set and its value is `nodata`.
// Rounding is half away from zero with clamping to the 32-bit range, exactly
// as round_clamp_i32 does it.
struct SRsampleRule {
  bool scaled = false;
  double rescale = 1.0;
  double offset = 0.0;
  double unit = 1.0;
  int32_t nodata = 0;
  double nodata_raw = std::numeric_limits<double>::quiet_NaN();  // NaN: no nodata value
  // Worked out by sr_prepare_rule: the integer that float samples may be
  // multiplied by instead of dividing by `unit` (0: none), -1: not yet.
  double exact_multiplier = -1.0;
};

// Works out what the conversions can precompute; call after the fields
// above are set, so that short runs do not redo it on every call.
void sr_prepare_rule(SRsampleRule& rule);

// The single-precision number a double nodata value stands for in a float
// raster, with overflow to infinity spelled out (a plain conversion of an
// out-of-range double is undefined).
float sr_float_from_double(double v);

// round_clamp_i32 without branches on non-NaN input.
inline int32_t sr_round_clamp(double x) {
  double r = x + std::copysign(0.5, x);
  r = r < -2147483648.0 ? -2147483648.0 : r;
  r = r > 2147483647.0 ? 2147483647.0 : r;
  return static_cast<int32_t>(r);
}

// Float conversions for contiguous runs, on vectors where the processor has
// them. Results are those of the one-by-one rule above in every case.
void sr_convert_float32(const float* src, int64_t n, const SRsampleRule& rule, int32_t* values, uint8_t* flags);
void sr_convert_float64(const double* src, int64_t n, const SRsampleRule& rule, int32_t* values, uint8_t* flags);

// Which code the float conversions use: -1 the best the processor has
// (the default), 0 one by one, 1 SSE2, 2 AVX2. For tests; returns the level
// in force, lowered to what the processor supports.
int sr_sample_vector_level(int level);

namespace srsample_detail {

template <typename T, bool kContiguous>
inline void convert_integers(const T* src, ptrdiff_t stride, int64_t n, const SRsampleRule& rule,
                             int32_t* values, uint8_t* flags) {
  // a nodata value that no sample of this type can hold never matches
  const double raw = rule.nodata_raw;
  const bool nd_on = !std::isnan(raw) && raw == std::floor(raw) &&
                     raw >= static_cast<double>(std::numeric_limits<T>::min()) &&
                     raw <= static_cast<double>(std::numeric_limits<T>::max());
  const T nd = nd_on ? static_cast<T>(raw) : T(0);
  const int32_t nodata = rule.nodata;
  if (rule.scaled) {
    const double rescale = rule.rescale;
    for (int64_t i = 0; i < n; i++) {
      const T s = src[kContiguous ? i : i * stride];
      const bool f = nd_on && s == nd;
      const int32_t v = sr_round_clamp(static_cast<double>(s) * rescale);
      values[i] = f ? nodata : v;
      flags[i] = f;
    }
  } else if (nd_on) {
    for (int64_t i = 0; i < n; i++) {
      const T s = src[kContiguous ? i : i * stride];
      const bool f = s == nd;
      values[i] = f ? nodata : static_cast<int32_t>(s);
      flags[i] = f;
    }
  } else {
    for (int64_t i = 0; i < n; i++) {
      values[i] = static_cast<int32_t>(src[kContiguous ? i : i * stride]);
      flags[i] = 0;
    }
  }
}

// The one-by-one float rule (strided samples, and the reference).
template <typename T>
inline void convert_floats_strided(const T* src, ptrdiff_t stride, int64_t n, const SRsampleRule& rule,
                                   int32_t* values, uint8_t* flags) {
  double nd = rule.nodata_raw;  // NaN: no sample equals it
  if (sizeof(T) == sizeof(float) && !std::isnan(nd)) nd = sr_float_from_double(nd);
  for (int64_t i = 0; i < n; i++) {
    const double x = static_cast<double>(src[i * stride]);
    const bool f = (x != x) || x == nd;
    const double q = (x - rule.offset) / rule.unit;
    values[i] = f ? rule.nodata : (std::isnan(q) ? 0 : sr_round_clamp(q));
    flags[i] = f;
  }
}

}  // namespace srsample_detail

// Converts n samples, the first at src and each next one `stride` samples
// further on, into values[0..n) and flags[0..n).
template <typename T>
inline void sr_convert_samples(const T* src, ptrdiff_t stride, int64_t n, const SRsampleRule& rule,
                               int32_t* values, uint8_t* flags) {
  using namespace srsample_detail;
  if constexpr (std::is_integral<T>::value) {
    if (stride == 1) {
      convert_integers<T, true>(src, 1, n, rule, values, flags);
    } else {
      convert_integers<T, false>(src, stride, n, rule, values, flags);
    }
  } else if (stride != 1) {
    convert_floats_strided(src, stride, n, rule, values, flags);
  } else if constexpr (sizeof(T) == sizeof(float)) {
    sr_convert_float32(src, n, rule, values, flags);
  } else {
    sr_convert_float64(src, n, rule, values, flags);
  }
}

// The sample types a reader can hold, chosen once at open.
enum class SRsampleType { kInt8, kUint8, kInt16, kUint16, kInt32, kFloat32, kFloat64 };

// Picks the sample type for a bit depth and the reader's sign and float flags.
// False for combinations without a type (the caller reports them). 32-bit
// integers are signed whatever the flags say: cell values are signed 32-bit.
inline bool sr_sample_type(int nbits, bool unsigned_values, bool float_values, SRsampleType& type) {
  switch (nbits) {
    case 8: type = unsigned_values ? SRsampleType::kUint8 : SRsampleType::kInt8; return true;
    case 16: type = unsigned_values ? SRsampleType::kUint16 : SRsampleType::kInt16; return true;
    case 32: type = float_values ? SRsampleType::kFloat32 : SRsampleType::kInt32; return true;
    case 64:
      if (!float_values) return false;
      type = SRsampleType::kFloat64;
      return true;
    default: return false;
  }
}

// Converts n samples of a buffer whose sample type is known only at run time;
// `src` points at the first sample, `stride` counts samples.
inline void sr_convert_buffer(SRsampleType type, const void* src, ptrdiff_t stride, int64_t n,
                              const SRsampleRule& rule, int32_t* values, uint8_t* flags) {
  switch (type) {
    case SRsampleType::kInt8:
      sr_convert_samples(static_cast<const int8_t*>(src), stride, n, rule, values, flags); break;
    case SRsampleType::kUint8:
      sr_convert_samples(static_cast<const uint8_t*>(src), stride, n, rule, values, flags); break;
    case SRsampleType::kInt16:
      sr_convert_samples(static_cast<const int16_t*>(src), stride, n, rule, values, flags); break;
    case SRsampleType::kUint16:
      sr_convert_samples(static_cast<const uint16_t*>(src), stride, n, rule, values, flags); break;
    case SRsampleType::kInt32:
      sr_convert_samples(static_cast<const int32_t*>(src), stride, n, rule, values, flags); break;
    case SRsampleType::kFloat32:
      sr_convert_samples(static_cast<const float*>(src), stride, n, rule, values, flags); break;
    case SRsampleType::kFloat64:
      sr_convert_samples(static_cast<const double*>(src), stride, n, rule, values, flags); break;
  }
}

#endif
