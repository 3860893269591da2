// The roots of the machine: its mounted file systems (the Windows original's
// logical drives) or its physical disks.
#pragma once

#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zn/file/PortableFile.h"
#include "zuzazer/CYqError.h"

class ZN_EXPORT PortableMachine : public PortableObject {
 public:
  enum BROWSE_DEVICE_TYPE { BROWSE_LOGICAL_DRIVES = 0, BROWSE_PHYSICAL_DRIVES = 1 };

  // The Windows original's drive types.
  static constexpr int DRIVE_UNKNOWN = 0;
  static constexpr int DRIVE_NO_ROOT_DIR = 1;
  static constexpr int DRIVE_REMOVABLE = 2;
  static constexpr int DRIVE_FIXED = 3;
  static constexpr int DRIVE_REMOTE = 4;
  static constexpr int DRIVE_CDROM = 5;
  static constexpr int DRIVE_RAMDISK = 6;

  // Logical drives are the mount points of /proc/self/mountinfo that hold
  // data (not proc, sysfs, cgroup, tmpfs and their kind), each folder once;
  // physical drives are the disks of /sys/block that are devices of their
  // own, as "/dev/<name>". False (with the error) when the list cannot be
  // read, or -1 for another type.
  bool initGettingRootInfos(BROWSE_DEVICE_TYPE type);
  // The next root: its name (`name` must hold 1025 bytes), size in bytes
  // (-1 when unknown), drive type, and the flags: ready (its size could be
  // read), read-only, removable, remote, optical, names case-sensitive, and
  // system (the root file system, or the disk that holds it). False at the
  // end (error 18) or on a failure.
  bool getNextRootInfo(char* name, long long* size, int* type, bool* isReady, bool* isReadOnly, bool* isRemovable,
                       bool* isRemote, bool* isOptical, bool* isCaseSensitive, bool* isSystem);
  bool closeGettingRootInfos();

  // The size in bytes of a physical drive ("/dev/sda" or "sda"), its number
  // of logical sectors and the bytes per sector, from /sys/block.
  CYqError GetPhysicalDriveInfo(const std::string& drive, unsigned long long& size, unsigned long long& sectors,
                                unsigned long& bytesPerSector);

 private:
  struct Root {
    std::string name;
    std::string fsType;
    unsigned major = 0;
    unsigned minor = 0;
    bool readOnly = false;
  };

  bool nextLogical(char* name, long long* size, int* type, bool* flags[7]);
  bool nextPhysical(char* name, long long* size, int* type, bool* flags[7]);

  int m_browseType = -1;
  std::vector<Root> m_roots;
  std::size_t m_position = 0;
  std::string m_systemDisk;  // the disk that holds "/", for physical listings
};
