// Runs a program built beside the test program with its stdin on a
// terminal (a pty) and answers its prompts as a person at the keyboard
// would: each reply is typed once its prompt has appeared on stderr.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zn::test {

struct TerminalOutcome {
  int code = -1;         // the exit code; -1 when it did not exit normally in time
  std::string out;       // its stdout
  std::string err;       // its stderr (the prompts)
  std::string terminal;  // what the terminal showed: the echo of what was typed
};

// (prompt, reply) pairs, answered in order; killed after 60 s.
using Dialogue = std::vector<std::pair<std::string, std::string>>;

TerminalOutcome RunOnTerminal(const std::string& program, const std::vector<std::string>& args,
                              const Dialogue& dialogue);

}  // namespace zn::test
