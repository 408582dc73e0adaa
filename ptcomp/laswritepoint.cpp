// The point record writer: item writer sets, the raw record block and the
// chunks encoded on worker threads.
#include "ptcomp/laswritepoint.hpp"

#include <algorithm>  // min
#include <cstdarg>  // va_list for the error text
#include <cstdio>   // vsnprintf
#include <cstring>  // memcpy
#include <utility>  // std::move

#include "las/bytestreamout_array.hpp"   // ByteStreamOutArray, chunks encoded by the workers
#include "las/endianness.hpp"            // Endian::IS_LITTLE_ENDIAN: records copied as stored
#include "ptcomp/arithmeticencoder.hpp"  // ArithmeticEncoder
#include "ptcomp/integercompressor.hpp"  // IntegerCompressor, the chunk table entries
#include "ptcomp/lasitemcodecs.hpp"      // create_write_item_compressed, the item codecs
#include "ptcomp/lasreaditemraw.hpp"     // las_item_is_layered
#include "ptcomp/laswriteitemraw.hpp"    // create_write_item_raw
#include "ptcomp/ptcomp.hpp"             // PTcomp, the compressor settings
#include "tool/workerpool.hpp"           // WorkerPool, the chunk encoding threads

namespace {

constexpr size_t BLOCK_BYTES = 65536;
// The memory all chunk batches together may take.
constexpr size_t ALL_BATCHES_BYTES = size_t(64) << 20;

// Bytes of an item's buffer in memory (POINT14 has 48 bytes for 30 on disk).
uint32_t buffer_size(const LASitem& item) { return item.type == LASitem::POINT14 ? 48u : item.size; }

// One worker's encoder: its own item writers around its own arithmetic
// encoder, reused from chunk to chunk (every chunk starts them afresh).
struct ChunkEncoder {
  ArithmeticEncoder encoder;
  std::vector<std::unique_ptr<LASwriteItemRaw>> raw;
  std::vector<std::unique_ptr<LASwriteItemCompressed>> compressed;
  std::vector<const uint8_t*> point;  // item buffers of the point being encoded
};

// A chunk on its way to a worker (its points, item buffers one after the
// other) and back (its bytes).
struct ChunkSlot {
  std::vector<uint8_t> points;
  uint32_t count = 0;
  std::unique_ptr<ByteStreamOutArray> coded;
  int64_t bytes = 0;  // what the chunk table lists
  bool failed = false;
  uint64_t ticket = 0;
};

}  // namespace

struct LASwritePoint::Parallel {
  Parallel(unsigned workers, size_t slot_count) : slots(slot_count), pool(workers) {}

  uint32_t point_bytes = 0;
  uint32_t batch_limit = 0;  // points in a batch
  bool spilled = false;      // the open chunk goes out on the calling thread
  std::vector<const uint8_t*> point;  // item buffers of a batched point
  std::vector<uint32_t> offsets;  // of each item's buffer in a batched point
  std::vector<uint32_t> sizes;    // and its bytes
  std::vector<std::unique_ptr<ChunkEncoder>> encoders;  // one per worker
  // A ring: the chunks in flight from `first` on in chunk order, then the
  // one collecting points, `batch`, when there is one.
  std::vector<ChunkSlot> slots;
  size_t first = 0;
  size_t in_flight = 0;
  ChunkSlot* batch = nullptr;
  bool failed = false;
  WorkerPool pool;  // last, so that its end waits for jobs still using the rest
};

namespace {

// Encodes one chunk into its slot's memory the way the calling thread's
// path writes it to the output: the raw first point, then the code of the
// others (layered: the point count, the layer sizes, the layers).
bool encode_chunk(ChunkEncoder& e, ChunkSlot& s, const std::vector<uint32_t>& offsets, uint32_t point_bytes,
                  bool layered, uint32_t record_size) {
  ByteStreamOutArray* out = s.coded.get();
  if (!out->seek(0)) return false;
  const size_t items = e.raw.size();
  auto point = [&](uint32_t k) {
    const uint8_t* record = s.points.data() + size_t(k) * point_bytes;
    for (size_t i = 0; i < items; i++) e.point[i] = record + offsets[i];
    return e.point.data();
  };
  uint32_t context = 0;
  const uint8_t* const* p = point(0);
  for (size_t i = 0; i < items; i++) {
    if (!e.raw[i]->init(out) || !e.raw[i]->write(p[i], context)) return false;
  }
  for (size_t i = 0; i < items; i++) e.compressed[i]->init(p[i], context);
  e.encoder.init(out);
  for (uint32_t k = 1; k < s.count; k++) {
    p = point(k);
    // Every point starts from context 0, as on the calling thread: the
    // items of version 3 follow the channel only where it changes.
    context = 0;
    for (size_t i = 0; i < items; i++) e.compressed[i]->write(p[i], context);
  }
  if (layered) {
    const uint32_t count = s.count;
    bool ok = out->put32bitsLE(reinterpret_cast<const unsigned char*>(&count));
    for (size_t i = 0; ok && i < items; i++) ok = e.compressed[i]->chunk_sizes();
    for (size_t i = 0; ok && i < items; i++) ok = e.compressed[i]->chunk_bytes();
    s.bytes = out->tell();
    return ok;
  }
  if (!e.encoder.done()) return false;
  s.bytes = int64_t(record_size) + static_cast<int64_t>(e.encoder.get_bytes_written());
  return s.bytes == out->tell();
}

}  // namespace

