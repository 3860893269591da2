// The machine's mounted file systems as /proc/self/mountinfo lists them,
// and the drive type the Windows original would give each.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zn::detail {

struct MountEntry {
  unsigned major = 0;
  unsigned minor = 0;
  std::string root;        // the part of the file system mounted here
  std::string mountPoint;  // where, with the kernel's octal escapes decoded
  std::string fsType;      // "ext4", "nfs4", "fuse.sshfs", ...
  std::string source;      // "/dev/sda1", "server:/export", ...
  bool readOnly = false;   // mounted read-only, or the file system is
};

// Decodes the kernel's escapes of a mountinfo field ("\040" is a blank,
// "\012" a line feed, "\134" a backslash); other text stays as it is.
std::string DecodeMountField(std::string_view field);

// One line of mountinfo; false when it is not one.
bool ParseMountInfoLine(std::string_view line, MountEntry& entry);

// Every line that parses; a later mount on the same point hides an
// earlier one, as the kernel does, so only the last is kept.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// File systems that hold no one's data (proc, sysfs, cgroup, tmpfs, ...):
// not drives.
bool IsPseudoFileSystem(std::string_view fsType);
bool IsRemoteFileSystem(std::string_view fsType);
bool IsOpticalFileSystem(std::string_view fsType);

}  // namespace zn::detail
