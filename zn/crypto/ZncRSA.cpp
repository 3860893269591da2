// RSA over the engine's one-block calls: the library cuts data into blocks,
// grows key buffers when the engine asks for more, and left-pads raw
// output (the engine drops leading zero bytes of a raw block).
#include "zn/crypto/znc_rsa.h"

#include <cstring>
#include <new>
#include <string>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/internal/Pem.h"
#include "zn/crypto/znc_zncl.h"

namespace {

using zn::detail::ThrowCryptoError;
using zn::detail::ThrowEngineError;

constexpr int kPkcs1Overhead = 11;
constexpr int kFirstKeyBuffer = 1024;
constexpr int kErrorBufferSize = 1024;
// The engine's errno for a key buffer too small (the size needed comes back).
constexpr int kEngineBufferTooSmall = 2;

}  // namespace

ZncRSA::ZncRSA() {
  Zncl::init();
  char error[kErrorBufferSize] = {};
  ctx = Zncl::rsa_init(nullptr, error, sizeof error);
  if (ctx == nullptr) ThrowCryptoError("ZncRSA::ZncRSA", std::string("Failed to instantiate RSA cipher: ") + error);
}

ZncRSA::~ZncRSA() {
  if (ctx != nullptr && Zncl::rsa_destroy != nullptr) Zncl::rsa_destroy(ctx);
}

void ZncRSA::enablePadding(bool on) {
  if (Zncl::rsa_enable_padding(ctx, on ? 1 : 0) != 0) {
    ThrowEngineError("ZncRSA::enablePadding", "Failed to toggle padding in RSA cipher: ", ctx);
  }
  padding = on;
}

int ZncRSA::getModSize() {
  int bytes = 0;
  if (Zncl::rsa_get_mod_size(ctx, &bytes) != 0) {
    ThrowEngineError("ZncRSA::getModSize", "Failed to retrieve modulus size from RSA cipher: ", ctx);
  }
  return bytes;
}

int ZncRSA::blockIn() { return padding ? getModSize() - kPkcs1Overhead : getModSize(); }

int ZncRSA::getEncBufSize(int len) {
  if (len <= 0) return 0;
  return ((len - 1) / blockIn() + 1) * getModSize();
}

void ZncRSA::genKeyPair(int bits) {
  if (Zncl::rsa_gen_key_pair(ctx, bits) != 0) {
    ThrowEngineError("ZncRSA::genKeyPair", "Failed to generate RSA key pair: ", ctx);
  }
}

void ZncRSA::genKeyPair(int bits, ZncBucket& pub, ZncBucket& pri, bool der) {
  ZncRSA rsa;
  rsa.genKeyPair(bits);
  ZncBucket newPub = rsa.getPubKey(der);
  ZncBucket newPri = rsa.getPriKey(der);
  pub = newPub;
  pri = newPri;
}

void ZncRSA::setPubKey(const void* key, int len, bool der) {
  const int rc = der ? Zncl::rsa_set_pub_key_der(ctx, key, len) : Zncl::rsa_set_pub_key(ctx, key, len);
  if (rc != 0) ThrowEngineError("ZncRSA::setPubKey", "Failed to set RSA public key: ", ctx);
}

void ZncRSA::setPubKey(const ZncBucket& key, bool der) { setPubKey(key.getData(), key.getSize(), der); }

void ZncRSA::setPriKey(const void* key, int len, bool der) {
  const int rc = der ? Zncl::rsa_set_pri_key_der(ctx, key, len) : Zncl::rsa_set_pri_key(ctx, key, len);
  if (rc != 0) ThrowEngineError("ZncRSA::setPriKey", "Failed to set RSA private key: ", ctx);
}

void ZncRSA::setPriKey(const ZncBucket& key, bool der) { setPriKey(key.getData(), key.getSize(), der); }

void ZncRSA::setPubKeyPEM(const char* pem) {
  constexpr const char* kOp = "ZncRSA::setPubKeyPEM";
  constexpr const char* kPrefix = "Failed to set RSA public key: ";
  const std::string refused = zn::detail::UnsupportedPemHeader(pem);
  if (!refused.empty()) ThrowCryptoError(kOp, kPrefix + refused);
  if (Zncl::rsa_set_pub_key_pem(ctx, pem) != 0) ThrowEngineError(kOp, kPrefix, ctx);
}

void ZncRSA::setPriKeyPEM(const char* pem, const char* passPhrase) {
  constexpr const char* kOp = "ZncRSA::setPriKeyPEM";
  constexpr const char* kPrefix = "Failed to set RSA private key: ";
  const std::string refused = zn::detail::UnsupportedPemHeader(pem);
  if (!refused.empty()) ThrowCryptoError(kOp, kPrefix + refused);
  if (Zncl::rsa_set_pri_key_pem(ctx, pem, passPhrase) != 0) ThrowEngineError(kOp, kPrefix, ctx);
}

