// The point record reader: item reader sets, the record block for raw data,
// chunk boundaries, the chunk table and seeking.
#include "ptcomp/lasreadpoint.hpp"

#include <algorithm>  // std::min, std::max
#include <cstdarg>    // va_list for the texts
#include <cstdio>     // vsnprintf
#include <cstring>    // memcpy

#include "las/endianness.hpp"            // Endian::IS_LITTLE_ENDIAN: records copied as stored
#include "ptcomp/arithmeticdecoder.hpp"  // ArithmeticDecoder, chunk data and table
#include "ptcomp/integercompressor.hpp"  // IntegerCompressor, the chunk table entries
#include "ptcomp/lasitemcodecs.hpp"      // create_read_item_compressed, the item codecs
#include "ptcomp/lasreaditemraw.hpp"     // create_read_item_raw, las_item_is_layered
#include "ptcomp/ptcomp.hpp"             // PTcomp, the compressor settings
#include "tool/workerpool.hpp"           // WorkerPool, the decoding threads

namespace {

// Bytes the record block aims at; at least one record.
constexpr uint32_t BLOCK_BYTES = 65536;

// Bytes of an item's buffer in memory (POINT14 has 48 bytes for 30 on disk).
uint32_t buffer_size(const LASitem& item) { return item.type == LASitem::POINT14 ? 48u : item.size; }

// Chunks decoded ahead are held in memory: their code and their records. A
// chunk larger than these is decoded on the calling thread instead.
constexpr int64_t MAX_AHEAD_CODE_BYTES = 16 << 20;
constexpr uint64_t MAX_AHEAD_RECORD_BYTES = 32 << 20;

}  // namespace

// One chunk on its way through a worker.
struct ChunkSlot {
  uint32_t chunk = 0;
  uint32_t count = 0;
  uint64_t ticket = 0;
  bool read = false;   // its code was read from the stream
  bool clean = false;  // the worker decoded it cleanly
  std::vector<uint8_t> code;
  std::vector<uint8_t> records;
};

struct LASreadPoint::Parallel {
  std::vector<std::unique_ptr<LASreadPoint>> readers;  // one per worker
  std::vector<ChunkSlot> slots;                         // a ring, two per worker
  size_t first = 0;                                     // the slot of the oldest chunk in flight
  size_t in_flight = 0;                                 // chunks in flight, in chunk order from `first`
  uint32_t next_chunk = 0;                              // the next chunk to queue
  int64_t stream_size = -1;
  // Last, so that it goes first: its workers finish before slots and
  // readers go away.
  std::unique_ptr<WorkerPool> pool;

  // Waits for every chunk in flight and forgets them.
  void drain() {
    for (size_t k = 0; k < in_flight; k++) {
      const ChunkSlot& s = slots[(first + k) % slots.size()];
      if (s.read) pool->wait(s.ticket);
    }
    in_flight = 0;
  }
};

LASreadPoint::LASreadPoint(uint32_t selective_mask) : selective_mask(selective_mask) {
  error_text[0] = '\0';
  warning_text[0] = '\0';
}

LASreadPoint::~LASreadPoint() { clear(); }

void LASreadPoint::clear() {
  parallel.reset();
  serving = false;
  for (uint32_t i = 0; i < reader_count; i++) {
    if (raw_readers) delete raw_readers[i];
    if (compressed_readers) delete compressed_readers[i];
  }
  delete[] raw_readers;
  delete[] compressed_readers;
  delete[] raw_set;
  delete[] compressed_set;
  raw_readers = nullptr;
  compressed_readers = nullptr;
  raw_set = nullptr;
  compressed_set = nullptr;
  readers = nullptr;
  reader_count = 0;
  delete decoder;
  decoder = nullptr;
  layered = false;
  delete block_stream;
  block_stream = nullptr;
  block.clear();
  use_block = false;
  copy_items = false;
  record_size = 0;
  item_sizes.clear();
  item_offsets.clear();
  scratch.clear();
  scratch_point.clear();
  chunk_starts.clear();
  chunk_point_totals.clear();
  chunk_size = NO_CHUNK_SIZE;
  chunk_capacity = 0;
  known_chunks = 0;
  chunk_index = 0;
  chunk_point_count = 0;
  table_complete = false;
  stalled = false;
  data_start = 0;
}

