#include "zn/crypto/internal/EngineCipher.h"

#include <string>

#include "zn/crypto/internal/CryptoError.h"

namespace zn::detail {

namespace {
constexpr int kErrorBufferSize = 1024;
}  // namespace

void* NewCipherContext(const CipherBinding& binding) {
  Zncl::init();
  char error[kErrorBufferSize] = {};
  void* ctx = (*binding.init)(nullptr, error, sizeof error);
  if (ctx == nullptr) ThrowCryptoError(binding.className, std::string(binding.instantiate) + error);
  return ctx;
}

void FreeCipherContext(const CipherBinding& binding, void* ctx) {
  // After the engine is gone its contexts went with it.
  if (ctx != nullptr && Zncl::isLoaded() && *binding.destroy != nullptr) (*binding.destroy)(ctx);
}

void SetCipherKey(const CipherBinding& binding, void* ctx, const void* key, int len) {
  if ((*binding.setKey)(ctx, key, len) != 0) ThrowEngineError(binding.setKeyOp, binding.setKeyFailed, ctx);
}

void* CopyCipherContext(const CipherBinding& binding, const ZncBucket& key, bool keyed) {
  void* ctx = NewCipherContext(binding);
  if (keyed) {
    try {
      SetCipherKey(binding, ctx, key.getData(), key.getSize());
    } catch (...) {
      FreeCipherContext(binding, ctx);
      throw;
    }
  }
  return ctx;
}

void EncryptBlocks(const CipherBinding& b, void* ctx, const unsigned char* in, unsigned char* out, int blocks) {
  if (*b.encryptBlocks != nullptr) {
    if ((*b.encryptBlocks)(ctx, in, out, blocks) != 0) ThrowBlockFailure(b.encBlockOp, b.encryptFailed, ctx);
    return;
  }
  for (int i = 0; i < blocks; ++i) EncryptBlock(b, ctx, in + i * b.blockSize, out + i * b.blockSize);
}

void DecryptBlocks(const CipherBinding& b, void* ctx, const unsigned char* in, unsigned char* out, int blocks) {
  if (*b.decryptBlocks != nullptr) {
    if ((*b.decryptBlocks)(ctx, in, out, blocks) != 0) ThrowBlockFailure(b.decBlockOp, b.decryptFailed, ctx);
    return;
  }
  for (int i = 0; i < blocks; ++i) DecryptBlock(b, ctx, in + i * b.blockSize, out + i * b.blockSize);
}

void ThrowBlockFailure(const char* op, const char* prefix, void* ctx) { ThrowEngineError(op, prefix, ctx); }

}  // namespace zn::detail
