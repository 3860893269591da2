// ZncSHA512: SHA-512 (FIPS 180-4) through the engine, 64-byte digests, or
// HMAC-SHA-512 once a key is set.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_hash.h"

class ZN_EXPORT ZncSHA512 : public ZncHash {
 public:
  ZncSHA512();
  ZncSHA512(const ZncSHA512& other);
  ZncSHA512& operator=(const ZncSHA512& other);
  ~ZncSHA512() override;

  void reset() override;
  void addData(const void* data, int len) override;
  using ZncHash::addData;

 protected:
  void _finish(void* out, int size) override;

 private:
  void* ctx = nullptr;
};
