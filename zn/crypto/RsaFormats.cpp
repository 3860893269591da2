// The formats built on RSA: protected data keys, protected private keys,
// the key file and the pass-phrase blob.
#include <cstdint>
#include <cstring>
#include <string>

#include "zn/crypto/internal/CryptoError.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_checksum.h"
#include "zn/crypto/znc_rsa.h"

namespace {

using zn::detail::ThrowCryptoError;

constexpr int kCrcSize = 4;
constexpr int kTagOverhead = 16;
constexpr unsigned char kFileVersion = 0;
constexpr unsigned char kPhraseVersion = 0;
constexpr int kPhraseSpace = 1024;
constexpr int kMaxKeyRecord = 0xFFFF;

// Protects private keys saved without a pass phrase; keys protected under
// another default cannot be read, so it never changes.
constexpr const char kDefaultPassPhrase[] =
    "7c3e91a05fd24b68e1a7093c5db26f84"
    "a1e05c93d7b24f6810ce59a3b7d2e46f"
    "03b9d8a25e71c64f9a0d3e82b5c7f164"
    "2e9ab37d05c8f1e6a4b0";
static_assert(sizeof kDefaultPassPhrase - 1 == 116);

void PutBigEndian32(uint32_t value, unsigned char* out) {
  out[0] = static_cast<unsigned char>(value >> 24);
  out[1] = static_cast<unsigned char>(value >> 16);
  out[2] = static_cast<unsigned char>(value >> 8);
  out[3] = static_cast<unsigned char>(value);
}

uint32_t GetBigEndian32(const unsigned char* in) {
  return (static_cast<uint32_t>(in[0]) << 24) | (static_cast<uint32_t>(in[1]) << 16) |
         (static_cast<uint32_t>(in[2]) << 8) | in[3];
}

uint32_t PlainCrc(const unsigned char* data, int len) {
  unsigned int crc = 0xFFFFFFFFu;
  if (len > 0) zn_crc32(data, static_cast<std::size_t>(len), &crc);
  return crc;
}

void KeyFromPhrase(ZncBlowfish& bf, const char* passPhrase) {
  const char* phrase = passPhrase != nullptr && *passPhrase != '\0' ? passPhrase : kDefaultPassPhrase;
  bf.setKey(Znc::md5(phrase, static_cast<int>(std::strlen(phrase))));
}

bool ReadExactly(FILE* file, void* out, std::size_t n) { return n == 0 || std::fread(out, 1, n, file) == n; }

// The rest of a file, for the pass-phrase blob.
ZncBucket ReadRest(FILE* file) {
  ZncBucket all;
  unsigned char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) all.append(chunk, static_cast<int>(got));
  ::explicit_bzero(chunk, sizeof chunk);
  return all;
}

}  // namespace

void Znc::generateRSAPair(int bits, ZncBucket& pub, ZncBucket& pri, bool der) { ZncRSA::genKeyPair(bits, pub, pri, der); }

ZncBucket Znc::encryptDataKey(const ZncBucket& dataKey, const ZncBucket& pubKey, bool der) {
  ZncRSA rsa;
  rsa.setPubKey(pubKey, der);
  ZncBucket plain(dataKey);
  unsigned char crc[kCrcSize];
  PutBigEndian32(PlainCrc(dataKey.getData(), dataKey.getSize()), crc);
  plain.append(crc, kCrcSize);
  return rsa.encrypt(plain);
}

ZncBucket Znc::decryptDataKey(const ZncBucket& enc, const ZncBucket& priKey, bool der) {
  constexpr const char* kOp = "Znc::decryptDataKey";
  constexpr const char* kWrongRsaKey = "Failed to decrypt data key: wrong RSA key.";
  ZncRSA rsa;
  rsa.setPriKey(priKey, der);
  const int modulus = rsa.getModSize();
  if (enc.getSize() == 0 || enc.getSize() % modulus != 0) {
    ThrowCryptoError(kOp, "Cannot decrypt RSA ciphertext: data length is not multiple of the modulus.");
  }
  ZncBucket plain;
  try {
    plain = rsa.decrypt(enc);
  } catch (const ZnException&) {
    // Under another key the PKCS #1 padding does not come out: that is a
    // wrong key as much as a CRC mismatch is.
    throw Znc::WrongKey(kOp, kWrongRsaKey);
  }
  const int keyLen = plain.getSize() - kCrcSize;
  if (keyLen < 0 || PlainCrc(plain.getData(), keyLen) != GetBigEndian32(plain.getData() + keyLen)) {
    throw Znc::WrongKey(kOp, kWrongRsaKey);
  }
  plain.resize(keyLen);
  return plain;
}

