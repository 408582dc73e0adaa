// Float sample conversion on vectors: SSE2 on every x86-64, AVX2 where the
// processor has it, one by one elsewhere. Every path gives the cell values
// of the one-by-one rule: it divides, or multiplies where the product is
// provably the same number as the quotient.
#include "raster/srsample.hpp"

#include <cfloat>   // FLT_MAX
#include <cstring>  // memcpy of packed flags

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>  // SSE2 and AVX2 intrinsics
#define SRSAMPLE_X86 1
#endif

float sr_float_from_double(double v) {
  if (std::isnan(v) || std::isinf(v)) return static_cast<float>(v);
  // FLT_MAX plus half a unit in the last place: beyond it rounding overflows
  constexpr double kOverflow = 3.4028235677973366e+38;
  if (v >= kOverflow) return std::numeric_limits<float>::infinity();
  if (v <= -kOverflow) return -std::numeric_limits<float>::infinity();
  if (v > FLT_MAX) return FLT_MAX;
  if (v < -FLT_MAX) return -FLT_MAX;
  return static_cast<float>(v);
}

namespace {

// The nodata value as the reader compares it: as a float for float samples,
// NaN when there is none (no sample equals NaN; NaN samples are caught on
// their own).
double nodata_as(const SRsampleRule& rule, bool single) {
  const double raw = rule.nodata_raw;
  if (std::isnan(raw)) return raw;
  return single ? static_cast<double>(sr_float_from_double(raw)) : raw;
}

// Single-precision samples in the common units (0.01, 0.001, 1, 0.5, ...):
// when 1/unit rounds to an integer N of at most 29 bits and unit·N differs
// from 1 by less than 2^-55, then for every float x the product x·N is
// exact (24 + 29 bits) and lies within half a unit in the last place of
// x/unit, so RN(x / unit) == x·N and one multiplication gives the quotient
// the division would. Returns N, or 0 when the division is needed.
double exact_multiplier(const SRsampleRule& rule) {
  if (rule.exact_multiplier >= 0.0) return rule.exact_multiplier;
  if (rule.offset != 0.0 || !(rule.unit > 0.0) || !std::isfinite(rule.unit)) return 0.0;
  const double n = 1.0 / rule.unit;
  if (!(n >= 1.0 && n <= 536870912.0 && n == std::floor(n))) return 0.0;
  const double excess = std::fma(rule.unit, n, -1.0);  // unit·N - 1, exact when this small
  return std::fabs(excess) < 0x1p-55 ? n : 0.0;
}

template <typename T>
void convert_scalar(const T* src, int64_t n, const SRsampleRule& rule, double nd, int32_t* values,
                    uint8_t* flags) {
  for (int64_t i = 0; i < n; i++) {
    const double x = static_cast<double>(src[i]);
    const bool f = (x != x) || x == nd;
    const double q = (x - rule.offset) / rule.unit;
    values[i] = f ? rule.nodata : (std::isnan(q) ? 0 : sr_round_clamp(q));
    flags[i] = f;
  }
}

#if SRSAMPLE_X86

// Stores four 0/1 flags held in 32-bit lanes as four bytes.
inline void store_flags4(uint8_t* flags, __m128i f01) {
  const __m128i packed = _mm_packus_epi16(_mm_packs_epi32(f01, f01), _mm_setzero_si128());
  const int32_t four = _mm_cvtsi128_si32(packed);
  memcpy(flags, &four, 4);
}

// Two samples (as doubles): cell values in the low half of v, all-ones lanes
// in f where the sample is nodata.
struct Sse2Lanes {
  __m128d offset, unit, multiplier, nd, lo, hi, half, sign;
  Sse2Lanes(const SRsampleRule& rule, double n, double m)
      : offset(_mm_set1_pd(rule.offset)),
        unit(_mm_set1_pd(rule.unit)),
        multiplier(_mm_set1_pd(m)),
        nd(_mm_set1_pd(n)),
        lo(_mm_set1_pd(-2147483648.0)),
        hi(_mm_set1_pd(2147483647.0)),
        half(_mm_set1_pd(0.5)),
        sign(_mm_set1_pd(-0.0)) {}
  // kProduct: the quotient as an exact product (see exact_multiplier)
  template <bool kProduct>
  inline void convert(__m128d x, __m128i& v, __m128d& f) const {
    f = _mm_or_pd(_mm_cmpunord_pd(x, x), _mm_cmpeq_pd(x, nd));
    __m128d q;
    if (kProduct) {
      q = _mm_andnot_pd(f, _mm_mul_pd(x, multiplier));
    } else {
      // a NaN quotient (0/0, inf/inf) counts as 0, as in round_clamp_i32
      q = _mm_div_pd(_mm_sub_pd(x, offset), unit);
      q = _mm_andnot_pd(_mm_or_pd(f, _mm_cmpunord_pd(q, q)), q);
    }
    __m128d r = _mm_add_pd(q, _mm_or_pd(_mm_and_pd(q, sign), half));
    r = _mm_min_pd(_mm_max_pd(r, lo), hi);
    v = _mm_cvttpd_epi32(r);
  }
};

template <bool kProduct>
int64_t sse2_float32_loop(const float* src, int64_t n, const Sse2Lanes& lanes, int32_t nodata, int32_t* values,
                          uint8_t* flags) {
  const __m128i nodata4 = _mm_set1_epi32(nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 s = _mm_loadu_ps(src + i);
    __m128i v0, v1;
    __m128d f0, f1;
    lanes.convert<kProduct>(_mm_cvtps_pd(s), v0, f0);
    lanes.convert<kProduct>(_mm_cvtps_pd(_mm_movehl_ps(s, s)), v1, f1);
    const __m128i v = _mm_unpacklo_epi64(v0, v1);
    const __m128i f =
        _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(f0), _mm_castpd_ps(f1), _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i),
                     _mm_or_si128(_mm_and_si128(f, nodata4), _mm_andnot_si128(f, v)));
    store_flags4(flags + i, _mm_and_si128(f, one4));
  }
  return i;
}

