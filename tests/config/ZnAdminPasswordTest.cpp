// Passwords in the store as administrators handle them: `config password
// set` reads the password from a terminal without echo (or from stdin with
// --stdin) and stores only its encoded text; `check` compares; `get` shows
// only the format and length; `set` of a plain text into a password value
// is refused. And a password written by one process is read by another.

#include <string>
#include <vector>

#include "config/ZnAdminTestUtil.h"
#include "helpers/TerminalRun.h"
#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/ZNPassword.h"

namespace {

using zn::test::Outcome;
using zn::test::ZnAdmin;

// Each test has a store of its own, so a machine key of its own: none of
// an earlier test's may stay cached.
class ZnAdminPassword : public ZnAdmin {
 protected:
  void SetUp() override {
    ZnAdmin::SetUp();
    zn::testing::ResetPasswordCaches();
  }
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Decoded(const std::string& encoded) {
  ZNPassword password;
  secure_basic_string<char> plain;
  if (password.decrypt(secure_basic_string<char>(encoded), plain) == 0) return "<" + std::to_string(password.getLastError()) + ">";
  return std::string(plain.begin(), plain.end());
}

std::string StoredText(const char* section, const char* name) {
  ZNPlatformInfo info(0, 0);
  std::string text;
  return info.getString(section, name, &text) != 0 ? text : std::string("<none>");
}

TEST_F(ZnAdminPassword, SetOnATerminalWithoutEchoStoresOnlyTheEncodedTextAndCheckComparesIt) {
  const std::string secret = "s3cret pass-phrase";
  zn::test::TerminalOutcome run = zn::test::RunOnTerminal(
      "znadmin", {"--store", m_store, "config", "password", "set", "~Session", "pCntInfo"},
      {{"Password: ", secret}, {"Again: ", secret}});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(Has(run.terminal, secret)) << "echoed: " << run.terminal;
  EXPECT_TRUE(Has(run.out, "stored [pCntInfo] in [")) << run.out;

  const std::string stored = StoredText("Session", "pCntInfo");
  ASSERT_FALSE(stored.empty());
  EXPECT_FALSE(Has(stored, secret));
  EXPECT_TRUE(stored[0] == '8' || stored[0] == '3') << stored;
  EXPECT_TRUE(Has(run.out, std::string("as format ") + stored[0])) << run.out;
  EXPECT_EQ(Decoded(stored), secret);

  // get shows what it is, never the text.
  const std::string shown = "(password, format " + stored.substr(0, 1) + ", " + std::to_string(stored.size()) +
                            " characters)\n";
  Outcome get = Config({"get", "~Session", "pCntInfo"});
  EXPECT_EQ(get.code, 0);
  EXPECT_EQ(get.out, shown);
  get = Config({"get", "--raw", "~Session", "pCntInfo"});
  EXPECT_EQ(get.out, shown);
  get = Config({"get", "--json", "~Session", "pCntInfo"});
  EXPECT_FALSE(Has(get.out, stored));
  EXPECT_TRUE(Has(get.out, "\"format\": \"" + stored.substr(0, 1) + "\"")) << get.out;

  Outcome check = Config({"password", "check", "--stdin", "~Session", "pCntInfo"}, secret + "\n");
  EXPECT_EQ(check.code, 0) << check.err;
  EXPECT_EQ(check.out, "the password matches [pCntInfo]\n");
  check = Config({"password", "check", "--stdin", "~Session", "pCntInfo"}, "not it\n");
  EXPECT_EQ(check.code, 1);
  EXPECT_EQ(check.err, "znadmin config password check: the password does not match [pCntInfo]\n");
  run = zn::test::RunOnTerminal("znadmin", {"--store", m_store, "config", "password", "check", "~Session", "pCntInfo"},
                                {{"Password: ", secret}});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(Has(run.terminal, secret));
}

TEST_F(ZnAdminPassword, BadInputChangesNothing) {
  ASSERT_EQ(Config({"password", "set", "--stdin", "~Session", "pCntInfo"}, "first\n").code, 0);
  const std::string before = StoredText("Session", "pCntInfo");

  // Two different answers on the terminal.
  const zn::test::TerminalOutcome differ = zn::test::RunOnTerminal(
      "znadmin", {"--store", m_store, "config", "password", "set", "~Session", "pCntInfo"},
      {{"Password: ", "one"}, {"Again: ", "two"}});
  EXPECT_EQ(differ.code, 2);
  EXPECT_TRUE(Has(differ.err, "the two passwords differ")) << differ.err;

  // No terminal and no --stdin: never read from a pipe unasked.
  Outcome run = Config({"password", "set", "~Session", "pCntInfo"}, "piped\n");
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err,
            "znadmin config password set: standard input is not a terminal: give the password with --stdin\n");
  run = Config({"password", "set", "--stdin", "~Session", "pCntInfo"}, "");
  EXPECT_EQ(run.code, 2);
  run = Config({"password", "set", "--stdin", "~Session", "pCntInfo"}, std::string(512, 'x') + "\n");
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(run.err, "znadmin config password set: the password is longer than 511 characters\n");