LASwritePoint::LASwritePoint() { error_text[0] = '\0'; }

LASwritePoint::~LASwritePoint() { clear(); }

void LASwritePoint::clear() {
  parallel.reset();
  item_list.clear();
  for (uint32_t i = 0; i < writer_count; i++) {
    if (raw_writers) delete raw_writers[i];
    if (compressed_writers) delete compressed_writers[i];
  }
  delete[] raw_writers;
  delete[] compressed_writers;
  raw_writers = nullptr;
  compressed_writers = nullptr;
  writer_count = 0;
  delete encoder;
  encoder = nullptr;
  compressor = 0;
  layered = false;
  chunk_size = 0xFFFFFFFFu;
  record_size = 0;
  item_sizes.clear();
  copy_items = false;
  block.clear();
  block_used = 0;
}

void LASwritePoint::set_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(error_text, sizeof(error_text), format, args);
  va_end(args);
}

bool LASwritePoint::setup(uint32_t num_items, const LASitem* items, const PTcomp* ptcomp) {
  clear();
  if (num_items == 0 || items == nullptr) {
    set_error("point record without items");
    return false;
  }
  if (ptcomp && ptcomp->compressor != PTcomp::COMPRESSOR_NONE) {
    if (num_items != ptcomp->num_items || items != ptcomp->items) {
      set_error("items differ from those of the compressor settings");
      return false;
    }
    if (ptcomp->coder != PTcomp::CODER_ARITHMETIC) {
      set_error("coder %u not supported", static_cast<unsigned>(ptcomp->coder));
      return false;
    }
    if (ptcomp->compressor > PTcomp::COMPRESSOR_LAYERED_CHUNKED) {
      set_error("compressor %u not supported", static_cast<unsigned>(ptcomp->compressor));
      return false;
    }
    encoder = new ArithmeticEncoder();
    compressor = ptcomp->compressor;
    layered = compressor == PTcomp::COMPRESSOR_LAYERED_CHUNKED;
  }

  writer_count = num_items;
  item_list.assign(items, items + num_items);
  raw_writers = new LASwriteItemRaw*[num_items]();
  item_sizes.resize(num_items);
  bool has_point14 = false;
  for (uint32_t i = 0; i < num_items; i++) {
    raw_writers[i] = create_write_item_raw(items[i]);
    if (raw_writers[i] == nullptr) {
      set_error("item %u of type %u and size %u not supported", i, static_cast<unsigned>(items[i].type),
                static_cast<unsigned>(items[i].size));
      return false;
    }
    item_sizes[i] = items[i].size;
    record_size += items[i].size;
    if (items[i].type == LASitem::POINT14) has_point14 = true;
  }
  if (encoder == nullptr) {
    copy_items = Endian::IS_LITTLE_ENDIAN && !has_point14;
    return true;
  }

  compressed_writers = new LASwriteItemCompressed*[num_items]();
  for (uint32_t i = 0; i < num_items; i++) {
    if (las_item_is_layered(items[i]) != layered) {
      set_error("item %u of type %u and version %u does not fit compressor %u", i,
                static_cast<unsigned>(items[i].type), static_cast<unsigned>(items[i].version),
                static_cast<unsigned>(compressor));
      return false;
    }
    compressed_writers[i] = create_write_item_compressed(items[i], encoder);
    if (compressed_writers[i] == nullptr) {
      set_error("no encoder for item %u of type %u and version %u", i, static_cast<unsigned>(items[i].type),
                static_cast<unsigned>(items[i].version));
      return false;
    }
  }
  if (compressor != PTcomp::COMPRESSOR_POINTWISE && ptcomp->chunk_size) chunk_size = ptcomp->chunk_size;
  return true;
}

