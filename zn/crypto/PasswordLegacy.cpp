// The substitution encodings: the legacy formats '1' and '2' (read always,
// written only on request) and the network form, whose key carries the
// variant in its highest byte and the table offset in its low byte.
//
// A legacy text is its marker, the offset as two hexadecimal digits
// substituted at offset 0, then the password's bytes (for '2', of its
// UTF-16LE form) as digits substituted at that offset.
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/internal/BuiltInSecrets.h"
#include "zn/crypto/internal/PasswordUnicode.h"

namespace {

using zn::detail::kSubstitutionTable;
constexpr int kTableSize = static_cast<int>(kSubstitutionTable.size());

// The code of a digit-text character, -1 for any other.
int CodeOf(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return 20 + (c - 'A');
  if (c >= 'a' && c <= 'f') return 30 + (c - 'a');
  if (c == '-') return 40;
  if (c == ':') return 41;
  if (c == ';') return 42;
  return -1;
}

char CharOfCode(int code) {
  if (code >= 0 && code <= 9) return static_cast<char>('0' + code);
  if (code >= 20 && code <= 25) return static_cast<char>('A' + code - 20);
  if (code >= 30 && code <= 35) return static_cast<char>('a' + code - 30);
  if (code == 40) return '-';
  if (code == 41) return ':';
  if (code == 42) return ';';
  return '\0';
}

// Appends `digits` (upper-case hexadecimal) substituted at `offset`, each
// letter first put in lower case at random.
void Substitute(std::string_view digits, int offset, secure_basic_string<char>& out) {
  for (char c : digits) {
    if (c >= 'A' && c <= 'F' && (std::rand() & 1) != 0) c = static_cast<char>(c - 'A' + 'a');
    out.push_back(kSubstitutionTable[static_cast<size_t>((offset + CodeOf(c)) % kTableSize)]);
  }
}

// The inverse: hexadecimal digit values, false for a character outside the
// table or one that maps to no hexadecimal digit.
bool Unsubstitute(std::string_view text, int offset, secure_basic_string<char>& values) {
  values.clear();
  for (const char c : text) {
    const size_t at = kSubstitutionTable.find(c);
    if (at == std::string_view::npos) return false;
    const int code = ((static_cast<int>(at) - offset) % kTableSize + kTableSize) % kTableSize;
    const char digit = CharOfCode(code);
    int value = -1;
    if (digit >= '0' && digit <= '9') value = digit - '0';
    if (digit >= 'A' && digit <= 'F') value = digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f') value = digit - 'a' + 10;
    if (value < 0) return false;
    values.push_back(static_cast<char>(value));
  }
  return true;
}

void AppendHex(secure_basic_string<char>& digits, unsigned value, int width) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 4 * (width - 1); shift >= 0; shift -= 4) digits.push_back(kDigits[(value >> shift) & 0xF]);
}

// Digits of each byte ("%02X") of `bytes`.
secure_basic_string<char> ByteDigits(std::string_view bytes) {
  secure_basic_string<char> digits;
  digits.reserve(bytes.size() * 2);
  for (const char b : bytes) AppendHex(digits, static_cast<unsigned char>(b), 2);
  return digits;
}

// Digit values back into bytes, two a byte.
bool BytesOf(std::string_view values, secure_basic_string<char>& bytes) {
  if (values.size() % 2 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < values.size(); i += 2) bytes.push_back(static_cast<char>((values[i] << 4) | values[i + 1]));
  return true;
}

// UTF-16LE bytes of a UTF-8 text, and back.
secure_basic_string<char> Utf16LeBytes(std::string_view utf8) {
  const secure_basic_string<char16_t> units = zn::detail::Utf8ToUtf16(utf8);
  secure_basic_string<char> bytes;
  for (const char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  return bytes;
}

bool Utf8OfUtf16Le(std::string_view bytes, secure_basic_string<char>& utf8) {
  if (bytes.size() % 2 != 0) return false;
  secure_basic_string<char16_t> units;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  utf8 = zn::detail::Utf16ToUtf8(units);
  return true;
}

char KeyMarker(unsigned long key) { return static_cast<char>((key >> 24) & 0xFF); }
int KeyOffset(unsigned long key) { return static_cast<int>(key & 0xFF); }
bool KeyValid(unsigned long key) {
  const char marker = KeyMarker(key);
  return (marker == '1' || marker == '2') && KeyOffset(key) < 62 && (key >> 32) == 0;
}

// Network digits: '1' the bytes ("%02X"), '2' the UTF-16 units ("%04X").
secure_basic_string<char> NetworkDigits(std::string_view utf8, char marker) {
  if (marker == '1') return ByteDigits(utf8);
  const secure_basic_string<char16_t> units = zn::detail::Utf8ToUtf16(utf8);
  secure_basic_string<char> digits;
  digits.reserve(units.size() * 4);
  for (const char16_t u : units) AppendHex(digits, u, 4);
  return digits;
}

}  // namespace

