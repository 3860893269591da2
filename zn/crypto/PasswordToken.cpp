// Signed time-limited tokens: "S001", a two-digit length L, L digits of
// the expiry time, then the hexadecimal signature of SHA-512(data + time).
// The check itself is libZnSigLib.so's, loaded once from the home folder.
#include <cctype>
#include <ctime>
#include <exception>
#include <mutex>
#include <string>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_bucket.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXNoDestructor.h"

namespace {

using VerifyFn = int (*)(const unsigned char*, size_t, const unsigned char*, size_t);

struct SignatureLibrary {
  std::once_flag once;
  CYqLibrary library;
  VerifyFn verify = nullptr;
};

VerifyFn LoadedVerify() {
  static yq::NoDestructor<SignatureLibrary> binding;
  SignatureLibrary& b = binding.get();
  std::call_once(b.once, [&b] {
    std::string home = zn::LogSettings::HomeDirectory();
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home.empty()) return;
    if (b.library.Load(home + "/" + CYqLibrary::GetLibraryNameForName("ZnSigLib")).IsError()) return;
    void* address = nullptr;
    if (b.library.GetAddress("znVerifySignature", address).IsError() || address == nullptr) return;
    b.verify = reinterpret_cast<VerifyFn>(address);
  });
  return b.verify;
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

int ZNPassword::verify(const secure_basic_string<char>& token, const secure_basic_string<char>& data, bool& valid) {
  valid = false;
  const std::string_view text(token.data(), token.size());
  if (text.size() < 6 || text.substr(0, 4) != "S001" || !AllDigits(text.substr(4, 2))) {
    return fail("verify", kZnPwdBadArgument);
  }
  const size_t length = static_cast<size_t>((text[4] - '0') * 10 + (text[5] - '0'));
  // Nineteen digits always fit a 64-bit time.
  if (length == 0 || length > 19 || text.size() < 6 + length) return fail("verify", kZnPwdBadArgument);
  const std::string_view expiry = text.substr(6, length);
  const std::string_view signature = text.substr(6 + length);
  if (!AllDigits(expiry) || signature.empty() || signature.size() % 2 != 0 || !IsHex(signature)) {
    return fail("verify", kZnPwdBadArgument);
  }
  const unsigned long long expiresAt = std::stoull(std::string(expiry));
  if (expiresAt < static_cast<unsigned long long>(std::time(nullptr))) return fail("verify", kZnPwdTokenExpired);

  const VerifyFn check = LoadedVerify();
  if (check == nullptr) return fail("verify", kZnPwdProtectFailed);
  try {
    secure_basic_string<char> message(data);
    message.append(expiry.data(), expiry.size());
    const ZncBucket digest = Znc::sha512(message.data(), static_cast<int>(message.size()));
    const ZncBucket sig = Znc::hex2bin(std::string(signature).c_str());
    valid = check(digest.getData(), static_cast<size_t>(digest.getSize()), sig.getData(),
                  static_cast<size_t>(sig.getSize())) == 1;
  } catch (const std::exception&) {
    return fail("verify", kZnPwdEncodeFailed);
  }
  return 1;
}
