// The operation families behind the transform options. Each class serves
// every option whose effect has the same shape (set a field, copy one field
// into another, ...); the option word and its values are kept so that the
// operation renders back into the text that made it.
#ifndef FILTER_LASOPERATIONS_HPP
#define FILTER_LASOPERATIONS_HPP

#include <cstdint>  // fixed-width values
#include <map>      // attribute value to colour
#include <string>   // file names of map operations
#include <vector>   // lookup tables, loaded values

#include "filter/lasoperation.hpp"   // LASoperation
#include "filter/laspointfield.hpp"  // PointField, FieldRef, FieldContext

class LAStransform;

// The option word, its values and how they render: one letter per value
// group, 'u' "%u", 'i' "%d", 'f' "%g", 'd' "%lf", 's' a quoted file name,
// 'm' three, 'a' four and 'h' seven comma-separated "%lf" values.
struct OperationValues {
  const char* name = "";
  const char* types = "";
  double v[12] = {};
  std::string text;
  LAStransform* owner = nullptr;  // registers and the force_RGB switch
};

// Number of values a type letter stands for.
int values_of_type(char type);

class LASoperationValues : public LASoperation {
 public:
  explicit LASoperationValues(const OperationValues& values) : values(values) {}
  const char* name() const override { return values.name; }
  int get_command(char* string) const override;
  uint32_t get_decompress_selective() const override { return 0; }

 protected:
  FieldContext context() const;
  OperationValues values;
};

// One field, changed by a formula of the values (after `first` leading
// index values): set, translate, scale, translate then scale, translate
// scale translate, clamp, or change one value into another.
class LASoperationField : public LASoperationValues {
 public:
  enum Kind { SET, TRANSLATE, SCALE, TRANSLATE_THEN_SCALE, TRANSLATE_SCALE_TRANSLATE, CLAMP, CHANGE_FROM_TO };
  LASoperationField(const OperationValues& values, Kind kind, FieldRef field, int first, double lo = 0, double hi = 0);
  uint32_t get_decompress_selective() const override;
  void transform_coords_for_offset_adjustment(double& x, double& y, double& z) const override;
  bool supports_offset_adjust() const override;
  void transform(LASpoint* point) override;

 private:
  double compute(double v) const;
  Kind kind;
  FieldRef field;
  int first;      // leading index values before the formula's values
  double lo, hi;  // clamp bounds
};

// "-scale_intensity factor": the intensity times a single-precision factor,
// cut toward zero; products of 0 or less give 0, of 65535 or more 65535.
class LASoperationScaleIntensity : public LASoperationField {
 public:
  explicit LASoperationScaleIntensity(const OperationValues& values)
      : LASoperationField(values, SCALE, FieldRef{PointField::intensity}, 0) {}
};

// dst = src, dst = dst + scale × src, or dst = floor(src / bin) (of |src|).
class LASoperationCopy : public LASoperationValues {
 public:
  enum Kind { COPY, ADD_SCALED, BIN, BIN_ABS };
  LASoperationCopy(const OperationValues& values, Kind kind, FieldRef src, FieldRef dst, double factor = 1.0);
  uint32_t get_decompress_selective() const override;
  bool supports_offset_adjust() const override;
  void transform(LASpoint* point) override;

 private:
  Kind kind;
  FieldRef src, dst;
  double factor;
};

// Exchanges two fields.
class LASoperationSwitch : public LASoperationValues {
 public:
  LASoperationSwitch(const OperationValues& values, FieldRef a, FieldRef b) : LASoperationValues(values), a(a), b(b) {}
  uint32_t get_decompress_selective() const override { return field_selective(a) | field_selective(b); }
  void transform_coords_for_offset_adjustment(double& x, double& y, double& z) const override;
  void transform(LASpoint* point) override;

 private:
  FieldRef a, b;
};

// Sets the classification where a field lies below lo, above hi or in
// [lo, hi].
class LASoperationClassify : public LASoperationValues {
 public:
  enum Kind { BELOW, ABOVE, BETWEEN };
  LASoperationClassify(const OperationValues& values, Kind kind, FieldRef field, double lo, double hi, double klass)
      : LASoperationValues(values), kind(kind), field(field), lo(lo), hi(hi), klass(klass) {}
  uint32_t get_decompress_selective() const override { return field_selective(field) | selective::CLASSIFICATION; }
  void transform(LASpoint* point) override;

