// Disks as /sys/block shows them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zuzazer/CYqError.h"

namespace zn::detail {

struct BlockDevice {
  std::string name;  // "sda", "nvme0n1", "vda"
  unsigned long long sizeBytes = 0;
  unsigned long long sectors = 0;  // logical sectors
  unsigned long logicalBlockSize = 0;
  bool removable = false;
  bool readOnly = false;
  bool optical = false;  // a CD/DVD drive (SCSI device type 5)
};

// The whole disks that are devices of their own: those with a "device"
// link. Loop, RAM, zram, device-mapper and md devices have none and are
// left out, as the suite leaves out its own pseudo-devices. 0 or errno.
int ListPhysicalDisks(std::vector<std::string>& names);

// One disk, by its name ("sda") or its device path ("/dev/sda"). A name
// that is not a plain entry of /sys/block is refused (123); an unknown
// disk is 2.
CYqError ReadBlockDevice(std::string_view drive, BlockDevice& device);

// The disk that holds the block device major:minor ("sda" for sda1, or the
// device's own name for a whole disk); empty when none does.
std::string DiskOfDevice(unsigned major, unsigned minor);

}  // namespace zn::detail
