// Reading all cells of an open raster reader in tests, one by one or in
// batches, with nodata cells shown as kNodataCell.
#ifndef TESTS_SUPPORT_READER_CELLS_HPP
#define TESTS_SUPPORT_READER_CELLS_HPP

#include <gtest/gtest.h>  // EXPECT_EQ on the per-cell fields

#include <climits>  // INT_MIN
#include <cstdint>  // int32_t, int64_t
#include <vector>   // the cells

#include "raster/srreader.hpp"  // SRreader

namespace testsupport {

constexpr int kNodataCell = INT_MIN;

// Every cell through read_raster() and is_nodata().
inline std::vector<int> cells(SRreader* r) {
  std::vector<int> out;
  while (r->read_raster()) out.push_back(r->is_nodata() ? kNodataCell : r->value[0]);
  return out;
}

// Every cell through read_cells() in batches of `batch`, checking that
// value[0], is_nodata() and r_count show the last cell of each batch.
inline std::vector<int> cells_batched(SRreader* r, int64_t batch) {
  std::vector<int> out;
  std::vector<int32_t> v(batch);
  std::vector<uint8_t> f(batch);
  for (;;) {
    const int64_t got = r->read_cells(batch, v.data(), f.data());
    for (int64_t i = 0; i < got; i++) out.push_back(f[i] ? kNodataCell : v[i]);
    if (got > 0) {
      EXPECT_EQ(r->value[0], v[got - 1]);
      EXPECT_EQ(r->is_nodata(), f[got - 1] != 0);
    }
    EXPECT_EQ(r->r_count, static_cast<int64_t>(out.size()));
    if (got < batch) break;
  }
  return out;
}

}  // namespace testsupport

#endif
