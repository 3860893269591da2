// PBKDF2's block function over HMAC-SHA-256 (RFC 8018, F without the block
// index): U1 = HMAC(key, first), Un = HMAC(key, Un-1), out = U1 ^ ... ^ Un.
// The path is a parameter so that tests can run both on one CPU.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zncl/internal/Sha256Block.h"

namespace zncl::detail {

// `iterations` >= 1; the pointers may be null when their length is 0.
void IterateHmacSha256(Sha256Path path, const uint8_t* key, std::size_t keyLength, const uint8_t* first,
                       std::size_t firstLength, int iterations, uint8_t out[kSha256Digest]);

}  // namespace zncl::detail
