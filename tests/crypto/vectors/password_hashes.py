#!/usr/bin/env python3
"""Known answers of the password hashes, computed with Python's hashlib/hmac
alone (independent of the library).

'7': PBKDF2-HMAC-SHA-256, 1000 iterations, one 32-byte block, hex.
'6': the same loop, but the first input is the salt without the block index.
'4': Base64 of SHA-1 over the salt's bytes followed by the UTF-16LE password.
"""
import base64
import hashlib
import hmac

CASES = [("secret", "salt"), ("p\u00e4ssw\u00f6rd", "0123456789abcdef"), ("x", "")]


def v6(pwd: bytes, salt: bytes) -> str:
    u = hmac.new(pwd, salt, hashlib.sha256).digest()
    r = bytearray(u)
    for _ in range(999):
        u = hmac.new(pwd, u, hashlib.sha256).digest()
        r = bytearray(a ^ b for a, b in zip(r, u))
    return bytes(r).hex()


for pwd, salt in CASES:
    p, s = pwd.encode("utf-8"), salt.encode("utf-8")
    print("7", repr(pwd), repr(salt), "7" + hashlib.pbkdf2_hmac("sha256", p, s, 1000).hex())
    print("6", repr(pwd), repr(salt), "6" + v6(p, s))
    print("4", repr(pwd), repr(salt),
          "4" + base64.b64encode(hashlib.sha1(s + pwd.encode("utf-16-le")).digest()).decode())