  // A plain text is never written into a password value.
  run = Config({"set", "~Session", "pCntInfo", "plain-text"});
  EXPECT_EQ(run.code, 5);
  EXPECT_EQ(run.err, "znadmin config set: [pCntInfo] holds a password: store it with 'znadmin config password "
                     "set', which encodes it\n");
  EXPECT_EQ(StoredText("Session", "pCntInfo"), before);
  // An encoded text may be copied in as it is.
  EXPECT_EQ(Config({"set", "~Session", "pOther", before}).code, 0);
  EXPECT_EQ(Decoded(StoredText("Session", "pOther")), "first");

  // What check says of what is not there, or not a password of ours.
  EXPECT_EQ(Config({"password", "check", "--stdin", "~Session", "pNone"}, "x\n").code, 4);
  EXPECT_EQ(Config({"password", "check", "--stdin", "~Nowhere", "pNone"}, "x\n").code, 3);
  ZNPlatformInfo info(0, 0);
  ASSERT_EQ(info.setString("Session", "pHash", "7" + std::string(64, 'a')), 1);
  run = Config({"password", "check", "--stdin", "~Session", "pHash"}, "x\n");
  EXPECT_EQ(run.code, 2);
  EXPECT_TRUE(Has(run.err, "one-way hash")) << run.err;
  ASSERT_EQ(info.setString("Session", "pBroken", "3zz"), 1);
  run = Config({"password", "check", "--stdin", "~Session", "pBroken"}, "x\n");
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Has(run.err, "could not be decoded (0x")) << run.err;
  EXPECT_EQ(StoredText("Session", "pCntInfo"), before);
}

// getPassword of a value that setPassword wrote in another process, in
// the formats the library writes.
TEST_F(ZnAdminPassword, APasswordWrittenByAnotherProcessIsReadAndDecoded) {
  for (const char format : {'3', '8'}) {
    const std::string plain = std::string("from the child ") + format + " \xc3\xa9t\xc3\xa9";
    zn::test::Child child([&]() -> std::string {
      ZNPlatformInfo info(0, 0);
      ZNPassword password;
      secure_basic_string<char> encoded;
      const int made = format == '3' ? password.encryptStrong(secure_basic_string<char>(plain), encoded, nullptr)
                                     : password.encryptV8(secure_basic_string<char>(plain), encoded);
      if (made == 0) return "encoding failed: " + std::to_string(password.getLastError());
      if (info.setPassword("Session", "pFromChild", &password) == 0) return "setPassword failed";
      return std::string();
    });
    ASSERT_EQ(child.finish(std::chrono::seconds(60)), "");
    ZNPlatformInfo info(0, 0);
    ZNPassword read;
    ASSERT_EQ(info.getPassword("Session", "pFromChild", &read), 1);
    ASSERT_FALSE(read.isEmpty());
    EXPECT_EQ(read.getEncoded().front(), format == '8' && !ZNPassword::isV8EncryptionEnabled() ? '3' : format);
    EXPECT_EQ(Decoded(std::string(read.getEncoded())), plain);
  }
}

}  // namespace
