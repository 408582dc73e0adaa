// Helpers for the point tests of every layer: a message recorder, and
// point records in their disk form written and read back through the point
// record writer and reader.
#ifndef TESTS_SUPPORT_POINT_HELPERS_HPP
#define TESTS_SUPPORT_POINT_HELPERS_HPP

#include <algorithm>  // count
#include <cstdint>    // fixed-width fields
#include <cstring>    // memcpy
#include <memory>     // the output stream
#include <string>     // message texts
#include <vector>     // message lists, bytes

#include "las/bytestreamin_array.hpp"   // CountingStream
#include "las/bytestreamout_array.hpp"  // the written bytes
#include "ptcomp/lasreaditemraw.hpp"    // POINT14 from disk
#include "ptcomp/laswriteitemraw.hpp"   // POINT14 to disk
#include "ptcomp/lasreadpoint.hpp"      // LASreadPoint
#include "ptcomp/laswritepoint.hpp"     // LASwritePoint
#include "ptcomp/layermask.hpp"         // LayerMask::ALL
#include "ptcomp/ptcomp.hpp"            // PTcomp
#include "tool/lasmessage.hpp"          // message handler

namespace lastest {

// Records every message (all levels) while it exists; halting on errors is
// off so that errors come back as results.
class Messages {
 public:
  Messages() {
    las_message_reset();
    set_message_handler(&capture, this);
    set_message_log_level(LAS_DEBUG);
    halt_on_error(false);
  }
  ~Messages() {
    unset_message_handler();
    las_message_reset();
  }
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  struct Entry {
    LAS_MESSAGE_TYPE type;
    std::string text;
  };
  std::vector<Entry> entries;

  // The texts of one level, in order.
  std::vector<std::string> texts(LAS_MESSAGE_TYPE type) const {
    std::vector<std::string> out;
    for (const Entry& e : entries)
      if (e.type == type) out.push_back(e.text);
    return out;
  }
  // The warnings, then the errors.
  std::vector<std::string> problems() const {
    std::vector<std::string> out = texts(LAS_WARNING);
    for (const std::string& e : texts(LAS_ERROR)) out.push_back(e);
    return out;
  }
  int count(LAS_MESSAGE_TYPE type) const { return static_cast<int>(texts(type).size()); }
  int at_least(LAS_MESSAGE_TYPE type) const {
    int n = 0;
    for (const Entry& e : entries) n += e.type >= type;
    return n;
  }
  std::string dump() const {
    std::string all;
    for (const Entry& e : entries) all += std::to_string(int(e.type)) + ": " + e.text + "\n";
    return all;
  }

 private:
  static void capture(LAS_MESSAGE_TYPE type, const char* text, void* user) {
    static_cast<Messages*>(user)->entries.push_back({type, text});
  }
};

template <typename T>
void put(uint8_t* p, T v) {
  memcpy(p, &v, sizeof(T));
}
template <typename T>
T get(const uint8_t* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}

// Item buffers of one point: POINT14 in its 48 bytes, the rest as on disk.
struct Record {
  std::vector<LASitem> items;
  std::vector<uint8_t> bytes;
  std::vector<uint8_t*> ptr;
  uint32_t disk_size = 0;
  explicit Record(const PTcomp& s) : Record(std::vector<LASitem>(s.items, s.items + s.num_items)) {}
  explicit Record(std::vector<LASitem> list) : items(std::move(list)) {
    std::vector<size_t> offsets;
    for (const LASitem& it : items) {
      offsets.push_back(bytes.size());
      bytes.resize(bytes.size() + (it.type == LASitem::POINT14 ? 48 : it.size));
      disk_size += it.size;
    }
    for (size_t offset : offsets) ptr.push_back(bytes.data() + offset);
  }
  void from_disk(const uint8_t* d) {
    for (size_t i = 0; i < items.size(); d += items[i++].size) {
      if (items[i].type == LASitem::POINT14) {
        ptr[i][22] = 1;
        las_point14_from_disk(d, ptr[i]);
      } else {
        memcpy(ptr[i], d, items[i].size);
      }
    }
  }
  void to_disk(uint8_t* d) const {
    for (size_t i = 0; i < items.size(); d += items[i++].size) {
      if (items[i].type == LASitem::POINT14) {
        las_point14_to_disk(ptr[i], d);
      } else {
        memcpy(d, ptr[i], items[i].size);
      }
    }
  }
};

// Writes points given in disk form with the settings, after `prefix` filler
// bytes, ending a chunk after each point index in `breaks`; returns the
// writer's error text, empty on success.
inline std::string write_points(const PTcomp& settings, const std::vector<uint8_t>& disk, std::vector<uint8_t>& bytes,
                                size_t prefix = 0, const std::vector<uint32_t>& breaks = {}) {
  LASwritePoint writer;
  if (!writer.setup(settings.num_items, settings.items, &settings)) return writer.error();
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(4096));
  for (size_t i = 0; i < prefix; i++) out->putByte(static_cast<unsigned char>(0xA0 + i));
  if (!writer.init(out.get())) return writer.error() ? writer.error() : "init failed";
  Record r(settings);
  size_t next_break = 0;
  for (uint32_t i = 0; i < disk.size() / r.disk_size; i++) {
    r.from_disk(disk.data() + size_t(i) * r.disk_size);
    if (!writer.write(r.ptr.data())) return writer.error();
    if (next_break < breaks.size() && breaks[next_break] == i) {
      next_break++;
      if (!writer.chunk()) return writer.error();
    }
  }
  if (!writer.done()) return writer.error();
  bytes.assign(out->get_data(), out->get_data() + out->get_size());
  return "";
}

