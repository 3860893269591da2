// The digests and their HMAC forms through the library. Vectors: RFC 1321
// (MD5 test suite), FIPS 180 examples ("abc", the 448- and 896-bit
// messages, a million "a"), RFC 2202 (HMAC-MD5, HMAC-SHA1) and RFC 4231
// (HMAC-SHA256, HMAC-SHA512); each also checked with Python's hashlib and
// hmac.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "crypto/CryptoTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_md5.h"
#include "zn/crypto/znc_sha1.h"
#include "zn/crypto/znc_sha256.h"
#include "zn/crypto/znc_sha512.h"

namespace zn::test {
namespace {

const std::string kMillion(1000000, 'a');
const char* k448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const char* k896 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";

TEST(ZncHashTest, PublishedDigests) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", HexOf(Znc::md5(ZncBucket())));
  EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", HexOf(Znc::md5(Text("a"))));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", HexOf(Znc::md5("abc", 3)));
  EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", HexOf(Znc::md5(Text("message digest"))));
  EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b", HexOf(Znc::md5(Text("abcdefghijklmnopqrstuvwxyz"))));
  EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
            HexOf(Znc::md5(Text("12345678901234567890123456789012345678901234567890123456789012345678901234567890"))));

  EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", HexOf(Znc::sha1("abc", 3)));
  EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1", HexOf(Znc::sha1(Text(k448))));
  EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", HexOf(Znc::sha1(Text(kMillion))));

  EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", HexOf(Znc::sha256(ZncBucket())));
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HexOf(Znc::sha256("abc", 3)));
  EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", HexOf(Znc::sha256(Text(k448))));
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", HexOf(Znc::sha256(Text(kMillion))));

  EXPECT_EQ(
      "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e",
      HexOf(Znc::sha512(ZncBucket())));
  EXPECT_EQ(
      "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
      HexOf(Znc::sha512("abc", 3)));
  EXPECT_EQ(
      "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909",
      HexOf(Znc::sha512(Text(k896))));
}

TEST(ZncHashTest, DataInPiecesAndResetForTheNextMessage) {
  ZncSHA256 hash;
  EXPECT_EQ(32, hash.getDigestSize());
  for (std::size_t at = 0; at < kMillion.size(); at += 999) {
    const int n = static_cast<int>(std::min<std::size_t>(999, kMillion.size() - at));
    hash.addData(kMillion.data() + at, n);
  }
  EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", HexOf(hash.finish()));
  hash.reset();
  hash.addData(Text("ab"));
  hash.addData(Text(""));
  hash.addData(Text("c"));
  unsigned char out[40];
  hash.finish(out, sizeof out);  // a larger buffer is fine
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Znc::bin2hex(out, 32));
}

