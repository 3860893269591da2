// PBKDF2's block function with HMAC-SHA-256, computed by the engine with
// the key's inner and outer states made once: the salted password hashes
// run 1000 rounds of it.
#pragma once

#include <string_view>

namespace zn::detail {

// U = first, then `iterations` times U = HMAC-SHA-256(key, U), R ^= U;
// R goes to out. Throws the engine's failure.
void IterateHmacSha256(std::string_view key, std::string_view first, int iterations, unsigned char out[32]);

}  // namespace zn::detail