int ZNPassword::encryption(std::string_view plain, bool wide, secure_basic_string<char>& enc) {
  const secure_basic_string<char> digits = ByteDigits(wide ? std::string_view(Utf16LeBytes(plain)) : plain);
  // The length is checked where the text is stored.
  // The Windows original seeds from the time and the password's digits.
  unsigned sum = 0;
  for (const char c : digits) sum = sum * 31 + static_cast<unsigned char>(c);
  // The generator's previous state goes in too: two texts of one second differ.
  std::srand(static_cast<unsigned>(std::time(nullptr)) ^ sum ^ static_cast<unsigned>(std::rand()));
  const int offset = std::rand() % kTableSize;
  enc.clear();
  enc.push_back(wide ? '2' : '1');
  secure_basic_string<char> offsetDigits;
  AppendHex(offsetDigits, static_cast<unsigned>(offset), 2);
  Substitute(offsetDigits, 0, enc);
  Substitute(digits, offset, enc);
  return 1;
}

namespace {

// Both legacy decoders: the offset, then the bytes.
bool DecodeLegacy(std::string_view enc, char marker, secure_basic_string<char>& bytes) {
  if (enc.size() < 3 || enc.front() != marker) return false;
  secure_basic_string<char> values;
  if (!Unsubstitute(enc.substr(1, 2), 0, values)) return false;
  const int offset = (values[0] << 4) | values[1];
  if (offset >= kTableSize) return false;
  return Unsubstitute(enc.substr(3), offset, values) && BytesOf(values, bytes);
}

}  // namespace

int ZNPassword::decryption(std::string_view enc, secure_basic_string<char>& plain) {
  secure_basic_string<char> bytes;
  if (!DecodeLegacy(enc, '1', bytes)) return fail("decryption", kZnPwdLegacyFailed);
  if (zn::detail::Utf8CharCount(bytes) > kMaxPlain) return fail("decryption", kZnPwdPlainTooLong);
  plain = std::move(bytes);
  return 1;
}

int ZNPassword::decryption_v2pass(std::string_view enc, secure_basic_string<char>& plain) {
  secure_basic_string<char> bytes;
  secure_basic_string<char> utf8;
  if (!DecodeLegacy(enc, '2', bytes) || !Utf8OfUtf16Le(bytes, utf8)) {
    return fail("decryption_v2pass", kZnPwdLegacyFailed);
  }
  if (zn::detail::Utf8CharCount(utf8) > kMaxPlain) return fail("decryption_v2pass", kZnPwdPlainTooLong);
  plain = std::move(utf8);
  return 1;
}

int ZNPassword::validateEncryptKey(unsigned long key) {
  if (!KeyValid(key)) return fail("validateEncryptKey", kZnPwdKeyMissing);
  return 1;
}

unsigned long ZNPassword::createEncryptKey() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  std::srand(static_cast<unsigned char>(kSubstitutionTable[static_cast<size_t>(std::rand() % kTableSize)]) ^
             static_cast<unsigned>(std::rand()));
  const unsigned long offset = static_cast<unsigned long>(std::rand() % kTableSize);
  return ((static_cast<unsigned long>(encryptVersion) & 0xFF) << 24) | offset;
}