int64_t sse2_float32(const float* src, int64_t n, const SRsampleRule& rule, double nd, int32_t* values,
                     uint8_t* flags) {
  const double m = exact_multiplier(rule);
  const Sse2Lanes lanes(rule, nd, m);
  return m != 0.0 ? sse2_float32_loop<true>(src, n, lanes, rule.nodata, values, flags)
                  : sse2_float32_loop<false>(src, n, lanes, rule.nodata, values, flags);
}

int64_t sse2_float64(const double* src, int64_t n, const SRsampleRule& rule, double nd, int32_t* values,
                     uint8_t* flags) {
  const Sse2Lanes lanes(rule, nd, 0.0);
  const __m128i nodata4 = _mm_set1_epi32(rule.nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v0, v1;
    __m128d f0, f1;
    lanes.convert<false>(_mm_loadu_pd(src + i), v0, f0);
    lanes.convert<false>(_mm_loadu_pd(src + i + 2), v1, f1);
    const __m128i v = _mm_unpacklo_epi64(v0, v1);
    const __m128i f =
        _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(f0), _mm_castpd_ps(f1), _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i),
                     _mm_or_si128(_mm_and_si128(f, nodata4), _mm_andnot_si128(f, v)));
    store_flags4(flags + i, _mm_and_si128(f, one4));
  }
  return i;
}

// Four samples (as doubles) per step.
struct Avx2Lanes {
  __m256d offset, unit, multiplier, nd, lo, hi, half, sign, minus_one;
  __attribute__((target("avx2"))) Avx2Lanes(const SRsampleRule& rule, double n, double m)
      : offset(_mm256_set1_pd(rule.offset)),
        unit(_mm256_set1_pd(rule.unit)),
        multiplier(_mm256_set1_pd(m)),
        nd(_mm256_set1_pd(n)),
        lo(_mm256_set1_pd(-2147483648.0)),
        hi(_mm256_set1_pd(2147483647.0)),
        half(_mm256_set1_pd(0.5)),
        sign(_mm256_set1_pd(-0.0)),
        minus_one(_mm256_set1_pd(-1.0)) {}
  // Cell values of four samples, and their nodata lanes as 32-bit all-ones.
  template <bool kProduct>
  __attribute__((target("avx2"))) inline void convert(__m256d x, __m128i& v, __m128i& f32) const {
    const __m256d f = _mm256_or_pd(_mm256_cmp_pd(x, x, _CMP_UNORD_Q), _mm256_cmp_pd(x, nd, _CMP_EQ_OQ));
    __m256d q;
    if (kProduct) {
      q = _mm256_andnot_pd(f, _mm256_mul_pd(x, multiplier));
    } else {
      q = _mm256_div_pd(_mm256_sub_pd(x, offset), unit);
      q = _mm256_andnot_pd(_mm256_or_pd(f, _mm256_cmp_pd(q, q, _CMP_UNORD_Q)), q);
    }
    __m256d r = _mm256_add_pd(q, _mm256_or_pd(_mm256_and_pd(q, sign), half));
    r = _mm256_min_pd(_mm256_max_pd(r, lo), hi);
    v = _mm256_cvttpd_epi32(r);
    f32 = _mm256_cvttpd_epi32(_mm256_and_pd(f, minus_one));  // -1 where nodata, else 0
  }
};

