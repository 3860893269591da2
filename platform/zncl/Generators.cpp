// The two generators: frand, an HMAC_DRBG over SHA-256 reseeded from the
// system's generator (locked: the library shares one context between its
// threads), and twister, a Mersenne Twister for reproducible sequences.
#include <botan/hmac_drbg.h>
#include <botan/mac.h>
#include <botan/system_rng.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

class FrandContext : public Context {
 public:
  static constexpr Kind kKind = Kind::kFrand;
  FrandContext()
      : Context(kKind),
        drbg(Botan::MessageAuthenticationCode::create_or_throw("HMAC(SHA-256)"), Botan::system_rng()) {
    drbg.reseed_from_rng(Botan::system_rng(), 256);
  }

  std::mutex lock;
  Botan::HMAC_DRBG drbg;
};

class TwisterContext : public Context {
 public:
  static constexpr Kind kKind = Kind::kTwister;
  TwisterContext() : Context(kKind) {}

  std::mt19937 engine;
  uint32_t pending = 0;  // bytes of the last word not yet handed out
  int pendingCount = 0;
};

bool ValidBuffer(Context& c, const void* data, int length) {
  if (length < 0 || (length > 0 && data == nullptr)) {
    Fail(&c, kErrInvalidArgument, "NULL buffer or negative length");
    return false;
  }
  return true;
}

}  // namespace
}  // namespace zncl

using namespace zncl;

extern "C" {

void* zncl_frand_init(int* errorNumber, char* error, int errorSize) {
  return Create(errorNumber, error, errorSize, [] { return new FrandContext; });
}

int zncl_frand_destroy(void* ctx) {
  return Unregister(ctx, Kind::kFrand) ? 0 : FailThread(kErrInvalidArgument, "Invalid frand context handle");
}

int zncl_frand_seed(void* ctx, const void* seed, int length) {
  return Call<FrandContext>(ctx, [&](FrandContext& c) {
    if (!ValidBuffer(c, seed, length)) return -1;
    std::lock_guard<std::mutex> hold(c.lock);
    c.drbg.add_entropy(static_cast<const uint8_t*>(seed), static_cast<std::size_t>(length));
    return 0;
  });
}

int zncl_frand_get(void* ctx, void* out, int length) {
  return Call<FrandContext>(ctx, [&](FrandContext& c) {
    if (!ValidBuffer(c, out, length)) return -1;
    std::lock_guard<std::mutex> hold(c.lock);
    c.drbg.randomize(static_cast<uint8_t*>(out), static_cast<std::size_t>(length));
    return 0;
  });
}

void* zncl_twister_init(int* errorNumber, char* error, int errorSize) {
  return Create(errorNumber, error, errorSize, [] { return new TwisterContext; });
}

int zncl_twister_destroy(void* ctx) {
  return Unregister(ctx, Kind::kTwister) ? 0 : FailThread(kErrInvalidArgument, "Invalid twister context handle");
}

int zncl_twister_seed(void* ctx, const void* seed, int length) {
  return Call<TwisterContext>(ctx, [&](TwisterContext& c) {
    if (!ValidBuffer(c, seed, length)) return -1;
    const auto* p = static_cast<const uint8_t*>(seed);
    std::seed_seq sequence(p, p + length);
    c.engine.seed(sequence);
    c.pendingCount = 0;
    return 0;
  });
}

// Words are handed out little-endian; a word cut by the end of one call
// goes on in the next, so the sequence does not depend on how it is split.
int zncl_twister_get(void* ctx, void* out, int length) {
  return Call<TwisterContext>(ctx, [&](TwisterContext& c) {
    if (!ValidBuffer(c, out, length)) return -1;
    auto* p = static_cast<uint8_t*>(out);
    for (int i = 0; i < length; ++i) {
      if (c.pendingCount == 0) {
        c.pending = static_cast<uint32_t>(c.engine());
        c.pendingCount = 4;
      }
      p[i] = static_cast<uint8_t>(c.pending);
      c.pending >>= 8;
      --c.pendingCount;
    }
    return 0;
  });
}

}  // extern "C"
