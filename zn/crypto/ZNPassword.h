// ZNPassword: one password in its encoded text form, the conversions between
// the encodings the suite has used (the marker, the text's first character,
// names the format), salted one-way hashes and signed time-limited tokens.
// Every operation returns 1 on success and 0 on failure with the code in
// getLastError(); nothing leaves it as an exception. Plain copies made
// during an operation live in wiping buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zn/base/ZnExport.h"
#include "zn/crypto/secure_basic_string.h"

class EvEvent;
class ZncBucket;

// The codes of getLastError().
inline constexpr uint32_t kZnPwdBadArgument = 0x14000003;      // null/empty argument, buffer too small
inline constexpr uint32_t kZnPwdEncodeFailed = 0x14000004;     // a cryptographic step threw
inline constexpr uint32_t kZnPwdLegacyFailed = 0x14000005;     // a legacy text does not decode
inline constexpr uint32_t kZnPwdDifferent = 0x14000006;        // comparePwd: not the same password
inline constexpr uint32_t kZnPwdKeyMissing = 0x14000008;       // bad network key, V5 key or V8 text missing
inline constexpr uint32_t kZnPwdProtectFailed = 0x14000009;    // machine protection or signature library
inline constexpr uint32_t kZnPwdWriteFailed = 0x14000016;      // the V8 text could not be stored
inline constexpr uint32_t kZnPwdNoV8Key = 0x140000AA;          // no V8 key and none may be made
inline constexpr uint32_t kZnPwdReencodeFailed = 0x140000AB;   // stored text unreadable for re-encoding
inline constexpr uint32_t kZnPwdKeyUnusable = 0x140000AC;      // the V5 or V8 key could not be obtained
inline constexpr uint32_t kZnPwdTooLong = 0x140000AD;          // encoded text over 2048 characters
inline constexpr uint32_t kZnPwdBadMarker = 0x140000AE;        // unknown marker or version
inline constexpr uint32_t kZnPwdPlainTooLong = 0x140000AF;     // plain password of 512 or more
inline constexpr uint32_t kZnPwdTokenExpired = 0x3D0004AF;     // a token's time has passed

class ZN_EXPORT ZNPassword {
 public:
  static constexpr size_t kMaxEncoded = 2048;  // characters of an encoded text
  static constexpr size_t kMaxPlain = 511;     // characters of a plain password

  ZNPassword();
  explicit ZNPassword(int printErrors);
  explicit ZNPassword(EvEvent* event);
  ZNPassword(const ZNPassword& other);
  ZNPassword& operator=(const ZNPassword& other);
  ~ZNPassword();

  // ---- Encoding ----
  // version '1', '2' (legacy, on request only) or '3'.
  int encryptWithVersion(const char* pwd, char* out, size_t* size, char version);
  int encrypt(const char* pwd);
  int encrypt(const wchar_t* pwd);
  int encrypt(const char* pwd, char* out, size_t* size);
  int encrypt(const wchar_t* pwd, char* out, size_t* size);
  // A null or empty pass phrase means the built-in default.
  int encryptStrong(const char* pwd, char* out, size_t* size, const char* passPhrase);
  int encryptStrong(const wchar_t* pwd, char* out, size_t* size, const char* passPhrase);
  int encryptStrong(const secure_basic_string<char>& pwd, secure_basic_string<char>& out,
                    const char* passPhrase = nullptr);
  int encryptV5(const char* pwd, char* out, size_t* size);
  int encryptV5(const wchar_t* pwd, char* out, size_t* size);
  int encryptV5(const secure_basic_string<char>& pwd, secure_basic_string<char>& out);
  int encryptV8(const char* pwd, char* out, size_t* size);
  int encryptV8(const wchar_t* pwd, char* out, size_t* size);
  int encryptV8(const secure_basic_string<char>& pwd, secure_basic_string<char>& out);
  // Kept for its callers: does nothing and returns 0.
  int encryptASM(const secure_basic_string<char>& pwd, secure_basic_string<char>& out);

  // ---- Conversion of an encoded text to another format ----
  int ConvertToV3(const secure_basic_string<char>& enc, secure_basic_string<char>& out);
  int ConvertToV3(const char* enc, char* out, size_t* size);
  int ConvertToV5(const secure_basic_string<char>& enc, secure_basic_string<char>& out);
  int ConvertToV8(const secure_basic_string<char>& enc, secure_basic_string<char>& out);
  int ConvertToV8(const char* enc, char* out, size_t* size);
  // Only decodes: `plain` gets the password.
  int ConvertToASM(const secure_basic_string<char>& enc, secure_basic_string<char>& plain);

  // ---- Decoding (sizes in characters, the terminator included) ----
  int decrypt(char* out, size_t* size);
  int decrypt(wchar_t* out, size_t* size);
  int decrypt(const char* enc, char* out, size_t* size);
  int decrypt(const char* enc, wchar_t* out, size_t* size);
  int decrypt(const char* enc, char* out, size_t* size, const char* passPhrase);
  int decrypt(const char* enc, wchar_t* out, size_t* size, const char* passPhrase);
  int decrypt(const secure_basic_string<char>& enc, secure_basic_string<char>& plain);
  int decrypt(const secure_basic_string<char>& enc, secure_basic_string<wchar_t>& plain);

