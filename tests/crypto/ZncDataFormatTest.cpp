// The protected data formats and the network transit encryption. The
// fixed vectors come from tests/crypto/vectors/formats.py, which builds the
// byte layouts with Blowfish from libgcrypt, AES from Python's
// `cryptography` and CRC-32 from Python's zlib (IV a1b2c3d4e5f60718, plain
// byte i = 37i + 11). Our own encryptions use random IVs, so they are
// checked by taking them apart with the one-block calls.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "crypto/CryptoTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_aes.h"
#include "zn/crypto/znc_blowfish.h"
#include "zn/crypto/znc_checksum.h"
#include "zn/crypto/znc_serpent.h"

namespace zn::test {
namespace {

const char* kBlowfishKey = "101112131415161718191a1b1c1d1e1f";
const char* kAesKey = "2b7e151628aed2a6abf7158809cf4f3c";
const char* kIV = "a1b2c3d4e5f60718";
const int kLengths[] = {0, 1, 7, 8, 9, 13, 16, 100};

ZncBucket Plain(int n) {
  ZncBucket b(n);
  for (int i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(i * 37 + 11);
  return b;
}

ZncBlowfish Blowfish(const char* key = kBlowfishKey) {
  ZncBlowfish bf;
  bf.setKey(Hex(key));
  return bf;
}

std::unique_ptr<ZncAES> Aes(const char* key = kAesKey) {
  auto aes = std::make_unique<ZncAES>();
  aes->setKey(Hex(key));
  return aes;
}

uint32_t CrcOf(const ZncBucket& b) {
  unsigned int crc = 0xFFFFFFFFu;
  zn_crc32(b.getData(), static_cast<size_t>(b.getSize()), &crc);
  return crc;
}

// ---- Data with CRC-32 ----

ZncBucket EncryptWithCrc(const ZncBucket& plain, ZncBlowfish& bf) {
  ZncBucket out(((plain.getSize() + 7) & ~7) + 16);
  out.resize(Znc::encryptTagData(plain.getData(), out.getData(), plain.getSize(), bf));
  return out;
}

ZncBucket DecryptWithCrc(const ZncBucket& sealed, ZncBlowfish& bf) {
  ZncBucket out(std::max(sealed.getSize(), 8));
  out.resize(Znc::decryptTagData(sealed.getData(), out.getData(), sealed.getSize(), bf));
  return out;
}

TEST(ZncDataWithCrcTest, ReadsBlobsBuiltFromTheLayoutAlone) {
  const struct {
    int length;
    const char* sealed;
  } blobs[] = {
      {1, "f73bdfe53653cd8a3eadcffd14a1df42"},
      {7, "157166ff87ef5f6673529c3eed816cfa"},
      {8, "38b6cc9e3d2df2d362df72c8e93e3ed3"},
      {9, "98e991ce3459d2e97e9a118b778f63df3eadcffd14a1df42"},
      {13, "cb840fbfe770930713f22a223029a600eef5e36064cb5b39"},
      {16, "8d69b4ae4bd0fbd7c35bdd73609c5976d076dce093c073eb4137b643d29948fb"},
      {100,
       "1b522a89a4434e3bedd55b0009b6e2466470f8ec1e0638614edc2b4cfc11e66dcf5ab6eb766cf4a9569480e30f2374c05745ffad7b3ce808"
       "08d57187a50e7d144645e0cc59687281631e6bb75c348a14be58eaa31ba3f221db2c495b2a487384f9741ad2431515c98c8cbe75b78df5db"},
  };
  ZncBlowfish bf = Blowfish();
  for (const auto& blob : blobs) {
    SCOPED_TRACE(blob.length);
    EXPECT_EQ(Plain(blob.length), DecryptWithCrc(Hex(blob.sealed), bf));
  }
}

TEST(ZncDataWithCrcTest, OutputFollowsTheLayoutForEveryLength) {
  ZncBlowfish bf = Blowfish();
  for (int n : {1, 7, 8, 9, 13, 15, 16, 17, 24, 100}) {
    SCOPED_TRACE(n);
    const ZncBucket plain = Plain(n);
    const ZncBucket sealed = EncryptWithCrc(plain, bf);
    const int r = n % 8;
    const bool inPadding = r > 0 || n < 16;
    ASSERT_EQ(inPadding ? ((n + 7) & ~7) + 8 : n + 16, sealed.getSize());

    // Take it apart: the IV is the last block in ECB, the rest CBC61.
    ZncBlowfish reader = Blowfish();
    ZncBucket iv(8);
    reader.decECB(sealed.getData() + sealed.getSize() - 8, iv.getData(), 8);
    EXPECT_EQ(r, iv[7] & 7) << "the low bits of the IV's last byte give the last block's length";
    reader.setIV(iv);
    ZncBucket body(sealed.getSize() - 8);
    reader.decCBC61(sealed.getData(), body.getData(), body.getSize());
    EXPECT_EQ(0, std::memcmp(body.getData(), plain.getData(), static_cast<std::size_t>(n)));
    const uint32_t crc = CrcOf(plain);
    const unsigned char be[4] = {static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                                 static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
    if (inPadding) {
      const int k = r > 0 ? std::min(8 - r, 4) : 0;
      EXPECT_EQ(0, std::memcmp(body.getData() + n, be, static_cast<std::size_t>(k))) << "CRC head after the data";
      EXPECT_EQ(0, std::memcmp(iv.getData(), be + k, static_cast<std::size_t>(4 - k))) << "CRC tail in the IV";
    } else {
      EXPECT_EQ(0, std::memcmp(body.getData() + n, be, 4)) << "CRC in the extra block";
      EXPECT_EQ(0, std::memcmp(body.getData() + n + 4, iv.getData(), 4)) << "then the IV's head";
    }
    EXPECT_EQ(plain, DecryptWithCrc(sealed, bf));
  }
}

TEST(ZncDataWithCrcTest, WrongKeyAndEveryFlippedBitAreDetected) {
  ZncBlowfish bf = Blowfish();
  ZncBlowfish other = Blowfish("101112131415161718191a1b1c1d1e20");
  for (int n : kLengths) {
    SCOPED_TRACE(n);
    const ZncBucket sealed = EncryptWithCrc(Plain(n), bf);
    if (n == 0) {
      EXPECT_EQ(0, sealed.getSize()) << "nothing in, nothing out";
      continue;
    }
    ExpectThrowText<Znc::WrongKey>([&] { DecryptWithCrc(sealed, other); },
                                   "Failed to decrypt data: wrong decryption key.", "Znc::decryptDataWithCRC32");
    for (int bit = 0; bit < sealed.getSize() * 8; ++bit) {
      ZncBucket changed = sealed;
      changed[bit / 8] ^= static_cast<unsigned char>(1 << (bit % 8));
      ZncBucket out(sealed.getSize());
      std::memset(out.getData(), 0x55, static_cast<std::size_t>(out.getSize()));
      try {
        Znc::decryptTagData(changed.getData(), out.getData(), changed.getSize(), bf);
        FAIL() << "bit " << bit << " went unnoticed";
      } catch (const Znc::WrongKey&) {
      }
      for (int i = 0; i < sealed.getSize() - 8; ++i) ASSERT_EQ(0, out[i]) << "plain bytes left behind, bit " << bit;
    }
  }
}

TEST(ZncDataWithCrcTest, BadInputGivesTheTexts) {
  ZncBlowfish bf = Blowfish();
  unsigned char buf[64] = {};
  EXPECT_EQ(0, Znc::encryptTagData(nullptr, buf, 8, bf));
  EXPECT_EQ(0, Znc::encryptTagData(buf, buf, 0, bf));
  EXPECT_EQ(0, Znc::decryptTagData(nullptr, buf, 16, bf));
  ExpectThrowText([&] { Znc::encryptTagData(buf, nullptr, 8, bf); },
                  "Cannot encrypt data: Output buffer is a NULL pointer.", "Znc::encryptDataWithCRC32");
  ExpectThrowText([&] { Znc::decryptTagData(buf, nullptr, 16, bf); },
                  "Cannot decrypt data: Output buffer is a NULL pointer.");
  ExpectThrowText([&] { Znc::decryptTagData(buf, buf, 20, bf); }, "Cannot decrypt data: length is not a multiple of 8.");
  ExpectThrowText([&] { Znc::decryptTagData(buf, buf, 8, bf); },
                  "Cannot decrypt data: too short (must be at least 16 bytes long).");
  ZncBlowfish unkeyed;
  ExpectThrowText([&] { Znc::encryptTagData(buf, buf, 8, unkeyed); }, "Cannot encrypt data: They key must be preset.");
}

// ---- Tagged data ----

struct Tagged {
  int length;
  const char* data;
  const char* tag;
};

template <class Cipher>
void ExpectTaggedBlobsRead(Cipher& cipher, const std::vector<Tagged>& blobs) {
  for (const Tagged& t : blobs) {
    SCOPED_TRACE(t.length);
    const ZncBucket in = Hex(t.data);
    ZncBucket out(t.length);
    Znc::decryptTagData(in.getData(), out.getData(), t.length, Hex(t.tag).getData(), Hex(kIV).getData(), &cipher);
    EXPECT_EQ(Plain(t.length), out);
  }
}

TEST(ZncTaggedDataTest, ReadsBlobsBuiltFromTheLayoutAlone) {
  auto aes = Aes();
  ExpectTaggedBlobsRead(*aes, {
                                  {0, "", "55d54234"},
                                  {1, "a1", "9092026a"},
                                  {7, "a11ae8b10f38c1", "af4db826"},
                                  {8, "a11ae8b10f38c1b1", "4608ba27"},
                                  {9, "a11ae8b10f38c1b1ee", "94cbf336"},
                                  {12, "3a2822eb18ff5b9106b5394b", "d44f9801"},
                                  {13, "0e4467f97837ccac7fec091175", "4dc07de3"},
                                  {16, "c5b0cb16cf7d19e32b04d375eecae66a", "fcfa05b0"},
                                  {100,
                                   "fcfa05b08fe2c4d17c03519fffeec2e27afc74a8345ce7660a719703ff4d9dd53e8b83481a5f12c0e8"
                                   "12a7680408c9df16dccdbab509f7c80722ef23874ab14bc030cfb0b87fba24e0a4a9b506adcd631225"
                                   "2c910a419afcd33240287fa1bf2f292f879c",
                                   "18b57c44"},
                              });
  ZncBlowfish bf = Blowfish();
  ExpectTaggedBlobsRead(bf, {
                                {0, "", "bec849bc"},
                                {1, "4a", "8d998a28"},
                                {3, "4a07e3", "8b7ec3cc"},
                                {4, "d4fcfaeb", "636287ad"},
                                {5, "85cb2f05d4", "586bdec9"},
                                {13, "8d69b4ae4bd0fbd7364047f937", "96edc0c1"},
                                {100,
                                 "8d69b4ae4bd0fbd7c35bdd73609c5976df153decc1a44ef87c3483533754fcc3298f8608cef5231884"
                                 "16e3434e67deb2af81b2d6a962a8ff63ae8f9103681329f2b7991f29f3c812bb2a8828571afb001e0c"
                                 "8a6b31b7f272b1ece72da4805b0ab297608f",
                                 "2e67e9a2"},
                            });
}

struct Sealed {
  ZncBucket data;
  ZncBucket tag{4};
  ZncBucket iv{8};
};

Sealed Seal(const ZncBucket& plain, ZncBlockCipher& cipher) {
  Sealed s;
  s.data = ZncBucket(plain.getSize());
  Znc::encryptTagData(plain.getData(), s.data.getData(), plain.getSize(), s.tag.getData(), s.iv.getData(), &cipher);
  return s;
}

void Open(const Sealed& s, ZncBucket& out, ZncBlockCipher& cipher) {
  out = ZncBucket(s.data.getSize());
  Znc::decryptTagData(s.data.getData(), out.getData(), s.data.getSize(), s.tag.getData(), s.iv.getData(), &cipher);
}

TEST(ZncTaggedDataTest, SameLengthOutAndEveryChangeDetected) {
  auto aes = Aes();
  auto otherAes = Aes("2b7e151628aed2a6abf7158809cf4f3d");
  ZncBlowfish bf = Blowfish();
  ZncSerpent serpent;
  serpent.setKey(ZncBucket(32));
  struct Case {
    ZncBlockCipher* cipher;
    const char* name;
  } ciphers[] = {{aes.get(), "AES"}, {&bf, "Blowfish"}, {&serpent, "Serpent"}};
  for (const Case& c : ciphers) {
    for (int n : {0, 1, 7, 8, 9, 11, 12, 13, 16, 100}) {
      SCOPED_TRACE(::testing::Message() << c.name << " " << n);
      const ZncBucket plain = Plain(n);
      const Sealed s = Seal(plain, *c.cipher);
      EXPECT_EQ(n, s.data.getSize());
      ZncBucket out;
      Open(s, out, *c.cipher);
      EXPECT_EQ(plain, out);
      // Any single bit of data, tag or IV.
      const int bits = (n + 4 + 8) * 8;
      for (int bit = 0; bit < bits; ++bit) {
        Sealed changed = s;
        int byte = bit / 8;
        ZncBucket& part = byte < n ? changed.data : byte < n + 4 ? changed.tag : changed.iv;
        byte = byte < n ? byte : byte < n + 4 ? byte - n : byte - n - 4;
        part[byte] ^= static_cast<unsigned char>(1 << (bit % 8));
        ZncBucket opened;
        EXPECT_THROW(Open(changed, opened, *c.cipher), Znc::WrongKey) << "bit " << bit;
      }
    }
  }
  const Sealed s = Seal(Plain(100), *aes);
  ZncBucket out;
  ExpectThrowText<Znc::WrongKey>([&] { Open(s, out, *otherAes); }, "Failed to decrypt data: wrong decryption key.",
                                 "Znc::decryptTagData");
}

TEST(ZncTaggedDataTest, SplitsOfTheSpecifiedSizes) {
  // 10 bytes with AES: m = 14 < 16, key stream; 12 bytes: m = 16, one block
  // split into 12 bytes and the tag.
  auto aes = Aes();
  const Sealed ten = Seal(Plain(10), *aes);
  aes->setIV(ten.iv);
  const ZncBucket stream = aes->encECB(aes->getIV());
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Plain(10)[i] ^ stream[i], ten.data[i]) << i;

  const Sealed twelve = Seal(Plain(12), *aes);
  ZncBucket block = twelve.data;
  block.append(twelve.tag);
  aes->setIV(twelve.iv);
  ZncBucket expected = Plain(12);
  const uint32_t crc = CrcOf(expected);
  const unsigned char be[4] = {static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                               static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
  expected.append(be, 4);
  EXPECT_EQ(expected, aes->decCBC(block));
}

TEST(ZncTaggedDataTest, NullPointersInTheirOrder) {
  auto aes = Aes();
  unsigned char b[16] = {};
  ZncBlockCipher* cipher = aes.get();
  ExpectThrowText([&] { Znc::encryptTagData(nullptr, nullptr, 4, nullptr, nullptr, nullptr); },
                  "Can't encrypt data: source pointer is NULL", "Znc::encryptTagData");
  ExpectThrowText([&] { Znc::encryptTagData(b, nullptr, 4, nullptr, nullptr, nullptr); },
                  "Can't encrypt data: destination pointer is NULL");
  ExpectThrowText([&] { Znc::encryptTagData(b, b, 4, nullptr, nullptr, nullptr); },
                  "Can't encrypt data: CRC32 pointer is NULL");
  ExpectThrowText([&] { Znc::encryptTagData(b, b, 4, b, nullptr, nullptr); }, "Can't encrypt data: IV pointer is NULL");
  ExpectThrowText([&] { Znc::encryptTagData(b, b, 4, b, b, nullptr); }, "Can't encrypt data: cipher is NULL");
  ExpectThrowText([&] { Znc::decryptTagData(nullptr, nullptr, 4, nullptr, nullptr, nullptr); },
                  "Can't decrypt data: source pointer is NULL", "Znc::decryptTagData");
  ExpectThrowText([&] { Znc::decryptTagData(b, nullptr, 4, nullptr, nullptr, nullptr); },
                  "Can't decrypt data: destination pointer is NULL");
  ExpectThrowText([&] { Znc::decryptTagData(b, b, 4, nullptr, nullptr, nullptr); },
                  "Can't decrypt data: CRC32 pointer is NULL");
  ExpectThrowText([&] { Znc::decryptTagData(b, b, 4, b, nullptr, nullptr); }, "Can't decrypt data: IV pointer is NULL");
  ExpectThrowText([&] { Znc::decryptTagData(b, b, 4, b, b, nullptr); }, "Can't decrypt data: cipher is NULL");
  ZncAES unkeyed;
  ExpectThrowText([&] { Znc::encryptTagData(b, b, 16, b, b, &unkeyed); },
                  "Cannot enccrypt data: The key must be preset.");
  Znc::encryptTagData(b, b, 16, b, b, cipher);  // in place
}

// ---- Network transit ----

TEST(ZncNetTransitTest, RoundTripWrongPasswordAndTexts) {
  for (int n : kLengths) {
    SCOPED_TRACE(n);
    const ZncBucket sealed = Znc::netEncrypt(Plain(n), "network secret");
    EXPECT_EQ(Plain(n), Znc::netDecrypt(sealed, "network secret"));
    if (n > 0) {
      EXPECT_THROW(Znc::netDecrypt(sealed, "network secreT"), Znc::WrongKey);
      // The format is data with CRC-32 under Blowfish keyed with MD5 of the
      // password.
      ZncBlowfish bf;
      bf.setKey(Znc::md5("network secret", 14));
      EXPECT_EQ(Plain(n), DecryptWithCrc(sealed, bf));
    }
  }
  ExpectThrowText([] { Znc::netEncrypt(Plain(3), ""); },
                  "Cannot encrypt data for network transit: NULL or empty password.", "Znc::netEncrypt");
  ExpectThrowText([] { Znc::netEncrypt(Plain(3), nullptr); },
                  "Cannot encrypt data for network transit: NULL or empty password.");
  ExpectThrowText([] { Znc::netDecrypt(Plain(16), nullptr); },
                  "Cannot decrypt network data: NULL or empty network password.", "Znc::netDecrypt");
  ExpectThrowText([] { Znc::netDecrypt(Plain(12), "pw"); }, "Cannot decrypt data: length is not a multiple of 8.");
  ExpectThrowText([] { Znc::netDecrypt(Plain(8), "pw"); },
                  "Cannot decrypt data: too short (must be at least 16 bytes long).");
}

}  // namespace
}  // namespace zn::test
