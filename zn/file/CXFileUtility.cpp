#include "zn/file/CXFileUtility.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "zn/debuggable/ZNTDebuggable.h"
#include "zn/file/internal/FileErrors.h"

namespace {

constexpr int kSafeAttempts = 20;
constexpr auto kSafePause = std::chrono::milliseconds(1000);

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes one level, its parents first when they are missing.
int MakeLevel(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return 0;
  int error = errno;
  if (error == ENOENT) {
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos || cut == 0) {
      errno = ENOENT;
      return -1;
    }
    if (MakeLevel(path.substr(0, cut)) != 0) return -1;
    if (::mkdir(path.c_str(), 0777) == 0) return 0;
    error = errno;
  }
  // Made meanwhile by someone else, or there all along.
  if (error == EEXIST) {
    if (IsFolder(path)) return 0;
    errno = EEXIST;
    return -1;
  }
  errno = error;
  return -1;
}

// Runs `attempt` until it succeeds, fails other than with EACCES, or has
// been tried kSafeAttempts times; `report` writes one failure, `giveUp` the
// last words.
template <typename Attempt, typename Report, typename GiveUp>
int RetryWhileRefused(Attempt attempt, Report report, GiveUp giveUp) {
  int result = -1;
  int error = 0;
  for (int tries = 0; tries < kSafeAttempts; ++tries) {
    if (tries > 0) std::this_thread::sleep_for(kSafePause);
    result = attempt();
    if (result == 0) return 0;
    error = errno;
    report(error);
    if (error != EACCES) {
      errno = error;
      return result;
    }
  }
  giveUp(kSafeAttempts);
  errno = error;
  return result;
}

}  // namespace

int znRecursiveMkdir(const char* path, int /*mode*/) {
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return -1;
  }
  if (::strnlen(path, kZnMaxMkdirPath + 1) > static_cast<std::size_t>(kZnMaxMkdirPath)) {
    errno = kZnMkdirPathTooLong;
    return -1;
  }
  return MakeLevel(path);
}

int znSafeRename(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) {
    errno = EINVAL;
    return -1;
  }
  ZNTDebuggable log;
  log.setDebugPrefix("RENAME");
  const std::string shownFrom = zn::detail::PrintableName(from);
  const std::string shownTo = zn::detail::PrintableName(to);
  return RetryWhileRefused(
      [&] { return ::rename(from, to); },
      [&](int error) { log.debug(1, "cannot rename %s to %s, errno %d\n", shownFrom.c_str(), shownTo.c_str(), error); },
      [&](int tries) {
        log.debug(1, "cannot rename %s to %s, too many retries (%d)\n", shownFrom.c_str(), shownTo.c_str(), tries);
      });
}

int znSafeRmdir(const char* path) {
  if (path == nullptr) {
    errno = EINVAL;
    return -1;
  }
  ZNTDebuggable log;
  log.setDebugPrefix("RMDIR");
  const std::string shown = zn::detail::PrintableName(path);
  return RetryWhileRefused([&] { return ::rmdir(path); },
                           [&](int error) { log.debug(1, "cannot zn_rmdir %s, errno %d\n", shown.c_str(), error); },
                           [&](int tries) {
                             log.debug(1, "cannot zn_rmdir %s, too many retries (%d)\n", shown.c_str(), tries);
                           });
}
