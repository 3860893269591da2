#include "zn/logupkeep/internal/LogVersionCompressor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

bool Unchanged(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Writes everything `fd` holds back under `path`, through a temporary
// name, keeping its last write time. A file that appeared under the name
// meanwhile is not replaced.
CYqError PutBack(int fd, const std::string& path) {
  std::string content;
  std::vector<char> buffer(64 * 1024);
  for (off_t offset = 0;;) {
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot read back [%s]", path.c_str());
    if (n == 0) break;
    content.append(buffer.data(), static_cast<std::size_t>(n));
    offset += n;
  }
  const std::string temporary = path + ".restore." + std::to_string(::getpid()) + ".tmp";
  CYqError error = FXFile::WriteAtomically(temporary, content);
  if (error.IsError()) return error.Push(FX_CODE_LOCATION);
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ::utimensat(AT_FDCWD, temporary.c_str(), times, 0);
    ::chmod(temporary.c_str(), st.st_mode & 0777);
  }
  error = FXFile::Move(temporary, path, false);
  if (error.IsError()) ::unlink(temporary.c_str());
  return error;
}

}  // namespace

CYqError CompressLogVersion(C7zip& archiver, const std::string& path, CompressFailure& failure) {
  failure = CompressFailure::kArchive;
  const std::string archive = path + ".zip";
  yq::UniqueFd held(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat before {};
  if (!held || ::fstat(held.get(), &before) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot open [%s]", path.c_str());
  }
  CYqError error = archiver.AddFilesToArchive(archive, {path});
  if (error.IsError()) return error.Push(FX_CODE_LOCATION);

  error = FXFile::Remove(path);
  if (error.IsError()) {
    failure = CompressFailure::kRemove;
    return error.Push(FX_CODE_LOCATION);
  }
  struct stat after {};
  if (::fstat(held.get(), &after) == 0 && Unchanged(before, after)) {
    failure = CompressFailure::kNone;
    return CYqError::Success();
  }
  // Bytes arrived after the archive was read: the file is the truth.
  failure = CompressFailure::kChanged;
  error = PutBack(held.get(), path);
  if (error.IsError()) return error.Push(FX_CODE_LOCATION, "[%s] changed while it was compressed", path.c_str());
  ::unlink(archive.c_str());
  return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorSharingViolation,
                                 "[%s] changed while it was compressed; it is kept as it is", path.c_str());
}

}  // namespace zn::detail
