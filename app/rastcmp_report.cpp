// rastcmp's report beyond the verdict: options, notes, statistics, listed
// cells, the difference outputs and the JSON line.
#include "app/rastcmp_report.hpp"

#include <sys/stat.h>  // stat, mkdir: output folders
#include <unistd.h>    // write: one JSON line in one call

#include <algorithm>  // min
#include <cerrno>     // EINTR
#include <cmath>      // fabs, sqrt, isfinite
#include <cstdio>     // fprintf of the listed cells
#include <cstdlib>    // strtol
#include <cstring>    // strcmp

#include "app/rastcmp_picture.hpp"    // RastcmpPicture, the cell classes
#include "raster/srreader.hpp"        // SRreader
#include "raster/srwriter_diff.hpp"   // SRwriter_diff
#include "tool/lasmessage.hpp"        // LASMessage, laserror
#include "tool/lasutility.hpp"        // file_name_only, string_appendf

namespace {

bool is_folder(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The argument after option i, blanking both; null after the error.
const char* option_argument(int argc, char** argv, int i, const char* what) {
  if (i + 1 >= argc || argv[i + 1][0] == '\0') {
    laserror("'%s' needs 1 argument: %s", argv[i], what);
    return nullptr;
  }
  argv[i][0] = '\0';
  return argv[i + 1];
}

// A number for JSON: non-finite values become null.
void json_number(std::string& out, double v) {
  if (std::isfinite(v)) string_appendf(out, "%.15g", v);
  else out += "null";
}

std::string shown_value(bool nodata, double v) {
  if (nodata) return "nodata";
  std::string s;
  string_appendf(s, "%.10g", v);
  return s;
}

// Writes all of text with as few write calls as the system allows (one for
// any line a pipe or file takes whole), so that lines of parallel children
// never interleave.
void write_whole(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t w = write(1, text.data() + done, text.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;
    done += static_cast<size_t>(w);
  }
}

// A world value as float, clamped to the float range.
float to_float(double v) {
  constexpr double kMax = 3.4028234663852886e+38;
  return static_cast<float>(v > kMax ? kMax : v < -kMax ? -kMax : v);
}

// The magnitude class of a difference: ≤0.01, ≤0.1, ≤1, ≤10, >10.
int magnitude_of(double a) { return a <= 0.01 ? 0 : a <= 0.1 ? 1 : a <= 1.0 ? 2 : a <= 10.0 ? 3 : 4; }

}  // namespace

bool rastcmp_report_parse(int argc, char** argv, RastcmpReportOptions* o) {
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (strcmp(a, "-json") == 0) {
      o->json = true;
      argv[i][0] = '\0';
    } else if (strcmp(a, "-list_differences") == 0) {
      const char* n = option_argument(argc, argv, i, "number");
      if (n == nullptr) return false;
      char* end = nullptr;
      const long v = strtol(n, &end, 10);
      if (end == n || *end != '\0' || v < 0 || v > RASTCMP_MAX_LISTED) {
        laserror("cannot understand argument '%s' for '%s'", n, "-list_differences");
        return false;
      }
      o->list_differences = static_cast<int>(v);
      argv[++i][0] = '\0';
    } else if (strcmp(a, "-diff_raster") == 0 || strcmp(a, "-diff_picture") == 0) {
      const bool raster = a[6] == 'r';
      const char* name = option_argument(argc, argv, i, "file name or folder");
      if (name == nullptr) return false;
      (raster ? o->diff_raster : o->diff_picture) = name;
      argv[++i][0] = '\0';
    }
  }
  return true;
}

std::string rastcmp_report_unparse(const RastcmpReportOptions& o) {
  std::string text;
  if (o.json) text += "-json ";
  if (o.list_differences >= 0) string_appendf(text, "-list_differences %d ", o.list_differences);
  if (!o.diff_raster.empty()) string_appendf(text, "-diff_raster \"%s\" ", o.diff_raster.c_str());
  if (!o.diff_picture.empty()) string_appendf(text, "-diff_picture \"%s\" ", o.diff_picture.c_str());
  if (!text.empty()) text.pop_back();
  return text;
}

