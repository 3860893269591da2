#!/usr/bin/env python3
"""A scrambled blob for ZncScramblerTest, built from the layout alone with
Python's `cryptography` (Blowfish from its decrepit module) and zlib.

Header: method 0, IV bytes 0..6 (byte 7 = IV6 ^ IV4 ^ IV2 ^ IV0); body:
Blowfish CBC of the zero-padded data under the library's scrambling key;
trailer: one ECB block of the big-endian CRC-32 (the library's register,
started at 0xFFFFFFFF and not inverted, which is ~zlib.crc32), the count of
valid bytes in the last block and 3 filler bytes. Run: python3 scramble.py
"""
import struct
import zlib

from cryptography.hazmat.decrepit.ciphers.algorithms import Blowfish
from cryptography.hazmat.primitives.ciphers import Cipher, modes

KEY = bytes([0x5a, 0x72, 0x6f, 0x7a, 0x49, 0x76, 0x69, 0x21, 0xc3, 0x1e, 0x8b, 0x47, 0x90, 0x2d, 0xf6, 0x5d])


def scramble(plain, iv7, filler):
    iv = bytes(iv7) + bytes([iv7[6] ^ iv7[4] ^ iv7[2] ^ iv7[0]])
    body = plain + b"\0" * ((-len(plain)) % 8)
    e = Cipher(Blowfish(KEY), modes.CBC(iv)).encryptor()
    c = e.update(body) + e.finalize()
    crc = (~zlib.crc32(plain)) & 0xFFFFFFFF
    trailer = struct.pack(">I", crc) + bytes([(len(plain) - 1) % 8 + 1]) + filler
    t = Cipher(Blowfish(KEY), modes.ECB()).encryptor()
    return b"\0" + iv[:7] + c + t.update(trailer) + t.finalize()


print(scramble(b"ZaRorozIvi scrambler", bytes(range(1, 8)), b"\xaa\xbb\xcc").hex())
