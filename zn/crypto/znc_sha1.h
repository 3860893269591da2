// ZncSHA1: SHA-1 (FIPS 180-4) through the engine, 20-byte digests, or
// HMAC-SHA-1 once a key is set.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_hash.h"

class ZN_EXPORT ZncSHA1 : public ZncHash {
 public:
  ZncSHA1();
  ZncSHA1(const ZncSHA1& other);
  ZncSHA1& operator=(const ZncSHA1& other);
  ~ZncSHA1() override;

  void reset() override;
  void addData(const void* data, int len) override;
  using ZncHash::addData;

 protected:
  void _finish(void* out, int size) override;

 private:
  void* ctx = nullptr;
};
