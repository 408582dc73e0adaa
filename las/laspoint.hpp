// One point record in memory as the decoders, filters and transforms see it.
// The first 20 bytes are the POINT10 item buffer, the first 48 the POINT14
// buffer; gps_time, rgb and wavepacket are the buffers of their items and
// extra_bytes holds the BYTE/BYTE14 items. `point` lists each item's buffer
// in item order, ready to hand to a point record reader.
#ifndef LAS_LASPOINT_HPP
#define LAS_LASPOINT_HPP

#include <cstdint>  // fixed-width fields

#include "las/lasattributer.hpp"  // LASattributer, the extra attributes
#include "las/lasitem.hpp"        // LASitem, the item list of a record
#include "las/lasquantizer.hpp"   // LASquantizer

class LASpoint {
 public:
  // Bytes 0-19: POINT10.
  int32_t X;
  int32_t Y;
  int32_t Z;
  uint16_t intensity;
  uint8_t return_number : 3;
  uint8_t number_of_returns : 3;
  uint8_t scan_direction_flag : 1;
  uint8_t edge_of_flight_line : 1;
  uint8_t classification : 5;
  uint8_t synthetic_flag : 1;
  uint8_t keypoint_flag : 1;
  uint8_t withheld_flag : 1;
  int8_t scan_angle_rank;
  uint8_t user_data;
  uint16_t point_source_ID;
  // Bytes 20-47: the rest of POINT14.
  int16_t extended_scan_angle;  // units of 0.006 degrees
  uint8_t extended_point_type : 2;
  uint8_t extended_scanner_channel : 2;
  uint8_t extended_classification_flags : 4;  // bit 3 is the overlap flag
  uint8_t extended_classification;
  uint8_t extended_return_number : 4;
  uint8_t extended_number_of_returns : 4;
  uint8_t unused[3];
  int32_t gps_time_change;  // used only by the layered decoders
  double gps_time;
  uint16_t rgb[4];  // red, green, blue, near infrared
  uint8_t wavepacket[29];

  uint8_t* extra_bytes;  // owned, extra_bytes_number bytes
  const LASquantizer* quantizer;
  const LASattributer* attributer;
  uint8_t** point;  // owned array of num_items item buffers
  bool have_gps_time;
  bool have_rgb;
  bool have_nir;
  bool have_wavepacket;
  int32_t extra_bytes_number;
  uint32_t total_point_size;
  uint8_t rgb_flag;  // 16 when the record has a colour item, else 0
  uint16_t num_items;
  LASitem* items;  // owned copy of the item list

  LASpoint();
  ~LASpoint();
  LASpoint(const LASpoint& other);
  LASpoint& operator=(const LASpoint& other);

  // Resets the point and lays out one buffer per item. Fails (leaving an
  // empty point) for item types 1 to 5 or above 14, for a fixed-size item
  // whose size differs from its buffer, and when memory runs out. Several
  // BYTE/BYTE14 items share one extra-bytes block, one after the other.
  bool init(const LASquantizer* quantizer, uint32_t num_items, const LASitem* items,
            const LASattributer* attributer = nullptr);
  // Frees the item layout and resets every field.
  void clean();
  // Zeroes the record fields (return 1 of 1), keeping the item layout.
  void zero();

  // Legacy or extended fields, whichever the point format uses.
  bool is_extended() const { return extended_point_type != 0; }
  uint8_t get_return_number() const { return is_extended() ? extended_return_number : return_number; }
  uint8_t get_number_of_returns() const { return is_extended() ? extended_number_of_returns : number_of_returns; }
  // The 8-bit class of extended points, the 5-bit class of the others.
  uint8_t get_extended_classification() const { return is_extended() ? extended_classification : classification; }
  // Degrees.
  double get_scan_angle() const { return is_extended() ? 0.006 * extended_scan_angle : scan_angle_rank; }
  bool get_overlap_flag() const { return (extended_classification_flags & 8) != 0; }
  // The first component of extra attribute `index`, with the attribute's
  // scale and offset applied; NaN when the point has no such attribute.
  double get_attribute_value(int32_t index) const;

 private:
  bool layout(const LASitem* list);
};

#endif
