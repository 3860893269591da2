/* The signature check of signed tokens, libZnSigLib.so: Ed25519 over a
 * 64-byte SHA-512 digest taken as the message. The public key is
 * znsig.pub (PEM SubjectPublicKeyInfo) in the folder of this shared object;
 * without it nothing is valid. */
#ifndef ZN_ZNSIG_H
#define ZN_ZNSIG_H

#include <stddef.h>

#define ZNSIG_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* 1 for a good signature, 0 otherwise (also without a public key). */
ZNSIG_API int znVerifySignature(const unsigned char* digest, size_t digestLen, const unsigned char* sig,
                                size_t sigLen);
/* Signs with the PKCS#8 PEM private key of `privateKeyPemFile`: 1, or 0
 * (with the needed size in *sigLen when `sig` is null or too small). */
ZNSIG_API int znSignDigest(const char* privateKeyPemFile, const unsigned char* digest, size_t digestLen,
                           unsigned char* sig, size_t* sigLen);

#ifdef __cplusplus
}
#endif

#endif
