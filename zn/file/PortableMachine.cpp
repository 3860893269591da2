#include "zn/file/PortableMachine.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "zn/file/internal/BlockDevices.h"
#include "zn/file/internal/MountTable.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr std::size_t kMaxRootName = 1024;
constexpr int kErrorNoMoreItems = 18;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CaseSensitiveNames(std::string_view fsType) {
  static constexpr std::array<std::string_view, 6> kFolding = {"vfat", "msdos", "exfat", "cifs", "smb3", "smbfs"};
  for (const std::string_view folding : kFolding) {
    if (fsType == folding) return false;
  }
  return true;
}

void CopyName(char* name, const std::string& text) {
  const std::size_t length = text.size() < kMaxRootName ? text.size() : kMaxRootName;
  std::memcpy(name, text.data(), length);
  name[length] = '\0';
}

}  // namespace

bool PortableMachine::initGettingRootInfos(BROWSE_DEVICE_TYPE type) {
  closeGettingRootInfos();
  if (type == BROWSE_LOGICAL_DRIVES) {
    std::string text;
    const CYqError error = FXFile::ReadAll("/proc/self/mountinfo", text);
    if (error.IsError()) {
      m_lastError = static_cast<int>(error.GetErrorCode());
      return false;
    }
    for (zn::MountEntry& entry : zn::ParseMountInfo(text)) {
      if (zn::detail::IsPseudoFileSystem(entry.fsType) || entry.mountPoint.size() > kMaxRootName) continue;
      // A file mounted over a file (containers do it for /etc/hosts) is no
      // root. Remote mounts are not examined: a dead server would hang us.
      if (!zn::detail::IsRemoteFileSystem(entry.fsType) && !IsFolder(entry.mountPoint)) continue;
      m_roots.push_back(Root{std::move(entry.mountPoint), std::move(entry.fsType), entry.major, entry.minor,
                             entry.readOnly});
    }
  } else if (type == BROWSE_PHYSICAL_DRIVES) {
    std::vector<std::string> disks;
    if (const int errnum = zn::detail::ListPhysicalDisks(disks); errnum != 0) {
      const CYqError error = FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errnum, "Cannot list /sys/block");
      EvDebug().Error("PortableMachine::initGettingRootInfos", "Failed to get physical drive ifo on the system, error=%s",
                      error.AsString().c_str());
      m_lastError = static_cast<int>(error.GetErrorCode());
      return false;
    }
    for (const std::string& disk : disks) m_roots.push_back(Root{"/dev/" + disk, std::string(), 0, 0, false});
    struct stat root {};
    if (::stat("/", &root) == 0) m_systemDisk = zn::detail::DiskOfDevice(major(root.st_dev), minor(root.st_dev));
  } else {
    m_lastError = -1;
    return false;
  }
  m_browseType = type;
  m_lastError = 0;
  return true;
}

bool PortableMachine::getNextRootInfo(char* name, long long* size, int* type, bool* isReady, bool* isReadOnly,
                                      bool* isRemovable, bool* isRemote, bool* isOptical, bool* isCaseSensitive,
                                      bool* isSystem) {
  bool* flags[7] = {isReady, isReadOnly, isRemovable, isRemote, isOptical, isCaseSensitive, isSystem};
  if (name == nullptr || size == nullptr || type == nullptr) {
    m_lastError = -1;
    return false;
  }
  name[0] = '\0';
  *size = -1;
  *type = DRIVE_UNKNOWN;
  for (bool* flag : flags) {
    if (flag == nullptr) {
      m_lastError = -1;
      return false;
    }
    *flag = false;
  }
  if (m_browseType < 0) {
    m_lastError = -1;
    return false;
  }
  if (m_position >= m_roots.size()) {
    m_lastError = kErrorNoMoreItems;
    return false;
  }
  return m_browseType == BROWSE_LOGICAL_DRIVES ? nextLogical(name, size, type, flags)
                                               : nextPhysical(name, size, type, flags);
}

bool PortableMachine::nextLogical(char* name, long long* size, int* type, bool* flags[7]) {
  const Root& root = m_roots[m_position++];
  CopyName(name, root.name);
  const bool remote = zn::detail::IsRemoteFileSystem(root.fsType);
  bool removable = false;
  if (remote) {
    *type = DRIVE_REMOTE;
  } else if (zn::detail::IsOpticalFileSystem(root.fsType)) {
    *type = DRIVE_CDROM;
  } else {
    *type = DRIVE_FIXED;
    const std::string disk = root.major != 0 ? zn::detail::DiskOfDevice(root.major, root.minor) : std::string();
    zn::detail::BlockDevice device;
    if (!disk.empty() && zn::detail::ReadBlockDevice(disk, device).IsSuccess()) {
      if (device.optical) {
        *type = DRIVE_CDROM;
      } else if (device.removable) {
        *type = DRIVE_REMOVABLE;
        removable = true;
      }
    }
  }
  struct statvfs info {};
  const bool ready = ::statvfs(root.name.c_str(), &info) == 0;
  if (ready) *size = static_cast<long long>(static_cast<unsigned long long>(info.f_blocks) * info.f_frsize);
  *flags[0] = ready;
  *flags[1] = root.readOnly || (ready && (info.f_flag & ST_RDONLY) != 0);
  *flags[2] = removable;
  *flags[3] = remote;
  *flags[4] = *type == DRIVE_CDROM;
  *flags[5] = CaseSensitiveNames(root.fsType);
  *flags[6] = root.name == "/";
  m_lastError = 0;
  return true;
}

bool PortableMachine::nextPhysical(char* name, long long* size, int* type, bool* flags[7]) {
  const Root& root = m_roots[m_position++];
  zn::detail::BlockDevice device;
  const CYqError error = zn::detail::ReadBlockDevice(root.name, device);
  if (error.IsError()) {
    EvDebug().Error("PortableMachine::getNextRootInfo", "Failed get next disk details, error=%s",
                    error.AsString().c_str());
    m_lastError = static_cast<int>(error.GetErrorCode());
    return false;
  }
  CopyName(name, root.name);
  *size = static_cast<long long>(device.sizeBytes);
  *type = device.optical ? DRIVE_CDROM : device.removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
  *flags[0] = device.sizeBytes > 0;
  *flags[1] = device.readOnly;
  *flags[2] = device.removable;
  *flags[3] = false;
  *flags[4] = device.optical;
  *flags[5] = false;
  *flags[6] = !m_systemDisk.empty() && device.name == m_systemDisk;
  m_lastError = 0;
  return true;
}

bool PortableMachine::closeGettingRootInfos() {
  m_roots.clear();
  m_position = 0;
  m_browseType = -1;
  m_systemDisk.clear();
  return true;
}

CYqError PortableMachine::GetPhysicalDriveInfo(const std::string& drive, unsigned long long& size,
                                               unsigned long long& sectors, unsigned long& bytesPerSector) {
  zn::detail::BlockDevice device;
  CYqError error = zn::detail::ReadBlockDevice(drive, device);
  if (error.IsError()) {
    m_lastError = static_cast<int>(error.GetErrorCode());
    return error.Push(FX_CODE_LOCATION);
  }
  size = device.sizeBytes;
  sectors = device.sectors;
  bytesPerSector = device.logicalBlockSize;
  return CYqError::Success();
}
