# GOST 28147-89 in ECB as RFC 5830 describes it (32 rounds: K0..K7 three
# times, then K7..K0), with the S-boxes of the GOST R 34.11-94 test
# parameters (RFC 5831, 7.3 / RFC 4357 id-GostR3411-94-TestParamSet); key
# and data words little-endian.
import struct
SBOX = [
 [4,10,9,2,13,8,0,14,6,11,1,12,7,15,5,3],
 [14,11,4,12,6,13,15,10,2,3,8,1,0,7,5,9],
 [5,8,1,13,10,3,4,2,14,15,12,7,6,0,9,11],
 [7,13,10,1,0,8,9,15,14,4,6,12,11,2,5,3],
 [6,12,7,1,5,15,13,8,4,10,9,14,0,3,11,2],
 [4,11,10,0,7,2,1,13,3,6,8,5,9,12,15,14],
 [13,11,4,1,3,15,5,9,0,10,14,7,6,8,2,12],
 [1,15,13,0,5,7,10,4,9,2,3,14,6,11,8,12]]
def f(x):
    y = 0
    for j in range(8):
        y |= SBOX[j][(x >> (4*j)) & 15] << (4*j)
    return ((y << 11) | (y >> 21)) & 0xffffffff
def schedule(key, decrypt):
    k = struct.unpack('<8I', key)
    order = [k[i % 8] for i in range(24)] + [k[7 - i] for i in range(8)]
    return order[::-1] if decrypt else order
def block(key, data, decrypt=False):
    n1, n2 = struct.unpack('<2I', data)
    for k in schedule(key, decrypt):
        n1, n2 = n2 ^ f((n1 + k) & 0xffffffff), n1
    return struct.pack('<2I', n2, n1)
if __name__ == '__main__':
    k = bytes.fromhex("BE5EC2006CFF9DCF52354959F1FF0CBFE95061B5A648C10387069C25997C0672")
    c = block(k, bytes.fromhex("0DF82802B741A292"))
    print(c.hex(), block(k, c, True).hex())