void LASreadPoint::set_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(error_text, sizeof(error_text), format, args);
  va_end(args);
}

void LASreadPoint::set_warning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(warning_text, sizeof(warning_text), format, args);
  va_end(args);
}

bool LASreadPoint::setup(uint32_t num_items, const LASitem* items, const PTcomp* ptcomp) {
  clear();
  if (num_items == 0 || items == nullptr) {
    set_error("point record without items");
    return false;
  }
  if (ptcomp && (num_items != ptcomp->num_items || items != ptcomp->items)) {
    set_error("items differ from those of the compressor settings");
    return false;
  }
  setup_items = ptcomp ? items : nullptr;
  setup_ptcomp = ptcomp;
  buffer_sizes.resize(num_items);
  buffer_record = 0;
  for (uint32_t i = 0; i < num_items; i++) {
    buffer_sizes[i] = buffer_size(items[i]);
    buffer_record += buffer_sizes[i];
  }
  if (ptcomp && ptcomp->compressor != PTcomp::COMPRESSOR_NONE) {
    if (ptcomp->coder != PTcomp::CODER_ARITHMETIC) {
      set_error("coder %u not supported", static_cast<unsigned>(ptcomp->coder));
      return false;
    }
    if (ptcomp->compressor > PTcomp::COMPRESSOR_LAYERED_CHUNKED) {
      set_error("compressor %u not supported", static_cast<unsigned>(ptcomp->compressor));
      return false;
    }
    decoder = new ArithmeticDecoder();
    layered = ptcomp->compressor == PTcomp::COMPRESSOR_LAYERED_CHUNKED;
  }

  // Raw readers, always.
  reader_count = num_items;
  raw_readers = new LASreadItemRaw*[num_items]();
  raw_set = new LASreadItem*[num_items]();
  item_sizes.resize(num_items);
  item_offsets.resize(num_items);
  bool has_point14 = false;
  for (uint32_t i = 0; i < num_items; i++) {
    raw_readers[i] = create_read_item_raw(items[i]);
    if (raw_readers[i] == nullptr) {
      set_error("item %u of type %u and size %u not supported", i, static_cast<unsigned>(items[i].type),
                static_cast<unsigned>(items[i].size));
      return false;
    }
    raw_set[i] = raw_readers[i];
    item_sizes[i] = items[i].size;
    item_offsets[i] = record_size;
    record_size += items[i].size;
    if (items[i].type == LASitem::POINT14) has_point14 = true;
  }
  // On a little-endian host every item but POINT14 lies in memory as stored.
  copy_items = Endian::IS_LITTLE_ENDIAN && !has_point14;
  if (decoder == nullptr) return true;

  // Scratch buffers for skipped points: one buffer per item, twice the size
  // for the layered codecs, which keep the previous point beside the current.
  const uint32_t factor = layered ? 2 : 1;
  size_t scratch_bytes = 0;
  for (uint32_t i = 0; i < num_items; i++) scratch_bytes += size_t(buffer_size(items[i])) * factor;
  scratch.assign(scratch_bytes, 0);
  if (layered && scratch.size() > 22) scratch[22] = 1;  // the POINT14 extended point type marker
  scratch_point.resize(num_items);
  size_t at = 0;
  for (uint32_t i = 0; i < num_items; i++) {
    scratch_point[i] = scratch.data() + at;
    at += size_t(buffer_size(items[i])) * factor;
  }

  // Compressed readers, one per item.
  compressed_readers = new LASreadItemCompressed*[num_items]();
  compressed_set = new LASreadItem*[num_items]();
  for (uint32_t i = 0; i < num_items; i++) {
    // Layered items exist only in layered chunks, and layered chunks hold
    // nothing else.
    if (las_item_is_layered(items[i]) != layered) {
      set_error("item %u of type %u and version %u does not fit compressor %u", i,
                static_cast<unsigned>(items[i].type), static_cast<unsigned>(items[i].version),
                static_cast<unsigned>(ptcomp->compressor));
      return false;
    }
    compressed_readers[i] = create_read_item_compressed(items[i], decoder, selective_mask);
    if (compressed_readers[i] == nullptr) {
      set_error("no decoder for item %u of type %u and version %u", i, static_cast<unsigned>(items[i].type),
                static_cast<unsigned>(items[i].version));
      return false;
    }
    compressed_set[i] = compressed_readers[i];
  }
  if (ptcomp->compressor == PTcomp::COMPRESSOR_POINTWISE) return true;
  if (ptcomp->chunk_size) chunk_size = ptcomp->chunk_size;
  chunk_capacity = TABLE_NOT_READ;
  return true;
}

