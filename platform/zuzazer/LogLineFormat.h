// The layout of a log line:
//
//   <pid> <tid> <YYYY-MM-DD> <hh:mm:ss.mmm> [L<level>] <job>[#<aux>] <function>[:<line>] [{<context>}] <message>
//
// pid in decimal, tid (the kernel thread id) in hexadecimal with at least
// four digits, local time, the level only when levels are shown, job id 0
// when there is none, "-" for a missing function name.
#pragma once

#include <cstddef>
#include <string_view>

#include "zuzazer/YqExport.h"

namespace yq {

struct YQ_EXPORT LogLineFields {
  int level = 0;
  long auxiliary = 0;
  const char* function = nullptr;
  unsigned long line = 0;
  long long jobId = 0;
  const char* context = nullptr;
  bool showLevel = false;
};

// Writes the line up to the message into `out` (always terminated) and
// returns its length, at most size - 1.
YQ_EXPORT std::size_t FormatLogLinePrefix(char* out, std::size_t size, const LogLineFields& fields);

// A line read back: what FormatLogLinePrefix wrote, and the rest.
struct YQ_EXPORT LogLinePrefix {
  long processId = 0;
  unsigned long threadId = 0;
  std::string_view timestamp;  // "YYYY-MM-DD hh:mm:ss.mmm", local time
  bool hasLevel = false;       // levels were shown when it was written
  int level = 0;
  long long jobId = 0;
  std::string_view function;   // "-" when the line had none
  std::string_view rest;       // "[{context} ]message", without the line end
};

// False when `line` does not start as a log line does: a message's own
// continuation line, or text that is not a log's.
YQ_EXPORT bool ParseLogLinePrefix(std::string_view line, LogLinePrefix& prefix);

// The process id, cached and refreshed in a forked child.
YQ_EXPORT long CachedProcessId();

}  // namespace yq
