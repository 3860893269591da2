// PBKDF2's block function over SHA-256 with the HMAC's inner and outer
// states computed once: each iteration is then two compressions of one
// block, where a plain HMAC call would hash the padded key again each time.
#include <botan/loadstor.h>
#include <botan/mem_ops.h>
#include <botan/secmem.h>
#include <botan/sha2_32.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

constexpr std::size_t kBlock = 64;
constexpr std::size_t kDigest = 32;

const std::array<uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

void StoreDigest(const Botan::secure_vector<uint32_t>& state, uint8_t out[kDigest]) {
  for (std::size_t i = 0; i < 8; ++i) Botan::store_be(state[i], out + 4 * i);
}

// The state after one block of key ^ pad.
Botan::secure_vector<uint32_t> PadState(const uint8_t key[kBlock], uint8_t pad) {
  Botan::secure_vector<uint32_t> state(kInitial.begin(), kInitial.end());
  std::array<uint8_t, kBlock> block;
  for (std::size_t i = 0; i < kBlock; ++i) block[i] = key[i] ^ pad;
  Botan::SHA_256::compress_digest(state, block.data(), 1);
  Botan::secure_scrub_memory(block.data(), block.size());
  return state;
}

// A 32-byte message after a 64-byte prefix: one block with its padding
// (0x80, zeros, the length of 96 bytes in bits).
void HashShort(const Botan::secure_vector<uint32_t>& prefixState, const uint8_t message[kDigest],
               uint8_t out[kDigest], Botan::secure_vector<uint32_t>& work, std::array<uint8_t, kBlock>& block) {
  std::memcpy(block.data(), message, kDigest);
  work = prefixState;
  Botan::SHA_256::compress_digest(work, block.data(), 1);
  StoreDigest(work, out);
}

}  // namespace
}  // namespace zncl

ZNCL_API int zncl_sha256_hmac_iterate(const void* key, int keyLength, const void* first, int firstLength,
                                      int iterations, void* out) {
  using namespace zncl;
  if (keyLength < 0 || firstLength < 0 || iterations < 1 || out == nullptr || (keyLength > 0 && key == nullptr) ||
      (firstLength > 0 && first == nullptr)) {
    return FailThread(kErrInvalidArgument, "Invalid argument to zncl_sha256_hmac_iterate");
  }
  try {
    // A key longer than a block is replaced by its digest, as HMAC says.
    std::array<uint8_t, kBlock> paddedKey{};
    if (static_cast<std::size_t>(keyLength) > kBlock) {
      Botan::SHA_256 sha;
      sha.update(static_cast<const uint8_t*>(key), static_cast<std::size_t>(keyLength));
      sha.final(paddedKey.data());
    } else if (keyLength > 0) {
      std::memcpy(paddedKey.data(), key, static_cast<std::size_t>(keyLength));
    }
    const Botan::secure_vector<uint32_t> inner = PadState(paddedKey.data(), 0x36);
    const Botan::secure_vector<uint32_t> outer = PadState(paddedKey.data(), 0x5c);

    // U1 = HMAC(key, first): the first input may be of any length, so its
    // inner hash is the general one.
    std::array<uint8_t, kDigest> innerDigest{};
    {
      std::array<uint8_t, kBlock> ipad;
      for (std::size_t i = 0; i < kBlock; ++i) ipad[i] = paddedKey[i] ^ 0x36;
      Botan::SHA_256 sha;
      sha.update(ipad.data(), ipad.size());
      sha.update(static_cast<const uint8_t*>(first), static_cast<std::size_t>(firstLength));
      sha.final(innerDigest.data());
      Botan::secure_scrub_memory(ipad.data(), ipad.size());
    }
    Botan::secure_scrub_memory(paddedKey.data(), paddedKey.size());

    // Every later message is one digest: one padded block after the prefix.
    Botan::secure_vector<uint32_t> work(8);
    std::array<uint8_t, kBlock> block{};
    block[kDigest] = 0x80;
    Botan::store_be(static_cast<uint64_t>((kBlock + kDigest) * 8), block.data() + kBlock - 8);
    std::array<uint8_t, kDigest> u{};
    HashShort(outer, innerDigest.data(), u.data(), work, block);

    std::array<uint8_t, kDigest> result = u;
    for (int round = 1; round < iterations; ++round) {
      HashShort(inner, u.data(), innerDigest.data(), work, block);
      HashShort(outer, innerDigest.data(), u.data(), work, block);
      for (std::size_t i = 0; i < kDigest; ++i) result[i] ^= u[i];
    }
    std::memcpy(out, result.data(), kDigest);
    Botan::secure_scrub_memory(u.data(), u.size());
    Botan::secure_scrub_memory(innerDigest.data(), innerDigest.size());
    Botan::secure_scrub_memory(result.data(), result.size());
    Botan::secure_scrub_memory(block.data(), block.size());
    return 0;
  } catch (const std::exception& e) {
    return FailThread(kErrInvalidArgument, e.what());
  }
}
