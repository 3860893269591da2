// The scrambler: its layout taken apart with Blowfish under the library's
// scrambling key (repeated here: data scrambled elsewhere must stay
// readable), streams cut anywhere, and every kind of corruption.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/crypto/CryptoTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_checksum.h"
#include "zn/crypto/znc_scrambler.h"

namespace {

using zn::test::ExpectThrowText;
using zn::test::Hex;
using zn::test::Text;

constexpr unsigned char kScramblerKey[16] = {0x5a, 0x72, 0x6f, 0x7a, 0x49, 0x76, 0x69, 0x21,
                                             0xc3, 0x1e, 0x8b, 0x47, 0x90, 0x2d, 0xf6, 0x5d};
constexpr const char* kCrcMismatch = "Scrambled data is corrupt: CRC32 mismatch.";
constexpr const char* kBadCounter = "Scrambled data is corrupt: Invalid last block valid byte counter.";
constexpr const char* kBadMethod = "Scrambled data is corrupt: unrecognized scrambling method.";

unsigned int PlainCrc(const ZncBucket& data) {
  unsigned int crc = 0xFFFFFFFFu;
  if (data.getSize() > 0) zn_crc32(data.getData(), static_cast<size_t>(data.getSize()), &crc);
  return crc;
}

TEST(ZncScrambler, LayoutOfOneStream) {
  for (int len : {1, 7, 8, 9, 16, 33}) {
    const ZncBucket plain = Znc::getRand(len);
    const ZncBucket blob = Znc::scrambleToBin(plain);
    const int body = (len + 7) / 8 * 8;
    ASSERT_EQ(8 + body + 8, blob.getSize());
    EXPECT_EQ(0, blob[0]);
    unsigned char iv[8];
    std::memcpy(iv, blob.getData() + 1, 7);
    iv[7] = static_cast<unsigned char>(iv[6] ^ iv[4] ^ iv[2] ^ iv[0]);

    ZncBlowfish bf;
    bf.setKey(kScramblerKey, sizeof kScramblerKey);
    bf.setIV(iv, 8);
    ZncBucket decrypted(body);
    bf.decCBC61(blob.getData() + 8, decrypted.getData(), body);
    EXPECT_EQ(plain, ZncBucket(decrypted.getData(), len));
    for (int i = len; i < body; ++i) EXPECT_EQ(0, decrypted[i]) << "zero padding";

    unsigned char trailer[8];
    bf.decBlock(blob.getData() + 8 + body, trailer);
    const unsigned int crc = PlainCrc(plain);
    EXPECT_EQ(crc >> 24, trailer[0]);
    EXPECT_EQ((crc >> 16) & 0xFF, trailer[1]);
    EXPECT_EQ((crc >> 8) & 0xFF, trailer[2]);
    EXPECT_EQ(crc & 0xFF, trailer[3]);
    EXPECT_EQ((len - 1) % 8 + 1, trailer[4]);
    EXPECT_EQ(plain, Znc::descrambleFromBin(blob));
  }
  EXPECT_EQ(24, Znc::scrambleToBin(Hex("aa")).getSize());
  EXPECT_EQ(32, Znc::scrambleToBin(ZncBucket(16)).getSize());
  EXPECT_EQ(0, Znc::scrambleToBin(ZncBucket()).getSize());
  EXPECT_EQ(0, Znc::descrambleFromBin(ZncBucket()).getSize());
  const std::string hex = Znc::scrambleToHex("secret", 6);
  EXPECT_EQ(48u, hex.size());
  EXPECT_EQ(hex, Znc::bin2hex(Znc::hex2bin(hex.c_str())));  // lower case
  EXPECT_EQ(zn::test::Text("secret"), Znc::descrambleFromHex(hex.c_str()));
}

TEST(ZncScrambler, ReadsABlobBuiltFromTheLayoutAlone) {
  // tests/crypto/vectors/scramble.py: IV 01..07, filler aa bb cc.
  const ZncBucket blob =
      Hex("0001020304050607e8508f11bb5f0150b38284a9433fdd56b780e2fc81c3724bc735b852a843c31d");
  EXPECT_EQ(zn::test::Text("ZaRorozIvi scrambler"), Znc::descrambleFromBin(blob));
  EXPECT_EQ(zn::test::Text("ZaRorozIvi scrambler"), Znc::unWrapKey(blob));
}

TEST(ZncScrambler, StreamsSplitAnywhereEqualOneShot) {
  std::mt19937 rng(20);
  for (int round = 0; round < 400; ++round) {
    const int len = static_cast<int>(rng() % 301);
    const ZncBucket plain = Znc::getRand(len);
    if (len == 0) {
      EXPECT_EQ(0, Znc::scrambleToBin(plain).getSize());
      continue;
    }
    // Scramble in random chunks of whole blocks, the last one any length.
    ZncScrambler writer;
    ZncBucket blob(len + 24 * 40);
    int in = 0;
    int out = 0;
    while (in < len) {
      int chunk = static_cast<int>(rng() % 5) * 8;
      const bool last = chunk == 0 || in + chunk >= len;
      if (last) chunk = len - in;
      out += writer.scramble(plain.getData() + in, chunk, blob.getData() + out, blob.getSize() - out, last);
      in += chunk;
    }
    blob.resize(out);
    ASSERT_EQ(8 + (len + 7) / 8 * 8 + 8, out);
    ASSERT_EQ(plain, Znc::descrambleFromBin(blob)) << "len " << len;

    // The one-shot blob read back in random chunks.
    const ZncBucket oneShot = Znc::scrambleToBin(plain);
    ZncScrambler reader;
    ZncBucket back(oneShot.getSize());
    in = 0;
    out = 0;
    while (in < oneShot.getSize()) {
      const int rest = oneShot.getSize() - in;
      int chunk = in == 0 ? 8 + static_cast<int>(rng() % 5 + 1) * 8 : static_cast<int>(rng() % 6) * 8;
      const bool last = chunk == 0 || rest - chunk <= 8;
      if (last) chunk = rest;
      out += reader.descramble(oneShot.getData() + in, chunk, back.getData() + out, back.getSize() - out, last);
      in += chunk;
    }
    back.resize(out);
    ASSERT_EQ(plain, back) << "len " << len;
  }
}

TEST(ZncScrambler, EverySingleByteCorruptionIsDetected) {
  const ZncBucket plain = Znc::getRand(64);
  const ZncBucket blob = Znc::scrambleToBin(plain);
  ASSERT_EQ(80, blob.getSize());
  for (int i = 0; i < blob.getSize(); ++i) {
    for (int flip : {0x01, 0x80, 0xFF}) {
      ZncBucket bad(blob);
      bad[i] ^= static_cast<unsigned char>(flip);
      try {
        Znc::descrambleFromBin(bad);
        ADD_FAILURE() << "byte " << i << " flipped by " << flip << " not detected";
      } catch (const ZnException& e) {
        const std::string message = e.getMessage();
        EXPECT_TRUE(message == kCrcMismatch || message == kBadCounter || (i == 0 && message == kBadMethod))
            << i << ": " << message;
      }
    }
  }
}

TEST(ZncScrambler, CorruptionLeavesNoPlainBytes) {
  const ZncBucket plain = zn::test::Text("a secret of twenty-nine bytes");
  ZncBucket blob = Znc::scrambleToBin(plain);
  blob[10] ^= 0x40;
  ZncScrambler scrambler;
  ZncBucket out(blob.getSize());
  EXPECT_THROW(scrambler.descramble(blob.getData(), blob.getSize(), out.getData(), out.getSize(), true), ZnException);
  for (int i = 0; i < out.getSize(); ++i) ASSERT_EQ(0, out[i]);
}

TEST(ZncScrambler, ArgumentChecksAndMessages) {
  ZncScrambler s;
  unsigned char out[64] = {};
  EXPECT_EQ(0, s.scramble("x", 0, out, sizeof out, true));
  ExpectThrowText([&] { s.scramble(nullptr, 4, out, sizeof out, true); },
                  "Cannot scramble data: NULL data passed as input.");
  ExpectThrowText([&] { s.scramble("abcd", 4, out, 27, true); },
                  "Cannot scramble data: Destination buffer should be at least 24 bytes longer than the source one.");
  ExpectThrowText([&] { s.scramble("abcd", 4, nullptr, 64, true); },
                  "Cannot scramble data: Destination buffer should be at least 24 bytes longer than the source one.");
  EXPECT_EQ(28 - 4, s.scramble("abcd", 4, out, 28, true));
  ExpectThrowText([&] { s.scramble("abcdefghij", 10, out, sizeof out, false); },
                  "Cannot scramble data: Only the last chunk of a stream may be shorter than whole 8-byte blocks.");

  const ZncBucket blob = Znc::scrambleToBin(Text("abcd"));
  ZncScrambler d;
  EXPECT_EQ(0, d.descramble(blob.getData(), 0, out, sizeof out, true));
  ExpectThrowText([&] { d.descramble(nullptr, 24, out, sizeof out, true); },
                  "Cannot descramble data: NULL data passed as input.");
  ExpectThrowText([&] { d.descramble(blob.getData(), 24, out, 23, true); },
                  "Cannot descramble data: Destination buffer should be as big as the source one.");
  ExpectThrowText([&] { d.descramble(blob.getData(), 16, out, sizeof out, true); },
                  "Cannot descramble data: It's too short.");
  ExpectThrowText([&] { d.descramble(blob.getData(), 8, out, sizeof out, false); },
                  "Cannot descramble data: It's too short.");
  ZncBucket method(blob);
  method[0] = 1;
  ExpectThrowText([&] { Znc::descrambleFromBin(method); }, kBadMethod);
  ZncBucket truncated(blob.getData(), 20);
  EXPECT_THROW(Znc::descrambleFromBin(truncated), ZnException);

  // A trailer whose counter is above 8, sealed with the right key.
  ZncBucket forged(blob);
  ZncBlowfish bf;
  bf.setKey(kScramblerKey, sizeof kScramblerKey);
  unsigned char trailer[8];
  bf.decBlock(forged.getData() + 16, trailer);
  trailer[4] = 9;
  bf.encBlock(trailer, forged.getData() + 16);
  ExpectThrowText([&] { Znc::descrambleFromBin(forged); }, kBadCounter);
}

TEST(ZncScrambler, CopiesCarryTheStreamState) {
  const ZncBucket plain = Znc::getRand(40);
  ZncScrambler a;
  ZncBucket first(64);
  const int head = a.scramble(plain.getData(), 16, first.getData(), first.getSize(), false);
  ASSERT_EQ(24, head);
  ZncScrambler b(a);  // mid-stream copy: both finish the same stream
  ZncBucket tailA(64);
  ZncBucket tailB(64);
  const int na = a.scramble(plain.getData() + 16, 24, tailA.getData(), tailA.getSize(), true);
  const int nb = b.scramble(plain.getData() + 16, 24, tailB.getData(), tailB.getSize(), true);
  ASSERT_EQ(na, nb);
  for (const ZncBucket* tail : {&tailA, &tailB}) {
    ZncBucket blob(first.getData(), head);
    blob.append(tail->getData(), na);
    EXPECT_EQ(plain, Znc::descrambleFromBin(blob));
  }
  ZncScrambler moved(std::move(b));
  moved.reset();
  ZncBucket again(64);
  const int n = moved.scramble(plain.getData(), 40, again.getData(), again.getSize(), true);
  again.resize(n);
  EXPECT_EQ(plain, Znc::descrambleFromBin(again));
}

}  // namespace