 private:
  Kind kind;
  FieldRef field;
  double lo, hi, klass;
};

// Replaces integer field values through a table read from a text file.
class LASoperationMap : public LASoperationValues {
 public:
  LASoperationMap(const OperationValues& values, FieldRef field, std::vector<int32_t> table)
      : LASoperationValues(values), field(field), table(std::move(table)) {}
  uint32_t get_decompress_selective() const override { return field_selective(field); }
  void transform(LASpoint* point) override;

 private:
  FieldRef field;
  std::vector<int32_t> table;  // -1: not mapped
};

// x' = M x + t on the world coordinates.
class LASoperationAffine : public LASoperationValues {
 public:
  LASoperationAffine(const OperationValues& values, const double m[9], const double t[3]);
  uint32_t get_decompress_selective() const override { return selective::Z; }
  void transform_coords_for_offset_adjustment(double& x, double& y, double& z) const override;
  void transform(LASpoint* point) override;

 private:
  double m[9], t[3];
};

// Adds integers to the stored coordinates; with a range, random ones.
class LASoperationTranslateRaw : public LASoperationValues {
 public:
  LASoperationTranslateRaw(const OperationValues& values, const int64_t d[3], bool random);
  uint32_t get_decompress_selective() const override { return d[2] ? selective::Z : 0; }
  bool supports_offset_adjust() const override { return false; }
  void transform(LASpoint* point) override;

 private:
  int64_t next_random(int64_t range);
  int64_t d[3];
  bool random;
  uint64_t state;
};

// output register = input1 (+ - × /) input2.
class LASoperationRegisters : public LASoperationValues {
 public:
  LASoperationRegisters(const OperationValues& values, char op) : LASoperationValues(values), op(op) {}
  void transform(LASpoint* point) override;

 private:
  char op;
};

// Colour channels: set (optionally only for one class), scale by factors,
// divide or multiply by 256, bring to 8 or 16 bits, clamp to 8 bits.
class LASoperationColor : public LASoperationValues {
 public:
  enum Kind { SET, SET_OF_CLASS, SCALE, DOWN, UP, TO_8BIT, TO_16BIT, CLAMP_8BIT };
  LASoperationColor(const OperationValues& values, Kind kind, int first, int count);
  uint32_t get_decompress_selective() const override;
  void transform(LASpoint* point) override;

 private:
  Kind kind;
  int first, count;  // channels first .. first + count - 1 (3 is NIR)
};

// The remaining operations, each with its own per-point rule.
class LASoperationSpecial : public LASoperationValues {
 public:
  enum Kind {
    FORCE_RGB,
    REPAIR_ZERO_RETURNS,
    FLIP_WAVEFORM,
    ADJUSTED_TO_WEEK,
    WEEK_TO_ADJUSTED,
    MERGE_CHANNEL,
    SPLIT_CHANNEL,
    MOVE_ANCIENT,
    RGB_INTO_INTENSITY,
    RGBI_INTO_CIR,
    RGB_INTENSITY_INTO_CIR,
    INTENSITY_INTO_RGB,
    INTENSITY_RANGE_INTO_RGB,
  };
  LASoperationSpecial(const OperationValues& values, Kind kind) : LASoperationValues(values), kind(kind) {}
  uint32_t get_decompress_selective() const override;
  void transform(LASpoint* point) override;

 private:
  Kind kind;
};

// Colours from an attribute's value through a table read from a text file.
class LASoperationMapAttributeIntoRGB : public LASoperationValues {
 public:
  LASoperationMapAttributeIntoRGB(const OperationValues& values, std::map<int64_t, std::vector<uint16_t>> table)
      : LASoperationValues(values), table(std::move(table)) {}
  uint32_t get_decompress_selective() const override { return selective::EXTRA_BYTES; }
  void transform(LASpoint* point) override;

 private:
  std::map<int64_t, std::vector<uint16_t>> table;
};

// Point k gets the k-th value of a text file into an attribute.
class LASoperationLoadAttribute : public LASoperationValues {
 public:
  LASoperationLoadAttribute(const OperationValues& values, std::vector<double> loaded)
      : LASoperationValues(values), loaded(std::move(loaded)) {}
  void transform(LASpoint* point) override;
  void reset() override;

 private:
  std::vector<double> loaded;
  size_t next = 0;
};

#endif
