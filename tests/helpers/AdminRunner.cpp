#include "helpers/AdminRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <filesystem>

namespace zn::test {

namespace {

std::string BesideTests(const std::string& program) {
  char self[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return program;
  return (std::filesystem::path(std::string(self, static_cast<std::size_t>(n))).parent_path() / program).string();
}

// The test's environment with `changes`, for execve: built before the fork,
// since a child of a threaded process may not allocate.
std::vector<std::string> Environment(const EnvironmentChanges& changes) {
  std::vector<std::string> entries;
  for (char** at = environ; *at != nullptr; ++at) {
    const std::string entry = *at;
    const std::string name = entry.substr(0, entry.find('='));
    bool changed = false;
    for (const auto& [variable, value] : changes) changed = changed || variable == name;
    if (!changed) entries.push_back(entry);
  }
  for (const auto& [variable, value] : changes) {
    if (value) entries.push_back(variable + "=" + *value);
  }
  return entries;
}

}  // namespace

std::string ProgramBesideTests(const std::string& program) { return BesideTests(program); }

AdminOutcome RunAdmin(const std::vector<std::string>& args, const std::string& input,
                      const EnvironmentChanges& changes) {
  return RunProgram("znadmin", args, input, changes);
}

AdminOutcome RunProgram(const std::string& name, const std::vector<std::string>& args, const std::string& input,
                        const EnvironmentChanges& changes) {
  AdminOutcome run;
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return run;
  const std::string program = BesideTests(name);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> environment = Environment(changes);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::signal(SIGPIPE, SIG_IGN);
  for (std::size_t done = 0; done < input.size();) {
    const ssize_t n = ::write(in[1], input.data() + done, input.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(in[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open = 2;
  while (open > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || ::poll(fds, 2, static_cast<int>(left)) <= 0) {
      ::kill(pid, SIGKILL);
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        sinks[i]->append(chunk, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) ::close(fd.fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

RunningProgram::RunningProgram(const std::string& program, std::vector<std::string> args) {
  const std::string path = BesideTests(program);
  args.insert(args.begin(), path);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  m_pid = ::fork();
  if (m_pid == 0) {
    ::dup2(fds[1], 1);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(path.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  m_out = fds[0];
  ::fcntl(m_out, F_SETFL, O_NONBLOCK);
}

RunningProgram::~RunningProgram() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  if (m_out >= 0) ::close(m_out);
}

void RunningProgram::signal(int signal) {
  if (m_pid > 0) ::kill(m_pid, signal);
}

bool RunningProgram::waitForOutput(const std::string& text, int limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (output().find(text) == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0 || m_out < 0) return false;
    struct pollfd fd = {m_out, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left)) > 0 && (fd.revents & (POLLHUP | POLLERR)) != 0 &&
        (fd.revents & POLLIN) == 0) {
      return output().find(text) != std::string::npos;  // it has ended
    }
  }
  return true;
}

const std::string& RunningProgram::output() {
  char chunk[4096];
  for (ssize_t n; (n = ::read(m_out, chunk, sizeof chunk)) > 0;) m_text.append(chunk, static_cast<std::size_t>(n));
  return m_text;
}

int RunningProgram::wait(int limitMs) {
  if (m_pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  int status = 0;
  while (::waitpid(m_pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    output();
    ::usleep(10000);
  }
  m_pid = -1;
  output();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zn::test
