// The point transform: operations list, option parsing, rendering and the
// per-point application.
#include "filter/lastransform.hpp"

#include <cstdio>   // sprintf
#include <cstring>  // strcmp

#include "filter/lasfilter.hpp"     // LASfilter
#include "filter/lasoperation.hpp"  // LASoperation, LASoperationSetPointSource
#include "tool/lasmessage.hpp"      // LASMessage

LAStransform::~LAStransform() { clean(); }

void LAStransform::clean() {
  for (uint32_t i = 0; i < num_operations; i++) delete operations[i];
  delete[] operations;
  operations = nullptr;
  num_operations = 0;
  alloc_operations = 0;
  filtered = false;
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

bool LAStransform::parse(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '\0') continue;
    if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "-help") == 0) return true;
    if (strcmp(argv[i], "-hh") == 0) {
      usage();
      return true;
    }
    if (strcmp(argv[i], "-filtered_transform") == 0) {
      filtered = true;
      argv[i][0] = '\0';
    }
    // No operation option is known (operations come from setPointSource):
    // other arguments stay for the other parsers.
  }
  return true;
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
  for (uint32_t i = 0; i < num_operations; i++) operations[i]->transform(point);
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

void LAStransform::usage() const {
  LASMessage(LAS_INFO,
             "Transform coordinates.\n"
             "Transform intensity.\n"
             "Transform scan_angle.\n"
             "Change the return number or return count of points.\n"
             "Modify the classification.\n"
             "Change the flags.\n"
             "Modify the extended classification.\n"
             "Change the user data.\n"
             "Change the point source ID.\n"
             "Transform gps_time.\n"
             "Transform RGB/NIR colors.\n"
             "Transform intensity into RGB colors.\n"
             "Transform with registers and extra attributes.\n"
             "Restrict the transform to filtered points: -filtered_transform");
}
