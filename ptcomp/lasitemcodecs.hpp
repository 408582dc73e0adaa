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
// share `decoder`. The layered readers (versions 3 and 4) decode only the
// layers that `selective_mask` requests (bits: ptcomp/layermask.hpp).
LASreadItemCompressed* create_read_item_compressed(const LASitem& item, ArithmeticDecoder* decoder,
                                                   uint32_t selective_mask);

// The compressed writer for an item (caller owns it), or null. All writers
// share `encoder`; the layered writers (versions 3 and 4) need the layered
// chunked compressor, which writes their layers per chunk.
LASwriteItemCompressed* create_write_item_compressed(const LASitem& item, ArithmeticEncoder* encoder);

#endif
