// Output naming options.
#include "tool/srwriteopener.hpp"

void SRwriteOpener::set_file_name(const char* name) { file_name = name ? name : ""; }

int SRwriteOpener::unparse(char*, bool) const { return 0; }
