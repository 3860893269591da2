// Signed tokens: keys and signatures made by openssl (Ed25519 over the
// SHA-512 digest that `openssl dgst` computes), checked by verify() through
// libZnSigLib.so in the home folder. The library is loaded once per
// process, so every case runs in a forked child.
#include <dlfcn.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "crypto/PasswordTestUtil.h"
#include "zn/crypto/SignedToken.h"
#include "znsig/znsig.h"

namespace zn::test {
namespace {

static_assert(std::is_same_v<decltype(&znVerifySignature),
                             int (*)(const unsigned char*, size_t, const unsigned char*, size_t)>);

class PasswordTokenTest : public PasswordKeyTest {
 protected:
  void SetUp() override {
    PasswordKeyTest::SetUp();
    int status = 0;
    Shell("openssl genpkey -algorithm ed25519 -out " + Quote(m_keys.file("key.pem")) + " 2>&1", &status);
    ASSERT_EQ(0, status);
    Shell("openssl pkey -in " + Quote(m_keys.file("key.pem")) + " -pubout -out " + Quote(m_keys.file("znsig.pub")),
          &status);
    ASSERT_EQ(0, status);
  }

  // Puts the signature library (and, with `withKey`, the public key) in the
  // home folder named by the store.
  void MakeHome(bool withLibrary, bool withKey) {
    if (withLibrary) {
      std::filesystem::copy_file(LibDir() + "/libZnSigLib.so", m_home.file("libZnSigLib.so"));
    }
    if (withKey) std::filesystem::copy_file(m_keys.file("znsig.pub"), m_home.file("znsig.pub"));
    ASSERT_NE(0, ZNPlatformInfo(0, 0).setString("Base", "dBASEHOME", m_home.path()));
  }

  // A token for `data` expiring at `expiry`, signed by openssl alone:
  // digest = SHA-512(data + decimal expiry), Ed25519 over the digest.
  std::string OpensslToken(const std::string& data, long long expiry) {
    const std::string time = std::to_string(expiry);
    std::ofstream(m_keys.file("message"), std::ios::binary) << data << time;
    int status = 0;
    Shell("openssl dgst -sha512 -binary -out " + Quote(m_keys.file("digest")) + " " + Quote(m_keys.file("message")),
          &status);
    EXPECT_EQ(0, status);
    Shell("openssl pkeyutl -sign -rawin -inkey " + Quote(m_keys.file("key.pem")) + " -in " +
              Quote(m_keys.file("digest")) + " -out " + Quote(m_keys.file("sig")),
          &status);
    EXPECT_EQ(0, status);
    const std::string hex = Shell("od -An -v -tx1 " + Quote(m_keys.file("sig")) + " | tr -d ' \\n'");
    EXPECT_EQ(128u, hex.size());
    char length[3];
    std::snprintf(length, sizeof length, "%02zu", time.size());
    return "S001" + std::string(length) + time + hex;
  }

  // verify() in a child: "<result> <valid> <code>".
  static std::string VerifyInChild(const std::string& token, const std::string& data) {
    TempDir out;
    std::string said;
    OnFreshThread([&] {
      Child child([&]() -> std::string {
        ZNPassword pwd;
        bool valid = true;
        const int result =
            pwd.verify(secure_basic_string<char>(token.c_str()), secure_basic_string<char>(data.c_str()), valid);
        char line[64];
        std::snprintf(line, sizeof line, "%d %d 0x%lX", result, valid ? 1 : 0, pwd.getLastError());
        std::ofstream(out.file("r")) << line;
        return "";
      });
      said = child.finish();
    });
    EXPECT_EQ("", said);
    return ReadFile(out.file("r"));
  }

  static long long Later() { return static_cast<long long>(std::time(nullptr)) + 3600; }

