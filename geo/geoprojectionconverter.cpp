// Projection state with its defaults.
#include "geo/geoprojectionconverter.hpp"

int GeoProjectionConverter::unparse(char*) const { return 0; }
