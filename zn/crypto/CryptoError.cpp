#include "zn/crypto/internal/CryptoError.h"

#include "zn/crypto/znc_zncl.h"
#include "zn/error/ZnException.h"

namespace zn::detail {

namespace {
constexpr int kCryptoErrorNumber = -1;
}  // namespace

void ThrowCryptoError(const char* function, const std::string& message, const char* file, int line) {
  throw ZnException(function, message, file, line, kCryptoErrorNumber);
}

std::string EngineErrorText(void* ctx) {
  if (Zncl::get_last_error == nullptr) return std::string();
  const char* text = Zncl::get_last_error(ctx);
  return text != nullptr ? text : "";
}

void ThrowEngineError(const char* function, const char* prefix, void* ctx, const char* file, int line) {
  ThrowCryptoError(function, std::string(prefix) + EngineErrorText(ctx), file, line);
}

}  // namespace zn::detail
