// Helper of bench/ptc_bench.sh: writes the benchmark's float32 GeoTIFF
// ("make"), and times the RasterPTC reader's decode of a copy in process
// ("decode"), which the whole-program timings cannot separate.
#include <gdal.h>  // writing the GeoTIFF

#include <chrono>   // steady_clock for the decode timing
#include <cmath>    // sin, cos for terrain-like values
#include <cstdio>   // printf
#include <cstdlib>  // atoi
#include <cstring>  // strcmp
#include <memory>   // unique_ptr for the batch buffers
#include <vector>   // one row of samples

#include "raster/srreader_ptc.hpp"  // SRreader_ptc

namespace {

// A smooth surface with fine detail in metres; every 997th column nodata.
float cell(int r, int c) {
  if (c % 997 == 0) return -9999.0f;
  const double v = 800.0 + 300.0 * std::sin(r * 0.0013) * std::cos(c * 0.0009) + 2.5 * std::sin(r * 0.31 + c * 0.17) +
                   ((r * 31 + c * 17) % 13) * 0.01;
  return static_cast<float>(v);
}

// `edited` raises every 101st cell by 0.37 and every 100003rd by 12, so that
// a pair has differences of several magnitudes.
int make(const char* path, int size, bool edited) {
  GDALAllRegister();
  GDALDriverH driver = GDALGetDriverByName("GTiff");
  GDALDatasetH ds = GDALCreate(driver, path, size, size, 1, GDT_Float32, nullptr);
  if (ds == nullptr) return 1;
  double gt[6] = {500000.0, 0.5, 0.0, 4100000.0 + size * 0.5, 0.0, -0.5};
  GDALSetGeoTransform(ds, gt);
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  GDALSetRasterNoDataValue(band, -9999.0);
  std::vector<float> row(static_cast<size_t>(size));
  for (int r = 0; r < size; r++) {
    for (int c = 0; c < size; c++) {
      row[c] = cell(r, c);
      const int64_t k = int64_t(r) * size + c;
      if (edited && row[c] != -9999.0f) row[c] += (k % 100003 == 0) ? 12.0f : (k % 101 == 0) ? 0.37f : 0.0f;
    }
    if (GDALRasterIO(band, GF_Write, 0, r, size, 1, row.data(), size, 1, GDT_Float32, 0, 0) != CE_None) return 1;
  }
  GDALClose(ds);
  return 0;
}

int decode(const char* path) {
  using clock = std::chrono::steady_clock;
  SRreader_ptc reader;
  const auto t0 = clock::now();
  if (!reader.open(path, nullptr)) return 1;
  const int64_t cells = reader.cell_count();
  const int64_t batch = 65536;
  std::unique_ptr<int32_t[]> values(new int32_t[batch]);
  std::unique_ptr<uint8_t[]> nodata(new uint8_t[batch]);
  int64_t done = 0, with_value = 0;
  double build = 0.0;
  while (done < cells) {
    const auto b0 = clock::now();
    const int64_t got = reader.read_cells(batch, values.get(), nodata.get());
    if (done == 0) build = std::chrono::duration<double>(clock::now() - b0).count();
    if (got <= 0) return 1;
    for (int64_t k = 0; k < got; k++) with_value += !nodata[k];
    done += got;
  }
  const double total = std::chrono::duration<double>(clock::now() - t0).count();
  reader.close(true);
  printf("decoded %lld points into %lld cells: grid build %.3f s (%.2f million points/s), open to last cell %.3f s\n",
         static_cast<long long>(with_value), static_cast<long long>(cells), build, with_value / build / 1e6, total);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && strcmp(argv[1], "make") == 0)
    return make(argv[2], argc >= 4 ? atoi(argv[3]) : 6000, argc >= 5 && strcmp(argv[4], "edited") == 0);
  if (argc == 3 && strcmp(argv[1], "decode") == 0) return decode(argv[2]);
  fprintf(stderr, "usage: ptc_bench_tool make dem.tif [size [edited]] | decode dem.ptc\n");
  return 2;
}
