// The text of /proc/<id>/stat, read to tell whether a lock's owner is
// still there; its command name is whatever the owner chose. Any text
// parses or is refused without a crash, and a text that parses keeps
// parsing to the same fields when more fields follow.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zn/sync/NamedKernelObject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  char state = 0;
  unsigned long long start = 0;
  if (!zn::ParseThreadStat(text, state, start)) return 0;
  char stateAgain = 0;
  unsigned long long startAgain = 0;
  if (!zn::ParseThreadStat(text + " 1 2 3", stateAgain, startAgain) || stateAgain != state || startAgain != start) {
    std::abort();
  }
  return 0;
}
