// The point transform: an ordered list of operations built from
// command-line options, optionally restricted by a filter, and rendered
// back into option text.
#ifndef FILTER_LASTRANSFORM_HPP
#define FILTER_LASTRANSFORM_HPP

#include <cstdint>  // uint32_t counts

#include "las/lasquantizer.hpp"  // LASquantizer of the offset adjustment

class LASfilter;
class LASoperation;
class LASpoint;

class LAStransform {
 public:
  double registers[16] = {};
  uint32_t num_operations = 0;
  uint32_t alloc_operations = 0;
  LASoperation** operations = nullptr;
  bool filtered = false;       // "-filtered_transform" was given
  LASfilter* filter = nullptr;  // owned; restricts the transform
  bool force_rgb = false;       // "-force_RGB": colour operations also act on points without colour

  LAStransform() = default;
  ~LAStransform();
  LAStransform(const LAStransform&) = delete;
  LAStransform& operator=(const LAStransform&) = delete;

  // Takes the transform options from the arguments and blanks them; false
  // after an option error that did not end the process.
  bool parse(int argc, char** argv);
  // Writes the filter text (with "-filtered_transform ") and the option
  // text of every operation at `string`; returns the length.
  int unparse(char* string) const;
  // Applies every operation to a point the filter keeps.
  void transform(LASpoint* point);
  // Appends an operation (owned from now on).
  void add_operation(LASoperation* operation);
  // Removes and deletes the first operation with this name.
  void delete_operation(const char* name);
  // Replaces (and deletes) the filter.
  void setFilter(LASfilter* filter);
  // Replaces any "set_point_source" operation by one with this value.
  void setPointSource(unsigned short value);
  // Warns for every operation that had to clamp values.
  void check_for_overflow() const;
  // Deletes all operations and the filter.
  void clean();
  // Prints the overview of the transform options at INFO.
  void usage() const;

  // The point-record fields the operations and the filter read.
  uint32_t get_decompress_selective() const;
  // Switches on offset adjustment for points quantized by `file`: every
  // operation moves the offset the way it moves coordinates, and points
  // leave quantized by adjusted_quantizer(). False (after an error) when
  // an operation cannot support it.
  bool set_offset_adjust(const LASquantizer& file);
  // The quantizer of the transformed points under offset adjustment.
  LASquantizer adjusted_quantizer;
};

#endif
