// The machine-bound protection helper libZnDataProtect.so through its C
// interface: the blob's layout (opened independently with Python's
// cryptography AESGCM), a changed tag or version refused, and the key
// file's rules.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "crypto/PasswordTestUtil.h"
#include "dataprotect/zndataprotect.h"

namespace zn::test {
namespace {

class DataProtectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_handle = ::dlopen((LibDir() + "/libZnDataProtect.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, m_handle) << ::dlerror();
    m_protect = reinterpret_cast<decltype(&znProtectData)>(::dlsym(m_handle, "znProtectData"));
    m_unprotect = reinterpret_cast<decltype(&znUnprotectData)>(::dlsym(m_handle, "znUnprotectData"));
    m_error = reinterpret_cast<decltype(&znDataProtectError)>(::dlsym(m_handle, "znDataProtectError"));
    ASSERT_TRUE(m_protect != nullptr && m_unprotect != nullptr && m_error != nullptr);
  }
  void TearDown() override {
    if (m_handle != nullptr) ::dlclose(m_handle);
  }

  std::vector<unsigned char> Protect(const std::string& plain, const std::string& keyFile) {
    size_t size = 0;
    const auto* in = reinterpret_cast<const unsigned char*>(plain.data());
    EXPECT_EQ(0, m_protect(keyFile.c_str(), in, plain.size(), nullptr, &size));
    std::vector<unsigned char> blob(size);
    if (m_protect(keyFile.c_str(), in, plain.size(), blob.data(), &size) != 1) return {};
    blob.resize(size);
    return blob;
  }
  int Unprotect(const std::vector<unsigned char>& blob, const std::string& keyFile, std::string& plain) {
    std::vector<unsigned char> out(blob.size());
    size_t size = out.size();
    const int ok = m_unprotect(keyFile.c_str(), blob.data(), blob.size(), out.data(), &size);
    if (ok == 1) plain.assign(reinterpret_cast<const char*>(out.data()), size);
    return ok;
  }
  static std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : bytes) text += std::string{digits[b >> 4], digits[b & 15]};
    return text;
  }

  TempDir m_dir;
  void* m_handle = nullptr;
  decltype(&znProtectData) m_protect = nullptr;
  decltype(&znUnprotectData) m_unprotect = nullptr;
  decltype(&znDataProtectError) m_error = nullptr;
};

TEST_F(DataProtectTest, BlobLayoutOpensWithAnIndependentAesGcm) {
  const std::string key = m_dir.file("machine.key");
  const std::vector<unsigned char> blob = Protect("thirty-two bytes of secret here!", key);
  ASSERT_EQ(5u + 12u + 32u + 16u, blob.size());
  EXPECT_EQ("5a4e445001", Hex(blob).substr(0, 10));
  struct stat st {};
  ASSERT_EQ(0, ::stat(key.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  EXPECT_EQ(32, st.st_size);
  std::string plain;
  ASSERT_EQ(1, Unprotect(blob, key, plain)) << m_error();
  EXPECT_EQ("thirty-two bytes of secret here!", plain);
  // A fresh nonce every time.
  EXPECT_NE(Hex(blob), Hex(Protect("thirty-two bytes of secret here!", key)));

  // Python's cryptography opens it: AES-256/GCM, nonce after the header,
  // the header as associated data.
  int status = 0;
  const std::string opened = Shell(
      "/usr/bin/python3 -c 'import sys\nfrom cryptography.hazmat.primitives.ciphers.aead import AESGCM\n"
      "k=open(sys.argv[1],\"rb\").read(); b=bytes.fromhex(sys.argv[2])\n"
      "sys.stdout.write(AESGCM(k).decrypt(b[5:17], b[17:], b[:5]).decode())' " +
          Quote(key) + " " + Hex(blob) + " 2>&1",
      &status);
  if (status != 0 && opened.find("No module named") != std::string::npos) GTEST_SKIP() << opened;
  EXPECT_EQ(0, status) << opened;
  EXPECT_EQ("thirty-two bytes of secret here!", opened);
}

TEST_F(DataProtectTest, ChangedTagOrVersionIsRefused) {
  const std::string key = m_dir.file("machine.key");
  std::vector<unsigned char> blob = Protect("secret", key);
  ASSERT_FALSE(blob.empty());
  std::string plain;
  std::vector<unsigned char> tampered = blob;
  tampered.back() ^= 1;
  EXPECT_EQ(0, Unprotect(tampered, key, plain));
  EXPECT_STREQ("The protected blob does not authenticate under this machine's key", m_error());
  tampered = blob;
  tampered[4] = 2;
  EXPECT_EQ(0, Unprotect(tampered, key, plain));
  EXPECT_STREQ("Unknown protected blob version 2", m_error());
  tampered.assign(blob.begin(), blob.begin() + 20);
  EXPECT_EQ(0, Unprotect(tampered, key, plain));
  EXPECT_STREQ("Not a protected blob", m_error());
}

TEST_F(DataProtectTest, KeyFileRules) {
  const std::string key = m_dir.file("machine.key");
  const std::vector<unsigned char> blob = Protect("secret", key);
  ASSERT_FALSE(blob.empty());
  std::string plain;

  ASSERT_EQ(0, ::chmod(key.c_str(), 0640));
  EXPECT_EQ(0, Unprotect(blob, key, plain));
  EXPECT_EQ("The machine key file [" + key + "] is open to group or others (mode 640); it must be 0600",
            std::string(m_error()));
  EXPECT_TRUE(Protect("other", key).empty());
  ASSERT_EQ(0, ::chmod(key.c_str(), 0600));

  const std::string link = m_dir.file("link.key");
  ASSERT_EQ(0, ::symlink(key.c_str(), link.c_str()));
  EXPECT_EQ(0, Unprotect(blob, link, plain));
  EXPECT_EQ("The machine key file [" + link + "] is a symbolic link", std::string(m_error()));

  const std::string folder = m_dir.file("folder.key");
  ASSERT_EQ(0, ::mkdir(folder.c_str(), 0700));
  EXPECT_EQ(0, Unprotect(blob, folder, plain));
  EXPECT_EQ("The machine key file [" + folder + "] is not a regular file", std::string(m_error()));

  const std::string shortKey = m_dir.file("short.key");
  const int fd = ::open(shortKey.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(8, ::write(fd, "12345678", 8));
  ::close(fd);
  EXPECT_EQ(0, Unprotect(blob, shortKey, plain));
  EXPECT_EQ("The machine key file [" + shortKey + "] is corrupt: 8 bytes instead of 32", std::string(m_error()));

  // Unprotecting never makes a key.
  const std::string none = m_dir.file("none.key");
  EXPECT_EQ(0, Unprotect(blob, none, plain));
  EXPECT_FALSE(std::filesystem::exists(none));
  EXPECT_EQ(1, Unprotect(blob, key, plain));
  EXPECT_EQ("secret", plain);
}

}  // namespace
}  // namespace zn::test