bool LASwritePoint::init(ByteStreamOut* outstream) {
  if (outstream == nullptr || raw_writers == nullptr) return false;
  output = outstream;
  for (uint32_t i = 0; i < writer_count; i++) raw_writers[i]->init(output);
  parallel.reset();
  if (encoder) {
    if (!init_compressed()) return false;
    if (threads <= 1 || compressor == PTcomp::COMPRESSOR_POINTWISE) return true;
    // Chunked output on worker threads: one encoder per worker.
    uint32_t point_bytes = 0;
    for (const LASitem& item : item_list) point_bytes += buffer_size(item);
    // About two chunks per worker in flight, within the memory the batches
    // may take.
    const uint32_t batch_limit =
        static_cast<uint32_t>(std::max<size_t>(1, std::min<size_t>(chunk_size, max_batch_bytes / point_bytes)));
    const size_t slot_count = std::max<size_t>(
        3, std::min<size_t>(2 * size_t(threads) + 1, ALL_BATCHES_BYTES / (size_t(batch_limit) * point_bytes)));
    parallel.reset(new Parallel(threads, slot_count));
    Parallel& par = *parallel;
    par.batch_limit = batch_limit;
    par.point.resize(item_list.size());
    for (const LASitem& item : item_list) {
      par.offsets.push_back(par.point_bytes);
      par.sizes.push_back(buffer_size(item));
      par.point_bytes += buffer_size(item);
    }
    for (unsigned w = 0; w < threads; w++) {
      std::unique_ptr<ChunkEncoder> e(new ChunkEncoder());
      for (const LASitem& item : item_list) {
        e->raw.emplace_back(create_write_item_raw(item));
        e->compressed.emplace_back(create_write_item_compressed(item, &e->encoder));
        if (!e->raw.back() || !e->compressed.back()) {
          parallel.reset();
          set_error("no encoder for item of type %u and version %u", static_cast<unsigned>(item.type),
                    static_cast<unsigned>(item.version));
          return false;
        }
      }
      e->point.resize(item_list.size());
      par.encoders.push_back(std::move(e));
    }
    // Room for a chunk of raw records, so that the code rarely outgrows it.
    for (ChunkSlot& slot : par.slots) {
      slot.coded.reset(new_byte_stream_out_array(static_cast<long long>(batch_limit) * record_size + 4096));
    }
    return true;
  }
  if (copy_items) {
    const size_t records = record_size < BLOCK_BYTES ? BLOCK_BYTES / record_size : 1;
    block.assign(records * record_size, 0);
    block_used = 0;
  }
  return true;
}

bool LASwritePoint::flush_block() {
  if (block_used == 0) return true;
  const bool ok = output->putBytes(block.data(), static_cast<unsigned int>(block_used));
  block_used = 0;
  if (!ok) set_error("cannot write point data");
  return ok;
}

bool LASwritePoint::write(const uint8_t* const* point) {
  if (output == nullptr) return false;
  if (parallel) {
    if (parallel->spilled) {
      if (chunk_count < chunk_size) return write_compressed(point);
      parallel->spilled = false;  // the chunk is full: back to the workers
      if (!end_chunk()) return false;
    }
    return write_parallel(point);
  }
  if (encoder) return write_compressed(point);
  if (copy_items) {
    if (block_used + record_size > block.size() && !flush_block()) return false;
    uint8_t* record = block.data() + block_used;
    for (uint32_t i = 0; i < writer_count; i++) {
      memcpy(record, point[i], item_sizes[i]);
      record += item_sizes[i];
    }
    block_used += record_size;
    return true;
  }
  uint32_t context = 0;
  for (uint32_t i = 0; i < writer_count; i++) {
    if (!raw_writers[i]->write(point[i], context)) {
      set_error("cannot write point data");
      return false;
    }
  }
  return true;
}

bool LASwritePoint::chunk() {
  if (encoder == nullptr) return false;
  return chunk_compressed();
}

bool LASwritePoint::done() {
  if (output == nullptr) return true;
  bool ok = true;
  if (parallel) {
    ok = done_parallel();
  } else if (encoder) {
    ok = done_compressed();
  } else if (copy_items) {
    ok = flush_block();
  }
  output = nullptr;
  return ok;
}

// ---------------------------------------------------------------------------
// Compressed output (kinds 1 to 3): the chunked compressor and its chunk table
// are built here on top of the compressed item writers.
// ---------------------------------------------------------------------------


