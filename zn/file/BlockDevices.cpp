#include "zn/file/internal/BlockDevices.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueDir.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

constexpr const char* kSysBlock = "/sys/block";
constexpr unsigned long long kSysfsSectorBytes = 512;  // /sys/block/X/size always counts 512-byte units

// The first line of a small sysfs file, without its line feed; false when
// it cannot be read.
bool ReadLine(const std::string& path, std::string& line) {
  yq::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  char buffer[256];
  ssize_t n;
  do {
    n = ::read(fd.get(), buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  line.assign(buffer, static_cast<std::size_t>(n));
  if (const std::size_t end = line.find('\n'); end != std::string::npos) line.resize(end);
  return true;
}

bool ReadNumber(const std::string& path, unsigned long long& value) {
  std::string line;
  if (!ReadLine(path, line) || line.empty()) return false;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  return error == std::errc() && end == line.data() + line.size();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

int ListPhysicalDisks(std::vector<std::string>& names) {
  names.clear();
  yq::UniqueDir dir(::opendir(kSysBlock));
  if (!dir) return errno;
  while (true) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (Exists(std::string(kSysBlock) + "/" + name + "/device")) names.push_back(name);
  }
  if (errno != 0) return errno;
  std::sort(names.begin(), names.end());
  return 0;
}

CYqError ReadBlockDevice(std::string_view drive, BlockDevice& device) {
  std::string_view name = drive;
  if (name.substr(0, 5) == "/dev/") name.remove_prefix(5);
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos || name.size() > NAME_MAX) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidName, "[%.*s] is not a disk name",
                                   static_cast<int>(drive.size() > 256 ? 256 : drive.size()), drive.data());
  }
  const std::string folder = std::string(kSysBlock) + "/" + std::string(name);
  BlockDevice read;
  read.name = std::string(name);
  unsigned long long units = 0;
  if (!ReadNumber(folder + "/size", units)) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorFileNotFound, "No disk [%s]", read.name.c_str());
  }
  unsigned long long blockSize = 0;
  if (!ReadNumber(folder + "/queue/logical_block_size", blockSize) || blockSize == 0) blockSize = kSysfsSectorBytes;
  read.sizeBytes = units * kSysfsSectorBytes;
  read.logicalBlockSize = static_cast<unsigned long>(blockSize);
  read.sectors = read.sizeBytes / blockSize;
  unsigned long long flag = 0;
  read.removable = ReadNumber(folder + "/removable", flag) && flag != 0;
  read.readOnly = ReadNumber(folder + "/ro", flag) && flag != 0;
  read.optical = ReadNumber(folder + "/device/type", flag) && flag == 5;
  device = std::move(read);
  return CYqError::Success();
}

std::string DiskOfDevice(unsigned major, unsigned minor) {
  const std::string link = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  char resolved[PATH_MAX];
  if (::realpath(link.c_str(), resolved) == nullptr) return std::string();
  const std::string device = resolved;
  // A partition sits in the folder of its disk and has a "partition" file.
  if (Exists(device + "/partition")) return FXPath::GetFileName(FXPath::GetDirectory(device));
  return FXPath::GetFileName(device);
}

}  // namespace zn::detail
