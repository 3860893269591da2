// ZncDES and Znc3DES: DES (FIPS 46-3) and triple DES (encrypt-decrypt-
// encrypt) through the engine; 8-byte blocks, keys of 8 bytes for DES and
// of 16 or 24 bytes for triple DES (parity bits are ignored).
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_blockcipher.h"

class ZN_EXPORT ZncDES : public ZncBlockCipher {
 public:
  ZncDES();
  ZncDES(const ZncDES& other);
  ZncDES& operator=(const ZncDES& other);
  ~ZncDES() override;

  void setKey(const void* key, int len) override;
  using ZncBlockCipher::setKey;
  void encBlock(const void* in, void* out) override;
  void decBlock(const void* in, void* out) override;

  // True for the 4 weak and 12 semi-weak keys of the standard, whatever
  // their parity bits; a key that is not 8 bytes long fails.
  bool isKeyWeak(const ZncBucket& key);
  bool isKeyWeak(const void* key, int len);

 protected:
  void encBlocks(const unsigned char* in, unsigned char* out, int blocks) override;
  void decBlocks(const unsigned char* in, unsigned char* out, int blocks) override;

 private:
  void* ctx = nullptr;
  ZncBucket m_key;
};

class ZN_EXPORT Znc3DES : public ZncBlockCipher {
 public:
  Znc3DES();
  Znc3DES(const Znc3DES& other);
  Znc3DES& operator=(const Znc3DES& other);
  ~Znc3DES() override;

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
