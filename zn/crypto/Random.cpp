// The process-wide random generator: one frand context of the engine, made
// on first use and shared by every thread under one lock.
#include <string>

#include "zn/base/ZnCriticalSection.h"
#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/internal/ZnclState.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_zncl.h"
#include "zuzazer/FXNoDestructor.h"

namespace {

constexpr int kErrorBufferSize = 1024;

struct Generator {
  ZnCriticalSection lock;
  void* ctx = nullptr;
};

Generator& TheGenerator() {
  static yq::NoDestructor<Generator> generator;
  return generator.get();
}

// The context, made on first use; call with the lock held.
void* ContextLocked(Generator& g, const char* function) {
  if (g.ctx != nullptr) return g.ctx;
  Zncl::init();
  char error[kErrorBufferSize] = {};
  g.ctx = Zncl::frand_init(nullptr, error, sizeof error);
  if (g.ctx == nullptr) zn::detail::ThrowCryptoError(function, std::string("Failed to instantiate FIPS PRNG: ") + error);
  return g.ctx;
}

}  // namespace

void zn::detail::ReleaseRandomContext() {
  Generator& g = TheGenerator();
  ZnCriticalSectionLock hold(&g.lock);
  if (g.ctx != nullptr && Zncl::frand_destroy != nullptr) Zncl::frand_destroy(g.ctx);
  g.ctx = nullptr;
}

void Znc::getRand(void* out, int len) {
  if (len <= 0) return;
  if (out == nullptr) zn::detail::ThrowCryptoError("Znc::getRand", "FIPS PRNG failed: NULL output buffer pointer.");
  Generator& g = TheGenerator();
  ZnCriticalSectionLock hold(&g.lock);
  void* ctx = ContextLocked(g, "Znc::getRand");
  if (Zncl::frand_get(ctx, out, len) != 0) zn::detail::ThrowEngineError("Znc::getRand", "FIPS PRNG failed: ", ctx);
}

ZncBucket Znc::getRand(int len) {
  ZncBucket bytes(len > 0 ? len : 0);
  if (len > 0) getRand(bytes.getData(), len);
  return bytes;
}

void Znc::seedRand(const void* seed, int len) {
  if (seed == nullptr || len <= 0) return;
  Generator& g = TheGenerator();
  ZnCriticalSectionLock hold(&g.lock);
  void* ctx = ContextLocked(g, "Znc::seedRand");
  if (Zncl::frand_seed(ctx, seed, len) != 0) {
    zn::detail::ThrowEngineError("Znc::seedRand", "Failed to seed FIPS PRNG: ", ctx);
  }
}
