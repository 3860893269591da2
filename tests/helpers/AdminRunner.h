// Runs the znadmin program built beside the test program, as an
// administrator would, and collects what it printed.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zn::test {

struct AdminOutcome {
  int code = -1;  // the exit code; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Changes to the test's environment for one run: a variable and its value,
// or nullopt to remove it.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// `args` after the program name, `input` fed on stdin; the environment is
// the test's with `changes`. Killed after 60 s.
AdminOutcome RunAdmin(const std::vector<std::string>& args, const std::string& input = std::string(),
                      const EnvironmentChanges& changes = {});
// The same for another program built beside the test program (zndemo).
AdminOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                        const std::string& input = std::string(), const EnvironmentChanges& changes = {});

// The path of a program built beside the test program; an absolute
// `program` stays as it is.
std::string ProgramBesideTests(const std::string& program);

// A program built beside the test program (znadmin, zndemo), running with
// its stdout on a pipe; killed when this goes, unless it was waited for.
class RunningProgram {
 public:
  RunningProgram(const std::string& program, std::vector<std::string> args);
  // The process id; -1 once it was waited for.
  pid_t pid() const { return m_pid; }
  // Sends `signal` to it.
  void signal(int signal);
  // Reads until the output so far holds `text`; false after `limitMs` or
  // when the program ends first.
  bool waitForOutput(const std::string& text, int limitMs);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Everything printed so far.
  const std::string& output();
  // The exit code; -1 when it did not exit normally or within `limitMs`.
  int wait(int limitMs);

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  std::string m_text;
};

}  // namespace zn::test
