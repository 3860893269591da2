// ZncBlockCipher: the base of every block cipher. A subclass binds one
// algorithm of the engine and gives one-block encryption and decryption;
// this class adds the chaining modes on top: ECB with zero padding, CBC
// with ciphertext stealing, and OFB. Objects serve one thread at a time.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_bucket.h"

class ZN_EXPORT ZncBlockCipher {
 public:
  // An OFB stream: the current key-stream block and how many of its bytes
  // are still unused.
  struct OFBCtx {
    ZncBucket reg;
    int left = 0;
  };

  static constexpr int kMaxBlockSize = 256;

  ZncBlockCipher() = default;
  ZncBlockCipher(const ZncBlockCipher& other) = default;
  ZncBlockCipher& operator=(const ZncBlockCipher& other) = default;
  virtual ~ZncBlockCipher();

  virtual void setKey(const void* key, int len) = 0;
  virtual void setKey(const ZncBucket& key);
  virtual void encBlock(const void* in, void* out) = 0;
  virtual void decBlock(const void* in, void* out) = 0;

  int getBlockSize() const { return blockSize; }
  int getCipherType() const { return cipherType; }
  void overrideCipherType(int type) { cipherType = type; }
  bool isKeySet() const { return keySet; }
  const ZncBucket& getIV() const { return iv; }

  // Copies the IV, cut or zero-extended to the block size; restarts the CBC
  // chain and the built-in OFB stream.
  void setIV(const ZncBucket& value);
  void setIV(const void* value, int len);

  // The int forms return the bytes written and never allocate.
  int encECB(const void* in, void* out, int len);
  int decECB(const void* in, void* out, int len);
  ZncBucket encECB(const ZncBucket& in);
  ZncBucket decECB(const ZncBucket& in);

  int encCBC(const void* in, void* out, int len);
  int decCBC(const void* in, void* out, int len);
  ZncBucket encCBC(const ZncBucket& in);
  ZncBucket decCBC(const ZncBucket& in);

  // In place; encryption and decryption are the same call.
  void encOFB(void* data, int len);
  void encOFB(void* data, int len, OFBCtx* ctx);

 protected:
  void setBlockSize(int size);
  // Many independent blocks at once (ECB, and CBC decryption): by default
  // one encBlock or decBlock each; a subclass whose engine takes several
  // blocks in one call overrides them.
  virtual void encBlocks(const unsigned char* in, unsigned char* out, int blocks);
  virtual void decBlocks(const unsigned char* in, unsigned char* out, int blocks);

  int blockSize = 0;
  int blockShift = 0;
  int cipherType = 0;
  bool keySet = false;
  ZncBucket iv;
  OFBCtx ofb;
};
