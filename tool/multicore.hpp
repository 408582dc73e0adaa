// Fan-out of one child process per input file.
#ifndef TOOL_MULTICORE_HPP
#define TOOL_MULTICORE_HPP

class GeoProjectionConverter;
class LASreadOpener;
class SRwriteOpener;

// Runs one child per input file, at most `cores` at a time, and ends the
// process with the highest exit status seen.
[[noreturn]] void rastcmp_multi_core(int argc, char** argv, GeoProjectionConverter* converter, LASreadOpener* opener,
                                     SRwriteOpener* raster_writer, int cores, bool cpu64);

#endif
