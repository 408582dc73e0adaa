// IMG and PNG comparison speed: rastcmp's readers and comparison loop
// against GDAL reading the same two files row by row and comparing them.
#include <benchmark/benchmark.h>  // benchmark loop and counters
#include <cpl_conv.h>             // CPLSetConfigOption
#include <gdal.h>                 // writing the files, and the yardstick

#include <cmath>       // sin, cos for terrain-like values
#include <cstdint>     // sample types
#include <cstdlib>     // mkdtemp
#include <filesystem>  // temp dir cleanup
#include <string>
#include <vector>

#include "app/rastcmp.hpp"         // rastcmp_compare_cells
#include "raster/srreader.hpp"     // open_raster

namespace {

constexpr int kSize = 6000;

// A smooth surface with fine detail, in metres; every 5000th cell differs
// in the second file.
double terrain(int r, int c) {
  return 800.0 + 300.0 * std::sin(r * 0.0013) * std::cos(c * 0.0009) + 2.5 * std::sin(r * 0.31 + c * 0.17) +
         ((r * 31 + c * 17) % 13) * 0.01;
}

struct Files {
  std::string dir, img_a, img_b, png_a, png_b;
  Files() {
    char tmpl[] = "/tmp/rastcmp_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    img_a = dir + "/a.img";
    img_b = dir + "/b.img";
    png_a = dir + "/a.png";
    png_b = dir + "/b.png";
    GDALAllRegister();
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    for (int k = 0; k < 2; k++) {
      write_img(k == 0 ? img_a : img_b, k);
      write_png(k == 0 ? png_a : png_b, k);
    }
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static double cell(int r, int c, int variant) {
    const double v = terrain(r, c);
    return (variant == 1 && (static_cast<int64_t>(r) * kSize + c) % 5000 == 0) ? v + 1.0 : v;
  }
  static void write_img(const std::string& path, int variant) {
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("HFA"), path.c_str(), kSize, kSize, 1, GDT_Float32, nullptr);
    double gt[6] = {500000.0, 1.0, 0.0, 4006000.0, 0.0, -1.0};
    GDALSetGeoTransform(ds, gt);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterNoDataValue(band, -9999.0);
    std::vector<float> row(kSize);
    for (int r = 0; r < kSize; r++) {
      for (int c = 0; c < kSize; c++) row[c] = (c % 997 == 0) ? -9999.0f : static_cast<float>(cell(r, c, variant));
      if (GDALRasterIO(band, GF_Write, 0, r, kSize, 1, row.data(), kSize, 1, GDT_Float32, 0, 0) != CE_None) break;
    }
    GDALClose(ds);
  }
  // 16-bit gray in decimetres, with its world file.
  static void write_png(const std::string& path, int variant) {
    GDALDatasetH mem = GDALCreate(GDALGetDriverByName("MEM"), "", kSize, kSize, 1, GDT_UInt16, nullptr);
    GDALRasterBandH band = GDALGetRasterBand(mem, 1);
    std::vector<uint16_t> row(kSize);
    for (int r = 0; r < kSize; r++) {
      for (int c = 0; c < kSize; c++) row[c] = static_cast<uint16_t>(cell(r, c, variant) * 10.0);
      if (GDALRasterIO(band, GF_Write, 0, r, kSize, 1, row.data(), kSize, 1, GDT_UInt16, 0, 0) != CE_None) break;
    }
    GDALDatasetH out = GDALCreateCopy(GDALGetDriverByName("PNG"), path.c_str(), mem, FALSE, nullptr, nullptr, nullptr);
    if (out) GDALClose(out);
    GDALClose(mem);
    FILE* f = fopen((path.substr(0, path.size() - 3) + "pgw").c_str(), "w");
    if (f) {
      fprintf(f, "1\n0\n0\n-1\n500000.5\n4005999.5\n");
      fclose(f);
    }
  }
};

Files& files() {
  static Files f;
  return f;
}

void rastcmp_pair(benchmark::State& state, const char* ext, const std::string& a, const std::string& b) {
  int64_t different = 0;
  for (auto _ : state) {
    SRreader* r1 = open_raster(ext, a.c_str());
    SRreader* r2 = open_raster(ext, b.c_str());
    if (r1 == nullptr || r2 == nullptr) {
      state.SkipWithError("open failed");
      break;
    }
    const RastcmpCounts c = rastcmp_compare_cells(r1, r2);
    different = c.different_value;
    r1->close(true);
    r2->close(true);
    delete r1;
    delete r2;
  }
  state.counters["different"] = static_cast<double>(different);
  state.SetItemsProcessed(state.iterations() * 2LL * kSize * kSize);
}

// GDAL's side of the same job: both files opened, read row by row in their
// own sample type, cells compared (nodata where both hold the nodata value).
template <typename T>
void gdal_pair(benchmark::State& state, GDALDataType type, const std::string& a, const std::string& b) {
  std::vector<T> row_a(kSize), row_b(kSize);
  int64_t different = 0;
  for (auto _ : state) {
    GDALDatasetH da = GDALOpen(a.c_str(), GA_ReadOnly);
    GDALDatasetH db = GDALOpen(b.c_str(), GA_ReadOnly);
    if (da == nullptr || db == nullptr) {
      state.SkipWithError("open failed");
      break;
    }
    GDALRasterBandH ba = GDALGetRasterBand(da, 1), bb = GDALGetRasterBand(db, 1);
    int has = 0;
    const T nodata = static_cast<T>(GDALGetRasterNoDataValue(ba, &has));
    different = 0;
    for (int r = 0; r < kSize; r++) {
      if (GDALRasterIO(ba, GF_Read, 0, r, kSize, 1, row_a.data(), kSize, 1, type, 0, 0) != CE_None) break;
      if (GDALRasterIO(bb, GF_Read, 0, r, kSize, 1, row_b.data(), kSize, 1, type, 0, 0) != CE_None) break;
      for (int c = 0; c < kSize; c++) {
        const bool na = has && row_a[c] == nodata, nb = has && row_b[c] == nodata;
        different += (na != nb) || (!na && row_a[c] != row_b[c]);
      }
    }
    GDALClose(da);
    GDALClose(db);
  }
  state.counters["different"] = static_cast<double>(different);
  state.SetItemsProcessed(state.iterations() * 2LL * kSize * kSize);
}

void BM_RastcmpImgPair(benchmark::State& state) { rastcmp_pair(state, "img", files().img_a, files().img_b); }
void BM_GdalImgPair(benchmark::State& state) {
  GDALAllRegister();
  gdal_pair<float>(state, GDT_Float32, files().img_a, files().img_b);
}
void BM_RastcmpPngPair(benchmark::State& state) { rastcmp_pair(state, "png", files().png_a, files().png_b); }
void BM_GdalPngPair(benchmark::State& state) {
  GDALAllRegister();
  gdal_pair<uint16_t>(state, GDT_UInt16, files().png_a, files().png_b);
}

BENCHMARK(BM_RastcmpImgPair)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GdalImgPair)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RastcmpPngPair)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GdalPngPair)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
