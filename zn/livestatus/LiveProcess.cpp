// Who wrote a live status record, and whether that process still runs.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

#include "zn/livestatus/LiveStatus.h"

namespace zn {
namespace {

struct StatFields {
  char state = '?';
  unsigned long long startTicks = 0;
};

// /proc/<pid>/stat: the state and the start time follow the command
// name, which may itself hold blanks and ")".
bool ReadStat(long pid, StatFields& fields) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return false;
  const auto close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream rest(line.substr(close + 1));
  std::string field;
  for (int index = 0; rest >> field; ++index) {
    if (index == 0) fields.state = field.empty() ? '?' : field[0];
    if (index == 19) {  // field 22 of the line
      const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), fields.startTicks);
      return error == std::errc() && end == field.data() + field.size();
    }
  }
  return false;
}

std::string BootId() {
  std::ifstream file("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(file, id);
  return id;
}

// Seconds since 1970 of the boot ("btime" of /proc/stat).
long long BootTime() {
  std::ifstream file("/proc/stat");
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("btime ", 0) != 0) continue;
    long long seconds = 0;
    std::from_chars(line.data() + 6, line.data() + line.size(), seconds);
    return seconds;
  }
  return 0;
}

}  // namespace

LiveProcessIdentity ThisLiveProcess() {
  LiveProcessIdentity identity;
  identity.pid = static_cast<long>(::getpid());
  StatFields fields;
  if (ReadStat(identity.pid, fields)) identity.startTicks = fields.startTicks;
  identity.bootId = BootId();
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  identity.startedAt = BootTime() + static_cast<long long>(identity.startTicks / (ticksPerSecond > 0 ? ticksPerSecond : 100));
  return identity;
}

LiveProcessState CheckLiveProcess(const LiveProcessIdentity& identity) {
  if (identity.pid <= 0) return LiveProcessState::kEnded;
  if (identity.bootId != BootId()) return LiveProcessState::kEnded;  // written before this boot
  if (::kill(static_cast<pid_t>(identity.pid), 0) != 0 && errno == ESRCH) return LiveProcessState::kEnded;
  StatFields fields;
  // A process that exists but whose /proc entry is hidden (hidepid) can
  // be neither confirmed nor ruled out.
  if (!ReadStat(identity.pid, fields)) return LiveProcessState::kUnverified;
  if (fields.state == 'Z' || fields.state == 'X') return LiveProcessState::kEnded;
  return fields.startTicks == identity.startTicks ? LiveProcessState::kRunning : LiveProcessState::kEnded;
}

const char* LiveProcessStateName(LiveProcessState state) {
  switch (state) {
    case LiveProcessState::kRunning: return "running";
    case LiveProcessState::kUnverified: return "unverified";
    case LiveProcessState::kEnded: return "ended";
  }
  return "ended";
}

}  // namespace zn
