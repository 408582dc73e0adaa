// Fan-out of one child process per input file.
#include "tool/multicore.hpp"

#include "tool/lasmessage.hpp"  // laserror, byebye

void rastcmp_multi_core(int, char**, GeoProjectionConverter*, LASreadOpener*, SRwriteOpener*, int cores, bool) {
  laserror("running on %d cores is not supported in this build", cores);
  byebye();
}
