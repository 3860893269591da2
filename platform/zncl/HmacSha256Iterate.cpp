// The HMAC's inner and outer states are computed once; every later round
// is then two compressions of one block each, with the states, the blocks
// and the running XOR in local arrays.
#include "zncl/internal/HmacSha256Iterate.h"

#include <string.h>

#include <cstring>

namespace zncl::detail {
namespace {

inline void StoreBe(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

inline void StoreDigest(const uint32_t state[8], uint8_t out[kSha256Digest]) {
  for (int i = 0; i < 8; ++i) StoreBe(state[i], out + 4 * i);
}

// A 32-byte message after a 64-byte prefix, padded: 0x80, zeros, and the
// length of 96 bytes in bits.
void PadAfterDigest(uint8_t block[kSha256Block]) {
  std::memset(block + kSha256Digest, 0, kSha256Block - kSha256Digest);
  block[kSha256Digest] = 0x80;
  StoreBe((kSha256Block + kSha256Digest) * 8, block + kSha256Block - 4);
}

}  // namespace

void IterateHmacSha256(Sha256Path path, const uint8_t* key, std::size_t keyLength, const uint8_t* first,
                       std::size_t firstLength, int iterations, uint8_t out[kSha256Digest]) {
  // A key longer than a block is replaced by its digest, as HMAC says.
  uint8_t pad[kSha256Block] = {};
  uint32_t work[8];
  if (keyLength > kSha256Block) {
    std::memcpy(work, kSha256Initial, sizeof work);
    Sha256Finish(path, work, 0, key, keyLength, pad);
  } else if (keyLength > 0) {
    std::memcpy(pad, key, keyLength);
  }
  uint32_t inner[8];
  uint32_t outer[8];
  for (uint8_t& b : pad) b ^= 0x36;
  std::memcpy(inner, kSha256Initial, sizeof inner);
  Sha256Compress(path, inner, pad, 1);
  for (uint8_t& b : pad) b ^= 0x36 ^ 0x5c;
  std::memcpy(outer, kSha256Initial, sizeof outer);
  Sha256Compress(path, outer, pad, 1);
  ::explicit_bzero(pad, sizeof pad);

  // U1: the first message may be of any length. `uBlock` holds Un (the
  // next inner message), `hBlock` the inner digest (the outer message).
  uint8_t uBlock[kSha256Block];
  uint8_t hBlock[kSha256Block];
  PadAfterDigest(uBlock);
  PadAfterDigest(hBlock);
  std::memcpy(work, inner, sizeof work);
  Sha256Finish(path, work, kSha256Block, first, firstLength, hBlock);
  std::memcpy(work, outer, sizeof work);
  Sha256Compress(path, work, hBlock, 1);
  StoreDigest(work, uBlock);

  uint32_t sum[8];
  std::memcpy(sum, work, sizeof sum);
  for (int round = 1; round < iterations; ++round) {
    std::memcpy(work, inner, sizeof work);
    Sha256Compress(path, work, uBlock, 1);
    StoreDigest(work, hBlock);
    std::memcpy(work, outer, sizeof work);
    Sha256Compress(path, work, hBlock, 1);
    StoreDigest(work, uBlock);
    for (int i = 0; i < 8; ++i) sum[i] ^= work[i];
  }
  StoreDigest(sum, out);

  ::explicit_bzero(inner, sizeof inner);
  ::explicit_bzero(outer, sizeof outer);
  ::explicit_bzero(work, sizeof work);
  ::explicit_bzero(sum, sizeof sum);
  ::explicit_bzero(uBlock, sizeof uBlock);
  ::explicit_bzero(hBlock, sizeof hBlock);
}

}  // namespace zncl::detail
