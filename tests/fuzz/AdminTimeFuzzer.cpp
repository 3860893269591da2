// znadmin's --since and --for values come from the command line. Reading
// one never crashes; a time it accepts is a line's time stamp (and so
// compares with lines as text), a duration a positive count within limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TimeArguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string stamp;
  constexpr long long kNow = 1760000000;
  if (zn::admin::ParseSince(text, kNow, stamp)) {
    if (stamp.size() != 23 || stamp[4] != '-' || stamp[10] != ' ' || stamp[19] != '.') std::abort();
  }
  long long seconds = 0;
  constexpr long long kLimit = 0xFFFFFFFFLL;
  if (zn::admin::ParseDuration(text, kLimit, seconds) && (seconds <= 0 || seconds > kLimit)) std::abort();
  return 0;
}
