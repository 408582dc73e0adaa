// Writing and reading compressed point data through the point record writer
// and reader, over memory streams.
#include "tests/ptcomp/point_data_support.hpp"

#include <cstring>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/lasreadpoint.hpp"
#include "ptcomp/laswritepoint.hpp"

namespace codectest {

namespace {

// A memory output that cannot seek back (like standard output), though its
// position is known.
class ForwardOnlyOut : public ByteStreamOut {
 public:
  explicit ForwardOnlyOut(ByteStreamOut* inner) : inner(inner) {}
  bool putByte(unsigned char byte) override { return inner->putByte(byte); }
  bool putBytes(const unsigned char* bytes, unsigned int n) override { return inner->putBytes(bytes, n); }
  bool put16bitsLE(const unsigned char* src) override { return inner->put16bitsLE(src); }
  bool put32bitsLE(const unsigned char* src) override { return inner->put32bitsLE(src); }
  bool put64bitsLE(const unsigned char* src) override { return inner->put64bitsLE(src); }
  bool put16bitsBE(const unsigned char* src) override { return inner->put16bitsBE(src); }
  bool put32bitsBE(const unsigned char* src) override { return inner->put32bitsBE(src); }
  bool put64bitsBE(const unsigned char* src) override { return inner->put64bitsBE(src); }
  bool isSeekable() const override { return false; }
  long long tell() const override { return inner->tell(); }
  bool seek(long long) override { return false; }
  bool seekEnd() override { return false; }

 private:
  ByteStreamOut* inner;
};

std::vector<uint8_t*> item_pointers(uint8_t* record, const std::vector<LASitem>& items) {
  std::vector<uint8_t*> ptrs;
  for (const auto& it : items) {
    ptrs.push_back(record);
    record += it.size;
  }
  return ptrs;
}

}  // namespace

std::unique_ptr<PTcomp> make_settings(const PtcLayout& layout) {
  static const int standard[6] = {20, 28, 26, 34, 57, 63};
  std::unique_ptr<PTcomp> settings(new PTcomp());
  settings->setup(static_cast<uint8_t>(layout.format), static_cast<uint16_t>(standard[layout.format] + layout.extra),
                  layout.kind);
  settings->compressor = layout.kind;
  settings->chunk_size = layout.chunk_size;
  settings->request_version(static_cast<uint16_t>(layout.version));
  return settings;
}

std::string write_point_data(const PointSet& points, const PtcLayout& layout, std::vector<uint8_t>& bytes) {
  const auto settings = make_settings(layout);
  if (std::vector<LASitem>(settings->items, settings->items + settings->num_items) != points.items) {
    return "the points have other items than the layout";
  }
  LASwritePoint writer;
  if (!writer.setup(settings->num_items, settings->items, settings.get())) return writer.error();
  std::unique_ptr<ByteStreamOutArray> array(new_byte_stream_out_array(4096));
  for (size_t i = 0; i < layout.prefix; i++) array->putByte(static_cast<unsigned char>(0xA0 + i));
  ForwardOnlyOut forward(array.get());
  ByteStreamOut* out = layout.seekable ? static_cast<ByteStreamOut*>(array.get()) : &forward;
  if (!writer.init(out)) return writer.error() ? writer.error() : "init failed";
  std::vector<uint8_t> record(points.point_size);
  size_t next_break = 0;
  for (uint32_t i = 0; i < points.count(); i++) {
    memcpy(record.data(), points.point(i), points.point_size);
    const auto ptrs = item_pointers(record.data(), points.items);
    if (!writer.write(ptrs.data())) return writer.error();
    if (next_break < layout.breaks.size() && layout.breaks[next_break] == i) {
      next_break++;
      if (!writer.chunk()) return writer.error();
    }
  }
  if (!writer.done()) return writer.error();
  bytes.assign(array->get_data(), array->get_data() + array->get_size());
  return "";
}

ReadOutcome read_point_data(const PtcLayout& layout, const std::vector<uint8_t>& bytes, uint32_t count) {
  ReadOutcome outcome;
  const auto settings = make_settings(layout);
  uint32_t point_size = 0;
  std::vector<LASitem> items(settings->items, settings->items + settings->num_items);
  for (const auto& it : items) point_size += it.size;
  outcome.points.assign(size_t(count) * point_size, 0);
  outcome.read_ok.assign(count, false);
  LASreadPoint reader;
  if (!reader.setup(settings->num_items, settings->items, settings.get())) {
    outcome.errors.push_back(reader.error() ? reader.error() : "setup failed");
    return outcome;
  }
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(bytes.data(), static_cast<long long>(bytes.size())));
  in->seek(static_cast<long long>(layout.prefix));
  reader.init(in.get());
  for (uint32_t i = 0; i < count; i++) {
    auto ptrs = item_pointers(outcome.points.data() + size_t(i) * point_size, items);
    if (reader.read(ptrs.data())) {
      outcome.read_ok[i] = true;
    } else {
      memset(outcome.points.data() + size_t(i) * point_size, 0, point_size);
      outcome.errors.push_back(reader.error() ? reader.error() : "");
    }
  }
  outcome.end_ok = reader.check_end();
  if (!outcome.end_ok && reader.error()) outcome.end_error = reader.error();
  if (reader.warning()) outcome.warning = reader.warning();
  reader.done();
  return outcome;
}

int64_t table_offset(const std::vector<uint8_t>& bytes, size_t prefix) {
  int64_t offset;
  memcpy(&offset, bytes.data() + prefix, 8);
  return offset;
}

void set_table_offset(std::vector<uint8_t>& bytes, size_t prefix, int64_t offset) {
  memcpy(bytes.data() + prefix, &offset, 8);
}

}  // namespace codectest
