// The interface of one point criterion of a filter: its option text, the
// point fields it reads and its keep/drop decision.
#ifndef FILTER_LASCRITERION_HPP
#define FILTER_LASCRITERION_HPP

#include <cstdint>  // uint32_t decompression masks

class LASpoint;

class LAScriterion {
 public:
  // The option word without its dash, for example "keep_tile".
  virtual const char* name() const = 0;
  // Writes the option text that recreates the criterion; returns its length.
  virtual int get_command(char* string) const = 0;
  // The point-record fields the criterion reads (selective decompression).
  virtual uint32_t get_decompress_selective() const { return 0; }
  // True if the point is to be dropped.
  virtual bool filter(const LASpoint* point) = 0;
  // Restarts the state of counting and thinning criteria.
  virtual void reset() {}
  virtual ~LAScriterion() = default;
};

#endif
