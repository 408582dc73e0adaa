// rast2ptc: writes the RasterPTC copy of rasters.
#include "app/rast2ptc.hpp"  // rast2ptc_run

int main(int argc, char** argv) { rast2ptc_run(argc, argv); }
