// A running median of the last five values, used to predict coordinate
// differences: five sorted values and a flag saying which end the next value
// replaces, so that the median (the middle value) follows the recent
// differences with one insertion step per value.
#ifndef PTCOMP_STREAMINGMEDIAN5_HPP
#define PTCOMP_STREAMINGMEDIAN5_HPP

#include <cstdint>  // int32_t

class StreamingMedian5 {
 public:
  StreamingMedian5() { init(); }
  void init() {
    values[0] = values[1] = values[2] = values[3] = values[4] = 0;
    high = true;
  }
  int32_t get() const { return values[2]; }
  void add(int32_t v) {
    int32_t* e = values;
    if (high) {
      if (v < e[2]) {
        e[4] = e[3];
        e[3] = e[2];
        if (v < e[0]) {
          e[2] = e[1];
          e[1] = e[0];
          e[0] = v;
        } else if (v < e[1]) {
          e[2] = e[1];
          e[1] = v;
        } else {
          e[2] = v;
        }
      } else {
        if (v < e[3]) {
          e[4] = e[3];
          e[3] = v;
        } else {
          e[4] = v;
        }
        high = false;
      }
    } else {
      if (e[2] < v) {
        e[0] = e[1];
        e[1] = e[2];
        if (e[4] < v) {
          e[2] = e[3];
          e[3] = e[4];
          e[4] = v;
        } else if (e[3] < v) {
          e[2] = e[3];
          e[3] = v;
        } else {
          e[2] = v;
        }
      } else {
        if (e[1] < v) {
          e[0] = e[1];
          e[1] = v;
        } else {
          e[0] = v;
        }
        high = true;
      }
    }
  }

  int32_t values[5];
  bool high;
};

#endif
