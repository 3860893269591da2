#include "zn/crypto/internal/IteratedHmac.h"

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc_zncl.h"

namespace zn::detail {

void IterateHmacSha256(std::string_view key, std::string_view first, int iterations, unsigned char out[32]) {
  Zncl::init();
  if (Zncl::sha256_hmac_iterate(key.data(), static_cast<int>(key.size()), first.data(),
                                static_cast<int>(first.size()), iterations, out) != 0) {
    ThrowEngineError("IterateHmacSha256", "Failed to iterate HMAC-SHA256: ", nullptr);
  }
}

}  // namespace zn::detail
