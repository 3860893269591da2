// The chaining modes over AES. Expected cipher texts were computed outside
// this library: plain CBC with `openssl enc -aes-128-cbc -nopad -K ... -iv
// ...`, the stolen tails with Python's `cryptography` (AES-ECB blocks put
// together as the stealing rule says; the same script gives the RFC 3962
// vectors, which use the same layout).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crypto/CryptoTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"

namespace zn::test {
namespace {

// key 000102..0f, IV 101112..1f, plain byte i = (7i + 3) mod 256.
const char* kKey = "000102030405060708090a0b0c0d0e0f";
const char* kIV = "101112131415161718191a1b1c1d1e1f";
const char* kCbcOf64 =
    "add2ed9dcb6c77261fef6d655c174631cf6ebf51f5bd35d45f162d2aea133064"
    "3d1df9162973cc0ae68f4f183977fbf585978bd3c32f585e5f8764780910d4c2";

struct Vector {
  int length;
  const char* cipher;
};
const Vector kVectors[] = {
    {5, "7b4b6dc34b5e73a9cafcd34eba3d610f"},
    {16, "add2ed9dcb6c77261fef6d655c174631"},
    {17, "8edbdef0b65805202243a0efb4d37140ad"},
    {20, "a42d8654221777b82c81b633740632e3add2ed9d"},
    {32, "add2ed9dcb6c77261fef6d655c174631cf6ebf51f5bd35d45f162d2aea133064"},
    {33, "add2ed9dcb6c77261fef6d655c174631addfd31e89505e23c7bb8a7ff98d9398cf"},
    {64, kCbcOf64},
};

ZncBucket Plain(int n) {
  ZncBucket b(n);
  for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 7 + 3);
  return b;
}

std::unique_ptr<ZncAES> Keyed(const char* key = kKey, const char* iv = kIV) {
  auto aes = std::make_unique<ZncAES>();
  aes->setKey(Hex(key));
  aes->setIV(Hex(iv));
  return aes;
}

TEST(ZncBlockCipherTest, CbcWithCiphertextStealingMatchesIndependentVectors) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.length);
    auto aes = Keyed();
    const ZncBucket plain = Plain(v.length);
    const ZncBucket cipher = aes->encCBC(plain);
    EXPECT_EQ(v.cipher, HexOf(cipher));

    auto other = Keyed();
    if (v.length < 16) {
      ExpectThrowText([&] { other->decCBC(plain); },
                      "Cannot decrypt data: Encrypted data length is smaller than the block size.",
                      "ZncBlockCipher::decCBC");
      ZncBucket back = other->decCBC(cipher);
      ASSERT_EQ(16, back.getSize());
      EXPECT_EQ(HexOf(plain) + std::string(22, '0'), HexOf(back)) << "the input, then zero padding";
    } else {
      EXPECT_EQ(plain, other->decCBC(cipher));
    }
  }
}

TEST(ZncBlockCipherTest, CbcStealingMatchesRfc3962) {
  // RFC 3962 appendix B: key "chicken teriyaki", IV zero.
  auto aes = Keyed("636869636b656e207465726979616b69", "00000000000000000000000000000000");
  EXPECT_EQ("c6353568f2bf8cb4d8a580362da7ff7f97", HexOf(aes->encCBC(Hex("4920776f756c64206c696b652074686520"))));
  EXPECT_EQ("fc00783e0efdb2c1d445d4c8eff7ed2297687268d6ecccc0c07b25e25ecfe5",
            HexOf(aes->encCBC(Hex("4920776f756c64206c696b65207468652047656e6572616c20476175277320"))));
}

