// The point record reader: turns the point records of a LAS or PTC stream
// into filled item buffers, one point per call. Uncompressed records are read
// raw (in blocks of records); compressed data is read chunk by chunk, the
// first point of each chunk raw and the rest through the compressed item
// readers, with the chunk table for seeking and to recover from corrupt
// chunks. Failures are false results with an error text, never exceptions.
#ifndef PTCOMP_LASREADPOINT_HPP
#define PTCOMP_LASREADPOINT_HPP

#include <cstdint>  // fixed-width fields
#include <memory>   // the parallel decoding state
#include <vector>   // chunk table arrays, record block

#include "las/bytestreamin.hpp"        // ByteStreamIn, the point data
#include "las/bytestreamin_array.hpp"  // ByteStreamInArray, over the record block
#include "las/lasitem.hpp"             // LASitem
#include "ptcomp/lasreaditem.hpp"      // LASreadItem, LASreadItemRaw, LASreadItemCompressed

class ArithmeticDecoder;
class PTcomp;

class LASreadPoint {
 public:
  static constexpr uint32_t NO_CHUNK_SIZE = 0xFFFFFFFFu;   // no fixed chunk size
  static constexpr uint32_t TABLE_NOT_READ = 0xFFFFFFFFu;  // chunk_capacity before the table is read

  // `selective_mask`: the layers that the layered codecs (point formats 6
  // to 10, item versions 3 and 4) decode, as LayerMask bits
  // (ptcomp/layermask.hpp); skipped layers are passed over unread and their
  // fields keep their last values. Other codecs decode every field.
  explicit LASreadPoint(uint32_t selective_mask = 0xFFFFFFFFu);
  ~LASreadPoint();
  LASreadPoint(const LASreadPoint&) = delete;
  LASreadPoint& operator=(const LASreadPoint&) = delete;

  // Creates one item reader per item. With compressor settings, `items`
  // must be the settings' own list. Called once, before init. False (with
  // an error text) for an unsupported item, coder or codec.
  bool setup(uint32_t num_items, const LASitem* items, const PTcomp* ptcomp = nullptr);
  // Attaches the point data stream, positioned at the first record (for
  // compressed data: at the chunk table offset). False for a null stream.
  bool init(ByteStreamIn* instream);
  // Reads the next point into point[i], the buffer of item i. True when a
  // point was produced.
  bool read(uint8_t* const* point);
  // Moves from point `current` to point `target` (0-based).
  bool seek(int64_t current, int64_t target);
  // After the last point: checks that the last chunk ended where the table
  // says. False (with an error text) when it did not.
  bool check_end();
  // Forgets the input stream. Always true.
  bool done();
  // Decodes chunks on `threads` worker threads (1: on the calling thread
  // only). `point_count` is the number of points the caller will read, which
  // bounds the last chunk; parallel decoding needs it. Takes effect at the
  // next chunk; a seek that leaves the current chunk turns it off again.
  void set_threads(unsigned threads, int64_t point_count);
  unsigned get_threads() const { return threads; }
  // Chunks handed out from the workers' records so far.
  uint32_t get_served_chunks() const { return served_chunks; }

  // The last error and warning texts, or null when there were none.
  const char* error() const { return error_text[0] ? error_text : nullptr; }
  const char* warning() const { return warning_text[0] ? warning_text : nullptr; }

  // State, for the file reader and for tests.
  uint32_t get_record_size() const { return record_size; }
  uint32_t get_chunk_size() const { return chunk_size; }
  uint32_t get_chunk_index() const { return chunk_index; }
  uint32_t get_known_chunks() const { return known_chunks; }
  const std::vector<int64_t>& get_chunk_starts() const { return chunk_starts; }
  const std::vector<uint32_t>& get_chunk_point_totals() const { return chunk_point_totals; }
  bool is_compressed() const { return decoder != nullptr; }

