#include "zn/process/internal/Launcher.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace zn::detail {
namespace {

int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

int ExitCodeFromStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return status;
}

// Waits until the pidfd turns readable (the child has ended). 0, ETIMEDOUT
// or errno; EINTR restarts with what is left of the time.
int PollEnd(int pidfd, long long timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  while (true) {
    int slice = -1;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      slice = static_cast<int>(std::min<long long>(std::max<long long>(left, 0), INT_MAX));
    }
    struct pollfd entry = {pidfd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, slice);
    if (ready > 0) return 0;
    if (ready == 0) {
      if (timeoutMs >= 0 && Clock::now() >= deadline) return ETIMEDOUT;
      continue;
    }
    if (errno != EINTR) return errno;
  }
}

int ReapNow(pid_t pid, int& status) {
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// Copies of the standard descriptors above 2, so that placing them on 0, 1
// and 2 in the child never overwrites one still to be placed.
struct StandardCopies {
  yq::UniqueFd fds[3];
  bool any = false;
};

int CopyStandardFds(const LaunchSpec& spec, StandardCopies& copies) {
  for (int i = 0; i < 3; ++i) {
    if (spec.standardFds[i] < 0) continue;
    copies.any = true;
    const int copy = ::fcntl(spec.standardFds[i], F_DUPFD_CLOEXEC, 3);
    if (copy < 0) return errno;
    copies.fds[i].reset(copy);
  }
  return 0;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  out.reserve(texts.size() + 1);
  for (const std::string& text : texts) out.push_back(const_cast<char*>(text.c_str()));
  out.push_back(nullptr);
  return out;
}

bool SearchesPath(const std::string& program) { return program.find('/') == std::string::npos; }

bool SpawnChild(const LaunchSpec& spec, const StandardCopies& copies, pid_t& pid, LaunchOutcome& outcome) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if ((outcome.error = ::posix_spawn_file_actions_init(&actions)) != 0) return false;
  if ((outcome.error = ::posix_spawnattr_init(&attributes)) != 0) {
    ::posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  int rc = 0;
  if (copies.any) {
    for (int i = 0; i < 3 && rc == 0; ++i) {
      rc = copies.fds[i] ? ::posix_spawn_file_actions_adddup2(&actions, copies.fds[i].get(), i)
                         : ::posix_spawn_file_actions_addopen(&actions, i, "/dev/null", O_RDWR, 0);
    }
  }
  if (rc == 0) rc = ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (rc == 0 && !spec.directory.empty()) rc = ::posix_spawn_file_actions_addchdir_np(&actions, spec.directory.c_str());
  sigset_t defaults;
  sigset_t empty;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigemptyset(&empty);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (spec.newSession) flags |= POSIX_SPAWN_SETSID;
  if (rc == 0) rc = ::posix_spawnattr_setsigdefault(&attributes, &defaults);
  if (rc == 0) rc = ::posix_spawnattr_setsigmask(&attributes, &empty);
  if (rc == 0) rc = ::posix_spawnattr_setflags(&attributes, flags);
  if (rc == 0) {
    std::vector<char*> argv = Pointers(spec.argv);
    std::vector<char*> envp = spec.environment ? Pointers(*spec.environment) : std::vector<char*>();
    char* const* environment = spec.environment ? envp.data() : environ;
    rc = SearchesPath(spec.argv[0]) ? ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environment)
                                    : ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environment);
  }
  ::posix_spawnattr_destroy(&attributes);
  ::posix_spawn_file_actions_destroy(&actions);
  outcome.error = rc;
  return rc == 0;
}

// What the forked child tells the parent through its close-on-exec pipe
// before exec: a refused nice value (it goes on) or a failed step (it ends).
struct ChildReport {
  int fatal;
  int error;
};

[[noreturn]] void ChildFails(int pipeFd, int error) {
  const ChildReport report = {1, error};
  [[maybe_unused]] const ssize_t n = ::write(pipeFd, &report, sizeof report);
  ::_exit(127);
}

