#include "zn/process/internal/CpuGroup.h"

#include <vector>

namespace zn::detail {
namespace {

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

// mountinfo writes blanks, tabs, line feeds and backslashes of paths as
// three-digit octal escapes.
std::string Unescape(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && text.size() - i >= 4 &&
        text[i + 1] >= '0' && text[i + 1] <= '3' && text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' &&
        text[i + 3] <= '7') {
      out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

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
  std::string mount;
  ForEachLine(mountinfo, [&](std::string_view line) {
    const std::vector<std::string_view> fields = Fields(line);
    // id parent dev root mountpoint options [optional...] - type source super
    for (std::size_t i = 5; i + 1 < fields.size(); ++i) {
      if (fields[i] != "-") continue;
      if (fields[i + 1] == "cgroup2") mount = Unescape(fields[4]);
      break;
    }
    return mount.empty();
  });
  return mount;
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
