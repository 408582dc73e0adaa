// Indexing a point file that is already written: its points are read once,
// a quadtree index is built over the header's extent, and the index is
// stored where readers look for it: for a PTC file as a special record after
// everything else, announced in the compressor settings; for a LAS file in a
// ".lax" file beside it.
#ifndef LASIO_LASINDEXFILE_HPP
#define LASIO_LASINDEXFILE_HPP

#include <cstdint>  // minimum cell size
#include <string>   // the .lax name

// The ".lax" file that belongs to a point file (its extension replaced).
std::string lax_file_name(const char* file_name);

// False, after an ERROR, when the file cannot be read, indexed or updated.
// Leaves with fewer than `minimum_points` points are joined into their
// parents.
bool index_point_file(const char* file_name, uint32_t minimum_points = 1000);

#endif
