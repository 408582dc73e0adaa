// The point filter: criteria list, option parsing, rendering and the
// per-point decision.
#include "filter/lasfilter.hpp"

#include <cstring>  // strcmp

#include "filter/lascriterion.hpp"  // LAScriterion
#include "tool/lasmessage.hpp"      // LASMessage

LASfilter::~LASfilter() { clean(); }

void LASfilter::clean() {
  for (uint32_t i = 0; i < num_criteria; i++) delete criteria[i];
  delete[] criteria;
  delete[] counters;
  criteria = nullptr;
  counters = nullptr;
  num_criteria = 0;
  alloc_criteria = 0;
}

void LASfilter::add_criterion(LAScriterion* criterion) {
  if (num_criteria == alloc_criteria) {
    const uint32_t grown = alloc_criteria + 16;
    LAScriterion** more_criteria = new LAScriterion*[grown];
    uint32_t* more_counters = new uint32_t[grown];
    for (uint32_t i = 0; i < num_criteria; i++) {
      more_criteria[i] = criteria[i];
      more_counters[i] = counters[i];
    }
    delete[] criteria;
    delete[] counters;
    criteria = more_criteria;
    counters = more_counters;
    alloc_criteria = grown;
  }
  criteria[num_criteria] = criterion;
  counters[num_criteria] = 0;
  num_criteria++;
}

bool LASfilter::parse(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '\0') continue;
    if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "-help") == 0) return true;
    if (strcmp(argv[i], "-hh") == 0) {
      usage();
      return true;
    }
    // No criterion option is known: other arguments stay for the other
    // parsers.
  }
  return true;
}

int LASfilter::unparse(char* string) const {
  int n = 0;
  for (uint32_t i = 0; i < num_criteria; i++) n += criteria[i]->get_command(&string[n]);
  return n;
}

bool LASfilter::filter(const LASpoint* point) {
  for (uint32_t i = 0; i < num_criteria; i++) {
    if (criteria[i]->filter(point)) {
      counters[i]++;
      return true;
    }
  }
  return false;
}

void LASfilter::usage() const {
  LASMessage(LAS_INFO,
             "Filter points based on their coordinates.\n"
             "Filter points based on their return numbering.\n"
             "Filter points based on the scanline flags.\n"
             "Filter points based on their intensity.\n"
             "Filter points based on classifications or flags.\n"
             "Filter points based on their user data.\n"
             "Filter points based on their point source ID.\n"
             "Filter points based on their scan angle.\n"
             "Filter points based on their gps time.\n"
             "Filter points based on their RGB/CIR/NIR channels.\n"
             "Filter points based on their wavepacket.\n"
             "Filter points based on extra attributes.\n"
             "Filter points with simple thinning.\n"
             "Boolean combination of filters.");
}
