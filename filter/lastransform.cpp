// The point transform: operations list, option parsing, rendering and the
// per-point application.
#include "filter/lastransform.hpp"

#include <cstdio>   // sprintf
#include <cstring>  // strcmp

#include "filter/lascriterion.hpp"  // LAScriterion::get_decompress_selective
#include "filter/lasfilter.hpp"     // LASfilter
#include "filter/lasoperation.hpp"  // LASoperation, LASoperationSetPointSource
#include "tool/lasmessage.hpp"      // LASMessage, laserror

LAStransform::~LAStransform() { clean(); }

void LAStransform::clean() {
  for (uint32_t i = 0; i < num_operations; i++) delete operations[i];
  delete[] operations;
  operations = nullptr;
  num_operations = 0;
  alloc_operations = 0;
  filtered = false;
  force_rgb = false;
  for (double& r : registers) r = 0.0;
  delete filter;
  filter = nullptr;
}

void LAStransform::add_operation(LASoperation* operation) {
  if (num_operations == alloc_operations) {
    const uint32_t grown = alloc_operations + 16;
    LASoperation** more = new LASoperation*[grown];
    for (uint32_t i = 0; i < num_operations; i++) more[i] = operations[i];
    delete[] operations;
    operations = more;
    alloc_operations = grown;
  }
  operations[num_operations++] = operation;
}

void LAStransform::delete_operation(const char* name) {
  for (uint32_t i = 0; i < num_operations; i++) {
    if (strcmp(operations[i]->name(), name) == 0) {
      delete operations[i];
      for (uint32_t j = i + 1; j < num_operations; j++) operations[j - 1] = operations[j];
      num_operations--;
      return;
    }
  }
}

void LAStransform::setFilter(LASfilter* new_filter) {
  if (filter != new_filter) delete filter;
  filter = new_filter;
}

void LAStransform::setPointSource(unsigned short value) {
  delete_operation("set_point_source");
  add_operation(new LASoperationSetPointSource(value));
}

int LAStransform::unparse(char* string) const {
  int n = 0;
  if (filter != nullptr) {
    n += filter->unparse(&string[n]);
    n += sprintf(&string[n], "-filtered_transform ");
  }
  for (uint32_t i = 0; i < num_operations; i++) n += operations[i]->get_command(&string[n]);
  return n;
}

void LAStransform::transform(LASpoint* point) {
  if (filter != nullptr && filter->filter(point)) return;
  for (uint32_t i = 0; i < num_operations; i++) {
    LASoperation* operation = operations[i];
    if (operation->offset_adjust) operation->adjust_offset(point);
    operation->transform(point);
  }
}

void LAStransform::check_for_overflow() const {
  char command[4096];
  for (uint32_t i = 0; i < num_operations; i++) {
    if (operations[i]->overflow != 0) {
      operations[i]->get_command(command);
      LASMessage(LAS_WARNING, "total of  %lld overflows caused by '%s'",
                 static_cast<long long>(operations[i]->overflow), command);
    }
  }
}

uint32_t LAStransform::get_decompress_selective() const {
  uint32_t mask = 0;
  for (uint32_t i = 0; i < num_operations; i++) mask |= operations[i]->get_decompress_selective();
  for (uint32_t i = 0; filter != nullptr && i < filter->num_criteria; i++) {
    mask |= filter->criteria[i]->get_decompress_selective();
  }
  return mask;
}

bool LAStransform::set_offset_adjust(const LASquantizer& file) {
  for (uint32_t i = 0; i < num_operations; i++) {
    if (!operations[i]->supports_offset_adjust()) {
      laserror("The adjustment of the offset using '-offset_adjust' is not supported for the operation '%s'.",
               operations[i]->name());
      return false;
    }
  }
  // Each operation takes the points as the previous one left them and
  // moves the offset as it moves coordinates.
  LASquantizer q = file;
  for (uint32_t i = 0; i < num_operations; i++) {
    LASoperation* operation = operations[i];
    operation->quantizer_in = q;
    operation->transform_coords_for_offset_adjustment(q.x_offset, q.y_offset, q.z_offset);
    operation->quantizer_out = q;
    operation->offset_adjust = true;
  }
  adjusted_quantizer = q;
  return true;
}