// An array stream that counts the bytes read (skipped bytes are sought over).
struct CountingStream : ByteStreamInArray {
  long long consumed = 0;
  explicit CountingStream(const std::vector<uint8_t>& b)
      : ByteStreamInArray(b.data(), static_cast<long long>(b.size())) {}
  void getBytes(unsigned char* bytes, long long n) override { take(bytes, n), consumed += n; }
  int getByte() override { return consumed++, ByteStreamInArray::getByte(); }
  void get16bitsLE(unsigned char* d) override { getBytes(d, 2); }
  void get32bitsLE(unsigned char* d) override { getBytes(d, 4); }
  void get64bitsLE(unsigned char* d) override { getBytes(d, 8); }
  void get16bitsBE(unsigned char*) override { throw int(4711); }
  void get32bitsBE(unsigned char*) override { throw int(4711); }
  void get64bitsBE(unsigned char*) override { throw int(4711); }
};

// What reading `count` points gave (points after a failed read are
// attempted too).
struct Readback {
  uint32_t size = 0;                // bytes of a point on disk
  std::vector<uint8_t> points;      // disk form of each point, zero where a read failed
  std::vector<bool> read_ok;        // per point
  std::vector<std::string> errors;  // each failed read's error text
  std::string warning;              // the reader's warning after the run
  bool end_ok = false;              // check_end's result
  std::string end_error;
  long long consumed = 0;  // bytes read
  uint32_t ok_count() const { return static_cast<uint32_t>(std::count(read_ok.begin(), read_ok.end(), true)); }
  const uint8_t* point(size_t i) const { return points.data() + i * size; }
};

// Reads `count` points from bytes[prefix...], decoding the layers of `mask`.
inline Readback read_points(const PTcomp& settings, const std::vector<uint8_t>& bytes, uint32_t count,
                            size_t prefix = 0, uint32_t mask = LayerMask::ALL) {
  Readback rb;
  LASreadPoint reader(mask);
  CountingStream in(bytes);
  Record r(settings);
  rb.size = r.disk_size;
  if (!reader.setup(settings.num_items, settings.items, &settings) || !in.seek(static_cast<long long>(prefix)) ||
      !reader.init(&in)) {
    rb.errors.push_back(reader.error() ? reader.error() : "setup");
    return rb;
  }
  rb.points.assign(size_t(count) * rb.size, 0);
  for (uint32_t i = 0; i < count; i++) {
    rb.read_ok.push_back(reader.read(r.ptr.data()));
    if (rb.read_ok.back()) r.to_disk(rb.points.data() + size_t(i) * rb.size);
    if (!rb.read_ok.back()) rb.errors.push_back(reader.error() ? reader.error() : "no error text");
  }
  rb.end_ok = reader.check_end();
  if (!rb.end_ok) rb.end_error = reader.error() ? reader.error() : "";
  if (reader.warning()) rb.warning = reader.warning();
  rb.consumed = in.consumed;
  return rb;
}

}  // namespace lastest

#endif
