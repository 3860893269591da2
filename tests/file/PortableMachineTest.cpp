// PortableMachine: the mount points and disks it lists against what the
// kernel shows, the drive codes, bad drive names, and the mount table
// parser on lines written by hand.

#include "zn/file/PortableMachine.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "file/FileTestUtil.h"
#include "zn/file/MountInfo.h"
#include "zn/file/FileTesting.h"

namespace {

using zn::MountEntry;
using zn::ParseMountInfo;

struct RootInfo {
  long long size;
  int type;
  bool flags[7];
};

std::map<std::string, RootInfo> Roots(PortableMachine& machine, PortableMachine::BROWSE_DEVICE_TYPE type) {
  std::map<std::string, RootInfo> roots;
  EXPECT_TRUE(machine.initGettingRootInfos(type));
  while (true) {
    char name[1025];
    RootInfo info{};
    bool* f = info.flags;
    if (!machine.getNextRootInfo(name, &info.size, &info.type, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6])) break;
    EXPECT_EQ(roots.count(name), 0U) << name;
    roots[name] = info;
  }
  EXPECT_EQ(machine.getLastError(), 18);
  EXPECT_TRUE(machine.closeGettingRootInfos());
  return roots;
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

TEST(PortableMachineTest, LogicalDrivesAreTheMountPointsThatHoldData) {
  PortableMachine machine;
  const std::map<std::string, RootInfo> roots = Roots(machine, PortableMachine::BROWSE_LOGICAL_DRIVES);
  ASSERT_EQ(roots.count("/"), 1U);
  EXPECT_TRUE(roots.at("/").flags[6]);  // the system's root
  for (const char* pseudo : {"/proc", "/sys", "/dev/pts", "/dev/shm", "/sys/fs/cgroup"}) {
    EXPECT_EQ(roots.count(pseudo), 0U) << pseudo;
  }
  for (const auto& [name, info] : roots) {
    SCOPED_TRACE(name);
    EXPECT_GE(info.type, PortableMachine::DRIVE_REMOVABLE);
    EXPECT_LE(info.type, PortableMachine::DRIVE_RAMDISK);
    EXPECT_EQ(info.flags[6], name == "/");
    EXPECT_EQ(info.flags[3], info.type == PortableMachine::DRIVE_REMOTE);
    struct statvfs fs {};
    if (info.flags[3] || ::statvfs(name.c_str(), &fs) != 0) continue;
    EXPECT_TRUE(info.flags[0]);
    EXPECT_EQ(info.size, static_cast<long long>(fs.f_blocks * fs.f_frsize));
  }
  char name[1025];
  long long size;
  int type;
  bool f[7];
  EXPECT_FALSE(machine.getNextRootInfo(name, &size, &type, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6]));
  EXPECT_EQ(machine.getLastError(), -1);  // no listing open
  EXPECT_FALSE(machine.initGettingRootInfos(static_cast<PortableMachine::BROWSE_DEVICE_TYPE>(2)));
  EXPECT_EQ(machine.getLastError(), -1);
}

TEST(PortableMachineTest, PhysicalDrivesAreTheDisksOfSysBlockThatAreDevices) {
  // What /sys/block shows, read here on its own.
  std::map<std::string, unsigned long long> disks;
  if (DIR* dir = ::opendir("/sys/block")) {
    while (const struct dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name[0] == '.' || !zn::test::files::PathExists("/sys/block/" + name + "/device")) continue;
      disks["/dev/" + name] = std::stoull(FirstLine("/sys/block/" + name + "/size")) * 512;
    }
    ::closedir(dir);
  }
  PortableMachine machine;
  const std::map<std::string, RootInfo> roots = Roots(machine, PortableMachine::BROWSE_PHYSICAL_DRIVES);
  ASSERT_EQ(roots.size(), disks.size());
  for (const auto& [name, bytes] : disks) {
    SCOPED_TRACE(name);
    ASSERT_EQ(roots.count(name), 1U);
    EXPECT_EQ(roots.at(name).size, static_cast<long long>(bytes));
    unsigned long long size = 0;
    unsigned long long sectors = 0;
    unsigned long sectorSize = 0;
    ASSERT_FALSE(machine.GetPhysicalDriveInfo(name, size, sectors, sectorSize).IsError());
    EXPECT_EQ(size, bytes);
    const std::string shortName = name.substr(5);
    EXPECT_EQ(sectorSize, std::stoul(FirstLine("/sys/block/" + shortName + "/queue/logical_block_size")));
    EXPECT_EQ(sectors * sectorSize, size);
    ASSERT_FALSE(machine.GetPhysicalDriveInfo(shortName, size, sectors, sectorSize).IsError());
  }
}

