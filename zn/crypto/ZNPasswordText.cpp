// Encoding, decoding, conversion, the stored text and comparison: every
// form goes through the plain password as UTF-8 bytes in a wiping buffer.
#include <cstring>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/internal/BuiltInSecrets.h"
#include "zn/crypto/internal/PasswordUnicode.h"
#include "zn/crypto/znc_bucket.h"

namespace {

using zn::detail::Utf8CharCount;

// A caller's text, bounded: one character past the limit is enough to
// know that it is too long.
std::string_view Bounded(const char* text, size_t limit) { return {text, strnlen(text, limit + 1)}; }

std::string_view BucketText(const ZncBucket& b) {
  return {reinterpret_cast<const char*>(b.getData()), static_cast<size_t>(b.getSize())};
}

}  // namespace

// ---- Format '3' ----

int ZNPassword::encodeV3(const char* operation, std::string_view plain, const char* phrase, char* out,
                         size_t* size) {
  if (Utf8CharCount(plain) > kMaxPlain) return fail(operation, kZnPwdPlainTooLong);
  passPhrase.assign(phrase != nullptr ? phrase : "");
  const std::string_view material = passPhrase.empty() ? zn::detail::kDefaultPassPhrase : std::string_view(passPhrase);
  return strongEncode(operation, plain, '3', material, out, size);
}

int ZNPassword::encryptWithVersion(const char* pwd, char* out, size_t* size, char version) {
  static constexpr const char* kOp = "encryptWithVersion";
  if (version != '1' && version != '2' && version != '3') return fail(kOp, kZnPwdBadMarker);
  if (pwd == nullptr) return fail(kOp, kZnPwdBadArgument);
  const std::string_view plain = Bounded(pwd, 4 * kMaxPlain);
  if (Utf8CharCount(plain) > kMaxPlain) return fail(kOp, kZnPwdPlainTooLong);
  if (version == '3') return encodeV3(kOp, plain, nullptr, out, size);
  secure_basic_string<char> enc;
  if (encryption(plain, version == '2', enc) == 0) return 0;
  if (storeEncoded(kOp, enc, plain.size(), version) == 0) return 0;
  if (out == nullptr && size == nullptr) return 1;
  return copyOut(kOp, enc, out, size);
}

int ZNPassword::encrypt(const char* pwd) { return encrypt(pwd, nullptr, nullptr); }

int ZNPassword::encrypt(const wchar_t* pwd) { return encrypt(pwd, nullptr, nullptr); }

int ZNPassword::encrypt(const char* pwd, char* out, size_t* size) {
  if (pwd == nullptr) return fail("encrypt", kZnPwdBadArgument);
  return encodeV3("encrypt", Bounded(pwd, 4 * kMaxPlain), nullptr, out, size);
}

int ZNPassword::encrypt(const wchar_t* pwd, char* out, size_t* size) {
  if (pwd == nullptr) return fail("encrypt", kZnPwdBadArgument);
  return encodeV3("encrypt", zn::detail::WideToUtf8(pwd), nullptr, out, size);
}

int ZNPassword::encryptStrong(const char* pwd, char* out, size_t* size, const char* phrase) {
  if (pwd == nullptr) return fail("encryptStrong", kZnPwdBadArgument);
  return encodeV3("encryptStrong", Bounded(pwd, 4 * kMaxPlain), phrase, out, size);
}

int ZNPassword::encryptStrong(const wchar_t* pwd, char* out, size_t* size, const char* phrase) {
  if (pwd == nullptr) return fail("encryptStrong", kZnPwdBadArgument);
  return encodeV3("encryptStrong", zn::detail::WideToUtf8(pwd), phrase, out, size);
}

int ZNPassword::encryptStrong(const secure_basic_string<char>& pwd, secure_basic_string<char>& out,
                              const char* phrase) {
  if (encodeV3("encryptStrong", pwd, phrase, nullptr, nullptr) == 0) return 0;
  out.assign(getEncoded());
  return 1;
}

int ZNPassword::encryptASM(const secure_basic_string<char>&, secure_basic_string<char>&) { return 0; }

// ---- Decoding ----

int ZNPassword::decodeToPlain(const char* operation, secure_basic_string<char>& plain) {
  const std::string_view enc = getEncoded();
  if (enc.empty()) return fail(operation, kZnPwdBadArgument);
  int ok = 0;
  switch (enc.front()) {
    case '1':
      ok = decryption(enc, plain);
      break;
    case '2':
      ok = decryption_v2pass(enc, plain);
      break;
    case '3': {
      const std::string_view material =
          passPhrase.empty() ? zn::detail::kDefaultPassPhrase : std::string_view(passPhrase);
      ok = strongDecode(operation, enc, material, plain);
      break;
    }
    case '5': {
      ZncBucket key;
      ok = getV5EncKey(key) != 0 && strongDecode(operation, enc, BucketText(key), plain) != 0;
      break;
    }
    case '8': {
      ZncBucket key;
      ok = getV8EncKey(key, false) != 0 && strongDecode(operation, enc, BucketText(key), plain) != 0;
      break;
    }
    default:
      return fail(operation, kZnPwdBadMarker);
  }
  if (ok == 0) return 0;
  pwdLen = plain.size();
  return 1;
}

