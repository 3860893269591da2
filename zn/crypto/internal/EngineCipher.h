// The part every engine-backed block cipher shares: which entry points it
// uses and what its messages call it. Each cipher class is a thin shell
// over these functions (ZN_DEFINE_ENGINE_CIPHER).
#pragma once

#include "zn/crypto/znc_bucket.h"
#include "zn/crypto/znc_zncl.h"

namespace zn::detail {

struct CipherBinding {
  const char* className;      // "ZncAES": construction failures
  const char* setKeyOp;       // "ZncAES::setKey"
  const char* encBlockOp;     // "ZncAES::encBlock"
  const char* decBlockOp;     // "ZncAES::decBlock"
  const char* instantiate;    // "Failed to instantiate AES cipher: "
  const char* setKeyFailed;   // "Failed to set AES key: "
  const char* encryptFailed;  // "Failed to encrypt one block using AES: "
  const char* decryptFailed;  // "Failed to decrypt one block using AES: "
  int blockSize;
  int cipherType;
  Zncl::CtxInitFn* init;
  Zncl::CtxDestroyFn* destroy;
  Zncl::SetKeyFn* setKey;
  Zncl::BlockFn* encrypt;
  Zncl::BlockFn* decrypt;
  Zncl::BlocksFn* encryptBlocks;  // optional
  Zncl::BlocksFn* decryptBlocks;  // optional
};

// Loads the engine and makes a context; throws the instantiation message.
void* NewCipherContext(const CipherBinding& binding);
void FreeCipherContext(const CipherBinding& binding, void* ctx);
// Sets the key in the engine; throws the set-key message.
void SetCipherKey(const CipherBinding& binding, void* ctx, const void* key, int len);
// A fresh context holding `key` (when `keyed`): for copies.
void* CopyCipherContext(const CipherBinding& binding, const ZncBucket& key, bool keyed);

inline void EncryptBlock(const CipherBinding& b, void* ctx, const void* in, void* out);
inline void DecryptBlock(const CipherBinding& b, void* ctx, const void* in, void* out);
void EncryptBlocks(const CipherBinding& b, void* ctx, const unsigned char* in, unsigned char* out, int blocks);
void DecryptBlocks(const CipherBinding& b, void* ctx, const unsigned char* in, unsigned char* out, int blocks);

[[noreturn]] void ThrowBlockFailure(const char* op, const char* prefix, void* ctx);

inline void EncryptBlock(const CipherBinding& b, void* ctx, const void* in, void* out) {
  if ((*b.encrypt)(ctx, in, out) != 0) ThrowBlockFailure(b.encBlockOp, b.encryptFailed, ctx);
}

inline void DecryptBlock(const CipherBinding& b, void* ctx, const void* in, void* out) {
  if ((*b.decrypt)(ctx, in, out) != 0) ThrowBlockFailure(b.decBlockOp, b.decryptFailed, ctx);
}

}  // namespace zn::detail

// The members of an engine-backed cipher class `Class` whose binding is
// `binding` (a zn::detail::CipherBinding). The class holds `ctx` and the
// key bytes in `m_key` (kept for copies, wiped with the bucket).
#define ZN_DEFINE_ENGINE_CIPHER(Class, binding)                                               \
  Class::Class() {                                                                            \
    ctx = zn::detail::NewCipherContext(binding);                                              \
    cipherType = (binding).cipherType;                                                        \
    setBlockSize((binding).blockSize);                                                        \
  }                                                                                           \
  Class::Class(const Class& other) : ZncBlockCipher(other), m_key(other.m_key) {              \
    ctx = zn::detail::CopyCipherContext(binding, m_key, other.keySet);                        \
  }                                                                                           \
  Class& Class::operator=(const Class& other) {                                               \
    if (this == &other) return *this;                                                         \
    void* fresh = zn::detail::CopyCipherContext(binding, other.m_key, other.keySet);          \
    zn::detail::FreeCipherContext(binding, ctx);                                              \
    ctx = fresh;                                                                              \
    ZncBlockCipher::operator=(other);                                                         \
    m_key = other.m_key;                                                                      \
    return *this;                                                                             \
  }                                                                                           \
  Class::~Class() { zn::detail::FreeCipherContext(binding, ctx); }                            \
  void Class::setKey(const void* key, int len) {                                              \
    zn::detail::SetCipherKey(binding, ctx, key, len);                                         \
    m_key = ZncBucket(key, len);                                                              \
    keySet = true;                                                                            \
  }                                                                                           \
  void Class::encBlock(const void* in, void* out) { zn::detail::EncryptBlock(binding, ctx, in, out); } \
  void Class::decBlock(const void* in, void* out) { zn::detail::DecryptBlock(binding, ctx, in, out); } \
  void Class::encBlocks(const unsigned char* in, unsigned char* out, int blocks) {            \
    zn::detail::EncryptBlocks(binding, ctx, in, out, blocks);                                 \
  }                                                                                           \
  void Class::decBlocks(const unsigned char* in, unsigned char* out, int blocks) {            \
    zn::detail::DecryptBlocks(binding, ctx, in, out, blocks);                                 \
  }
