// Helpers shared by the synchronisation tests: bounded waiting, unique
// machine-wide names, pipes and forked helper processes.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "zn/error/ZnException.h"
#include "zn/sync/NamedKernelObject.h"

namespace zn::test {

inline constexpr auto kWaitLimit = std::chrono::seconds(30);
inline constexpr unsigned long kWaitLimitMs = 30000;
// How long a blocked thread or process is watched to see that it stays
// blocked. A wrong admission shows up within this time.
inline constexpr auto kStaysBlocked = std::chrono::milliseconds(150);
inline constexpr auto kReady = std::future_status::ready;
inline constexpr auto kPending = std::future_status::timeout;

// Polls `predicate` until it holds or `limit` passes.
template <typename Predicate>
bool PollUntil(Predicate predicate, std::chrono::milliseconds limit = kWaitLimit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Named objects are machine-wide and test processes run in parallel.
inline std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return "zntest." + tag + "." + std::to_string(::getpid()) + "." + std::to_string(++counter);
}

// Permission bits of the object's /dev/shm segment, -1 when it does not exist.
inline int SegmentMode(const std::string& name) {
  struct stat st {};
  const std::string path = "/dev/shm" + zn::NamedKernelObject::SegmentName(name);
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}
inline bool SegmentExists(const std::string& name) { return SegmentMode(name) != -1; }

// Checks the function name and message of the ZnException `call` throws.
template <typename Call>
void ExpectZnException(Call call, const char* function, const char* message) {
  try {
    call();
    ADD_FAILURE() << "no ZnException; expected \"" << message << "\"";
  } catch (const ZnException& e) {
    EXPECT_STREQ(e.getFuncName(), function);
    EXPECT_STREQ(e.getMessage(), message);
  }
}

// A pipe carrying one-byte messages between processes.
class Pipe {
 public:
  Pipe() {
    if (::pipe(m_fds) != 0) m_fds[0] = m_fds[1] = -1;
  }
  ~Pipe() {
    for (const int fd : m_fds) {
      if (fd >= 0) ::close(fd);
    }
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  bool send(char c) { return ::write(m_fds[1], &c, 1) == 1; }
  // The next byte, or -1 when none arrives within `limit`.
  int receive(std::chrono::milliseconds limit = kWaitLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      struct pollfd p = {m_fds[0], POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready != 1) return -1;
      char c = 0;
      return ::read(m_fds[0], &c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
    }
  }

 private:
  int m_fds[2] = {-1, -1};
};

// Runs `body` in a forked child that exits with its result (98 when it
// throws). The child dies with the test process; a child still running
// when the object goes is killed.
class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int()>& body) {
    m_pid = ::fork();
    if (m_pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      int code = 98;
      try {
        code = body();
      } catch (...) {
      }
      ::_exit(code);  // no exit handlers: the parent's objects are not ours
    }
  }
  ~ChildProcess() {
    if (m_pid > 0 && !m_reaped) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return m_pid; }
  void kill() { ::kill(m_pid, SIGKILL); }

  // Exit code; minus the signal number when killed; -1000 when still running
  // after `limit`.
  int wait(std::chrono::milliseconds limit = kWaitLimit) {
    if (m_reaped) return m_result;
    int status = 0;
    const bool done = PollUntil([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, limit);
    if (!done) return -1000;
    m_reaped = true;
    m_result = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return m_result;
  }

 private:
  pid_t m_pid = -1;
  bool m_reaped = false;
  int m_result = 0;
};

// Runs `take` in a child until it holds a lock (true), then `whileHeld`
// here, then kills the child still holding it. `take` leaks its lock object.
inline void KillChildHolding(const std::function<bool()>& take, const std::function<void()>& whileHeld) {
  Pipe toParent;
  ChildProcess child([&] {
    if (!take()) return 2;
    toParent.send('h');
    ::pause();
    return 0;
  });
  ASSERT_EQ(toParent.receive(), 'h');
  whileHeld();
  child.kill();
  EXPECT_EQ(child.wait(), -SIGKILL);
}

}  // namespace zn::test
