#include "zn/stream/ZNWord.h"

double ZNQuadWord::divide(unsigned long long a, unsigned long long b) {
  if (b == 0) return -1.0;
  return static_cast<double>(a) / static_cast<double>(b);
}
