// ptcconv: compresses LAS files into PTC files and back.
#include "app/ptcconv.hpp"      // ptcconv_parse, ptcconv_run
#include "tool/lasmessage.hpp"  // byebye

int main(int argc, char** argv) {
  PtcconvOptions options;
  if (ptcconv_parse(argc, argv, &options)) ptcconv_run(&options);
  byebye();
}
