// ZncTwister: the engine's Mersenne Twister, for sequences that must come
// out the same from the same seed (test data, sampling). Never for keys:
// those come from Znc::getRand. Objects serve one thread at a time.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_bucket.h"

class ZN_EXPORT ZncTwister {
 public:
  ZncTwister();
  ZncTwister(const ZncTwister&) = delete;
  ZncTwister& operator=(const ZncTwister&) = delete;
  ~ZncTwister();

  // Every byte counts: two seeds that differ anywhere give other sequences.
  void seed(const unsigned char* bytes, int len);
  // Four bytes of the sequence, in memory order.
  unsigned int getInt();
  ZncBucket get(int n);

 private:
  void* ctx = nullptr;
};