TEST(ZncBlockCipherTest, ChainContinuesAcrossWholeBlockCallsButNotAfterStealingOrShortInput) {
  auto aes = Keyed();
  const ZncBucket plain = Plain(64);
  unsigned char out[64];
  ASSERT_EQ(32, aes->encCBC(plain.getData(), out, 32));
  EXPECT_EQ(std::string(kCbcOf64).substr(32, 32), HexOf(aes->getIV())) << "IV is the last cipher block";
  ASSERT_EQ(32, aes->encCBC(plain.getData() + 32, out + 32, 32));
  EXPECT_EQ(kCbcOf64, Znc::bin2hex(out, 64)) << "2 x 32 bytes equal 1 x 64";

  // Decryption continues the same way.
  auto dec = Keyed();
  unsigned char back[64];
  dec->decCBC(out, back, 32);
  dec->decCBC(out + 32, back + 32, 32);
  EXPECT_EQ(plain, ZncBucket(back, 64));

  // Stealing and short inputs leave the IV alone, in both directions.
  for (int n : {5, 20, 33}) {
    auto c = Keyed();
    const ZncBucket cipher = c->encCBC(Plain(n));
    EXPECT_EQ(Hex(kIV), c->getIV()) << n;
    if (n >= 16) {
      c->decCBC(cipher);
      EXPECT_EQ(Hex(kIV), c->getIV()) << n;
    }
  }
}

TEST(ZncBlockCipherTest, CbcWorksInPlaceAndOverLongData) {
  const int n = 100000 + 7;  // many batches and a stolen tail
  ZncBucket plain(n);
  for (int i = 0; i < n; ++i) plain[i] = static_cast<unsigned char>(i * 31 + (i >> 8));
  ZncBucket copy = plain;
  auto enc = Keyed();
  unsigned char* data = copy.getData();
  ASSERT_EQ(n, enc->encCBC(data, data, n));
  EXPECT_EQ(Keyed()->encCBC(plain), copy);
  auto dec = Keyed();
  ASSERT_EQ(n, dec->decCBC(data, data, n));
  EXPECT_EQ(plain, copy);
}

TEST(ZncBlockCipherTest, EcbPadsTheLastBlockWithZeros) {
  // FIPS 197 appendix C.1.
  auto aes = Keyed();
  EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(aes->encECB(Hex("00112233445566778899aabbccddeeff"))));
  const ZncBucket padded = aes->encECB(Hex("0011"));
  EXPECT_EQ(16, padded.getSize());
  EXPECT_EQ(aes->encECB(Hex("00110000000000000000000000000000")), padded);
  EXPECT_EQ(Hex("00110000000000000000000000000000"), aes->decECB(padded));
  unsigned char out[16];
  ExpectThrowText([&] { aes->decECB(out, out, 15); },
                  "Cannot decrypt data: Encrypted data must be provided in 16-byte blocks.", "ZncBlockCipher::decECB");
  EXPECT_EQ(0, aes->encECB(nullptr, out, 16));
  EXPECT_EQ(0, aes->encECB(out, out, 0));
}

TEST(ZncBlockCipherTest, OfbSplitAnywhereEqualsOneCall) {
  auto a = Keyed();
  auto b = Keyed();
  ZncBucket whole = Plain(17);
  ZncBucket split = whole;
  a->encOFB(whole.getData(), 17);
  b->encOFB(split.getData(), 10);
  b->encOFB(split.getData() + 10, 7);
  EXPECT_EQ(whole, split);
  // OFB is its own inverse; setIV restarts the stream.
  a->setIV(Hex(kIV));
  a->encOFB(whole.getData(), 17);
  EXPECT_EQ(Plain(17), whole);
  // The first key-stream block is E(IV) (checked against ECB of the IV).
  ZncBucket zero(16);
  auto c = Keyed();
  c->encOFB(zero.getData(), 16);
  EXPECT_EQ(c->encECB(Hex(kIV)), zero);

  ExpectThrowText([&] { c->encOFB(zero.getData(), 1, nullptr); }, "Invalid pointer to OFB Context provided");
  ZncBlockCipher::OFBCtx empty;
  ExpectThrowText([&] { c->encOFB(zero.getData(), 1, &empty); }, "Empty IV provided");
}

