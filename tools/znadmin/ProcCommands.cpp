// znadmin proc run [--user U] [--cpu-rate N] [--priority P] [--json] -- CMD ARGS...:
// runs a command as a service of the suite runs one, through the library's
// own launcher: the priority class and creation flags the store gives the
// program, standard output and error captured, optionally as another user
// and under a CPU cap. Prints the settings used, the exit code and what
// the command wrote.

#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Admin.h"
#include "zn/process/ZnProcess.h"
#include "zuzazer/FXString.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::admin {
namespace {

// The CPU cap is a named group, as a service's job object is: every run
// of this command shares it.
constexpr const char* kCpuGroup = "znadmin-proc";

const std::map<std::string, int> kPriorityLevels = {{"normal", 0}, {"below-normal", 1}, {"high", 2}};

struct RunOptions {
  std::vector<std::string> command;
  std::string user;
  int cpuRate = 0;
  bool cpuRateGiven = false;
  std::string priority = "normal";
  bool json = false;
};

std::string ArgumentsAfterProgram(const std::vector<std::string>& command) {
  return zn::CommandLineOf(std::vector<std::string>(command.begin() + 1, command.end()));
}

// The password of --user: the first line of standard input, read without
// echo when that is a terminal.
std::string ReadPassword() {
  const bool terminal = ::isatty(STDIN_FILENO) == 1;
  struct termios saved {};
  if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    std::cerr << "Password: " << std::flush;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string password;
  std::getline(std::cin, password);
  if (terminal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << "\n";
  }
  return password;
}

struct Pipe {
  yq::UniqueFd readEnd;
  yq::UniqueFd writeEnd;
  bool open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
  }
  void* writeHandle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(writeEnd.get()) + 1); }
};

