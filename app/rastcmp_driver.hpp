// The comparison driver: checks two rasters' geometry, compares them cell
// by cell and reports the verdict. main() only hands argv to rastcmp_run().
#ifndef APP_RASTCMP_DRIVER_HPP
#define APP_RASTCMP_DRIVER_HPP

#include <cstdint>  // int64_t counters

#include "tool/kestreltool.hpp"  // KestrelTool

class SRreader;

// The rastcmp tool frame: the common options with rastcmp's usage text.
class KestrelTool_rastcmp : public KestrelTool {
 public:
  using KestrelTool::KestrelTool;
  void usage() override;
};


struct RastcmpCounts {
  int64_t identical_value = 0;
  int64_t different_value = 0;
  int64_t identical_nodata = 0;
  int64_t different_nodata = 0;
};

// The raster checks; false (after laserror returned) when one failed.
bool rastcmp_check_raster(const SRreader* raster, const char* name_only);

// Compares every cell of the first raster's size; read failures are
// reported as the driver's "failed to read raster..." errors.
RastcmpCounts rastcmp_compare_cells(SRreader* raster1, SRreader* raster2);

// Issues the verdict message for the counts.
void rastcmp_report_verdict(const RastcmpCounts& counts);

// The whole program; never returns.
[[noreturn]] void rastcmp_run(int argc, char** argv);

#endif