bool rastcmp_report_prepare(const RastcmpReportOptions& o, unsigned int comparisons) {
  if (comparisons < 2) return true;
  for (const std::string* folder : {&o.diff_raster, &o.diff_picture}) {
    if (folder->empty() || is_folder(*folder)) continue;
    struct stat st;
    if (stat(folder->c_str(), &st) == 0) {
      laserror("'%s' is not a folder. with more than one comparison the outputs go into a folder", folder->c_str());
      return false;
    }
    if (mkdir(folder->c_str(), 0777) != 0) {
      laserror("cannot create folder '%s'", folder->c_str());
      return false;
    }
  }
  return true;
}

double RastcmpStatistics::rms() const { return cells > 0 ? std::sqrt(sum_squares / cells) : 0.0; }

RastcmpGeometry rastcmp_geometry(const SRreader* r) {
  RastcmpGeometry g;
  g.ncols = r->ncols;
  g.nrows = r->nrows;
  g.llx = r->llx;
  g.lly = r->lly;
  g.urx = r->urx;
  g.ury = r->ury;
  g.stepx = r->stepx;
  g.stepy = r->stepy;
  g.scale = r->scale[0];
  g.offset = r->offset[0];
  return g;
}

std::vector<std::string> rastcmp_notes(const RastcmpGeometry& g1, const RastcmpGeometry& g2) {
  std::vector<std::string> notes;
  std::string s;
  if (g1.scale != g2.scale) {
    string_appendf(s, "raster1 holds values in units of %g and raster2 in units of %g", g1.scale, g2.scale);
    notes.push_back(s);
  }
  if (g1.offset != g2.offset) {
    s.clear();
    string_appendf(s, "raster1 holds values with an offset of %g and raster2 with an offset of %g", g1.offset,
                   g2.offset);
    notes.push_back(s);
  }
  if (g1.ncols != g2.ncols || g1.nrows != g2.nrows) return notes;
  const double half_x = 0.5 * std::fabs(g1.stepx), half_y = 0.5 * std::fabs(g1.stepy);
  // cell sizes matter once they add up to half a cell across the raster
  if (std::fabs(g1.stepx - g2.stepx) * g1.ncols > half_x || std::fabs(g1.stepy - g2.stepy) * g1.nrows > half_y) {
    s.clear();
    string_appendf(s, "rasters of the same size have different cell sizes: raster1 %g by %g and raster2 %g by %g",
                   g1.stepx, g1.stepy, g2.stepx, g2.stepy);
    notes.push_back(s);
  }
  if (std::fabs(g1.llx - g2.llx) > half_x || std::fabs(g1.urx - g2.urx) > half_x ||
      std::fabs(g1.lly - g2.lly) > half_y || std::fabs(g1.ury - g2.ury) > half_y) {
    s.clear();
    string_appendf(s,
                   "rasters of the same size have different extents: raster1 from (%.10g, %.10g) to (%.10g, %.10g) "
                   "and raster2 from (%.10g, %.10g) to (%.10g, %.10g)",
                   g1.llx, g1.lly, g1.urx, g1.ury, g2.llx, g2.lly, g2.urx, g2.ury);
    notes.push_back(s);
  }
  return notes;
}

const char* rastcmp_verdict_word(const RastcmpCounts& c) {
  if (c.different_value > 0) return "not_identical";
  return c.different_nodata > 0 ? "nearly_identical" : "identical";
}

std::string rastcmp_json_string(const std::string& text) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n; i++) {
    const unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      string_appendf(out, "\\u%04x", c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      // a whole, shortest-form UTF-8 sequence is kept; any other byte is Latin-1
      const size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
      bool valid = len > 0 && i + len <= n;
      uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
      for (size_t k = 1; valid && k < len; k++) {
        valid = (p[i + k] & 0xC0) == 0x80;
        cp = (cp << 6) | (p[i + k] & 0x3F);
      }
      const uint32_t least[5] = {0, 0, 0x80, 0x800, 0x10000};
      valid = valid && cp >= least[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
      if (valid) {
        out.append(text, i, len);
        i += len - 1;
      } else {
        string_appendf(out, "\\u%04x", c);
      }
    }
  }
  out += '"';
  return out;
}

std::string rastcmp_output_name(const std::string& target, const char* first_name, const char* suffix) {
  if (!is_folder(target)) return target;
  std::string stem = file_name_only(first_name);
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0) stem.erase(dot);
  std::string name = target;
  if (name.back() != '/') name += '/';
  return name + stem + suffix;
}

RastcmpReport::RastcmpReport(const RastcmpReportOptions& options) : options_(options) {}

