// Test helpers for the item codecs: point records of formats 0 to 5 made up
// for a scenario (random bytes, raster-like grids, hard cases per field), and
// a chunked encode/decode harness that drives the item writers and readers
// the way the point record writer and reader do.
#ifndef TESTS_PTCOMP_ITEM_CODEC_SUPPORT_HPP
#define TESTS_PTCOMP_ITEM_CODEC_SUPPORT_HPP

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "las/lasitem.hpp"

namespace codectest {

enum class Scenario {
  Random,       // every byte random
  Raster,       // a grid in row order, smooth z, constant attributes
  Hard,         // every field changes in the awkward ways
  GpsRepeats,   // long runs of equal times and equal steps
  GpsInterleaved,  // several time sequences visited in turn
  RgbOneChannel,   // one colour channel changes at a time
  RgbGrey,         // r = g = b
};

std::string scenario_name(Scenario s);

// Points of one point format: `count` records of `point_size` bytes, the
// items laid out one after the other as in a LAS record.
struct PointSet {
  std::vector<LASitem> items;
  uint32_t point_size = 0;
  std::vector<uint8_t> data;
  uint32_t count() const { return point_size ? static_cast<uint32_t>(data.size() / point_size) : 0; }
  const uint8_t* point(uint32_t i) const { return data.data() + size_t(i) * point_size; }
  uint8_t* point(uint32_t i) { return data.data() + size_t(i) * point_size; }
};

// The item list of point format `format` (0..5) with `extra` extra bytes,
// every item in compression version `version` (WAVEPACKET13 stays at 1).
std::vector<LASitem> items_for_format(int format, int extra, int version);

PointSet make_points(int format, int extra, int version, Scenario scenario, uint32_t count, uint32_t seed);

// Encodes the points in chunks of `chunk_size` (the last may be shorter):
// per chunk the raw first point, then the coded rest. chunk_ends receives
// the stream offset after each chunk. False when a writer is missing.
bool encode_chunked(const PointSet& points, uint32_t chunk_size, std::vector<uint8_t>& bytes,
                    std::vector<size_t>* chunk_ends = nullptr);

// Decodes what encode_chunked wrote into `decoded` (same layout); also
// checks that each chunk ends where the encoder ended it. Returns an empty
// text on success, else what went wrong (a thrown value, a chunk end).
std::string decode_chunked(const std::vector<LASitem>& items, uint32_t point_size, uint32_t count,
                           uint32_t chunk_size, const std::vector<uint8_t>& bytes,
                           const std::vector<size_t>* chunk_ends, std::vector<uint8_t>& decoded);

// The first point index at which two point sets differ, or -1.
long long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t point_size);

}  // namespace codectest

#endif