TEST(ZncHashTest, HmacVectors) {
  const std::string hiThere = "Hi There";
  const std::string jefe = "what do ya want for nothing?";
  const std::string large = "Test Using Larger Than Block-Size Key - Hash Key First";
  struct {
    ZncBucket key;
    std::string data;
    const char* md5;   // RFC 2202
    const char* sha1;  // RFC 2202
    const char* sha256;  // RFC 4231
    const char* sha512;  // RFC 4231
  } cases[] = {
      {ZncBucket(), hiThere, "9294727a3638bb1c13f48ef8158bfc9d", "b617318655057264e28bc0b6fb378c8ef146be00",
       "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
      {Text("Jefe"), jefe, "750c783e6ab0b503eaa86e310a5db738", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79",
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {ZncBucket(), large, nullptr, nullptr, "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"},
  };
  auto fill = [](int n, unsigned char byte) {
    ZncBucket b(n);
    for (int i = 0; i < n; ++i) b[i] = byte;
    return b;
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.data);
    const bool first = c.data == hiThere;
    const bool third = c.data == large;
    const ZncBucket data = Text(c.data);
    if (c.md5 != nullptr) {
      ZncMD5 md5;
      md5.setKey(first ? fill(16, 0x0b) : c.key);
      md5.addData(data);
      EXPECT_EQ(c.md5, HexOf(md5.finish()));
      ZncSHA1 sha1;
      sha1.setKey(first ? fill(20, 0x0b) : c.key);
      sha1.addData(data);
      EXPECT_EQ(c.sha1, HexOf(sha1.finish()));
    }
    const ZncBucket key = first ? fill(20, 0x0b) : third ? fill(131, 0xaa) : c.key;
    ZncSHA256 sha256;
    sha256.setKey(key.getData(), key.getSize());
    sha256.addData(data);
    EXPECT_EQ(c.sha256, HexOf(sha256.finish()));
    ZncSHA512 sha512;
    sha512.setKey(key);
    sha512.addData(data);
    EXPECT_EQ(c.sha512, HexOf(sha512.finish()));
    // After finish, reset starts the next message under the same key.
    sha512.reset();
    sha512.addData(data);
    EXPECT_EQ(c.sha512, HexOf(sha512.finish()));
  }
}

TEST(ZncHashTest, RekeyingKeepsOnlyTheLastKeyAndAnEmptyKeyMeansPlain) {
  ZncSHA256 hash;
  hash.setKey(Text("first key"));
  hash.addData(Text("data for the first key"));
  hash.setKey(Text("Jefe"));  // starts again under the second key
  hash.addData(Text("what do ya want for nothing?"));
  EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843", HexOf(hash.finish()));
  hash.setKey(ZncBucket());
  hash.addData("abc", 3);
  EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", HexOf(hash.finish()));
}

TEST(ZncHashTest, CopiesKeepTheKeyAndStartAfresh) {
  ZncSHA256 keyed;
  keyed.setKey(Text("Jefe"));
  keyed.addData(Text("not part of the copy"));
  ZncSHA256 copy(keyed);
  copy.addData(Text("what do ya want for nothing?"));
  EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843", HexOf(copy.finish()));
  ZncSHA256 assigned;
  assigned.addData(Text("dropped"));
  assigned = keyed;
  assigned.addData(Text("what do ya want for nothing?"));
  EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843", HexOf(assigned.finish()));
  ZncMD5 plain;
  ZncMD5 plainCopy(plain);
  plainCopy.addData("abc", 3);
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", HexOf(plainCopy.finish()));
}

TEST(ZncHashTest, ShortBuffersAndBadDataGiveTheirTexts) {
  unsigned char out[64];
  ExpectThrowText([&] { ZncSHA1().finish(out, 19); }, "Buffer for SHA1 digest must be at least 20-byte long.",
                  "ZncSHA1::finish");
  ExpectThrowText([&] { ZncMD5().finish(out, 15); }, "Buffer for MD5 digest must be at least 16-byte long.",
                  "ZncMD5::finish");
  ExpectThrowText([&] { ZncSHA256().finish(out, 0); }, "Buffer for SHA256 digest must be at least 32-byte long.");
  ExpectThrowText([&] { ZncSHA512().finish(out, 63); }, "Buffer for SHA512 digest must be at least 64-byte long.");
  ExpectThrowText([&] { ZncMD5().addData(nullptr, 4); },
                  "Failed to feed more data to MD5 hasher: NULL data or negative length", "ZncMD5::addData");
  ZncSHA256 keyed;
  keyed.setKey(Text("k"));
  ExpectThrowText([&] { keyed.addData(out, -1); },
                  "Failed to feed more data to SHA256 hasher: NULL data or negative length");
  ExpectThrowText([&] { keyed.finish(nullptr, 32); }, "Failed to produce HMAC-SHA256: NULL digest buffer",
                  "ZncSHA256::finish");
  ExpectThrowText([&] { ZncSHA512().finish(nullptr, 64); }, "Failed to produce SHA512 hash: NULL digest buffer");
}

}  // namespace
}  // namespace zn::test
