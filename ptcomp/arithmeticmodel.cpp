// Model initialisation and the periodic statistics updates.
#include "ptcomp/arithmeticmodel.hpp"

#include <new>  // std::nothrow

void ArithmeticBitModel::update() {
  bit_total += cycle_length;
  if (bit_total > BM_MAX_COUNT) {
    bit_total = (bit_total + 1) >> 1;
    zero_count = (zero_count + 1) >> 1;
    if (zero_count == bit_total) ++bit_total;
  }
  zero_probability = ((0x80000000u / bit_total) * zero_count) >> (31 - BM_LENGTH_SHIFT);
  cycle_length = (5 * cycle_length) >> 2;
  if (cycle_length > BM_MAX_CYCLE) cycle_length = BM_MAX_CYCLE;
  until_update = cycle_length;
}

ArithmeticModel::ArithmeticModel(uint32_t symbols, bool encoding_model)
    : alphabet_size(symbols), encoding(encoding_model) {}

ArithmeticModel::~ArithmeticModel() { delete[] cumulative; }

int ArithmeticModel::init(const uint32_t* initial_counts) {
  if (cumulative == nullptr) {
    if (alphabet_size < DM_MIN_SYMBOLS || alphabet_size > DM_MAX_SYMBOLS) return -1;
    top_symbol = alphabet_size - 1;
    uint32_t total = 2 * alphabet_size;
    if (!encoding && alphabet_size > 16) {
      uint32_t table_bits = 3;
      while (alphabet_size > (1u << (table_bits + 2))) ++table_bits;
      lookup_size = 1u << table_bits;
      lookup_shift = DM_LENGTH_SHIFT - table_bits;
      total += lookup_size + 2;
    } else {
      lookup_size = 0;
      lookup_shift = 0;
    }
    cumulative = new (std::nothrow) uint32_t[total];
    if (cumulative == nullptr) return -1;
    counts = cumulative + alphabet_size;
    lookup = lookup_size ? cumulative + 2 * alphabet_size : nullptr;
  }
  count_total = 0;
  cycle_length = alphabet_size;
  for (uint32_t k = 0; k < alphabet_size; k++) counts[k] = initial_counts ? initial_counts[k] : 1;
  update();
  cycle_length = until_update = (alphabet_size + 6) >> 1;
  return 0;
}

void ArithmeticModel::update() {
  count_total += cycle_length;
  if (count_total > DM_MAX_COUNT) {
    count_total = 0;
    for (uint32_t k = 0; k < alphabet_size; k++) {
      counts[k] = (counts[k] + 1) >> 1;
      count_total += counts[k];
    }
  }
  const uint32_t scale = 0x80000000u / count_total;
  uint32_t sum = 0;
  if (lookup == nullptr) {
    for (uint32_t k = 0; k < alphabet_size; k++) {
      cumulative[k] = (scale * sum) >> (31 - DM_LENGTH_SHIFT);
      sum += counts[k];
    }
  } else {
    uint32_t s = 0;
    for (uint32_t k = 0; k < alphabet_size; k++) {
      cumulative[k] = (scale * sum) >> (31 - DM_LENGTH_SHIFT);
      sum += counts[k];
      uint32_t w = cumulative[k] >> lookup_shift;
      // Only counts given to init that exceed the count total could push w
      // past the table; keep the writes inside it regardless.
      if (w > lookup_size) w = lookup_size;
      while (s < w) lookup[++s] = k - 1;
    }
    lookup[0] = 0;
    while (s <= lookup_size) lookup[++s] = alphabet_size - 1;
  }
  cycle_length = (5 * cycle_length) >> 2;
  const uint32_t max_cycle = (alphabet_size + 6) << 3;
  if (cycle_length > max_cycle) cycle_length = max_cycle;
  until_update = cycle_length;
}
