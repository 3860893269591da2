// The two protected data formats: data with CRC-32 under Blowfish (the
// CRC hidden in the padding of the last block, or in the IV, or in one
// more block) and tagged data under any block cipher (the CRC travels as a
// separate 4-byte tag). Both check the CRC-32 of the plain bytes on the
// way back; a mismatch is Znc::WrongKey and leaves no plain bytes behind.
#include <string.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_checksum.h"

namespace {

using zn::detail::ThrowCryptoError;

constexpr int kBlowfishBlock = 8;
constexpr int kTagSize = 4;
constexpr int kIVSize = 8;
constexpr const char* kWrongKey = "Failed to decrypt data: wrong decryption key.";

// CRC-32 started at 0xFFFFFFFF and not inverted, as these formats keep it.
uint32_t PlainCrc(const void* data, int len) {
  unsigned int crc = 0xFFFFFFFFu;
  if (len > 0) zn_crc32(data, static_cast<size_t>(len), &crc);
  return crc;
}

void PutBigEndian(uint32_t value, unsigned char* out) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

// Stack bytes that are wiped on the way out.
template <std::size_t N>
struct Wiped {
  unsigned char bytes[N] = {};
  ~Wiped() { ::explicit_bzero(bytes, N); }
};

bool AllZero(const unsigned char* p, int n) {
  unsigned char any = 0;
  for (int i = 0; i < n; ++i) any |= p[i];
  return any == 0;
}

// How many whole blocks of a tagged message go through CBC before its last
// call, which takes the rest of the data and the tag (B + 1 to 2B bytes, or
// exactly B for a one-block message).
int LeadingBlocks(int messageLen, int blockSize) { return std::max(0, (messageLen - 1) / blockSize - 1); }

}  // namespace

// ---- Data with CRC-32 ----

int Znc::encryptDataWithCRC32(const void* in, void* out, int len, ZncBlowfish& bf) {
  constexpr const char* kOp = "Znc::encryptDataWithCRC32";
  if (in == nullptr || len == 0) return 0;
  if (len < 0) ThrowCryptoError(kOp, "Cannot encrypt data: Negative data length.");
  if (out == nullptr) ThrowCryptoError(kOp, "Cannot encrypt data: Output buffer is a NULL pointer.");
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  const int r = len % kBlowfishBlock;
  const int pad = r > 0 ? kBlowfishBlock - r : 0;
  const int k = std::min(pad, kTagSize);  // CRC bytes that fit into the padding
  unsigned char crc[kTagSize];
  PutBigEndian(PlainCrc(in, len), crc);

  Wiped<kIVSize> iv;
  getRand(iv.bytes, kIVSize);
  int written = 0;
  if (pad > 0 || len < 2 * kBlowfishBlock) {
    std::memcpy(iv.bytes, crc + k, static_cast<std::size_t>(kTagSize - k));
    iv.bytes[7] = static_cast<unsigned char>((iv.bytes[7] & ~7) | r);
    bf.setIV(iv.bytes, kIVSize);
    const int whole = len - r;
    if (whole > 0) written = bf.encCBC61(src, dst, whole);
    if (r > 0) {
      Wiped<kBlowfishBlock> last;
      std::memcpy(last.bytes, src + whole, static_cast<std::size_t>(r));
      std::memcpy(last.bytes + r, crc, static_cast<std::size_t>(k));
      written += bf.encCBC61(last.bytes, dst + whole, kBlowfishBlock);
    }
  } else {
    iv.bytes[7] = static_cast<unsigned char>(iv.bytes[7] & ~7);
    bf.setIV(iv.bytes, kIVSize);
    written = bf.encCBC61(src, dst, len);
    Wiped<kBlowfishBlock> extra;
    std::memcpy(extra.bytes, crc, kTagSize);
    std::memcpy(extra.bytes + kTagSize, iv.bytes, kTagSize);
    written += bf.encCBC61(extra.bytes, dst + len, kBlowfishBlock);
  }
  return written + bf.encECB(iv.bytes, dst + written, kIVSize);
}

int Znc::decryptDataWithCRC32(const void* in, void* out, int len, ZncBlowfish& bf) {
  constexpr const char* kOp = "Znc::decryptDataWithCRC32";
  if (in == nullptr || len == 0) return 0;
  if (out == nullptr) ThrowCryptoError(kOp, "Cannot decrypt data: Output buffer is a NULL pointer.");
  if (len % kBlowfishBlock != 0) ThrowCryptoError(kOp, "Cannot decrypt data: length is not a multiple of 8.");
  if (len < 2 * kBlowfishBlock) ThrowCryptoError(kOp, "Cannot decrypt data: too short (must be at least 16 bytes long).");
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);

  Wiped<kIVSize> iv;
  bf.decECB(src + len - kIVSize, iv.bytes, kIVSize);
  const int r = iv.bytes[7] & 7;
  const int pad = r > 0 ? kBlowfishBlock - r : 0;
  const int k = std::min(pad, kTagSize);
  bf.setIV(iv.bytes, kIVSize);
  const int body = len - kIVSize;
  bf.decCBC61(src, dst, body);

  int n = body - pad;
  unsigned char stored[kTagSize];
  // Besides the CRC, the bytes the format fixes must be as written: the
  // zeros after the CRC in the last block, or the IV's echo in the extra
  // block.
  bool intact = true;
  if (pad > 0 || n < 3 * kBlowfishBlock) {
    std::memcpy(stored, dst + n, static_cast<std::size_t>(k));
    std::memcpy(stored + k, iv.bytes, static_cast<std::size_t>(kTagSize - k));
    intact = AllZero(dst + n + k, pad - k);
  } else {
    std::memcpy(stored, dst + n - kBlowfishBlock, kTagSize);
    intact = std::memcmp(dst + n - kTagSize, iv.bytes, kTagSize) == 0;
    n -= kBlowfishBlock;
  }
  unsigned char actual[kTagSize];
  PutBigEndian(PlainCrc(dst, n), actual);
  if (!intact || std::memcmp(stored, actual, kTagSize) != 0) {
    ::explicit_bzero(dst, static_cast<std::size_t>(body));
    throw Znc::WrongKey(kOp, kWrongKey);
  }
  // What follows the plain bytes is the format's, not the caller's.
  std::memset(dst + n, 0, static_cast<std::size_t>(body - n));
  return n;
}

