// The part every engine-backed digest shares: which entry points it uses
// and what its messages call it. Each digest class is a thin shell over
// these functions (ZN_DEFINE_ENGINE_HASH).
#pragma once

#include "zn/crypto/znc_bucket.h"
#include "zn/crypto/znc_zncl.h"

namespace zn::detail {

struct HashBinding {
  const char* className;      // "ZncMD5": construction failures
  const char* resetOp;        // "ZncMD5::reset"
  const char* addDataOp;      // "ZncMD5::addData"
  const char* finishOp;       // "ZncMD5::finish"
  const char* instantiate;    // "Failed to instantiate MD5 hasher: "
  const char* hmacInitFailed; // "Failed to init HMAC-MD5 hasher: "
  const char* resetFailed;    // "Failed to reset MD5 hasher: "
  const char* feedFailed;     // "Failed to feed more data to MD5 hasher: "
  const char* bufferTooSmall; // "Buffer for MD5 digest must be at least 16-byte long."
  const char* hmacFailed;     // "Failed to produce HMAC-MD5: "
  const char* hashFailed;     // "Failed to produce MD5 hash: "
  int digestSize;
  Zncl::CtxInitFn* init;
  Zncl::CtxDestroyFn* destroy;
  Zncl::DataFn* update;
  Zncl::DigestOutFn* final;
  Zncl::CtxFn* reset;
  Zncl::DataFn* hmacInit;
  Zncl::DataFn* hmacUpdate;
  Zncl::DigestOutFn* hmacFinal;
};

// Loads the engine and makes a context ready for a plain digest; throws
// the instantiation message.
void* NewHashContext(const HashBinding& binding);
void FreeHashContext(const HashBinding& binding, void* ctx);
// A new context ready for a message under `key` (plain when empty).
void* CopyHashContext(const HashBinding& binding, const ZncBucket& key);
// Starts a new message: HMAC under `key`, or the plain digest.
void StartMessage(const HashBinding& binding, void* ctx, const ZncBucket& key);
void FeedMessage(const HashBinding& binding, void* ctx, bool keyed, const void* data, int len);
void FinishMessage(const HashBinding& binding, void* ctx, bool keyed, void* out, int size);

}  // namespace zn::detail

// The members of an engine-backed digest class `Class` whose binding is
// `binding` (a zn::detail::HashBinding); the class holds `ctx`.
#define ZN_DEFINE_ENGINE_HASH(Class, binding)                                                  \
  Class::Class() : ZncHash((binding).digestSize) { ctx = zn::detail::NewHashContext(binding); } \
  Class::Class(const Class& other) : ZncHash(other) {                                          \
    ctx = zn::detail::CopyHashContext(binding, key);                                           \
  }                                                                                            \
  Class& Class::operator=(const Class& other) {                                                \
    if (this == &other) return *this;                                                          \
    void* fresh = zn::detail::CopyHashContext(binding, other.key);                             \
    zn::detail::FreeHashContext(binding, ctx);                                                 \
    ctx = fresh;                                                                               \
    ZncHash::operator=(other);                                                                 \
    return *this;                                                                              \
  }                                                                                            \
  Class::~Class() { zn::detail::FreeHashContext(binding, ctx); }                               \
  void Class::reset() { zn::detail::StartMessage(binding, ctx, key); }                         \
  void Class::addData(const void* data, int len) {                                             \
    zn::detail::FeedMessage(binding, ctx, key.getSize() > 0, data, len);                       \
  }                                                                                            \
  void Class::_finish(void* out, int size) {                                                   \
    zn::detail::FinishMessage(binding, ctx, key.getSize() > 0, out, size);                     \
  }
