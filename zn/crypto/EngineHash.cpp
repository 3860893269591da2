#include "zn/crypto/internal/EngineHash.h"

#include <string>

#include "zn/crypto/internal/CryptoError.h"

namespace zn::detail {

namespace {
constexpr int kErrorBufferSize = 1024;
}  // namespace

void* NewHashContext(const HashBinding& binding) {
  Zncl::init();
  char error[kErrorBufferSize] = {};
  void* ctx = (*binding.init)(nullptr, error, sizeof error);
  if (ctx == nullptr) ThrowCryptoError(binding.className, std::string(binding.instantiate) + error);
  return ctx;
}

void FreeHashContext(const HashBinding& binding, void* ctx) {
  // After the engine is gone its contexts went with it.
  if (ctx != nullptr && Zncl::isLoaded() && *binding.destroy != nullptr) (*binding.destroy)(ctx);
}

void* CopyHashContext(const HashBinding& binding, const ZncBucket& key) {
  void* ctx = NewHashContext(binding);
  if (key.getSize() > 0) {
    try {
      StartMessage(binding, ctx, key);
    } catch (...) {
      FreeHashContext(binding, ctx);
      throw;
    }
  }
  return ctx;
}

void StartMessage(const HashBinding& binding, void* ctx, const ZncBucket& key) {
  if (key.getSize() > 0) {
    if ((*binding.hmacInit)(ctx, key.getData(), key.getSize()) != 0) {
      ThrowEngineError(binding.resetOp, binding.hmacInitFailed, ctx);
    }
  } else if ((*binding.reset)(ctx) != 0) {
    ThrowEngineError(binding.resetOp, binding.resetFailed, ctx);
  }
}

void FeedMessage(const HashBinding& binding, void* ctx, bool keyed, const void* data, int len) {
  const int failed = keyed ? (*binding.hmacUpdate)(ctx, data, len) : (*binding.update)(ctx, data, len);
  if (failed != 0) ThrowEngineError(binding.addDataOp, binding.feedFailed, ctx);
}

void FinishMessage(const HashBinding& binding, void* ctx, bool keyed, void* out, int size) {
  if (size < binding.digestSize) ThrowCryptoError(binding.finishOp, binding.bufferTooSmall);
  if (keyed) {
    if ((*binding.hmacFinal)(ctx, out) != 0) ThrowEngineError(binding.finishOp, binding.hmacFailed, ctx);
  } else if ((*binding.final)(ctx, out) != 0) {
    ThrowEngineError(binding.finishOp, binding.hashFailed, ctx);
  }
}

}  // namespace zn::detail