int Znc::encryptTagData(const void* in, void* out, int len, ZncBlowfish& bf) {
  return encryptDataWithCRC32(in, out, len, bf);
}

int Znc::decryptTagData(const void* in, void* out, int len, ZncBlowfish& bf) {
  return decryptDataWithCRC32(in, out, len, bf);
}

// ---- Tagged data ----

void Znc::encryptTagData(const void* in, void* out, int len, void* crc32Out, void* ivOut, ZncBlockCipher* cipher) {
  constexpr const char* kOp = "Znc::encryptTagData";
  if (in == nullptr) ThrowCryptoError(kOp, "Can't encrypt data: source pointer is NULL");
  if (out == nullptr) ThrowCryptoError(kOp, "Can't encrypt data: destination pointer is NULL");
  if (crc32Out == nullptr) ThrowCryptoError(kOp, "Can't encrypt data: CRC32 pointer is NULL");
  if (ivOut == nullptr) ThrowCryptoError(kOp, "Can't encrypt data: IV pointer is NULL");
  if (cipher == nullptr) ThrowCryptoError(kOp, "Can't encrypt data: cipher is NULL");
  if (len < 0) ThrowCryptoError(kOp, "Can't encrypt data: negative data length");
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  auto* tagOut = static_cast<unsigned char*>(crc32Out);

  Wiped<kIVSize> iv;
  getRand(iv.bytes, kIVSize);
  cipher->setIV(iv.bytes, kIVSize);
  std::memcpy(ivOut, iv.bytes, kIVSize);
  unsigned char tag[kTagSize];
  PutBigEndian(PlainCrc(in, len), tag);

  const int b = cipher->getBlockSize();
  const int m = len + kTagSize;
  Wiped<2 * ZncBlockCipher::kMaxBlockSize> work;
  if (m < b) {
    cipher->encECB(cipher->getIV().getData(), work.bytes, b);  // the key stream
    for (int i = 0; i < len; ++i) dst[i] = src[i] ^ work.bytes[i];
    for (int i = 0; i < kTagSize; ++i) tagOut[i] = tag[i] ^ work.bytes[len + i];
    return;
  }
  const int lead = LeadingBlocks(m, b) * b;
  if (lead > 0) cipher->encCBC(src, dst, lead);
  const int rest = len - lead;
  std::memcpy(work.bytes, src + lead, static_cast<std::size_t>(rest));
  std::memcpy(work.bytes + rest, tag, kTagSize);
  cipher->encCBC(work.bytes, work.bytes, rest + kTagSize);
  std::memcpy(dst + lead, work.bytes, static_cast<std::size_t>(rest));
  std::memcpy(tagOut, work.bytes + rest, kTagSize);
}

void Znc::decryptTagData(const void* in, void* out, int len, const void* crc32, const void* iv,
                         ZncBlockCipher* cipher) {
  constexpr const char* kOp = "Znc::decryptTagData";
  if (in == nullptr) ThrowCryptoError(kOp, "Can't decrypt data: source pointer is NULL");
  if (out == nullptr) ThrowCryptoError(kOp, "Can't decrypt data: destination pointer is NULL");
  if (crc32 == nullptr) ThrowCryptoError(kOp, "Can't decrypt data: CRC32 pointer is NULL");
  if (iv == nullptr) ThrowCryptoError(kOp, "Can't decrypt data: IV pointer is NULL");
  if (cipher == nullptr) ThrowCryptoError(kOp, "Can't decrypt data: cipher is NULL");
  if (len < 0) ThrowCryptoError(kOp, "Can't decrypt data: negative data length");
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  const auto* tagIn = static_cast<const unsigned char*>(crc32);

  cipher->setIV(iv, kIVSize);
  const int b = cipher->getBlockSize();
  const int m = len + kTagSize;
  unsigned char tag[kTagSize];
  Wiped<2 * ZncBlockCipher::kMaxBlockSize> work;
  if (m < b) {
    cipher->encECB(cipher->getIV().getData(), work.bytes, b);
    for (int i = 0; i < len; ++i) dst[i] = src[i] ^ work.bytes[i];
    for (int i = 0; i < kTagSize; ++i) tag[i] = tagIn[i] ^ work.bytes[len + i];
  } else {
    const int lead = LeadingBlocks(m, b) * b;
    const int rest = len - lead;
    // Kept before the lead blocks are written: `out` may be `in`.
    std::memcpy(work.bytes, src + lead, static_cast<std::size_t>(rest));
    std::memcpy(work.bytes + rest, tagIn, kTagSize);
    if (lead > 0) cipher->decCBC(src, dst, lead);
    cipher->decCBC(work.bytes, work.bytes, rest + kTagSize);
    std::memcpy(dst + lead, work.bytes, static_cast<std::size_t>(rest));
    std::memcpy(tag, work.bytes + rest, kTagSize);
  }
  unsigned char actual[kTagSize];
  PutBigEndian(PlainCrc(dst, len), actual);
  if (std::memcmp(tag, actual, kTagSize) != 0) {
    if (len > 0) ::explicit_bzero(dst, static_cast<std::size_t>(len));
    throw Znc::WrongKey(kOp, kWrongKey);
  }
}