bool LASreadPoint::init(ByteStreamIn* instream) {
  if (instream == nullptr || raw_readers == nullptr) return false;
  input = instream;
  stalled = false;
  stop_parallel();
  if (decoder) {
    for (uint32_t i = 0; i < reader_count; i++) raw_readers[i]->init(input);
    chunk_point_count = chunk_size;
    data_start = 0;
    readers = nullptr;
    // The end of the stream bounds the layers of a chunk.
    stream_end = -1;
    if (layered && input->isSeekable()) {
      const int64_t here = input->tell();
      if (input->seekEnd(0)) stream_end = input->tell();
      if (!input->seek(here)) return false;
    }
    return true;
  }
  data_start = input->tell();
  use_block = false;
  if (input->isSeekable() && input->seekEnd(0)) {
    stream_end = input->tell();
    use_block = input->seek(data_start);
  }
  if (use_block) {
    block_records = std::max(1u, BLOCK_BYTES / record_size);
    block.assign(size_t(block_records) * record_size, 0);
    if (block_stream == nullptr) block_stream = new_byte_stream_in_array(nullptr, 0);
    block_next = block_filled = 0;
  }
  for (uint32_t i = 0; i < reader_count; i++) {
    raw_readers[i]->init(use_block ? static_cast<ByteStreamIn*>(block_stream) : input);
  }
  readers = raw_set;
  return true;
}

bool LASreadPoint::fill_block() {
  const int64_t available = stream_end - input->tell();
  const int64_t records = std::min<int64_t>(block_records, available > 0 ? available / record_size : 0);
  if (records <= 0) throw int(-1);
  const int64_t bytes = records * record_size;
  input->getBytes(block.data(), bytes);
  block_filled = static_cast<uint32_t>(records);
  block_next = 0;
  if (!copy_items) block_stream->init(block.data(), bytes);
  return true;
}

void LASreadPoint::read_raw_block(uint8_t* const* point) {
  if (block_next == block_filled) fill_block();
  const uint8_t* record = block.data() + size_t(block_next) * record_size;
  if (copy_items) {
    for (uint32_t i = 0; i < reader_count; i++) memcpy(point[i], record + item_offsets[i], item_sizes[i]);
  } else {
    uint32_t context = 0;
    block_stream->seek(int64_t(block_next) * record_size);
    for (uint32_t i = 0; i < reader_count; i++) raw_readers[i]->read(point[i], context);
  }
  block_next++;
}

bool LASreadPoint::read(uint8_t* const* point) {
  if (input == nullptr) return false;
  if (serving) {
    if (serve_left) {
      serve_point(point);
      return true;
    }
    if (next_after_served(point)) return true;
  }
  uint32_t context = 0;
  try {
    if (decoder == nullptr) {
      if (use_block) {
        read_raw_block(point);
      } else {
        for (uint32_t i = 0; i < reader_count; i++) raw_readers[i]->read(point[i], context);
      }
      return true;
    }
    if (stalled) return false;
    return read_compressed(point, context);
  } catch (int exception) {
    if (exception == -1) {
      if (decoder) {
        set_error("end-of-file during chunk with index %u", chunk_index);
      } else {
        set_error("end-of-file");
      }
      return false;
    }
  } catch (...) {
  }
  // Corrupt data: give up this chunk and go on with the next when its start
  // is known.
  set_error("chunk with index %u of %u is corrupt", chunk_index, known_chunks);
  if (decoder && chunk_index + 1 < known_chunks && input->seek(chunk_starts[chunk_index + 1])) {
    chunk_point_count = chunk_size;
  } else {
    stalled = true;
  }
  return false;
}