RastcmpReport::~RastcmpReport() = default;

bool RastcmpReport::begin(const SRreader* raster1, const SRreader* raster2, const char* name1, const char* name2) {
  g1_ = rastcmp_geometry(raster1);
  g2_ = rastcmp_geometry(raster2);
  name1_ = name1;
  name2_ = name2;
  const std::vector<std::string> notes = rastcmp_notes(g1_, g2_);
  notes_.insert(notes_.end(), notes.begin(), notes.end());
  const bool verbose = get_message_log_level() <= LAS_VERBOSE;
  statistics_on_ = verbose || options_.json;
  list_limit_ = options_.list_differences >= 0 ? options_.list_differences : verbose ? 10 : 0;
  list_verbose_ = options_.list_differences < 0;
  stats_ = RastcmpStatistics();
  listed_.clear();
  if (!options_.diff_raster.empty()) {
    raster_name_ = rastcmp_output_name(options_.diff_raster, name1, "_diff.tif");
    raster_.reset(new SRwriter_diff());
    SRgeoreference geo;
    geo.ulx = g1_.llx;
    geo.uly = g1_.ury;
    geo.stepx = g1_.stepx;
    geo.stepy = g1_.stepy;
    if (!raster_->open(raster_name_.c_str(), g1_.ncols, g1_.nrows, geo)) {
      raster_.reset();
      return false;
    }
  }
  if (!options_.diff_picture.empty()) {
    picture_name_ = rastcmp_output_name(options_.diff_picture, name1, "_diff.png");
    picture_.reset(new RastcmpPicture());
    if (!picture_->open(picture_name_.c_str(), g1_.ncols, g1_.nrows)) {
      picture_.reset();
      return false;
    }
  }
  if (statistics_on_) index_.reset(new int32_t[SR_CELL_BATCH]);
  if (raster_ || picture_) {
    diff_.reset(new float[SR_CELL_BATCH]);
    value1_.reset(new float[SR_CELL_BATCH]);
    class_.reset(new uint8_t[SR_CELL_BATCH]);
  }
  needs_cells_ = statistics_on_ || list_limit_ > 0 || raster_ || picture_;
  return true;
}

void RastcmpReport::take(const RastcmpBatch& b) {
  if (statistics_on_) add_statistics(b);
  if (static_cast<int64_t>(listed_.size()) < list_limit_ && b.differing > 0) add_listed(b);
  if (raster_ || picture_) add_outputs(b);
}

void RastcmpReport::add_statistics(const RastcmpBatch& b) {
  RastcmpStatistics& s = stats_;
  s.cells += b.both_values;
  const bool same_units = g1_.scale == g2_.scale && g1_.offset == g2_.offset;
  // in one unit, equal integers are equal world values: only differing cells count
  if (same_units && b.differing == 0) return;
  // the cells to look at; in one unit only cells of differing integers,
  // which a vectorised pass over blocks of 32 rules out for most blocks
  const uint8_t *f1 = b.nodata1, *f2 = b.nodata2;
  const int32_t *a1 = b.values1, *a2 = b.values2;
  const uint32_t all_values = same_units ? 0u : 1u;
  int32_t* at = index_.get();
  int64_t count = 0;
  for (int64_t w = 0; w < b.n; w += 32) {
    const int64_t end = std::min<int64_t>(w + 32, b.n);
    if (same_units && end - w == 32) {
      int32_t any = 0;
      for (int j = 0; j < 32; j++) any |= a1[w + j] ^ a2[w + j];
      if (any == 0) continue;
    }
    for (int64_t k = w; k < end; k++) {
      at[count] = static_cast<int32_t>(k);
      count += ((f1[k] | f2[k]) == 0) & ((a1[k] != a2[k]) | all_values);
    }
  }
  const double s1 = g1_.scale, s2 = g2_.scale, o1 = g1_.offset, o2 = g2_.offset;
  double sum_abs = 0.0, sum_sq = 0.0, max_abs = s.max_abs;
  int64_t max_k = -1;
  for (int64_t i = 0; i < count; i++) {
    const int32_t k = at[i];
    const int32_t v1 = b.values1[k], v2 = b.values2[k];
    const double d = same_units ? (static_cast<double>(v2) - v1) * s1 : (o2 + v2 * s2) - (o1 + v1 * s1);
    const double a = std::fabs(d);
    sum_abs += a;
    sum_sq += d * d;
    if (v1 != v2) s.magnitude[magnitude_of(a)]++;
    if (a > max_abs) {
      max_abs = a;
      max_k = k;
    }
  }
  s.sum_abs += sum_abs;
  s.sum_squares += sum_sq;
  if (max_k >= 0) {
    s.max_abs = max_abs;
    s.max_cell = b.first + max_k;
    s.max_value1 = g1_.world(b.values1[max_k]);
    s.max_value2 = g2_.world(b.values2[max_k]);
  }
}

