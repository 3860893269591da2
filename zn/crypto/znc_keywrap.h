// ZncKeyWrap: the key-wrap process of RFC 3394 over any keyed block cipher,
// with semiblocks of half the cipher's block (8 bytes for AES, 4 for an
// 8-byte-block cipher) and a padding step that always adds 1 to h bytes of
// value m, so a key of any length, a single semiblock included, wraps to
// (len div h + 2) * h bytes. The cipher is not owned and must hold its key.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_bucket.h"

class ZncBlockCipher;

class ZN_EXPORT ZncKeyWrap {
 public:
  explicit ZncKeyWrap(ZncBlockCipher* cipher);

  ZncBucket wrap(const ZncBucket& plain);
  ZncBucket unWrap(const ZncBucket& wrapped);

 private:
  ZncBlockCipher* cipher;
};
