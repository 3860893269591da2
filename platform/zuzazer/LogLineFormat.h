// The layout of a log line:
//
//   <pid> <tid> <YYYY-MM-DD> <hh:mm:ss.mmm> [L<level>] <job>[#<aux>] <function>[:<line>] [{<context>}] <message>
//
// pid in decimal, tid (the kernel thread id) in hexadecimal with at least
// four digits, local time, the level only when levels are shown, job id 0
// when there is none, "-" for a missing function name.
#pragma once

#include <cstddef>

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

// The process id, cached and refreshed in a forked child.
YQ_EXPORT long CachedProcessId();

}  // namespace yq