 private:
  void set_error(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void set_warning(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  void clear();
  // Uncompressed records through the record block; may throw -1.
  void read_raw_block(uint8_t* const* point);
  bool fill_block();
  // The compressed path of read; may throw.
  bool read_compressed(uint8_t* const* point, uint32_t& context);
  // Starts the chunk state at the current stream position: reads the chunk
  // table first when it has not been read yet.
  bool start_chunk_state();
  // Bytes left for the layers of the current chunk: up to the next chunk's
  // start when the table gives it (within_table), else up to the end of the
  // stream.
  uint64_t layer_budget(bool* within_table) const;
  bool read_chunk_table();
  bool corrupt_chunk_table(int64_t chunk_table_start, int64_t chunks_start);
  // Turns the first `count` decoded chunk lengths into starts; returns how
  // many entries are valid (each start above the one before).
  uint32_t sum_chunk_starts(uint32_t count);
  // Makes room for and records the start of a chunk met while reading.
  void add_chunk_start(int64_t start);
  // Seeks to chunk `chunk` and restarts there.
  bool restart_at_chunk(uint32_t chunk);
  // Skips n points by decoding them into the scratch buffers.
  bool skip_points(int64_t n);

  // Parallel decoding. A worker decodes chunk data from memory into
  // point-sized records with its own reader; true when the chunk decoded
  // cleanly and its code ended exactly at the end of `size`.
  bool decode_chunk(const uint8_t* data, size_t size, uint32_t count, uint8_t* out);
  // Makes chunk `chunk` the one handed out from a worker's records; false
  // when it has to be decoded here (then the stream stands at its start).
  bool serve_chunk(uint32_t chunk);
  // Hands out the next point of the served chunk.
  void serve_point(uint8_t* const* point);
  // Moves on from a served chunk to the next one.
  bool next_after_served(uint8_t* const* point);
  // Points chunk `chunk` holds within the points the caller reads, or 0 when
  // the chunk cannot be decoded ahead.
  uint32_t points_of_chunk(uint32_t chunk) const;
  void stop_parallel();

  ByteStreamIn* input = nullptr;
  uint32_t reader_count = 0;
  LASreadItem** readers = nullptr;  // the set in use, or null at a chunk start
  LASreadItemRaw** raw_readers = nullptr;
  LASreadItemCompressed** compressed_readers = nullptr;
  // The two sets as base pointers, for `readers`.
  LASreadItem** raw_set = nullptr;
  LASreadItem** compressed_set = nullptr;
  ArithmeticDecoder* decoder = nullptr;
  bool layered = false;
  uint32_t chunk_size = NO_CHUNK_SIZE;
  uint32_t chunk_point_count = 0;
  uint32_t chunk_index = 0;
  uint32_t chunk_capacity = 0;
  uint32_t known_chunks = 0;
  // True once a chunk table was read completely: its last entry is then the
  // end of the last chunk, not the start of another.
  bool table_complete = false;
  std::vector<int64_t> chunk_starts;
  std::vector<uint32_t> chunk_point_totals;
  uint32_t selective_mask;
  int64_t data_start = 0;
  uint32_t record_size = 0;
  std::vector<uint8_t> scratch;
  std::vector<uint8_t*> scratch_point;
  std::vector<uint32_t> item_sizes;
  std::vector<uint32_t> item_offsets;  // byte offset of each item in a record
  // Set when reading cannot go on: the chunk table could not be read, or a
  // chunk failed and the start of the next one is not known.
  bool stalled = false;

  // Uncompressed records are read a block at a time from a seekable stream
  // and handed out from memory: straight copies when every item is stored
  // as it lies in memory, else through the raw readers over `block_stream`.
  bool use_block = false;
  bool copy_items = false;
  std::vector<uint8_t> block;
  ByteStreamInArray* block_stream = nullptr;
  uint32_t block_records = 0;  // records the block holds
  uint32_t block_next = 0;     // next record to hand out
  uint32_t block_filled = 0;   // records in the block
  int64_t stream_end = -1;     // size of the stream, for the last block

  // What setup was given, for the workers' readers.
  const LASitem* setup_items = nullptr;
  const PTcomp* setup_ptcomp = nullptr;
  std::vector<uint32_t> buffer_sizes;  // bytes of each item's buffer in memory
  uint32_t buffer_record = 0;          // their sum: one decoded record
  unsigned threads = 1;
  int64_t point_count = -1;
  struct Parallel;
  std::unique_ptr<Parallel> parallel;
  // The served chunk: the next record and the records left.
  bool serving = false;
  const uint8_t* serve_next = nullptr;
  uint32_t serve_left = 0;
  uint32_t served_chunks = 0;

  char error_text[128];
  char warning_text[128];
};

#endif
