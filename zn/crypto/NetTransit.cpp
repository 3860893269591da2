// Network transit encryption: data with CRC-32 under Blowfish keyed with
// the MD5 of a password both ends know.
#include <cstring>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_blowfish.h"

namespace {

constexpr int kOverhead = 16;  // the most the format adds beyond 8-byte padding

void KeyFromPassword(ZncBlowfish& bf, const char* password) {
  bf.setKey(Znc::md5(password, static_cast<int>(std::strlen(password))));
}

}  // namespace

ZncBucket Znc::netEncrypt(const ZncBucket& data, const char* password) {
  if (password == nullptr || *password == '\0') {
    zn::detail::ThrowCryptoError("Znc::netEncrypt", "Cannot encrypt data for network transit: NULL or empty password.");
  }
  ZncBlowfish bf;
  KeyFromPassword(bf, password);
  if (data.getSize() == 0) return ZncBucket();
  ZncBucket out(((data.getSize() + 7) & ~7) + kOverhead);
  out.resize(encryptDataWithCRC32(data.getData(), out.getData(), data.getSize(), bf));
  return out;
}

ZncBucket Znc::netDecrypt(const ZncBucket& data, const char* password) {
  if (password == nullptr || *password == '\0') {
    zn::detail::ThrowCryptoError("Znc::netDecrypt", "Cannot decrypt network data: NULL or empty network password.");
  }
  ZncBlowfish bf;
  KeyFromPassword(bf, password);
  if (data.getSize() == 0) return ZncBucket();
  // The checks of the format come first; a valid blob needs len - 8 bytes.
  ZncBucket out(data.getSize() > 8 ? data.getSize() - 8 : 8);
  out.resize(decryptDataWithCRC32(data.getData(), out.getData(), data.getSize(), bf));
  return out;
}
