#include "zn/sync/LockTracking.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>

#include "zn/log/LogSettings.h"
#include "zuzazer/FXThreadId.h"

namespace zn {
namespace {

std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

bool LockTracking::Enabled() {
  static const bool enabled = LogSettings::NumberOr(kMachineKey, "LogLocks", 0) != 0;
  return enabled;
}

void LockTracking::Record(const std::string& lockName) {
  if (!Enabled() || lockName.empty()) return;
  const time_t now = ::time(nullptr);
  char when[32] = "";
  ::ctime_r(&now, when);
  std::string stamp = when;
  while (!stamp.empty() && (stamp.back() == '\n' || stamp.back() == '\r')) stamp.pop_back();
  char text[PATH_MAX + 128];
  std::snprintf(text, sizeof text, "%d:%d:%s:%s", static_cast<int>(::getpid()),
                static_cast<int>(yq::CurrentThreadId()), ProgramPath().c_str(), stamp.c_str());
  LogSettings::Set(kLocksKey, lockName, text);
}

void LockTracking::Forget(const std::string& lockName) {
  if (!Enabled() || lockName.empty()) return;
  LogSettings::Remove(kLocksKey, lockName);
}

}  // namespace zn
