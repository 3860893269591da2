// Placeholders of the password formats, replaced on the branch that builds them.
#include "zn/crypto/ZNPassword.h"

#include "zn/crypto/znc_bucket.h"

int ZNPassword::encryptWithVersion(const char* pwd, char* out, size_t* size, char version) {
  return fail("encryptWithVersion", kZnPwdEncodeFailed);
}

int ZNPassword::encrypt(const char* pwd) {
  return fail("encrypt", kZnPwdEncodeFailed);
}

int ZNPassword::encrypt(const wchar_t* pwd) {
  return fail("encrypt", kZnPwdEncodeFailed);
}

int ZNPassword::encrypt(const char* pwd, char* out, size_t* size) {
  return fail("encrypt", kZnPwdEncodeFailed);
}

int ZNPassword::encrypt(const wchar_t* pwd, char* out, size_t* size) {
  return fail("encrypt", kZnPwdEncodeFailed);
}

int ZNPassword::encryptStrong(const char* pwd, char* out, size_t* size, const char* passPhrase) {
  return fail("encryptStrong", kZnPwdEncodeFailed);
}

int ZNPassword::encryptStrong(const wchar_t* pwd, char* out, size_t* size, const char* passPhrase) {
  return fail("encryptStrong", kZnPwdEncodeFailed);
}

int ZNPassword::encryptStrong(const secure_basic_string<char>& pwd, secure_basic_string<char>& out, const char* passPhrase) {
  return fail("encryptStrong", kZnPwdEncodeFailed);
}

int ZNPassword::encryptASM(const secure_basic_string<char>& pwd, secure_basic_string<char>& out) {
  return fail("encryptASM", kZnPwdEncodeFailed);
}

int ZNPassword::ConvertToV3(const secure_basic_string<char>& enc, secure_basic_string<char>& out) {
  return fail("ConvertToV3", kZnPwdEncodeFailed);
}

int ZNPassword::ConvertToV3(const char* enc, char* out, size_t* size) {
  return fail("ConvertToV3", kZnPwdEncodeFailed);
}

int ZNPassword::ConvertToV5(const secure_basic_string<char>& enc, secure_basic_string<char>& out) {
  return fail("ConvertToV5", kZnPwdEncodeFailed);
}

int ZNPassword::ConvertToV8(const secure_basic_string<char>& enc, secure_basic_string<char>& out) {
  return fail("ConvertToV8", kZnPwdEncodeFailed);
}

int ZNPassword::ConvertToV8(const char* enc, char* out, size_t* size) {
  return fail("ConvertToV8", kZnPwdEncodeFailed);
}

int ZNPassword::ConvertToASM(const secure_basic_string<char>& enc, secure_basic_string<char>& plain) {
  return fail("ConvertToASM", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(char* out, size_t* size) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(wchar_t* out, size_t* size) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(const char* enc, char* out, size_t* size) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(const char* enc, wchar_t* out, size_t* size) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(const char* enc, char* out, size_t* size, const char* passPhrase) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(const char* enc, wchar_t* out, size_t* size, const char* passPhrase) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(const secure_basic_string<char>& enc, secure_basic_string<char>& plain) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::decrypt(const secure_basic_string<char>& enc, secure_basic_string<wchar_t>& plain) {
  return fail("decrypt", kZnPwdEncodeFailed);
}

int ZNPassword::putEncPwd(const char* enc) {
  return fail("putEncPwd", kZnPwdEncodeFailed);
}

int ZNPassword::getEncPwd(char* out, size_t* size, unsigned long version) {
  return fail("getEncPwd", kZnPwdEncodeFailed);
}

size_t ZNPassword::getEncPwdSize(unsigned long version) {
  return 0;
}

int ZNPassword::setEncryptVersion(unsigned long version) {
  return fail("setEncryptVersion", kZnPwdEncodeFailed);
}

int ZNPassword::networkEncrypt(const char* pwd, char* out, size_t* size, unsigned long key) {
  return fail("networkEncrypt", kZnPwdEncodeFailed);
}

int ZNPassword::networkEncrypt(const wchar_t* pwd, char* out, size_t* size, unsigned long key) {
  return fail("networkEncrypt", kZnPwdEncodeFailed);
}

int ZNPassword::networkDecrypt(const char* enc, char* out, size_t* size, unsigned long key) {
  return fail("networkDecrypt", kZnPwdEncodeFailed);
}

int ZNPassword::networkDecrypt(const char* enc, wchar_t* out, size_t* size, unsigned long key) {
  return fail("networkDecrypt", kZnPwdEncodeFailed);
}

int ZNPassword::putNetworkEncPwd(const char* enc, unsigned long key) {
  return fail("putNetworkEncPwd", kZnPwdEncodeFailed);
}

int ZNPassword::getNetworkEncPwd(char* out, size_t* size, unsigned long* key) {
  return fail("getNetworkEncPwd", kZnPwdEncodeFailed);
}

int ZNPassword::validateEncryptKey(unsigned long key) {
  return fail("validateEncryptKey", kZnPwdEncodeFailed);
}

unsigned long ZNPassword::createEncryptKey() {
  return 0;
}

int ZNPassword::comparePwd(const char* pwd) {
  return fail("comparePwd", kZnPwdEncodeFailed);
}

int ZNPassword::comparePwd(const wchar_t* pwd) {
  return fail("comparePwd", kZnPwdEncodeFailed);
}

int ZNPassword::compareEncPwd(const char* enc) {
  return fail("compareEncPwd", kZnPwdEncodeFailed);
}

int ZNPassword::hashPassword(const std::string& pwd, const std::string& salt, std::string* out) {
  return fail("hashPassword", kZnPwdEncodeFailed);
}

int ZNPassword::hashPassword(const std::string& pwd, std::string* saltOut, std::string* out) {
  return fail("hashPassword", kZnPwdEncodeFailed);
}

int ZNPassword::hashPasswordV6(const std::string& pwd, const std::string& salt, std::string* out) {
  return fail("hashPasswordV6", kZnPwdEncodeFailed);
}

int ZNPassword::validatePassword(const std::string& stored, const std::string& salt, std::string pwd) {
  return fail("validatePassword", kZnPwdEncodeFailed);
}

bool ZNPassword::isHashPassword(const char* text) {
  return false;
}

bool ZNPassword::isV8Password(const char* text) {
  return false;
}

secure_basic_string<wchar_t> ZNPassword::UTF8StringToWideString(const secure_basic_string<char>& text) {
  return {};
}

secure_basic_string<char> ZNPassword::WideStringToUTF8String(const secure_basic_string<wchar_t>& text) {
  return {};
}

int ZNPassword::decodeToPlain(const char* operation, secure_basic_string<char>& plain) {
  return fail("decodeToPlain", kZnPwdEncodeFailed);
}

int ZNPassword::encryption(std::string_view plain, bool wide, secure_basic_string<char>& enc) {
  return fail("encryption", kZnPwdEncodeFailed);
}

int ZNPassword::decryption(std::string_view enc, secure_basic_string<char>& plain) {
  return fail("decryption", kZnPwdEncodeFailed);
}

int ZNPassword::decryption_v2pass(std::string_view enc, secure_basic_string<char>& plain) {
  return fail("decryption_v2pass", kZnPwdEncodeFailed);
}