// Runs in the forked child: only calls that are safe after fork.
[[noreturn]] void RunForkedChild(const LaunchSpec& spec, const StandardCopies& copies, int pipeFd, char* const* argv,
                                 char* const* envp) {
  sigset_t empty;
  sigemptyset(&empty);
  ::sigprocmask(SIG_SETMASK, &empty, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  if (spec.newSession && ::setsid() < 0) ChildFails(pipeFd, errno);
  if (spec.niceValue != 0 && ::setpriority(PRIO_PROCESS, 0, spec.niceValue) != 0) {
    const ChildReport report = {0, errno};
    [[maybe_unused]] const ssize_t n = ::write(pipeFd, &report, sizeof report);
  }
  if (copies.any) {
    for (int i = 0; i < 3; ++i) {
      if (copies.fds[i]) {
        if (::dup2(copies.fds[i].get(), i) < 0) ChildFails(pipeFd, errno);
        continue;
      }
      const int null = ::open("/dev/null", O_RDWR);
      if (null < 0) ChildFails(pipeFd, errno);
      if (null != i) {
        if (::dup2(null, i) < 0) ChildFails(pipeFd, errno);
        ::close(null);
      }
    }
  }
  if (pipeFd > 3) ::syscall(SYS_close_range, 3u, static_cast<unsigned>(pipeFd - 1), 0u);
  ::syscall(SYS_close_range, static_cast<unsigned>(pipeFd + 1), ~0u, 0u);
  if (spec.identity) {
    const ChildIdentity& who = *spec.identity;
    if (::setgroups(who.groups.size(), who.groups.data()) != 0) ChildFails(pipeFd, errno);
    if (::setgid(who.gid) != 0) ChildFails(pipeFd, errno);
    if (::setuid(who.uid) != 0) ChildFails(pipeFd, errno);
  }
  if (!spec.directory.empty() && ::chdir(spec.directory.c_str()) != 0) ChildFails(pipeFd, errno);
  if (SearchesPath(spec.argv[0])) {
    ::execvpe(argv[0], argv, envp);
  } else {
    ::execve(argv[0], argv, envp);
  }
  ChildFails(pipeFd, errno);
}

bool ForkChild(const LaunchSpec& spec, const StandardCopies& copies, pid_t& pid, LaunchOutcome& outcome) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    outcome.error = errno;
    return false;
  }
  yq::UniqueFd readEnd(fds[0]);
  yq::UniqueFd writeEnd(fds[1]);
  std::vector<char*> argv = Pointers(spec.argv);
  std::vector<char*> envp = spec.environment ? Pointers(*spec.environment) : std::vector<char*>();
  char* const* environment = spec.environment ? envp.data() : environ;
  pid = ::fork();
  if (pid < 0) {
    outcome.error = errno;
    return false;
  }
  if (pid == 0) RunForkedChild(spec, copies, writeEnd.get(), argv.data(), environment);
  writeEnd.reset();
  ChildReport report{};
  while (true) {
    const ssize_t n = ::read(readEnd.get(), &report, sizeof report);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof report)) break;  // exec closed the pipe
    if (report.fatal == 0) {
      outcome.niceError = report.error;
      continue;
    }
    outcome.error = report.error;
    int status = 0;
    ReapNow(pid, status);
    pid = -1;
    return false;
  }
  return true;
}

}  // namespace

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)),
      m_pidfd(std::move(other.m_pidfd)),
      m_reaped(other.m_reaped),
      m_exitCode(other.m_exitCode) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    release();
    m_pid = std::exchange(other.m_pid, -1);
    m_pidfd = std::move(other.m_pidfd);
    m_reaped = other.m_reaped;
    m_exitCode = other.m_exitCode;
  }
  return *this;
}

void ChildProcess::adopt(pid_t pid, yq::UniqueFd pidfd) {
  release();
  m_pid = pid;
  m_pidfd = std::move(pidfd);
  m_reaped = false;
  m_exitCode = 0;
}

int ChildProcess::wait(long long timeoutMs, int& exitCode) {
  if (m_pid <= 0) return ECHILD;
  if (!m_reaped) {
    if (m_pidfd) {
      const int rc = PollEnd(m_pidfd.get(), timeoutMs);
      if (rc != 0) return rc;
    }
    int status = 0;
    const int rc = ReapNow(m_pid, status);
    if (rc != 0) return rc;
    m_reaped = true;
    m_exitCode = ExitCodeFromStatus(status);
  }
  exitCode = m_exitCode;
  return 0;
}

int ChildProcess::kill() {
  if (m_pid <= 0) return ECHILD;
  if (m_reaped) return 0;
  if (::syscall(SYS_pidfd_send_signal, m_pidfd.get(), SIGKILL, nullptr, 0) != 0) return errno;
  int exitCode = 0;
  return wait(-1, exitCode);
}

void ChildProcess::release() {
  if (m_pid > 0 && !m_reaped) {
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == 0) {
      // Still running: a thread of its own waits for it, as Windows keeps a
      // process whose handles were closed running.
      std::thread([pid = m_pid, fd = std::move(m_pidfd)] {
        if (fd) PollEnd(fd.get(), -1);
        int ignored = 0;
        ReapNow(pid, ignored);
      }).detach();
    }
  }
  m_pid = -1;
  m_pidfd.reset();
  m_reaped = false;
  m_exitCode = 0;
}

bool Launch(const LaunchSpec& spec, ChildProcess& child, LaunchOutcome& outcome) {
  outcome = LaunchOutcome{};
  if (spec.argv.empty() || spec.argv[0].empty()) {
    outcome.error = ENOENT;
    return false;
  }
  StandardCopies copies;
  if ((outcome.error = CopyStandardFds(spec, copies)) != 0) return false;
  pid_t pid = -1;
  const bool forked = spec.niceValue != 0 || spec.identity.has_value();
  if (!(forked ? ForkChild(spec, copies, pid, outcome) : SpawnChild(spec, copies, pid, outcome))) return false;
  yq::UniqueFd pidfd(PidfdOpen(pid));
  if (!pidfd) {
    // Not reaped yet, so the pid cannot have been reused: the plain wait
    // still works, only without a time-out.
    outcome.error = 0;
  }
  child.adopt(pid, std::move(pidfd));
  return true;
}

std::vector<std::string> MergeEnvironment(char* const* inherited,
                                          const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> out;
  std::vector<bool> used(overrides.size(), false);
  for (char* const* entry = inherited; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::size_t equals = text.find('=', text.empty() ? 0 : 1);
    const std::string_view name = text.substr(0, equals);
    bool replaced = false;
    for (std::size_t i = 0; i < overrides.size() && !replaced; ++i) {
      if (!used[i] && overrides[i].first == name) {
        out.push_back(overrides[i].first + "=" + overrides[i].second);
        used[i] = true;
        replaced = true;
      }
    }
    if (!replaced) out.emplace_back(text);
  }
  for (std::size_t i = 0; i < overrides.size(); ++i) {
    if (!used[i]) out.push_back(overrides[i].first + "=" + overrides[i].second);
  }
  return out;
}

}  // namespace zn::detail
