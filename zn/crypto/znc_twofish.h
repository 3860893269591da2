// ZncTwofish: Twofish through the engine; 16-byte blocks, keys of 16, 24 or 32
// bytes. Its one-block calls are protected: it is used only through the
// chaining modes.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_blockcipher.h"

class ZN_EXPORT ZncTwofish : public ZncBlockCipher {
 public:
  ZncTwofish();
  ZncTwofish(const ZncTwofish& other);
  ZncTwofish& operator=(const ZncTwofish& other);
  ~ZncTwofish() override;

  void setKey(const void* key, int len) override;
  using ZncBlockCipher::setKey;

 protected:
  void encBlock(const void* in, void* out) override;
  void decBlock(const void* in, void* out) override;
  void encBlocks(const unsigned char* in, unsigned char* out, int blocks) override;
  void decBlocks(const unsigned char* in, unsigned char* out, int blocks) override;

 private:
  void* ctx = nullptr;
  ZncBucket m_key;
};