bool LASreadPoint::read_compressed(uint8_t* const* point, uint32_t& context) {
  if (chunk_point_count == chunk_size) {
    if (data_start != 0) {
      decoder->done();
      chunk_index++;
      if (chunk_index < known_chunks && input->tell() != chunk_starts[chunk_index]) {
        chunk_index--;
        throw int(4711);
      }
    }
    if (!start_chunk_state()) {
      stalled = true;
      return false;
    }
    if (chunk_index == known_chunks) {
      add_chunk_start(data_start);
    } else if (!chunk_point_totals.empty() && chunk_index + 1u < chunk_point_totals.size()) {
      chunk_size = chunk_point_totals[chunk_index + 1] - chunk_point_totals[chunk_index];
    }
    chunk_point_count = 0;
    if (threads > 1 && serve_chunk(chunk_index)) {
      serve_point(point);
      return true;
    }
  }
  chunk_point_count++;
  if (readers) {
    for (uint32_t i = 0; i < reader_count; i++) readers[i]->read(point[i], context);
    return true;
  }
  // First point of a chunk. A complete table ends with the end of the last
  // chunk: no chunk starts there.
  if (table_complete && chunk_index + 1u >= known_chunks) throw int(-1);
  for (uint32_t i = 0; i < reader_count; i++) raw_readers[i]->read(point[i], context);
  if (layered) {
    decoder->init(input, false);
    uint32_t count;
    input->get32bitsLE(reinterpret_cast<unsigned char*>(&count));  // the chunk's point count, not needed
    uint64_t layer_bytes = 0;
    for (uint32_t i = 0; i < reader_count; i++) {
      compressed_readers[i]->chunk_sizes();
      layer_bytes += compressed_readers[i]->chunk_layer_bytes();
    }
    // Layers larger than what the chunk holds are corrupt, larger than what
    // the stream holds cut off: refused before any buffer is sized by them.
    bool within_table = false;
    if (layer_bytes > layer_budget(&within_table)) throw int(within_table ? 4711 : -1);
    for (uint32_t i = 0; i < reader_count; i++) compressed_readers[i]->init(point[i], context);
  } else {
    for (uint32_t i = 0; i < reader_count; i++) compressed_readers[i]->init(point[i], context);
    decoder->init(input);
  }
  readers = compressed_set;
  return true;
}

uint64_t LASreadPoint::layer_budget(bool* within_table) const {
  const int64_t here = input->tell();
  int64_t end = stream_end;
  *within_table = chunk_index + 1u < known_chunks && chunk_starts[chunk_index + 1] > 0;
  if (*within_table) end = chunk_starts[chunk_index + 1];
  if (end < 0) return UINT64_MAX;  // a stream without a known end
  return end > here ? static_cast<uint64_t>(end - here) : 0;
}

bool LASreadPoint::start_chunk_state() {
  if (chunk_capacity == TABLE_NOT_READ) {
    if (!read_chunk_table()) return false;
    chunk_index = 0;
    if (chunk_point_totals.size() > 1) chunk_size = chunk_point_totals[1];
  }
  data_start = input->tell();
  readers = nullptr;
  return true;
}

void LASreadPoint::add_chunk_start(int64_t start) {
  if (chunk_index >= chunk_capacity) chunk_capacity += 256;
  if (chunk_starts.size() < size_t(known_chunks) + 1) chunk_starts.resize(size_t(known_chunks) + 257);
  chunk_starts[known_chunks] = start;
  known_chunks++;
}

uint32_t LASreadPoint::sum_chunk_starts(uint32_t count) {
  for (uint32_t i = 1; i < count; i++) {
    if (chunk_starts[i] <= 0) return i;  // a chunk without bytes, or a negative length
    chunk_starts[i] += chunk_starts[i - 1];
  }
  return count;
}

