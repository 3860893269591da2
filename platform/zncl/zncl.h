/* The C interface of the cryptographic engine libzncl.so. The library loads
 * the engine at run time and binds these entry points by name; nothing links
 * against it. Every call that returns int gives 0 on success and non-zero on
 * failure, with the reason kept in the context (zncl_get_last_error). A null
 * context reads the calling thread's last error.
 *
 * Contexts are opaque and serve one thread at a time, except the frand
 * context, which the engine locks itself. */
#ifndef ZNCL_ZNCL_H
#define ZNCL_ZNCL_H

#ifdef __cplusplus
extern "C" {
#endif

#define ZNCL_API __attribute__((visibility("default")))

/* zncl_get_status */
enum ZNCL_STATE { ZNCL_STATE_LOADED = 0, ZNCL_STATE_FIPS = 1, ZNCL_STATE_POST = 2, ZNCL_STATE_ERROR = 3 };

/* zncl_scramble / zncl_descramble flags */
#define ZNCL_SCRAMBLE_FINAL 1

/* ---- library ---- */
ZNCL_API int zncl_init(const char* libraryPath, char* error, int errorSize);
ZNCL_API int zncl_destroy(void);
ZNCL_API const char* zncl_get_last_error(void* ctx);
ZNCL_API int zncl_get_last_errno(void* ctx);
ZNCL_API int zncl_get_status(void);
ZNCL_API int zncl_get_version(int* major, int* minor);
ZNCL_API void zncl_free_mem(void* memory);
ZNCL_API void zncl_cleanup_thread_ctx(void);
/* Diagnostics: how many threads hold engine state now. */
ZNCL_API int zncl_thread_ctx_count(void);

/* ---- block ciphers ---- */
#define ZNCL_DECLARE_BLOCK_CIPHER(alg)                                                  \
  ZNCL_API void* zncl_##alg##_init(int* errorNumber, char* error, int errorSize);      \
  ZNCL_API int zncl_##alg##_destroy(void* ctx);                                         \
  ZNCL_API int zncl_##alg##_set_key(void* ctx, const void* key, int length);            \
  ZNCL_API int zncl_##alg##_ecb_encrypt(void* ctx, const void* in, void* out);          \
  ZNCL_API int zncl_##alg##_ecb_decrypt(void* ctx, const void* in, void* out);          \
  ZNCL_API int zncl_##alg##_cbc_encrypt(void* ctx, const void* in, int length, void* out, void* iv); \
  ZNCL_API int zncl_##alg##_cbc_decrypt(void* ctx, const void* in, int length, void* out, void* iv); \
  ZNCL_API int zncl_##alg##_ecb_encrypt_blocks(void* ctx, const void* in, void* out, int blocks); \
  ZNCL_API int zncl_##alg##_ecb_decrypt_blocks(void* ctx, const void* in, void* out, int blocks); \
  ZNCL_API int zncl_##alg##_is_fips_approved(void);

ZNCL_DECLARE_BLOCK_CIPHER(blowfish)
ZNCL_DECLARE_BLOCK_CIPHER(twofish)
ZNCL_DECLARE_BLOCK_CIPHER(serpent)
ZNCL_DECLARE_BLOCK_CIPHER(aes)
ZNCL_DECLARE_BLOCK_CIPHER(des)
ZNCL_DECLARE_BLOCK_CIPHER(3des)
ZNCL_DECLARE_BLOCK_CIPHER(gost)

/* 1 for one of the 4 weak or 12 semi-weak keys (parity ignored), 0 for any
 * other 8-byte key, -1 for a key that is not 8 bytes long. */
ZNCL_API int zncl_des_is_key_weak(void* ctx, const void* key, int length);

/* ---- digests ---- */
#define ZNCL_DECLARE_DIGEST(alg)                                                        \
  ZNCL_API void* zncl_##alg##_init(int* errorNumber, char* error, int errorSize);      \
  ZNCL_API int zncl_##alg##_destroy(void* ctx);                                         \
  ZNCL_API int zncl_##alg##_update(void* ctx, const void* data, int length);            \
  ZNCL_API int zncl_##alg##_final(void* ctx, void* digest);                             \
  ZNCL_API int zncl_##alg##_reset(void* ctx);                                           \
  ZNCL_API int zncl_##alg##_hmac_init(void* ctx, const void* key, int length);          \
  ZNCL_API int zncl_##alg##_hmac_update(void* ctx, const void* data, int length);       \
  ZNCL_API int zncl_##alg##_hmac_final(void* ctx, void* digest);                        \
  ZNCL_API int zncl_##alg##_is_fips_approved(void);

ZNCL_DECLARE_DIGEST(md5)
ZNCL_DECLARE_DIGEST(sha1)
ZNCL_DECLARE_DIGEST(sha256)
ZNCL_DECLARE_DIGEST(sha512)

/* ---- RSA ----
 * Keys: the engine's own encoding is PKCS #1 (RSAPublicKey, RSAPrivateKey)
 * in DER; the _der forms are X.509 SubjectPublicKeyInfo and PKCS #8.
 * The _get_ calls take the buffer size in *length and give the key length;
 * a buffer too small fails with the size needed in *length and errno
 * ZNCL_ERR_BUFFER_TOO_SMALL. */
#define ZNCL_ERR_BUFFER_TOO_SMALL 2
ZNCL_API void* zncl_rsa_init(int* errorNumber, char* error, int errorSize);
ZNCL_API int zncl_rsa_destroy(void* ctx);
ZNCL_API int zncl_rsa_set_pri_key(void* ctx, const void* key, int length);
ZNCL_API int zncl_rsa_set_pri_key_pem(void* ctx, const char* pem, const char* passPhrase);
ZNCL_API int zncl_rsa_set_pri_key_der(void* ctx, const void* key, int length);
ZNCL_API int zncl_rsa_set_pub_key(void* ctx, const void* key, int length);
ZNCL_API int zncl_rsa_set_pub_key_pem(void* ctx, const char* pem);
ZNCL_API int zncl_rsa_set_pub_key_der(void* ctx, const void* key, int length);
ZNCL_API int zncl_rsa_gen_key_pair(void* ctx, int bits);
ZNCL_API int zncl_rsa_get_pri_key(void* ctx, void* out, int* length);
ZNCL_API int zncl_rsa_get_pri_key_der(void* ctx, void* out, int* length);
ZNCL_API int zncl_rsa_get_pub_key(void* ctx, void* out, int* length);
ZNCL_API int zncl_rsa_get_pub_key_der(void* ctx, void* out, int* length);
ZNCL_API int zncl_rsa_get_mod_size(void* ctx, int* bytes);
ZNCL_API int zncl_rsa_enable_padding(void* ctx, int on);
/* One block: with padding at most modulus - 11 bytes in, without exactly the
 * modulus size; the output is one modulus long, *outLength its size. */
ZNCL_API int zncl_rsa_encrypt(void* ctx, const void* in, int length, void* out, int* outLength);
ZNCL_API int zncl_rsa_decrypt(void* ctx, const void* in, int length, void* out, int* outLength);
/* PKCS #1 v1.5 signature with SHA-256 over the data. */
ZNCL_API int zncl_rsa_sign(void* ctx, const void* in, int length, void* out, int outSize);
/* 0 when the signature is good, non-zero otherwise. */
ZNCL_API int zncl_rsa_verify(void* ctx, const void* data, int length, const void* signature, int signatureLength);
ZNCL_API int zncl_rsa_sign_is_fips_approved(void);
ZNCL_API int zncl_rsa_encdec_is_fips_approved(void);

/* ---- generators ---- */
ZNCL_API void* zncl_twister_init(int* errorNumber, char* error, int errorSize);
ZNCL_API int zncl_twister_destroy(void* ctx);
ZNCL_API int zncl_twister_seed(void* ctx, const void* seed, int length);
ZNCL_API int zncl_twister_get(void* ctx, void* out, int length);
ZNCL_API void* zncl_frand_init(int* errorNumber, char* error, int errorSize);
ZNCL_API int zncl_frand_destroy(void* ctx);
ZNCL_API int zncl_frand_seed(void* ctx, const void* seed, int length);
ZNCL_API int zncl_frand_get(void* ctx, void* out, int length);

/* ---- iterated HMAC ----
 * The block function of PBKDF2 with HMAC-SHA-256: U = first, then
 * `iterations` times U = HMAC(key, U) and R ^= U; R (32 bytes) goes to out.
 * With first = salt || 00 00 00 01 it is PBKDF2's first block. Returns 0,
 * or -1 (reason in zncl_get_last_error(NULL)). */
ZNCL_API int zncl_sha256_hmac_iterate(const void* key, int keyLength, const void* first, int firstLength,
                                      int iterations, void* out);

/* ---- scrambling ----
 * A keyed stream obfuscation under a key built into the engine: the first
 * call of a stream writes an 8-byte header; the stream's state lives in
 * *state (null to start one) and is released by the call with
 * ZNCL_SCRAMBLE_FINAL, or by zncl_free_mem for a stream given up. Returns
 * the bytes written, or -1 (reason in zncl_get_last_error(NULL)). */
ZNCL_API int zncl_scramble(const void* in, int length, void* out, int outSize, int flags, void** state);
ZNCL_API int zncl_descramble(const void* in, int length, void* out, int outSize, int flags, void** state);

#ifdef __cplusplus
}
#endif

#endif /* ZNCL_ZNCL_H */