ZncBucket Znc::encryptRSAPriKey(const ZncBucket& pri, const char* passPhrase) {
  if (pri.getSize() == 0) return pri;
  ZncBlowfish bf;
  KeyFromPhrase(bf, passPhrase);
  ZncBucket out(((pri.getSize() + 7) & ~7) + kTagOverhead);
  out.resize(encryptDataWithCRC32(pri.getData(), out.getData(), pri.getSize(), bf));
  return out;
}

ZncBucket Znc::decryptRSAPriKey(const ZncBucket& encPri, const char* passPhrase) {
  if (encPri.getSize() == 0) return encPri;
  ZncBlowfish bf;
  KeyFromPhrase(bf, passPhrase);
  ZncBucket out(encPri.getSize() > 8 ? encPri.getSize() - 8 : 8);
  out.resize(decryptDataWithCRC32(encPri.getData(), out.getData(), encPri.getSize(), bf));
  return out;
}

bool Znc::validatePassPhrase(const ZncBucket& encPri, const char* passPhrase) {
  try {
    decryptRSAPriKey(encPri, passPhrase);
    return true;
  } catch (const ZnException&) {
    return false;
  }
}

void Znc::saveRSAKeys(FILE* file, const ZncBucket& pub, const ZncBucket& pri) {
  constexpr const char* kOp = "Znc::saveRSAKeys";
  if (pub.getSize() == 0 || pri.getSize() == 0) ThrowCryptoError(kOp, "Cannot save RSA keys: they are empty.");
  if (file == nullptr) ThrowCryptoError(kOp, "Cannot save RSA keys: NULL file passed as input.");
  ZncBucket out(&kFileVersion, 1);
  for (const ZncBucket* key : {&pub, &pri}) {
    const ZncBucket scrambled = scrambleToBin(*key);
    if (scrambled.getSize() > kMaxKeyRecord) ThrowCryptoError(kOp, "Cannot save RSA keys: a key is too long.");
    const unsigned char length[2] = {static_cast<unsigned char>(scrambled.getSize() >> 8),
                                     static_cast<unsigned char>(scrambled.getSize())};
    out.append(length, 2);
    out.append(scrambled);
  }
  if (std::fwrite(out.getData(), 1, static_cast<std::size_t>(out.getSize()), file) !=
          static_cast<std::size_t>(out.getSize()) ||
      std::fflush(file) != 0) {
    ThrowCryptoError(kOp, "Cannot save RSA keys: Write failed.");
  }
}

void Znc::loadRSAKeys(FILE* file, ZncBucket& pub, ZncBucket& pri) {
  constexpr const char* kOp = "Znc::loadRSAKeys";
  constexpr const char* kShort = "Cannot load RSA keys: File is too short.";
  if (file == nullptr) ThrowCryptoError(kOp, "Cannot load RSA keys: NULL file passed as input.");
  unsigned char version = 0;
  if (!ReadExactly(file, &version, 1)) ThrowCryptoError(kOp, kShort);
  if (version != kFileVersion) ThrowCryptoError(kOp, "Cannot load RSA keys: Corrupt data or unsupported file version.");
  ZncBucket keys[2];
  for (ZncBucket& key : keys) {
    unsigned char length[2];
    if (!ReadExactly(file, length, 2)) ThrowCryptoError(kOp, kShort);
    ZncBucket stored((length[0] << 8) | length[1]);
    if (!ReadExactly(file, stored.getData(), static_cast<std::size_t>(stored.getSize()))) {
      ThrowCryptoError(kOp, kShort);
    }
    key = unWrapKey(stored);
  }
  pub = keys[0];
  pri = keys[1];
}

