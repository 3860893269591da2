// Shared pieces of the file tests: writing and examining files, the older
// debug output captured in a folder of the test's own, and work done in a
// forked child (optionally as an unprivileged user) with bounded waits.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "helpers/TempDir.h"
#include "zn/debuggable/ZNTDebuggable.h"

namespace zn::test::files {

inline constexpr auto kFileWaitLimit = std::chrono::seconds(60);
inline constexpr uid_t kNobody = 65534;

inline void WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::close(fd);
}

inline bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

inline struct stat LStat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// Polls `predicate` until it holds or the limit passes.
template <typename Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds limit = kFileWaitLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The older debug output (ZNTDebuggable) at level 1, written to a folder of
// this test's own: every object made while it lives writes "log.out" there.
class DebugOutput {
 public:
  DebugOutput() {
    ::setenv("ZN_DEBUGGABLE_DIR", m_dir.path().c_str(), 1);
    ::close(::open(m_dir.file("CXIndexLogging").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ZNTDebuggable::logEvents(1);
    ZNTDebuggable::debugMask = 1;
  }
  ~DebugOutput() {
    ZNTDebuggable::debugMask = 0;
    ::unsetenv("ZN_DEBUGGABLE_DIR");
  }
  DebugOutput(const DebugOutput&) = delete;
  DebugOutput& operator=(const DebugOutput&) = delete;

  const std::string& folder() const { return m_dir.path(); }
  // What the objects of this process wrote ("log.out", or the per-process
  // name that an unprivileged child falls back to).
  std::string text(pid_t pid = 0) const {
    return ReadFile(pid == 0 ? m_dir.file("log.out") : m_dir.file("log" + std::to_string(pid) + ".out"));
  }
  bool has(const std::string& line, pid_t pid = 0) const { return text(pid).find(line) != std::string::npos; }

 private:
  TempDir m_dir;
};

// A forked child running `work`; its exit code is what `work` returns (or
// 100 + the signal that ended it). The child dies with the test process.
class Child {
 public:
  // With `asUser`, the child gives up root for that uid (and gid) first.
  explicit Child(const std::function<int()>& work, uid_t asUser = static_cast<uid_t>(-1)) {
    m_pid = ::fork();
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (asUser != static_cast<uid_t>(-1)) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(asUser, asUser, asUser) != 0 ||
            ::setresuid(asUser, asUser, asUser) != 0) {
          ::_exit(99);
        }
      }
      const int code = work();
      ::_exit(code);
    }
  }
  ~Child() {
    if (m_pid > 0 && !m_reaped) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return m_pid; }
  // The exit code, or -1 when it did not end within the limit.
  int wait(std::chrono::milliseconds limit = kFileWaitLimit) {
    if (m_reaped) return m_code;
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit);
    if (!ended) return -1;
    m_reaped = true;
    m_code = WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    return m_code;
  }

 private:
  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_code = -1;
};

// A pipe for one-byte messages between a parent and its child.
class Signal {
 public:
  Signal() {
    if (::pipe2(m_fds, O_CLOEXEC) != 0) m_fds[0] = m_fds[1] = -1;
  }
  ~Signal() {
    for (const int fd : m_fds) {
      if (fd >= 0) ::close(fd);
    }
  }
  Signal(const Signal&) = delete;
  Signal& operator=(const Signal&) = delete;

  void send(char c = '.') const { [[maybe_unused]] ssize_t n = ::write(m_fds[1], &c, 1); }
  // The next byte, or 0 when none came within the limit.
  char receive(std::chrono::milliseconds limit = kFileWaitLimit) const {
    struct pollfd p = {m_fds[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) != 1) return 0;
    char c = 0;
    return ::read(m_fds[0], &c, 1) == 1 ? c : 0;
  }

 private:
  int m_fds[2] = {-1, -1};
};

inline bool IsRoot() { return ::geteuid() == 0; }

}  // namespace zn::test::files
