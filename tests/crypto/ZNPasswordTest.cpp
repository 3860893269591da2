// The password encodings: round trips of every format the library reads,
// the limits, the exact failure codes and the one-way hashes.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "zn/crypto/ZNPassword.h"
#include "zn/crypto/secure_basic_string.h"
#include "zuzazer/YqBase64.h"

namespace {

// A password of `n` characters; non-ASCII ones carry two- and three-byte
// characters (and four-byte ones while they keep within the UTF-16 limit).
std::string MakePassword(size_t n, bool ascii) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (!ascii && i % 16 == 5) {
      s += "\xc3\xa9";  // U+00E9
    } else if (!ascii && i % 16 == 9) {
      s += "\xe2\x82\xac";  // U+20AC
    } else if (!ascii && n <= 255 && i % 64 == 13) {
      s += "\xf0\x9f\x98\x80";  // U+1F600
    } else {
      s += static_cast<char>('!' + (i * 7) % 94);
    }
  }
  return s;
}

std::u32string Utf32Of(const std::string& utf8) {
  const secure_basic_string<wchar_t> w = ZNPassword::UTF8StringToWideString(utf8);
  return std::u32string(w.begin(), w.end());
}

std::wstring WideOf(const std::string& utf8) {
  const secure_basic_string<wchar_t> w = ZNPassword::UTF8StringToWideString(utf8);
  return std::wstring(w.begin(), w.end());
}

std::string Decrypt(ZNPassword& p, const std::string& enc, const char* phrase = nullptr) {
  std::vector<char> out(2100);
  size_t size = out.size();
  const int ok = phrase != nullptr ? p.decrypt(enc.c_str(), out.data(), &size, phrase)
                                   : p.decrypt(enc.c_str(), out.data(), &size);
  EXPECT_EQ(1, ok) << std::hex << p.getLastError();
  return ok ? std::string(out.data(), size) : std::string();
}

size_t Utf16Units(const std::string& utf8) {
  size_t n = 0;
  for (const char32_t c : Utf32Of(utf8)) n += c >= 0x10000 ? 2 : 1;
  return n;
}

bool LowerHex(std::string_view s) { return s.find_first_not_of("0123456789abcdef") == std::string_view::npos; }

constexpr size_t kLengths[] = {0, 1, 15, 16, 17, 255, 511};

class PasswordRoundTrip : public testing::TestWithParam<bool> {};

TEST_P(PasswordRoundTrip, StrongWithDefaultAndOwnPassPhrases) {
  for (const size_t n : kLengths) {
    const std::string pwd = MakePassword(n, GetParam());
    SCOPED_TRACE(n);
    ZNPassword p;
    ASSERT_EQ(1, p.encrypt(pwd.c_str())) << std::hex << p.getLastError();
    const std::string enc(p.getEncoded());
    EXPECT_EQ('3', enc[0]);
    EXPECT_EQ(1u, enc.size() % 2);
    EXPECT_TRUE(LowerHex(enc.substr(1)));
    EXPECT_EQ(1 + 2 * (8 + (pwd.size() / 8 + 1) * 8), enc.size());  // padding of 1 to 8 bytes
    EXPECT_EQ(static_cast<unsigned long>('3'), p.getEncryptVersion());
    ZNPassword reader;
    EXPECT_EQ(pwd, Decrypt(reader, enc));

    for (const char* phrase : {"a", "correct horse battery staple", "\xc3\xa9t\xc3\xa9"}) {
      ZNPassword q;
      std::vector<char> out(2100);
      size_t size = out.size();
      ASSERT_EQ(1, q.encryptStrong(pwd.c_str(), out.data(), &size, phrase));
      const std::string own(out.data(), size);
      EXPECT_EQ(own, std::string(q.getEncoded()));
      EXPECT_NE(enc, own);
      ZNPassword r;
      EXPECT_EQ(pwd, Decrypt(r, own, phrase));
      ZNPassword wrong;
      size = out.size();
      EXPECT_EQ(0, wrong.decrypt(own.c_str(), out.data(), &size, "another phrase"));
      EXPECT_EQ(kZnPwdEncodeFailed, wrong.getLastError());
      size = out.size();
      EXPECT_EQ(0, wrong.decrypt(own.c_str(), out.data(), &size));  // the phrase stays
      EXPECT_EQ(kZnPwdEncodeFailed, wrong.getLastError());
    }

    // Through the wide forms.
    ZNPassword w;
    ASSERT_EQ(1, w.encrypt(WideOf(pwd).c_str()));
    EXPECT_EQ(enc, std::string(w.getEncoded()));  // the key wrap is deterministic
    std::vector<wchar_t> wout(600);
    size_t wsize = wout.size();
    ASSERT_EQ(1, w.decrypt(wout.data(), &wsize));
    EXPECT_EQ(Utf32Of(pwd), std::u32string(wout.begin(), wout.begin() + static_cast<long>(wsize)));
    EXPECT_EQ(1, w.comparePwd(pwd.c_str()));
    EXPECT_EQ(1, w.comparePwd(WideOf(pwd).c_str()));
  }
}

