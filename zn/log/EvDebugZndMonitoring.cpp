// The watch over the local service daemon that EvDebug::initialize starts
// once per process when a termination callback is registered: a thread
// that waits for the daemon to end, then lets the callback decide or ends
// the process.

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <memory>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/log/internal/EvDebugModule.h"
#include "zn/log/LogSettings.h"
#include "zn/log/LogTesting.h"
#include "zn/log/ZndTerminationHooks.h"
#include "zn/thread/ZnThread.h"
#include "zuzazer/FXString.h"
#include "zuzazer/YqSleep.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr const char* kZndSection = "Znd";
constexpr const char* kDisableMonitoring = "nDisableZNDMonitoring";
constexpr unsigned long kShutdownGraceMs = 20000;
constexpr std::size_t kPathBuffer = 260;

// Written while the library loads, read afterwards.
zn::ZndTerminationHooks g_hooks;
std::atomic<unsigned long> g_shutdownGraceMs{kShutdownGraceMs};

bool MonitoringDisabled() {
  return zn::LogSettings::Number(kZndSection, kDisableMonitoring).value_or(0) != 0;
}

}  // namespace

void zn::InstallZndTerminationHooks(const ZndTerminationHooks& hooks) { g_hooks = hooks; }

namespace zn::detail {

bool ZndTerminationCallbackRegistered() {
  return g_hooks.registeredCallback != nullptr && g_hooks.registeredCallback() != nullptr;
}

}  // namespace zn::detail

void EvDebug::startMonitoringZND() {
  constexpr const char* kFunction = "EvDebug::startMonitoringZND";
  EvDebug log;
  if (MonitoringDisabled()) {
    log.Debug(kFunction, "Registry key [%s]/[%s] is set. Ignoring ZND monitoring", kZndSection, kDisableMonitoring);
    return;
  }
  std::string home = zn::LogSettings::HomeDirectory();
  if (home.empty()) {
    log.Error(kFunction, "Error retrieving home directory.");
    return;
  }
  char executable[kPathBuffer];
  const ssize_t length = ::readlink("/proc/self/exe", executable, sizeof executable);
  if (length < 0) {
    log.Error(kFunction, "Error identifying executable path. Error : [%u]",
              static_cast<unsigned>(yq::Win32FromErrno(errno)));
    return;
  }
  if (static_cast<std::size_t>(length) >= sizeof executable) {
    log.Error(kFunction, "Buffer size insufficient.");
    return;
  }
  executable[length] = '\0';
  const std::unique_ptr<char, decltype(&::free)> absolute(::realpath(executable, nullptr), &::free);
  if (!absolute) {
    log.Error(kFunction, "Unable to get absolute path for : [%s]", executable);
    return;
  }
  // The home as the installation names it, and as it resolves on disk (an
  // installation reached through a link).
  const std::unique_ptr<char, decltype(&::free)> resolvedHome(::realpath(home.c_str(), nullptr), &::free);
  const std::string path = FXString::ToUpper(absolute.get());
  const bool ours = path.find(FXString::ToUpper(home)) != std::string::npos ||
                    (resolvedHome && path.find(FXString::ToUpper(resolvedHome.get())) != std::string::npos);
  if (!ours) {
    log.Debug(kFunction, "(%s) is not a Tessaly process. Ignoring ZND termination", absolute.get());
    return;
  }
  ZnThread thread;
  if (thread.createThread(&EvDebug::WaitTillZNDTerminates, nullptr) == nullptr) {
    log.Error(kFunction, "Error creating thread to monitor ZND termination");
    return;
  }
  thread.endThread();  // it runs until the daemon ends
}

unsigned int EvDebug::WaitTillZNDTerminates(void* /*unused*/) {
  if (g_hooks.waitForTermination == nullptr || !g_hooks.waitForTermination()) return 0;
  if (MonitoringDisabled()) {
    EvDebug().Debug("EvDebug::WaitTillZNDTerminates", "Registry key [%s]/[%s] is set. Ignoring ZND termination",
                    kZndSection, kDisableMonitoring);
    return 0;
  }
  ShutDownProcess();
  return 0;
}

void EvDebug::ShutDownProcess() {
  constexpr const char* kFunction = "EvDebug::ShutDownProcess";
  EvDebug log;
  log.Error(kFunction, "ZND is down!");
  const zn::ZndTerminationCallback callback =
      g_hooks.registeredCallback != nullptr ? g_hooks.registeredCallback() : nullptr;
  if (callback != nullptr) {
    log.DebugLvl(kFunction, 10, "Notifying process : [%s] that ZND is down.", c_processName);
    bool handled = false;
    try {
      handled = callback();
    } catch (const std::exception& e) {
      log.Error(kFunction, "The ZND termination callback failed: %s", e.what());
    } catch (...) {
      log.Error(kFunction, "The ZND termination callback failed with an unknown exception");
    }
    if (handled) return;
  }
  YQSLEEP(g_shutdownGraceMs.load());
  log.Error(kFunction, "Shutting down process : [%s] as ZND is down", c_processName);
  // Lines are in the file once written; what the streaming service still
  // holds goes out before the process does.
  log.finalize();
  flushZnScaleLogs(0);
  ::_exit(1);
}

namespace zn::testing {

void SetZndShutdownGraceMs(unsigned long ms) { g_shutdownGraceMs.store(ms); }

}  // namespace zn::testing