bool LASreadPoint::read_chunk_table() {
  const bool variable = chunk_size == NO_CHUNK_SIZE;
  int64_t chunk_table_start;
  try {
    input->get64bitsLE(reinterpret_cast<unsigned char*>(&chunk_table_start));
  } catch (...) {
    return false;
  }
  const int64_t chunks_start = input->tell();

  // The writer never came back to write the table.
  if (chunk_table_start + 8 == chunks_start) {
    if (variable) {
      set_error("compressor was interrupted before writing adaptive chunk table of PTC file");
      return false;
    }
    chunk_capacity = 256;
    chunk_starts.assign(257, 0);
    chunk_starts[0] = chunks_start;
    known_chunks = 1;
    set_warning("compressor was interrupted before writing chunk table of PTC file");
    return true;
  }

  if (!input->isSeekable()) {
    if (variable) {
      set_error("chunk table of variable-sized chunks cannot be read from a stream that cannot seek");
      return false;
    }
    chunk_capacity = 0;
    known_chunks = 0;
    return true;
  }

  if (chunk_table_start == -1) {
    if (!input->seekEnd(8)) return false;
    try {
      input->get64bitsLE(reinterpret_cast<unsigned char*>(&chunk_table_start));
    } catch (...) {
      return false;
    }
  }

  // The stream's size bounds the number of chunks: each holds at least its
  // raw first point.
  int64_t stream_size = -1;
  if (input->seekEnd(0)) stream_size = input->tell();

  bool decoded = false;
  try {
    if (chunk_table_start < 0 || !input->seek(chunk_table_start) || input->tell() != chunk_table_start) {
      throw int(4711);
    }
    uint32_t version;
    input->get32bitsLE(reinterpret_cast<unsigned char*>(&version));
    if (version != 0) throw int(4711);
    uint32_t number;
    input->get32bitsLE(reinterpret_cast<unsigned char*>(&number));
    chunk_capacity = number;
    if (stream_size >= 0 && uint64_t(number) > uint64_t(stream_size) / record_size + 1) throw int(4711);
    chunk_point_totals.clear();
    chunk_starts.clear();
    if (variable) chunk_point_totals.assign(size_t(number) + 1, 0);
    chunk_starts.assign(size_t(number) + 1, 0);
    chunk_starts[0] = chunks_start;
    known_chunks = 1;
    if (number > 0) {
      decoder->init(input);
      IntegerCompressor ic(decoder, 32, 2, 8, 0);
      ic.initDecompressor();
      for (uint32_t i = 1; i <= number; i++) {
        if (variable) {
          const int32_t count = ic.decompress(i > 1 ? static_cast<int32_t>(chunk_point_totals[i - 1]) : 0, 0);
          if (count <= 0) throw int(4711);  // every chunk holds at least one point
          chunk_point_totals[i] = static_cast<uint32_t>(count);
        }
        chunk_starts[i] = ic.decompress(i > 1 ? static_cast<int32_t>(chunk_starts[i - 1]) : 0, 1);
        known_chunks++;
      }
      decoder->done();
    }
    decoded = true;
  } catch (...) {
    decoder->done();
  }

  if (decoded) {
    const uint32_t valid = sum_chunk_starts(known_chunks);
    bool totals_valid = true;
    for (size_t i = 1; i < chunk_point_totals.size(); i++) {
      const uint64_t sum = uint64_t(chunk_point_totals[i]) + chunk_point_totals[i - 1];
      if (sum > 0xFFFFFFFFull) totals_valid = false;
      chunk_point_totals[i] = static_cast<uint32_t>(sum);
    }
    if (valid == known_chunks && totals_valid) {
      table_complete = true;
      return input->seek(chunks_start);
    }
    known_chunks = valid;
  } else if (!chunk_starts.empty()) {
    known_chunks = sum_chunk_starts(known_chunks);
  }
  return corrupt_chunk_table(chunk_table_start, chunks_start);
}