  // ---- The stored text ----
  int putEncPwd(const char* enc);
  // The object's password encoded again in the format of `version`'s
  // highest byte; a null `out` only computes the size.
  int getEncPwd(char* out, size_t* size, unsigned long version);
  size_t getEncPwdSize(unsigned long version);
  size_t getPwdSize() const { return static_cast<size_t>(pwdLen); }
  unsigned long getEncryptVersion() const { return encryptVersion; }
  int setEncryptVersion(unsigned long version);
  unsigned long getLastError() const { return lastError; }
  void setEvent(EvEvent* e) { event = e; }

  // The text as the store keeps it, moved without decoding (the store's
  // getPassword and setPassword). setEncoded refuses a text that is too
  // long (kZnPwdTooLong) and keeps the previous one.
  std::string_view getEncoded() const { return std::string_view(encPwd, static_cast<size_t>(encLen)); }
  int setEncoded(std::string_view enc);
  bool isEmpty() const { return encLen == 0; }

  // ---- Network form ----
  int networkEncrypt(const char* pwd, char* out, size_t* size, unsigned long key);
  int networkEncrypt(const wchar_t* pwd, char* out, size_t* size, unsigned long key);
  int networkDecrypt(const char* enc, char* out, size_t* size, unsigned long key);
  int networkDecrypt(const char* enc, wchar_t* out, size_t* size, unsigned long key);
  int putNetworkEncPwd(const char* enc, unsigned long key);
  int getNetworkEncPwd(char* out, size_t* size, unsigned long* key);
  int validateEncryptKey(unsigned long key);
  unsigned long createEncryptKey();

  // ---- Comparison ----
  int comparePwd(const char* pwd);
  int comparePwd(const wchar_t* pwd);
  int compareEncPwd(const char* enc);

  // ---- Salted hashes ('6', '7'; '4' is only checked) ----
  int hashPassword(const std::string& pwd, const std::string& salt, std::string* out);
  int hashPassword(const std::string& pwd, std::string* saltOut, std::string* out);
  int hashPasswordV6(const std::string& pwd, const std::string& salt, std::string* out);
  int validatePassword(const std::string& stored, const std::string& salt, std::string pwd);
  static bool isHashPassword(const char* text);
  static bool isV8Password(const char* text);
  static bool isV8EncryptionEnabled();

  // ---- Signed time-limited tokens ----
  int verify(const secure_basic_string<char>& token, const secure_basic_string<char>& data, bool& valid);

  // ---- Text helpers ----
  static secure_basic_string<wchar_t> UTF8StringToWideString(const secure_basic_string<char>& text);
  static secure_basic_string<char> WideStringToUTF8String(const secure_basic_string<wchar_t>& text);

  // ---- The installation's keys (32 bytes each into `key`) ----
  int getV5EncKey(ZncBucket& key);
  int getV8EncKey(ZncBucket& key, bool create);

 private:
  // Sets lastError (and prints it when printErrors is set); returns 0.
  int fail(const char* operation, uint32_t code);

  // The strong encoding of '3', '5' and '8': `plain` (bytes, UTF-8) wrapped
  // under SHA-256 of `keyMaterial`, stored as the object's text and copied
  // to `out` when it is given.
  int strongEncode(const char* operation, std::string_view plain, char marker, std::string_view keyMaterial,
                   char* out, size_t* size);
  // The inverse: the text after the marker unwrapped into `plain`.
  int strongDecode(const char* operation, std::string_view enc, std::string_view keyMaterial,
                   secure_basic_string<char>& plain);
  // The object's text (any decodable marker) into its plain UTF-8 bytes.
  int decodeToPlain(const char* operation, secure_basic_string<char>& plain);
  // Another text decoded with this object's settings; the object keeps
  // its own text (only lastError changes).
  int decodeText(const char* operation, std::string_view enc, secure_basic_string<char>& plain);
  // Format '3' of `plain` under `phrase` (null or empty: the built-in
  // default), which becomes the object's pass phrase.
  int encodeV3(const char* operation, std::string_view plain, const char* phrase, char* out, size_t* size);
  // Copies `text` with its terminator into a caller's buffer of `*size`.
  int copyOut(const char* operation, std::string_view text, char* out, size_t* size);
  int copyOut(const char* operation, std::u32string_view text, wchar_t* out, size_t* size);
  // Replaces the object's text; clears it when `enc` is too long.
  int storeEncoded(const char* operation, std::string_view enc, size_t plainLength, char marker);

  // The legacy substitution formats '1' and '2'.
  int encryption(std::string_view plain, bool wide, secure_basic_string<char>& enc);
  int decryption(std::string_view enc, secure_basic_string<char>& plain);
  int decryption_v2pass(std::string_view enc, secure_basic_string<char>& plain);

  char encPwd[kMaxEncoded + 1];
  unsigned long long encLen;
  unsigned long long pwdLen;
  uint32_t lastError;
  uint32_t encryptVersion;
  int32_t printErrors;
  secure_basic_string<char> passPhrase;
  EvEvent* event;
};
