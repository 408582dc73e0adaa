// Read opener: parsing large list files (plain names, with -unique, and in
// the ID and bounding-box forms).
#include <benchmark/benchmark.h>

#include <cstdint>  // uintptr_t
#include <cstdio>   // FILE, fprintf, remove
#include <string>   // file names
#include <vector>   // argument vector

#include "lasio/lasreadopener.hpp"  // LASreadOpener

namespace {

constexpr int kNames = 100000;

// Writes a list file of kNames lines in the given form and removes it at exit.
class ListFile {
 public:
  explicit ListFile(int form) {
    path_ = "/tmp/opener_bench_" + std::to_string(form) + "_" + std::to_string(reinterpret_cast<uintptr_t>(this)) +
            ".txt";
    FILE* f = fopen(path_.c_str(), "w");
    if (f == nullptr) return;
    for (int k = 0; k < kNames; k++) {
      const int col = k % 400, row = k / 400;
      if (form == 0) {
        fprintf(f, "/data/project/tiles/dem_%06d_%06d.asc\n", col * 1000, row * 1000);
      } else if (form == 1) {
        fprintf(f, "%d, /data/project/tiles/dem_%06d_%06d.asc\n", k, col * 1000, row * 1000);
      } else {
        fprintf(f, "%d,%d,%d.5,%d.5,%d.5,%d.5,/data/project/tiles/dem_%06d_%06d.ptc\n", k, 1000000 + k, col * 1000,
                row * 1000, col * 1000 + 1000, row * 1000 + 1000, col * 1000, row * 1000);
      }
    }
    fclose(f);
  }
  ~ListFile() { remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void parse_list(benchmark::State& state, int form, bool unique) {
  ListFile list(form);
  for (auto _ : state) {
    std::vector<std::string> args = {"rastcmp", "-lof", list.path()};
    if (unique) args.insert(args.begin() + 1, "-unique");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    LASreadOpener opener;
    opener.parse(static_cast<int>(args.size()), argv.data());
    if (opener.get_file_name_number() != static_cast<unsigned>(kNames)) state.SkipWithError("names missing");
    benchmark::DoNotOptimize(opener.file_names);
  }
  state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_ListPlainNames(benchmark::State& state) { parse_list(state, 0, false); }
void BM_ListPlainNamesUnique(benchmark::State& state) { parse_list(state, 0, true); }
void BM_ListWithIDs(benchmark::State& state) { parse_list(state, 1, false); }
void BM_ListWithBoundingBoxes(benchmark::State& state) { parse_list(state, 2, false); }

BENCHMARK(BM_ListPlainNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListPlainNamesUnique)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListWithIDs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListWithBoundingBoxes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
