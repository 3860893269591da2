// The scrambler. Every check of a call comes before its first write; the
// trailer is checked (counter, then CRC-32) before the plain bytes of the
// final call are handed over, and wiped when it does not match.
#include "zn/crypto/znc_scrambler.h"

#include <string.h>

#include <cstdint>
#include <cstring>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_checksum.h"

namespace {

using zn::detail::ThrowCryptoError;

constexpr int kBlock = 8;
constexpr int kHeader = 8;
constexpr int kTrailer = 8;
constexpr unsigned char kMethod = 0;

// The library's own scrambling key: data scrambled under another key cannot
// be read back, so it never changes.
constexpr unsigned char kScramblerKey[16] = {0x5a, 0x72, 0x6f, 0x7a, 0x49, 0x76, 0x69, 0x21,
                                             0xc3, 0x1e, 0x8b, 0x47, 0x90, 0x2d, 0xf6, 0x5d};

constexpr const char* kCorruptMethod = "Scrambled data is corrupt: unrecognized scrambling method.";
constexpr const char* kCorruptCounter = "Scrambled data is corrupt: Invalid last block valid byte counter.";
constexpr const char* kCorruptCrc = "Scrambled data is corrupt: CRC32 mismatch.";

unsigned char IvCheckByte(const unsigned char* iv) {
  return static_cast<unsigned char>(iv[6] ^ iv[4] ^ iv[2] ^ iv[0]);
}

void UpdateCrc(unsigned int* crc, const void* data, int len) {
  if (len > 0) zn_crc32(data, static_cast<std::size_t>(len), crc);
}

struct WipedBlock {
  unsigned char bytes[kBlock] = {};
  ~WipedBlock() { ::explicit_bzero(bytes, sizeof bytes); }
};

}  // namespace

ZncScrambler::ZncScrambler() : iv(kBlock) { bf.setKey(kScramblerKey, sizeof kScramblerKey); }

ZncScrambler::~ZncScrambler() { crc = 0; }

void ZncScrambler::reset() { first = true; }

int ZncScrambler::scramble(const void* in, int len, void* out, int outSize, bool final) {
  constexpr const char* kOp = "ZncScrambler::scramble";
  if (len == 0) return 0;
  if (in == nullptr || len < 0) ThrowCryptoError(kOp, "Cannot scramble data: NULL data passed as input.");
  if (out == nullptr || outSize < len + kOverhead) {
    ThrowCryptoError(kOp, "Cannot scramble data: Destination buffer should be at least 24 bytes longer than the source one.");
  }
  // A padded block in the middle of a stream could never be read back.
  if (!final && len % kBlock != 0) {
    ThrowCryptoError(kOp, "Cannot scramble data: Only the last chunk of a stream may be shorter than whole 8-byte blocks.");
  }
  auto* dst = static_cast<unsigned char*>(out);
  int written = 0;
  if (first) {
    crc = 0xFFFFFFFFu;
    unsigned char* v = iv.getData();
    Znc::getRand(v, kBlock);
    v[7] = IvCheckByte(v);
    bf.setIV(iv);
    dst[0] = kMethod;
    std::memcpy(dst + 1, v, kBlock - 1);
    written = kHeader;
    first = false;
  }
  written += bf.encCBC61(in, dst + written, len);
  UpdateCrc(&crc, in, len);
  if (final) {
    WipedBlock trailer;
    trailer.bytes[0] = static_cast<unsigned char>(crc >> 24);
    trailer.bytes[1] = static_cast<unsigned char>(crc >> 16);
    trailer.bytes[2] = static_cast<unsigned char>(crc >> 8);
    trailer.bytes[3] = static_cast<unsigned char>(crc);
    trailer.bytes[4] = static_cast<unsigned char>((len - 1) % kBlock + 1);
    Znc::getRand(trailer.bytes + 5, 3);
    bf.encBlock(trailer.bytes, dst + written);
    written += kTrailer;
    reset();
  }
  return written;
}

int ZncScrambler::descramble(const void* in, int len, void* out, int outSize, bool final) {
  constexpr const char* kOp = "ZncScrambler::descramble";
  if (len == 0) return 0;
  if (in == nullptr || len < 0) ThrowCryptoError(kOp, "Cannot descramble data: NULL data passed as input.");
  if (out == nullptr || outSize < len) {
    ThrowCryptoError(kOp, "Cannot descramble data: Destination buffer should be as big as the source one.");
  }
  const int header = first ? kHeader : 0;
  const int trailer = final ? kTrailer : 0;
  if (len <= header + trailer) ThrowCryptoError(kOp, "Cannot descramble data: It's too short.");
  const auto* src = static_cast<const unsigned char*>(in);
  const int body = len - header - trailer;
  if (body % kBlock != 0) {
    ThrowCryptoError(kOp, "Cannot descramble data: Encrypted data must be provided in 8-byte blocks.");
  }
  if (first) {
    if (src[0] != kMethod) ThrowCryptoError(kOp, kCorruptMethod);
    unsigned char* v = iv.getData();
    std::memcpy(v, src + 1, kBlock - 1);
    v[7] = IvCheckByte(v);
    bf.setIV(iv);
    crc = 0xFFFFFFFFu;
    first = false;
  }
  auto* dst = static_cast<unsigned char*>(out);
  int plain = bf.decCBC61(src + header, dst, body);
  if (!final) {
    UpdateCrc(&crc, dst, plain);
    return plain;
  }
  WipedBlock tail;
  bf.decBlock(src + header + body, tail.bytes);
  const int valid = tail.bytes[4];
  if (valid < 1 || valid > kBlock) {
    ::explicit_bzero(dst, static_cast<std::size_t>(body));
    ThrowCryptoError(kOp, kCorruptCounter);
  }
  plain -= kBlock - valid;
  UpdateCrc(&crc, dst, plain);
  const unsigned int stored = (static_cast<unsigned int>(tail.bytes[0]) << 24) |
                              (static_cast<unsigned int>(tail.bytes[1]) << 16) |
                              (static_cast<unsigned int>(tail.bytes[2]) << 8) | tail.bytes[3];
  if (stored != crc) {
    ::explicit_bzero(dst, static_cast<std::size_t>(body));
    ThrowCryptoError(kOp, kCorruptCrc);
  }
  // The padding of the last block is not plain data.
  ::explicit_bzero(dst + plain, static_cast<std::size_t>(body - plain));
  reset();
  return plain;
}

ZncBucket ZncScrambler::scramble(const ZncBucket& in) {
  ZncBucket out(in.getSize() + kOverhead);
  out.resize(scramble(in.getData(), in.getSize(), out.getData(), out.getSize(), true));
  return out;
}

ZncBucket ZncScrambler::descramble(const ZncBucket& in) {
  ZncBucket out(in.getSize());
  out.resize(descramble(in.getData(), in.getSize(), out.getData(), out.getSize(), true));
  return out;
}
