// The reader of LAS files and their compressed form (PTC): opens the file,
// reads and checks the public header block, the VLRs, the user data around
// them and the EVLRs into the header, interprets and consumes the records the
// system knows, validates the compressor settings and hands the point data
// to a LASreadPoint, which decodes one record per read.
#ifndef LASIO_LASREADERLAS_HPP
#define LASIO_LASREADERLAS_HPP

#include <cstdint>  // fixed-width fields
#include <cstdio>   // FILE

#include "lasio/lasreader.hpp"  // LASreader
#include "tool/lasutility.hpp"  // LAS_IO_BUFFER_SIZE

class ByteStreamIn;
class LASreadOpener;
class LASreadPoint;

class LASreaderLAS : public LASreader {
 public:
  static constexpr int DEFAULT_IO_BUFFER_SIZE = LAS_IO_BUFFER_SIZE;

  explicit LASreaderLAS(LASreadOpener* opener = nullptr);
  ~LASreaderLAS() override;

  // Opens a file by name with a fully buffered FILE of io_buffer_size bytes.
  bool open(const char* file_name, int io_buffer_size = DEFAULT_IO_BUFFER_SIZE, bool peek_only = false,
            unsigned int decompress_selective = 0xFFFFFFFFu);
  // Opens a stream positioned at the start of the file. The reader deletes
  // the stream in close unless `delete_stream` is cleared.
  virtual bool open(ByteStreamIn* stream, bool peek_only = false, unsigned int decompress_selective = 0xFFFFFFFFu);

  int get_format() const override;
  bool seek(long long p_index) override;
  ByteStreamIn* get_stream() const override { return stream; }
  void close(bool close_stream = true) override;

  // Decodes the chunks of compressed points on `threads` worker threads
  // (1: none). Works before or after open; reads that seek from one area
  // interval to the next decode on the calling thread.
  void set_threads(unsigned threads);

  // The point reader, for its error and warning texts (null before open).
  const LASreadPoint* get_point_reader() const { return reader; }
  const char* get_file_name() const { return file_name; }

  FILE* file;
  char* file_name;
  ByteStreamIn* stream;
  bool delete_stream;
  LASreadPoint* reader;
  bool checked_end;
  bool keep_copc;
  unsigned threads = 1;

 protected:
  bool read_point_default() override;

 private:
  // The steps of open, in order.
  void start_over(ByteStreamIn* new_stream);
  bool read_header_block();
  bool check_header_block();
  bool read_later_blocks(uint32_t* block_size);
  bool read_user_data_in_header(uint32_t block_size);
  bool read_vlrs(bool* vlrs_cut);
  bool read_user_data_after_vlrs(uint32_t point_data_offset);
  bool read_evlrs(uint32_t count);
  void remove_copc_records();
  bool check_compression(bool vlrs_cut);
  void z_from_attribute();
  bool create_point_reader(unsigned int decompress_selective);
  void read_special_index(uint32_t point_data_offset);
  void read_lax_index();
  bool start_point_data(uint32_t point_data_offset);
};

#endif