TEST_P(PasswordRoundTrip, LegacyFormats) {
  for (const char version : {'1', '2'}) {
    for (const size_t n : kLengths) {
      const std::string pwd = MakePassword(n, GetParam());
      SCOPED_TRACE(testing::Message() << version << " " << n);
      ZNPassword p;
      std::vector<char> out(2100);
      size_t size = out.size();
      ASSERT_EQ(1, p.encryptWithVersion(pwd.c_str(), out.data(), &size, version)) << std::hex << p.getLastError();
      const std::string enc(out.data(), size);
      EXPECT_EQ(version, enc[0]);
      EXPECT_EQ(static_cast<unsigned long>(version), p.getEncryptVersion());
      ZNPassword reader;
      EXPECT_EQ(pwd, Decrypt(reader, enc));
      ZNPassword stored;
      EXPECT_EQ(1, stored.putEncPwd(enc.c_str()));
      EXPECT_EQ(1, stored.comparePwd(pwd.c_str()));
      std::vector<wchar_t> wout(600);
      size_t wsize = wout.size();
      ASSERT_EQ(1, stored.decrypt(enc.c_str(), wout.data(), &wsize));
      EXPECT_EQ(Utf32Of(pwd), std::u32string(wout.begin(), wout.begin() + static_cast<long>(wsize)));
    }
  }
}

