// ZncRSA: RSA through the engine. PKCS #1 v1.5 encryption padding is on
// after construction (11 bytes of each block); without it blocks are raw
// modulus-sized numbers. Input longer than one block is cut into blocks,
// each encrypted to one modulus. Signatures are PKCS #1 v1.5 over SHA-256.
//
// Keys travel in the engine's own encoding (PKCS #1 DER: RSAPublicKey,
// RSAPrivateKey) or, with `der` true, as X.509 SubjectPublicKeyInfo and
// PKCS #8. PEM texts are read in every one of those forms (an encrypted
// PKCS #8 key with its pass phrase) and written as PKCS #1 "RSA PUBLIC KEY"
// and "RSA PRIVATE KEY". Objects serve one thread at a time.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/crypto/secure_basic_string.h"
#include "zn/crypto/znc_bucket.h"

class ZN_EXPORT ZncRSA {
 public:
  ZncRSA();
  ZncRSA(const ZncRSA&) = delete;
  ZncRSA& operator=(const ZncRSA&) = delete;
  ~ZncRSA();

  void enablePadding(bool on);
  bool isPaddingEnabled() const { return padding; }
  // Modulus bytes of the key set.
  int getModSize();
  // The encrypt output for `len` input bytes: whole blocks of the modulus.
  int getEncBufSize(int len);

  void genKeyPair(int bits);
  static void genKeyPair(int bits, ZncBucket& pub, ZncBucket& pri, bool der);

  void setPubKey(const void* key, int len, bool der);
  void setPubKey(const ZncBucket& key, bool der);
  void setPriKey(const void* key, int len, bool der);
  void setPriKey(const ZncBucket& key, bool der);
  void setPubKeyPEM(const char* pem);
  // `passPhrase` opens an encrypted PKCS #8 key; null for a plain one.
  void setPriKeyPEM(const char* pem, const char* passPhrase);

  ZncBucket getPubKey(bool der);
  ZncBucket getPriKey(bool der);
  // PKCS #1 PEM texts, 64 characters a line.
  std::string getPubKeyPEM();
  secure_basic_string<char> getPriKeyPEM();

  // `out` needs getEncBufSize(len) bytes; returns the bytes written.
  int encrypt(const void* in, void* out, int len);
  // `len` must be whole moduli; `out` needs `len` bytes. Raw blocks come
  // out left-padded with zeros to the modulus.
  int decrypt(const void* in, void* out, int len);
  ZncBucket encrypt(const ZncBucket& in);
  ZncBucket decrypt(const ZncBucket& in);

  // `sig` needs the modulus size.
  void sign(const void* data, int len, void* sig, int sigSize);
  ZncBucket sign(const void* data, int len);
  ZncBucket sign(const ZncBucket& data);
  bool verify(const void* data, int len, const void* sig, int sigLen);
  bool verify(const ZncBucket& data, const ZncBucket& sig);

 private:
  ZncBucket getKey(bool pub, bool der);
  int blockIn();

  bool padding = true;
  void* ctx = nullptr;
};
