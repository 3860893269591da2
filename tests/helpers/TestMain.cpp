// Every test process gets its own scratch folder, configuration store path,
// temporary folder and an empty focus environment, so tests never see each
// other's files or the machine's settings.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "helpers/TempDir.h"

namespace zn::test {
namespace {

std::string g_scratchRoot;
pid_t g_rootOwner = 0;

void RemoveScratchRoot() {
  // Forked children exit through here too; only the creator cleans up.
  if (g_scratchRoot.empty() || ::getpid() != g_rootOwner) return;
  RemoveLogSharedState(g_scratchRoot);
  RemoveStoreSharedState(g_scratchRoot);
  std::error_code ignored;
  std::filesystem::remove_all(g_scratchRoot, ignored);
}

}  // namespace

const std::string& ScratchRoot() { return g_scratchRoot; }

}  // namespace zn::test

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/zn_tests.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  zn::test::g_scratchRoot = pattern;
  zn::test::g_rootOwner = ::getpid();
  std::atexit(&zn::test::RemoveScratchRoot);

  ::setenv("ZN_CONFIG_STORE", (pattern + "/config.db").c_str(), 1);
  ::setenv("TEMP", pattern.c_str(), 1);
  // The older debug output's shared file and marker, never the machine's /tmp.
  ::setenv("ZN_DEBUGGABLE_DIR", pattern.c_str(), 1);
  // Every test process works for an instance of its own store.
  ::setenv("ZN_FOCUS", "Instance001", 1);
  for (const char* name : {"ZN_PRODUCT", "ZN_PRODUCT_TYPE", "ZN_REMOTE_CELL", "ZN_CLIENT_NAME",
                           "ZN_PSEUDO_CLIENT_NAME", "ZN_SERVICE", "ALLUSERSPROFILE", "ZN_MACHINE_KEY"}) {
    ::unsetenv(name);
  }

  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
