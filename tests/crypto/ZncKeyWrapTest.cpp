// Key wrap and key protection. The expected bytes come from
// tests/crypto/vectors/keywrap.py (RFC 3394's process over Python's
// `cryptography` ciphers, checked against its aes_key_wrap) and from
// RFC 3394 section 4 itself.
#include <gtest/gtest.h>

#include "tests/crypto/CryptoTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_des.h"
#include "zn/crypto/znc_keywrap.h"

namespace {

using zn::test::ExpectThrowText;
using zn::test::Hex;
using zn::test::HexOf;

constexpr const char* kKek = "000102030405060708090a0b0c0d0e0f";
constexpr const char* kKeyData = "00112233445566778899aabbccddeeff";

TEST(ZncKeyWrap, AesMatchesRfc3394OverThePaddedData) {
  ZncAES aes;
  aes.setKey(Hex(kKek));
  ZncKeyWrap wrapper(&aes);
  // 16 bytes: padded by a whole semiblock of 08, then RFC 3394 (keywrap.py).
  const ZncBucket wrapped = wrapper.wrap(Hex(kKeyData));
  EXPECT_EQ("b05471fa00ab70570ea62b3cfc244f1001af95366e5fe1f430ed8ac55b16c5da", HexOf(wrapped));
  EXPECT_EQ(kKeyData, HexOf(wrapper.unWrap(wrapped)));
  // The one-semiblock case still runs the six passes (keywrap.py).
  const ZncBucket one = wrapper.wrap(Hex("0102030405"));
  EXPECT_EQ("79ba91cba9cc0ec2d8edc8ba6ff00ee5", HexOf(one));
  EXPECT_EQ("0102030405", HexOf(wrapper.unWrap(one)));
  const ZncBucket empty = wrapper.wrap(ZncBucket());
  EXPECT_EQ("db7fa5cefef74c4422f60e47c1ef8f12", HexOf(empty));
  EXPECT_EQ(0, wrapper.unWrap(empty).getSize());
}

TEST(ZncKeyWrap, PublishedRfc3394VectorsPassTheIntegrityCheck) {
  // RFC 3394 4.1 to 4.6: the integrity value comes out as A6..A6 under
  // the right key, so the unwrap passes reach the padding rule (their key
  // data ends in FF, 07 or 0F, which is no padding of ours); under another key
  // the integrity check refuses them first.
  struct Vector {
    const char* kek;
    const char* wrapped;
  };
  const Vector vectors[] = {
      {"000102030405060708090a0b0c0d0e0f", "1fa68b0a8112b447aef34bd8fb5a7b829d3e862371d2cfe5"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "96778b25ae6ca435f92b5b97c050aed2468ab8a17ad84e5d"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "64e8c3f9ce0f5ba263e9777905818a2a93c8191e7d6e8ae7"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617",
       "031d33264e15d33268f24ec260743edce1c6c7ddee725a936ba814915c6762d2"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "a8f9bc1612c68b3ff6e6f4fbe30e71e4769c8b80a32cb8958cd5d17d6b254da1"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21"},
  };
  for (const Vector& v : vectors) {
    ZncAES aes;
    aes.setKey(Hex(v.kek));
    ZncKeyWrap wrapper(&aes);
    ExpectThrowText([&] { wrapper.unWrap(Hex(v.wrapped)); }, "Failed to unwrap key data: padding check failed.");
    ZncAES other;
    other.setKey(Hex("ffeeddccbbaa99887766554433221100"));
    ZncKeyWrap wrong(&other);
    ExpectThrowText([&] { wrong.unWrap(Hex(v.wrapped)); }, "Incorrect wrapping key");
  }
}

TEST(ZncKeyWrap, EightByteBlockCiphersUseFourByteSemiblocks) {
  ZncBlowfish bf;
  bf.setKey(Hex("0123456789abcdeff0e1d2c3b4a59687"));
  ZncKeyWrap wrapper(&bf);
  EXPECT_EQ("921a0453d59443ba", HexOf(wrapper.wrap(Hex("aabbcc"))));
  const ZncBucket sixteen = wrapper.wrap(Hex(kKeyData));
  EXPECT_EQ("550feec8a2730470f682006b8cdcf4fffd6f0129764740b5", HexOf(sixteen));
  EXPECT_EQ(kKeyData, HexOf(wrapper.unWrap(sixteen)));

  Znc3DES des3;
  des3.setKey(Hex("0123456789abcdef23456789abcdef01456789abcdef0123"));
  ZncKeyWrap desWrapper(&des3);
  const ZncBucket seven = desWrapper.wrap(Hex("01020304050607"));
  EXPECT_EQ("49ee45c28745fd81814c1cb6", HexOf(seven));
  EXPECT_EQ("01020304050607", HexOf(desWrapper.unWrap(seven)));
}

TEST(ZncKeyWrap, SizesAndBadInput) {
  ExpectThrowText([] { ZncKeyWrap nothing(nullptr); }, "NULL block cipher passed as input.");
  ZncAES unkeyed;
  ZncKeyWrap early(&unkeyed);
  ExpectThrowText([&] { early.wrap(Hex("00")); }, "Block cipher should have been preset with encryption key.");

  ZncAES aes;
  aes.setKey(Hex(kKek));
  ZncKeyWrap wrapper(&aes);
  EXPECT_EQ(32, wrapper.wrap(ZncBucket(16)).getSize());
  EXPECT_EQ(16, wrapper.wrap(ZncBucket(5)).getSize());
  for (int len = 0; len <= 40; ++len) {
    const ZncBucket plain = Znc::getRand(len);
    const ZncBucket wrapped = wrapper.wrap(plain);
    ASSERT_EQ((len / 8 + 2) * 8, wrapped.getSize());
    ASSERT_EQ(plain, wrapper.unWrap(wrapped));
  }
  ExpectThrowText([&] { wrapper.unWrap(ZncBucket(20)); },
                  "Invalid wrapped data length: must be divisible by cipher's half-block size.");
  ExpectThrowText([&] { wrapper.unWrap(ZncBucket(8)); }, "Failed to unwrap key data: padding check failed.");
  ZncAES other;
  other.setKey(Hex("0f0e0d0c0b0a09080706050403020100"));
  ZncKeyWrap wrong(&other);
  ExpectThrowText([&] { wrong.unWrap(wrapper.wrap(ZncBucket(16))); }, "Incorrect wrapping key");
  // Every changed byte is caught by the integrity value.
  const ZncBucket good = wrapper.wrap(Hex(kKeyData));
  for (int i = 0; i < good.getSize(); ++i) {
    ZncBucket bad(good);
    bad[i] ^= 0x01;
    ExpectThrowText([&] { wrapper.unWrap(bad); }, "Incorrect wrapping key");
  }
}

TEST(ZncKeyProtection, BothMethodsAndTheirMessages) {
  const ZncBucket key = Znc::getRand(32);
  const ZncBucket scrambled = Znc::wrapKey(key, true);
  EXPECT_EQ(0, scrambled[0]);
  EXPECT_EQ(8 + 32 + 8, scrambled.getSize());
  EXPECT_EQ(key, Znc::unWrapKey(scrambled));

  const ZncBucket wrapped = Znc::wrapKey(key, false);
  EXPECT_EQ(1, wrapped[0]);
  EXPECT_EQ(1 + (40 / 8 + 2) * 8, wrapped.getSize());  // key + 8 random bytes, wrapped
  EXPECT_EQ(key, Znc::unWrapKey(wrapped));
  EXPECT_NE(wrapped, Znc::wrapKey(key, false));  // the random bytes differ

  const std::string hex = Znc::wrapKeyToHex(key, false);
  EXPECT_EQ(key, Znc::unWrapKey(hex));
  EXPECT_EQ(key, Znc::unWrapKey(hex.c_str()));
  EXPECT_EQ(0, Znc::unWrapKey(ZncBucket()).getSize());
  EXPECT_EQ(0, Znc::unWrapKey("").getSize());

  ExpectThrowText([] { Znc::unWrapKey(Hex("02aabbccdd")); }, "Key unwrapping failed: unknown method.");
  ExpectThrowText([] { Znc::unWrapKey(Hex("ff")); }, "Key unwrapping failed: unknown method.");
  ZncBucket broken(wrapped);
  broken[5] ^= 0x80;
  ExpectThrowText([&] { Znc::unWrapKey(broken); }, "Incorrect wrapping key");
  ExpectThrowText([&] { Znc::unWrapKey(ZncBucket(wrapped.getData(), wrapped.getSize() - 3)); },
                  "Invalid wrapped data length: must be divisible by cipher's half-block size.");
  ZncBucket corrupt(scrambled);
  corrupt[12] ^= 0x01;
  EXPECT_THROW(Znc::unWrapKey(corrupt), ZnException);
}

}  // namespace
