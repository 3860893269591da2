// Runs the znadmin program built beside the test program, as an
// administrator would, and collects what it printed.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zn::test {

struct AdminOutcome {
  int code = -1;  // the exit code; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// `args` after the program name, `input` fed on stdin; the environment is
// the test's. Killed after 60 s.
AdminOutcome RunAdmin(const std::vector<std::string>& args, const std::string& input = std::string());

// A program built beside the test program (znadmin, zndemo), running with
// its stdout on a pipe; killed when this goes, unless it was waited for.
class RunningProgram {
 public:
  RunningProgram(const std::string& program, std::vector<std::string> args);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // Everything printed so far.
  const std::string& output();
  // The exit code; -1 when it did not exit normally or within `limitMs`.
  int wait(int limitMs);
  // Sends `signal` to the program while it runs.
  void signal(int signal);

 private:
  pid_t m_pid = -1;
  int m_out = -1;
  std::string m_text;
};

}  // namespace zn::test
