#include "znsig.h"

#include <dlfcn.h>

#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include <botan/pk_keys.h>
#include <botan/pkcs8.h>
#include <botan/pubkey.h>
#include <botan/system_rng.h>
#include <botan/x509_key.h>

namespace {

constexpr size_t kDigestBytes = 64;
constexpr size_t kSignatureBytes = 64;

std::string OwnDirectory() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&znVerifySignature), &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string path(info.dli_fname);
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

extern "C" int znVerifySignature(const unsigned char* digest, size_t digestLen, const unsigned char* sig,
                                 size_t sigLen) {
  if (digest == nullptr || sig == nullptr || digestLen != kDigestBytes || sigLen != kSignatureBytes) return 0;
  try {
    // Read on every call: a key put in place or replaced counts at once.
    const std::unique_ptr<Botan::Public_Key> key(Botan::X509::load_key(OwnDirectory() + "/znsig.pub"));
    if (!key || key->algo_name() != "Ed25519") return 0;
    Botan::PK_Verifier verifier(*key, "Pure");
    return verifier.verify_message(digest, digestLen, sig, sigLen) ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

extern "C" int znSignDigest(const char* privateKeyPemFile, const unsigned char* digest, size_t digestLen,
                            unsigned char* sig, size_t* sigLen) {
  if (privateKeyPemFile == nullptr || digest == nullptr || digestLen != kDigestBytes || sigLen == nullptr) return 0;
  const bool fits = sig != nullptr && *sigLen >= kSignatureBytes;
  *sigLen = kSignatureBytes;
  if (!fits) return 0;
  try {
    Botan::System_RNG rng;
    const std::unique_ptr<Botan::Private_Key> key(Botan::PKCS8::load_key(privateKeyPemFile, rng));
    if (!key || key->algo_name() != "Ed25519") return 0;
    Botan::PK_Signer signer(*key, rng, "Pure");
    const std::vector<uint8_t> signature = signer.sign_message(digest, digestLen, rng);
    if (signature.size() != kSignatureBytes) return 0;
    std::memcpy(sig, signature.data(), signature.size());
    return 1;
  } catch (const std::exception&) {
    return 0;
  }
}
