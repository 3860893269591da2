// The engine's entry point for PBKDF2's block function over SHA-256: the
// arguments are checked here, the work is done on the fastest SHA-256
// compression this CPU has.
#include <cstdint>

#include "zncl/internal/Engine.h"
#include "zncl/internal/HmacSha256Iterate.h"
#include "zncl/zncl.h"

ZNCL_API int zncl_sha256_hmac_iterate(const void* key, int keyLength, const void* first, int firstLength,
                                      int iterations, void* out) {
  using namespace zncl;
  if (keyLength < 0 || firstLength < 0 || iterations < 1 || out == nullptr || (keyLength > 0 && key == nullptr) ||
      (firstLength > 0 && first == nullptr)) {
    return FailThread(kErrInvalidArgument, "Invalid argument to zncl_sha256_hmac_iterate");
  }
  detail::IterateHmacSha256(detail::BestSha256Path(), static_cast<const uint8_t*>(key),
                            static_cast<std::size_t>(keyLength), static_cast<const uint8_t*>(first),
                            static_cast<std::size_t>(firstLength), iterations, static_cast<uint8_t*>(out));
  return 0;
}
