// Znc: the static functions of the cryptography subsystem: the cipher
// factory and names, hexadecimal conversion, random bytes, one-call
// digests, the checksums, the protected data formats and the network
// transit encryption.
#pragma once

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

 private:
  static int encryptDataWithCRC32(const void* in, void* out, int len, ZncBlowfish& bf);
  static int decryptDataWithCRC32(const void* in, void* out, int len, ZncBlowfish& bf);
};
