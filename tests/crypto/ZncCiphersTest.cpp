// The block ciphers through the library (never Botan directly): published
// known answers, key rules and messages, the DES weak keys, Blowfish CBC61
// and the factory. Sources of the vectors:
// - AES: FIPS 197 appendix C.1 to C.3;
// - Blowfish: Eric Young's test vectors as published with the algorithm;
// - DES: FIPS 81 (the ECB example "Now is the time for all ");
// - 3DES: NIST SP 800-67 rev. 1 (the three-key example); the two-key value
//   computed with libgcrypt (tests/crypto/vectors/gcrypt.py);
// - GOST 28147-89: computed with tests/crypto/vectors/gost.py, a Python
//   implementation of the algorithm of RFC 5830 with the S-boxes of the
//   GOST R 34.11-94 test parameters (RFC 5830 itself has no vectors);
// - Serpent: the NESSIE set 1 vector 0 for each key size;
// - Twofish: the vectors of the Twofish paper (128, 192 and 256 bits).
// Every published value was also checked with libgcrypt or nettle.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "crypto/CryptoTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_des.h"
#include "zn/crypto/znc_gost.h"
#include "zn/crypto/znc_serpent.h"
#include "zn/crypto/znc_twofish.h"

namespace zn::test {
namespace {

struct Known {
  Znc::CIPHER type;
  const char* key;
  const char* plain;
  const char* cipher;
};

const Known kKnown[] = {
    {Znc::CIPHER_AES, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {Znc::CIPHER_AES, "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {Znc::CIPHER_AES, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    {Znc::CIPHER_BLOWFISH, "0000000000000000", "0000000000000000", "4ef997456198dd78"},
    {Znc::CIPHER_BLOWFISH, "ffffffffffffffff", "ffffffffffffffff", "51866fd5b85ecb8a"},
    {Znc::CIPHER_BLOWFISH, "3000000000000000", "1000000000000001", "7d856f9a613063f2"},
    {Znc::CIPHER_BLOWFISH, "f0e1d2c3b4a5968778695a4b3c2d1e0f0011223344556677", "fedcba9876543210",
     "05044b62fa52d080"},
    {Znc::CIPHER_DES, "0123456789abcdef", "4e6f77206973207468652074696d6520666f7220616c6c20",
     "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53"},
    {Znc::CIPHER_3DES, "0123456789abcdef23456789abcdef01456789abcdef0123",
     "5468652071756663 6b2062726f776e20666f78206a756d70", "a826fd8ce53b855fcce21c8112256fe668d5c05dd9b6b900"},
    {Znc::CIPHER_3DES, "0123456789abcdef23456789abcdef01", "5468652071756663 6b2062726f776e20666f78206a756d70",
     "c44862f70cf2fbdc9077d0909fa91b884cabd61fc58e0cbb"},
    {Znc::CIPHER_GOST, "be5ec2006cff9dcf52354959f1ff0cbfe95061b5a648c10387069c25997c0672", "0df82802b741a292",
     "07f9027df7f7df89"},
    {Znc::CIPHER_GOST, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "0011223344556677", "54410a030c22e4c6"},
    {Znc::CIPHER_SERPENT, "80000000000000000000000000000000", "00000000000000000000000000000000",
     "264e5481eff42a4606abda06c0bfda3d"},
    {Znc::CIPHER_SERPENT, "800000000000000000000000000000000000000000000000", "00000000000000000000000000000000",
     "9e274ead9b737bb21efcfca548602689"},
    {Znc::CIPHER_SERPENT, "8000000000000000000000000000000000000000000000000000000000000000",
     "00000000000000000000000000000000", "a223aa1288463c0e2be38ebd825616c0"},
    {Znc::CIPHER_TWOFISH, "00000000000000000000000000000000", "00000000000000000000000000000000",
     "9f589f5cf6122c32b6bfec2f2ae8c35a"},
    {Znc::CIPHER_TWOFISH, "0123456789abcdeffedcba98765432100011223344556677", "00000000000000000000000000000000",
     "cfd1d2e5a9be9cdf501f13b892bd2248"},
    {Znc::CIPHER_TWOFISH, "0123456789abcdeffedcba987654321000112233445566778899aabbccddeeff",
     "00000000000000000000000000000000", "37527be0052334b89f0cfccae87cfa20"},
};

// The text without the blanks that group it.
ZncBucket Spaced(const char* text) {
  std::string compact;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != ' ') compact += *p;
  }
  return Hex(compact.c_str());
}

std::unique_ptr<ZncBlockCipher> Make(Znc::CIPHER type) {
  if (type == Znc::CIPHER_DES) return std::make_unique<ZncDES>();  // no factory entry
  return std::unique_ptr<ZncBlockCipher>(Znc::createCipher(type));
}

TEST(ZncCiphersTest, PublishedVectorsThroughTheLibrary) {
  for (const Known& k : kKnown) {
    SCOPED_TRACE(std::string(Znc::getCipherName(k.type)) + " key " + k.key);
    auto cipher = Make(k.type);
    ASSERT_NE(nullptr, cipher);
    cipher->setKey(Hex(k.key));
    const ZncBucket plain = Spaced(k.plain);
    EXPECT_EQ(k.cipher, HexOf(cipher->encECB(plain)));
    EXPECT_EQ(plain, cipher->decECB(Hex(k.cipher)));
  }
}

TEST(ZncCiphersTest, OneBlockCallsWhereTheyArePublic) {
  ZncDES des;
  des.setKey(Hex("0123456789abcdef"));
  unsigned char out[8];
  des.encBlock(Hex("4e6f772069732074").getData(), out);
  EXPECT_EQ("3fa40e8a984d4815", Znc::bin2hex(out, 8));
  des.decBlock(out, out);
  EXPECT_EQ("4e6f772069732074", Znc::bin2hex(out, 8));
  ZncGOST gost;
  gost.setKey(Hex("be5ec2006cff9dcf52354959f1ff0cbfe95061b5a648c10387069c25997c0672"));
  gost.encBlock(Hex("0df82802b741a292").getData(), out);
  EXPECT_EQ("07f9027df7f7df89", Znc::bin2hex(out, 8));
}

struct Shape {
  Znc::CIPHER type;
  int blockSize;
  const char* name;
  const char* className;
  std::vector<int> goodKeys;
  std::vector<int> badKeys;
  const char* rule;
};

TEST(ZncCiphersTest, BlockSizesTypesAndKeyRules) {
  const Shape shapes[] = {
      {Znc::CIPHER_AES, 16, "AES", "ZncAES", {16, 24, 32}, {0, 15, 20, 33}, "16, 24 or 32 bytes"},
      {Znc::CIPHER_BLOWFISH, 8, "Blowfish", "ZncBlowfish", {1, 4, 16, 56}, {0, 57}, "1 to 56 bytes"},
      {Znc::CIPHER_DES, 8, "DES", "ZncDES", {8}, {7, 9, 16}, "8 bytes"},
      {Znc::CIPHER_3DES, 8, "3DES", "Znc3DES", {16, 24}, {8, 20, 32}, "16 or 24 bytes"},
      {Znc::CIPHER_GOST, 8, "GOST", "ZncGOST", {32}, {16, 31, 33}, "32 bytes"},
      {Znc::CIPHER_SERPENT, 16, "Serpent", "ZncSerpent", {16, 24, 32}, {8, 17}, "16, 24 or 32 bytes"},
      {Znc::CIPHER_TWOFISH, 16, "Twofish", "ZncTwofish", {16, 24, 32}, {8, 40}, "16, 24 or 32 bytes"},
  };
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.name);
    auto cipher = Make(s.type);
    EXPECT_EQ(s.blockSize, cipher->getBlockSize());
    EXPECT_EQ(s.type, cipher->getCipherType());
    for (int n : s.goodKeys) {
      cipher->setKey(ZncBucket(n));
      EXPECT_TRUE(cipher->isKeySet()) << n;
    }
    auto fresh = Make(s.type);
    for (int n : s.badKeys) {
      const std::string expected = std::string("Failed to set ") + s.name + " key: " +
                                   (n == 0 ? std::string("NULL or empty key")
                                           : "Invalid " + std::string(s.name) + " key length " + std::to_string(n) +
                                                 " (must be " + s.rule + ")");
      ExpectThrowText([&] { fresh->setKey(ZncBucket(n)); }, expected, (std::string(s.className) + "::setKey").c_str());
      EXPECT_FALSE(fresh->isKeySet()) << "a refused key leaves no key";
    }
    // The chaining modes work for every cipher, stealing included.
    cipher->setIV(Znc::getRand(s.blockSize));
    const ZncBucket iv = cipher->getIV();
    for (int n : {s.blockSize - 1, s.blockSize, s.blockSize + 1, 3 * s.blockSize + 5, 1000}) {
      ZncBucket plain = Znc::getRand(n);
      cipher->setIV(iv);
      const ZncBucket sealed = cipher->encCBC(plain);
      cipher->setIV(iv);
      ZncBucket opened = cipher->decCBC(sealed);
      opened.resize(n);
      EXPECT_EQ(plain, opened) << n;
    }
  }
}