// Both pipes read together: a command that fills one while we wait on the
// other must not stall.
void ReadBoth(int outputFd, int errorFd, std::string& output, std::string& error) {
  struct pollfd fds[2] = {{outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}};
  std::string* texts[2] = {&output, &error};
  char chunk[65536];
  for (int open = 2; open > 0;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw CommandError{kExitFailure, std::string("cannot read the command's output: ") + ::strerror(errno)};
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        texts[i]->append(chunk, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

int Run(RunOptions& options) {
  if (options.cpuRateGiven && (options.cpuRate < 1 || options.cpuRate > 99)) {
    return Fail("invalid CPU rate [" + std::to_string(options.cpuRate) + "]: give 1 to 99 (percent of one core)",
                kExitUsage);
  }
  RequireInstance();  // the priority and flags are the instance's store values
  const std::string& program = options.command.front();
  const int level = kPriorityLevels.at(options.priority);
  std::string priorityName;
  unsigned long creationFlags = 0;
  const unsigned long priorityClass = GetOSLevelPriority(priorityName, creationFlags, program.c_str(), level);

  std::wstring user;
  std::wstring domain;
  std::wstring password;
  if (!options.user.empty()) {
    const std::size_t cut = options.user.find('\\');
    user = FXString::ToWstring(cut == std::string::npos ? options.user : options.user.substr(cut + 1));
    if (cut != std::string::npos) domain = FXString::ToWstring(options.user.substr(0, cut));
    std::string text = ReadPassword();
    password = FXString::ToWstring(text);
    ::explicit_bzero(text.data(), text.size());
  }
  if (options.cpuRateGiven && ZnProcess::LimitCPURate(kCpuGroup, options.cpuRate) != 0) {
    return Fail("cannot cap the CPU rate at [" + std::to_string(options.cpuRate) +
                "]: the cgroup v2 hierarchy refused the group [" + kCpuGroup +
                "] (it needs a writable hierarchy with the cpu controller)");
  }

  Pipe out;
  Pipe err;
  if (!out.open() || !err.open()) return Fail(std::string("cannot make a pipe: ") + ::strerror(errno));
  ZnProcess process;
  char failure[1024] = {0};
  const std::string arguments = ArgumentsAfterProgram(options.command);
  const int started = process.StartProcessWithPriority(
      program.c_str(), arguments.c_str(), 0, 1, nullptr, out.writeHandle(), err.writeHandle(), failure,
      sizeof failure, user.empty() ? nullptr : user.c_str(), user.empty() ? nullptr : domain.c_str(),
      user.empty() ? nullptr : password.c_str(), nullptr, true, false, level);
  ::explicit_bzero(password.data(), password.size() * sizeof(wchar_t));
  out.writeEnd.reset();
  err.writeEnd.reset();
  if (started == 0) {
    const bool missing = std::string(failure) == yq::Win32ErrorText(yq::kErrorFileNotFound);
    return Fail("cannot start [" + program + "]: " + failure, missing ? kExitNotFound : kExitFailure);
  }
  const unsigned long pid = process.GetProcessId();
  std::string output;
  std::string error;
  ReadBoth(out.readEnd.get(), err.readEnd.get(), output, error);
  int exitCode = 0;
  if (process.WaitForProcessToEnd(exitCode, failure, sizeof failure) == 0) {
    return Fail("cannot wait for [" + program + "]: " + failure);
  }

  Json data = {{"command", options.command},
               {"pid", pid},
               {"priority", {{"name", priorityName}, {"class", priorityClass},
                             {"nice", NiceValueForPriorityClass(priorityClass)}}},
               {"creationFlags", creationFlags},
               {"cpuRate", options.cpuRateGiven ? Json(options.cpuRate) : Json(nullptr)},
               {"user", options.user.empty() ? Json(nullptr) : Json(options.user)},
               {"exitCode", exitCode},
               {"output", output},
               {"error", error}};
  Emit(options.json, data, [&] {
    std::string shown = program;
    if (!arguments.empty()) shown += " " + arguments;
    std::cout << "command: " << shown << "\n"
              << "pid: " << pid << "\n"
              << "priority: " << priorityName << " (class " << priorityClass << ", nice "
              << NiceValueForPriorityClass(priorityClass) << ")\n"
              << "creation flags: 0x" << std::hex << creationFlags << std::dec << "\n"
              << "cpu rate: "
              << (options.cpuRateGiven ? std::to_string(options.cpuRate) + "% of one core (group " + kCpuGroup + ")"
                                       : std::string("not capped"))
              << "\n"
              << "user: " << (options.user.empty() ? std::string("the caller") : options.user) << "\n"
              << "exit code: " << exitCode << "\n"
              << "--- standard output (" << output.size() << " bytes)\n"
              << output << (output.empty() || output.back() == '\n' ? "" : "\n")
              << "--- standard error (" << error.size() << " bytes)\n"
              << error << (error.empty() || error.back() == '\n' ? "" : "\n");
  });
  return exitCode == 0 ? kExitOk : kExitFailure;
}

}  // namespace

void AddProcCommands(CLI::App& app, std::vector<Handler>& handlers) {
  CLI::App* proc = app.add_subcommand("proc", "Running programs as the suite's services run them");
  proc->require_subcommand(1);
  static RunOptions options;
  CLI::App* run = proc->add_subcommand(
      "run", "Runs a command with the store's priority for it, its output captured; prints the settings used, its "
             "exit code and its output (exit 0 when it exited 0, 1 otherwise)");
  run->add_option("--user", options.user,
                  "Run as this account (user or domain\\user; needs root); the password is the first line of stdin");
  run->add_option("--cpu-rate", options.cpuRate, "Cap the CPU rate at N percent of one core (1 to 99, cgroup v2)")
      ->each([](const std::string&) { options.cpuRateGiven = true; });
  run->add_option("--priority", options.priority,
                  "The priority level when the store names none for the program (default normal)")
      ->check(CLI::IsMember(std::vector<std::string>{"normal", "below-normal", "high"}));
  AddJsonFlag(run, options.json);
  run->add_option("command", options.command, "The program and its arguments, after --")->required();
  handlers.push_back({run, [] {
    // CLI11 reads a positional "[a,b]" as a list: the words after "--"
    // are taken as they were typed.
    if (const auto words = WordsAfterDashes()) options.command = *words;
    return Run(options);
  }});
}

}  // namespace zn::admin
