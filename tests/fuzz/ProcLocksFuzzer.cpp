// The text of /proc/locks, read to tell who uses a named object. Reading
// any text never crashes, and only holders with a plausible pid come out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "zn/sync/NamedKernelObject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& [file, pids] : zn::ParseFlockHolders(text)) {
    if (pids.empty()) std::abort();
    for (const pid_t pid : pids) {
      if (pid <= 0) std::abort();
    }
  }
  return 0;
}
