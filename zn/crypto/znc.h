// Znc: the static functions of the cryptography subsystem: the cipher
// factory and names, hexadecimal conversion, random bytes, one-call
// digests, the checksums, the protected data formats and the network
// transit encryption.
#pragma once

#include <cstdio>
#include <string>

#include "zn/base/ZnExport.h"
#include "zn/crypto/secure_basic_string.h"
#include "zn/crypto/znc_bucket.h"
#include "zn/error/ZnException.h"

class ZncBlockCipher;
class ZncBlowfish;

class ZN_EXPORT Znc {
 public:
  // The cipher types; the values are part of the interface.
  enum CIPHER {
    CIPHER_OLD_BLOWFISH = 1,
    CIPHER_BLOWFISH = 2,
    CIPHER_AES = 3,
    CIPHER_SERPENT = 4,
    CIPHER_TWOFISH = 5,
    CIPHER_3DES = 6,
    CIPHER_DES = 7,
    CIPHER_GOST = 8,
  };

  // An integrity check failed: a wrong key, or data changed on the way.
  class ZN_EXPORT WrongKey : public ZnException {
   public:
    WrongKey(const char* function, const char* message);
  };

  Znc() = delete;

  // A new cipher of type `type` (the caller owns it); null for types
  // outside 1..8 and for 7, which has no factory entry.
  static ZncBlockCipher* createCipher(Znc::CIPHER type);
  // "UNKNOWN" for 7 and for any value outside 1..8.
  static std::string getCipherName(Znc::CIPHER type);

  // Two lower-case digits per byte, high nibble first.
  static std::string bin2hex(const ZncBucket& bytes);
  static std::string bin2hex(const void* data, int len);
  static secure_basic_string<char> bin2hex_s(const ZncBucket& bytes);
  static secure_basic_string<char> bin2hex_s(const void* data, int len);
  // Null or empty gives an empty bucket; trailing white space is ignored.
  static ZncBucket hex2bin(const char* text);

  // Bytes from the process-wide FIPS-style generator of the engine.
  static void getRand(void* out, int len);
  static ZncBucket getRand(int len);
  static void seedRand(const void* seed, int len);

  // One-call digests: a fresh object, one addData, one finish.
  static ZncBucket md5(const ZncBucket& data);
  static ZncBucket md5(const void* data, int len);
  static ZncBucket sha1(const ZncBucket& data);
  static ZncBucket sha1(const void* data, int len);
  static ZncBucket sha256(const ZncBucket& data);
  static ZncBucket sha256(const void* data, int len);
  static ZncBucket sha512(const ZncBucket& data);
  static ZncBucket sha512(const void* data, int len);

  // CRC-32 of zn_crc32 (znc_checksum.h): *crc is the running register,
  // neither started nor inverted here; a length of 0 or less leaves it.
  static void crc32(const void* data, int len, unsigned int* crc);
  // The rolling checksum of block matching (b * 65536 + a, a the sum of
  // the bytes and b the sum of the successive a, both modulo 65536).
  static unsigned int rsync(const void* data, int len);
  static unsigned int rsyncUpdate(unsigned int sum, const void* data, int len);
  // Moves a window of `windowLen` bytes on by one: `out` leaves, `in`
  // comes.
  static unsigned int rsyncRoll(unsigned int sum, int windowLen, unsigned char out, unsigned char in);

  // Data with CRC-32 under a keyed Blowfish: the output is `len` rounded up
  // to 8 plus 8 bytes, or `len` plus 16 when `len` is a multiple of 8 and
  // at least 16 (so `out` needs `len` rounded up to 8 plus 16 bytes).
  // Decryption needs `len` - 8 bytes of `out` and returns the plain length;
  // a wrong key or changed data throws Znc::WrongKey.
  static int encryptTagData(const void* in, void* out, int len, ZncBlowfish& bf);
  static int decryptTagData(const void* in, void* out, int len, ZncBlowfish& bf);
  // Tagged data under any keyed block cipher: `out` has the input's length,
  // the 4-byte tag and the 8-byte IV travel separately. Decryption throws
  // Znc::WrongKey when the tag does not match.
  static void encryptTagData(const void* in, void* out, int len, void* crc32Out, void* ivOut,
                             ZncBlockCipher* cipher);
  static void decryptTagData(const void* in, void* out, int len, const void* crc32, const void* iv,
                             ZncBlockCipher* cipher);