TEST(ZncCiphersTest, FactoryMakesEveryListedCipherWithItsType) {
  const std::pair<Znc::CIPHER, int> made[] = {
      {Znc::CIPHER_OLD_BLOWFISH, 8}, {Znc::CIPHER_BLOWFISH, 8}, {Znc::CIPHER_AES, 16}, {Znc::CIPHER_SERPENT, 16},
      {Znc::CIPHER_TWOFISH, 16},     {Znc::CIPHER_3DES, 8},     {Znc::CIPHER_GOST, 8},
  };
  for (const auto& [type, block] : made) {
    std::unique_ptr<ZncBlockCipher> cipher(Znc::createCipher(type));
    ASSERT_NE(nullptr, cipher) << type;
    EXPECT_EQ(type, cipher->getCipherType());
    EXPECT_EQ(block, cipher->getBlockSize());
  }
  std::unique_ptr<ZncBlockCipher> old(Znc::createCipher(Znc::CIPHER_OLD_BLOWFISH));
  EXPECT_NE(nullptr, dynamic_cast<ZncBlowfish*>(old.get())) << "old Blowfish is Blowfish with another type";
  EXPECT_EQ(nullptr, Znc::createCipher(Znc::CIPHER_DES));
  EXPECT_EQ(Znc::CIPHER_DES, ZncDES().getCipherType());
  const char* names[] = {"UNKNOWN", "Old Blowfish", "Blowfish", "AES", "Serpent", "Twofish", "3DES", "UNKNOWN", "GOST",
                         "UNKNOWN"};
  for (int t = 0; t <= 9; ++t) EXPECT_EQ(names[t], Znc::getCipherName(static_cast<Znc::CIPHER>(t))) << t;
}

