#include "zn/process/MDProcess.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <string>

#include "zn/util/ZNProcessId.h"
#include "zuzazer/FXUniqueFd.h"

namespace {

std::string ProcText(unsigned long pid, const char* what) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + what);
  std::string text;
  std::getline(in, text);
  return text;
}

}  // namespace

MDProcess::MDProcess(unsigned long pid, unsigned long long startTime, const char* name)
    : m_pid(pid), m_startTime(startTime), m_name(name != nullptr ? name : "") {}

MDProcess MDProcess::current() {
  ZNProcessId self;
  self.thisProcess();
  MDProcess process(self.getPid(), self.getCreationTime());
  process.m_name = process.getRunningProcessName();
  return process;
}

bool MDProcess::isAlive() const {
  if (m_pid == 0 || m_pid > static_cast<unsigned long>(INT_MAX)) return false;
  ZNProcessId id(m_pid);
  if (!id.isRunning()) return false;
  return m_startTime == 0 || id.getCreationTime() == m_startTime;
}

bool MDProcess::terminate() const {
  if (m_pid == 0 || m_pid > static_cast<unsigned long>(INT_MAX)) return false;
  // Open the process first, then check it is ours: a pidfd keeps naming the
  // process it was opened on.
  yq::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(m_pid), 0)));
  if (!pidfd || !isAlive()) return false;
  return ::syscall(SYS_pidfd_send_signal, pidfd.get(), SIGKILL, nullptr, 0) == 0;
}

std::string MDProcess::getRunningProcessName() const {
  if (m_pid == 0 || !isAlive()) return std::string();
  char target[PATH_MAX];
  const std::string link = "/proc/" + std::to_string(m_pid) + "/exe";
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n > 0) {
    std::string path(target, static_cast<std::size_t>(n));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
      path.resize(path.size() - deleted.size());
    }
    return path.substr(path.find_last_of('/') + 1);
  }
  return ProcText(m_pid, "comm");
}

unsigned long long MDProcess::getRunningProcessStartTime() const {
  if (m_pid == 0 || m_pid > static_cast<unsigned long>(INT_MAX)) return 0;
  ZNProcessId id(m_pid);
  return id.isRunning() ? id.getCreationTime() : 0;
}

bool MDProcess::operator==(const MDProcess& other) const {
  if (m_pid != other.m_pid) return false;
  return m_startTime == 0 || other.m_startTime == 0 || m_startTime == other.m_startTime;
}
