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

  // Index of the first attribute named `name`, or -1.
  int32_t get_attribute_index(const char* name) const;

 private:
  void compute_starts();
};

#endif