template <bool kProduct>
__attribute__((target("avx2"))) int64_t avx2_float32_loop(const float* src, int64_t n, const Avx2Lanes& lanes,
                                                          int32_t nodata, int32_t* values, uint8_t* flags) {
  const __m128i nodata4 = _mm_set1_epi32(nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v, f;
    lanes.convert<kProduct>(_mm256_cvtps_pd(_mm_loadu_ps(src + i)), v, f);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i),
                     _mm_or_si128(_mm_and_si128(f, nodata4), _mm_andnot_si128(f, v)));
    store_flags4(flags + i, _mm_and_si128(f, one4));
  }
  return i;
}

__attribute__((target("avx2"))) int64_t avx2_float32(const float* src, int64_t n, const SRsampleRule& rule,
                                                     double nd, int32_t* values, uint8_t* flags) {
  const double m = exact_multiplier(rule);
  const Avx2Lanes lanes(rule, nd, m);
  return m != 0.0 ? avx2_float32_loop<true>(src, n, lanes, rule.nodata, values, flags)
                  : avx2_float32_loop<false>(src, n, lanes, rule.nodata, values, flags);
}

__attribute__((target("avx2"))) int64_t avx2_float64(const double* src, int64_t n, const SRsampleRule& rule,
                                                     double nd, int32_t* values, uint8_t* flags) {
  const Avx2Lanes lanes(rule, nd, 0.0);
  const __m128i nodata4 = _mm_set1_epi32(rule.nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v, f;
    lanes.convert<false>(_mm256_loadu_pd(src + i), v, f);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i),
                     _mm_or_si128(_mm_and_si128(f, nodata4), _mm_andnot_si128(f, v)));
    store_flags4(flags + i, _mm_and_si128(f, one4));
  }
  return i;
}

int best_level() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? 2 : 1;
}

#else

int best_level() { return 0; }

#endif

int& level_in_force() {
  static int level = best_level();
  return level;
}

}  // namespace

void sr_prepare_rule(SRsampleRule& rule) {
  rule.exact_multiplier = -1.0;
  rule.exact_multiplier = exact_multiplier(rule);
}

int sr_sample_vector_level(int level) {
  const int best = best_level();
  level_in_force() = (level < 0 || level > best) ? best : level;
  return level_in_force();
}

void sr_convert_float32(const float* src, int64_t n, const SRsampleRule& rule, int32_t* values, uint8_t* flags) {
  const double nd = nodata_as(rule, true);
  int64_t done = 0;
#if SRSAMPLE_X86
  const int level = level_in_force();
  if (level == 2) {
    done = avx2_float32(src, n, rule, nd, values, flags);
  } else if (level == 1) {
    done = sse2_float32(src, n, rule, nd, values, flags);
  }
#endif
  convert_scalar(src + done, n - done, rule, nd, values + done, flags + done);
}

void sr_convert_float64(const double* src, int64_t n, const SRsampleRule& rule, int32_t* values,
                        uint8_t* flags) {
  const double nd = nodata_as(rule, false);
  int64_t done = 0;
#if SRSAMPLE_X86
  const int level = level_in_force();
  if (level == 2) {
    done = avx2_float64(src, n, rule, nd, values, flags);
  } else if (level == 1) {
    done = sse2_float64(src, n, rule, nd, values, flags);
  }
#endif
  convert_scalar(src + done, n - done, rule, nd, values + done, flags + done);
}