bool LASreadPoint::corrupt_chunk_table(int64_t chunk_table_start, int64_t chunks_start) {
  const bool variable = chunk_size == NO_CHUNK_SIZE;
  chunk_point_totals.clear();
  if (!variable && (chunk_capacity == TABLE_NOT_READ || chunk_starts.empty())) {
    // Nothing usable was read: build the table while reading.
    chunk_capacity = 256;
    chunk_starts.assign(257, 0);
    chunk_starts[0] = chunks_start;
    known_chunks = 1;
  }
  // What the table offset says about the file.
  const char* text = nullptr;
  long long missing = 0;
  if (input->seekEnd(0)) {
    const int64_t size = input->tell();
    if (chunk_table_start < size) {
      text = "corrupt chunk table";
    } else if (chunk_table_start == size) {
      text = "chunk table is missing. improper use of PTC compressor?";
    } else {
      missing = chunk_table_start - size;
    }
  } else {
    text = "corrupt chunk table";
  }
  if (variable) {
    // Without the table the chunks cannot be told apart.
    if (text) {
      set_error("%s", text);
    } else {
      set_error("chunk table and %lld bytes are missing. PTC file truncated during copy or transfer?", missing);
    }
    return false;
  }
  if (text) {
    set_warning("%s", text);
  } else {
    set_warning("chunk table and %lld bytes are missing. PTC file truncated during copy or transfer?", missing);
  }
  return input->seek(chunks_start);
}

bool LASreadPoint::restart_at_chunk(uint32_t chunk) {
  stop_parallel();
  decoder->done();
  chunk_index = chunk;
  if (!input->seek(chunk_starts[chunk])) return false;
  if (!start_chunk_state()) return false;
  chunk_point_count = 0;
  stalled = false;
  return true;
}

bool LASreadPoint::skip_points(int64_t n) {
  for (int64_t i = 0; i < n; i++) {
    if (!read(scratch_point.data())) return false;
  }
  return true;
}

bool LASreadPoint::seek(int64_t current, int64_t target) {
  if (input == nullptr || !input->isSeekable() || target < 0) return false;
  if (decoder == nullptr) {
    if (current != target) {
      block_next = block_filled = 0;
      return input->seek(data_start + int64_t(record_size) * target);
    }
    return true;
  }
  int64_t delta = 0;
  if (data_start == 0) {
    if (stalled || !start_chunk_state()) {
      stalled = true;
      return false;
    }
    chunk_point_count = 0;
  }
  if (!chunk_starts.empty()) {
    uint64_t chunk;
    if (!chunk_point_totals.empty()) {
      if (chunk_capacity == 0 || chunk_point_totals.size() < size_t(chunk_capacity) + 1) return false;
      uint32_t lower = 0;
      uint32_t upper = chunk_capacity;
      while (lower + 1 != upper) {
        const uint32_t mid = lower + (upper - lower) / 2;
        if (target < int64_t(chunk_point_totals[mid])) {
          upper = mid;
        } else {
          lower = mid;
        }
      }
      chunk = lower;
      chunk_size = chunk_point_totals[lower + 1] - chunk_point_totals[lower];
      delta = target - chunk_point_totals[lower];
    } else {
      if (chunk_size == 0 || chunk_size == NO_CHUNK_SIZE) return false;
      chunk = uint64_t(target) / chunk_size;
      delta = target % chunk_size;
    }
    if (chunk < known_chunks) {
      if (target < current || chunk != chunk_index) {
        if (!restart_at_chunk(static_cast<uint32_t>(chunk))) return false;
      } else {
        delta = target - current;
      }
    } else {
      if (known_chunks == 0) return false;
      if (chunk_index < known_chunks - 1 && !restart_at_chunk(known_chunks - 1)) return false;
      delta += int64_t(chunk_size) * int64_t(chunk - chunk_index) - chunk_point_count;
    }
  } else {
    if (target < current) {
      decoder->done();
      stop_parallel();
      if (!input->seek(data_start) || !start_chunk_state()) return false;
      chunk_point_count = 0;
      stalled = false;
      delta = target;
    } else if (target > current) {
      delta = target - current;
    } else {
      return true;
    }
  }
  return skip_points(delta);
}

