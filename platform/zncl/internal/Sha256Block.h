// SHA-256's compression function on its own, for loops that keep their
// states between blocks (the PBKDF2 block function hashes two blocks a
// round, so a call's overhead is a large part of its cost). Two paths: the
// x86 SHA extensions when the CPU has them, and portable code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zncl::detail {

enum class Sha256Path { kPortable, kShaNi };

inline constexpr std::size_t kSha256Block = 64;
inline constexpr std::size_t kSha256Digest = 32;

// SHA-256's initial state.
inline constexpr uint32_t kSha256Initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

// True when the CPU has the SHA extensions (and the SSSE3/SSE4.1 the path
// also uses). Asked once.
bool HasShaNi();
// The fastest path this CPU has.
Sha256Path BestSha256Path();

// Folds `blocks` 64-byte blocks of `data` into `state`. kShaNi must only be
// asked for when HasShaNi().
void Sha256Compress(Sha256Path path, uint32_t state[8], const uint8_t* data, std::size_t blocks);

// Ends a message: `state` has absorbed `prefixBytes` (a multiple of 64),
// `data` is the rest; writes the digest. `state` is left changed.
void Sha256Finish(Sha256Path path, uint32_t state[8], uint64_t prefixBytes, const uint8_t* data,
                  std::size_t length, uint8_t out[kSha256Digest]);

}  // namespace zncl::detail