void RastcmpReport::add_listed(const RastcmpBatch& b) {
  for (int64_t k = 0; k < b.n && static_cast<int64_t>(listed_.size()) < list_limit_; k++) {
    const bool n1 = b.nodata1[k] != 0, n2 = b.nodata2[k] != 0;
    if ((n1 && n2) || (!n1 && !n2 && b.values1[k] == b.values2[k])) continue;
    listed_.push_back({b.first + k, n1, n2, g1_.world(b.values1[k]), g2_.world(b.values2[k])});
  }
}

void RastcmpReport::add_outputs(const RastcmpBatch& b) {
  float* diff = diff_.get();
  float* value1 = value1_.get();
  uint8_t* cls = class_.get();
  for (int64_t k = 0; k < b.n; k++) {
    const bool n1 = b.nodata1[k] != 0, n2 = b.nodata2[k] != 0;
    const double w1 = g1_.world(b.values1[k]);
    if (n1 || n2) {
      cls[k] = n1 && n2 ? RASTCMP_NODATA_IN_BOTH : n1 ? RASTCMP_NODATA_ONLY_IN_1 : RASTCMP_NODATA_ONLY_IN_2;
      diff[k] = SR_DIFF_NODATA;
    } else {
      cls[k] = b.values1[k] == b.values2[k] ? RASTCMP_EQUAL : RASTCMP_VALUE_DIFFERS;
      diff[k] = to_float(g2_.world(b.values2[k]) - w1);
    }
    value1[k] = to_float(w1);
  }
  if (raster_) raster_->write_cells(b.n, diff, cls);
  if (picture_) picture_->take(b.first, b.n, cls, diff, value1);
}

bool RastcmpReport::finish(const RastcmpCounts& counts, double seconds) {
  for (const std::string& note : notes_) LASMessage(LAS_INFO, "%s", note.c_str());
  const RastcmpStatistics& s = stats_;
  if (statistics_on_) {
    LASMessage(LAS_VERBOSE, "difference statistics over %lld cells where both rasters have values (raster2 - raster1):",
               static_cast<long long>(s.cells));
    if (s.max_cell >= 0) {
      LASMessage(LAS_VERBOSE,
                 "  largest absolute difference %g at col %d and row %d (x %.10g, y %.10g): raster1 %.10g and "
                 "raster2 %.10g",
                 s.max_abs, static_cast<int>(s.max_cell % g1_.ncols), static_cast<int>(s.max_cell / g1_.ncols),
                 g1_.x(s.max_cell), g1_.y(s.max_cell), s.max_value1, s.max_value2);
    }
    LASMessage(LAS_VERBOSE, "  mean absolute difference %g, root mean square difference %g", s.mean_abs(), s.rms());
    LASMessage(LAS_VERBOSE,
               "  different value cells by difference: %lld up to 0.01, %lld up to 0.1, %lld up to 1, %lld up to "
               "10, %lld above 10",
               static_cast<long long>(s.magnitude[0]), static_cast<long long>(s.magnitude[1]),
               static_cast<long long>(s.magnitude[2]), static_cast<long long>(s.magnitude[3]),
               static_cast<long long>(s.magnitude[4]));
  }
  // written directly: the message system would cut a list of more than 15
  // lines with one format short
  const LAS_MESSAGE_TYPE list_level = list_verbose_ ? LAS_VERBOSE : LAS_INFO;
  if (get_message_log_level() <= list_level) {
    for (const RastcmpListed& d : listed_) {
      fprintf(stderr, "difference at col %d and row %d (x %.10g, y %.10g): raster1 %s and raster2 %s\n",
              static_cast<int>(d.cell % g1_.ncols), static_cast<int>(d.cell / g1_.ncols), g1_.x(d.cell),
              g1_.y(d.cell), shown_value(d.nodata1, d.value1).c_str(), shown_value(d.nodata2, d.value2).c_str());
    }
  }
  bool ok = true;
  if (raster_) ok = raster_->close() && ok;
  if (picture_) {
    const bool written = picture_->close();
    if (written) LASMessage(LAS_VERBOSE, "%s", picture_->legend().c_str());
    ok = written && ok;
  }
  raster_.reset();
  picture_.reset();
  if (options_.json) write_whole(json_line(counts, seconds));
  return ok;
}

