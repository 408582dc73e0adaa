// Extra-bytes attributes: the 192-byte descriptor of one attribute, and the
// table of descriptors with each attribute's size and start in the point's
// extra bytes.
#ifndef LAS_LASATTRIBUTER_HPP
#define LAS_LASATTRIBUTER_HPP

#include <cstdint>  // fixed-width fields

// One "Extra Bytes" descriptor, laid out exactly as on disk (192 bytes).
class LASattribute {
 public:
  // Component types, (data_type - 1) mod 10 for data types 1 to 30.
  enum Component { U8 = 0, I8, U16, I16, U32, I32, U64, I64, F32, F64 };

  union Value {
    uint64_t u64;
    int64_t i64;
    double f64;
  };

  unsigned char reserved[2];
  unsigned char data_type;
  unsigned char options;
  char name[32];
  unsigned char unused[4];
  Value no_data[3];
  Value min[3];
  Value max[3];
  double scale[3];
  double offset[3];
  char description[32];

  // A zeroed descriptor with unit scale (data_type 0 and 0 bytes).
  LASattribute();
  // A descriptor of the given data type (1..30, or 0 with size bytes).
  LASattribute(unsigned char data_type, const char* name, const char* description = nullptr, unsigned char size = 0);

  // Component type 0..9, or -1 for data type 0 and unknown types.
  int get_type() const { return (data_type >= 1 && data_type <= 30) ? (data_type - 1) % 10 : -1; }
  // Number of components (1 to 3).
  int get_dim() const { return (data_type >= 1 && data_type <= 30) ? (data_type - 1) / 10 + 1 : 1; }
  // Bytes the attribute takes: component size × components, the options
  // byte for data type 0, and 0 for unknown types.
  int get_size() const;
  bool has_no_data() const { return options & 0x01; }
  bool has_scale() const { return options & 0x08; }
  bool has_offset() const { return options & 0x10; }
  void set_scale(double value);
  void set_offset(double value);

  // The first component read from the point's bytes at `value`, unscaled;
  // 0 for data type 0 and unknown types.
  double get_raw_value(const unsigned char* value) const;
  // The first component, times scale[0] and plus offset[0] where the options
  // say so.
  double get_value_as_float(const unsigned char* value) const;
  // Stores v (already unscaled) into the first component: integers rounded
  // half away from zero (unsigned types store 0 for negative v), cut to the
  // component's width; floats stored as they are.
  void set_raw_value(unsigned char* value, double v) const;
  // Undoes offset and scale as the options say, then set_raw_value.
  void set_value_from_float(unsigned char* value, double z) const;
};

static_assert(sizeof(LASattribute) == 192, "extra-bytes descriptor must be 192 bytes");

class LASattributer {
 public:
  int32_t number_attributes = 0;
  LASattribute* attributes = nullptr;
  int32_t* attribute_starts = nullptr;
  int32_t* attribute_sizes = nullptr;

  LASattributer() = default;
  ~LASattributer() { clean_attributes(); }
  LASattributer(const LASattributer&) = delete;
  LASattributer& operator=(const LASattributer&) = delete;

  void clean_attributes();
  // Replaces the table with a copy of count descriptors; false when count is
  // negative or memory runs out (the table is then empty).
  bool init_attributes(int32_t count, const LASattribute* descriptors);
  // Appends one descriptor; its index, or -1 when memory runs out.
  int32_t add_attribute(const LASattribute& attribute);
  bool remove_attribute(int32_t index);

  // Index of the first attribute named `name`, or -1.
  int32_t get_attribute_index(const char* name) const;
  int32_t get_attribute_start(int32_t index) const;
  int32_t get_attribute_size(int32_t index) const;
  // Sum of all attribute sizes.
  int32_t get_attributes_size() const;

 private:
  void compute_starts();
};

#endif
