// What the kernel tells of a process in /proc/<pid>/stat, read without
// trusting the process: its name may hold blanks, ')' and line feeds.
#pragma once

#include <cstdint>
#include <string_view>

namespace zn::detail {

struct ProcessStat {
  char state = '?';                  // field 3: R, S, D, Z, X, ...
  unsigned long long startTicks = 0;  // field 22: clock ticks after boot
};

// Parses the text of /proc/<pid>/stat. The name (field 2) ends at the last
// ')' of the text, so nothing the process calls itself can shift the fields.
bool ParseProcessStat(std::string_view text, ProcessStat& stat);

// Reads /proc/<pid>/stat; 0, or the errno of the failure (ENOENT when no such
// process exists, EINVAL when the text does not parse).
int ReadProcessStat(uint32_t pid, ProcessStat& stat);

// The creation time of a process in 100-ns intervals since 1601-01-01 UTC:
// the boot time of /proc/stat plus the process's start ticks. 0, or errno.
int ReadProcessCreationTime(uint32_t pid, unsigned long long& fileTime);

}  // namespace zn::detail