std::string RastcmpReport::json_line(const RastcmpCounts& c, double seconds) const {
  std::string j = "{\"raster1\":" + rastcmp_json_string(name1_) + ",\"raster2\":" + rastcmp_json_string(name2_);
  string_appendf(j,
                 ",\"verdict\":\"%s\",\"identical_value_cells\":%lld,\"different_value_cells\":%lld,"
                 "\"identical_nodata_cells\":%lld,\"different_nodata_cells\":%lld",
                 rastcmp_verdict_word(c), static_cast<long long>(c.identical_value),
                 static_cast<long long>(c.different_value), static_cast<long long>(c.identical_nodata),
                 static_cast<long long>(c.different_nodata));
  const RastcmpStatistics& s = stats_;
  string_appendf(j, ",\"statistics\":{\"cells\":%lld,\"max_abs_difference\":", static_cast<long long>(s.cells));
  json_number(j, s.max_abs);
  if (s.max_cell >= 0) {
    string_appendf(j, ",\"max_col\":%d,\"max_row\":%d,\"max_x\":", static_cast<int>(s.max_cell % g1_.ncols),
                   static_cast<int>(s.max_cell / g1_.ncols));
    json_number(j, g1_.x(s.max_cell));
    j += ",\"max_y\":";
    json_number(j, g1_.y(s.max_cell));
    j += ",\"max_value1\":";
    json_number(j, s.max_value1);
    j += ",\"max_value2\":";
    json_number(j, s.max_value2);
  }
  j += ",\"mean_abs_difference\":";
  json_number(j, s.mean_abs());
  j += ",\"rms_difference\":";
  json_number(j, s.rms());
  string_appendf(j, ",\"magnitudes\":{\"le_0.01\":%lld,\"le_0.1\":%lld,\"le_1\":%lld,\"le_10\":%lld,\"gt_10\":%lld}}",
                 static_cast<long long>(s.magnitude[0]), static_cast<long long>(s.magnitude[1]),
                 static_cast<long long>(s.magnitude[2]), static_cast<long long>(s.magnitude[3]),
                 static_cast<long long>(s.magnitude[4]));
  int which = 1;
  for (const RastcmpGeometry* g : {&g1_, &g2_}) {
    string_appendf(j, ",\"geometry%d\":{\"ncols\":%d,\"nrows\":%d", which++, g->ncols, g->nrows);
    const double fields[] = {g->llx, g->lly, g->urx, g->ury, g->stepx, g->stepy, g->scale, g->offset};
    const char* names[] = {"llx", "lly", "urx", "ury", "stepx", "stepy", "unit", "offset"};
    for (int f = 0; f < 8; f++) {
      string_appendf(j, ",\"%s\":", names[f]);
      json_number(j, fields[f]);
    }
    j += '}';
  }
  if (!listed_.empty()) {
    j += ",\"differences\":[";
    for (size_t k = 0; k < listed_.size(); k++) {
      const RastcmpListed& d = listed_[k];
      string_appendf(j, "%s{\"col\":%d,\"row\":%d,\"x\":", k ? "," : "", static_cast<int>(d.cell % g1_.ncols),
                     static_cast<int>(d.cell / g1_.ncols));
      json_number(j, g1_.x(d.cell));
      j += ",\"y\":";
      json_number(j, g1_.y(d.cell));
      j += ",\"value1\":";
      if (d.nodata1) j += "null";
      else json_number(j, d.value1);
      j += ",\"value2\":";
      if (d.nodata2) j += "null";
      else json_number(j, d.value2);
      j += '}';
    }
    j += ']';
  }
  j += ",\"notes\":[";
  for (size_t k = 0; k < notes_.size(); k++) j += (k ? "," : "") + rastcmp_json_string(notes_[k]);
  j += "],\"seconds\":";
  json_number(j, seconds);
  j += "}\n";
  return j;
}
