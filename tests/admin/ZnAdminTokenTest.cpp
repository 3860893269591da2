// znadmin token: a token signed by `sign` is an Ed25519 signature that
// openssl accepts over SHA-512(data + expiry digits), computed by openssl
// too; `verify` checks tokens with the home folder's library and public key
// and tells valid, not valid, expired and malformed apart by exit code; a
// private key file others can read is refused.
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "admin/AdminTestUtil.h"
#include "crypto/PasswordTestUtil.h"

namespace zn::test {
namespace {

// Local time as znadmin shows it, "YYYY-MM-DD hh:mm:ss".
std::string LocalTimeText(std::time_t when) {
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&when, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

class ZnAdminToken : public ZnAdmin {
 protected:
  void SetUp() override {
    ZnAdmin::SetUp();
    int status = 0;
    Shell("openssl genpkey -algorithm ed25519 -out " + Quote(Key()) + " 2>&1", &status);
    ASSERT_EQ(0, status);
    ASSERT_EQ(0, ::chmod(Key().c_str(), 0600));
    Shell("openssl pkey -in " + Quote(Key()) + " -pubout -out " + Quote(m_keys.file("pub.pem")), &status);
    ASSERT_EQ(0, status);
  }

  std::string Key() const { return m_keys.file("key.pem"); }

  // The home folder of the instance, with the signature library and the
  // public key services check tokens with.
  void MakeHome() {
    std::filesystem::copy_file(LibDir() + "/libZnSigLib.so", m_home.file("libZnSigLib.so"));
    std::filesystem::copy_file(m_keys.file("pub.pem"), m_home.file("znsig.pub"));
    ASSERT_NE(0, ZNPlatformInfo(0, 0).setString("Base", "dBASEHOME", m_home.path()));
  }

  Outcome Token(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", m_store, "token"});
    return RunAdmin(args);
  }

  // Whether openssl finds `signatureHex` a good signature of
  // SHA-512(message) by the test's key.
  bool OpensslAccepts(const std::string& message, const std::string& signatureHex) {
    std::ofstream(m_keys.file("message"), std::ios::binary) << message;
    std::string signature;
    for (std::size_t i = 0; i + 1 < signatureHex.size(); i += 2) {
      signature += static_cast<char>(std::stoi(signatureHex.substr(i, 2), nullptr, 16));
    }
    std::ofstream(m_keys.file("sig"), std::ios::binary) << signature;
    int status = 0;
    Shell("openssl dgst -sha512 -binary -out " + Quote(m_keys.file("digest")) + " " + Quote(m_keys.file("message")),
          &status);
    EXPECT_EQ(0, status);
    Shell("openssl pkeyutl -verify -rawin -pubin -inkey " + Quote(m_keys.file("pub.pem")) + " -in " +
              Quote(m_keys.file("digest")) + " -sigfile " + Quote(m_keys.file("sig")) + " >/dev/null 2>&1",
          &status);
    return status == 0;
  }

  TempDir m_keys;
  TempDir m_home;
};

TEST_F(ZnAdminToken, SignMakesWhatOpensslVerifiesAndVerifyTellsTheOutcomesApart) {
  const std::string data = "job 42\nline two \\ with separators";
  Outcome sign = Token({"sign", "--key", Key(), "--expires-at", "4102444800", data});
  ASSERT_EQ(sign.code, kOk) << sign.err;
  ASSERT_EQ(sign.out.size(), 4u + 2u + 10u + 128u + 1u) << sign.out;
  const std::string token = sign.out.substr(0, sign.out.size() - 1);
  EXPECT_EQ(token.substr(0, 16), "S001104102444800");
  EXPECT_TRUE(OpensslAccepts(data + "4102444800", token.substr(16)));
  EXPECT_FALSE(OpensslAccepts(data + "4102444801", token.substr(16)));

  // No instance home with the library yet: verify cannot check.
  Outcome verify = Token({"verify", token, data});
  EXPECT_EQ(verify.code, kFailure);
  EXPECT_TRUE(Has(verify.err, "libZnSigLib.so")) << verify.err;

  MakeHome();
  verify = Token({"verify", token, data});
  EXPECT_EQ(verify.code, kOk) << verify.err;
  EXPECT_EQ(verify.out, "the token is valid until " + LocalTimeText(4102444800) + "\n");

  verify = Token({"verify", token, data + "!"});
  EXPECT_EQ(verify.code, kFailure);
  EXPECT_EQ(verify.err, "znadmin token verify: the token's signature is not valid for this data\n");
  std::string tampered = token;
  tampered.back() = tampered.back() == '0' ? '1' : '0';
  EXPECT_EQ(Token({"verify", tampered, data}).code, kFailure);
  // The expiry is signed: moving it on spoils the signature.
  EXPECT_EQ(Token({"verify", "S001104102444801" + token.substr(16), data}).code, kFailure);

  sign = Token({"sign", "--key", Key(), "--expires-in", "2h", data});
  ASSERT_EQ(sign.code, kOk) << sign.err;
  EXPECT_EQ(Token({"verify", sign.out.substr(0, sign.out.size() - 1), data}).code, kOk);

  sign = Token({"sign", "--key", Key(), "--expires-at", "5", data});
  ASSERT_EQ(sign.code, kOk) << sign.err;
  EXPECT_TRUE(Has(sign.err, "expired already")) << sign.err;
  verify = Token({"verify", sign.out.substr(0, sign.out.size() - 1), data});
  EXPECT_EQ(verify.code, kFailure);
  EXPECT_TRUE(Has(verify.err, "the token expired at ")) << verify.err;

  for (const std::string& bad : {std::string("S001"), std::string("S00110"), std::string("X001104102444800ab"),
                                 "S001104102444800" + token.substr(17), "S0011041024448zz" + token.substr(16)}) {
    verify = Token({"verify", bad, data});
    EXPECT_EQ(verify.code, kUsage) << bad;
    EXPECT_TRUE(Has(verify.err, "is not a token")) << verify.err;
  }

  // Without the public key nothing is valid, and verify says why.
  std::filesystem::remove(m_home.file("znsig.pub"));
  verify = Token({"verify", token, data});
  EXPECT_EQ(verify.code, kFailure);
  EXPECT_TRUE(Has(verify.err, "znsig.pub")) << verify.err;
}

TEST_F(ZnAdminToken, SignRefusesKeysOthersCanReadAndBadExpiries) {
  ASSERT_EQ(0, ::chmod(Key().c_str(), 0640));
  Outcome sign = Token({"sign", "--key", Key(), "--expires-in", "1h", "x"});
  EXPECT_EQ(sign.code, kRefused);
  EXPECT_TRUE(Has(sign.err, "mode 0640")) << sign.err;
  EXPECT_EQ(sign.out, "");
  ASSERT_EQ(0, ::chmod(Key().c_str(), 0600));

  EXPECT_EQ(Token({"sign", "--key", m_keys.file("none.pem"), "--expires-in", "1h", "x"}).code, kNotFound);
  EXPECT_EQ(Token({"sign", "--key", m_keys.path(), "--expires-in", "1h", "x"}).code, kUsage);
  std::ofstream(m_keys.file("public-only.pem")) << ReadFile(m_keys.file("pub.pem"));
  ASSERT_EQ(0, ::chmod(m_keys.file("public-only.pem").c_str(), 0600));
  sign = Token({"sign", "--key", m_keys.file("public-only.pem"), "--expires-in", "1h", "x"});
  EXPECT_EQ(sign.code, kUsage);
  EXPECT_TRUE(Has(sign.err, "holds no Ed25519 private key")) << sign.err;

  for (const std::vector<std::string>& expiry :
       {std::vector<std::string>{}, {"--expires-in", "1h", "--expires-at", "4102444800"}, {"--expires-in", "15x"},
        {"--expires-in", "0"}, {"--expires-in", "3651d"}, {"--expires-at", "-5"}, {"--expires-at", "0"},
        {"--expires-at", "12ab"}, {"--expires-at", "10000000000000000000"}}) {
    std::vector<std::string> args = {"sign", "--key", Key()};
    args.insert(args.end(), expiry.begin(), expiry.end());
    args.push_back("x");
    sign = Token(args);
    EXPECT_EQ(sign.code, kUsage) << ::testing::PrintToString(expiry) << sign.err;
    EXPECT_EQ(sign.out, "");
  }
}

}  // namespace
}  // namespace zn::test
