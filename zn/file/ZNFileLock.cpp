// The lock on the first byte of a ZNFile and its read-only mapping.
//
// Locks are open-file-description locks (F_OFD_SETLK): they belong to the
// open file, not to the process, so two opens conflict even in one process,
// as the Windows original's locks do, and closing another descriptor of the same
// file does not drop them.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <limits>
#include <string>
#include <thread>

#include "zn/file/ZNFile.h"
#include "zn/file/internal/FileErrors.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr auto kLockRetryPause = std::chrono::milliseconds(200);
constexpr unsigned long long kLockTriesPerSecond = 5;
// The volume or file is not valid for the request: the Windows original's answer
// to mapping an empty file.
constexpr int kErrorFileInvalid = 1006;

struct flock FirstByte(short type) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  range.l_pid = 0;  // must be 0 for open-file-description locks
  return range;
}

// True when `fd` was opened with the access the lock type needs: a write
// lock needs a writable descriptor, a read lock a readable one.
bool HasAccessFor(int fd, short type) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) return false;
  const int access = flags & O_ACCMODE;
  return type == F_WRLCK ? access != O_RDONLY : access != O_WRONLY;
}

}  // namespace

int ZNFile::lock(LockMode_t mode, unsigned long seconds) {
  if (m_isOpen == 0 || m_locked != 0 || (mode != ZNFILE_LOCK_EXCLUSIVE && mode != ZNFILE_LOCK_SHARED)) {
    m_lastError = -1;
    return -1;
  }
  const short type = mode == ZNFILE_LOCK_EXCLUSIVE ? F_WRLCK : F_RDLCK;
  int fd = m_positionFd;
  yq::UniqueFd companion;
  if (!HasAccessFor(fd, type)) {
    // The Windows original locks a read-only open exclusively; here that takes an
    // open of the same file with the access the lock needs.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    companion.reset(::open(self.c_str(), (type == F_WRLCK ? O_WRONLY : O_RDONLY) | O_CLOEXEC | O_NOCTTY));
    if (!companion) {
      m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
      debug(1, "lock: cannot lock, code %d\n", m_lastError);
      return -1;
    }
    fd = companion.get();
  }
  const unsigned long long maxRetries =
      seconds > std::numeric_limits<unsigned long long>::max() / kLockTriesPerSecond
          ? std::numeric_limits<unsigned long long>::max()
          : static_cast<unsigned long long>(seconds) * kLockTriesPerSecond;
  struct flock range = FirstByte(type);
  for (unsigned long long retries = 0;;) {
    if (::fcntl(fd, F_OFD_SETLK, &range) == 0) {
      m_locked = 1;
      m_lockedFd = fd;
      m_lockFd = std::move(companion);
      return 1;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EAGAIN && error != EACCES) {
      m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(error));
      debug(1, "lock: cannot lock, code %d\n", m_lastError);
      return -1;
    }
    if (retries >= maxRetries) {
      m_lastError = static_cast<int>(yq::kErrorLockViolation);
      return 0;
    }
    ++retries;
    std::this_thread::sleep_for(kLockRetryPause);
  }
}

int ZNFile::unlock() {
  if (m_isOpen == 0 || m_locked == 0) {
    m_lastError = -1;
    return -1;
  }
  struct flock range = FirstByte(F_UNLCK);
  int result;
  do {
    result = ::fcntl(m_lockedFd, F_OFD_SETLK, &range);
  } while (result != 0 && errno == EINTR);
  const int error = errno;
  // Closing the companion open drops its lock in any case.
  m_lockFd.reset();
  m_lockedFd = -1;
  m_locked = 0;
  if (result != 0) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(error));
    return -1;
  }
  return 0;
}

const void* ZNFile::mapViewOfFile() {
  m_view.reset();
  if (m_isOpen == 0) {
    m_lastError = -1;
    return nullptr;
  }
  if (m_readFd < 0) {
    m_lastError = static_cast<int>(yq::kErrorAccessDenied);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(m_readFd, &st) != 0) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
    return nullptr;
  }
  if (!S_ISREG(st.st_mode) || st.st_size <= 0) {
    m_lastError = S_ISREG(st.st_mode) ? kErrorFileInvalid : static_cast<int>(yq::kErrorInvalidHandle);
    return nullptr;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  yq::UniqueMapping view(::mmap(nullptr, size, PROT_READ, MAP_SHARED, m_readFd, 0), size);
  if (!view) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
    return nullptr;
  }
  m_view = std::move(view);
  return m_view.get();
}