TEST(ZncBlockCipherTest, ChecksComeInOrderWithTheirTexts) {
  ZncAES aes;
  EXPECT_EQ(16, aes.getBlockSize());
  EXPECT_EQ(Znc::CIPHER_AES, aes.getCipherType());
  EXPECT_FALSE(aes.isKeySet());
  unsigned char buf[32] = {};
  ExpectThrowText([&] { aes.encCBC(buf, buf, 16); }, "Cannot enccrypt data: The key must be preset.",
                  "ZncBlockCipher::encCBC");
  ExpectThrowText([&] { aes.decCBC(buf, buf, 16); }, "Cannot decrypt data: The key must be preset.");
  ExpectThrowText([&] { aes.encECB(buf, buf, 16); }, "Cannot encrypt data: The key must be preset.");
  ExpectThrowText([&] { aes.decECB(buf, buf, 16); }, "Cannot decrypt data: The key must be preset.");
  ExpectThrowText([&] { aes.encOFB(buf, 16); }, "Cannot process data: The key must be preset.");

  aes.setKey(Hex(kKey));
  EXPECT_TRUE(aes.isKeySet());
  ExpectThrowText([&] { aes.encCBC(buf, buf, 16); }, "Cannot encrypt data: IV must be preset.");
  ExpectThrowText([&] { aes.decCBC(buf, buf, 16); }, "Cannot decrypt data: IV must be preset.");
  EXPECT_EQ(0, aes.getIV().getSize()) << "setting a key does not touch the IV";
  ExpectThrowText([&] { aes.encECB(buf, nullptr, 16); }, "Cannot encrypt data: NULL output buffer pointer.");
  ExpectThrowText([&] { aes.decECB(buf, nullptr, 16); }, "Cannot decrypt data: NULL output buffer pointer.");

  aes.setIV(Hex("0102"));  // zero-extended to the block
  EXPECT_EQ(Hex("01020000000000000000000000000000"), aes.getIV());
  aes.setIV(Hex("000102030405060708090a0b0c0d0e0f1011"));  // cut
  EXPECT_EQ(Hex("000102030405060708090a0b0c0d0e0f"), aes.getIV());
  ExpectThrowText([&] { aes.encCBC(buf, nullptr, 16); }, "Cannot encrypt data: NULL output buffer pointer.");
  ExpectThrowText([&] { aes.decCBC(buf, nullptr, 16); }, "Cannot decrypt data: NULL output buffer pointer.");
  EXPECT_EQ(0, aes.encCBC(nullptr, buf, 16));

  ExpectThrowText([&] { aes.setKey(Hex("0011")); }, "Failed to set AES key: Invalid AES key length 2 (must be 16, 24 or 32 bytes)",
                  "ZncAES::setKey");
  EXPECT_TRUE(aes.isKeySet()) << "the earlier key stays";
  EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(aes.encECB(Hex("00112233445566778899aabbccddeeff"))));
}

// A cipher of our own, to reach the protected block-size rules.
class Identity : public ZncBlockCipher {
 public:
  void setKey(const void*, int) override { keySet = true; }
  void encBlock(const void* in, void* out) override { std::memmove(out, in, static_cast<std::size_t>(blockSize)); }
  void decBlock(const void* in, void* out) override { std::memmove(out, in, static_cast<std::size_t>(blockSize)); }
  using ZncBlockCipher::setBlockSize;
};

TEST(ZncBlockCipherTest, BlockSizeRules) {
  Identity c;
  ExpectThrowText([&] { c.setIV(Hex("00")); }, "Cannot set IV: Block size is not known yet.", "ZncBlockCipher::setIV");
  c.setKey(nullptr, 0);
  unsigned char buf[8] = {};
  ExpectThrowText([&] { c.encECB(buf, buf, 8); }, "Cannot encrypt data: Block size has not been set yet.");
  ExpectThrowText([&] { c.decCBC(buf, buf, 8); }, "Cannot decrypt data: Block size has not been set yet.");
  ExpectThrowText([&] { c.encOFB(buf, 8); }, "Cannot process data: Block size has not been set yet.");
  ExpectThrowText([&] { c.setBlockSize(24); }, "Invalid block size 24 specified: must be a power of 2.");
  ExpectThrowText([&] { c.setBlockSize(512); }, "Invalid block size 512 specified.");
  ExpectThrowText([&] { c.setBlockSize(0); }, "Invalid block size 0 specified.");
  c.setBlockSize(4);
  c.setIV(Hex("01020304"));
  c.setBlockSize(8);  // a shorter IV grows with the block
  EXPECT_EQ(Hex("0102030400000000"), c.getIV());
  c.setBlockSize(256);
  EXPECT_EQ(256, c.getBlockSize());
}

