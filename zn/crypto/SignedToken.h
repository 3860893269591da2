// Making signed time-limited tokens: the other half of ZNPassword::verify,
// for administrators' tools and tests. A token is "S001", two digits L, the
// L digits of its expiry time T (seconds since 1970), then the hexadecimal
// Ed25519 signature of SHA-512(data followed by the digits of T).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zn/base/ZnExport.h"

namespace zn {

// Signs `data` as valid until `expiresAt` (> 0) with the Ed25519 private
// key of `privateKeyFile` (PKCS#8 PEM, as `openssl genpkey -algorithm
// ed25519` writes it), through libZnSigLib.so of the home folder, else the
// one beside the library. Returns 0 with the token, or a ZNPassword code:
// kZnPwdBadArgument (no file name, a time not after 1970),
// kZnPwdProtectFailed (no signature library), kZnPwdEncodeFailed (the
// file holds no usable Ed25519 private key).
// The parts of a token, views into it.
struct TokenParts {
  std::string_view expiry;         // the digits of T
  std::string_view signature;      // hexadecimal, an even number of digits
  unsigned long long expiresAt{};  // T
};

// Splits `token` into its parts; false when it is not laid out as above
// (1 to 19 expiry digits, a signature of at least one byte). Nothing is
// checked against a key or the clock.
ZN_EXPORT bool ParseToken(std::string_view token, TokenParts& parts);

ZN_EXPORT uint32_t SignToken(const char* privateKeyFile, std::string_view data, long long expiresAt,
                             std::string& token);

}  // namespace zn
