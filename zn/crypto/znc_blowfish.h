// ZncBlowfish: Blowfish through the engine; 8-byte blocks, keys of 1 to 56
// bytes. Besides the modes of every block cipher it has CBC61, the plain
// CBC of the engine with the last partial block zero-padded (no stealing),
// which the protected data formats and the scrambler use.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_blockcipher.h"

class ZN_EXPORT ZncBlowfish : public ZncBlockCipher {
 public:
  ZncBlowfish();
  ZncBlowfish(const ZncBlowfish& other);
  ZncBlowfish& operator=(const ZncBlowfish& other);
  ~ZncBlowfish() override;

  void setKey(const void* key, int len) override;
  using ZncBlockCipher::setKey;
  void encBlock(const void* in, void* out) override;
  void decBlock(const void* in, void* out) override;

  // The result is `len` rounded up to 8; the IV advances to the last
  // cipher block, so calls of whole blocks continue one chain.
  int encCBC61(const void* in, void* out, int len);
  // `len` must be whole blocks; the padding is not removed (the caller
  // knows the plain length).
  int decCBC61(const void* in, void* out, int len);
  ZncBucket encCBC61(const ZncBucket& in);
  ZncBucket decCBC61(const ZncBucket& in);

 protected:
  void encBlocks(const unsigned char* in, unsigned char* out, int blocks) override;
  void decBlocks(const unsigned char* in, unsigned char* out, int blocks) override;

 private:
  void* ctx = nullptr;
  ZncBucket m_key;
};
