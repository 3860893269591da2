// ZncMD5: MD5 (RFC 1321) through the engine, 16-byte digests, or
// HMAC-MD5 once a key is set.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_hash.h"

class ZN_EXPORT ZncMD5 : public ZncHash {
 public:
  ZncMD5();
  ZncMD5(const ZncMD5& other);
  ZncMD5& operator=(const ZncMD5& other);
  ~ZncMD5() override;

  void reset() override;
  void addData(const void* data, int len) override;
  using ZncHash::addData;

 protected:
  void _finish(void* out, int size) override;

 private:
  void* ctx = nullptr;
};
