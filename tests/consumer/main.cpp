// A program of the suite in small, built against the installed library
// only: it writes and reads back a setting, runs a work item on a pool and
// parses a version string.
#include <atomic>
#include <cstdio>
#include <string>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/util/ZnStdVersion.h"

namespace {

std::atomic<int> g_ran{0};

unsigned int Work(void*) {
  g_ran.fetch_add(1);
  return 0;
}

}  // namespace

int main() {
  ZNPlatformInfo store(0, 0);
  if (!store.setRegString("SOFTWARE\\Consumer", "sGreeting", "hello")) {
    std::fprintf(stderr, "consumer: cannot write the store: %s\n", store.getLastErrorMsg().c_str());
    return 1;
  }
  char text[64] = {};
  int size = sizeof text;
  unsigned long type = 0;
  if (!store.getRegValue("SOFTWARE\\Consumer", "sGreeting", &type, text, size) || std::string(text) != "hello") {
    std::fprintf(stderr, "consumer: the store gave back something else\n");
    return 1;
  }

  ZnThreadPool pool;
  pool.initThreadPool("consumer", 1, 1, 2, 1);
  pool.doWork(&Work, nullptr);
  pool.waitForAllThreads(true, true, true, 30);
  if (g_ran.load() != 1) {
    std::fprintf(stderr, "consumer: the work item ran %d times\n", g_ran.load());
    return 1;
  }

  ZnStdVersion version;
  if (!GetAllInfoFromVersionStr("11.32.5", version) || version.servicePack != 32) {
    std::fprintf(stderr, "consumer: the version did not parse\n");
    return 1;
  }
  std::printf("consumer: ok\n");
  return 0;
}
