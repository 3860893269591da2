#include "zn/crypto/znc_blockcipher.h"

#include <string.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "zn/crypto/internal/CryptoError.h"

namespace {

using zn::detail::ThrowCryptoError;

constexpr const char* kEncECB = "ZncBlockCipher::encECB";
constexpr const char* kDecECB = "ZncBlockCipher::decECB";
constexpr const char* kEncCBC = "ZncBlockCipher::encCBC";
constexpr const char* kDecCBC = "ZncBlockCipher::decCBC";
constexpr const char* kEncOFB = "ZncBlockCipher::encOFB";
// Cipher text kept aside while a batch of CBC blocks is decrypted in place.
constexpr int kBatchBytes = 4096;

// out = a XOR b over n bytes, a word at a time where the size allows.
inline void Xor(unsigned char* out, const unsigned char* a, const unsigned char* b, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t x;
    uint64_t y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(out + i, &x, 8);
  }
  for (; i < n; ++i) out[i] = a[i] ^ b[i];
}

// Scratch blocks on the stack, wiped on the way out.
struct Scratch {
  unsigned char a[ZncBlockCipher::kMaxBlockSize];
  unsigned char b[ZncBlockCipher::kMaxBlockSize];
  unsigned char c[ZncBlockCipher::kMaxBlockSize];
  ~Scratch() {
    ::explicit_bzero(a, sizeof a);
    ::explicit_bzero(b, sizeof b);
    ::explicit_bzero(c, sizeof c);
  }
};

}  // namespace

ZncBlockCipher::~ZncBlockCipher() = default;

void ZncBlockCipher::setKey(const ZncBucket& key) { setKey(key.getData(), key.getSize()); }

void ZncBlockCipher::setBlockSize(int size) {
  if (size < 1 || size > kMaxBlockSize) {
    ThrowCryptoError("ZncBlockCipher::setBlockSize", "Invalid block size " + std::to_string(size) + " specified.");
  }
  if ((size & (size - 1)) != 0) {
    ThrowCryptoError("ZncBlockCipher::setBlockSize",
                     "Invalid block size " + std::to_string(size) + " specified: must be a power of 2.");
  }
  blockSize = size;
  blockShift = 0;
  while ((1 << blockShift) < size) ++blockShift;
  if (iv.getSize() > 0 && iv.getSize() < size) iv.resize(size);
}

void ZncBlockCipher::setIV(const ZncBucket& value) { setIV(value.getData(), value.getSize()); }

void ZncBlockCipher::setIV(const void* value, int len) {
  if (blockSize == 0) ThrowCryptoError("ZncBlockCipher::setIV", "Cannot set IV: Block size is not known yet.");
  ZncBucket fresh(value, std::max(len, 0));
  fresh.resize(blockSize);
  iv = fresh;
  ofb.reg = fresh;
  ofb.left = 0;
}

void ZncBlockCipher::encBlocks(const unsigned char* in, unsigned char* out, int blocks) {
  for (int i = 0; i < blocks; ++i) encBlock(in + i * blockSize, out + i * blockSize);
}

void ZncBlockCipher::decBlocks(const unsigned char* in, unsigned char* out, int blocks) {
  for (int i = 0; i < blocks; ++i) decBlock(in + i * blockSize, out + i * blockSize);
}

// ---- ECB ----

int ZncBlockCipher::encECB(const void* in, void* out, int len) {
  if (!keySet) ThrowCryptoError(kEncECB, "Cannot encrypt data: The key must be preset.");
  if (blockSize == 0) ThrowCryptoError(kEncECB, "Cannot encrypt data: Block size has not been set yet.");
  if (in == nullptr || len == 0) return 0;
  if (len < 0) ThrowCryptoError(kEncECB, "Cannot encrypt data: Negative data length.");
  if (out == nullptr) ThrowCryptoError(kEncECB, "Cannot encrypt data: NULL output buffer pointer.");
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  const int whole = len & ~(blockSize - 1);
  encBlocks(src, dst, whole >> blockShift);
  if (whole < len) {
    Scratch s;
    std::memset(s.a, 0, static_cast<std::size_t>(blockSize));
    std::memcpy(s.a, src + whole, static_cast<std::size_t>(len - whole));
    encBlock(s.a, dst + whole);
    return whole + blockSize;
  }
  return len;
}

