// ZncGOST: GOST 28147-89 through the engine; 8-byte blocks, 32-byte keys,
// the S-boxes of the GOST R 34.11-94 test parameters (data written under
// other S-boxes cannot be read).
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_blockcipher.h"

class ZN_EXPORT ZncGOST : public ZncBlockCipher {
 public:
  ZncGOST();
  ZncGOST(const ZncGOST& other);
  ZncGOST& operator=(const ZncGOST& other);
  ~ZncGOST() override;

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
