// A table of 256 symbol models of 256 symbols each, selected by the previous
// value of a byte field (flag byte, classification, user data). A model is
// created the first time its byte value occurs and re-initialised before its
// first use in every later chunk, which gives the same statistics as
// re-initialising every existing model at each chunk start without touching
// the models a chunk never uses.
#ifndef PTCOMP_BYTEMODELTABLE_HPP
#define PTCOMP_BYTEMODELTABLE_HPP

#include <cstdint>  // uint8_t, uint32_t

#include "ptcomp/arithmeticmodel.hpp"  // ArithmeticModel

class ByteModelTable {
 public:
  // encoding: models for the encoder (no decoding lookup table).
  explicit ByteModelTable(bool encoding) : encoding(encoding) {
    for (int i = 0; i < 256; i++) {
      models[i] = nullptr;
      stamps[i] = 0;
    }
  }
  ~ByteModelTable() {
    for (int i = 0; i < 256; i++) delete models[i];
  }
  ByteModelTable(const ByteModelTable&) = delete;
  ByteModelTable& operator=(const ByteModelTable&) = delete;

  // A new chunk starts: every model restarts its statistics at its next use.
  void restart() {
    if (++generation == 0) {
      // After 2^32 chunks the stamps could match by accident: start over.
      for (int i = 0; i < 256; i++) stamps[i] = 0;
      generation = 1;
    }
  }

  // The model for byte value `index`, created or re-initialised as needed.
  ArithmeticModel* get(uint8_t index) {
    if (stamps[index] != generation) fresh(index);
    return models[index];
  }

 private:
  void fresh(uint8_t index) {
    if (models[index] == nullptr) models[index] = new ArithmeticModel(256, encoding);
    models[index]->init();
    stamps[index] = generation;
  }

  ArithmeticModel* models[256];
  uint32_t stamps[256];
  uint32_t generation = 1;
  bool encoding;
};

#endif
