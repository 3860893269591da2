// RSA: keys in PKCS #1 (the engine's own encoding), X.509/PKCS #8 DER and
// PEM; PKCS #1 v1.5 or raw encryption one block at a time; PKCS #1 v1.5
// signatures over SHA-256.
#include <botan/asn1_obj.h>
#include <botan/data_src.h>
#include <botan/pem.h>
#include <botan/pkcs8.h>
#include <botan/pubkey.h>
#include <botan/rsa.h>
#include <botan/system_rng.h>
#include <botan/x509_key.h>

#include <cstring>
#include <memory>
#include <string>

#include "zncl/internal/Engine.h"
#include "zncl/zncl.h"

namespace zncl {
namespace {

constexpr int kPkcs1Overhead = 11;
constexpr int kMinBits = 512;
constexpr int kMaxBits = 16384;

class RsaContext : public Context {
 public:
  static constexpr Kind kKind = Kind::kRsa;
  RsaContext() : Context(kKind) {}

  // The public operations use `pub`, or the public half of `pri`.
  const Botan::RSA_PublicKey* publicKey() const {
    return pub ? pub.get() : static_cast<const Botan::RSA_PublicKey*>(pri.get());
  }

  std::unique_ptr<Botan::RSA_PrivateKey> pri;
  std::unique_ptr<Botan::RSA_PublicKey> pub;
  bool padding = true;
};

Botan::RandomNumberGenerator& Rng() { return Botan::system_rng(); }

const Botan::AlgorithmIdentifier& RsaAlgorithm() {
  static const Botan::AlgorithmIdentifier* id =
      new Botan::AlgorithmIdentifier(Botan::OID::from_string("RSA"), Botan::AlgorithmIdentifier::USE_NULL_PARAM);
  return *id;
}

bool ValidBuffer(RsaContext& c, const void* data, int length) {
  if (data == nullptr || length <= 0) {
    Fail(&c, kErrInvalidArgument, "NULL or empty input");
    return false;
  }
  return true;
}

std::vector<uint8_t> Bytes(const void* data, int length) {
  const auto* p = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(p, p + length);
}

void SetPrivate(RsaContext& c, std::unique_ptr<Botan::Private_Key> key) {
  auto* rsa = dynamic_cast<Botan::RSA_PrivateKey*>(key.get());
  if (rsa == nullptr) throw Botan::Decoding_Error("The key is not an RSA private key");
  key.release();
  c.pri.reset(rsa);
  c.pub.reset();
}

void SetPublic(RsaContext& c, std::unique_ptr<Botan::Public_Key> key) {
  auto* rsa = dynamic_cast<Botan::RSA_PublicKey*>(key.get());
  if (rsa == nullptr) throw Botan::Decoding_Error("The key is not an RSA public key");
  key.release();
  c.pub.reset(rsa);
}

// Copies `bytes` out with the in-out length convention of the _get_ calls.
int GiveOut(RsaContext& c, const std::vector<uint8_t>& bytes, void* out, int* length) {
  if (length == nullptr) return Fail(&c, kErrInvalidArgument, "NULL length pointer");
  const int needed = static_cast<int>(bytes.size());
  if (out == nullptr || *length < needed) {
    *length = needed;
    return Fail(&c, kErrBufferTooSmall, "Output buffer too small: " + std::to_string(needed) + " bytes needed");
  }
  std::memcpy(out, bytes.data(), bytes.size());
  *length = needed;
  return 0;
}

template <class Body>
int WithPrivate(void* ctx, Body&& body) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (!c.pri) return Fail(&c, kErrNoKey, "No RSA private key has been set");
    return body(c);
  });
}

template <class Body>
int WithPublic(void* ctx, Body&& body) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (c.publicKey() == nullptr) return Fail(&c, kErrNoKey, "No RSA key has been set");
    return body(c);
  });
}

int ModulusBytes(const Botan::RSA_PublicKey& key) { return static_cast<int>(key.get_n().bytes()); }

}  // namespace
}  // namespace zncl

using namespace zncl;

extern "C" {

void* zncl_rsa_init(int* errorNumber, char* error, int errorSize) {
  return Create(errorNumber, error, errorSize, [] { return new RsaContext; });
}

int zncl_rsa_destroy(void* ctx) {
  return Unregister(ctx, Kind::kRsa) ? 0 : FailThread(kErrInvalidArgument, "Invalid RSA context handle");
}

int zncl_rsa_set_pri_key(void* ctx, const void* key, int length) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (!ValidBuffer(c, key, length)) return -1;
    const auto* p = static_cast<const uint8_t*>(key);
    Botan::secure_vector<uint8_t> bits(p, p + length);
    c.pri = std::make_unique<Botan::RSA_PrivateKey>(RsaAlgorithm(), bits);
    c.pub.reset();
    return 0;
  });
}