TEST(PortableMachineTest, ADriveNameThatIsNotADiskIsRefused) {
  PortableMachine machine;
  unsigned long long size = 0;
  unsigned long long sectors = 0;
  unsigned long sectorSize = 0;
  for (const char* bad : {"", "/dev/", "..", "/dev/../../etc", "sda/../../x", "."}) {
    SCOPED_TRACE(bad);
    const CYqError error = machine.GetPhysicalDriveInfo(bad, size, sectors, sectorSize);
    EXPECT_TRUE(error.Is(123)) << error.AsString();
  }
  EXPECT_TRUE(machine.GetPhysicalDriveInfo("/dev/nosuchdisk", size, sectors, sectorSize).Is(2));
  EXPECT_TRUE(machine.GetPhysicalDriveInfo(std::string("sd\0a", 4), size, sectors, sectorSize).Is(123));
}

TEST(PortableMachineTest, TheMountTableParserReadsTheKernelsLinesAndNothingElse) {
  const std::string text =
      // Optional fields before the separator; read-only per mount.
      "22 1 8:1 / / rw,relatime shared:1 master:2 - ext4 /dev/sda1 rw,errors=remount-ro\n"
      "23 22 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
      // Escaped blank, tab, line feed and backslash in the mount point.
      "24 22 8:2 /sub /mnt/my\\040disk\\011x\\012y\\134z ro,noatime - vfat /dev/sdb1 rw\n"
      // Read-only in the file system's own options.
      "25 22 0:50 / /net rw - nfs4 server:/export ro,vers=4.2\n"
      // Mounted again on the same point: the later one hides the first.
      "26 22 8:3 / /data rw - ext4 /dev/sdc1 rw\n"
      "27 22 8:4 / /data rw - xfs /dev/sdd1 rw\n"
      // Not mountinfo lines.
      "garbage\n"
      "28 22 8:5 / /short rw -\n"
      "x 22 8:5 / /bad rw - ext4 /dev/x rw\n"
      "29 22 8 / /nominor rw - ext4 /dev/x rw\n"
      "30 22 8:5 / /noseparator rw ext4 /dev/x rw\n"
      "\n"
      "31 22 8:6 / /last rw - btrfs /dev/sde1 rw";
  const std::vector<MountEntry> entries = ParseMountInfo(text);
  std::map<std::string, MountEntry> byPoint;
  for (const MountEntry& entry : entries) byPoint[entry.mountPoint] = entry;
  EXPECT_EQ(byPoint.size(), 6U);
  ASSERT_EQ(byPoint.count("/"), 1U);
  EXPECT_EQ(byPoint["/"].fsType, "ext4");
  EXPECT_EQ(byPoint["/"].source, "/dev/sda1");
  EXPECT_EQ(byPoint["/"].major, 8U);
  EXPECT_EQ(byPoint["/"].minor, 1U);
  EXPECT_FALSE(byPoint["/"].readOnly);
  ASSERT_EQ(byPoint.count("/mnt/my disk\tx\ny\\z"), 1U);
  EXPECT_TRUE(byPoint["/mnt/my disk\tx\ny\\z"].readOnly);
  EXPECT_EQ(byPoint["/mnt/my disk\tx\ny\\z"].root, "/sub");
  EXPECT_TRUE(byPoint["/net"].readOnly);
  EXPECT_EQ(byPoint["/net"].source, "server:/export");
  EXPECT_EQ(byPoint["/data"].fsType, "xfs");
  EXPECT_EQ(byPoint["/last"].fsType, "btrfs");
  EXPECT_EQ(byPoint.count("/proc"), 1U);  // parsed; the listing leaves it out
  // An escape that is not three octal digits stays as it is.
  const std::vector<MountEntry> odd = ParseMountInfo("1 1 1:1 / /a\\9b\\04 rw - ext4 x rw\n");
  ASSERT_EQ(odd.size(), 1U);
  EXPECT_EQ(odd[0].mountPoint, "/a\\9b\\04");
}

}  // namespace