TEST_P(PasswordRoundTrip, NetworkForms) {
  for (const unsigned long marker : {'1', '2'}) {
    for (const unsigned long offset : {0ul, 1ul, 30ul, 60ul, 61ul}) {
      const unsigned long key = (marker << 24) | offset;
      for (const size_t n : kLengths) {
        const std::string pwd = MakePassword(n, GetParam());
        SCOPED_TRACE(testing::Message() << std::hex << key << " " << n);
        ZNPassword p;
        std::vector<char> out(2100);
        size_t size = out.size();
        ASSERT_EQ(1, p.networkEncrypt(pwd.c_str(), out.data(), &size, key)) << std::hex << p.getLastError();
        const std::string enc(out.data(), size);
        EXPECT_EQ(marker == '1' ? 2 * pwd.size() : 4 * Utf16Units(pwd), enc.size());
        std::vector<char> plain(600 * 4);
        size = plain.size();
        ASSERT_EQ(1, p.networkDecrypt(enc.c_str(), plain.data(), &size, key));
        EXPECT_EQ(pwd, std::string(plain.data(), size));
        std::vector<wchar_t> wout(600);
        size_t wsize = wout.size();
        ASSERT_EQ(1, p.networkDecrypt(enc.c_str(), wout.data(), &wsize, key));
        EXPECT_EQ(Utf32Of(pwd), std::u32string(wout.begin(), wout.begin() + static_cast<long>(wsize)));
        size = out.size();
        ASSERT_EQ(1, p.networkEncrypt(WideOf(pwd).c_str(), out.data(), &size, key));
        size_t psize = plain.size();
        ASSERT_EQ(1, p.networkDecrypt(out.data(), plain.data(), &psize, key));
        EXPECT_EQ(pwd, std::string(plain.data(), psize));
        // Into the object and out again.
        ZNPassword s;
        ASSERT_EQ(1, s.putNetworkEncPwd(enc.c_str(), key));
        EXPECT_EQ('3', s.getEncoded()[0]);
        EXPECT_EQ(1, s.comparePwd(pwd.c_str()));
        unsigned long k = key;
        size = out.size();
        ASSERT_EQ(1, s.getNetworkEncPwd(out.data(), &size, &k));
        psize = plain.size();
        ASSERT_EQ(1, p.networkDecrypt(out.data(), plain.data(), &psize, key));
        EXPECT_EQ(pwd, std::string(plain.data(), psize));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AsciiAndNot, PasswordRoundTrip, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Ascii" : "Utf8"; });

TEST(ZNPasswordTest, SubstitutedFormsAreManyForOnePasswordAndAllDecode) {
  const std::string pwd = "ABCDEF-abcdef-\xc3\xbf\xc3\xbe";  // bytes with letter digits
  std::set<std::string> legacy;
  std::set<std::string> network;
  const unsigned long key = ('1' << 24) | 17;
  for (int i = 0; i < 40; ++i) {
    ZNPassword p;
    std::vector<char> out(200);
    size_t size = out.size();
    ASSERT_EQ(1, p.encryptWithVersion(pwd.c_str(), out.data(), &size, '1'));
    legacy.emplace(out.data(), size);
    size = out.size();
    ASSERT_EQ(1, p.networkEncrypt(pwd.c_str(), out.data(), &size, key));
    network.emplace(out.data(), size);
  }
  EXPECT_GT(legacy.size(), 1u);
  EXPECT_GT(network.size(), 1u);
  for (const std::string& enc : legacy) {
    ZNPassword p;
    EXPECT_EQ(pwd, Decrypt(p, enc));
  }
  for (const std::string& enc : network) {
    ZNPassword p;
    std::vector<char> out(200);
    size_t size = out.size();
    ASSERT_EQ(1, p.networkDecrypt(enc.c_str(), out.data(), &size, key));
    EXPECT_EQ(pwd, std::string(out.data(), size));
  }
}

TEST(ZNPasswordTest, PlainPasswordsOf512CharactersAreRefused) {
  const std::string pwd(512, 'x');
  ZNPassword p;
  ASSERT_EQ(1, p.encrypt("previous"));
  const std::string previous(p.getEncoded());
  EXPECT_EQ(0, p.encrypt(pwd.c_str()));
  EXPECT_EQ(kZnPwdPlainTooLong, p.getLastError());
  EXPECT_EQ(previous, std::string(p.getEncoded()));
  size_t size = 4000;
  std::vector<char> out(size);
  for (const char v : {'1', '2', '3'}) {
    size = out.size();
    EXPECT_EQ(0, p.encryptWithVersion(pwd.c_str(), out.data(), &size, v));
    EXPECT_EQ(kZnPwdPlainTooLong, p.getLastError());
  }
  size = out.size();
  EXPECT_EQ(0, p.encryptStrong(WideOf(pwd).c_str(), out.data(), &size, "phrase"));
  EXPECT_EQ(kZnPwdPlainTooLong, p.getLastError());
  size = out.size();
  EXPECT_EQ(0, p.networkEncrypt(pwd.c_str(), out.data(), &size, ('1' << 24) | 3));
  EXPECT_EQ(kZnPwdPlainTooLong, p.getLastError());
  EXPECT_EQ(0, p.comparePwd(pwd.c_str()));
  EXPECT_EQ(kZnPwdPlainTooLong, p.getLastError());
  // 511 two-byte characters do not fit an encoded text of 2048.
  std::string wide;
  for (int i = 0; i < 511; ++i) wide += "\xc3\xa9";
  EXPECT_EQ(0, p.encrypt(wide.c_str()));
  EXPECT_EQ(kZnPwdTooLong, p.getLastError());
  EXPECT_TRUE(p.isEmpty());  // a result too long clears the object
}

TEST(ZNPasswordTest, GetEncPwdReportsTheSizeAndThenFillsExactlyThat) {
  ZNPassword p;
  ASSERT_EQ(1, p.encryptWithVersion("legacy password", nullptr, nullptr, '1'));
  const std::string before(p.getEncoded());
  for (const unsigned long version : {'1' << 24, '2' << 24, '3' << 24}) {
    size_t size = 0;
    ASSERT_EQ(1, p.getEncPwd(nullptr, &size, version));
    EXPECT_EQ(size, p.getEncPwdSize(version));
    std::vector<char> out(size);
    size_t small = size - 1;
    EXPECT_EQ(0, p.getEncPwd(out.data(), &small, version));
    EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
    EXPECT_EQ(size, small);
    ASSERT_EQ(1, p.getEncPwd(out.data(), &size, version));
    EXPECT_EQ('3', out[0]);
    ZNPassword r;
    EXPECT_EQ("legacy password", Decrypt(r, std::string(out.data(), size)));
  }
  EXPECT_EQ(before, std::string(p.getEncoded()));
  size_t size = 100;
  EXPECT_EQ(0, p.getEncPwd(nullptr, &size, 'x' << 24));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  EXPECT_EQ(0u, p.getEncPwdSize('x' << 24));
  ZNPassword empty;
  EXPECT_EQ(0, empty.getEncPwd(nullptr, &size, '3' << 24));
  EXPECT_EQ(kZnPwdReencodeFailed, empty.getLastError());
}

TEST(ZNPasswordTest, PutEncPwdRefusesUnknownMarkersAndKeepsThePreviousText) {
  ZNPassword p;
  ASSERT_EQ(1, p.encrypt("kept"));
  const std::string previous(p.getEncoded());
  std::string five = previous;
  five[0] = '5';
  std::string nine = previous;
  nine[0] = '9';
  for (const std::string& bad : {five, nine, std::string("4abc"), std::string("x")}) {
    EXPECT_EQ(0, p.putEncPwd(bad.c_str()));
    EXPECT_EQ(kZnPwdBadMarker, p.getLastError());
    EXPECT_EQ(previous, std::string(p.getEncoded()));
  }
  // A text that does not decode is refused too.
  std::string broken = previous;
  broken[5] = broken[5] == '0' ? '1' : '0';
  EXPECT_EQ(0, p.putEncPwd(broken.c_str()));
  EXPECT_EQ(kZnPwdEncodeFailed, p.getLastError());
  EXPECT_EQ(previous, std::string(p.getEncoded()));
  EXPECT_EQ(0, p.putEncPwd(nullptr));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  EXPECT_EQ(0, p.putEncPwd(std::string(2049, '3').c_str()));
  EXPECT_EQ(kZnPwdTooLong, p.getLastError());
  EXPECT_EQ(previous, std::string(p.getEncoded()));
}

TEST(ZNPasswordTest, MalformedTextsGiveTheirCodes) {
  ZNPassword p;
  ASSERT_EQ(1, p.encrypt("some password"));
  const std::string good(p.getEncoded());
  ZNPassword legacy;
  ASSERT_EQ(1, legacy.encryptWithVersion("some password", nullptr, nullptr, '1'));
  const std::string goodLegacy(legacy.getEncoded());
  struct Case {
    std::string text;
    uint32_t code;
  };
  std::string upper = good;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Case cases[] = {
      {good.substr(0, good.size() - 1), kZnPwdEncodeFailed},   // odd digits
      {good.substr(0, good.size() - 16), kZnPwdEncodeFailed},  // a semiblock short
      {"3", kZnPwdEncodeFailed},
      {"3" + std::string(32, 'g'), kZnPwdEncodeFailed},
      {upper, kZnPwdEncodeFailed},
      {"x" + good.substr(1), kZnPwdBadMarker},
      {"9", kZnPwdBadMarker},
      {"3" + std::string(2048, '0'), kZnPwdTooLong},
      {goodLegacy.substr(0, goodLegacy.size() - 1), kZnPwdLegacyFailed},
      {goodLegacy.substr(0, 2), kZnPwdLegacyFailed},
      {"1" + std::string(10, ' '), kZnPwdLegacyFailed},
      {"2" + goodLegacy.substr(1), kZnPwdLegacyFailed},  // an odd count of UTF-16 bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    ZNPassword q;
    std::vector<char> out(600);
    size_t size = out.size();
    EXPECT_EQ(0, q.decrypt(c.text.c_str(), out.data(), &size));
    EXPECT_EQ(c.code, q.getLastError());
  }
  std::vector<char> out(600);
  size_t size = out.size();
  EXPECT_EQ(0, p.decrypt(static_cast<const char*>(nullptr), out.data(), &size));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  ZNPassword empty;
  EXPECT_EQ(0, empty.decrypt(out.data(), &size));
  EXPECT_EQ(kZnPwdBadArgument, empty.getLastError());
  // Network texts: a character outside the table, odd digits, a bad key.
  const unsigned long key = ('1' << 24) | 5;
  EXPECT_EQ(0, p.networkDecrypt(" ", out.data(), &size, key));
  EXPECT_EQ(kZnPwdLegacyFailed, p.getLastError());
  size = out.size();
  ASSERT_EQ(1, p.networkEncrypt("ab", out.data(), &size, key));
  const std::string net(out.data(), size);
  size = out.size();
  EXPECT_EQ(0, p.networkDecrypt(net.substr(1).c_str(), out.data(), &size, key));
  EXPECT_EQ(kZnPwdLegacyFailed, p.getLastError());
  EXPECT_EQ(0, p.networkDecrypt(net.c_str(), out.data(), &size, ('3' << 24) | 5));
  EXPECT_EQ(kZnPwdKeyMissing, p.getLastError());
  EXPECT_EQ(0, p.networkDecrypt(net.c_str(), out.data(), &size, ('1' << 24) | 62));
  EXPECT_EQ(kZnPwdKeyMissing, p.getLastError());
}

TEST(ZNPasswordTest, SmallBuffersGetTheNeededSize) {
  ZNPassword p;
  std::vector<char> out(600);
  size_t size = 10;
  EXPECT_EQ(0, p.encrypt("pw", out.data(), &size));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  EXPECT_EQ(1 + 2 * 16 + 1u, size);
  ASSERT_EQ(1, p.encrypt("pw", out.data(), &size));
  EXPECT_EQ(33u, size);
  size = 2;
  EXPECT_EQ(0, p.decrypt(out.data(), &size));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  EXPECT_EQ(3u, size);
  EXPECT_EQ(1, p.decrypt(out.data(), &size));
  EXPECT_STREQ("pw", out.data());
  std::vector<wchar_t> wout(2);
  size = wout.size();
  EXPECT_EQ(0, p.decrypt(wout.data(), &size));
  EXPECT_EQ(3u, size);
  size = 3;
  EXPECT_EQ(0, p.networkEncrypt("pw", out.data(), &size, ('1' << 24) | 1));
  EXPECT_EQ(5u, size);
}

TEST(ZNPasswordTest, VersionsKeysAndComparisons) {
  ZNPassword p;
  EXPECT_EQ(static_cast<unsigned long>('2'), p.getEncryptVersion());
  EXPECT_EQ(0u, p.getLastError());
  EXPECT_EQ(1, p.setEncryptVersion('1'));
  EXPECT_EQ(0, p.setEncryptVersion('3'));
  EXPECT_EQ(kZnPwdBadMarker, p.getLastError());
  EXPECT_EQ(1, p.validateEncryptKey(('2' << 24) | 61));
  EXPECT_EQ(0, p.validateEncryptKey(('2' << 24) | 62));
  EXPECT_EQ(kZnPwdKeyMissing, p.getLastError());
  EXPECT_EQ(0, p.validateEncryptKey(('4' << 24) | 1));
  for (int i = 0; i < 20; ++i) {
    const unsigned long key = p.createEncryptKey();
    EXPECT_EQ(static_cast<unsigned long>('1'), key >> 24);
    EXPECT_LE(key & 0xFF, 60u);
    EXPECT_EQ(1, p.validateEncryptKey(key));
  }
  ASSERT_EQ(1, p.encrypt("same"));
  EXPECT_EQ(0, p.comparePwd("other"));
  EXPECT_EQ(kZnPwdDifferent, p.getLastError());
  ZNPassword q;
  std::vector<char> out(100);
  size_t size = out.size();
  ASSERT_EQ(1, q.encryptWithVersion("same", out.data(), &size, '2'));
  EXPECT_EQ(1, p.compareEncPwd(out.data()));
  size = out.size();
  ASSERT_EQ(1, q.encryptStrong("different", out.data(), &size, nullptr));
  EXPECT_EQ(0, p.compareEncPwd(out.data()));
  EXPECT_EQ(kZnPwdDifferent, p.getLastError());
  // Conversion of a legacy text to the strong form.
  secure_basic_string<char> legacyText;
  size = out.size();
  ASSERT_EQ(1, q.encryptWithVersion("converted", out.data(), &size, '1'));
  secure_basic_string<char> v3;
  ASSERT_EQ(1, q.ConvertToV3(secure_basic_string<char>(out.data()), v3));
  EXPECT_EQ('3', v3[0]);
  secure_basic_string<char> plain;
  EXPECT_EQ(1, q.ConvertToASM(v3, plain));
  EXPECT_EQ("converted", std::string(plain));
  EXPECT_EQ(0, q.encryptASM(plain, v3));
  // Copies carry everything.
  ZNPassword copy(q);
  EXPECT_EQ(std::string(q.getEncoded()), std::string(copy.getEncoded()));
  EXPECT_EQ(1, copy.comparePwd("converted"));
}

TEST(ZNPasswordTest, HashMarkers) {
  EXPECT_TRUE(ZNPassword::isHashPassword("4abc"));
  EXPECT_TRUE(ZNPassword::isHashPassword("6"));
  EXPECT_TRUE(ZNPassword::isHashPassword("7ff"));
  EXPECT_FALSE(ZNPassword::isHashPassword("3ab"));
  EXPECT_FALSE(ZNPassword::isHashPassword(""));
  EXPECT_FALSE(ZNPassword::isHashPassword(nullptr));
  EXPECT_TRUE(ZNPassword::isV8Password("8abc"));
  EXPECT_FALSE(ZNPassword::isV8Password("3abc"));
  EXPECT_FALSE(ZNPassword::isV8Password(nullptr));
}

// Values from tests/crypto/vectors/password_hashes.py: '7' is
// hashlib.pbkdf2_hmac('sha256', pwd, salt, 1000).hex(); '6' the same loop
// written out with hmac, without the 00000001 block index; '4' is
// base64(sha1(salt + pwd.encode('utf-16-le'))).
struct HashVector {
  const char* pwd;
  const char* salt;
  const char* v7;
  const char* v6;
  const char* v4;
};
const HashVector kHashVectors[] = {
    {"secret", "salt", "7a8df899f3c4f204d967e0ad63c092987c10055ebb017b3d9d28add218d4f7aad",
     "6e699ddb0fe3c6620bf42949e0bffc0a17147e8c28f1461ce115e43eeae62b8d5", "4/W43xWHlWSvb5zmVUyKi/n3pXlM="},
    {"p\xc3\xa4ssw\xc3\xb6rd", "0123456789abcdef", "729fc5de205445490145b210cf7f2ae07507469016afaa572ac58b8e109f26789",
     "675aea4f323b25a7442847497131da0129b855ca826529facf334ddbf4c892fe7", "4/SId/rRFldejP8lxN/YFqbbeqvI="},
    {"x", "", "707f97febb8460db7d843d5de5c8a1b086de2467832cb4cdf36564167560a2935",
     "64bac3f92e706e34126ebd9f2b50e5c96ff745ce03eb2879a8622fccf47e26954", "4Bi2wlscoUV4DPPjEihwfC5p5OEs="},
};

TEST(ZNPasswordTest, HashesMatchIndependentValues) {
  for (const HashVector& v : kHashVectors) {
    SCOPED_TRACE(v.pwd);
    ZNPassword p;
    std::string out;
    ASSERT_EQ(1, p.hashPassword(v.pwd, v.salt, &out));
    EXPECT_EQ(v.v7, out);
    ASSERT_EQ(1, p.hashPasswordV6(v.pwd, v.salt, &out));
    EXPECT_EQ(v.v6, out);
    EXPECT_EQ(1, p.validatePassword(v.v7, v.salt, v.pwd));
    EXPECT_EQ(1, p.validatePassword(v.v6, v.salt, v.pwd));
    EXPECT_EQ(1, p.validatePassword(v.v4, v.salt, v.pwd)) << std::hex << p.getLastError();
    for (const char* stored : {v.v7, v.v6, v.v4}) {
      EXPECT_EQ(0, p.validatePassword(stored, v.salt, std::string(v.pwd) + "!"));
      EXPECT_EQ(kZnPwdDifferent, p.getLastError());
    }
  }
}

TEST(ZNPasswordTest, HashFailuresAndRandomSalts) {
  ZNPassword p;
  std::string out;
  std::string salt;
  EXPECT_EQ(0, p.hashPassword("", "salt", &out));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  EXPECT_EQ(0, p.hashPassword("pw", "salt", nullptr));
  EXPECT_EQ(0, p.hashPassword("pw", static_cast<std::string*>(nullptr), &out));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  ASSERT_EQ(1, p.hashPassword("pw", &salt, &out));
  EXPECT_EQ(64u, salt.size());
  EXPECT_TRUE(LowerHex(salt));
  EXPECT_EQ(65u, out.size());
  EXPECT_EQ('7', out[0]);
  std::string again;
  ASSERT_EQ(1, p.hashPassword("pw", salt, &again));
  EXPECT_EQ(out, again);
  std::string salt2;
  ASSERT_EQ(1, p.hashPassword("pw", &salt2, &again));
  EXPECT_NE(salt, salt2);
  EXPECT_EQ(0, p.validatePassword("", salt, "pw"));
  EXPECT_EQ(kZnPwdBadArgument, p.getLastError());
  // Any other marker: an encoded password.
  ZNPassword e;
  ASSERT_EQ(1, e.encrypt("stored"));
  EXPECT_EQ(1, p.validatePassword(std::string(e.getEncoded()), "", "stored"));
  EXPECT_EQ(0, p.validatePassword(std::string(e.getEncoded()), "", "other"));
  EXPECT_EQ(kZnPwdDifferent, p.getLastError());
}

TEST(ZNPasswordTest, PrintedFailures) {
  ZNPassword p(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, p.setEncryptVersion('9'));
  EXPECT_EQ(0, p.putEncPwd("9abc"));
  const std::string printed = testing::internal::GetCapturedStdout();
  // 0x140000AE is 335544494.
  EXPECT_EQ("\nError: ZNPassword::setEncryptVersion 335544494\n\nError: ZNPassword::putEncPwd 335544494\n", printed);
  ZNPassword quiet;
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, quiet.setEncryptVersion('9'));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

// Values from Python's base64.b64encode (the examples of RFC 4648).
TEST(YqBase64Test, EncodesAndDecodesTheStandardExamples) {
  const std::pair<std::string, std::string> vectors[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [bytes, text] : vectors) {
    EXPECT_EQ(text, YqBase64::Encode(bytes));
    std::string back;
    EXPECT_TRUE(YqBase64::Decode(text, back));
    EXPECT_EQ(bytes, back);
  }
  std::string out = "kept?";
  EXPECT_FALSE(YqBase64::Decode("Zg=", out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(YqBase64::Decode("Z===", out));
  EXPECT_FALSE(YqBase64::Decode("Zh==", out));  // bits beyond the last byte
  EXPECT_FALSE(YqBase64::Decode("Zg==Zg==", out));
  EXPECT_FALSE(YqBase64::Decode("Zm9*", out));
}

}  // namespace