bool LASreadPoint::check_end() {
  if (serving) {
    // A served chunk decoded cleanly to its end; one cut short is not at
    // the end of its code.
    serving = false;
    stalled = true;
    chunk_index++;
    if (serve_left) {
      set_error("chunk with index %u of %u is corrupt", chunk_index - 1, known_chunks);
      return false;
    }
    return true;
  }
  if (decoder && readers == compressed_set && compressed_set) {
    decoder->done();
    stalled = true;  // no more points until a seek restarts a chunk
    chunk_index++;
    if (chunk_index < known_chunks && input && input->tell() != chunk_starts[chunk_index]) {
      set_error("chunk with index %u of %u is corrupt", chunk_index - 1, known_chunks);
      return false;
    }
  }
  return true;
}

bool LASreadPoint::done() {
  stop_parallel();
  input = nullptr;
  return true;
}

// ---------------------------------------------------------------------------
// Parallel decoding: chunks ahead on worker threads, handed out in order.
// ---------------------------------------------------------------------------

void LASreadPoint::set_threads(unsigned count, int64_t points) {
  threads = count ? count : 1;
  point_count = points;
}

void LASreadPoint::stop_parallel() {
  if (parallel) parallel->drain();
  serving = false;
  serve_left = 0;
}

uint32_t LASreadPoint::points_of_chunk(uint32_t chunk) const {
  // A complete table ends with the end of the last chunk.
  if (!table_complete || point_count < 0 || uint64_t(chunk) + 1 >= known_chunks) return 0;
  int64_t first;
  int64_t count;
  if (!chunk_point_totals.empty()) {
    if (size_t(chunk) + 1 >= chunk_point_totals.size()) return 0;
    first = chunk_point_totals[chunk];
    count = int64_t(chunk_point_totals[chunk + 1]) - first;
  } else {
    if (chunk_size == 0 || chunk_size == NO_CHUNK_SIZE) return 0;
    first = int64_t(chunk) * chunk_size;
    count = chunk_size;
  }
  count = std::min<int64_t>(count, point_count - first);
  if (count <= 0 || uint64_t(count) * buffer_record > MAX_AHEAD_RECORD_BYTES) return 0;
  return static_cast<uint32_t>(count);
}

bool LASreadPoint::serve_chunk(uint32_t chunk) {
  serving = false;
  if (parallel && parallel->readers.size() != threads) {
    parallel->drain();
    parallel.reset();
  }
  if (threads <= 1 || !table_complete || !input->isSeekable() || setup_ptcomp == nullptr) {
    input->seek(chunk_starts[chunk]);
    return false;
  }
  if (!parallel) {
    parallel.reset(new Parallel());
    Parallel& p = *parallel;
    for (unsigned i = 0; i < threads; i++) {
      p.readers.emplace_back(new LASreadPoint(selective_mask));
      if (!p.readers.back()->setup(reader_count, setup_items, setup_ptcomp)) {
        parallel.reset();
        threads = 1;
        input->seek(chunk_starts[chunk]);
        return false;
      }
    }
    p.slots.resize(size_t(threads) * 2);
    p.pool.reset(new WorkerPool(threads));
    if (input->seekEnd(0)) p.stream_size = input->tell();
  }
  Parallel& p = *parallel;
  if (p.in_flight && p.slots[p.first].chunk != chunk) p.drain();
  if (p.in_flight == 0) p.next_chunk = chunk;

  // Queue chunks until every slot is in flight. Their code is read here, on
  // the calling thread; the stream goes back to this chunk's start after.
  while (p.in_flight < p.slots.size()) {
    const uint32_t queued = p.next_chunk;
    const uint32_t count = points_of_chunk(queued);
    if (count == 0) break;
    p.next_chunk++;
    ChunkSlot& s = p.slots[(p.first + p.in_flight) % p.slots.size()];
    s.chunk = queued;
    s.count = count;
    s.read = false;
    s.clean = false;
    p.in_flight++;
    const int64_t start = chunk_starts[queued];
    const int64_t end = chunk_starts[queued + 1];
    if (end - start > MAX_AHEAD_CODE_BYTES || (p.stream_size >= 0 && end > p.stream_size)) continue;
    s.code.resize(size_t(end - start));
    try {
      if (!input->seek(start)) continue;
      input->getBytes(s.code.data(), end - start);
    } catch (...) {
      continue;
    }
    s.records.resize(size_t(count) * buffer_record);
    s.read = true;
    ChunkSlot* job = &s;
    Parallel* shared = &p;
    s.ticket = p.pool->submit([job, shared](unsigned worker) {
      job->clean = shared->readers[worker]->decode_chunk(job->code.data(), job->code.size(), job->count,
                                                         job->records.data());
    });
  }

  if (p.in_flight == 0 || p.slots[p.first].chunk != chunk) {
    input->seek(chunk_starts[chunk]);
    return false;
  }
  ChunkSlot& s = p.slots[p.first];
  if (s.read) p.pool->wait(s.ticket);
  p.first = (p.first + 1) % p.slots.size();
  p.in_flight--;
  if (!s.read || !s.clean) {
    // Decoded here, sequentially, with whatever it reports.
    input->seek(chunk_starts[chunk]);
    return false;
  }
  // The slot stays untouched until the next call: no chunk is queued
  // while this one is handed out.
  serving = true;
  served_chunks++;
  serve_next = s.records.data();
  serve_left = s.count;
  return true;
}

