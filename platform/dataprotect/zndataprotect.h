/* The machine-bound protection of small secrets, libZnDataProtect.so: the
 * stand-in for the Windows data protection interface. A blob is "ZNDP",
 * version 1, a 12-byte nonce, the AES-256/GCM ciphertext and its 16-byte
 * tag, under the 32-byte key of a file only its owner can read. The
 * library loads it at run time (it never links the cipher library).
 *
 * Both calls return 1 on success and 0 on failure (the reason in
 * znDataProtectError). With a null `out` or `*outLen` too small they fail
 * with the needed size in `*outLen`. */
#ifndef ZN_DATAPROTECT_H
#define ZN_DATAPROTECT_H

#include <stddef.h>

#define ZNDP_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Creates the key file when missing (mode 0600; racing callers agree on one). */
ZNDP_API int znProtectData(const char* keyFile, const unsigned char* in, size_t inLen, unsigned char* out,
                           size_t* outLen);
/* Never creates the key file. */
ZNDP_API int znUnprotectData(const char* keyFile, const unsigned char* in, size_t inLen, unsigned char* out,
                             size_t* outLen);
/* The calling thread's last failure, as text. */
ZNDP_API const char* znDataProtectError(void);

#ifdef __cplusplus
}
#endif

#endif
