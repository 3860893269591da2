#include "zn/sort/internal/WorkFolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueDir.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

bool IsWorkFileName(const char* name) {
  const std::size_t prefix = std::strlen(kWorkFilePrefix);
  if (std::strncmp(name, kWorkFilePrefix, prefix) != 0 || name[prefix] == '\0') return false;
  for (const char* p = name + prefix; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  return true;
}

}  // namespace

bool RemoveWorkFiles(const std::string& folder) {
  yq::UniqueDir dir = yq::OpenDir(folder.c_str());
  if (!dir) return errno == ENOENT || errno == ENOTDIR;  // no folder: no old files
  bool removedAll = true;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsWorkFileName(entry->d_name)) continue;
    const std::string path = FXPath::Append(folder, entry->d_name);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) removedAll = false;
  }
  return removedAll;
}

std::string CheckWorkFolder(const std::string& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return yq::ErrnoText(errno);
  if (S_ISLNK(info.st_mode)) return "it is a symbolic link";
  if (!S_ISDIR(info.st_mode)) return "it is not a folder";
  if (info.st_uid != ::geteuid()) return "it belongs to another user";
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "others may write to it";
  return std::string();
}

}  // namespace zn::detail