bool LASwritePoint::init_compressed() {
  chunk_open = false;
  chunk_count = 0;
  chunk_points.clear();
  chunk_bytes.clear();
  table_offset_position = -1;
  if (compressor == PTcomp::COMPRESSOR_POINTWISE) return true;
  // Chunked data begins with the 8-byte offset of the chunk table. Until
  // done() writes the table, the offset points at itself, which readers
  // take for "the writer never came back"; where the stream cannot seek
  // back, it is -1 and done() appends the real offset after the table.
  table_offset_position = output->tell();
  if (table_offset_position < 0) {
    set_error("chunked point data needs an output whose position is known");
    return false;
  }
  const int64_t placeholder = output->isSeekable() ? table_offset_position : -1;
  if (!output->put64bitsLE(reinterpret_cast<const unsigned char*>(&placeholder))) {
    set_error("cannot write point data");
    return false;
  }
  return true;
}

bool LASwritePoint::write_compressed(const uint8_t* const* point) {
  uint32_t context = 0;
  if (chunk_open && chunk_count == chunk_size && !end_chunk()) return false;
  if (!chunk_open) {
    // The first point of a chunk goes out raw and starts the predictions.
    chunk_start = output->tell();
    for (uint32_t i = 0; i < writer_count; i++) {
      if (!raw_writers[i]->write(point[i], context)) {
        set_error("cannot write point data");
        return false;
      }
    }
    for (uint32_t i = 0; i < writer_count; i++) compressed_writers[i]->init(point[i], context);
    encoder->init(output);
    chunk_open = true;
    chunk_count = 1;
    return true;
  }
  for (uint32_t i = 0; i < writer_count; i++) compressed_writers[i]->write(point[i], context);
  chunk_count++;
  return true;
}

bool LASwritePoint::end_chunk() {
  chunk_open = false;
  int64_t bytes;
  if (layered) {
    // After the raw first point: the point count, every item's layer sizes,
    // then every item's layers.
    const uint32_t count = chunk_count;
    bool ok = output->put32bitsLE(reinterpret_cast<const unsigned char*>(&count));
    for (uint32_t i = 0; ok && i < writer_count; i++) ok = compressed_writers[i]->chunk_sizes();
    for (uint32_t i = 0; ok && i < writer_count; i++) ok = compressed_writers[i]->chunk_bytes();
    if (!ok) {
      set_error("cannot write point data");
      return false;
    }
    bytes = output->tell() - chunk_start;
  } else {
    if (!encoder->done()) {
      set_error("cannot write point data");
      return false;
    }
    bytes = int64_t(record_size) + static_cast<int64_t>(encoder->get_bytes_written());
  }
  if (!record_chunk(chunk_count, bytes)) return false;
  chunk_count = 0;
  return true;
}

bool LASwritePoint::record_chunk(uint32_t points, int64_t bytes) {
  if (bytes > INT32_MAX) {
    // The chunk table codes lengths as 32-bit values.
    set_error("chunk %u has %lld bytes, more than a chunk table entry holds", static_cast<unsigned>(chunk_bytes.size()),
              static_cast<long long>(bytes));
    return false;
  }
  chunk_points.push_back(points);
  chunk_bytes.push_back(bytes);
  return true;
}

bool LASwritePoint::chunk_compressed() {
  if (compressor == PTcomp::COMPRESSOR_POINTWISE || chunk_size != 0xFFFFFFFFu) {
    set_error("chunks can be ended early only with variable chunk sizes");
    return false;
  }
  if (parallel) {
    if (parallel->spilled) {
      parallel->spilled = false;
      return end_chunk();
    }
    if (parallel->batch) submit_batch();
    return !parallel->failed;
  }
  if (!chunk_open) return true;
  return end_chunk();
}

bool LASwritePoint::done_compressed() {
  if (chunk_open && !end_chunk()) return false;
  if (compressor == PTcomp::COMPRESSOR_POINTWISE) return true;
  return write_chunk_table();
}

bool LASwritePoint::write_chunk_table() {
  int64_t table_start = table_offset_position + 8;
  for (int64_t bytes : chunk_bytes) table_start += bytes;
  if (output->isSeekable() && output->tell() != table_start) {
    set_error("point data ends at %lld, not at %lld", static_cast<long long>(output->tell()),
              static_cast<long long>(table_start));
    return false;
  }
  const uint32_t version = 0;
  const uint32_t number = static_cast<uint32_t>(chunk_bytes.size());
  bool ok = output->put32bitsLE(reinterpret_cast<const unsigned char*>(&version)) &&
            output->put32bitsLE(reinterpret_cast<const unsigned char*>(&number));
  if (ok && number > 0) {
    // Each entry is coded against the one before: point counts (only for
    // variable chunk sizes) in context 0, byte lengths in context 1.
    const bool variable = chunk_size == 0xFFFFFFFFu;
    encoder->init(output);
    IntegerCompressor ic(encoder, 32, 2, 8, 0);
    ic.initCompressor();
    for (uint32_t i = 0; i < number; i++) {
      if (variable) {
        ic.compress(i ? static_cast<int32_t>(chunk_points[i - 1]) : 0, static_cast<int32_t>(chunk_points[i]), 0);
      }
      ic.compress(i ? static_cast<int32_t>(chunk_bytes[i - 1]) : 0, static_cast<int32_t>(chunk_bytes[i]), 1);
    }
    ok = encoder->done();
  }
  if (ok) {
    if (output->isSeekable()) {
      ok = output->seek(table_offset_position) &&
           output->put64bitsLE(reinterpret_cast<const unsigned char*>(&table_start)) && output->seekEnd();
    } else {
      ok = output->put64bitsLE(reinterpret_cast<const unsigned char*>(&table_start));
    }
  }
  if (!ok) set_error("cannot write chunk table");
  return ok;
}

