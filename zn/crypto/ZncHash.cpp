#include "zn/crypto/znc_hash.h"

ZncHash::ZncHash(int size) : digestSize(size) {}

ZncHash::~ZncHash() = default;

void ZncHash::setKey(const ZncBucket& value) {
  key = value;
  reset();
}

void ZncHash::setKey(const void* value, int len) { setKey(ZncBucket(value, len)); }

void ZncHash::addData(const ZncBucket& data) { addData(data.getData(), data.getSize()); }

ZncBucket ZncHash::finish() {
  ZncBucket digest(digestSize);
  finish(digest.getData(), digest.getSize());
  return digest;
}

void ZncHash::finish(void* out, int size) { _finish(out, size); }