int zncl_rsa_set_pri_key_der(void* ctx, const void* key, int length) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (!ValidBuffer(c, key, length)) return -1;
    Botan::DataSource_Memory source(static_cast<const uint8_t*>(key), static_cast<std::size_t>(length));
    SetPrivate(c, Botan::PKCS8::load_key(source));
    return 0;
  });
}

int zncl_rsa_set_pri_key_pem(void* ctx, const char* pem, const char* passPhrase) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (pem == nullptr || pem[0] == '\0') return Fail(&c, kErrInvalidArgument, "NULL or empty PEM text");
    Botan::DataSource_Memory source(pem);
    if (Botan::PEM_Code::matches(source, "RSA PRIVATE KEY")) {
      std::string label;
      const Botan::secure_vector<uint8_t> bits = Botan::PEM_Code::decode(source, label);
      c.pri = std::make_unique<Botan::RSA_PrivateKey>(RsaAlgorithm(), bits);
      c.pub.reset();
      return 0;
    }
    Botan::DataSource_Memory again(pem);
    if (passPhrase != nullptr && passPhrase[0] != '\0') {
      SetPrivate(c, Botan::PKCS8::load_key(again, std::string(passPhrase)));
    } else {
      SetPrivate(c, Botan::PKCS8::load_key(again));
    }
    return 0;
  });
}

int zncl_rsa_set_pub_key(void* ctx, const void* key, int length) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (!ValidBuffer(c, key, length)) return -1;
    c.pub = std::make_unique<Botan::RSA_PublicKey>(RsaAlgorithm(), Bytes(key, length));
    return 0;
  });
}

int zncl_rsa_set_pub_key_der(void* ctx, const void* key, int length) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (!ValidBuffer(c, key, length)) return -1;
    SetPublic(c, std::unique_ptr<Botan::Public_Key>(Botan::X509::load_key(Bytes(key, length))));
    return 0;
  });
}

int zncl_rsa_set_pub_key_pem(void* ctx, const char* pem) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (pem == nullptr || pem[0] == '\0') return Fail(&c, kErrInvalidArgument, "NULL or empty PEM text");
    Botan::DataSource_Memory source(pem);
    if (Botan::PEM_Code::matches(source, "RSA PUBLIC KEY")) {
      std::string label;
      const Botan::secure_vector<uint8_t> bits = Botan::PEM_Code::decode(source, label);
      c.pub = std::make_unique<Botan::RSA_PublicKey>(RsaAlgorithm(),
                                                     std::vector<uint8_t>(bits.begin(), bits.end()));
      return 0;
    }
    Botan::DataSource_Memory again(pem);
    SetPublic(c, std::unique_ptr<Botan::Public_Key>(Botan::X509::load_key(again)));
    return 0;
  });
}

int zncl_rsa_gen_key_pair(void* ctx, int bits) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    if (bits < kMinBits || bits > kMaxBits) {
      return Fail(&c, kErrInvalidArgument,
                  "RSA key size must be " + std::to_string(kMinBits) + " to " + std::to_string(kMaxBits) + " bits");
    }
    c.pri = std::make_unique<Botan::RSA_PrivateKey>(Rng(), static_cast<std::size_t>(bits));
    c.pub.reset();
    return 0;
  });
}

int zncl_rsa_get_pri_key(void* ctx, void* out, int* length) {
  return WithPrivate(ctx, [&](RsaContext& c) {
    const Botan::secure_vector<uint8_t> bits = c.pri->private_key_bits();
    return GiveOut(c, std::vector<uint8_t>(bits.begin(), bits.end()), out, length);
  });
}

int zncl_rsa_get_pri_key_der(void* ctx, void* out, int* length) {
  return WithPrivate(ctx, [&](RsaContext& c) {
    const Botan::secure_vector<uint8_t> bits = Botan::PKCS8::BER_encode(*c.pri);
    return GiveOut(c, std::vector<uint8_t>(bits.begin(), bits.end()), out, length);
  });
}

int zncl_rsa_get_pub_key(void* ctx, void* out, int* length) {
  return WithPublic(ctx, [&](RsaContext& c) { return GiveOut(c, c.publicKey()->public_key_bits(), out, length); });
}

