#include "zn/process/internal/CpuGroup.h"

#include <vector>

#include "zn/file/MountInfo.h"

namespace zn::detail {
namespace {

template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (!visit(text.substr(0, end))) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::string CgroupTwoMount(std::string_view mountinfo) {
  for (const MountEntry& entry : ParseMountInfo(mountinfo)) {
    if (entry.fsType == "cgroup2") return entry.mountPoint;
  }
  return std::string();
}

std::string CgroupTwoPath(std::string_view cgroups) {
  std::string path;
  ForEachLine(cgroups, [&](std::string_view line) {
    if (line.substr(0, 3) == "0::") path = std::string(line.substr(3));
    return path.empty();
  });
  return path;
}

bool IsValidGroupName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  for (const char c : name) {
    if (c == '/' || c == '\n' || c == '\0') return false;
  }
  return true;
}

}  // namespace zn::detail
