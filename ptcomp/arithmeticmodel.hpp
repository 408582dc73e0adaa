// The adaptive probability models shared by the arithmetic decoder and
// encoder: a binary model with 13-bit probabilities and a symbol model with
// 15-bit cumulative frequencies (plus, for decoding alphabets above 16
// symbols, a lookup table that narrows the symbol search). Both sides update
// the models with the same rules, so encoder and decoder stay in step.
#ifndef PTCOMP_ARITHMETICMODEL_HPP
#define PTCOMP_ARITHMETICMODEL_HPP

#include <cstdint>  // uint32_t

// Renormalisation threshold and the start length of the coder interval.
constexpr uint32_t AC_MIN_LENGTH = 0x01000000u;
constexpr uint32_t AC_MAX_LENGTH = 0xFFFFFFFFu;

// Binary models: 13 bits of probability.
constexpr uint32_t BM_LENGTH_SHIFT = 13;
constexpr uint32_t BM_MAX_COUNT = 1u << BM_LENGTH_SHIFT;
constexpr uint32_t BM_MAX_CYCLE = 64;

// Symbol models: 15 bits of cumulative frequency.
constexpr uint32_t DM_LENGTH_SHIFT = 15;
constexpr uint32_t DM_MAX_COUNT = 1u << DM_LENGTH_SHIFT;
constexpr uint32_t DM_MIN_SYMBOLS = 2;
constexpr uint32_t DM_MAX_SYMBOLS = 2048;

class ArithmeticBitModel {
 public:
  ArithmeticBitModel() { init(); }
  void init() {
    cycle_length = until_update = 4;
    zero_probability = 1u << (BM_LENGTH_SHIFT - 1);
    zero_count = 1;
    bit_total = 2;
  }
  // Recomputes the probability from the counts; run every cycle_length bits.
  void update();

  uint32_t cycle_length;
  uint32_t until_update;
  uint32_t zero_probability;
  uint32_t zero_count;
  uint32_t bit_total;
};

class ArithmeticModel {
 public:
  // A model of `symbols` symbols; memory is allocated by the first init.
  // Encoding models never carry a lookup table.
  ArithmeticModel(uint32_t symbols, bool encoding);
  ~ArithmeticModel();
  ArithmeticModel(const ArithmeticModel&) = delete;
  ArithmeticModel& operator=(const ArithmeticModel&) = delete;

  // Starts (or restarts) the statistics, all counts 1 or taken from
  // `initial_counts`. -1 when the alphabet size is outside 2..2048 or memory
  // runs out; the model is then unusable and must not be coded with.
  int init(const uint32_t* initial_counts = nullptr);
  // Recomputes cumulative frequencies and the lookup table; run every
  // cycle_length symbols.
  void update();
  bool usable() const { return cumulative != nullptr; }

  uint32_t* cumulative = nullptr;  // the one allocation, also holding counts and lookup
  uint32_t* counts = nullptr;
  uint32_t* lookup = nullptr;
  uint32_t count_total = 0;
  uint32_t cycle_length = 0;
  uint32_t until_update = 0;
  uint32_t alphabet_size;
  uint32_t top_symbol = 0;
  uint32_t lookup_size = 0;
  uint32_t lookup_shift = 0;
  bool encoding;
};

#endif
