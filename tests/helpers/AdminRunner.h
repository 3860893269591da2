// Runs the znadmin program built beside the test program, as an
// administrator would, and collects what it printed.
#pragma once

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

}  // namespace zn::test
