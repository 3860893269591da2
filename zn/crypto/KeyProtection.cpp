// Scrambled blobs in one call and the two-method key protection.
#include <cstring>
#include <string>

#include "zn/crypto/internal/BuiltInSecrets.h"
#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_keywrap.h"
#include "zn/crypto/znc_scrambler.h"

namespace {

constexpr unsigned char kMethodScrambled = 0;
constexpr unsigned char kMethodKeyWrap = 1;
constexpr int kSaltSize = 8;

using zn::detail::kKeyWrapKey;  // never changes: keys wrapped under another cannot be unwrapped

}  // namespace

ZncBucket Znc::scrambleToBin(const void* data, int len) {
  if (len <= 0) return ZncBucket();
  ZncScrambler scrambler;
  ZncBucket out(len + ZncScrambler::kOverhead);
  out.resize(scrambler.scramble(data, len, out.getData(), out.getSize(), true));
  return out;
}

ZncBucket Znc::scrambleToBin(const ZncBucket& data) { return scrambleToBin(data.getData(), data.getSize()); }

std::string Znc::scrambleToHex(const void* data, int len) { return bin2hex(scrambleToBin(data, len)); }

std::string Znc::scrambleToHex(const ZncBucket& data) { return bin2hex(scrambleToBin(data)); }

ZncBucket Znc::descrambleFromBin(const void* data, int len) {
  if (len <= 0) return ZncBucket();
  ZncScrambler scrambler;
  ZncBucket out(len);
  out.resize(scrambler.descramble(data, len, out.getData(), out.getSize(), true));
  return out;
}

ZncBucket Znc::descrambleFromBin(const ZncBucket& data) { return descrambleFromBin(data.getData(), data.getSize()); }

ZncBucket Znc::descrambleFromHex(const char* text) { return descrambleFromBin(hex2bin(text)); }

ZncBucket Znc::wrapKey(const ZncBucket& key, bool scramble) {
  if (scramble) return scrambleToBin(key);
  ZncAES aes;
  aes.setKey(kKeyWrapKey, sizeof kKeyWrapKey);
  ZncBucket salted(key);
  salted.append(getRand(kSaltSize));
  ZncKeyWrap wrapper(&aes);
  ZncBucket blob(&kMethodKeyWrap, 1);
  blob.append(wrapper.wrap(salted));
  return blob;
}

std::string Znc::wrapKeyToHex(const ZncBucket& key, bool scramble) { return bin2hex(wrapKey(key, scramble)); }

ZncBucket Znc::unWrapKey(const ZncBucket& blob) {
  if (blob.getSize() == 0) return ZncBucket();
  switch (blob[0]) {
    case kMethodScrambled:
      return descrambleFromBin(blob);
    case kMethodKeyWrap: {
      ZncAES aes;
      aes.setKey(kKeyWrapKey, sizeof kKeyWrapKey);
      ZncKeyWrap wrapper(&aes);
      ZncBucket key = wrapper.unWrap(ZncBucket(blob.getData() + 1, blob.getSize() - 1));
      if (key.getSize() < kSaltSize) {
        zn::detail::ThrowCryptoError("ZncKeyWrap::unWrap", "Failed to unwrap key data: padding check failed.");
      }
      key.resize(key.getSize() - kSaltSize);
      return key;
    }
    default:
      zn::detail::ThrowCryptoError("Znc::unWrapKey", "Key unwrapping failed: unknown method.");
  }
}

ZncBucket Znc::unWrapKey(const std::string& hex) { return unWrapKey(hex2bin(hex.c_str())); }

ZncBucket Znc::unWrapKey(const char* hex) { return unWrapKey(hex2bin(hex)); }