void LASreadPoint::serve_point(uint8_t* const* point) {
  const uint8_t* record = serve_next;
  for (uint32_t i = 0; i < reader_count; i++) {
    memcpy(point[i], record, buffer_sizes[i]);
    record += buffer_sizes[i];
  }
  serve_next = record;
  serve_left--;
  chunk_point_count++;
}

bool LASreadPoint::next_after_served(uint8_t* const* point) {
  serving = false;
  const uint32_t next = chunk_index + 1;
  chunk_index = next;
  chunk_point_count = 0;
  if (!chunk_point_totals.empty() && size_t(next) + 1 < chunk_point_totals.size()) {
    chunk_size = chunk_point_totals[next + 1] - chunk_point_totals[next];
  }
  if (serve_chunk(next)) {
    data_start = chunk_starts[next];
    serve_point(point);
    return true;
  }
  // The sequential path starts the chunk: the stream stands at its start.
  data_start = chunk_starts[next];
  readers = nullptr;
  return false;
}

bool LASreadPoint::decode_chunk(const uint8_t* data, size_t size, uint32_t count, uint8_t* out) {
  ByteStreamInArray* stream = block_stream;
  if (stream == nullptr) stream = block_stream = new_byte_stream_in_array(nullptr, 0);
  stream->init(data, static_cast<long long>(size));
  uint8_t* const* point = scratch_point.data();
  try {
    uint32_t context = 0;
    for (uint32_t i = 0; i < reader_count; i++) {
      raw_readers[i]->init(stream);
      raw_readers[i]->read(point[i], context);
    }
    if (layered) {
      decoder->init(stream, false);
      uint32_t stored_count;
      stream->get32bitsLE(reinterpret_cast<unsigned char*>(&stored_count));
      uint64_t layer_bytes = 0;
      for (uint32_t i = 0; i < reader_count; i++) {
        compressed_readers[i]->chunk_sizes();
        layer_bytes += compressed_readers[i]->chunk_layer_bytes();
      }
      if (layer_bytes > uint64_t(stream->get_size() - stream->tell())) return false;
      for (uint32_t i = 0; i < reader_count; i++) compressed_readers[i]->init(point[i], context);
    } else {
      for (uint32_t i = 0; i < reader_count; i++) compressed_readers[i]->init(point[i], context);
      decoder->init(stream);
    }
    for (uint32_t n = 0;;) {
      for (uint32_t i = 0; i < reader_count; i++) {
        memcpy(out, point[i], buffer_sizes[i]);
        out += buffer_sizes[i];
      }
      if (++n == count) break;
      context = 0;
      for (uint32_t i = 0; i < reader_count; i++) compressed_readers[i]->read(point[i], context);
    }
    decoder->done();
  } catch (...) {
    return false;
  }
  return stream->tell() == static_cast<long long>(size);
}
