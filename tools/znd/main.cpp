// znd: a stand-in for the suite's local service daemon, as far as the
// other processes see it. While it runs it holds the alive mutex of its
// instance ("Global\ZNDALIVE-<focus>"), so services watching the daemon
// can tell when it ends: normally (SIGTERM, SIGINT, --seconds N: the mutex
// is released) or by being killed (the mutex is left abandoned).
//
//   znd [--seconds N]
//
// Prints "znd: holding <name>" once the mutex is held. Exit codes: 0 after
// a clean stop, 1 when the mutex cannot be made or another daemon of the
// instance holds it, 2 for a bad command line.

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/sync/NamedKernelObject.h"
#include "zn/znd/ZNDTerminationHandler.h"

namespace {

constexpr const char* kMain = "znd::main";

int Usage() {
  std::fprintf(stderr, "usage: znd [--seconds N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long seconds = 0;  // 0: until a signal
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      const char* text = argv[++i];
      const char* end = text + std::strlen(text);
      const auto [stop, error] = std::from_chars(text, end, seconds);
      if (error != std::errc() || stop != end || seconds < 0) return Usage();
    } else {
      return Usage();
    }
  }
  // The stop signals are taken by sigtimedwait below; blocked first, so
  // every thread the library starts inherits the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  EvDebug log;
  log.initialize(EvDebug::getLogId("znd"), 0, false);  // the daemon runs without its log too

  char name[ZNDTerminationHandler::kMutexNameSize];
  ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(name, sizeof name);
  std::unique_ptr<zn::NamedKernelObject> alive;
  bool created = false;
  // Every service of the machine must be able to open it, whoever runs it.
  const uint32_t error = zn::NamedKernelObject::Create(name, zn::NamedObjectType::kMutex, zn::NamedObjectInit(),
                                                       true, alive, created);
  if (error != 0) {
    std::fprintf(stderr, "znd: cannot make the alive mutex %s (error %u)\n", name, error);
    log.Error(kMain, "Cannot make the alive mutex [%s], error %u", name, error);
    return 1;
  }
  const zn::WaitOutcome held = alive->lockMutex(0);
  if (held != zn::WaitOutcome::kAcquired && held != zn::WaitOutcome::kAbandoned) {
    std::fprintf(stderr, "znd: another daemon holds %s\n", name);
    log.Error(kMain, "Another daemon holds [%s]", name);
    return 1;
  }
  log.Debug(kMain, "Holding [%s]%s", name, held == zn::WaitOutcome::kAbandoned ? " (left abandoned before)" : "");
  std::printf("znd: holding %s\n", name);
  std::fflush(stdout);

  const struct timespec limit = {static_cast<time_t>(seconds), 0};
  while ((seconds == 0 ? ::sigwaitinfo(&stopSignals, nullptr) : ::sigtimedwait(&stopSignals, nullptr, &limit)) < 0 &&
         errno == EINTR) {
  }

  alive->unlockMutex();
  log.Debug(kMain, "Released [%s]; stopping", name);
  return 0;
}