ZncBucket Znc::exportPassPhrase(int type, const char* passPhrase) {
  if (passPhrase == nullptr || *passPhrase == '\0') {
    ThrowCryptoError("Znc::exportPassPhrase", "Cannot export pass-phrase: it's empty or NULL.");
  }
  const std::size_t length = std::strlen(passPhrase);
  ZncBucket record;
  if (length >= static_cast<std::size_t>(kPhraseSpace)) {
    record = ZncBucket(3);
    record.append(passPhrase, static_cast<int>(length));
  } else {
    const int len = static_cast<int>(length);
    record = ZncBucket(3);
    record.append(getRand(kPhraseSpace));
    int offset = getRand(1)[0];
    if (offset + len > kPhraseSpace) offset = kPhraseSpace - len;
    unsigned char* p = record.getData();
    p[0] = static_cast<unsigned char>(len >> 8);
    p[1] = static_cast<unsigned char>(len);
    p[2] = static_cast<unsigned char>(offset);
    std::memcpy(p + 3 + offset, passPhrase, length);
  }
  unsigned char head[5] = {kPhraseVersion};
  PutBigEndian32(static_cast<uint32_t>(type), head + 1);
  ZncBucket blob(head, sizeof head);
  blob.append(scrambleToBin(record));
  return blob;
}

void Znc::exportPassPhrase(FILE* file, int type, const char* passPhrase) {
  const ZncBucket blob = exportPassPhrase(type, passPhrase);
  if (file == nullptr ||
      std::fwrite(blob.getData(), 1, static_cast<std::size_t>(blob.getSize()), file) !=
          static_cast<std::size_t>(blob.getSize()) ||
      std::fflush(file) != 0) {
    ThrowCryptoError("Znc::exportPassPhrase", "Failed to export pass-phrase to file: Write failed.");
  }
}

void Znc::importPassPhrase(const ZncBucket& blob, int* type, std::string* passPhrase) {
  constexpr const char* kOp = "Znc::importPassPhrase";
  constexpr const char* kCorrupt = "Cannot import pass-phrase: Unsupported version or corrupt data.";
  if (blob.getSize() < 5) ThrowCryptoError(kOp, "Cannot import pass-phrase: data is too short.");
  const unsigned char* p = blob.getData();
  if (p[0] != kPhraseVersion) ThrowCryptoError(kOp, kCorrupt);
  const ZncBucket record = descrambleFromBin(p + 5, blob.getSize() - 5);
  if (record.getSize() < 3) ThrowCryptoError(kOp, kCorrupt);
  const unsigned char* r = record.getData();
  const int len = (r[0] << 8) | r[1];
  const int offset = r[2];
  std::string phrase;
  if (len == 0 && offset == 0) {
    if (record.getSize() - 3 < kPhraseSpace) ThrowCryptoError(kOp, kCorrupt);
    phrase.assign(reinterpret_cast<const char*>(r + 3), static_cast<std::size_t>(record.getSize() - 3));
  } else {
    if (record.getSize() != 3 + kPhraseSpace || len == 0 || len >= kPhraseSpace || offset + len > kPhraseSpace) {
      ThrowCryptoError(kOp, kCorrupt);
    }
    phrase.assign(reinterpret_cast<const char*>(r + 3 + offset), static_cast<std::size_t>(len));
  }
  if (phrase.find('\0') != std::string::npos) ThrowCryptoError(kOp, kCorrupt);
  if (type != nullptr) *type = static_cast<int>(GetBigEndian32(p + 1));
  if (passPhrase != nullptr) passPhrase->swap(phrase);
  ::explicit_bzero(phrase.data(), phrase.size());
}

void Znc::importPassPhrase(FILE* file, int* type, std::string* passPhrase) {
  if (file == nullptr) ThrowCryptoError("Znc::importPassPhrase", "Cannot import pass-phrase: data is too short.");
  importPassPhrase(ReadRest(file), type, passPhrase);
}