// ---------------------------------------------------------------------------
// Chunks encoded by worker threads. The calling thread batches the points of
// the open chunk, hands full chunks to the pool and writes finished ones in
// chunk order; at most two chunks per worker are in flight, so memory stays
// bounded. Workers only encode; every error text is set here.
// ---------------------------------------------------------------------------

bool LASwritePoint::write_parallel(const uint8_t* const* point) {
  Parallel& par = *parallel;
  if (par.batch == nullptr) {
    if (par.failed) return false;
    if (par.in_flight + 1 == par.slots.size() && !retire_oldest()) return false;
    par.batch = &par.slots[(par.first + par.in_flight) % par.slots.size()];
    par.batch->count = 0;
  }
  ChunkSlot& s = *par.batch;
  const size_t at = size_t(s.count) * par.point_bytes;
  if (s.points.size() < at + par.point_bytes) {
    // Grows geometrically up to the batch limit; slots keep their room.
    s.points.resize(std::min<size_t>(par.batch_limit, 2 * size_t(s.count) + 1024) * par.point_bytes);
  }
  uint8_t* record = s.points.data() + at;
  for (uint32_t i = 0; i < writer_count; i++) memcpy(record + par.offsets[i], point[i], par.sizes[i]);
  if (++s.count == chunk_size) {
    submit_batch();
  } else if (s.count == par.batch_limit) {
    return spill();
  }
  return true;
}

// The open chunk outgrew its batch (huge records, or variable chunks that
// are not ended): once the chunks before it are out, it is encoded here,
// straight to the output, from its first point to its end.
bool LASwritePoint::spill() {
  Parallel& par = *parallel;
  ChunkSlot& s = *par.batch;
  par.batch = nullptr;
  while (par.in_flight) {
    if (!retire_oldest()) return false;
  }
  par.spilled = true;
  for (uint32_t k = 0; k < s.count; k++) {
    const uint8_t* record = s.points.data() + size_t(k) * par.point_bytes;
    for (uint32_t i = 0; i < writer_count; i++) par.point[i] = record + par.offsets[i];
    if (!write_compressed(par.point.data())) return false;
  }
  return true;
}

void LASwritePoint::submit_batch() {
  Parallel& par = *parallel;
  ChunkSlot& s = *par.batch;
  par.batch = nullptr;
  s.failed = false;
  const bool layered_chunks = layered;
  const uint32_t record = record_size;
  Parallel* p = &par;
  ChunkSlot* slot = &s;
  s.ticket = par.pool.submit([p, slot, layered_chunks, record](unsigned worker) {
    slot->failed = !encode_chunk(*p->encoders[worker], *slot, p->offsets, p->point_bytes, layered_chunks, record);
  });
  par.in_flight++;
}

bool LASwritePoint::retire_oldest() {
  Parallel& par = *parallel;
  ChunkSlot& s = par.slots[par.first];
  par.pool.wait(s.ticket);
  par.first = (par.first + 1) % par.slots.size();
  par.in_flight--;
  bool ok = !s.failed;
  if (!ok) set_error("cannot write point data");
  if (ok) ok = record_chunk(s.count, s.bytes);
  if (ok && !output->putBytes(s.coded->get_data(), static_cast<unsigned int>(s.coded->tell()))) {
    set_error("cannot write point data");
    ok = false;
  }
  if (!ok) par.failed = true;
  return ok;
}

bool LASwritePoint::done_parallel() {
  Parallel& par = *parallel;
  if (par.failed) return false;
  if (par.spilled) return done_compressed();  // nothing in flight
  if (par.batch) submit_batch();
  while (par.in_flight) {
    if (!retire_oldest()) return false;
  }
  return write_chunk_table();
}
