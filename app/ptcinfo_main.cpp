// ptcinfo: reports and checks LAS and PTC point files.
#include "app/ptcinfo.hpp"        // ptcinfo_run
#include "tool/lasmessage.hpp"    // byebye

int main(int argc, char** argv) {
  ptcinfo_run(argc, argv, stdout);
  byebye();
}
