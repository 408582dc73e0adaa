// rastcmp's report options: what, beyond the verdict, a comparison tells
// and writes.
#ifndef APP_RASTCMP_OPTIONS_HPP
#define APP_RASTCMP_OPTIONS_HPP

#include <string>  // output names

struct RastcmpReportOptions {
  int list_differences = -1;  // "-list_differences n"; -1 when not given (10 at -v)
  std::string diff_raster;    // "-diff_raster out.tif" (a folder when there are several comparisons)
  std::string diff_picture;   // "-diff_picture out.png" (likewise)
  bool json = false;          // "-json": one JSON line per comparison on stdout
};

// The largest number "-list_differences" takes (they are kept until the
// verdict is out).
constexpr int RASTCMP_MAX_LISTED = 1000000;

// Takes the report options out of the arguments (blanking them). False
// after an error message for a missing or bad argument.
bool rastcmp_report_parse(int argc, char** argv, RastcmpReportOptions* options);

// The options as command-line text for child processes ("" when none).
std::string rastcmp_report_unparse(const RastcmpReportOptions& options);

// With more than one comparison the two output options name folders: a
// missing folder is created. False after the error when one is not a
// folder or cannot be created.
bool rastcmp_report_prepare(const RastcmpReportOptions& options, unsigned int comparisons);

#endif