int zncl_rsa_get_pub_key_der(void* ctx, void* out, int* length) {
  return WithPublic(ctx, [&](RsaContext& c) { return GiveOut(c, Botan::X509::BER_encode(*c.publicKey()), out, length); });
}

int zncl_rsa_get_mod_size(void* ctx, int* bytes) {
  return WithPublic(ctx, [&](RsaContext& c) {
    if (bytes == nullptr) return Fail(&c, kErrInvalidArgument, "NULL output pointer");
    *bytes = ModulusBytes(*c.publicKey());
    return 0;
  });
}

int zncl_rsa_enable_padding(void* ctx, int on) {
  return Call<RsaContext>(ctx, [&](RsaContext& c) {
    c.padding = on != 0;
    return 0;
  });
}

int zncl_rsa_encrypt(void* ctx, const void* in, int length, void* out, int* outLength) {
  return WithPublic(ctx, [&](RsaContext& c) {
    if (!ValidBuffer(c, in, length) || out == nullptr || outLength == nullptr) {
      return Fail(&c, kErrInvalidArgument, "NULL or empty argument");
    }
    const int modulus = ModulusBytes(*c.publicKey());
    const int limit = c.padding ? modulus - kPkcs1Overhead : modulus;
    if (length > limit) {
      return Fail(&c, kErrInvalidArgument, "RSA input block longer than " + std::to_string(limit) + " bytes");
    }
    if (*outLength < modulus) {
      *outLength = modulus;
      return Fail(&c, kErrBufferTooSmall, "Output buffer too small");
    }
    Botan::PK_Encryptor_EME encryptor(*c.publicKey(), Rng(), c.padding ? "PKCS1v15" : "Raw");
    const std::vector<uint8_t> result =
        encryptor.encrypt(static_cast<const uint8_t*>(in), static_cast<std::size_t>(length), Rng());
    std::memcpy(out, result.data(), result.size());
    *outLength = static_cast<int>(result.size());
    return 0;
  });
}

int zncl_rsa_decrypt(void* ctx, const void* in, int length, void* out, int* outLength) {
  return WithPrivate(ctx, [&](RsaContext& c) {
    if (!ValidBuffer(c, in, length) || out == nullptr || outLength == nullptr) {
      return Fail(&c, kErrInvalidArgument, "NULL or empty argument");
    }
    Botan::PK_Decryptor_EME decryptor(*c.pri, Rng(), c.padding ? "PKCS1v15" : "Raw");
    const Botan::secure_vector<uint8_t> result =
        decryptor.decrypt(static_cast<const uint8_t*>(in), static_cast<std::size_t>(length));
    if (*outLength < static_cast<int>(result.size())) {
      *outLength = static_cast<int>(result.size());
      return Fail(&c, kErrBufferTooSmall, "Output buffer too small");
    }
    std::memcpy(out, result.data(), result.size());
    *outLength = static_cast<int>(result.size());
    return 0;
  });
}

int zncl_rsa_sign(void* ctx, const void* in, int length, void* out, int outSize) {
  return WithPrivate(ctx, [&](RsaContext& c) {
    if (in == nullptr || length < 0 || out == nullptr) return Fail(&c, kErrInvalidArgument, "NULL argument");
    const int modulus = ModulusBytes(*c.pri);
    if (outSize < modulus) return Fail(&c, kErrBufferTooSmall, "Signature buffer smaller than the modulus");
    Botan::PK_Signer signer(*c.pri, Rng(), "EMSA3(SHA-256)");
    const std::vector<uint8_t> signature =
        signer.sign_message(static_cast<const uint8_t*>(in), static_cast<std::size_t>(length), Rng());
    std::memcpy(out, signature.data(), signature.size());
    return 0;
  });
}

int zncl_rsa_verify(void* ctx, const void* data, int length, const void* signature, int signatureLength) {
  return WithPublic(ctx, [&](RsaContext& c) {
    if (data == nullptr || length < 0 || signature == nullptr || signatureLength <= 0) {
      return Fail(&c, kErrInvalidArgument, "NULL argument");
    }
    Botan::PK_Verifier verifier(*c.publicKey(), "EMSA3(SHA-256)");
    if (verifier.verify_message(static_cast<const uint8_t*>(data), static_cast<std::size_t>(length),
                                static_cast<const uint8_t*>(signature), static_cast<std::size_t>(signatureLength))) {
      return 0;
    }
    return Fail(&c, kErrBadData, "RSA signature does not verify");
  });
}

int zncl_rsa_sign_is_fips_approved(void) { return 1; }
int zncl_rsa_encdec_is_fips_approved(void) { return 1; }

}  // extern "C"
