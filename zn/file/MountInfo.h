// The machine's mounted file systems as /proc/self/mountinfo lists them:
// one reader for the drive listing and for finding the cgroup hierarchy.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zn/base/ZnExport.h"

namespace zn {

struct ZN_EXPORT MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;        // the part of the file system mounted here
  std::string mountPoint;  // where, with the kernel's octal escapes decoded
  std::string fsType;      // "ext4", "nfs4", "fuse.sshfs", "cgroup2", ...
  std::string source;      // "/dev/sda1", "server:/export", ...
  bool readOnly = false;   // mounted read-only, or the file system is
};

// Decodes the kernel's escapes of a mountinfo field ("\040" is a blank,
// "\012" a line feed, "\134" a backslash); other text stays as it is.
ZN_EXPORT std::string DecodeMountField(std::string_view field);

// One line of mountinfo; false when it is not one.
ZN_EXPORT bool ParseMountInfoLine(std::string_view line, MountEntry& entry);

// Every line that parses; a later mount on the same point hides an
// earlier one, as the kernel does, so only the last is kept.
ZN_EXPORT std::vector<MountEntry> ParseMountInfo(std::string_view text);

}  // namespace zn
