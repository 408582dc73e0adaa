// The point filter: an ordered list of criteria built from command-line
// options, asked for every point, and rendered back into option text.
#ifndef FILTER_LASFILTER_HPP
#define FILTER_LASFILTER_HPP

#include <cstdint>  // uint32_t counts

class LAScriterion;
class LASpoint;

class LASfilter {
 public:
  uint32_t num_criteria = 0;
  uint32_t alloc_criteria = 0;
  LAScriterion** criteria = nullptr;
  uint32_t* counters = nullptr;

  LASfilter() = default;
  ~LASfilter();
  LASfilter(const LASfilter&) = delete;
  LASfilter& operator=(const LASfilter&) = delete;

  // Takes the filter options from the arguments and blanks them; false
  // after an option error that did not end the process.
  bool parse(int argc, char** argv);
  // Writes the option text of all criteria at `string`; returns its length.
  int unparse(char* string) const;
  // True if the point is dropped by any criterion (counted per criterion).
  bool filter(const LASpoint* point);
  // Appends a criterion (owned from now on).
  void add_criterion(LAScriterion* criterion);
  // Deletes all criteria and frees the arrays.
  void clean();
  // Restarts the counting and thinning criteria and zeroes the counters
  // (before the points of each file).
  void reset();
  // The point-record fields that the criteria read (the layers a reader of
  // layered compressed points has to decode for them).
  uint32_t get_decompress_selective() const;
  // Prints the overview of the filter options at INFO.
  void usage() const;
};

#endif