ZncBucket ZncRSA::getKey(bool pub, bool der) {
  const char* op = pub ? "ZncRSA::getPubKey" : "ZncRSA::getPriKey";
  Zncl::GetKeyFn get = pub ? (der ? Zncl::rsa_get_pub_key_der : Zncl::rsa_get_pub_key)
                           : (der ? Zncl::rsa_get_pri_key_der : Zncl::rsa_get_pri_key);
  int size = kFirstKeyBuffer;
  for (;;) {
    ZncBucket key;
    try {
      key.resize(size);
    } catch (const std::bad_alloc&) {
      ThrowCryptoError(op, pub ? "Failed to allocate memory for public key." : "Failed to allocate memory for private key.");
    }
    int length = size;
    if (get(ctx, key.getData(), &length) == 0) {
      key.resize(length);
      return key;
    }
    if (Zncl::get_last_errno(ctx) != kEngineBufferTooSmall || length <= size) {
      ThrowEngineError(op,
                       pub ? "Failed to retrieve RSA public key from RSA cipher: "
                           : "Failed to retrieve RSA private key from RSA cipher: ",
                       ctx);
    }
    size = length;
  }
}

ZncBucket ZncRSA::getPubKey(bool der) { return getKey(true, der); }
ZncBucket ZncRSA::getPriKey(bool der) { return getKey(false, der); }

std::string ZncRSA::getPubKeyPEM() {
  const ZncBucket key = getPubKey(false);
  const secure_basic_string<char> text = zn::detail::PemEncode("RSA PUBLIC KEY", key.getData(), key.getSize());
  return std::string(text.data(), text.size());
}

secure_basic_string<char> ZncRSA::getPriKeyPEM() {
  const ZncBucket key = getPriKey(false);
  return zn::detail::PemEncode("RSA PRIVATE KEY", key.getData(), key.getSize());
}

int ZncRSA::encrypt(const void* in, void* out, int len) {
  constexpr const char* kOp = "ZncRSA::encrypt";
  if (len <= 0) return 0;
  const int modulus = getModSize();
  const int step = blockIn();
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  int written = 0;
  for (int done = 0; done < len; done += step) {
    const int chunk = len - done < step ? len - done : step;
    int outLength = modulus;
    if (Zncl::rsa_encrypt(ctx, src + done, chunk, dst + written, &outLength) != 0) {
      ThrowEngineError(kOp, "Failed to encrypt one data block with RSA: ", ctx);
    }
    written += modulus;
  }
  return written;
}

int ZncRSA::decrypt(const void* in, void* out, int len) {
  constexpr const char* kOp = "ZncRSA::decrypt";
  const int modulus = getModSize();
  if (len < 0 || modulus <= 0 || len % modulus != 0) {
    ThrowCryptoError(kOp, "Cannot decrypt RSA ciphertext: data length is not multiple of the modulus.");
  }
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  int written = 0;
  for (int done = 0; done < len; done += modulus) {
    int outLength = modulus;
    if (Zncl::rsa_decrypt(ctx, src + done, modulus, dst + written, &outLength) != 0) {
      ThrowEngineError(kOp, "Failed to decrypt one data block with RSA: ", ctx);
    }
    if (!padding && outLength < modulus) {
      const int lead = modulus - outLength;
      std::memmove(dst + written + lead, dst + written, static_cast<std::size_t>(outLength));
      std::memset(dst + written, 0, static_cast<std::size_t>(lead));
      outLength = modulus;
    }
    written += outLength;
  }
  return written;
}

ZncBucket ZncRSA::encrypt(const ZncBucket& in) {
  ZncBucket out(getEncBufSize(in.getSize()));
  out.resize(encrypt(in.getData(), out.getData(), in.getSize()));
  return out;
}

ZncBucket ZncRSA::decrypt(const ZncBucket& in) {
  ZncBucket out(in.getSize());
  out.resize(decrypt(in.getData(), out.getData(), in.getSize()));
  return out;
}

void ZncRSA::sign(const void* data, int len, void* sig, int sigSize) {
  if (Zncl::rsa_sign(ctx, data, len, sig, sigSize) != 0) ThrowEngineError("ZncRSA::sign", "", ctx);
}

ZncBucket ZncRSA::sign(const void* data, int len) {
  ZncBucket sig(getModSize());
  sign(data, len, sig.getData(), sig.getSize());
  return sig;
}

ZncBucket ZncRSA::sign(const ZncBucket& data) { return sign(data.getData(), data.getSize()); }

bool ZncRSA::verify(const void* data, int len, const void* sig, int sigLen) {
  return Zncl::rsa_verify(ctx, data, len, sig, sigLen) == 0;
}

bool ZncRSA::verify(const ZncBucket& data, const ZncBucket& sig) {
  return verify(data.getData(), data.getSize(), sig.getData(), sig.getSize());
}
