#include "zn/crypto/znc_twister.h"

#include <string>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc_zncl.h"

namespace {
constexpr int kErrorBufferSize = 1024;
constexpr const char* kGetFailed = "Failed to get pseudo-random sequence from Twister PRNG: ";
}  // namespace

ZncTwister::ZncTwister() {
  Zncl::init();
  char error[kErrorBufferSize] = {};
  ctx = Zncl::twister_init(nullptr, error, sizeof error);
  if (ctx == nullptr) {
    zn::detail::ThrowCryptoError("ZncTwister::ZncTwister", std::string("Failed to instantiate Twister PRNG: ") + error);
  }
}

ZncTwister::~ZncTwister() {
  if (ctx != nullptr && Zncl::twister_destroy != nullptr) Zncl::twister_destroy(ctx);
}

void ZncTwister::seed(const unsigned char* bytes, int len) {
  if (Zncl::twister_seed(ctx, bytes, len) != 0) {
    zn::detail::ThrowEngineError("ZncTwister::seed", "Failed to seed Twister PRNG: ", ctx);
  }
}

unsigned int ZncTwister::getInt() {
  unsigned int value = 0;
  if (Zncl::twister_get(ctx, &value, sizeof value) != 0) zn::detail::ThrowEngineError("ZncTwister::getInt", kGetFailed, ctx);
  return value;
}

ZncBucket ZncTwister::get(int n) {
  ZncBucket bytes(n > 0 ? n : 0);
  if (n > 0 && Zncl::twister_get(ctx, bytes.getData(), n) != 0) {
    zn::detail::ThrowEngineError("ZncTwister::get", kGetFailed, ctx);
  }
  return bytes;
}
