#include "zn/debuggable/internal/DebugSharedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "zuzazer/FXUniqueFd.h"

namespace zn::detail {
namespace {

constexpr const char* kMarkerName = "CXIndexLogging";
constexpr const char* kSharedName = "log.out";

// Appends to `path` only when it is a regular file of our own: the folder is
// shared by every user, so a link or a file planted by someone else would
// send our lines where they choose, or let them read ours.
FILE* OpenForAppend(const std::string& path) {
  yq::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd) return nullptr;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return nullptr;
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    errno = EACCES;
    return nullptr;
  }
  FILE* file = ::fdopen(fd.get(), "a");
  if (file != nullptr) fd.release();
  return file;
}

}  // namespace

std::mutex& DebuggableLock() {
  static std::mutex lock;
  return lock;
}

std::string DebuggableFolder() {
  const char* configured = std::getenv("ZN_DEBUGGABLE_DIR");
  std::string folder = configured != nullptr && *configured != '\0' ? configured : "/tmp/";
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

FILE* OpenDebugSharedFile(bool needMarker, long pid) {
  const std::string folder = DebuggableFolder();
  if (needMarker) {
    struct stat info {};
    if (::stat((folder + kMarkerName).c_str(), &info) != 0) return nullptr;
  }
  std::string path = folder + kSharedName;
  FILE* file = OpenForAppend(path);
  if (file == nullptr) {
    path = folder + "log" + std::to_string(static_cast<int>(pid)) + ".out";
    file = OpenForAppend(path);
  }
  if (file == nullptr) {
    std::printf("Cannot open %s file, errno %d\n", path.c_str(), errno);
    std::fflush(stdout);
    return nullptr;
  }
  std::fprintf(file, "\nHello from pid %ld\n", pid);
  std::fflush(file);
  return file;
}

}  // namespace zn::detail