  TempDir m_keys;
  TempDir m_home;
};

TEST_F(PasswordTokenTest, OpensslSignedTokenIsValidAndAFlippedByteIsNot) {
  MakeHome(true, true);
  const std::string token = OpensslToken("backup-job:42", Later());
  EXPECT_EQ("1 1 0x0", VerifyInChild(token, "backup-job:42"));
  EXPECT_EQ("1 0 0x0", VerifyInChild(token, "backup-job:43"));
  std::string flipped = token;
  char& last = flipped.back();
  last = last == '0' ? '1' : '0';
  EXPECT_EQ("1 0 0x0", VerifyInChild(flipped, "backup-job:42"));
}

TEST_F(PasswordTokenTest, ExpiredTokenGivesTheExpiryCode) {
  MakeHome(true, true);
  const std::string token = OpensslToken("data", static_cast<long long>(std::time(nullptr)) - 10);
  EXPECT_EQ("0 0 0x3D0004AF", VerifyInChild(token, "data"));
}

TEST_F(PasswordTokenTest, MalformedTokensAreBadArguments) {
  MakeHome(true, true);
  const std::string good = OpensslToken("d", Later());
  for (const std::string& bad : {std::string(), std::string("S00"), std::string("T001") + good.substr(4),
                                 std::string("S002") + good.substr(4), std::string("S001x") + good.substr(5),
                                 std::string("S00199") + good.substr(6), good.substr(0, 16),
                                 good.substr(0, good.size() - 1), good + "zz"}) {
    EXPECT_EQ("0 0 0x14000003", VerifyInChild(bad, "d")) << bad;
  }
}

TEST_F(PasswordTokenTest, MissingLibraryIsProtectFailed) {
  MakeHome(false, true);
  EXPECT_EQ("0 0 0x14000009", VerifyInChild(OpensslToken("d", Later()), "d"));
}

TEST_F(PasswordTokenTest, MissingPublicKeyMeansNotValid) {
  MakeHome(true, false);
  EXPECT_EQ("1 0 0x0", VerifyInChild(OpensslToken("d", Later()), "d"));
}

// The signing half for the admin tool: openssl checks what it signs.
TEST_F(PasswordTokenTest, SignDigestIsCheckedByOpenssl) {
  void* handle = ::dlopen((LibDir() + "/libZnSigLib.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, handle) << ::dlerror();
  const auto sign = reinterpret_cast<decltype(&znSignDigest)>(::dlsym(handle, "znSignDigest"));
  ASSERT_NE(nullptr, sign);
  std::ofstream(m_keys.file("message"), std::ios::binary) << "payload";
  int status = 0;
  Shell("openssl dgst -sha512 -binary -out " + Quote(m_keys.file("digest")) + " " + Quote(m_keys.file("message")),
        &status);
  ASSERT_EQ(0, status);
  const std::string digest = ReadFile(m_keys.file("digest"));
  ASSERT_EQ(64u, digest.size());
  unsigned char sig[64];
  size_t size = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(digest.data());
  EXPECT_EQ(0, sign(m_keys.file("key.pem").c_str(), bytes, 64, nullptr, &size));
  EXPECT_EQ(64u, size);
  ASSERT_EQ(1, sign(m_keys.file("key.pem").c_str(), bytes, 64, sig, &size));
  std::ofstream(m_keys.file("sig"), std::ios::binary).write(reinterpret_cast<const char*>(sig), 64);
  const std::string verdict = Shell("openssl pkeyutl -verify -rawin -pubin -inkey " + Quote(m_keys.file("znsig.pub")) +
                                        " -in " + Quote(m_keys.file("digest")) + " -sigfile " +
                                        Quote(m_keys.file("sig")) + " 2>&1",
                                    &status);
  EXPECT_EQ(0, status) << verdict;
  EXPECT_EQ(0, sign(m_keys.file("missing.pem").c_str(), bytes, 64, sig, &size));
  ::dlclose(handle);
}

// The layout alone, as verify and the admin tool read it.
TEST(ParseTokenTest, SplitsAWellFormedTokenAndRefusesAnyOther) {
  TokenParts parts;
  ASSERT_TRUE(ParseToken("S0010219" "00fF", parts));
  EXPECT_EQ("19", parts.expiry);
  EXPECT_EQ("00fF", parts.signature);
  EXPECT_EQ(19u, parts.expiresAt);
  // Nineteen digits: past a signed 64-bit time, still within an unsigned one.
  ASSERT_TRUE(ParseToken("S00119" "9999999999999999999" "ab", parts));
  EXPECT_EQ(9999999999999999999ULL, parts.expiresAt);
  ASSERT_TRUE(ParseToken("S00103" "007" "ab", parts));
  EXPECT_EQ(7u, parts.expiresAt);
  for (const char* bad : {"", "S001", "S0010", "S00100ab", "S00120" "99999999999999999999" "ab", "S001021900f",
                          "S0010219", "S00102x9ab", "S0010219zz", "S00199" "19ab", "s0010219ab"}) {
    EXPECT_FALSE(ParseToken(bad, parts)) << bad;
  }
}

}  // namespace
}  // namespace zn::test
