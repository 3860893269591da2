// Key wrap: RFC 3394's six passes over the semiblocks, the integrity value
// A6..A6 checked on the way back, then the padding checked in constant
// shape (every pad byte compared) before any plain byte leaves.
#include "zn/crypto/znc_keywrap.h"

#include <string.h>

#include <cstdint>
#include <cstring>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc_blockcipher.h"

namespace {

using zn::detail::ThrowCryptoError;

constexpr unsigned char kIntegrity = 0xA6;

// XORs the step counter t, big-endian, into the last bytes of a.
void XorCounter(unsigned char* a, int h, uint64_t t) {
  for (int k = h - 1; k >= 0 && t != 0; --k, t >>= 8) a[k] ^= static_cast<unsigned char>(t);
}

// A buffer of one cipher block, wiped on the way out.
struct Block {
  unsigned char bytes[ZncBlockCipher::kMaxBlockSize] = {};
  ~Block() { ::explicit_bzero(bytes, sizeof bytes); }
};

}  // namespace

ZncKeyWrap::ZncKeyWrap(ZncBlockCipher* c) : cipher(c) {
  if (cipher == nullptr) ThrowCryptoError("ZncKeyWrap::ZncKeyWrap", "NULL block cipher passed as input.");
}

ZncBucket ZncKeyWrap::wrap(const ZncBucket& plain) {
  if (!cipher->isKeySet()) {
    ThrowCryptoError("ZncKeyWrap::wrap", "Block cipher should have been preset with encryption key.");
  }
  const int h = cipher->getBlockSize() / 2;
  const int len = plain.getSize();
  const int pad = h - len % h;
  const int n = (len + pad) / h;
  ZncBucket out((n + 1) * h);
  unsigned char* a = out.getData();
  unsigned char* r = a + h;
  std::memset(a, kIntegrity, static_cast<std::size_t>(h));
  if (len > 0) std::memcpy(r, plain.getData(), static_cast<std::size_t>(len));
  std::memset(r + len, pad, static_cast<std::size_t>(pad));

  Block in;
  Block b;
  for (int j = 0; j <= 5; ++j) {
    for (int i = 1; i <= n; ++i) {
      unsigned char* ri = r + (i - 1) * h;
      std::memcpy(in.bytes, a, static_cast<std::size_t>(h));
      std::memcpy(in.bytes + h, ri, static_cast<std::size_t>(h));
      cipher->encBlock(in.bytes, b.bytes);
      std::memcpy(a, b.bytes, static_cast<std::size_t>(h));
      XorCounter(a, h, static_cast<uint64_t>(n) * static_cast<uint64_t>(j) + static_cast<uint64_t>(i));
      std::memcpy(ri, b.bytes + h, static_cast<std::size_t>(h));
    }
  }
  return out;
}

ZncBucket ZncKeyWrap::unWrap(const ZncBucket& wrapped) {
  constexpr const char* kOp = "ZncKeyWrap::unWrap";
  if (!cipher->isKeySet()) ThrowCryptoError(kOp, "Block cipher should have been preset with encryption key.");
  const int h = cipher->getBlockSize() / 2;
  const int len = wrapped.getSize();
  if (h == 0 || len % h != 0) {
    ThrowCryptoError(kOp, "Invalid wrapped data length: must be divisible by cipher's half-block size.");
  }
  // At least A and one semiblock: anything shorter cannot have come from wrap.
  if (len < 2 * h) ThrowCryptoError(kOp, "Failed to unwrap key data: padding check failed.");
  const int n = len / h - 1;
  ZncBucket work(wrapped);
  unsigned char* a = work.getData();
  unsigned char* r = a + h;

  Block in;
  Block b;
  for (int j = 5; j >= 0; --j) {
    for (int i = n; i >= 1; --i) {
      unsigned char* ri = r + (i - 1) * h;
      std::memcpy(in.bytes, a, static_cast<std::size_t>(h));
      XorCounter(in.bytes, h, static_cast<uint64_t>(n) * static_cast<uint64_t>(j) + static_cast<uint64_t>(i));
      std::memcpy(in.bytes + h, ri, static_cast<std::size_t>(h));
      cipher->decBlock(in.bytes, b.bytes);
      std::memcpy(a, b.bytes, static_cast<std::size_t>(h));
      std::memcpy(ri, b.bytes + h, static_cast<std::size_t>(h));
    }
  }
  unsigned char bad = 0;
  for (int k = 0; k < h; ++k) bad |= static_cast<unsigned char>(a[k] ^ kIntegrity);
  if (bad != 0) ThrowCryptoError(kOp, "Incorrect wrapping key");

  const int data = n * h;
  const int m = r[data - 1];
  if (m < 1 || m > h) ThrowCryptoError(kOp, "Failed to unwrap key data: padding check failed.");
  for (int k = data - m; k < data; ++k) {
    bad |= static_cast<unsigned char>(r[k] ^ m);
  }
  if (bad != 0) ThrowCryptoError(kOp, "Failed to unwrap key data: padding check failed.");
  return ZncBucket(r, data - m);
}
