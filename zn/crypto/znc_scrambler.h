// ZncScrambler: the format that keeps keys and small secrets at rest.
// Blowfish CBC61 under a key built into the library, with a random IV
// stored in the 8-byte header (method byte 0, IV bytes 0..6; byte 7 is the
// XOR of bytes 6, 4, 2 and 0) and a trailer block (ECB) carrying the CRC-32
// of the plain data, the count of valid bytes in the last block and 3
// random bytes. A stream may be cut into calls; every call but the last
// takes whole 8-byte blocks. Objects serve one thread at a time.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_bucket.h"

class ZN_EXPORT ZncScrambler {
 public:
  // Header and trailer: the most scrambling adds beyond 8-byte padding.
  static constexpr int kOverhead = 24;

  ZncScrambler();
  ZncScrambler(const ZncScrambler& other) = default;
  ZncScrambler(ZncScrambler&& other) = default;
  ZncScrambler& operator=(const ZncScrambler& other) = default;
  ZncScrambler& operator=(ZncScrambler&& other) = default;
  ~ZncScrambler();

  // The next call starts a new stream (after an exception mid-stream too).
  void reset();

  // Returns the bytes written; `out` needs len + 24 bytes.
  int scramble(const void* in, int len, void* out, int outSize, bool final);
  // Returns the plain bytes written; `out` needs len bytes. On a CRC
  // mismatch nothing of the last call's plain bytes is left in `out`.
  int descramble(const void* in, int len, void* out, int outSize, bool final);

  // One whole stream each.
  ZncBucket scramble(const ZncBucket& in);
  ZncBucket descramble(const ZncBucket& in);

 private:
  bool first = true;
  unsigned int crc = 0xFFFFFFFFu;
  ZncBucket iv;
  ZncBlowfish bf;
};
