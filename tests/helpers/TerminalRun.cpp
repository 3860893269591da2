#include "helpers/TerminalRun.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "helpers/AdminRunner.h"

namespace zn::test {

TerminalOutcome RunOnTerminal(const std::string& program, const std::vector<std::string>& args,
                              const Dialogue& dialogue) {
  TerminalOutcome run;
  int master = -1;
  int slave = -1;
  int out[2];
  int err[2];
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return run;
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
  const std::string path = ProgramBesideTests(program);
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();
    ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(slave, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(master);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(slave);
  ::close(out[1]);
  ::close(err[1]);
  std::size_t answered = 0;
  std::size_t searchedFrom = 0;
  bool outOpen = true;
  bool errOpen = true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char chunk[4096];
  while (outOpen || errOpen) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    struct pollfd fds[3] = {{out[0], static_cast<short>(outOpen ? POLLIN : 0), 0},
                            {err[0], static_cast<short>(errOpen ? POLLIN : 0), 0},
                            {master, POLLIN, 0}};
    if (left <= 0 || ::poll(fds, 3, static_cast<int>(left)) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    if (fds[2].revents & POLLIN) {
      const ssize_t n = ::read(master, chunk, sizeof chunk);
      if (n > 0) run.terminal.append(chunk, static_cast<std::size_t>(n));
    }
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
        continue;
      }
      (i == 0 ? run.out : run.err).append(chunk, static_cast<std::size_t>(n));
    }
    // Type the next reply once its prompt is shown.
    while (answered < dialogue.size()) {
      const std::size_t at = run.err.find(dialogue[answered].first, searchedFrom);
      if (at == std::string::npos) break;
      searchedFrom = at + dialogue[answered].first.size();
      const std::string typed = dialogue[answered].second + "\n";
      (void)!::write(master, typed.data(), typed.size());
      ++answered;
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  // What the terminal still holds.
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;) run.terminal.append(chunk, static_cast<std::size_t>(n));
  ::close(out[0]);
  ::close(err[0]);
  ::close(master);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace zn::test
