// Test helpers: temporary directories, GDAL writers, process runner.
#include "tests/support/test_support.hpp"

#include <cpl_conv.h>    // CPLSetConfigOption
#include <fcntl.h>       // open flags
#include <gtest/gtest.h> // ADD_FAILURE
#include <poll.h>        // poll on the child's pipes
#include <spawn.h>       // posix_spawn
#include <sys/wait.h>    // waitpid
#include <unistd.h>      // pipe, close, read, write

#include <cstdio>      // snprintf
#include <cstdlib>     // mkdtemp
#include <cstring>     // strerror
#include <filesystem>  // remove_all
#include <fstream>     // file helpers
#include <sstream>     // read_file

extern char** environ;

namespace testsupport {

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
  const bool direct = GDALGetMetadataItem(drv, GDAL_DCAP_CREATE, nullptr) != nullptr;
  GDALDatasetH ds;
  if (direct) {
    ds = GDALCreate(drv, path.c_str(), cols, rows, bands, type, opts.data());
  } else {
    ds = GDALCreate(GDALGetDriverByName("MEM"), "", cols, rows, bands, type, nullptr);
  }
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
    std::vector<double> plane(values.begin() + static_cast<long>(b) * cols * rows,
                              values.begin() + static_cast<long>(b + 1) * cols * rows);
    if (GDALRasterIO(band, GF_Write, 0, 0, cols, rows, plane.data(), cols, rows, GDT_Float64, 0, 0) != CE_None) {
      ADD_FAILURE() << "GDALRasterIO failed for " << path;
      ok = false;
    }
  }
  if (!direct) {
    GDALDatasetH out = GDALCreateCopy(drv, path.c_str(), ds, FALSE, opts.data(), nullptr, nullptr);
    if (out == nullptr) {
      ADD_FAILURE() << "GDALCreateCopy failed for " << path;
      ok = false;
    } else {
      GDALClose(out);
    }
  }
  GDALClose(ds);
  return ok;
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
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe)) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_pipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<std::string> all;
  all.push_back(exe);
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (rc != 0) {
    close(in_pipe[1]);
    close(out_pipe[0]);
    close(err_pipe[0]);
    result.err = std::string("spawn failed: ") + strerror(rc);
    return result;
  }
  size_t written = 0;
  if (stdin_text.empty()) {
    close(in_pipe[1]);
    in_pipe[1] = -1;
  }
  bool out_open = true, err_open = true;
  char buf[65536];
  while (out_open || err_open) {
    pollfd fds[3];
    int nfds = 0;
    if (out_open) fds[nfds++] = {out_pipe[0], POLLIN, 0};
    if (err_open) fds[nfds++] = {err_pipe[0], POLLIN, 0};
    if (in_pipe[1] >= 0) fds[nfds++] = {in_pipe[1], POLLOUT, 0};
    if (poll(fds, nfds, 120000) <= 0) break;
    for (int k = 0; k < nfds; k++) {
      if (fds[k].revents == 0) continue;
      if (fds[k].fd == in_pipe[1]) {
        const ssize_t w = write(in_pipe[1], stdin_text.data() + written, stdin_text.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w <= 0 || written == stdin_text.size()) {
          close(in_pipe[1]);
          in_pipe[1] = -1;
        }
        continue;
      }
      const ssize_t n = read(fds[k].fd, buf, sizeof(buf));
      if (n <= 0) {
        if (fds[k].fd == out_pipe[0]) out_open = false;
        else err_open = false;
        continue;
      }
      (fds[k].fd == out_pipe[0] ? result.out : result.err).append(buf, static_cast<size_t>(n));
    }
  }
  if (in_pipe[1] >= 0) close(in_pipe[1]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);
  return result;
}

RunResult run_rastcmp(const std::vector<std::string>& args, const std::string& stdin_text) {
  return run(RASTCMP_EXE, args, stdin_text);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

}  // namespace testsupport
