#include "zuzazer/FXFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"
#include "zuzazer/FXUniqueDir.h"

namespace {

CTimeStamp FromTimespec(const struct timespec& ts) {
  return CTimeStamp::FromUnixNanoseconds(static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
}

void FillInfo(const struct stat& st, FXFileInfo& info) {
  info.isDirectory = S_ISDIR(st.st_mode);
  info.size = static_cast<unsigned long long>(st.st_size);
  info.lastWriteTime = FromTimespec(st.st_mtim);
  info.lastChangeTime = FromTimespec(st.st_ctim);
  info.lastAccessTime = FromTimespec(st.st_atim);
}

}  // namespace

namespace FXFile {

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

CYqError CreateDirectories(const std::string& path, mode_t mode) {
  if (path.empty()) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorPathNotFound, "Empty folder name");
  if (IsDirectory(path)) return CYqError::Success();
  const std::string parent = FXPath::GetDirectory(path);
  if (!parent.empty() && parent != path) {
    CYqError error = CreateDirectories(parent, mode);
    if (error.IsError()) return error.Push(FX_CODE_LOCATION);
  }
  if (::mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot create folder [%s]", path.c_str());
  }
  if (!IsDirectory(path)) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorAlreadyExists, "[%s] exists and is not a folder", path.c_str());
  }
  return CYqError::Success();
}

CYqError GetInfo(const std::string& path, FXFileInfo& info) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read the attributes of [%s]", path.c_str());
  }
  info.name = FXPath::GetFileName(path);
  FillInfo(st, info);
  return CYqError::Success();
}

CYqError Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot delete [%s]", path.c_str());
  }
  return CYqError::Success();
}

CYqError Move(const std::string& from, const std::string& to, bool replace) {
  const unsigned flags = replace ? 0u : RENAME_NOREPLACE;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) != 0) {
    const int err = errno;
    if (err == EEXIST) {
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorFileExists, "Cannot move [%s] to [%s]: the target exists",
                                     from.c_str(), to.c_str());
    }
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, err, "Cannot move [%s] to [%s]", from.c_str(), to.c_str());
  }
  return CYqError::Success();
}

CYqError FindFiles(const std::string& folder, const std::string& pattern, std::vector<FXFileInfo>& entries) {
  entries.clear();
  yq::UniqueDir dir = yq::OpenDir(folder.c_str());
  if (!dir) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot list folder [%s]", folder.c_str());
  }
  const bool matchAll = pattern.empty() || pattern == "*" || pattern == "*.*";
  const int dirFd = ::dirfd(dir.get());
  // readdir reports failure only through errno, which the calls below may
  // set for an entry that is skipped; clear it before every read.
  while (struct dirent* entry = (errno = 0, ::readdir(dir.get()))) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!matchAll && ::fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, 0) != 0) continue;  // gone meanwhile
    FXFileInfo info;
    info.name = name;
    FillInfo(st, info);
    entries.push_back(std::move(info));
  }
  if (errno != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read folder [%s]", folder.c_str());
  }
  return CYqError::Success();
}

CYqError WriteAtomically(const std::string& path, const std::string& data, mode_t mode) {
  // A name of its own per call: writers of the same path must not share one.
  static std::atomic<unsigned> counter{0};
  const std::string temporary = path + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(::gettid()) +
                                "." + std::to_string(counter.fetch_add(1));
  yq::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot create [%s]", temporary.c_str());
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::write(fd.get(), data.data() + written, data.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::unlink(temporary.c_str());
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, err, "Cannot write [%s]", temporary.c_str());
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0 || fd.close() != 0) {
    const int err = errno;
    ::unlink(temporary.c_str());
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, err, "Cannot write [%s]", temporary.c_str());
  }
  CYqError error = Move(temporary, path, true);
  if (error.IsError()) ::unlink(temporary.c_str());
  return error;
}

