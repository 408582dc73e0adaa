// Projection state: kept at its defaults in this tool and handed to the
// fan-out so that child processes receive the same settings.
#ifndef GEO_GEOPROJECTIONCONVERTER_HPP
#define GEO_GEOPROJECTIONCONVERTER_HPP

class GeoProjectionConverter {
 public:
  GeoProjectionConverter() = default;
  // Appends the option text of the non-default settings; none here.
  int unparse(char* string) const;
};

#endif
