// The installation's keys: the machine's V8 key made once by racing
// processes and kept in the store as a protected blob, the machine key
// file's rules, whether new passwords use '8', and the V5 key.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <vector>

#include "crypto/PasswordTestUtil.h"
#include "zn/crypto/znc.h"
#include "zn/crypto/znc_bucket.h"

namespace zn::test {
namespace {

constexpr const char* kProductKey = "SOFTWARE\\Tessaly Systems\\Orvane";
constexpr const char* kZndKey = "SOFTWARE\\Tessaly Systems\\Orvane\\Instance001\\Znd";

std::string StoredText(const char* key, const char* name) {
  unsigned long type = 0;
  std::string bytes;
  if (!ReadRaw(key, name, type, bytes)) return {};
  return std::string(bytes.c_str());
}

void WriteNumber(const char* key, const char* name, uint32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  ASSERT_TRUE(WriteRaw(key, name, kZnRegNumber, bytes));
}

std::string EncodeV8(const char* plain, unsigned long* code = nullptr) {
  ZNPassword pwd;
  secure_basic_string<char> out;
  const int ok = pwd.encryptV8(secure_basic_string<char>(plain), out);
  if (code != nullptr) *code = pwd.getLastError();
  return ok == 1 ? std::string(out.c_str()) : std::string();
}

class PasswordV8KeyTest : public PasswordKeyTest {};

TEST_F(PasswordV8KeyTest, FourProcessesStartingTogetherMakeOneKey) {
  TempDir results;
  int gate[2];
  ASSERT_EQ(0, ::pipe(gate));
  std::set<std::string> texts;
  // The children die with the thread that forks them: it also waits.
  OnFreshThread([&] {
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 4; ++i) {
      children.push_back(std::make_unique<Child>([&, i]() -> std::string {
        ::close(gate[1]);
        char byte = 0;
        // Released together: the parent closes its end of the pipe.
        if (::read(gate[0], &byte, 1) != 0) return "the gate did not open";
        zn::testing::ResetPasswordCaches();
        unsigned long code = 0;
        const std::string text = EncodeV8("racing secret", &code);
        if (text.empty()) return "encryptV8 failed with " + std::to_string(code);
        std::ofstream(results.file(std::to_string(i))) << text;
        return "";
      }));
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ("", children[i]->finish());
      texts.insert(ReadFile(results.file(std::to_string(i))));
    }
  });
  // The wrap is deterministic: one text means one key in every process.
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ('8', texts.begin()->front());
  EXPECT_EQ(1u + 2u * 24u, texts.begin()->size());

