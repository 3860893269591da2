// The one-call digests of Znc.
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_md5.h"
#include "zn/crypto/znc_sha1.h"
#include "zn/crypto/znc_sha256.h"
#include "zn/crypto/znc_sha512.h"

namespace {

template <class Hash>
ZncBucket Digest(const void* data, int len) {
  Hash hash;
  hash.addData(data, len);
  return hash.finish();
}

}  // namespace

ZncBucket Znc::md5(const ZncBucket& data) { return Digest<ZncMD5>(data.getData(), data.getSize()); }
ZncBucket Znc::md5(const void* data, int len) { return Digest<ZncMD5>(data, len); }
ZncBucket Znc::sha1(const ZncBucket& data) { return Digest<ZncSHA1>(data.getData(), data.getSize()); }
ZncBucket Znc::sha1(const void* data, int len) { return Digest<ZncSHA1>(data, len); }
ZncBucket Znc::sha256(const ZncBucket& data) { return Digest<ZncSHA256>(data.getData(), data.getSize()); }
ZncBucket Znc::sha256(const void* data, int len) { return Digest<ZncSHA256>(data, len); }
ZncBucket Znc::sha512(const ZncBucket& data) { return Digest<ZncSHA512>(data.getData(), data.getSize()); }
ZncBucket Znc::sha512(const void* data, int len) { return Digest<ZncSHA512>(data, len); }