int ZncBlockCipher::decECB(const void* in, void* out, int len) {
  if (!keySet) ThrowCryptoError(kDecECB, "Cannot decrypt data: The key must be preset.");
  if (blockSize == 0) ThrowCryptoError(kDecECB, "Cannot decrypt data: Block size has not been set yet.");
  if (in == nullptr || len == 0) return 0;
  if (len < 0) ThrowCryptoError(kDecECB, "Cannot decrypt data: Negative data length.");
  if (out == nullptr) ThrowCryptoError(kDecECB, "Cannot decrypt data: NULL output buffer pointer.");
  if ((len & (blockSize - 1)) != 0) {
    ThrowCryptoError(kDecECB, "Cannot decrypt data: Encrypted data must be provided in " + std::to_string(blockSize) +
                                  "-byte blocks.");
  }
  decBlocks(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(out), len >> blockShift);
  return len;
}

ZncBucket ZncBlockCipher::encECB(const ZncBucket& in) {
  if (in.getSize() == 0) {
    encECB(nullptr, nullptr, 0);  // the checks still apply
    return ZncBucket();
  }
  const int padded = blockSize > 0 ? (in.getSize() + blockSize - 1) & ~(blockSize - 1) : 0;
  ZncBucket out(padded);
  out.resize(encECB(in.getData(), out.getData(), in.getSize()));
  return out;
}

ZncBucket ZncBlockCipher::decECB(const ZncBucket& in) {
  ZncBucket out(in.getSize());
  out.resize(decECB(in.getData(), in.getSize() > 0 ? out.getData() : nullptr, in.getSize()));
  return out;
}

// ---- CBC ----

namespace {

// Plain CBC encryption of `blocks` blocks; `chain` holds the chaining value
// and ends as the last cipher block.
void EncryptChain(ZncBlockCipher& cipher, const unsigned char* in, unsigned char* out, int blocks,
                  unsigned char* chain, int b, unsigned char* work) {
  for (int i = 0; i < blocks; ++i) {
    Xor(work, in + i * b, chain, b);
    cipher.encBlock(work, out + i * b);
    std::memcpy(chain, out + i * b, static_cast<std::size_t>(b));
  }
}

}  // namespace

int ZncBlockCipher::encCBC(const void* in, void* out, int len) {
  if (!keySet) ThrowCryptoError(kEncCBC, "Cannot enccrypt data: The key must be preset.");
  if (blockSize == 0) ThrowCryptoError(kEncCBC, "Cannot encrypt data: Block size has not been set yet.");
  if (iv.getSize() == 0) ThrowCryptoError(kEncCBC, "Cannot encrypt data: IV must be preset.");
  if (in == nullptr || len == 0) return 0;
  if (len < 0) ThrowCryptoError(kEncCBC, "Cannot encrypt data: Negative data length.");
  if (out == nullptr) ThrowCryptoError(kEncCBC, "Cannot encrypt data: NULL output buffer pointer.");

  const int b = blockSize;
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  Scratch s;  // a: chain, b: work, c: E
  std::memcpy(s.a, iv.getData(), static_cast<std::size_t>(b));

  if (len < b) {
    // Zero-padded to one block; the IV stays.
    std::memset(s.b, 0, static_cast<std::size_t>(b));
    std::memcpy(s.b, src, static_cast<std::size_t>(len));
    Xor(s.b, s.b, s.a, b);
    encBlock(s.b, dst);
    return b;
  }
  const int n = len >> blockShift;
  const int r = len & (b - 1);
  if (r == 0) {
    EncryptChain(*this, src, dst, n, s.a, b, s.b);
    std::memcpy(iv.getData(), s.a, static_cast<std::size_t>(b));
    return len;
  }
  // Ciphertext stealing: blocks 1..n-1 chained, then E from block n, then F
  // from the tail padded with the end of E; F comes first, then E's head.
  EncryptChain(*this, src, dst, n - 1, s.a, b, s.b);
  const int last = (n - 1) * b;
  Xor(s.b, src + last, s.a, b);
  encBlock(s.b, s.c);                                       // E
  Xor(s.b, src + n * b, s.c, r);                            // tail XOR E[0..r)
  std::memcpy(s.b + r, s.c + r, static_cast<std::size_t>(b - r));  // E[r..B)
  encBlock(s.b, dst + last);                                // F
  std::memcpy(dst + n * b, s.c, static_cast<std::size_t>(r));
  return len;
}