TEST(ZncCiphersTest, DesWeakAndSemiWeakKeysWhateverTheirParity) {
  // FIPS 74: 4 weak keys and 6 pairs of semi-weak keys.
  const char* weak[] = {
      "0101010101010101", "fefefefefefefefe", "e0e0e0e0f1f1f1f1", "1f1f1f1f0e0e0e0e",
      "011f011f010e010e", "1f011f010e010e01", "01e001e001f101f1", "e001e001f101f101",
      "01fe01fe01fe01fe", "fe01fe01fe01fe01", "1fe01fe00ef10ef1", "e01fe01ff10ef10e",
      "1ffe1ffe0efe0efe", "fe1ffe1ffe0efe0e", "e0fee0fef1fef1fe", "fee0fee0fef1fef1",
  };
  ZncDES des;
  for (const char* key : weak) {
    EXPECT_TRUE(des.isKeyWeak(Hex(key))) << key;
    ZncBucket flipped = Hex(key);
    for (int i = 0; i < 8; ++i) flipped[i] ^= 1;  // parity bits only
    EXPECT_TRUE(des.isKeyWeak(flipped.getData(), 8)) << key;
  }
  EXPECT_FALSE(des.isKeyWeak(Hex("0123456789abcdef")));
  EXPECT_FALSE(des.isKeyWeak(Hex("0101010101010103"))) << "one key bit from a weak key";
  ExpectThrowText([&] { des.isKeyWeak(Hex("01010101010101")); }, "Failed to check DES key: A DES key is 8 bytes long",
                  "ZncDES::isKeyWeak");
  // A weak key still works (the check is the caller's choice).
  des.setKey(Hex("0101010101010101"));
  EXPECT_TRUE(des.isKeySet());
}

