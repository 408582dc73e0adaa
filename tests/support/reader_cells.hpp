// Raster readers in tests: opening with stderr captured, and all cells of
// an open reader one by one or in batches, nodata cells shown as kNodataCell.
#ifndef TESTS_SUPPORT_READER_CELLS_HPP
#define TESTS_SUPPORT_READER_CELLS_HPP

#include <gtest/gtest.h>  // EXPECT_EQ on the per-cell fields, CaptureStderr

#include <climits>           // INT_MIN
#include <cstdint>           // int32_t, int64_t
#include <initializer_list>  // batch sizes
#include <memory>            // unique_ptr of the reader
#include <string>            // captured messages
#include <vector>            // the cells

#include "raster/srreader.hpp"  // SRreader

namespace testsupport {

constexpr int kNodataCell = INT_MIN;

// A reader after open(): whether it opened and what it printed.
template <typename R>
struct Opened {
  std::unique_ptr<R> r;
  bool ok = false;
  std::string err;
};

// Opens path with reader R (scale set first when not 0); args follow the
// file name in R::open.
template <typename R, typename... Args>
Opened<R> open_reader(const std::string& path, double scale, Args... args) {
  Opened<R> o;
  o.r = std::make_unique<R>();
  if (scale != 0.0) o.r->set_scale(scale);
  testing::internal::CaptureStderr();
  o.ok = o.r->open(path.c_str(), args...);
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

// What close() prints (the cell count warning, if any).
inline std::string close_messages(SRreader* r) {
  testing::internal::CaptureStderr();
  r->close(true);
  return testing::internal::GetCapturedStderr();
}

// Every cell through read_raster() and is_nodata().
inline std::vector<int> cells(SRreader* r) {
  std::vector<int> out;
  while (r->read_raster()) out.push_back(r->is_nodata() ? kNodataCell : r->value[0]);
  return out;
}

// Every cell through read_cells() in batches of the given sizes, taken in
// turn, checking that value[0], is_nodata() and r_count show the last cell
// of each batch.
inline std::vector<int> cells_batched(SRreader* r, std::initializer_list<int64_t> sizes) {
  std::vector<int> out;
  const std::vector<int64_t> turn(sizes);
  const int64_t before = r->r_count;
  for (size_t i = 0;; i++) {
    const int64_t batch = turn[i % turn.size()];
    std::vector<int32_t> v(batch);
    std::vector<uint8_t> f(batch);
    const int64_t got = r->read_cells(batch, v.data(), f.data());
    for (int64_t k = 0; k < got; k++) out.push_back(f[k] ? kNodataCell : v[k]);
    if (got > 0) {
      EXPECT_EQ(r->value[0], v[got - 1]);
      EXPECT_EQ(r->is_nodata(), f[got - 1] != 0);
    }
    EXPECT_EQ(r->r_count, before + static_cast<int64_t>(out.size()));
    if (got < batch) break;
  }
  return out;
}

}  // namespace testsupport

#endif
