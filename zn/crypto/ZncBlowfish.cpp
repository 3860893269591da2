#include "zn/crypto/znc_blowfish.h"

#include <string.h>

#include <cstring>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/internal/EngineCipher.h"
#include "zn/crypto/znc.h"

namespace {

using zn::detail::ThrowCryptoError;

constexpr int kBlock = 8;
constexpr const char* kEncCBC61 = "ZncBlowfish::encCBC61";
constexpr const char* kDecCBC61 = "ZncBlowfish::decCBC61";

const zn::detail::CipherBinding kBlowfish = {
    "ZncBlowfish",
    "ZncBlowfish::setKey",
    "ZncBlowfish::encBlock",
    "ZncBlowfish::decBlock",
    "Failed to instantiate Blowfish cipher: ",
    "Failed to set Blowfish key: ",
    "Failed to encrypt one block using Blowfish: ",
    "Failed to decrypt one block using Blowfish: ",
    kBlock,
    Znc::CIPHER_BLOWFISH,
    &Zncl::blowfish_init,
    &Zncl::blowfish_destroy,
    &Zncl::blowfish_set_key,
    &Zncl::blowfish_ecb_encrypt,
    &Zncl::blowfish_ecb_decrypt,
    &Zncl::blowfish_ecb_encrypt_blocks,
    &Zncl::blowfish_ecb_decrypt_blocks,
};

}  // namespace

ZN_DEFINE_ENGINE_CIPHER(ZncBlowfish, kBlowfish)

// The texts below ("They key") are the system's own.
int ZncBlowfish::encCBC61(const void* in, void* out, int len) {
  if (!keySet) ThrowCryptoError(kEncCBC61, "Cannot encrypt data: They key must be preset.");
  if (iv.getSize() == 0) ThrowCryptoError(kEncCBC61, "Cannot encrypt data: They IV must be preset.");
  if (in == nullptr || len == 0) return 0;
  if (len < 0) ThrowCryptoError(kEncCBC61, "Cannot encrypt data: Negative data length.");
  if (out == nullptr) ThrowCryptoError(kEncCBC61, "Cannot encrypt data: NULL output buffer pointer.");
  const auto* src = static_cast<const unsigned char*>(in);
  auto* dst = static_cast<unsigned char*>(out);
  const int whole = len & ~(kBlock - 1);
  unsigned char* chain = iv.getData();
  if (whole > 0 && Zncl::blowfish_cbc_encrypt(ctx, src, whole, dst, chain) != 0) {
    zn::detail::ThrowEngineError(kEncCBC61, "Failed to perform CBC encryption using Blowfish: ", ctx);
  }
  if (whole == len) return len;
  unsigned char last[kBlock] = {};
  std::memcpy(last, src + whole, static_cast<std::size_t>(len - whole));
  const int failed = Zncl::blowfish_cbc_encrypt(ctx, last, kBlock, dst + whole, chain);
  ::explicit_bzero(last, sizeof last);
  if (failed != 0) zn::detail::ThrowEngineError(kEncCBC61, "Failed to perform CBC encryption using Blowfish: ", ctx);
  return whole + kBlock;
}

int ZncBlowfish::decCBC61(const void* in, void* out, int len) {
  if (!keySet) ThrowCryptoError(kDecCBC61, "Cannot decrypt data: They key must be preset.");
  if (iv.getSize() == 0) ThrowCryptoError(kDecCBC61, "Cannot decrypt data: They IV must be preset.");
  if (in == nullptr || len == 0) return 0;
  if (len < 0 || len % kBlock != 0) {
    ThrowCryptoError(kDecCBC61, "Cannot decrypt data: Encrypted data must be provided in 8-byte blocks.");
  }
  if (out == nullptr) ThrowCryptoError(kDecCBC61, "Cannot decrypt data: NULL output buffer pointer.");
  if (Zncl::blowfish_cbc_decrypt(ctx, in, len, out, iv.getData()) != 0) {
    zn::detail::ThrowEngineError(kDecCBC61, "Failed to perform CBC decryption using Blowfish: ", ctx);
  }
  return len;
}

ZncBucket ZncBlowfish::encCBC61(const ZncBucket& in) {
  if (in.getSize() == 0) {
    encCBC61(nullptr, nullptr, 0);  // the checks still apply
    return ZncBucket();
  }
  ZncBucket out((in.getSize() + kBlock - 1) & ~(kBlock - 1));
  out.resize(encCBC61(in.getData(), out.getData(), in.getSize()));
  return out;
}

ZncBucket ZncBlowfish::decCBC61(const ZncBucket& in) {
  ZncBucket out(in.getSize());
  out.resize(decCBC61(in.getData(), in.getSize() > 0 ? out.getData() : nullptr, in.getSize()));
  return out;
}