int ZncBlockCipher::decCBC(const void* in, void* out, int len) {
  if (!keySet) ThrowCryptoError(kDecCBC, "Cannot decrypt data: The key must be preset.");
  if (blockSize == 0) ThrowCryptoError(kDecCBC, "Cannot decrypt data: Block size has not been set yet.");
  if (iv.getSize() == 0) ThrowCryptoError(kDecCBC, "Cannot decrypt data: IV must be preset.");
  if (in == nullptr || len == 0) return 0;
  if (len < 0) ThrowCryptoError(kDecCBC, "Cannot decrypt data: Negative data length.");
  if (out == nullptr) ThrowCryptoError(kDecCBC, "Cannot decrypt data: NULL output buffer pointer.");
  const int b = blockSize;
  if (len < b) ThrowCryptoError(kDecCBC, "Cannot decrypt data: Encrypted data length is smaller than the block size.");

  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  const int n = len >> blockShift;
  const int r = len & (b - 1);
  const int chained = r == 0 ? n : n - 1;

  // Batches: the cipher text a batch chains on is kept aside first, since
  // the output may be the input.
  unsigned char saved[kBatchBytes + kMaxBlockSize];
  std::memcpy(saved, iv.getData(), static_cast<std::size_t>(b));
  const int perBatch = std::max(1, kBatchBytes / b);
  for (int done = 0; done < chained;) {
    const int count = std::min(perBatch, chained - done);
    const int off = done * b;
    std::memcpy(saved + b, src + off, static_cast<std::size_t>(count * b));
    decBlocks(src + off, dst + off, count);
    Xor(dst + off, dst + off, saved, count * b);
    std::memcpy(saved, saved + count * b, static_cast<std::size_t>(b));
    done += count;
  }
  if (r == 0) {
    std::memcpy(iv.getData(), saved, static_cast<std::size_t>(b));
    ::explicit_bzero(saved, sizeof saved);
    return len;
  }
  // The stolen tail: F decrypts to (tail XOR E[0..r)) followed by E[r..B).
  Scratch s;  // a: F then D, b: E, c: head of E
  const int last = (n - 1) * b;
  std::memcpy(s.a, src + last, static_cast<std::size_t>(b));
  std::memcpy(s.c, src + n * b, static_cast<std::size_t>(r));
  decBlock(s.a, s.a);
  std::memcpy(s.b, s.c, static_cast<std::size_t>(r));
  std::memcpy(s.b + r, s.a + r, static_cast<std::size_t>(b - r));
  Xor(dst + n * b, s.a, s.c, r);  // the tail
  decBlock(s.b, s.b);
  Xor(dst + last, s.b, saved, b);  // block n
  ::explicit_bzero(saved, sizeof saved);
  return len;
}

ZncBucket ZncBlockCipher::encCBC(const ZncBucket& in) {
  if (in.getSize() == 0) {
    encCBC(nullptr, nullptr, 0);  // the checks still apply
    return ZncBucket();
  }
  ZncBucket out(std::max(in.getSize(), blockSize));
  out.resize(encCBC(in.getData(), out.getData(), in.getSize()));
  return out;
}

ZncBucket ZncBlockCipher::decCBC(const ZncBucket& in) {
  ZncBucket out(in.getSize());
  out.resize(decCBC(in.getData(), in.getSize() > 0 ? out.getData() : nullptr, in.getSize()));
  return out;
}

// ---- OFB ----

void ZncBlockCipher::encOFB(void* data, int len) { encOFB(data, len, &ofb); }

void ZncBlockCipher::encOFB(void* data, int len, OFBCtx* ctx) {
  if (!keySet) ThrowCryptoError(kEncOFB, "Cannot process data: The key must be preset.");
  if (blockSize == 0) ThrowCryptoError(kEncOFB, "Cannot process data: Block size has not been set yet.");
  if (ctx == nullptr) ThrowCryptoError(kEncOFB, "Invalid pointer to OFB Context provided");
  if (ctx->reg.getSize() == 0) ThrowCryptoError(kEncOFB, "Empty IV provided");
  if (ctx->reg.getSize() != blockSize) ctx->reg.resize(blockSize);
  if (ctx->left < 0 || ctx->left > blockSize) ctx->left = 0;
  if (data == nullptr || len <= 0) return;
  auto* p = static_cast<unsigned char*>(data);
  unsigned char* reg = ctx->reg.getData();
  for (int i = 0; i < len; ++i) {
    if (ctx->left == 0) {
      encBlock(reg, reg);
      ctx->left = blockSize;
    }
    p[i] ^= reg[blockSize - ctx->left];
    --ctx->left;
  }
}
