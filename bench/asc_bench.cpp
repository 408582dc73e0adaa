// ASCII grid comparison speed: rastcmp's reader and comparison loop against
// GDAL reading the same two files cell by cell.
#include <benchmark/benchmark.h>  // benchmark loop and counters
#include <gdal.h>                 // GDAL's C API as the yardstick

#include <charconv>    // to_chars for writing the grids quickly
#include <cstdio>      // FILE output
#include <cstdlib>     // mkdtemp
#include <filesystem>  // temp dir cleanup
#include <random>      // cell values
#include <string>
#include <vector>

#include "app/rastcmp.hpp"         // rastcmp_compare_cells
#include "raster/srreader.hpp"     // open_raster

namespace {

constexpr int kSize = 4000;

struct Files {
  std::string dir, a, b;
  Files() {
    char tmpl[] = "/tmp/rastcmp_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    a = dir + "/a.asc";
    b = dir + "/b.asc";
    write(a, 1);
    write(b, 1);
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void write(const std::string& path, unsigned seed) {
    FILE* f = fopen(path.c_str(), "w");
    fprintf(f, "ncols %d\nnrows %d\nxllcorner 500000\nyllcorner 4000000\ncellsize 1\nNODATA_value -9999\n", kSize,
            kSize);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(100.0, 2000.0);
    std::vector<char> line(static_cast<size_t>(kSize) * 24);
    for (int r = 0; r < kSize; r++) {
      char* p = line.data();
      for (int c = 0; c < kSize; c++) {
        if (c) *p++ = ' ';
        const double v = (rng() % 50 == 0) ? -9999.0 : d(rng);
        p = std::to_chars(p, line.data() + line.size(), v, std::chars_format::fixed, 3).ptr;
      }
      *p++ = '\n';
      fwrite(line.data(), 1, static_cast<size_t>(p - line.data()), f);
    }
    fclose(f);
  }
};

Files& files() {
  static Files f;
  return f;
}

void BM_RastcmpAscPair(benchmark::State& state) {
  Files& f = files();
  for (auto _ : state) {
    SRreader* r1 = open_raster("asc", f.a.c_str());
    SRreader* r2 = open_raster("asc", f.b.c_str());
    const RastcmpCounts c = rastcmp_compare_cells(r1, r2);
    benchmark::DoNotOptimize(c.identical_value);
    r1->close(true);
    r2->close(true);
    delete r1;
    delete r2;
  }
  state.SetItemsProcessed(state.iterations() * 2LL * kSize * kSize);
}

void BM_GdalAscPair(benchmark::State& state) {
  Files& f = files();
  GDALAllRegister();
  std::vector<float> row(kSize);
  for (auto _ : state) {
    double sum = 0.0;
    for (const std::string* name : {&f.a, &f.b}) {
      GDALDatasetH ds = GDALOpen(name->c_str(), GA_ReadOnly);
      GDALRasterBandH band = GDALGetRasterBand(ds, 1);
      for (int r = 0; r < kSize; r++) {
        if (GDALRasterIO(band, GF_Read, 0, r, kSize, 1, row.data(), kSize, 1, GDT_Float32, 0, 0) != CE_None) break;
        sum += row[0];
      }
      GDALClose(ds);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * 2LL * kSize * kSize);
}

BENCHMARK(BM_RastcmpAscPair)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GdalAscPair)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
