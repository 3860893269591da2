// Signed time-limited tokens: "S001", a two-digit length L, L digits of
// the expiry time, then the hexadecimal signature of SHA-512(data + time).
// The signature library is libZnSigLib.so, loaded once per process: from
// the home folder only for checking, as its public key sits beside it; from
// the home folder or beside this library for signing, where the caller
// names the key.
#include <cctype>
#include <cstdio>
#include <ctime>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "zn/crypto/SignedToken.h"
#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/internal/ZnclState.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_bucket.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXNoDestructor.h"

namespace {

using VerifyFn = int (*)(const unsigned char*, size_t, const unsigned char*, size_t);
using SignFn = int (*)(const char*, const unsigned char*, size_t, unsigned char*, size_t*);

constexpr size_t kSignatureBytes = 64;

// One loaded copy of the signature library and the address of `symbol` in
// it, from the first of `folders` that has both.
class SignatureLibrary {
 public:
  void* Address(const char* symbol, const std::vector<std::string>& folders) {
    std::call_once(m_once, [&] {
      for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        if (m_library.Load(folder + "/" + CYqLibrary::GetLibraryNameForName("ZnSigLib")).IsError()) continue;
        void* address = nullptr;
        if (m_library.GetAddress(symbol, address).IsError() || address == nullptr) continue;
        m_address = address;
        return;
      }
      m_library.Free();
    });
    return m_address;
  }

 private:
  std::once_flag m_once;
  CYqLibrary m_library;
  void* m_address = nullptr;
};

VerifyFn LoadedVerify() {
  static yq::NoDestructor<SignatureLibrary> binding;
  return reinterpret_cast<VerifyFn>(binding.get().Address("znVerifySignature", {zn::detail::HomeFolder()}));
}

SignFn LoadedSign() {
  static yq::NoDestructor<SignatureLibrary> binding;
  return reinterpret_cast<SignFn>(
      binding.get().Address("znSignDigest", {zn::detail::HomeFolder(), zn::detail::LibraryDirectory()}));
}

// What is signed: SHA-512 of the data followed by the expiry digits.
ZncBucket TokenDigest(std::string_view data, std::string_view expiry) {
  secure_basic_string<char> message(data.data(), data.size());
  message.append(expiry.data(), expiry.size());
  return Znc::sha512(message.data(), static_cast<int>(message.size()));
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsHex(std::string_view text) {
  for (const char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

}  // namespace

bool zn::ParseToken(std::string_view token, TokenParts& parts) {
  if (token.size() < 6 || token.substr(0, 4) != "S001" || !AllDigits(token.substr(4, 2))) return false;
  const size_t length = static_cast<size_t>((token[4] - '0') * 10 + (token[5] - '0'));
  // Nineteen digits always fit a 64-bit time.
  if (length == 0 || length > 19 || token.size() < 6 + length) return false;
  const std::string_view expiry = token.substr(6, length);
  const std::string_view signature = token.substr(6 + length);
  if (!AllDigits(expiry) || signature.empty() || signature.size() % 2 != 0 || !IsHex(signature)) return false;
  parts.expiry = expiry;
  parts.signature = signature;
  parts.expiresAt = 0;
  for (const char c : expiry) parts.expiresAt = parts.expiresAt * 10 + static_cast<unsigned>(c - '0');
  return true;
}

int ZNPassword::verify(const secure_basic_string<char>& token, const secure_basic_string<char>& data, bool& valid) {
  valid = false;
  zn::TokenParts parts;
  if (!zn::ParseToken(std::string_view(token.data(), token.size()), parts)) return fail("verify", kZnPwdBadArgument);
  const std::string_view expiry = parts.expiry;
  const std::string_view signature = parts.signature;
  if (parts.expiresAt < static_cast<unsigned long long>(std::time(nullptr))) return fail("verify", kZnPwdTokenExpired);

  const VerifyFn check = LoadedVerify();
  if (check == nullptr) return fail("verify", kZnPwdProtectFailed);
  try {
    const ZncBucket digest = TokenDigest(std::string_view(data.data(), data.size()), expiry);
    const ZncBucket sig = Znc::hex2bin(std::string(signature).c_str());
    valid = check(digest.getData(), static_cast<size_t>(digest.getSize()), sig.getData(),
                  static_cast<size_t>(sig.getSize())) == 1;
  } catch (const std::exception&) {
    return fail("verify", kZnPwdEncodeFailed);
  }
  return 1;
}

uint32_t zn::SignToken(const char* privateKeyFile, std::string_view data, long long expiresAt, std::string& token) {
  if (privateKeyFile == nullptr || *privateKeyFile == '\0' || expiresAt <= 0) return kZnPwdBadArgument;
  const SignFn sign = LoadedSign();
  if (sign == nullptr) return kZnPwdProtectFailed;
  try {
    const std::string expiry = std::to_string(expiresAt);
    const ZncBucket digest = TokenDigest(data, expiry);
    unsigned char signature[kSignatureBytes];
    size_t length = sizeof signature;
    if (sign(privateKeyFile, digest.getData(), static_cast<size_t>(digest.getSize()), signature, &length) != 1 ||
        length != kSignatureBytes) {
      return kZnPwdEncodeFailed;
    }
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02zu", expiry.size());
    token = "S001" + std::string(digits) + expiry + Znc::bin2hex(signature, static_cast<int>(length));
    return 0;
  } catch (const std::exception&) {
    return kZnPwdEncodeFailed;
  }
}