  // Data with CRC-32 under Blowfish keyed with the MD5 of `password`.
  static ZncBucket netEncrypt(const ZncBucket& data, const char* password);
  static ZncBucket netDecrypt(const ZncBucket& data, const char* password);

  // Scrambled streams (znc_scrambler.h) in one call: 8-byte header, the
  // data rounded up to 8, 8-byte trailer. The hex forms are lower case.
  static ZncBucket scrambleToBin(const ZncBucket& data);
  static ZncBucket scrambleToBin(const void* data, int len);
  static std::string scrambleToHex(const ZncBucket& data);
  static std::string scrambleToHex(const void* data, int len);
  static ZncBucket descrambleFromBin(const ZncBucket& data);
  static ZncBucket descrambleFromBin(const void* data, int len);
  static ZncBucket descrambleFromHex(const char* text);

  // Key protection; the first byte names the method: 0 scrambled, 1 AES
  // key wrap (the key and 8 random bytes under a key built into the
  // library). An empty blob unwraps to an empty key.
  static ZncBucket wrapKey(const ZncBucket& key, bool scramble);
  static std::string wrapKeyToHex(const ZncBucket& key, bool scramble);
  static ZncBucket unWrapKey(const ZncBucket& blob);
  static ZncBucket unWrapKey(const std::string& hex);
  static ZncBucket unWrapKey(const char* hex);

  // ---- RSA formats (znc_rsa.h) ----
  static void generateRSAPair(int bits, ZncBucket& pub, ZncBucket& pri, bool der);
  // The data key and its CRC-32, RSA-encrypted with padding; a wrong
  // private key throws Znc::WrongKey.
  static ZncBucket encryptDataKey(const ZncBucket& dataKey, const ZncBucket& pubKey, bool der);
  static ZncBucket decryptDataKey(const ZncBucket& enc, const ZncBucket& priKey, bool der);
  // A private key as data with CRC-32 under Blowfish keyed with the MD5 of
  // the pass phrase (of a default phrase built into the library when it is
  // null or empty); a wrong phrase throws Znc::WrongKey.
  static ZncBucket encryptRSAPriKey(const ZncBucket& pri, const char* passPhrase);
  static ZncBucket decryptRSAPriKey(const ZncBucket& encPri, const char* passPhrase);
  static bool validatePassPhrase(const ZncBucket& encPri, const char* passPhrase);
  // Key file: version byte 0, then each key scrambled behind a two-byte
  // big-endian length. Loading accepts either protection method and sets
  // both keys only when the whole file reads.
  static void saveRSAKeys(FILE* file, const ZncBucket& pub, const ZncBucket& pri);
  static void loadRSAKeys(FILE* file, ZncBucket& pub, ZncBucket& pri);
  // Pass-phrase blob: version 0, the big-endian type, a scrambled record
  // that hides a phrase shorter than 1024 bytes among 1024 random ones.
  static ZncBucket exportPassPhrase(int type, const char* passPhrase);
  static void exportPassPhrase(FILE* file, int type, const char* passPhrase);
  static void importPassPhrase(const ZncBucket& blob, int* type, std::string* passPhrase);
  static void importPassPhrase(FILE* file, int* type, std::string* passPhrase);

 private:
  static int encryptDataWithCRC32(const void* in, void* out, int len, ZncBlowfish& bf);
  static int decryptDataWithCRC32(const void* in, void* out, int len, ZncBlowfish& bf);
};
