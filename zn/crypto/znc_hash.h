// ZncHash: the base of the message digests (ZncMD5, ZncSHA1, ZncSHA256,
// ZncSHA512). Without a key an object computes the plain digest; with a
// key (setKey) the HMAC of RFC 2104 over the same digest. A new object is
// ready for data; after finish, reset() starts the next message (with the
// same key). Objects serve one thread at a time.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/crypto/znc_bucket.h"

class ZN_EXPORT ZncHash {
 public:
  explicit ZncHash(int digestSize);
  // Copies the key and the digest size; a copy starts a fresh message (the
  // running state of the source is not copied).
  ZncHash(const ZncHash& other) = default;
  ZncHash& operator=(const ZncHash& other) = default;
  virtual ~ZncHash();

  virtual void reset() = 0;
  virtual void addData(const void* data, int len) = 0;

  // Keeps the key (an empty one means the plain digest again) and starts
  // a new message with it.
  void setKey(const ZncBucket& key);
  void setKey(const void* key, int len);
  void addData(const ZncBucket& data);
  // A bucket of getDigestSize() bytes.
  ZncBucket finish();
  // `size` must be at least the digest size.
  void finish(void* out, int size);

  int getDigestSize() const { return digestSize; }

 protected:
  virtual void _finish(void* out, int size) = 0;

  ZncBucket key;
  int digestSize;
};
