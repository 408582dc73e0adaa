// GeoTIFF (tiled, in strips, and tiled with deflate) and BIL comparison
// speed: rastcmp, in process and as the real program, against GDAL reading
// the same two files block by block. The program's peak memory is measured
// through a launcher process forked before this one grows, since a child's
// peak resident size also counts what its parent held when it was started.
#include <benchmark/benchmark.h>  // benchmark loop and counters
#include <cpl_conv.h>             // CPLSetConfigOption, CPLMalloc
#include <gdal.h>                 // writing the files, and the yardstick
#include <spawn.h>                // posix_spawn for the real program
#include <sys/resource.h>         // rusage: the program's peak memory
#include <sys/wait.h>             // wait4
#include <unistd.h>               // fork, pipe, read, write

#include <algorithm>   // max of the peaks
#include <chrono>      // the launcher's wall clock

#include <cmath>       // sin, cos for terrain-like values
#include <cstdint>     // cell counts
#include <cstdlib>     // mkdtemp
#include <filesystem>  // temp dir cleanup
#include <string>
#include <vector>

#include "app/rastcmp.hpp"         // rastcmp_compare_cells
#include "raster/srreader.hpp"     // open_raster

extern char** environ;

namespace {

constexpr int kSize = 6000;

// A smooth surface with fine detail, in metres; a few nodata columns; every
// 5000th cell differs in the second file.
float cell(int r, int c, int variant) {
  if (c % 997 == 0) return -9999.0f;
  double v = 800.0 + 300.0 * std::sin(r * 0.0013) * std::cos(c * 0.0009) + 2.5 * std::sin(r * 0.31 + c * 0.17) +
             ((r * 31 + c * 17) % 13) * 0.01;
  if (variant == 1 && (static_cast<int64_t>(r) * kSize + c) % 5000 == 0) v += 1.0;
  return static_cast<float>(v);
}

enum Kind { kTiled = 0, kStrips = 1, kBil = 2, kTiledDeflate = 3 };
constexpr int kKinds = 4;
const char* const kKindName[] = {"tif_tiled", "tif_strips", "bil", "tif_tiled_deflate"};
const char* const kKindExt[] = {"tif", "tif", "bil", "tif"};

// The launcher: a small process that starts rastcmp on request and reports
// its exit status, wall time and peak resident size.
struct Launcher {
  int to_child = -1, from_child = -1;
  struct Result {
    int status;
    long max_rss_kb;
    double seconds;
  };
  static bool read_all(int fd, void* p, size_t n) {
    char* c = static_cast<char*>(p);
    while (n > 0) {
      const ssize_t got = read(fd, c, n);
      if (got <= 0) return false;
      c += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  static void serve(int in, int out) {
    for (;;) {
      uint32_t count = 0;
      if (!read_all(in, &count, sizeof(count))) _exit(0);
      std::vector<std::string> args(count);
      for (auto& a : args) {
        uint32_t len = 0;
        if (!read_all(in, &len, sizeof(len))) _exit(0);
        a.resize(len);
        if (len > 0 && !read_all(in, &a[0], len)) _exit(0);
      }
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      Result r{-1, 0, 0.0};
      const auto t0 = std::chrono::steady_clock::now();
      pid_t pid = -1;
      if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.max_rss_kb = usage.ru_maxrss;
      }
      r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (write(out, &r, sizeof(r)) != static_cast<ssize_t>(sizeof(r))) _exit(1);
    }
  }
  void start() {
    int a[2], b[2];
    if (pipe(a) != 0 || pipe(b) != 0) return;
    const pid_t pid = fork();
    if (pid == 0) {
      ::close(a[1]);
      ::close(b[0]);
      serve(a[0], b[1]);
    }
    ::close(a[0]);
    ::close(b[1]);
    to_child = a[1];
    from_child = b[0];
  }
  bool run(const std::vector<std::string>& args, Result& r) {
    if (to_child < 0) return false;
    std::string msg;
    const uint32_t count = static_cast<uint32_t>(args.size());
    msg.append(reinterpret_cast<const char*>(&count), sizeof(count));
    for (const auto& a : args) {
      const uint32_t len = static_cast<uint32_t>(a.size());
      msg.append(reinterpret_cast<const char*>(&len), sizeof(len));
      msg.append(a);
    }
    if (write(to_child, msg.data(), msg.size()) != static_cast<ssize_t>(msg.size())) return false;
    return read_all(from_child, &r, sizeof(r));
  }
  void stop() {
    if (to_child >= 0) ::close(to_child);
    if (from_child >= 0) ::close(from_child);
    int status = 0;
    wait(&status);
  }
};

Launcher& launcher() {
  static Launcher l;
  return l;
}

struct Files {
  std::string dir;
  std::string a[kKinds], b[kKinds];
  std::string tiny_a, tiny_b;  // 2 x 2 GeoTIFFs: the program's fixed cost
  Files() {
    char tmpl[] = "/tmp/rastcmp_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    GDALAllRegister();
    CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
    for (int k = 0; k < kKinds; k++) {
      a[k] = dir + "/a_" + kKindName[k] + "." + kKindExt[k];
      b[k] = dir + "/b_" + kKindName[k] + "." + kKindExt[k];
      write(a[k], static_cast<Kind>(k), 0);
      write(b[k], static_cast<Kind>(k), 1);
    }
    tiny_a = dir + "/tiny_a.tif";
    tiny_b = dir + "/tiny_b.tif";
    for (const std::string* name : {&tiny_a, &tiny_b}) {
      GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), name->c_str(), 2, 2, 1, GDT_Float32, nullptr);
      double gt[6] = {500000.0, 1.0, 0.0, 4006000.0, 0.0, -1.0};
      GDALSetGeoTransform(ds, gt);
      GDALSetRasterNoDataValue(GDALGetRasterBand(ds, 1), -9999.0);
      GDALClose(ds);
    }
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void write(const std::string& path, Kind kind, int variant) {
    const char* tiled[] = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", nullptr};
    const char* deflate[] = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256", "COMPRESS=DEFLATE", nullptr};
    const char* driver = kind == kBil ? "EHdr" : "GTiff";
    char** options = kind == kTiled ? const_cast<char**>(tiled)
                     : kind == kTiledDeflate ? const_cast<char**>(deflate) : nullptr;
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName(driver), path.c_str(), kSize, kSize, 1, GDT_Float32, options);
    double gt[6] = {500000.0, 1.0, 0.0, 4006000.0, 0.0, -1.0};
    GDALSetGeoTransform(ds, gt);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterNoDataValue(band, -9999.0);
    std::vector<float> rows(static_cast<size_t>(kSize) * 256);
    for (int r0 = 0; r0 < kSize; r0 += 256) {
      const int n = std::min(256, kSize - r0);
      for (int r = 0; r < n; r++)
        for (int c = 0; c < kSize; c++) rows[static_cast<size_t>(r) * kSize + c] = cell(r0 + r, c, variant);
      if (GDALRasterIO(band, GF_Write, 0, r0, kSize, n, rows.data(), kSize, n, GDT_Float32, 0, 0) != CE_None) break;
    }
    GDALClose(ds);
  }
};