  struct stat st {};
  ASSERT_EQ(0, ::stat(KeyFile().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_EQ(32, st.st_size);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(m_keyDir.path())) left.push_back(entry.path().filename());
  EXPECT_EQ(std::vector<std::string>{"machine.key"}, left);

  const std::string blob = StoredText(kProductKey, "GlobalMiscProp");
  EXPECT_EQ(blob, StoredText(kZndKey, "GlobalMiscProp"));
  // "ZNDP", version 1, nonce 12, key 32, tag 16 bytes, as hexadecimal.
  EXPECT_EQ(2u * (5 + 12 + 32 + 16), blob.size());
  EXPECT_EQ("5a4e445001", blob.substr(0, 10));

  // This process reads the same key from the store.
  EXPECT_EQ(*texts.begin(), EncodeV8("racing secret"));
}

TEST_F(PasswordV8KeyTest, KeyIsCopiedFromTheProductKeyAndCachedForTheProcess) {
  ASSERT_FALSE(EncodeV8("one").empty());
  const std::string blob = StoredText(kZndKey, "GlobalMiscProp");
  ASSERT_TRUE(ZNPlatformInfo(0, 0).delRegField(kZndKey, "GlobalMiscProp"));
  zn::testing::ResetPasswordCaches();
  const std::string again = EncodeV8("one");
  EXPECT_EQ(blob, StoredText(kZndKey, "GlobalMiscProp"));
  // Cached: the store's text no longer matters within the process.
  ASSERT_TRUE(ZNPlatformInfo(0, 0).delRegField(kZndKey, "GlobalMiscProp"));
  ASSERT_TRUE(ZNPlatformInfo(0, 0).delRegField(kProductKey, "GlobalMiscProp"));
  EXPECT_EQ(again, EncodeV8("one"));
}

TEST_F(PasswordV8KeyTest, WithoutAKeyAndWithoutCreateTheCodeIsNoKey) {
  ZNPassword pwd;
  ZncBucket key;
  EXPECT_EQ(0, pwd.getV8EncKey(key, false));
  EXPECT_EQ(0x140000AAu, pwd.getLastError());
  EXPECT_FALSE(std::filesystem::exists(KeyFile()));
  EXPECT_EQ(1, pwd.getV8EncKey(key, true));
  EXPECT_EQ(32, key.getSize());
}

TEST_F(PasswordV8KeyTest, MissingOrCorruptMachineKeyFailsProtection) {
  ASSERT_FALSE(EncodeV8("kept").empty());
  ASSERT_TRUE(std::filesystem::remove(KeyFile()));
  zn::testing::ResetPasswordCaches();
  unsigned long code = 0;
  EXPECT_EQ("", EncodeV8("kept", &code));
  EXPECT_EQ(0x14000009u, code);

  // A key of the wrong size is corrupt.
  {
    const int fd = ::open(KeyFile().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(31, ::write(fd, std::string(31, 'k').data(), 31));
    ::close(fd);
  }
  EXPECT_EQ("", EncodeV8("kept", &code));
  EXPECT_EQ(0x14000009u, code);

  // Another machine's key: the blob does not authenticate.
  ASSERT_TRUE(std::filesystem::remove(KeyFile()));
  {
    const int fd = ::open(KeyFile().c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(32, ::write(fd, std::string(32, 'k').data(), 32));
    ::close(fd);
  }
  EXPECT_EQ("", EncodeV8("kept", &code));
  EXPECT_EQ(0x14000009u, code);
}

TEST_F(PasswordV8KeyTest, GroupReadableMachineKeyIsRefused) {
  ASSERT_FALSE(EncodeV8("kept").empty());
  ASSERT_EQ(0, ::chmod(KeyFile().c_str(), 0640));
  zn::testing::ResetPasswordCaches();
  unsigned long code = 0;
  EXPECT_EQ("", EncodeV8("kept", &code));
  EXPECT_EQ(0x14000009u, code);
}

TEST_F(PasswordV8KeyTest, V8DisabledGivesTheStrongFormat) {
  if (!StrongEncodingWorks()) GTEST_SKIP() << "the '3' format is not built on this branch yet";
  WriteNumber("SOFTWARE\\Tessaly Systems\\Orvane\\Instance001", "CryptUseV8Encryption", 0);
  const std::string text = EncodeV8("plain");
  ASSERT_FALSE(text.empty());
  EXPECT_EQ('3', text.front());
  EXPECT_FALSE(std::filesystem::exists(KeyFile()));
}

TEST_F(PasswordV8KeyTest, EnabledByDefaultAndByTheInstanceThenTheProductValue) {
  EXPECT_TRUE(ZNPassword::isV8EncryptionEnabled());

  zn::testing::ResetPasswordCaches();
  WriteNumber(kProductKey, "CryptUseV8Encryption", 0);
  EXPECT_FALSE(ZNPassword::isV8EncryptionEnabled());

  zn::testing::ResetPasswordCaches();
  WriteNumber("SOFTWARE\\Tessaly Systems\\Orvane\\Instance001", "CryptUseV8Encryption", 1);
  EXPECT_TRUE(ZNPassword::isV8EncryptionEnabled());
  // Cached: a change shows only in a new process.
  WriteNumber("SOFTWARE\\Tessaly Systems\\Orvane\\Instance001", "CryptUseV8Encryption", 0);
  EXPECT_TRUE(ZNPassword::isV8EncryptionEnabled());
}

TEST_F(PasswordV8KeyTest, ChatterFlagAnswersNoOnTheFirstCall) {
  WriteNumber("SOFTWARE\\Tessaly Systems\\Orvane\\Instance001\\Session", "nChatterFlag", 1);
  EXPECT_FALSE(ZNPassword::isV8EncryptionEnabled());
  EXPECT_TRUE(ZNPassword::isV8EncryptionEnabled());
}

TEST_F(PasswordV8KeyTest, NoFocusMeansNo) {
  ZNPI_Focus::setFocus(nullptr);
  EXPECT_FALSE(ZNPassword::isV8EncryptionEnabled());
}

class PasswordV5KeyTest : public PasswordKeyTest {};

TEST_F(PasswordV5KeyTest, MissingKeyIsKeyMissing) {
  ZNPassword pwd;
  ZncBucket key;
  EXPECT_EQ(0, pwd.getV5EncKey(key));
  EXPECT_EQ(0x14000008u, pwd.getLastError());
  secure_basic_string<char> out;
  EXPECT_EQ(0, pwd.encryptV5(secure_basic_string<char>("x"), out));
  EXPECT_EQ(0x14000008u, pwd.getLastError());
}

TEST_F(PasswordV5KeyTest, AKeyStoredAsAFiveTextIsRefused) {
  ASSERT_NE(0, ZNPlatformInfo(0, 0).setString("Znd", "sZnPwdV5EncKey", "5" + std::string(48, 'a')));
  ZNPassword pwd;
  ZncBucket key;
  EXPECT_EQ(0, pwd.getV5EncKey(key));
  EXPECT_EQ(0x140000ACu, pwd.getLastError());
}

TEST_F(PasswordV5KeyTest, StoredWrappedKeyGivesTheKey) {
  if (!StrongEncodingWorks()) GTEST_SKIP() << "the '3' format is not built on this branch yet";
  const ZncBucket v5 = Znc::hex2bin("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  ZNPassword holder;
  secure_basic_string<char> stored;
  ASSERT_EQ(1, holder.encryptStrong(secure_basic_string<char>(Znc::wrapKeyToHex(v5, false).c_str()), stored,
                                    nullptr));
  ASSERT_NE(0, ZNPlatformInfo(0, 0).setString("Znd", "sZnPwdV5EncKey", stored.c_str()));
  ZNPassword pwd;
  ZncBucket key;
  ASSERT_EQ(1, pwd.getV5EncKey(key)) << pwd.getLastError();
  EXPECT_EQ(Znc::bin2hex(v5), Znc::bin2hex(key));
  secure_basic_string<char> text;
  ASSERT_EQ(1, pwd.encryptV5(secure_basic_string<char>("five"), text));
  EXPECT_EQ('5', text[0]);
  // From the other instance through the product's password focus.
  ZNPI_Focus::setFocus(nullptr);
  ASSERT_NE(0, ZNPlatformInfo(0, 0).setRegString(kProductKey, "sZNPasswordFocus", "Instance001"));
  ZNPassword other;
  ASSERT_EQ(1, other.getV5EncKey(key));
  EXPECT_EQ(Znc::bin2hex(v5), Znc::bin2hex(key));
}

}  // namespace
}  // namespace zn::test
