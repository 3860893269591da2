#include "zn/file/ZNDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "zn/file/internal/DirectoryTree.h"
#include "zn/file/internal/FileErrors.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

using zn::detail::PrintableName;

constexpr int kErrorNoMoreFiles = 18;

bool EndsInSeparator(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

// The folder a listing name stands for: a trailing '/' or '\' names the
// same folder as the name without it.
std::string FolderOf(const std::string& name) {
  if (name.size() > 1 && EndsInSeparator(name)) return name.substr(0, name.size() - 1);
  return name;
}

int CodeOf(int errnum, bool isPath = false) { return static_cast<int>(zn::detail::FileErrorFromErrno(errnum, isPath)); }

}  // namespace

ZNDirectory::ZNDirectory() { setDebugPrefix("DIRECTORY"); }

int ZNDirectory::open(const char* name) {
  close();
  if (name == nullptr || name[0] == '\0') {
    debug(1, "open: dirname is a null string\n");
    m_lastError = -1;
    return -1;
  }
  m_name = name;
  m_folder = FolderOf(m_name);
  // The Windows original searches "<name>*.*" or "<name>\*.*"; its messages show
  // that search.
  const std::string search = EndsInSeparator(m_name) ? m_name + "*.*" : m_name + "/*.*";
  yq::UniqueDir dir(::opendir(m_folder.c_str()));
  if (!dir) {
    const int error = errno;
    m_lastError = CodeOf(error, true);
    debug(1, "open: FindFirstFile %s failed, errno %d\n", PrintableName(search).c_str(), error);
    return -1;
  }
  m_dir = std::move(dir);
  m_isOpen = 1;
  m_lastError = 0;
  return 0;
}

const char* ZNDirectory::read() {
  if (m_isOpen == 0) {
    debug(1, "read: not open\n");
    m_lastError = -1;
    return nullptr;
  }
  errno = 0;
  const struct dirent* entry = ::readdir(m_dir.get());
  if (entry != nullptr) return entry->d_name;
  if (errno != 0) {
    m_lastError = CodeOf(errno);
    debug(1, "read: FindNextFile failed, code %d\n", m_lastError);
    return nullptr;
  }
  m_lastError = kErrorNoMoreFiles;
  return nullptr;
}

int ZNDirectory::close() {
  m_dir.reset();
  m_isOpen = 0;
  return 0;
}

int ZNDirectory::reopenFolder(const char* caller) {
  if (m_isOpen == 0) {
    debug(1, "%s attempted before open\n", caller);
    m_lastError = -1;
    return -1;
  }
  // The folder the listing opened, even if its name now points elsewhere.
  const int fd = ::openat(::dirfd(m_dir.get()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) m_lastError = CodeOf(errno, true);
  return fd;
}

int ZNDirectory::findFileByPattern(const char* pattern, std::string& found, int /*reserved*/) {
  if (m_isOpen == 0) {
    debug(1, "findFileByPattern attempted before open\n");
    m_lastError = -1;
    return -1;
  }
  if (pattern == nullptr) {
    m_lastError = -1;
    return -1;
  }
  std::vector<FXFileInfo> entries;
  const CYqError error = FXFile::FindFiles(m_folder, pattern, entries);
  if (error.IsError()) {
    m_lastError = static_cast<int>(error.GetErrorCode());
    return -1;
  }
  if (entries.empty()) {
    m_lastError = static_cast<int>(yq::kErrorFileNotFound);
    return -1;
  }
  const auto first = std::min_element(entries.begin(), entries.end(),
                                      [](const FXFileInfo& a, const FXFileInfo& b) { return a.name < b.name; });
  found = first->name;
  return 0;
}

int ZNDirectory::removeFiles(const char* except) {
  yq::UniqueFd folder(reopenFolder("removeFiles"));
  if (!folder) return -1;
  debug(1, "removeFiles from %s (except %s)\n", PrintableName(m_name).c_str(), PrintableName(except).c_str());
  bool failed = false;
  zn::detail::RemoveFolderEntries(folder.get(), m_folder, except, [&](const std::string& path, int errnum) {
    failed = true;
    m_lastError = CodeOf(errnum);
    debug(1, "removeFiles unlink %s failed, errno %d\n", PrintableName(path).c_str(), errnum);
  });
  return failed ? -1 : 0;
}

int ZNDirectory::copyFiles(const char* from, const char* to) {
  yq::UniqueFd openFolder(reopenFolder("copyFiles"));
  if (!openFolder) return -1;
  bool failed = false;
  auto report = [&](const std::string& source, const std::string& target, int errnum) {
    failed = true;
    m_lastError = CodeOf(errnum);
    debug(1, "copyFiles cannot copy '%s' to '%s', code %d\n", PrintableName(source).c_str(),
          PrintableName(target).c_str(), m_lastError);
  };
  if (to == nullptr || to[0] == '\0') {
    report(from != nullptr ? from : m_folder, "", ENOENT);
    return -1;
  }
  const std::string sourcePath = from != nullptr && from[0] != '\0' ? FolderOf(from) : m_folder;
  const std::string targetPath = FolderOf(to);
  yq::UniqueFd source(from != nullptr && from[0] != '\0'
                          ? ::open(sourcePath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                          : openFolder.release());
  if (!source) {
    report(sourcePath, targetPath, errno);
    return -1;
  }
  if (::mkdir(targetPath.c_str(), 0777) != 0 && errno != EEXIST) {
    report(sourcePath, targetPath, errno);
    return -1;
  }
  yq::UniqueFd target(::open(targetPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!target) {
    report(sourcePath, targetPath, errno);
    return -1;
  }
  zn::detail::CopyFolderEntries(source.get(), sourcePath, target.get(), targetPath, report);
  return failed ? -1 : 0;
}

long long ZNDirectory::sumSizes() {
  yq::UniqueFd folder(reopenFolder("sumSizes"));
  if (!folder) return -1;
  yq::UniqueDir dir(::fdopendir(folder.get()));
  if (!dir) {
    m_lastError = CodeOf(errno);
    return -1;
  }
  const int fd = folder.release();  // the listing owns it now
  long long total = 0;
  while (true) {
    errno = 0;
    const struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    struct stat st {};
    // Links are not followed: what they point to is not in this folder,
    // and a FIFO must never be opened to be measured.
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      total += static_cast<long long>(st.st_size);
    }
  }
  if (errno != 0) {
    m_lastError = CodeOf(errno);
    return -1;
  }
  return total;
}

int ZNDirectory::getFreeSpace(const char* path, unsigned long long* available, unsigned long long* total,
                              unsigned long* /*reserved*/) {
  if (path == nullptr || available == nullptr || total == nullptr) {
    m_lastError = -1;
    return -1;
  }
  struct statvfs info {};
  if (::statvfs(path, &info) != 0) {
    m_lastError = CodeOf(errno, true);
    return -1;
  }
  *available = static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
  *total = static_cast<unsigned long long>(info.f_blocks) * info.f_frsize;
  return 0;
}
