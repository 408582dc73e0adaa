// Sample conversion shared by the BIL and GeoTIFF readers: every vector
// path against the shared one-by-one rounding rule, on awkward values.
#include <cfloat>     // FLT_MAX
#include <limits>     // infinity, quiet_NaN, denorm_min
#include <random>     // mt19937 of the awkward values

#include "raster/srsample.hpp"                   // sr_convert_samples, sr_convert_buffer
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tool/lasutility.hpp"                   // round_clamp_i32: the reference rounding

namespace {

using namespace testsupport;

struct Units {
  double unit, offset;
};
const Units kUnits[] = {{0.01, 0.0}, {1.0, 0.0}, {0.001, 0.0}, {0.1, 0.0}, {0.5, 0.0}, {1.0 / 3.0, 0.0},
                        {0.01, 1000.0}, {0.25, -12.5}, {7.0, 0.0}};

// Values that sit on or right next to a rounding step in some unit, plus
// the special ones.
template <typename T>
std::vector<T> awkward_values(unsigned seed) {
  std::vector<T> v = {T(0),       T(-0.0),   T(12.345),  T(-12.345), T(0.005),  T(-0.005), T(0.125),
                      T(-0.125),  T(1.5),    T(-2.5),    T(2.675),   T(1e10),   T(-1e10),  T(21474836.47),
                      T(-21474836.48), T(21474836.475), T(2147483647.0), T(-2147483648.0), T(2147483646.5),
                      T(-9999),   T(-32767), std::numeric_limits<T>::infinity(), -std::numeric_limits<T>::infinity(),
                      std::numeric_limits<T>::quiet_NaN(), std::numeric_limits<T>::max(),
                      std::numeric_limits<T>::lowest(), std::numeric_limits<T>::denorm_min()};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> wide(-5000.0, 5000.0);
  std::uniform_int_distribution<int> steps(-500000, 500000);
  for (int i = 0; i < 3000; i++) {
    v.push_back(static_cast<T>(wide(rng)));
    const double half = (steps(rng) + 0.5) * 0.01;  // k.5 hundredths
    v.push_back(static_cast<T>(half));
    v.push_back(std::nextafter(static_cast<T>(half), T(0)));
    v.push_back(std::nextafter(static_cast<T>(half), T(1e30)));
  }
  return v;
}

template <typename T>
void check_floats(int level) {
  ASSERT_EQ(sr_sample_vector_level(level), level);
  const std::vector<T> values = awkward_values<T>(level + 1);
  for (const Units& u : kUnits) {
    for (double nodata_raw : {-9999.0, std::nan(""), 12.345, -3.4028234663852886e+38}) {
      SRsampleRule rule;
      rule.unit = u.unit, rule.offset = u.offset, rule.nodata = -777, rule.nodata_raw = nodata_raw;
      const T nd = static_cast<T>(sizeof(T) == 4 ? sr_float_from_double(nodata_raw) : nodata_raw);
      // runs of several lengths, over all values, exercise the vector loops' tails
      for (size_t n : {size_t(1), size_t(3), size_t(8), size_t(19), size_t(4096)}) {
        std::vector<int32_t> out(n);
        std::vector<uint8_t> flags(n);
        for (size_t start = 0; start < values.size(); start += n) {
          const size_t m = std::min(n, values.size() - start);
          sr_convert_samples(values.data() + start, 1, static_cast<int64_t>(m), rule, out.data(), flags.data());
          for (size_t i = 0; i < m; i++) {
            const T x = values[start + i];
            const bool nodata = std::isnan(x) || x == nd;
            ASSERT_EQ(flags[i], nodata ? 1 : 0) << x << " level " << level;
            const int32_t expected = nodata ? -777 : round_clamp_i32((static_cast<double>(x) - u.offset) / u.unit);
            ASSERT_EQ(out[i], expected) << "value " << x << " unit " << u.unit << " offset " << u.offset
                                        << " level " << level;
          }
        }
      }
    }
  }
}

class FloatLevels : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (sr_sample_vector_level(GetParam()) != GetParam()) GTEST_SKIP() << "processor lacks level " << GetParam();
  }
  void TearDown() override { sr_sample_vector_level(-1); }
};

