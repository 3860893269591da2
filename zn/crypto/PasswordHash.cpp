// One-way password hashes: '7' is PBKDF2-HMAC-SHA-256 (RFC 8018) with 1000
// iterations and one 32-byte block, '6' the same loop without the block
// index after the salt, '4' (checked only) Base64 of SHA-1 over the salt
// and the UTF-16LE password.
#include <cstring>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/internal/IteratedHmac.h"
#include "zn/crypto/internal/PasswordUnicode.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_bucket.h"
#include "zuzazer/YqBase64.h"

namespace {

constexpr int kIterations = 1000;
constexpr int kDigestSize = 32;

// R = U1 ^ ... ^ U1000 with U1 = HMAC(pwd, salt [|| 00000001]), by the
// engine's block function: the HMAC keyed once, two compressions a round.
std::string Pbkdf2Block(const std::string& pwd, const std::string& salt, bool blockIndex) {
  std::string first = salt;
  if (blockIndex) first.append("\0\0\0\1", 4);
  unsigned char r[kDigestSize];
  zn::detail::IterateHmacSha256(pwd, first, kIterations, r);
  std::string hex = Znc::bin2hex(r, kDigestSize);
  ::explicit_bzero(r, sizeof r);
  return hex;
}

bool ConstantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

bool HasMarker(const char* text, std::string_view markers) {
  return text != nullptr && *text != '\0' && markers.find(*text) != std::string_view::npos;
}

}  // namespace

int ZNPassword::hashPassword(const std::string& pwd, const std::string& salt, std::string* out) {
  if (pwd.empty() || out == nullptr) return fail("hashPassword", kZnPwdBadArgument);
  try {
    *out = "7" + Pbkdf2Block(pwd, salt, true);
  } catch (...) {
    return fail("hashPassword", kZnPwdEncodeFailed);
  }
  return 1;
}

int ZNPassword::hashPasswordV6(const std::string& pwd, const std::string& salt, std::string* out) {
  if (pwd.empty() || out == nullptr) return fail("hashPasswordV6", kZnPwdBadArgument);
  try {
    *out = "6" + Pbkdf2Block(pwd, salt, false);
  } catch (...) {
    return fail("hashPasswordV6", kZnPwdEncodeFailed);
  }
  return 1;
}

int ZNPassword::hashPassword(const std::string& pwd, std::string* saltOut, std::string* out) {
  if (pwd.empty() || saltOut == nullptr || out == nullptr) return fail("hashPassword", kZnPwdBadArgument);
  std::string salt;
  try {
    salt = Znc::bin2hex(Znc::getRand(32));
  } catch (...) {
    return fail("hashPassword", kZnPwdEncodeFailed);
  }
  if (hashPassword(pwd, salt, out) == 0) return 0;
  *saltOut = std::move(salt);
  return 1;
}

int ZNPassword::validatePassword(const std::string& stored, const std::string& salt, std::string pwd) {
  static constexpr const char* kOp = "validatePassword";
  if (stored.empty()) return fail(kOp, kZnPwdBadArgument);
  std::string computed;
  switch (stored.front()) {
    case '4': {
      try {
        const secure_basic_string<char16_t> units = zn::detail::Utf8ToUtf16(pwd);
        secure_basic_string<char> input(salt);
        for (const char16_t u : units) {
          input.push_back(static_cast<char>(u & 0xFF));
          input.push_back(static_cast<char>(u >> 8));
        }
        const ZncBucket digest = Znc::sha1(input.data(), static_cast<int>(input.size()));
        computed = "4" + YqBase64::Encode(digest.getData(), static_cast<size_t>(digest.getSize()));
      } catch (...) {
        return fail(kOp, kZnPwdEncodeFailed);
      }
      break;
    }
    case '6':
      if (hashPasswordV6(pwd, salt, &computed) == 0) return 0;
      break;
    case '7':
      if (hashPassword(pwd, salt, &computed) == 0) return 0;
      break;
    default: {
      secure_basic_string<char> plain;
      if (decodeText(kOp, stored, plain) == 0) return 0;
      computed.clear();
      const bool same = ConstantTimeEqual(plain, pwd);
      ::explicit_bzero(pwd.data(), pwd.size());
      return same ? 1 : fail(kOp, kZnPwdDifferent);
    }
  }
  ::explicit_bzero(pwd.data(), pwd.size());
  return ConstantTimeEqual(computed, stored) ? 1 : fail(kOp, kZnPwdDifferent);
}

bool ZNPassword::isHashPassword(const char* text) { return HasMarker(text, "467"); }

bool ZNPassword::isV8Password(const char* text) { return HasMarker(text, "8"); }