int ZNPassword::decodeText(const char* operation, std::string_view enc, secure_basic_string<char>& plain) {
  if (enc.empty()) return fail(operation, kZnPwdBadArgument);
  if (enc.size() > kMaxEncoded) return fail(operation, kZnPwdTooLong);
  ZNPassword work(*this);
  work.setEncoded(enc);
  const int ok = work.decodeToPlain(operation, plain);
  lastError = work.lastError;
  return ok;
}

int ZNPassword::decrypt(char* out, size_t* size) {
  if (size == nullptr) return fail("decrypt", kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (decodeToPlain("decrypt", plain) == 0) return 0;
  return copyOut("decrypt", plain, out, size);
}

int ZNPassword::decrypt(wchar_t* out, size_t* size) {
  if (size == nullptr) return fail("decrypt", kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (decodeToPlain("decrypt", plain) == 0) return 0;
  return copyOut("decrypt", zn::detail::Utf8ToUtf32(plain), out, size);
}

int ZNPassword::decrypt(const char* enc, char* out, size_t* size) {
  if (enc == nullptr) return fail("decrypt", kZnPwdBadArgument);
  const std::string_view text = Bounded(enc, kMaxEncoded);
  if (text.size() > kMaxEncoded) return fail("decrypt", kZnPwdTooLong);
  setEncoded(text);
  return decrypt(out, size);
}

int ZNPassword::decrypt(const char* enc, wchar_t* out, size_t* size) {
  if (enc == nullptr) return fail("decrypt", kZnPwdBadArgument);
  const std::string_view text = Bounded(enc, kMaxEncoded);
  if (text.size() > kMaxEncoded) return fail("decrypt", kZnPwdTooLong);
  setEncoded(text);
  return decrypt(out, size);
}

int ZNPassword::decrypt(const char* enc, char* out, size_t* size, const char* phrase) {
  passPhrase.assign(phrase != nullptr ? phrase : "");
  return decrypt(enc, out, size);
}

int ZNPassword::decrypt(const char* enc, wchar_t* out, size_t* size, const char* phrase) {
  passPhrase.assign(phrase != nullptr ? phrase : "");
  return decrypt(enc, out, size);
}

int ZNPassword::decrypt(const secure_basic_string<char>& enc, secure_basic_string<char>& plain) {
  if (enc.empty()) return fail("decrypt", kZnPwdBadArgument);
  if (enc.size() > kMaxEncoded) return fail("decrypt", kZnPwdTooLong);
  setEncoded(enc);
  return decodeToPlain("decrypt", plain);
}

int ZNPassword::decrypt(const secure_basic_string<char>& enc, secure_basic_string<wchar_t>& plain) {
  secure_basic_string<char> utf8;
  if (decrypt(enc, utf8) == 0) return 0;
  plain = UTF8StringToWideString(utf8);
  return 1;
}

// ---- Conversion ----

int ZNPassword::ConvertToV3(const secure_basic_string<char>& enc, secure_basic_string<char>& out) {
  secure_basic_string<char> plain;
  if (decodeText("ConvertToV3", enc, plain) == 0) return 0;
  if (encodeV3("ConvertToV3", plain, nullptr, nullptr, nullptr) == 0) return 0;
  out.assign(getEncoded());
  return 1;
}

int ZNPassword::ConvertToV3(const char* enc, char* out, size_t* size) {
  if (enc == nullptr || size == nullptr) return fail("ConvertToV3", kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (decodeText("ConvertToV3", Bounded(enc, kMaxEncoded), plain) == 0) return 0;
  return encodeV3("ConvertToV3", plain, nullptr, out, size);
}

int ZNPassword::ConvertToV5(const secure_basic_string<char>& enc, secure_basic_string<char>& out) {
  secure_basic_string<char> plain;
  if (decodeText("ConvertToV5", enc, plain) == 0) return 0;
  return encryptV5(plain, out);
}

int ZNPassword::ConvertToV8(const secure_basic_string<char>& enc, secure_basic_string<char>& out) {
  secure_basic_string<char> plain;
  if (decodeText("ConvertToV8", enc, plain) == 0) return 0;
  return encryptV8(plain, out);
}

int ZNPassword::ConvertToV8(const char* enc, char* out, size_t* size) {
  if (enc == nullptr || size == nullptr) return fail("ConvertToV8", kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (decodeText("ConvertToV8", Bounded(enc, kMaxEncoded), plain) == 0) return 0;
  return encryptV8(plain.c_str(), out, size);
}

int ZNPassword::ConvertToASM(const secure_basic_string<char>& enc, secure_basic_string<char>& plain) {
  return decodeText("ConvertToASM", enc, plain);
}

// ---- The stored text ----

int ZNPassword::putEncPwd(const char* enc) {
  static constexpr const char* kOp = "putEncPwd";
  if (enc == nullptr || *enc == '\0') return fail(kOp, kZnPwdBadArgument);
  const std::string_view text = Bounded(enc, kMaxEncoded);
  if (text.size() > kMaxEncoded) return fail(kOp, kZnPwdTooLong);
  const char marker = text.front();
  if (marker != '1' && marker != '2' && marker != '3' && marker != '8') return fail(kOp, kZnPwdBadMarker);
  secure_basic_string<char> plain;
  if (decodeText(kOp, text, plain) == 0) return 0;
  setEncoded(text);
  pwdLen = plain.size();
  return 1;
}

int ZNPassword::getEncPwd(char* out, size_t* size, unsigned long version) {
  static constexpr const char* kOp = "getEncPwd";
  if (size == nullptr) return fail(kOp, kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (decodeToPlain(kOp, plain) == 0) return fail(kOp, kZnPwdReencodeFailed);
  // Encoded on a copy: asking for a size leaves the object as it was.
  ZNPassword work(*this);
  int ok = 0;
  switch (static_cast<char>((version >> 24) & 0xFF)) {
    case '1':
    case '2':
    case '3':
      ok = work.encodeV3(kOp, plain, nullptr, nullptr, nullptr);
      break;
    case '5': {
      secure_basic_string<char> enc;
      ok = work.encryptV5(plain, enc);
      break;
    }
    case '8': {
      secure_basic_string<char> enc;
      ok = work.encryptV8(plain, enc);
      break;
    }
    default:
      return fail(kOp, kZnPwdBadArgument);
  }
  lastError = work.lastError;
  if (ok == 0) return 0;
  const std::string_view enc = work.getEncoded();
  if (out == nullptr) {
    *size = enc.size() + 1;
    return 1;
  }
  return copyOut(kOp, enc, out, size);
}

size_t ZNPassword::getEncPwdSize(unsigned long version) {
  size_t size = 0;
  return getEncPwd(nullptr, &size, version) != 0 ? size : 0;
}

int ZNPassword::setEncryptVersion(unsigned long version) {
  if (version != '1' && version != '2') return fail("setEncryptVersion", kZnPwdBadMarker);
  encryptVersion = static_cast<uint32_t>(version);
  return 1;
}

// ---- Comparison ----

int ZNPassword::comparePwd(const char* pwd) {
  if (pwd == nullptr) return fail("comparePwd", kZnPwdBadArgument);
  const std::string_view given = Bounded(pwd, 4 * kMaxPlain);
  if (Utf8CharCount(given) > kMaxPlain) return fail("comparePwd", kZnPwdPlainTooLong);
  secure_basic_string<char> plain;
  if (decodeToPlain("comparePwd", plain) == 0) return 0;
  if (std::string_view(plain) != given) return fail("comparePwd", kZnPwdDifferent);
  return 1;
}

int ZNPassword::comparePwd(const wchar_t* pwd) {
  if (pwd == nullptr) return fail("comparePwd", kZnPwdBadArgument);
  return comparePwd(zn::detail::WideToUtf8(pwd).c_str());
}

int ZNPassword::compareEncPwd(const char* enc) {
  if (enc == nullptr) return fail("compareEncPwd", kZnPwdBadArgument);
  secure_basic_string<char> theirs;
  secure_basic_string<char> ours;
  if (decodeText("compareEncPwd", Bounded(enc, kMaxEncoded), theirs) == 0) return 0;
  if (decodeToPlain("compareEncPwd", ours) == 0) return 0;
  if (theirs != ours) return fail("compareEncPwd", kZnPwdDifferent);
  return 1;
}

// ---- Text helpers ----

secure_basic_string<wchar_t> ZNPassword::UTF8StringToWideString(const secure_basic_string<char>& text) {
  const secure_basic_string<char32_t> utf32 = zn::detail::Utf8ToUtf32(text);
  secure_basic_string<wchar_t> wide;
  wide.reserve(utf32.size());
  for (const char32_t c : utf32) wide.push_back(static_cast<wchar_t>(c));
  return wide;
}

secure_basic_string<char> ZNPassword::WideStringToUTF8String(const secure_basic_string<wchar_t>& text) {
  return zn::detail::WideToUtf8(text.c_str());
}
