// Float sample conversion on vectors: SSE2 on every x86-64, AVX2 where the
// processor has it, one by one elsewhere. Every path divides, as the
// one-by-one rule does, so that all give the same cell values.
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
  __m128d offset, unit, nd, lo, hi, half, sign;
  Sse2Lanes(const SRsampleRule& rule, double n)
      : offset(_mm_set1_pd(rule.offset)),
        unit(_mm_set1_pd(rule.unit)),
        nd(_mm_set1_pd(n)),
        lo(_mm_set1_pd(-2147483648.0)),
        hi(_mm_set1_pd(2147483647.0)),
        half(_mm_set1_pd(0.5)),
        sign(_mm_set1_pd(-0.0)) {}
  inline void convert(__m128d x, __m128i& v, __m128d& f) const {
    f = _mm_or_pd(_mm_cmpunord_pd(x, x), _mm_cmpeq_pd(x, nd));
    // a NaN quotient (0/0, inf/inf) counts as 0, as in round_clamp_i32
    __m128d q = _mm_div_pd(_mm_sub_pd(x, offset), unit);
    q = _mm_andnot_pd(_mm_or_pd(f, _mm_cmpunord_pd(q, q)), q);
    __m128d r = _mm_add_pd(q, _mm_or_pd(_mm_and_pd(q, sign), half));
    r = _mm_min_pd(_mm_max_pd(r, lo), hi);
    v = _mm_cvttpd_epi32(r);
  }
};

int64_t sse2_float32(const float* src, int64_t n, const SRsampleRule& rule, double nd, int32_t* values,
                     uint8_t* flags) {
  const Sse2Lanes lanes(rule, nd);
  const __m128i nodata4 = _mm_set1_epi32(rule.nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 s = _mm_loadu_ps(src + i);
    __m128i v0, v1;
    __m128d f0, f1;
    lanes.convert(_mm_cvtps_pd(s), v0, f0);
    lanes.convert(_mm_cvtps_pd(_mm_movehl_ps(s, s)), v1, f1);
    const __m128i v = _mm_unpacklo_epi64(v0, v1);
    const __m128i f =
        _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(f0), _mm_castpd_ps(f1), _MM_SHUFFLE(2, 0, 2, 0)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i),
                     _mm_or_si128(_mm_and_si128(f, nodata4), _mm_andnot_si128(f, v)));
    store_flags4(flags + i, _mm_and_si128(f, one4));
  }
  return i;
}

int64_t sse2_float64(const double* src, int64_t n, const SRsampleRule& rule, double nd, int32_t* values,
                     uint8_t* flags) {
  const Sse2Lanes lanes(rule, nd);
  const __m128i nodata4 = _mm_set1_epi32(rule.nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v0, v1;
    __m128d f0, f1;
    lanes.convert(_mm_loadu_pd(src + i), v0, f0);
    lanes.convert(_mm_loadu_pd(src + i + 2), v1, f1);
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
  __m256d offset, unit, nd, lo, hi, half, sign, minus_one;
  __attribute__((target("avx2"))) Avx2Lanes(const SRsampleRule& rule, double n)
      : offset(_mm256_set1_pd(rule.offset)),
        unit(_mm256_set1_pd(rule.unit)),
        nd(_mm256_set1_pd(n)),
        lo(_mm256_set1_pd(-2147483648.0)),
        hi(_mm256_set1_pd(2147483647.0)),
        half(_mm256_set1_pd(0.5)),
        sign(_mm256_set1_pd(-0.0)),
        minus_one(_mm256_set1_pd(-1.0)) {}
  // Cell values of four samples, and their nodata lanes as 32-bit all-ones.
  __attribute__((target("avx2"))) inline void convert(__m256d x, __m128i& v, __m128i& f32) const {
    const __m256d f = _mm256_or_pd(_mm256_cmp_pd(x, x, _CMP_UNORD_Q), _mm256_cmp_pd(x, nd, _CMP_EQ_OQ));
    __m256d q = _mm256_div_pd(_mm256_sub_pd(x, offset), unit);
    q = _mm256_andnot_pd(_mm256_or_pd(f, _mm256_cmp_pd(q, q, _CMP_UNORD_Q)), q);
    __m256d r = _mm256_add_pd(q, _mm256_or_pd(_mm256_and_pd(q, sign), half));
    r = _mm256_min_pd(_mm256_max_pd(r, lo), hi);
    v = _mm256_cvttpd_epi32(r);
    f32 = _mm256_cvttpd_epi32(_mm256_and_pd(f, minus_one));  // -1 where nodata, else 0
  }
};

__attribute__((target("avx2"))) int64_t avx2_float32(const float* src, int64_t n, const SRsampleRule& rule,
                                                     double nd, int32_t* values, uint8_t* flags) {
  const Avx2Lanes lanes(rule, nd);
  const __m128i nodata4 = _mm_set1_epi32(rule.nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v, f;
    lanes.convert(_mm256_cvtps_pd(_mm_loadu_ps(src + i)), v, f);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i),
                     _mm_or_si128(_mm_and_si128(f, nodata4), _mm_andnot_si128(f, v)));
    store_flags4(flags + i, _mm_and_si128(f, one4));
  }
  return i;
}

__attribute__((target("avx2"))) int64_t avx2_float64(const double* src, int64_t n, const SRsampleRule& rule,
                                                     double nd, int32_t* values, uint8_t* flags) {
  const Avx2Lanes lanes(rule, nd);
  const __m128i nodata4 = _mm_set1_epi32(rule.nodata), one4 = _mm_set1_epi32(1);
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i v, f;
    lanes.convert(_mm256_loadu_pd(src + i), v, f);
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
