// ZncAES: AES (FIPS 197) through the engine; 16-byte blocks, keys of 16, 24
// or 32 bytes.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_blockcipher.h"

class ZN_EXPORT ZncAES : public ZncBlockCipher {
 public:
  ZncAES();
  ZncAES(const ZncAES& other);
  ZncAES& operator=(const ZncAES& other);
  ~ZncAES() override;

  void setKey(const void* key, int len) override;
  using ZncBlockCipher::setKey;
  void encBlock(const void* in, void* out) override;
  void decBlock(const void* in, void* out) override;

 protected:
  void encBlocks(const unsigned char* in, unsigned char* out, int blocks) override;
  void decBlocks(const unsigned char* in, unsigned char* out, int blocks) override;

 private:
  void* ctx = nullptr;
  ZncBucket m_key;
};
