// The drive type the Windows original would give a mounted file system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zn/file/MountInfo.h"

namespace zn::detail {

// File systems that hold no one's data (proc, sysfs, cgroup, tmpfs, ...):
// not drives.
bool IsPseudoFileSystem(std::string_view fsType);
bool IsRemoteFileSystem(std::string_view fsType);
bool IsOpticalFileSystem(std::string_view fsType);

}  // namespace zn::detail
