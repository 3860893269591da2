#!/usr/bin/env python3
"""Key-wrap vectors for ZncKeyWrapTest, computed without the library.

The wrap is RFC 3394's process written out here over the block ciphers of
Python's `cryptography` (AES; Blowfish and TripleDES from its decrepit
module), with semiblocks of half the block and padding of m bytes of value
m (1 to h). For data whose padded form has two or more semiblocks the
result is checked against `cryptography`'s own aes_key_wrap, so the
hand-written loop is the RFC's. Run: python3 keywrap.py
"""
from cryptography.hazmat.decrepit.ciphers.algorithms import Blowfish, TripleDES
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.keywrap import aes_key_wrap


def ecb(alg):
    def encrypt(block):
        e = Cipher(alg, modes.ECB()).encryptor()
        return e.update(block) + e.finalize()
    return encrypt


def wrap(encrypt, h, plain):
    m = h - len(plain) % h
    p = plain + bytes([m]) * m
    n = len(p) // h
    a = b"\xa6" * h
    r = [p[i * h:(i + 1) * h] for i in range(n)]
    for j in range(6):
        for i in range(n):
            b = encrypt(a + r[i])
            a = (int.from_bytes(b[:h], "big") ^ (n * j + i + 1)).to_bytes(h, "big")
            r[i] = b[h:]
    return a + b"".join(r)


kek = bytes(range(16))
data = bytes.fromhex("00112233445566778899AABBCCDDEEFF")
aes = ecb(algorithms.AES(kek))
assert wrap(aes, 8, data) == aes_key_wrap(kek, data + b"\x08" * 8)
print("aes 16 bytes:", wrap(aes, 8, data).hex())
print("aes 5 bytes (one semiblock):", wrap(aes, 8, bytes.fromhex("0102030405")).hex())
print("aes empty:", wrap(aes, 8, b"").hex())
bf = ecb(Blowfish(bytes.fromhex("0123456789abcdeff0e1d2c3b4a59687")))
print("blowfish 3 bytes:", wrap(bf, 4, bytes.fromhex("aabbcc")).hex())
print("blowfish 16 bytes:", wrap(bf, 4, data).hex())
des3 = ecb(TripleDES(bytes.fromhex("0123456789abcdef23456789abcdef01456789abcdef0123")))
print("3des 7 bytes:", wrap(des3, 4, bytes.fromhex("01020304050607")).hex())
