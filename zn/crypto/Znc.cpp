#include "zn/crypto/znc.h"

#include <cctype>
#include <cstring>
#include <memory>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/internal/CipherFactory.h"

namespace {

constexpr char kDigits[] = "0123456789abcdef";

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <class String>
String ToHex(const void* data, int len) {
  String text;
  if (data == nullptr || len <= 0) return text;
  text.resize(static_cast<std::size_t>(len) * 2);
  const auto* p = static_cast<const unsigned char*>(data);
  for (int i = 0; i < len; ++i) {
    text[2 * i] = kDigits[p[i] >> 4];
    text[2 * i + 1] = kDigits[p[i] & 0x0F];
  }
  return text;
}

}  // namespace

Znc::WrongKey::WrongKey(const char* function, const char* message) : ZnException(function, message, nullptr, -1, -1) {}

ZncBlockCipher* Znc::createCipher(Znc::CIPHER type) { return zn::detail::MakeCipher(type); }

std::string Znc::getCipherName(Znc::CIPHER type) {
  switch (type) {
    case CIPHER_OLD_BLOWFISH: return "Old Blowfish";
    case CIPHER_BLOWFISH: return "Blowfish";
    case CIPHER_AES: return "AES";
    case CIPHER_SERPENT: return "Serpent";
    case CIPHER_TWOFISH: return "Twofish";
    case CIPHER_3DES: return "3DES";
    case CIPHER_GOST: return "GOST";
    default: return "UNKNOWN";
  }
}

std::string Znc::bin2hex(const ZncBucket& bytes) { return ToHex<std::string>(bytes.getData(), bytes.getSize()); }
std::string Znc::bin2hex(const void* data, int len) { return ToHex<std::string>(data, len); }
secure_basic_string<char> Znc::bin2hex_s(const ZncBucket& bytes) {
  return ToHex<secure_basic_string<char>>(bytes.getData(), bytes.getSize());
}
secure_basic_string<char> Znc::bin2hex_s(const void* data, int len) {
  return ToHex<secure_basic_string<char>>(data, len);
}

ZncBucket Znc::hex2bin(const char* text) {
  if (text == nullptr) return ZncBucket();
  std::size_t length = std::strlen(text);
  while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) --length;
  if (length % 2 != 0) {
    zn::detail::ThrowCryptoError("Znc::hex2bin", "Cannot convert hex to bin: Input string does not have an even length.");
  }
  if (length / 2 > static_cast<std::size_t>(INT32_MAX)) {
    zn::detail::ThrowCryptoError("Znc::hex2bin", "Not enough memory");
  }
  ZncBucket bytes(static_cast<int>(length / 2));
  unsigned char* out = length > 0 ? bytes.getData() : nullptr;
  for (std::size_t i = 0; i < length; i += 2) {
    const int high = HexValue(static_cast<unsigned char>(text[i]));
    const int low = HexValue(static_cast<unsigned char>(text[i + 1]));
    if (high < 0 || low < 0) {
      zn::detail::ThrowCryptoError("Znc::hex2bin", "Cannot convert hex to bin: Illegal character encountered.");
    }
    out[i / 2] = static_cast<unsigned char>(high << 4 | low);
  }
  return bytes;
}
