// The CPU cap's readers of /proc/self/mountinfo and /proc/self/cgroup, and
// its check of a group name, over arbitrary text: never a crash; a group
// path is one line of the text; a name it accepts is one path component.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zn/process/internal/CpuGroup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string mount = zn::detail::CgroupTwoMount(text);
  // Unescaping only ever shortens a field.
  if (mount.size() > size) std::abort();
  const std::string path = zn::detail::CgroupTwoPath(text);
  if (path.find('\n') != std::string::npos || path.size() > size) std::abort();
  if (!path.empty() && text.find("0::" + path) == std::string_view::npos) std::abort();
  if (zn::detail::IsValidGroupName(text)) {
    if (text.empty() || text == "." || text == ".." || text.find_first_of(std::string_view("/\n\0", 3)) != std::string_view::npos) {
      std::abort();
    }
  }
  return 0;
}
