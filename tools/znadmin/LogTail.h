// The end of a log, as `log tail` and `metrics tail` print it, with the
// options journalctl has for it: -n/--lines, -f/--follow, --since, --level,
// --grep and --json (one JSON object per line).
#pragma once

#include <string>

#include "Admin.h"

namespace zn::admin {

struct TailOptions {
  long long lines = 10;
  bool follow = false;
  std::string since;  // see ParseSince
  std::string level;  // lines of this level or lower
  std::string grep;   // a regular expression; case matters only when it holds a capital
  bool json = false;
};

void AddTailOptions(CLI::App* command, TailOptions& options);

// The last lines of `<folder>/<base>.log` that pass the filters, taken
// from its newest uncompressed versions too when the current file holds
// fewer; with --follow then every new line, across rollovers. A line that
// does not start as a log line does (a message's own continuation line)
// goes with the line before it.
int TailLog(const std::string& folder, const std::string& base, const TailOptions& options);

}  // namespace zn::admin
