// rastcmp: compares two elevation rasters cell by cell.
#include "app/rastcmp_driver.hpp"  // rastcmp_run

int main(int argc, char** argv) { rastcmp_run(argc, argv); }
