// Shared pieces of the password key and token tests: a scratch machine key,
// shell commands (openssl, python) with their output, and whether the
// formats that other work provides are there yet.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "config/ConfigTestUtil.h"
#include "zn/crypto/CryptoTesting.h"
#include "zn/crypto/ZNPassword.h"

namespace zn::test {

inline std::string LibDir() { return ZN_TEST_LIB_DIR; }

// Runs `command` with /bin/sh; its standard output, and its exit status in
// `status`.
inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status != nullptr) *status = -1;
    return out;
  }
  std::array<char, 4096> chunk{};
  size_t n = 0;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.append(chunk.data(), n);
  const int rc = ::pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

inline std::string Quote(const std::string& text) {
  std::string q = "'";
  for (const char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Whether format '3' encodes (the strong pass-phrase encoding).
inline bool StrongEncodingWorks() {
  ZNPassword probe;
  secure_basic_string<char> out;
  return probe.encryptStrong(secure_basic_string<char>("probe"), out, nullptr) == 1;
}

// A store of its own (the test fixture's), a machine key file of the
// test's own and empty password caches.
class PasswordKeyTest : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    zn::testing::ResetPasswordCaches();
  }
  void TearDown() override {
    zn::testing::ResetPasswordCaches();
    ConfigTest::TearDown();
  }
  std::string KeyFile() const { return m_keyDir.file("machine.key"); }

  TempDir m_keyDir;
  ScopedEnv m_keyEnv{"ZN_MACHINE_KEY", m_keyDir.file("machine.key")};
};

}  // namespace zn::test
