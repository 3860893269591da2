// Placeholders of the installation keys and tokens, replaced on the branch that builds them.
#include "zn/crypto/ZNPassword.h"

#include "zn/crypto/znc_bucket.h"

int ZNPassword::encryptV5(const char* pwd, char* out, size_t* size) {
  return fail("encryptV5", kZnPwdEncodeFailed);
}

int ZNPassword::encryptV5(const wchar_t* pwd, char* out, size_t* size) {
  return fail("encryptV5", kZnPwdEncodeFailed);
}

int ZNPassword::encryptV5(const secure_basic_string<char>& pwd, secure_basic_string<char>& out) {
  return fail("encryptV5", kZnPwdEncodeFailed);
}

int ZNPassword::encryptV8(const char* pwd, char* out, size_t* size) {
  return fail("encryptV8", kZnPwdEncodeFailed);
}

int ZNPassword::encryptV8(const wchar_t* pwd, char* out, size_t* size) {
  return fail("encryptV8", kZnPwdEncodeFailed);
}

int ZNPassword::encryptV8(const secure_basic_string<char>& pwd, secure_basic_string<char>& out) {
  return fail("encryptV8", kZnPwdEncodeFailed);
}

bool ZNPassword::isV8EncryptionEnabled() {
  return false;
}

int ZNPassword::verify(const secure_basic_string<char>& token, const secure_basic_string<char>& data, bool& valid) {
  return fail("verify", kZnPwdEncodeFailed);
}

int ZNPassword::getV5EncKey(ZncBucket& key) {
  return fail("getV5EncKey", kZnPwdEncodeFailed);
}

int ZNPassword::getV8EncKey(ZncBucket& key, bool create) {
  return fail("getV8EncKey", kZnPwdEncodeFailed);
}
