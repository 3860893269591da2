// The four digests and their HMAC forms. A context holds the plain hash and,
// once hmac_init has run, the keyed MAC; each mode keeps its own running
// state.
#include <botan/hash.h>
#include <botan/mac.h>

#include <memory>
#include <string>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

class DigestContext : public Context {
 public:
  static constexpr Kind kKind = Kind::kDigest;
  DigestContext(const char* name) : Context(kKind), botanName(name), hash(Botan::HashFunction::create_or_throw(name)) {}

  std::string botanName;
  std::unique_ptr<Botan::HashFunction> hash;
  std::unique_ptr<Botan::MessageAuthenticationCode> hmac;  // made by hmac_init
};

bool ValidInput(DigestContext& c, const void* data, int length) {
  if (length < 0 || (length > 0 && data == nullptr)) {
    Fail(&c, kErrInvalidArgument, "NULL data or negative length");
    return false;
  }
  return true;
}

void* Init(const char* name, int* errorNumber, char* error, int errorSize) {
  return Create(errorNumber, error, errorSize, [name] { return new DigestContext(name); });
}

int Destroy(void* ctx) {
  return Unregister(ctx, Kind::kDigest) ? 0 : FailThread(kErrInvalidArgument, "Invalid digest context handle");
}

int Update(void* ctx, const void* data, int length) {
  return Call<DigestContext>(ctx, [&](DigestContext& c) {
    if (!ValidInput(c, data, length)) return -1;
    c.hash->update(static_cast<const uint8_t*>(data), static_cast<std::size_t>(length));
    return 0;
  });
}

int Final(void* ctx, void* digest) {
  return Call<DigestContext>(ctx, [&](DigestContext& c) {
    if (digest == nullptr) return Fail(&c, kErrInvalidArgument, "NULL digest buffer");
    c.hash->final(static_cast<uint8_t*>(digest));  // also starts the next message
    return 0;
  });
}

int Reset(void* ctx) {
  return Call<DigestContext>(ctx, [&](DigestContext& c) {
    c.hash->clear();
    return 0;
  });
}

int HmacInit(void* ctx, const void* key, int length) {
  return Call<DigestContext>(ctx, [&](DigestContext& c) {
    if (!ValidInput(c, key, length)) return -1;
    if (!c.hmac) c.hmac = Botan::MessageAuthenticationCode::create_or_throw("HMAC(" + c.botanName + ")");
    c.hmac->set_key(static_cast<const uint8_t*>(key), static_cast<std::size_t>(length));
    return 0;
  });
}

int HmacUpdate(void* ctx, const void* data, int length) {
  return Call<DigestContext>(ctx, [&](DigestContext& c) {
    if (!c.hmac) return Fail(&c, kErrNoKey, "HMAC has not been initialised with a key");
    if (!ValidInput(c, data, length)) return -1;
    c.hmac->update(static_cast<const uint8_t*>(data), static_cast<std::size_t>(length));
    return 0;
  });
}

int HmacFinal(void* ctx, void* digest) {
  return Call<DigestContext>(ctx, [&](DigestContext& c) {
    if (!c.hmac) return Fail(&c, kErrNoKey, "HMAC has not been initialised with a key");
    if (digest == nullptr) return Fail(&c, kErrInvalidArgument, "NULL digest buffer");
    c.hmac->final(static_cast<uint8_t*>(digest));  // keeps the key for the next message
    return 0;
  });
}

}  // namespace
}  // namespace zncl

#define ZNCL_DEFINE_DIGEST(alg, botanName, approved)                                                 \
  void* zncl_##alg##_init(int* errorNumber, char* error, int errorSize) {                           \
    return zncl::Init(botanName, errorNumber, error, errorSize);                                    \
  }                                                                                                 \
  int zncl_##alg##_destroy(void* ctx) { return zncl::Destroy(ctx); }                                \
  int zncl_##alg##_update(void* ctx, const void* data, int length) { return zncl::Update(ctx, data, length); } \
  int zncl_##alg##_final(void* ctx, void* digest) { return zncl::Final(ctx, digest); }             \
  int zncl_##alg##_reset(void* ctx) { return zncl::Reset(ctx); }                                    \
  int zncl_##alg##_hmac_init(void* ctx, const void* key, int length) { return zncl::HmacInit(ctx, key, length); } \
  int zncl_##alg##_hmac_update(void* ctx, const void* data, int length) {                          \
    return zncl::HmacUpdate(ctx, data, length);                                                     \
  }                                                                                                 \
  int zncl_##alg##_hmac_final(void* ctx, void* digest) { return zncl::HmacFinal(ctx, digest); }    \
  int zncl_##alg##_is_fips_approved(void) { return approved; }

extern "C" {
ZNCL_DEFINE_DIGEST(md5, "MD5", 0)
ZNCL_DEFINE_DIGEST(sha1, "SHA-1", 1)
ZNCL_DEFINE_DIGEST(sha256, "SHA-256", 1)
ZNCL_DEFINE_DIGEST(sha512, "SHA-512", 1)
}
