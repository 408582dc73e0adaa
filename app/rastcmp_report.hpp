// What a comparison reports beyond its verdict: notes on units and extents,
// difference statistics in world units, the first differing cells, the
// difference raster and picture, and a JSON line per comparison.
#ifndef APP_RASTCMP_REPORT_HPP
#define APP_RASTCMP_REPORT_HPP

#include <cstdint>  // counters, cell numbers
#include <memory>   // the outputs and scratch arrays
#include <string>   // names, notes, the JSON line
#include <vector>   // notes, listed cells

#include "app/rastcmp.hpp"          // RastcmpCounts, RastcmpBatch, RastcmpCellSink
#include "app/rastcmp_options.hpp"  // RastcmpReportOptions

class SRreader;
class SRwriter_diff;
class RastcmpPicture;

// Statistics over the cells where both rasters have values, in world units
// (raster2 − raster1).
struct RastcmpStatistics {
  int64_t cells = 0;  // cells where both have values
  double sum_abs = 0.0;
  double sum_squares = 0.0;
  double max_abs = 0.0;
  int64_t max_cell = -1;  // row-major number of the largest difference (-1: none)
  double max_value1 = 0.0, max_value2 = 0.0;
  int64_t magnitude[5] = {0, 0, 0, 0, 0};  // different value cells by |d|: ≤0.01, ≤0.1, ≤1, ≤10, >10
  double mean_abs() const { return cells > 0 ? sum_abs / cells : 0.0; }
  double rms() const;
};

// One differing cell (in value or in nodata).
struct RastcmpListed {
  int64_t cell;
  bool nodata1, nodata2;
  double value1, value2;  // world values
};

// How a raster maps its integers and cells to the world.
struct RastcmpGeometry {
  int32_t ncols = 0, nrows = 0;
  double llx = 0, lly = 0, urx = 0, ury = 0, stepx = 1, stepy = 1;
  double scale = 1.0, offset = 0.0;
  double world(int32_t v) const { return offset + v * scale; }
  double x(int64_t cell) const { return llx + (cell % ncols + 0.5) * stepx; }
  double y(int64_t cell) const { return ury - (cell / ncols + 0.5) * stepy; }
};

RastcmpGeometry rastcmp_geometry(const SRreader* raster);

// The INFO notes that explain a verdict: different units, and extents or
// cell sizes that differ by more than half a cell at the same size.
std::vector<std::string> rastcmp_notes(const RastcmpGeometry& g1, const RastcmpGeometry& g2);

// The verdict word: identical, nearly_identical or not_identical.
const char* rastcmp_verdict_word(const RastcmpCounts& counts);

// A string as a JSON string literal, quotes included; bytes that are not
// UTF-8 are taken as Latin-1.
std::string rastcmp_json_string(const std::string& text);

// The output file of one comparison: `target` itself, or inside the folder
// `target` the first raster's name without its extension plus `suffix`.
std::string rastcmp_output_name(const std::string& target, const char* first_name, const char* suffix);

// The report of one comparison: begin() with the two open rasters, then
// the cells through take(), then finish() once the verdict is out.
class RastcmpReport : public RastcmpCellSink {
 public:
  explicit RastcmpReport(const RastcmpReportOptions& options);
  ~RastcmpReport() override;

  // Takes the geometries, works out the notes and opens the outputs. False
  // after the error when an output cannot be created.
  bool begin(const SRreader* raster1, const SRreader* raster2, const char* name1, const char* name2);

  // The sink for the comparison loop; null when nothing needs the cells.
  RastcmpCellSink* sink() { return needs_cells_ ? this : nullptr; }

  void take(const RastcmpBatch& batch) override;

  // Issues the notes, the statistics (at -v), the listed cells, closes the
  // outputs and writes the JSON line. False after the error when an output
  // could not be written.
  bool finish(const RastcmpCounts& counts, double seconds);

  // A further note for the JSON line and the messages.
  void add_note(const std::string& note) { notes_.push_back(note); }

  const RastcmpStatistics& statistics() const { return stats_; }
  const std::vector<RastcmpListed>& listed() const { return listed_; }

 private:
  void add_statistics(const RastcmpBatch& b);
  void add_listed(const RastcmpBatch& b);
  void add_outputs(const RastcmpBatch& b);
  std::string json_line(const RastcmpCounts& counts, double seconds) const;

  RastcmpReportOptions options_;
  RastcmpGeometry g1_, g2_;
  std::string name1_, name2_, raster_name_, picture_name_;
  std::vector<std::string> notes_;
  bool statistics_on_ = false;
  bool needs_cells_ = false;
  int list_limit_ = 0;
  bool list_verbose_ = false;  // the list comes from -v alone
  RastcmpStatistics stats_;
  std::vector<RastcmpListed> listed_;
  std::unique_ptr<SRwriter_diff> raster_;
  std::unique_ptr<RastcmpPicture> picture_;
  std::unique_ptr<float[]> diff_, value1_;
  std::unique_ptr<uint8_t[]> class_;
  std::unique_ptr<int32_t[]> index_;  // cells of a batch that the statistics look at
};

#endif
