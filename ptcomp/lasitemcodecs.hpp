// The one place where compressed item readers and writers are chosen by item
// type and compression version. The point reader and writer ask here for one
// codec per item; a null answer means that no codec exists for that item and
// the point reader or writer refuses the item list.
#ifndef PTCOMP_LASITEMCODECS_HPP
#define PTCOMP_LASITEMCODECS_HPP

#include <cstdint>  // uint32_t selective mask

#include "las/lasitem.hpp"           // LASitem: type, size, version
#include "ptcomp/lasreaditem.hpp"    // LASreadItemCompressed
#include "ptcomp/laswriteitem.hpp"   // LASwriteItemCompressed

class ArithmeticDecoder;
class ArithmeticEncoder;

// The compressed reader for an item (caller owns it), or null. All readers
// share `decoder`. None of them skips fields, so the selective mask only
// passes through.
LASreadItemCompressed* create_read_item_compressed(const LASitem& item, ArithmeticDecoder* decoder,
                                                   uint32_t selective_mask);

// The compressed writer for an item (caller owns it), or null. All writers
// share `encoder`.
LASwriteItemCompressed* create_write_item_compressed(const LASitem& item, ArithmeticEncoder* encoder);

#endif