int ZNPassword::networkEncrypt(const char* pwd, char* out, size_t* size, unsigned long key) {
  static constexpr const char* kOp = "networkEncrypt";
  if (pwd == nullptr || size == nullptr) return fail(kOp, kZnPwdBadArgument);
  if (!KeyValid(key)) return fail(kOp, kZnPwdKeyMissing);
  const std::string_view plain(pwd);
  if (zn::detail::Utf8CharCount(plain) > kMaxPlain) return fail(kOp, kZnPwdPlainTooLong);
  const char marker = KeyMarker(key);
  const secure_basic_string<char> digits = NetworkDigits(plain, marker);
  if (digits.size() + 2 >= kMaxEncoded + 1) return fail(kOp, kZnPwdTooLong);
  secure_basic_string<char> enc;
  std::srand(static_cast<unsigned>(std::time(nullptr)) ^ static_cast<unsigned>(std::rand()));
  Substitute(digits, KeyOffset(key) % kTableSize, enc);
  return copyOut(kOp, enc, out, size);
}

int ZNPassword::networkEncrypt(const wchar_t* pwd, char* out, size_t* size, unsigned long key) {
  if (pwd == nullptr) return fail("networkEncrypt", kZnPwdBadArgument);
  const secure_basic_string<char> utf8 = zn::detail::WideToUtf8(pwd);
  return networkEncrypt(utf8.c_str(), out, size, key);
}

namespace {

bool DecodeNetwork(std::string_view enc, unsigned long key, secure_basic_string<char>& utf8) {
  secure_basic_string<char> values;
  if (!Unsubstitute(enc, KeyOffset(key) % kTableSize, values)) return false;
  if (KeyMarker(key) == '1') return BytesOf(values, utf8);
  if (values.size() % 4 != 0) return false;
  secure_basic_string<char16_t> units;
  for (size_t i = 0; i < values.size(); i += 4) {
    units.push_back(static_cast<char16_t>((values[i] << 12) | (values[i + 1] << 8) | (values[i + 2] << 4) |
                                          values[i + 3]));
  }
  utf8 = zn::detail::Utf16ToUtf8(units);
  return true;
}

// The checks and the decoding every reader of a network text does: 0 with
// the plain password, or the code to fail with.
uint32_t PlainOfNetwork(const char* enc, unsigned long key, secure_basic_string<char>& plain) {
  if (!KeyValid(key)) return kZnPwdKeyMissing;
  const std::string_view text(enc, strnlen(enc, ZNPassword::kMaxEncoded + 1));
  if (text.size() > ZNPassword::kMaxEncoded) return kZnPwdTooLong;
  if (!DecodeNetwork(text, key, plain)) return kZnPwdLegacyFailed;
  if (zn::detail::Utf8CharCount(plain) > ZNPassword::kMaxPlain) return kZnPwdPlainTooLong;
  return 0;
}

}  // namespace

int ZNPassword::networkDecrypt(const char* enc, char* out, size_t* size, unsigned long key) {
  static constexpr const char* kOp = "networkDecrypt";
  if (enc == nullptr || size == nullptr) return fail(kOp, kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (const uint32_t code = PlainOfNetwork(enc, key, plain); code != 0) return fail(kOp, code);
  return copyOut(kOp, plain, out, size);
}

int ZNPassword::networkDecrypt(const char* enc, wchar_t* out, size_t* size, unsigned long key) {
  static constexpr const char* kOp = "networkDecrypt";
  if (enc == nullptr || size == nullptr) return fail(kOp, kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (const uint32_t code = PlainOfNetwork(enc, key, plain); code != 0) return fail(kOp, code);
  return copyOut(kOp, zn::detail::Utf8ToUtf32(plain), out, size);
}

int ZNPassword::putNetworkEncPwd(const char* enc, unsigned long key) {
  static constexpr const char* kOp = "putNetworkEncPwd";
  if (enc == nullptr) return fail(kOp, kZnPwdBadArgument);
  secure_basic_string<char> plain;
  if (const uint32_t code = PlainOfNetwork(enc, key, plain); code != 0) return fail(kOp, code);
  return encodeV3(kOp, plain, nullptr, nullptr, nullptr);
}

int ZNPassword::getNetworkEncPwd(char* out, size_t* size, unsigned long* key) {
  static constexpr const char* kOp = "getNetworkEncPwd";
  if (key == nullptr || size == nullptr) return fail(kOp, kZnPwdBadArgument);
  if (!KeyValid(*key)) return fail(kOp, kZnPwdKeyMissing);
  secure_basic_string<char> plain;
  if (decodeToPlain(kOp, plain) == 0) return 0;
  return networkEncrypt(plain.c_str(), out, size, *key);
}
