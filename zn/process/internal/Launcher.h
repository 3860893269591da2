// Starting a child process and owning it until it has been reaped: the one
// mechanism under ZnProcess, ZnProcess::system and ZNChildProcess.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "zuzazer/FXUniqueFd.h"

namespace zn::detail {

// Who the child runs as, when not as the caller.
struct ChildIdentity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
};

struct LaunchSpec {
  std::vector<std::string> argv;  // argv[0] is the program; no '/' searches PATH
  // Every "name=value" of the child's environment; unset: the caller's own.
  std::optional<std::vector<std::string>> environment;
  // The child's standard input, output and error. With none given the child
  // has the caller's own three; with some given the others are /dev/null.
  int standardFds[3] = {-1, -1, -1};
  std::string directory;     // empty: the caller's
  int niceValue = 0;         // applied in the child before exec when not 0
  std::optional<ChildIdentity> identity;
  bool newSession = false;   // setsid: no controlling terminal of the caller's
};

// What the start found out besides the process.
struct LaunchOutcome {
  int error = 0;          // errno of a failed start (the exec's own included)
  int niceError = 0;      // errno when the nice value was refused (the child runs at 0)
};

// A started child: its pid and a pidfd on it. Waits never sleep in loops;
// a child not waited for when the object goes is reaped in the background,
// so no zombie stays behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess() { release(); }
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool running() const { return m_pid > 0 && !m_reaped; }
  bool valid() const { return m_pid > 0; }
  pid_t pid() const { return m_pid; }
  int pidfd() const { return m_pidfd.get(); }

  // Waits up to `timeoutMs` (negative: no limit). 0 and the exit code
  // (128 + the signal for a child killed by one), ETIMEDOUT, or errno.
  int wait(long long timeoutMs, int& exitCode);
  // SIGKILL through the pidfd, then reaps. 0 or errno.
  int kill();
  // Gives the child up: reaped now if it has ended, else in the background.
  void release();

  // Used by Launch.
  void adopt(pid_t pid, yq::UniqueFd pidfd);

 private:
  pid_t m_pid = -1;
  yq::UniqueFd m_pidfd;
  bool m_reaped = false;
  int m_exitCode = 0;
};

// Starts the child: posix_spawn with only the listed descriptors passed on
// when it can, fork + exec when the child must change its nice value or its
// identity first. true and the child, or false with outcome.error set.
bool Launch(const LaunchSpec& spec, ChildProcess& child, LaunchOutcome& outcome);

// The "name=value" strings of the caller's environment with `overrides`
// put over them: a name already there keeps its place, new names follow in
// the order given.
std::vector<std::string> MergeEnvironment(char* const* inherited,
                                          const std::vector<std::pair<std::string, std::string>>& overrides);

// Descriptors as the suite's handles carry them: fd + 1, null for none.
inline void* HandleFromFd(int fd) { return fd < 0 ? nullptr : reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1); }
inline int FdFromHandle(void* handle) {
  return handle == nullptr ? -1 : static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1);
}

}  // namespace zn::detail
