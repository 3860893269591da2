// The fixture of the znadmin config tests: a store file of the test's own,
// named to znadmin with --store and used by the test itself through
// ZN_CONFIG_STORE.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "helpers/AdminRunner.h"

namespace zn::test {

// A literal's bytes, embedded and written NULs included.
template <std::size_t N>
std::string B(const char (&text)[N]) {
  return std::string(text, N - 1);
}

using Outcome = AdminOutcome;

class ZnAdmin : public ConfigTest {
 protected:
  void SetUp() override {
    m_oldStore = std::getenv("ZN_CONFIG_STORE");
    m_store = m_dir.file("admin.db");
    ::setenv("ZN_CONFIG_STORE", m_store.c_str(), 1);
    ConfigTest::SetUp();
  }
  void TearDown() override {
    ConfigTest::TearDown();
    ::setenv("ZN_CONFIG_STORE", m_oldStore.c_str(), 1);
  }

  Outcome Config(std::vector<std::string> args, const std::string& input = std::string()) {
    args.insert(args.begin(), {"--store", m_store, "config"});
    return RunAdmin(args, input);
  }
  std::string Raw(const std::string& key, const std::string& name) {
    const Outcome run = Config({"get", "--raw", key, name});
    EXPECT_EQ(run.code, 0) << key << " " << name << ": " << run.err;
    return run.out;
  }

  TempDir m_dir;
  std::string m_store;
  std::string m_oldStore;
};

}  // namespace zn::test
