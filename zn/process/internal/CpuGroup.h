// The cgroup v2 group that caps the CPU rate of the calling process.
#pragma once

#include <string>
#include <string_view>

namespace zn::detail {

// The mount point of the cgroup v2 hierarchy in a /proc/self/mountinfo
// text; empty when there is none.
std::string CgroupTwoMount(std::string_view mountinfo);
// The process's own group in a /proc/self/cgroup text (its "0::" line);
// empty when there is none.
std::string CgroupTwoPath(std::string_view cgroups);
// A group name we create below our own group: one path component.
bool IsValidGroupName(std::string_view name);

}  // namespace zn::detail
