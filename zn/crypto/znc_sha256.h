// ZncSHA256: SHA-256 (FIPS 180-4) through the engine, 32-byte digests, or
// HMAC-SHA-256 once a key is set.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_hash.h"

class ZN_EXPORT ZncSHA256 : public ZncHash {
 public:
  ZncSHA256();
  ZncSHA256(const ZncSHA256& other);
  ZncSHA256& operator=(const ZncSHA256& other);
  ~ZncSHA256() override;

  void reset() override;
  void addData(const void* data, int len) override;
  using ZncHash::addData;

 protected:
  void _finish(void* out, int size) override;

 private:
  void* ctx = nullptr;
};
