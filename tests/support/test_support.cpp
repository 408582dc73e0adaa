// Test helpers: temporary directories, GDAL writers, process runner.
#include "tests/support/test_support.hpp"

#include <cpl_conv.h>    // CPLSetConfigOption
#include <fcntl.h>       // open flags of the child's streams
#include <gtest/gtest.h> // ADD_FAILURE
#include <spawn.h>       // posix_spawn
#include <sys/resource.h>  // setrlimit, wait4's rusage
#include <sys/wait.h>    // waitpid
#include <unistd.h>      // fork, _exit

#include <cstdlib>     // mkdtemp
#include <cstring>     // strerror
#include <filesystem>  // remove_all
#include <fstream>     // file helpers
#include <sstream>     // read_file

extern char** environ;

namespace testsupport {

Argv::Argv(std::vector<std::string> args) : store_(std::move(args)) {
  store_.insert(store_.begin(), "rastcmp");
  for (auto& s : store_) ptrs_.push_back(&s[0]);
  ptrs_.push_back(nullptr);
}

std::vector<std::string> Argv::left() const {
  std::vector<std::string> out;
  for (int k = 1; k < argc(); k++)
    if (ptrs_[k][0] != '\0') out.push_back(ptrs_[k]);
  return out;
}

TempDir::TempDir() {
  std::string tmpl = std::filesystem::temp_directory_path().string() + "/rastcmp_test_XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  dir_ = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary);
  f << content;
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool write_raster(const std::string& driver, const std::string& path, int cols, int rows, int bands,
                  GDALDataType type, const std::vector<double>& values, const Geo& geo, const double* nodata,
                  const std::vector<std::string>& options) {
  GDALAllRegister();
  CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
  if (values.size() != static_cast<size_t>(cols) * rows * bands) {
    ADD_FAILURE() << "write_raster: " << values.size() << " values for " << cols << "x" << rows << "x" << bands;
    return false;
  }
  GDALDriverH drv = GDALGetDriverByName(driver.c_str());
  if (drv == nullptr) {
    ADD_FAILURE() << "no GDAL driver " << driver;
    return false;
  }
  std::vector<char*> opts;
  for (const auto& o : options) opts.push_back(const_cast<char*>(o.c_str()));
  opts.push_back(nullptr);
  // drivers without direct creation get a copy of a memory dataset
  const bool direct = GDALGetMetadataItem(drv, GDAL_DCAP_CREATE, nullptr) != nullptr;
  GDALDatasetH ds = direct ? GDALCreate(drv, path.c_str(), cols, rows, bands, type, opts.data())
                           : GDALCreate(GDALGetDriverByName("MEM"), "", cols, rows, bands, type, nullptr);
  if (ds == nullptr) {
    ADD_FAILURE() << "GDALCreate failed for " << path;
    return false;
  }
  double gt[6] = {geo.ulx, geo.cell, 0.0, geo.uly, 0.0, -geo.cell};
  GDALSetGeoTransform(ds, gt);
  bool ok = true;
  for (int b = 0; b < bands; b++) {
    GDALRasterBandH band = GDALGetRasterBand(ds, b + 1);
    if (nodata) GDALSetRasterNoDataValue(band, *nodata);
    double* plane = const_cast<double*>(values.data()) + static_cast<size_t>(b) * cols * rows;
    if (GDALRasterIO(band, GF_Write, 0, 0, cols, rows, plane, cols, rows, GDT_Float64, 0, 0) != CE_None) ok = false;
  }
  if (!direct) {
    GDALDatasetH out = GDALCreateCopy(drv, path.c_str(), ds, FALSE, opts.data(), nullptr, nullptr);
    if (out == nullptr) ok = false;
    else GDALClose(out);
  }
  GDALClose(ds);
  if (!ok) ADD_FAILURE() << "GDAL failed to write " << path;
  return ok;
}

bool write_dem(const std::string& path, int cols, int rows, GDALDataType type, const std::vector<double>& values,
               const Geo& geo, const double* nodata, const std::vector<std::string>& options) {
  const std::string ext = path.substr(path.size() - 3);
  const char* driver = ext == "tif" ? "GTiff" : ext == "bil" ? "EHdr" : ext == "img" ? "HFA" : ext == "png" ? "PNG"
                                                                                                            : "AAIGrid";
  // after the image: GDAL deletes the files beside one it replaces
  if (!write_raster(driver, path, cols, rows, 1, type, values, geo, nodata, options)) return false;
  if (ext == "png") {
    std::ostringstream world;
    world.precision(17);
    world << geo.cell << "\n0\n0\n" << -geo.cell << "\n" << geo.ulx + geo.cell / 2 << "\n" << geo.uly - geo.cell / 2 << "\n";
    write_file(path.substr(0, path.size() - 3) + "pgw", world.str());
  }
  return true;
}

void write_asc(const std::string& path, int cols, int rows, double xll, double yll, double cellsize,
               const std::vector<std::string>& cells, const char* nodata_text) {
  std::ostringstream s;
  s.precision(17);
  s << "ncols " << cols << "\nnrows " << rows << "\nxllcorner " << xll << "\nyllcorner " << yll << "\ncellsize "
    << cellsize << "\n";
  if (nodata_text) s << "NODATA_value " << nodata_text << "\n";
  for (int r = 0; r < rows; r++) {
    for (int c = 0; c < cols; c++) {
      if (c) s << ' ';
      s << cells[static_cast<size_t>(r) * cols + c];
    }
    s << "\n";
  }
  write_file(path, s.str());
}

RunResult run(const std::string& exe, const std::vector<std::string>& args, const std::string& stdin_text,
              const std::string& cwd) {
  RunResult result;
  // the child's streams are files: no pipe fills up, however much it prints
  const TempDir io;
  const std::string in = io.file("in"), out = io.file("out"), err = io.file("err");
  write_file(in, stdin_text);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> all = {exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.err = std::string("spawn failed: ") + strerror(rc);
    return result;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
  result.out = read_file(out);
  result.err = read_file(err);
  return result;
}

RunResult run_rastcmp(const std::vector<std::string>& args, const std::string& stdin_text) {
  return run(RASTCMP_EXE, args, stdin_text);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string with_path(std::string text, const std::string& path) {
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

}  // namespace testsupport

namespace testsupport {

namespace {

// A "Vm...:" line of /proc/self/status in KB.
long status_kb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(strlen(key)));
  }
  return 0;
}

}  // namespace

int in_small_memory(const std::function<int()>& f, uint64_t extra_bytes, long* rss_growth_kb) {
  const long vm_kb = status_kb("VmSize:");
  const long rss_kb = status_kb("VmRSS:");
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const rlim_t limit = static_cast<rlim_t>(vm_kb) * 1024 + extra_bytes;
    const struct rlimit lim = {limit, limit};
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(127);
    const int result = f();
    fflush(nullptr);
    _exit(result);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return -1;
  if (rss_growth_kb != nullptr) *rss_growth_kb = usage.ru_maxrss - rss_kb;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testsupport