TEST(ZncCiphersTest, BlowfishCbc61PadsWithZerosAndNeverSteals) {
  ZncBlowfish bf;
  const ZncBucket key = Hex("0123456789abcdeff0e1d2c3b4a59687");
  const ZncBucket iv = Hex("fedcba9876543210");
  unsigned char buf[32] = {};
  ExpectThrowText([&] { bf.encCBC61(buf, buf, 8); }, "Cannot encrypt data: They key must be preset.",
                  "ZncBlowfish::encCBC61");
  ExpectThrowText([&] { bf.decCBC61(buf, buf, 8); }, "Cannot decrypt data: They key must be preset.",
                  "ZncBlowfish::decCBC61");
  bf.setKey(key);
  ExpectThrowText([&] { bf.encCBC61(buf, buf, 8); }, "Cannot encrypt data: They IV must be preset.");
  ExpectThrowText([&] { bf.decCBC61(buf, buf, 8); }, "Cannot decrypt data: They IV must be preset.");
  bf.setIV(iv);
  EXPECT_EQ(0, bf.encCBC61(nullptr, buf, 8));
  EXPECT_EQ(0, bf.encCBC61(buf, buf, 0));
  ExpectThrowText([&] { bf.encCBC61(buf, nullptr, 8); }, "Cannot encrypt data: NULL output buffer pointer.");
  ExpectThrowText([&] { bf.decCBC61(buf, buf, 13); },
                  "Cannot decrypt data: Encrypted data must be provided in 8-byte blocks.");
  ExpectThrowText([&] { bf.decCBC61(buf, nullptr, 16); }, "Cannot decrypt data: NULL output buffer pointer.");

  // 13 bytes give 16: the same as 13 bytes and 3 zeros in plain CBC (our
  // encCBC of 16 bytes, which does not steal at a whole block).
  const ZncBucket plain = Hex("000102030405060708090a0b0c");
  const ZncBucket sealed = bf.encCBC61(plain);
  ASSERT_EQ(16, sealed.getSize());
  ZncBlowfish reference;
  reference.setKey(key);
  reference.setIV(iv);
  EXPECT_EQ(reference.encCBC(Hex("000102030405060708090a0b0c000000")), sealed);
  EXPECT_EQ(Hex(HexOf(sealed).substr(16).c_str()), bf.getIV()) << "the IV advanced to the last cipher block";

  bf.setIV(iv);
  EXPECT_EQ(Hex("000102030405060708090a0b0c000000"), bf.decCBC61(sealed)) << "the padding stays";
  // Whole blocks chain on across calls.
  bf.setIV(iv);
  const ZncBucket first = bf.encCBC61(Hex("0001020304050607"));
  const ZncBucket second = bf.encCBC61(Hex("08090a0b0c000000"));
  ZncBucket both = first;
  both.append(second);
  EXPECT_EQ(sealed, both);
}

// A copy and an assigned object encrypt as the source did, after the source
// is gone (each has a context of its own, keyed alike).
template <class Cipher>
void ExpectCopiesWork(int keyLength) {
  SCOPED_TRACE(keyLength);
  auto original = std::make_unique<Cipher>();
  original->setKey(Znc::getRand(keyLength));
  original->setIV(Znc::getRand(8));
  const ZncBucket plain = Znc::getRand(37);  // stolen tail: the IV stays
  const ZncBucket expected = original->encCBC(plain);
  Cipher copy(*original);
  Cipher assigned;
  assigned = *original;
  original.reset();
  EXPECT_EQ(expected, copy.encCBC(plain));
  EXPECT_EQ(expected, assigned.encCBC(plain));
}

TEST(ZncCiphersTest, CopiesCarryKeyAndIVWithTheirOwnContext) {
  ExpectCopiesWork<ZncBlowfish>(16);
  ExpectCopiesWork<ZncDES>(8);
  ExpectCopiesWork<Znc3DES>(24);
  ExpectCopiesWork<ZncGOST>(32);
  ExpectCopiesWork<ZncSerpent>(32);
  ExpectCopiesWork<ZncTwofish>(16);
}

}  // namespace
}  // namespace zn::test
