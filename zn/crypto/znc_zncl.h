// Zncl: the binding to the cryptographic engine libzncl.so. The engine is
// loaded at run time on the first construction of any algorithm object (or
// the first request for random bytes) from this library's own folder, then
// from the installation's home folder when the process has a focus; every
// entry point is resolved once and kept in the static pointers below until
// the library is unloaded. The library itself never computes a cipher
// round: every primitive goes through one of these pointers.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT Zncl {
 public:
  // Loads and binds the engine once per process; idempotent and
  // thread-safe. Throws ZnException when the engine or one of its entry
  // points is missing, or when it fails to start.
  static void init();
  // Releases the engine (at library unload). Algorithm objects still alive
  // must not be used afterwards.
  static void destroy();
  // The thread-exit callback: releases the calling thread's engine state.
  static void cleanupThreadCtx(void* unused);
  static bool isLoaded();
  // The file the engine was loaded from; empty while it is not loaded.
  static std::string getLibraryPath();

  // ---- library ----
  using InitFn = int (*)(const char* libraryPath, char* error, int errorSize);
  using DestroyFn = int (*)();
  using LastErrorFn = const char* (*)(void* ctx);
  using LastErrnoFn = int (*)(void* ctx);
  using StatusFn = int (*)();
  using VersionFn = int (*)(int* major, int* minor);
  using FreeMemFn = void (*)(void* memory);
  using CleanupThreadFn = void (*)();
  // ---- shared shapes ----
  using CtxInitFn = void* (*)(int* errorNumber, char* error, int errorSize);
  using CtxDestroyFn = int (*)(void* ctx);
  using SetKeyFn = int (*)(void* ctx, const void* key, int length);
  using BlockFn = int (*)(void* ctx, const void* in, void* out);
  using CbcFn = int (*)(void* ctx, const void* in, int length, void* out, void* iv);
  using BlocksFn = int (*)(void* ctx, const void* in, void* out, int blocks);
  using DataFn = int (*)(void* ctx, const void* data, int length);
  using DigestOutFn = int (*)(void* ctx, void* digest);
  using CtxFn = int (*)(void* ctx);
  using PemPriFn = int (*)(void* ctx, const char* pem, const char* passPhrase);
  using PemPubFn = int (*)(void* ctx, const char* pem);
  using GenFn = int (*)(void* ctx, int bits);
  using GetKeyFn = int (*)(void* ctx, void* out, int* length);
  using ModSizeFn = int (*)(void* ctx, int* bytes);
  using PaddingFn = int (*)(void* ctx, int on);
  using RsaCryptFn = int (*)(void* ctx, const void* in, int length, void* out, int* outLength);
  using SignFn = int (*)(void* ctx, const void* in, int length, void* out, int outSize);
  using VerifyFn = int (*)(void* ctx, const void* data, int length, const void* signature, int signatureLength);
  using GetFn = int (*)(void* ctx, void* out, int length);
  using ScrambleFn = int (*)(const void* in, int length, void* out, int outSize, int flags, void** state);
  using FipsApprovedFn = int (*)();
  using IterateFn = int (*)(const void* key, int keyLength, const void* first, int firstLength, int iterations,
                            void* out);

  // zncl_init and zncl_destroy: named apart from init() and destroy().
  static InitFn zncl_init;
  static DestroyFn zncl_destroy;
  static LastErrorFn get_last_error;
  static LastErrnoFn get_last_errno;
  static StatusFn get_status;
  static VersionFn get_version;
  static FreeMemFn free_mem;
  static CleanupThreadFn cleanup_thread_ctx;

#define ZNCL_BLOCK_CIPHER_POINTERS(p)                                             \
  static CtxInitFn p##_init;                                                      \
  static CtxDestroyFn p##_destroy;                                                \
  static SetKeyFn p##_set_key;                                                    \
  static BlockFn p##_ecb_encrypt;                                                 \
  static BlockFn p##_ecb_decrypt;                                                 \
  static CbcFn p##_cbc_encrypt;                                                   \
  static CbcFn p##_cbc_decrypt;                                                   \
  /* optional: many blocks in one call (null when the engine lacks it) */         \
  static BlocksFn p##_ecb_encrypt_blocks;                                        \
  static BlocksFn p##_ecb_decrypt_blocks;
  ZNCL_BLOCK_CIPHER_POINTERS(blowfish)
  ZNCL_BLOCK_CIPHER_POINTERS(twofish)
  ZNCL_BLOCK_CIPHER_POINTERS(serpent)
  ZNCL_BLOCK_CIPHER_POINTERS(aes)
  ZNCL_BLOCK_CIPHER_POINTERS(des)
  ZNCL_BLOCK_CIPHER_POINTERS(des3)
  ZNCL_BLOCK_CIPHER_POINTERS(gost)
#undef ZNCL_BLOCK_CIPHER_POINTERS
  static SetKeyFn des_is_key_weak;

#define ZNCL_DIGEST_POINTERS(p)            \
  static CtxInitFn p##_init;               \
  static CtxDestroyFn p##_destroy;         \
  static DataFn p##_update;                \
  static DigestOutFn p##_final;            \
  static CtxFn p##_reset;                  \
  static DataFn p##_hmac_init;             \
  static DataFn p##_hmac_update;           \
  static DigestOutFn p##_hmac_final;
  ZNCL_DIGEST_POINTERS(md5)
  ZNCL_DIGEST_POINTERS(sha1)
  ZNCL_DIGEST_POINTERS(sha256)
  ZNCL_DIGEST_POINTERS(sha512)
#undef ZNCL_DIGEST_POINTERS

  static CtxInitFn rsa_init;
  static CtxDestroyFn rsa_destroy;
  static DataFn rsa_set_pri_key;
  static PemPriFn rsa_set_pri_key_pem;
  static DataFn rsa_set_pri_key_der;
  static DataFn rsa_set_pub_key;
  static PemPubFn rsa_set_pub_key_pem;
  static DataFn rsa_set_pub_key_der;
  static GenFn rsa_gen_key_pair;
  static GetKeyFn rsa_get_pri_key;
  static GetKeyFn rsa_get_pri_key_der;
  static GetKeyFn rsa_get_pub_key;
  static GetKeyFn rsa_get_pub_key_der;
  static ModSizeFn rsa_get_mod_size;
  static PaddingFn rsa_enable_padding;
  static RsaCryptFn rsa_encrypt;
  static RsaCryptFn rsa_decrypt;
  static SignFn rsa_sign;
  static VerifyFn rsa_verify;

  static CtxInitFn twister_init;
  static CtxDestroyFn twister_destroy;
  static DataFn twister_seed;
  static GetFn twister_get;
  static CtxInitFn frand_init;
  static CtxDestroyFn frand_destroy;
  static DataFn frand_seed;
  static GetFn frand_get;

  static IterateFn sha256_hmac_iterate;

  static ScrambleFn scramble;
  static ScrambleFn descramble;
};