TEST_P(FloatLevels, SinglePrecisionMatchesTheSharedRounding) { check_floats<float>(GetParam()); }
TEST_P(FloatLevels, DoublePrecisionMatchesTheSharedRounding) { check_floats<double>(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Levels, FloatLevels, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == 0 ? "OneByOne" : info.param == 1 ? "Sse2" : "Avx2");
                         });

TEST(SrSample, StridedFloatsTakeOneBandOfSeveral) {
  const float pixels[] = {1.25f, 99, 99, -2.5f, 99, 99, NAN, 99, 99, -9999, 99, 99};
  SRsampleRule rule;
  rule.unit = 0.01, rule.nodata = -5, rule.nodata_raw = -9999;
  int32_t out[4];
  uint8_t flags[4];
  sr_convert_samples(pixels, 3, 4, rule, out, flags);
  EXPECT_EQ(std::vector<int32_t>(out, out + 4), (std::vector<int32_t>{125, -250, -5, -5}));
  EXPECT_EQ(std::vector<uint8_t>(flags, flags + 4), (std::vector<uint8_t>{0, 0, 1, 1}));
}

struct IntCase {
  const char* name;
  SRsampleType type;
  std::vector<uint8_t> bytes;  // little-endian samples
  bool scaled;
  double rescale, nodata_raw;
  int32_t nodata;
  std::vector<int32_t> expected;
  std::vector<uint8_t> flags;
};

class IntSamples : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntSamples, ValuesAndFlags) {
  const IntCase& c = GetParam();
  SRsampleRule rule;
  rule.scaled = c.scaled, rule.rescale = c.rescale, rule.nodata = c.nodata, rule.nodata_raw = c.nodata_raw;
  const size_t n = c.expected.size();
  std::vector<int32_t> out(n);
  std::vector<uint8_t> flags(n);
  sr_convert_buffer(c.type, c.bytes.data(), 1, static_cast<int64_t>(n), rule, out.data(), flags.data());
  EXPECT_EQ(out, c.expected);
  EXPECT_EQ(flags, c.flags);
}

INSTANTIATE_TEST_SUITE_P(
    All, IntSamples,
    ::testing::Values(
        IntCase{"Int8", SRsampleType::kInt8, {0x80, 0xFF, 0x7F, 0x05}, false, 1, 5, 5, {-128, -1, 127, 5},
                {0, 0, 0, 1}},
        // a nodata value no sample of the type can hold matches nothing
        IntCase{"Uint8NegativeNodata", SRsampleType::kUint8, {0x00, 0xFF}, false, 1, -1, -1, {0, 255}, {0, 0}},
        IntCase{"Int16FractionalNodata", SRsampleType::kInt16, {0x03, 0x00}, false, 1, 3.5, 4, {3}, {0}},
        IntCase{"Int32", SRsampleType::kInt32, {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}, false, 1,
                std::nan(""), -9999, {INT_MAX, INT_MIN}, {0, 0}},
        IntCase{"Int32ScaledClamps", SRsampleType::kInt32, {0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}, true,
                10.0, std::nan(""), -9999, {INT_MAX, INT_MIN}, {0, 0}}),
    CaseName());

TEST(SrSample, FloatFormOfNodataValues) {
  EXPECT_EQ(sr_float_from_double(-3.4028234663852886e+38), -FLT_MAX);
  EXPECT_EQ(sr_float_from_double(3.40282350e+38), FLT_MAX);  // rounds down to the largest float
  EXPECT_EQ(sr_float_from_double(1e39), std::numeric_limits<float>::infinity());
  EXPECT_EQ(sr_float_from_double(-1e300), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(sr_float_from_double(-9999.0), -9999.0f);
  EXPECT_TRUE(std::isnan(sr_float_from_double(std::nan(""))));
}

}  // namespace
