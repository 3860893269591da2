// The object itself: its fields, failure reporting, the caller's buffers
// and the strong encoding shared by the formats '3', '5' and '8'.
#include "zn/crypto/ZNPassword.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "zn/crypto/internal/PasswordUnicode.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_bucket.h"
#include "zn/crypto/znc_keywrap.h"

namespace {

// The routine itself takes longer texts than the public limit of 511.
constexpr size_t kStrongPlainLimit = 16383;

bool IsLowerHex(std::string_view text) {
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// AES-256 keyed with SHA-256 of the key material.
void KeyAes(ZncAES& aes, std::string_view keyMaterial) {
  ZncBucket digest = Znc::sha256(keyMaterial.data(), static_cast<int>(keyMaterial.size()));
  aes.setKey(digest.getData(), digest.getSize());
}

}  // namespace

ZNPassword::ZNPassword() : ZNPassword(0) {}

ZNPassword::ZNPassword(int printErrorsFlag)
    : encPwd{}, encLen(0), pwdLen(0), lastError(0), encryptVersion('2'), printErrors(printErrorsFlag),
      event(nullptr) {}

ZNPassword::ZNPassword(EvEvent* e) : ZNPassword(0) { event = e; }

ZNPassword::ZNPassword(const ZNPassword& other) = default;
ZNPassword& ZNPassword::operator=(const ZNPassword& other) = default;
ZNPassword::~ZNPassword() = default;

int ZNPassword::fail(const char* operation, uint32_t code) {
  lastError = code;
  if (printErrors != 0) {
    std::printf("\nError: ZNPassword::%s %lu\n", operation, static_cast<unsigned long>(code));
    std::fflush(stdout);
  }
  return 0;
}

int ZNPassword::copyOut(const char* operation, std::string_view text, char* out, size_t* size) {
  if (size == nullptr) return fail(operation, kZnPwdBadArgument);
  const size_t needed = text.size() + 1;
  if (out == nullptr || *size < needed) {
    *size = needed;
    return fail(operation, kZnPwdBadArgument);
  }
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  *size = text.size();
  return 1;
}

int ZNPassword::copyOut(const char* operation, std::u32string_view text, wchar_t* out, size_t* size) {
  if (size == nullptr) return fail(operation, kZnPwdBadArgument);
  const size_t needed = text.size() + 1;
  if (out == nullptr || *size < needed) {
    *size = needed;
    return fail(operation, kZnPwdBadArgument);
  }
  for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<wchar_t>(text[i]);
  out[text.size()] = L'\0';
  *size = text.size();
  return 1;
}

int ZNPassword::storeEncoded(const char* operation, std::string_view enc, size_t plainLength, char marker) {
  if (enc.size() > kMaxEncoded) {
    std::memset(encPwd, 0, sizeof encPwd);
    encLen = 0;
    pwdLen = 0;
    return fail(operation, kZnPwdTooLong);
  }
  std::memcpy(encPwd, enc.data(), enc.size());
  encPwd[enc.size()] = '\0';
  encLen = enc.size();
  pwdLen = plainLength;
  encryptVersion = static_cast<unsigned char>(marker);
  return 1;
}

int ZNPassword::setEncoded(std::string_view enc) {
  if (enc.size() > kMaxEncoded) return fail("setEncoded", kZnPwdTooLong);
  std::memcpy(encPwd, enc.data(), enc.size());
  encPwd[enc.size()] = '\0';
  encLen = enc.size();
  pwdLen = 0;
  if (!enc.empty()) encryptVersion = static_cast<unsigned char>(enc.front());
  return 1;
}

int ZNPassword::strongEncode(const char* operation, std::string_view plain, char marker,
                             std::string_view keyMaterial, char* out, size_t* size) {
  if (plain.size() > kStrongPlainLimit) return fail(operation, kZnPwdPlainTooLong);
  secure_basic_string<char> enc;
  try {
    ZncAES aes;
    KeyAes(aes, keyMaterial);
    ZncKeyWrap wrapper(&aes);
    const ZncBucket wrapped = wrapper.wrap(ZncBucket(plain.data(), static_cast<int>(plain.size())));
    enc.reserve(1 + 2 * static_cast<size_t>(wrapped.getSize()));
    enc.push_back(marker);
    enc.append(Znc::bin2hex_s(wrapped));
  } catch (...) {  // the engine's faults, allocation
    return fail(operation, kZnPwdEncodeFailed);
  }
  if (storeEncoded(operation, enc, plain.size(), marker) == 0) return 0;
  if (out == nullptr && size == nullptr) return 1;
  return copyOut(operation, enc, out, size);
}

int ZNPassword::strongDecode(const char* operation, std::string_view enc, std::string_view keyMaterial,
                             secure_basic_string<char>& plain) {
  if (enc.size() > kMaxEncoded) return fail(operation, kZnPwdTooLong);
  if (enc.size() < 2) return fail(operation, kZnPwdEncodeFailed);
  const std::string_view digits = enc.substr(1);
  // Whole bytes of at least two semiblocks, and nothing but lower-case digits.
  if (digits.size() % 16 != 0 || digits.size() < 32 || !IsLowerHex(digits)) {
    return fail(operation, kZnPwdEncodeFailed);
  }
  try {
    ZncAES aes;
    KeyAes(aes, keyMaterial);
    ZncKeyWrap wrapper(&aes);
    const secure_basic_string<char> hex(digits);
    const ZncBucket bytes = wrapper.unWrap(Znc::hex2bin(hex.c_str()));
    const std::string_view text(reinterpret_cast<const char*>(bytes.getData()), static_cast<size_t>(bytes.getSize()));
    if (zn::detail::Utf8CharCount(text) > kMaxPlain) return fail(operation, kZnPwdPlainTooLong);
    plain.assign(text);
  } catch (...) {  // the engine's faults, allocation
    return fail(operation, kZnPwdEncodeFailed);
  }
  return 1;
}
