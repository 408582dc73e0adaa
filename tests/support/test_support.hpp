// Helpers for the test suites: temporary directories, parameterised tests
// that have one, rasters written through GDAL's C API, and running the real
// binaries.
#ifndef TESTS_SUPPORT_TEST_SUPPORT_HPP
#define TESTS_SUPPORT_TEST_SUPPORT_HPP

#include <gdal.h>          // GDALDataType
#include <gtest/gtest.h>  // TestWithParam of DirTest

#include <cstdint>     // uint64_t
#include <functional>  // thrown_by, in_small_memory
#include <string>      // paths, captured output
#include <vector>      // cell values, arguments

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return dir_; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// A parameterised test with a fresh temporary directory.
template <typename Case>
class DirTest : public ::testing::TestWithParam<Case> {
 protected:
  TempDir dir;
};

// Test names from the cases' name field.
struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

// A writable argument vector as main() gets it: "rastcmp", then args.
class Argv {
 public:
  explicit Argv(std::vector<std::string> args);
  Argv(const Argv&) = delete;
  Argv& operator=(const Argv&) = delete;
  int argc() const { return static_cast<int>(store_.size()); }
  char** argv() { return ptrs_.data(); }
  std::string at(int i) const { return ptrs_[i]; }  // empty once blanked
  std::vector<std::string> left() const;           // the arguments not blanked, in order

 private:
  std::vector<std::string> store_;
  std::vector<char*> ptrs_;
};

// The integer a call throws (the byte streams' and decoders' way of
// failing), or 0 when it returns.
inline int thrown_by(const std::function<void()>& f) {
  try {
    f();
  } catch (int e) {
    return e;
  }
  return 0;
}

void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);

// Geometry of a raster written through GDAL: upper-left corner and cell size.
struct Geo {
  double ulx = 1000.0;
  double uly = 2000.0;
  double cell = 1.0;
};

// Writes a raster with GDAL's driver `driver` ("GTiff", "EHdr", "HFA",
// "PNG", "AAIGrid", ...). values holds bands × rows × cols samples, band
// after band, north row first. Drivers without direct creation (PNG,
// AAIGrid) are written through a memory dataset and CreateCopy.
// Returns false (with a test failure) when GDAL refuses.
bool write_raster(const std::string& driver, const std::string& path, int cols, int rows, int bands,
                  GDALDataType type, const std::vector<double>& values, const Geo& geo = Geo(),
                  const double* nodata = nullptr, const std::vector<std::string>& options = {});

// Writes a one-band raster with GDAL's driver for the file's extension
// (tif, bil, img, png, asc); a PNG image gets the world file of geo.
bool write_dem(const std::string& path, int cols, int rows, GDALDataType type, const std::vector<double>& values,
               const Geo& geo = Geo(), const double* nodata = nullptr, const std::vector<std::string>& options = {});

// Writes an ESRI ASCII grid by hand, each row on one line.
void write_asc(const std::string& path, int cols, int rows, double xll, double yll, double cellsize,
               const std::vector<std::string>& cells, const char* nodata_text = "-9999");

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell), feeding stdin_text.
RunResult run(const std::string& exe, const std::vector<std::string>& args, const std::string& stdin_text = "",
              const std::string& cwd = "");

// Runs the rastcmp binary of this build.
RunResult run_rastcmp(const std::vector<std::string>& args, const std::string& stdin_text = "");

// Runs f in a forked child whose address space may grow by at most
// extra_bytes (so that a reader that would reserve gigabytes fails there,
// under AddressSanitizer too). Returns f's result, or 128 + signal; the
// child's peak resident memory above the parent's goes to rss_growth_kb.
int in_small_memory(const std::function<int()>& f, uint64_t extra_bytes, long* rss_growth_kb = nullptr);

// Lines of a text.
std::vector<std::string> lines(const std::string& text);

// text with its first "%s" (if any) replaced by path.
std::string with_path(std::string text, const std::string& path);

}  // namespace testsupport

#endif