TEST(ZncBlockCipherTest, FactoryAndNames) {
  EXPECT_EQ(nullptr, Znc::createCipher(static_cast<Znc::CIPHER>(0)));
  EXPECT_EQ(nullptr, Znc::createCipher(Znc::CIPHER_DES));
  EXPECT_EQ(nullptr, Znc::createCipher(static_cast<Znc::CIPHER>(9)));
  std::unique_ptr<ZncBlockCipher> aes(Znc::createCipher(Znc::CIPHER_AES));
  ASSERT_NE(nullptr, aes);
  EXPECT_EQ(16, aes->getBlockSize());
  EXPECT_EQ(3, aes->getCipherType());
  EXPECT_EQ("AES", Znc::getCipherName(Znc::CIPHER_AES));
  EXPECT_EQ("Old Blowfish", Znc::getCipherName(Znc::CIPHER_OLD_BLOWFISH));
  EXPECT_EQ("UNKNOWN", Znc::getCipherName(Znc::CIPHER_DES));
  EXPECT_EQ("UNKNOWN", Znc::getCipherName(static_cast<Znc::CIPHER>(-3)));
}

TEST(ZncBlockCipherTest, CopiesHaveTheirOwnEngineContextAndKey) {
  auto original = Keyed();
  ZncAES copy(*original);
  original.reset();  // the copy's context is its own
  EXPECT_EQ(Hex(kIV), copy.getIV());
  EXPECT_EQ("69c4e0d86a7b0430d8cdb78070b4c55a", HexOf(copy.encECB(Hex("00112233445566778899aabbccddeeff"))));
  ZncAES assigned;
  assigned = copy;
  EXPECT_EQ(copy.encCBC(Plain(40)), assigned.encCBC(Plain(40)));
  ZncAES unkeyed;
  assigned = unkeyed;
  EXPECT_FALSE(assigned.isKeySet());
}

TEST(ZncHexTest, ConversionBothWaysAndBadText) {
  EXPECT_EQ("00ff10ab", Znc::bin2hex(Hex("00FF10aB")));
  EXPECT_EQ("0a1b", std::string(Znc::bin2hex_s(Hex("0a1B")).c_str()));
  EXPECT_EQ(Hex("0a1b"), Znc::hex2bin("0a1B \n"));
  EXPECT_EQ(0, Znc::hex2bin(nullptr).getSize());
  EXPECT_EQ(0, Znc::hex2bin("").getSize());
  EXPECT_EQ(0, Znc::hex2bin("  \t").getSize());
  EXPECT_EQ("", Znc::bin2hex(nullptr, 4));
  ExpectThrowText([] { Znc::hex2bin("abc"); }, "Cannot convert hex to bin: Input string does not have an even length.",
                  "Znc::hex2bin");
  ExpectThrowText([] { Znc::hex2bin("0g"); }, "Cannot convert hex to bin: Illegal character encountered.");
  ExpectThrowText([] { Znc::hex2bin(" 0a1bc"); }, "Cannot convert hex to bin: Illegal character encountered.");
}

TEST(ZncRandomTest, BytesDifferAndSeedingIsAccepted) {
  const ZncBucket a = Znc::getRand(32);
  const ZncBucket b = Znc::getRand(32);
  EXPECT_EQ(32, a.getSize());
  EXPECT_NE(a, b);
  Znc::seedRand("entropy", 7);
  EXPECT_NE(a, Znc::getRand(32));
  EXPECT_EQ(0, Znc::getRand(0).getSize());
  // Large requests span the generator's own request limit.
  const ZncBucket big = Znc::getRand(200000);
  int zeros = 0;
  for (int i = 0; i < big.getSize(); ++i) zeros += big[i] == 0;
  EXPECT_LT(zeros, 2000);
}

}  // namespace
}  // namespace zn::test
