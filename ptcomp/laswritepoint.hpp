// The point record writer, the mirror of LASreadPoint: writes one point per
// call from the item buffers of the point model. Uncompressed records go out
// raw (gathered into blocks when every item is stored as it lies in memory);
// compressed output is built from the compressed item writers around a
// shared arithmetic encoder, or, for point formats 6 to 10, from the layered
// item writers (each chunk: raw first point, point count, layer sizes, then
// the layers).
//
// Writing compressed points of any format 0 to 10:
//   PTcomp settings;
//   settings.setup_writing(point_format, record_length, item_version, chunk_size);
//   LASwritePoint writer;
//   writer.setup(settings.num_items, settings.items, &settings);
//   writer.init(stream);  // at the start of the point data
//   writer.write(item_buffers) per point (POINT14 items as 48-byte buffers);
//   writer.done();        // chunk table; the settings record stores `settings`
//
// Chunked output (kinds 2 and 3) can be encoded on worker threads
// (set_threads before init): write() then only copies the point into the
// open chunk's batch, full chunks are encoded into memory by the workers
// and written out in chunk order by the calling thread. The bytes are the
// same as those of the single-threaded path.
#ifndef PTCOMP_LASWRITEPOINT_HPP
#define PTCOMP_LASWRITEPOINT_HPP

#include <cstddef>  // size_t
#include <cstdint>  // fixed-width fields
#include <memory>   // the chunk encoding on worker threads
#include <vector>   // record block, item sizes

#include "las/bytestreamout.hpp"     // ByteStreamOut, the point data
#include "las/lasitem.hpp"           // LASitem
#include "ptcomp/laswriteitem.hpp"   // LASwriteItem, LASwriteItemRaw, LASwriteItemCompressed

class ArithmeticEncoder;
class PTcomp;

class LASwritePoint {
 public:
  LASwritePoint();
  ~LASwritePoint();
  LASwritePoint(const LASwritePoint&) = delete;
  LASwritePoint& operator=(const LASwritePoint&) = delete;

  // Creates one item writer per item. With compressor settings of a kind
  // other than 0, `items` must be the settings' own list and every item
  // needs a compressed writer. False (with an error text) otherwise.
  bool setup(uint32_t num_items, const LASitem* items, const PTcomp* ptcomp = nullptr);
  // The number of threads that encode chunks, from the next init on; 0 or
  // 1 encodes on the calling thread. Only chunked output uses more. A chunk
  // whose points take more than `batch_bytes` in memory is encoded on the
  // calling thread instead.
  static constexpr size_t DEFAULT_BATCH_BYTES = size_t(8) << 20;
  void set_threads(unsigned n, size_t batch_bytes = DEFAULT_BATCH_BYTES) {
    threads = n;
    max_batch_bytes = batch_bytes;
  }
  // Attaches the output, positioned where the point data begins.
  bool init(ByteStreamOut* outstream);
  // Writes one point from point[i], the buffer of item i.
  bool write(const uint8_t* const* point);
  // Ends the current chunk early: only for chunked output with variable
  // chunk sizes (settings chunk size 0), where the chunk table lists each
  // chunk's point count. A chunk without points is not created.
  bool chunk();
  // Ends the point data: flushes gathered records and, for compressed
  // output, finishes the coding. Afterwards the stream stands at the end of
  // the point data.
  bool done();

  const char* error() const { return error_text[0] ? error_text : nullptr; }
  uint32_t get_record_size() const { return record_size; }
  bool is_compressed() const { return encoder != nullptr; }

 private:
  void set_error(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void clear();
  bool flush_block();
  // The compressed path of init, write, chunk and done.
  bool init_compressed();
  bool write_compressed(const uint8_t* const* point);
  bool chunk_compressed();
  bool done_compressed();
  // Ends the open chunk: finishes its code and records it for the table.
  bool end_chunk();
  bool write_chunk_table();
  // Records a finished chunk of `bytes` bytes for the table; false (with the
  // error text) when the table cannot hold its length.
  bool record_chunk(uint32_t points, int64_t bytes);
  // The same steps when workers encode the chunks.
  bool write_parallel(const uint8_t* const* point);
  void submit_batch();
  bool retire_oldest();
  bool spill();
  bool done_parallel();

  ByteStreamOut* output = nullptr;
  uint32_t writer_count = 0;
  LASwriteItemRaw** raw_writers = nullptr;
  LASwriteItemCompressed** compressed_writers = nullptr;
  ArithmeticEncoder* encoder = nullptr;
  uint16_t compressor = 0;
  bool layered = false;
  uint32_t chunk_size = 0xFFFFFFFFu;
  uint32_t record_size = 0;
  std::vector<uint32_t> item_sizes;

  // Raw records gathered into a block when every item is a plain copy.
  bool copy_items = false;
  std::vector<uint8_t> block;
  size_t block_used = 0;

  // Compressed output: the open chunk and what the chunk table will list.
  bool chunk_open = false;
  uint32_t chunk_count = 0;              // points in the open chunk
  int64_t table_offset_position = -1;    // where the 8-byte table offset stands
  int64_t chunk_start = 0;               // where the open chunk begins
  std::vector<uint32_t> chunk_points;    // per finished chunk: its points
  std::vector<int64_t> chunk_bytes;      // and its bytes

  // Chunks encoded by worker threads (null: all on the calling thread).
  struct Parallel;
  unsigned threads = 1;
  size_t max_batch_bytes = DEFAULT_BATCH_BYTES;
  std::vector<LASitem> item_list;
  std::unique_ptr<Parallel> parallel;

  char error_text[128];
};

#endif
