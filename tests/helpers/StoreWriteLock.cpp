#include "helpers/StoreWriteLock.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace zn::test {

StoreWriteLock::StoreWriteLock(const std::string& store, const std::string& statements) {
  int input[2], output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) return;
  if (::pipe2(output, O_CLOEXEC) != 0) {
    ::close(input[0]);
    ::close(input[1]);
    return;
  }
  m_pid = ::fork();
  if (m_pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(input[0], 0);
    ::dup2(output[1], 1);
    ::execlp("sqlite3", "sqlite3", "-batch", store.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(input[0]);
  ::close(output[1]);
  m_input = input[1];
  m_output = output[0];
  // The shell answers the last line only once the lock is taken.
  const std::string script = ".bail on\nBEGIN IMMEDIATE;\n" + statements + "\nSELECT 'held';\n";
  if (::write(m_input, script.data(), script.size()) != static_cast<ssize_t>(script.size())) release();
}

StoreWriteLock::~StoreWriteLock() { release(); }

bool StoreWriteLock::held() {
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!m_held && m_output >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    struct pollfd fd = {m_output, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[256];
    const ssize_t n = ::read(m_output, chunk, sizeof chunk);
    if (n <= 0) break;
    seen.append(chunk, static_cast<std::size_t>(n));
    m_held = seen.find("held\n") != std::string::npos;
  }
  return m_held;
}

void StoreWriteLock::release() {
  if (m_input >= 0) ::close(m_input);
  m_input = -1;
  if (m_pid > 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::waitpid(m_pid, nullptr, WNOHANG) != m_pid) {
      if (std::chrono::steady_clock::now() >= deadline) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  m_pid = -1;
  if (m_output >= 0) ::close(m_output);
  m_output = -1;
  m_held = false;
}

}  // namespace zn::test
