#!/usr/bin/env python3
# Builds the protected-data vectors of ZncDataFormatTest.cpp from the byte
# layouts alone, with ciphers independent of this library: Blowfish from
# libgcrypt (gcrypt.py), AES from Python's `cryptography`, CRC-32 from
# Python's zlib (the formats keep the register started at 0xFFFFFFFF and
# not inverted, which is zlib.crc32(data) ^ 0xFFFFFFFF).
import zlib
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
import gcrypt

BF_KEY = bytes(range(0x10, 0x20))
AES_KEY = bytes.fromhex("2b7e151628aed2a6abf7158809cf4f3c")
IV = bytes.fromhex("a1b2c3d4e5f60718")


def plain(n):
    return bytes((i * 37 + 11) & 0xFF for i in range(n))


def crc_be(data):
    return (zlib.crc32(data) ^ 0xFFFFFFFF).to_bytes(4, 'big')


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def bf(block):
    return gcrypt.ecb(gcrypt.BLOWFISH, BF_KEY, block)


def bf_cbc(iv, data):
    out, chain = b'', iv
    for i in range(0, len(data), 8):
        chain = bf(xor(data[i:i + 8], chain))
        out += chain
    return out


def data_with_crc32(p):
    n = len(p)
    r = n % 8
    pad = 8 - r if r else 0
    k = min(pad, 4)
    c = crc_be(p)
    iv = bytearray(IV)
    if pad > 0 or n < 16:
        iv[0:4 - k] = c[k:4]
        iv[7] = (iv[7] & ~7) | r
        body = p[:n - r]
        if r:
            body += p[n - r:] + c[:k] + bytes(8 - r - k)
    else:
        iv[7] &= ~7
        body = p + c + bytes(iv[0:4])
    return bf_cbc(bytes(iv), body) + bf(bytes(iv))


def aes(block):
    e = Cipher(algorithms.AES(AES_KEY), modes.ECB()).encryptor()
    return e.update(block) + e.finalize()


def aes_cbc_cts(iv, p, B=16):
    # CBC with the stealing of the library: F first, then the head of E.
    n, r = divmod(len(p), B)
    out, chain = b'', iv
    whole = n if r == 0 else n - 1
    for i in range(whole):
        chain = aes(xor(p[i * B:(i + 1) * B], chain))
        out += chain
    if r == 0:
        return out
    e = aes(xor(p[(n - 1) * B:n * B], chain))
    f = aes(xor(p[n * B:], e[:r]) + e[r:])
    return out + f + e[:r]


def tagged_aes(p):
    iv16 = IV + bytes(8)
    t = crc_be(p)
    m = len(p) + 4
    if m < 16:
        ks = aes(iv16)
        return xor(p, ks), xor(t, ks[len(p):len(p) + 4])
    c = aes_cbc_cts(iv16, p + t)
    return c[:len(p)], c[len(p):]


def tagged_bf(p):
    t = crc_be(p)
    if len(p) + 4 < 8:
        ks = bf(IV)
        return xor(p, ks), xor(t, ks[len(p):len(p) + 4])
    # Blowfish through the library's CBC with stealing (8-byte blocks).
    q = p + t
    n, r = divmod(len(q), 8)
    out, chain = b'', IV
    whole = n if r == 0 else n - 1
    for i in range(whole):
        chain = bf(xor(q[i * 8:(i + 1) * 8], chain))
        out += chain
    if r:
        e = bf(xor(q[(n - 1) * 8:n * 8], chain))
        out += bf(xor(q[n * 8:], e[:r]) + e[r:]) + e[:r]
    return out[:len(p)], out[len(p):]


if __name__ == '__main__':
    print('// data with CRC-32, Blowfish')
    for n in (1, 7, 8, 9, 13, 16, 100):
        print('{%d, "%s"},' % (n, data_with_crc32(plain(n)).hex()))
    print('// tagged, AES-128')
    for n in (0, 1, 7, 8, 9, 12, 13, 16, 100):
        c, t = tagged_aes(plain(n))
        print('{%d, "%s", "%s"},' % (n, c.hex(), t.hex()))
    print('// tagged, Blowfish')
    for n in (0, 1, 3, 4, 5, 13, 100):
        c, t = tagged_bf(plain(n))
        print('{%d, "%s", "%s"},' % (n, c.hex(), t.hex()))
