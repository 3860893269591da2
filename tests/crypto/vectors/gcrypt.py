# One-block encryption and decryption with libgcrypt (through ctypes): an
# implementation of the ciphers independent of both this library and the
# engine's Botan. Used at test-writing time only.
import ctypes

_g = ctypes.CDLL('libgcrypt.so.20')
_g.gcry_check_version(None)

BLOWFISH, TRIPLE_DES, DES, TWOFISH256, TWOFISH128 = 4, 2, 302, 10, 303
SERPENT128, SERPENT192, SERPENT256 = 304, 305, 306
AES128, AES192, AES256 = 7, 8, 9
_MODE_ECB = 1
_CTL_ALLOW_WEAK_KEY = 79


def ecb(algo, key, data, decrypt=False):
    h = ctypes.c_void_p()
    assert _g.gcry_cipher_open(ctypes.byref(h), algo, _MODE_ECB, 0) == 0
    _g.gcry_cipher_ctl(h, _CTL_ALLOW_WEAK_KEY, None, 0)
    assert _g.gcry_cipher_setkey(h, key, len(key)) == 0
    out = ctypes.create_string_buffer(len(data))
    step = _g.gcry_cipher_decrypt if decrypt else _g.gcry_cipher_encrypt
    assert step(h, out, len(data), data, len(data)) == 0
    _g.gcry_cipher_close(h)
    return out.raw