CYqError ReadAll(const std::string& path, std::string& data) {
  data.clear();
  yq::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open [%s]", path.c_str());
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read [%s]", path.c_str());
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  return CYqError::Success();
}

}  // namespace FXFile

namespace {

// The error of a failed call on an open file: the Win32 text of the code,
// then the system's own words. Callers put the file's name around it.
CYqError FileCallError(const FXCodeLocation& location, int errnum) {
  return FXErrorUtil::ErrorErrno(location, errnum, "%s", yq::Win32ErrorText(yq::Win32FromErrno(errnum)).c_str());
}

int OpenFlags(unsigned access, FXFile::EFXFileDisposition disposition) {
  const bool read = (access & FXFile::kAccessRead) != 0;
  const bool write = (access & FXFile::kAccessWrite) != 0;
  // Without any access the descriptor is read-only: it cannot write, yet
  // O_TRUNC still empties the file (and needs write permission for it).
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case FXFile::eFXOpenExisting: break;
    case FXFile::eFXOpenAlways: flags |= O_CREAT; break;
    case FXFile::eFXCreateAlways: flags |= O_CREAT | O_TRUNC; break;
  }
  return flags | O_CLOEXEC;
}

}  // namespace

namespace FXFile {

void* HandleFromDescriptor(int fd) {
  return fd < 0 ? nullptr : reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
}

int DescriptorFromHandle(const void* handle) {
  const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle);
  return value < 1 || value > static_cast<std::intptr_t>(INT32_MAX) ? -1 : static_cast<int>(value - 1);
}

CYqError Create(const std::string& path, unsigned access, unsigned /*share*/, EFXFileDisposition disposition,
                yq::UniqueFd& file) {
  const int flags = OpenFlags(access, disposition);
  yq::UniqueFd fd;
  do {
    fd.reset(::open(path.c_str(), flags, 0666));
  } while (!fd && errno == EINTR);
  if (!fd) return FileCallError(FX_CODE_LOCATION, errno);
  // open(2) gives a read-only descriptor for a folder; the suite's file
  // calls never open one.
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return FileCallError(FX_CODE_LOCATION, errno);
  if (S_ISDIR(st.st_mode)) return FileCallError(FX_CODE_LOCATION, EISDIR);
  file = std::move(fd);
  return CYqError::Success();
}

CYqError Read(int fd, void* buffer, std::size_t count, std::size_t& done) {
  done = 0;
  ssize_t n;
  do {
    n = ::read(fd, buffer, count);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return FileCallError(FX_CODE_LOCATION, errno);
  done = static_cast<std::size_t>(n);
  return CYqError::Success();
}

CYqError Write(int fd, const void* data, std::size_t count, std::size_t& done) {
  done = 0;
  const char* bytes = static_cast<const char*>(data);
  while (done < count) {
    const ssize_t n = ::write(fd, bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileCallError(FX_CODE_LOCATION, errno);
    }
    // A write that takes nothing and reports no error would loop forever.
    if (n == 0) return FileCallError(FX_CODE_LOCATION, ENOSPC);
    done += static_cast<std::size_t>(n);
  }
  return CYqError::Success();
}

CYqError SetPointer(int fd, long long distance, int method, long long& position) {
  const int whence = method == 0 ? SEEK_SET : method == 1 ? SEEK_CUR : SEEK_END;
  const off_t result = ::lseek(fd, static_cast<off_t>(distance), whence);
  if (result < 0) return FileCallError(FX_CODE_LOCATION, errno);
  position = static_cast<long long>(result);
  return CYqError::Success();
}

CYqError SetLength(int fd, long long length) {
  int result;
  do {
    result = ::ftruncate(fd, static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  if (result != 0) return FileCallError(FX_CODE_LOCATION, errno);
  return CYqError::Success();
}

CYqError Duplicate(int fd, yq::UniqueFd& copy) {
  yq::UniqueFd duplicate(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!duplicate) return FileCallError(FX_CODE_LOCATION, errno);
  copy = std::move(duplicate);
  return CYqError::Success();
}

}  // namespace FXFile