Files& files() {
  static Files f;
  return f;
}

// rastcmp's readers and comparison loop, in this process.
void BM_RastcmpInProcess(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  Files& f = files();
  state.SetLabel(kKindName[k]);
  int64_t different = 0;
  for (auto _ : state) {
    SRreader* r1 = open_raster(kKindExt[k], f.a[k].c_str());
    SRreader* r2 = open_raster(kKindExt[k], f.b[k].c_str());
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

// The real program on the pair, with its peak resident memory.
void BM_RastcmpProgram(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  Files& f = files();
  state.SetLabel(kKindName[k]);
  const std::vector<std::string> args = {RASTCMP_EXE, "-quiet", "-i", f.a[k], "-i", f.b[k]};
  double peak_mb = 0.0;
  for (auto _ : state) {
    Launcher::Result r{};
    if (!launcher().run(args, r) || r.status != 0) {
      state.SkipWithError("rastcmp did not exit with 0");
      break;
    }
    state.SetIterationTime(r.seconds);
    peak_mb = std::max(peak_mb, r.max_rss_kb / 1024.0);
  }
  state.counters["peak_MB"] = peak_mb;
  state.SetItemsProcessed(state.iterations() * 2LL * kSize * kSize);
}

// The program on two 2 x 2 rasters: start-up (loading its libraries) and
// the end, to be set against the figures above.
void BM_RastcmpProgramStartup(benchmark::State& state) {
  Files& f = files();
  const std::vector<std::string> args = {RASTCMP_EXE, "-quiet", "-i", f.tiny_a, "-i", f.tiny_b};
  double peak_mb = 0.0;
  for (auto _ : state) {
    Launcher::Result r{};
    if (!launcher().run(args, r) || r.status != 0) {
      state.SkipWithError("rastcmp did not exit with 0");
      break;
    }
    state.SetIterationTime(r.seconds);
    peak_mb = std::max(peak_mb, r.max_rss_kb / 1024.0);
  }
  state.counters["peak_MB"] = peak_mb;
}

// GDAL reading both files block by block in their own sample type.
void BM_GdalBlocks(benchmark::State& state) {
  const int k = static_cast<int>(state.range(0));
  Files& f = files();
  state.SetLabel(kKindName[k]);
  double sum = 0.0;
  for (auto _ : state) {
    for (const std::string* name : {&f.a[k], &f.b[k]}) {
      GDALDatasetH ds = GDALOpen(name->c_str(), GA_ReadOnly);
      if (ds == nullptr) {
        state.SkipWithError("open failed");
        return;
      }
      GDALRasterBandH band = GDALGetRasterBand(ds, 1);
      int bx = 0, by = 0;
      GDALGetBlockSize(band, &bx, &by);
      std::vector<float> block(static_cast<size_t>(bx) * by);
      for (int y = 0; y < (kSize + by - 1) / by; y++) {
        for (int x = 0; x < (kSize + bx - 1) / bx; x++) {
          if (GDALReadBlock(band, x, y, block.data()) != CE_None) {
            state.SkipWithError("read failed");
            return;
          }
          sum += block[0];
        }
      }
      GDALClose(ds);
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * 2LL * kSize * kSize);
}

BENCHMARK(BM_GdalBlocks)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_RastcmpProgram)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(BM_RastcmpProgramStartup)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();
BENCHMARK(BM_RastcmpInProcess)->DenseRange(0, kKinds - 1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  launcher().start();  // before anything of this process grows
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  launcher().stop();
  return 0;
}
