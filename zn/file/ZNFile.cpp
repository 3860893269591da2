#include "zn/file/ZNFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>
#include <thread>

#include "zn/file/internal/FileErrors.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

constexpr auto kOpenRetryPause = std::chrono::milliseconds(1000);
// One system call moves at most this much; larger requests loop.
constexpr unsigned long kMaxTransfer = 1UL << 30;

int OpenFlags(ZNFile::OpenMode_t mode) {
  switch (mode) {
    case ZNFile::ZNFILE_READ: return O_RDONLY;
    case ZNFile::ZNFILE_WRITE: return O_WRONLY;
    case ZNFile::ZNFILE_READ_WRITE: return O_RDWR;
    case ZNFile::ZNFILE_OPEN_ALWAYS: return O_RDWR | O_CREAT;
    case ZNFile::ZNFILE_CREATE_NEW: return O_RDWR | O_CREAT | O_EXCL;
  }
  return -1;
}

bool ValidMode(int mode) { return mode >= ZNFile::ZNFILE_READ && mode <= ZNFile::ZNFILE_CREATE_NEW; }

std::unique_ptr<char[]> NewBuffer(std::size_t size) { return std::unique_ptr<char[]>(new (std::nothrow) char[size]); }

bool IsPipeOrSocket(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

// write(2) to a pipe or socket whose reader is gone fails with EPIPE and
// would also raise SIGPIPE, which ends the process by default: the signal
// is held back on this thread for the call and a SIGPIPE it caused is
// taken off again, so the caller sees only the error, as on the Windows original
// platform.
ssize_t WriteWithoutSigpipe(int fd, const char* data, std::size_t size) {
  sigset_t pipeOnly, saved;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
  ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &saved);
  const ssize_t n = ::write(fd, data, size);
  const int error = errno;
  if (n < 0 && error == EPIPE && !alreadyPending) {
    const struct timespec none = {0, 0};
    ::sigtimedwait(&pipeOnly, nullptr, &none);
  }
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  errno = error;
  return n;
}

}  // namespace

ZNFile::ZNFile() {
  m_readBuffer = NewBuffer(kDefaultBufSize);
  m_writeBuffer = NewBuffer(kDefaultBufSize);
  if (m_readBuffer && m_writeBuffer) m_bufSize = m_bufCapacity = kDefaultBufSize;
}

ZNFile::~ZNFile() {
  if (m_isOpen != 0) {
    flushWriteBuffer();
    if (m_locked != 0) unlock();
    releaseHandles();
  }
}

int ZNFile::open(const char* path, OpenMode_t mode, int retries, int /*reserved*/) {
  return openPath(path, mode, retries, 0666);
}

int ZNFile::openPath(const char* path, OpenMode_t mode, int retries, unsigned permissions) {
  if (m_isOpen != 0 || path == nullptr || !ValidMode(mode)) {
    m_lastError = -1;
    return -1;
  }
  if (!m_readBuffer || !m_writeBuffer) {
    m_lastError = static_cast<int>(yq::kErrorNotEnoughMemory);
    return -1;
  }
  while (true) {
    const int error = tryOpen(path, mode, permissions);
    if (error == 0) return 0;
    if (retries <= 0) {
      uint32_t code = zn::detail::FileErrorFromErrno(error);
      if (code == yq::kErrorPathNotFound) code = yq::kErrorFileNotFound;
      m_lastError = static_cast<int>(code);
      debug(1, "open: %s failed, code %d\n", zn::detail::PrintableName(path).c_str(), m_lastError);
      return -1;
    }
    --retries;
    std::this_thread::sleep_for(kOpenRetryPause);
  }
}

int ZNFile::tryOpen(const char* path, OpenMode_t mode, unsigned permissions) {
  // O_NONBLOCK only for the open itself: a FIFO planted where a file is
  // expected must not hang the caller waiting for its other end.
  const int flags = OpenFlags(mode) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  yq::UniqueFd fd;
  do {
    fd.reset(::open(path, flags, static_cast<mode_t>(permissions)));
  } while (!fd && errno == EINTR);
  if (!fd) return errno;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errno;
  // The Windows original's files are never folders.
  if (S_ISDIR(st.st_mode)) return EISDIR;
  const int status = ::fcntl(fd.get(), F_GETFL);
  if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return errno;
  m_ownedFd = std::move(fd);
  const int raw = m_ownedFd.get();
  markOpen(mode != ZNFILE_WRITE ? raw : -1, mode != ZNFILE_READ ? raw : -1, mode, false);
  return 0;
}

int ZNFile::setHandles(void* readHandle, void* writeHandle, OpenMode_t mode) {
  if (m_isOpen != 0 || !ValidMode(mode)) {
    m_lastError = -1;
    return -1;
  }
  if (!m_readBuffer || !m_writeBuffer) {
    m_lastError = static_cast<int>(yq::kErrorNotEnoughMemory);
    return -1;
  }
  const int readFd = mode != ZNFILE_WRITE ? FXFile::DescriptorFromHandle(readHandle) : -1;
  const int writeFd = mode != ZNFILE_READ ? FXFile::DescriptorFromHandle(writeHandle) : -1;
  if ((mode != ZNFILE_WRITE && readFd < 0) || (mode != ZNFILE_READ && writeFd < 0)) {
    m_lastError = static_cast<int>(yq::kErrorInvalidHandle);
    return -1;
  }
  markOpen(readFd, writeFd, mode, true);
  return 0;
}

void ZNFile::markOpen(int readFd, int writeFd, OpenMode_t mode, bool setByCaller) {
  m_readFd = readFd;
  m_writeFd = writeFd;
  m_positionFd = mode == ZNFILE_WRITE ? writeFd : readFd;
  m_writeIsPipe = writeFd >= 0 && IsPipeOrSocket(writeFd);
  m_readIsPipe = readFd >= 0 && IsPipeOrSocket(readFd);
  m_isOpen = 1;
  m_openMode = mode;
  m_locked = 0;
  m_handlesSetByCaller = setByCaller ? 1 : 0;
  m_offset = 0;
  m_readPos = m_readLeft = 0;
  m_writeWaiting = 0;
}

long ZNFile::read(char* buffer, unsigned long size) {
  if (!canRead() || (buffer == nullptr && size > 0)) {
    m_lastError = -1;
    return -1;
  }
  if (size == 0) return 0;
  ssize_t n;
  do {
    n = ::read(m_readFd, buffer, std::min(size, kMaxTransfer));
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
    return -1;
  }
  m_offset += n;
  return static_cast<long>(n);
}

int ZNFile::writeAll(const char* data, unsigned long size, unsigned long& done) {
  done = 0;
  while (done < size) {
    const std::size_t piece = std::min(size - done, kMaxTransfer);
    const ssize_t n = m_writeIsPipe ? WriteWithoutSigpipe(m_writeFd, data + done, piece)
                                    : ::write(m_writeFd, data + done, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      // The system says why it stopped (112 for a full disk): that is the
      // cause the caller needs, whether or not some bytes went in.
      m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
      m_offset += static_cast<long long>(done);
      return -1;
    }
    if (n == 0) {
      m_lastError = -2;
      m_offset += static_cast<long long>(done);
      return -1;
    }
    done += static_cast<unsigned long>(n);
  }
  m_offset += static_cast<long long>(done);
  return 0;
}

long ZNFile::write(const char* data, unsigned long size) {
  if (!canWrite() || (data == nullptr && size > 0)) {
    m_lastError = -1;
    return -1;
  }
  if (size > static_cast<unsigned long>(LONG_MAX)) size = static_cast<unsigned long>(LONG_MAX);
  unsigned long done = 0;
  if (writeAll(data, size, done) != 0) return -1;
  return static_cast<long>(done);
}

long long ZNFile::getCurOffset() const {
  return m_offset + static_cast<long long>(m_writeWaiting) - static_cast<long long>(m_readLeft);
}

int ZNFile::seek(long long offset, SeekMode_t mode) {
  if (m_isOpen == 0 || mode < ZNFILE_SEEK_BEGIN || mode > ZNFILE_SEEK_END) {
    m_lastError = -1;
    return -1;
  }
  if (flushWriteBuffer() != 0) return -1;
  off_t target;
  int whence = SEEK_SET;
  switch (mode) {
    case ZNFILE_SEEK_BEGIN: target = static_cast<off_t>(offset); break;
    // From where the caller stands, not from where the read-ahead left the
    // descriptor.
    case ZNFILE_SEEK_CURRENT: target = static_cast<off_t>(getCurOffset() + offset); break;
    default:
      target = static_cast<off_t>(offset);
      whence = SEEK_END;
      break;
  }
  const off_t result = ::lseek(m_positionFd, target, whence);
  if (result < 0) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
    return -1;
  }
  m_offset = static_cast<long long>(result);
  m_readPos = m_readLeft = 0;
  return 0;
}

int ZNFile::truncate() {
  if (seek(0, ZNFILE_SEEK_BEGIN) != 0) return -1;
  int result;
  do {
    result = ::ftruncate(m_positionFd, 0);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    // A descriptor opened for reading only cannot be cut: access denied.
    m_lastError = static_cast<int>(errno == EINVAL || errno == EBADF ? yq::kErrorAccessDenied
                                                                      : zn::detail::FileErrorFromErrno(errno));
    return -1;
  }
  return 0;
}

int ZNFile::close() {
  if (m_isOpen == 0) return 0;
  int result = 0;
  int flushError = 0;
  if (flushWriteBuffer() != 0) {
    result = -1;
    flushError = m_lastError;
  }
  // Bytes the disk would not take are lost with the file's closing; the
  // result says so.
  m_writeWaiting = 0;
  m_readPos = m_readLeft = 0;
  if (m_locked != 0 && unlock() != 0) result = -1;
  m_view.reset();
  if (m_ownedFd && m_ownedFd.close() != 0) {
    m_lastError = static_cast<int>(zn::detail::FileErrorFromErrno(errno));
    result = -1;
  } else if (flushError != 0) {
    m_lastError = flushError;
  }
  releaseHandles();
  return result;
}

void ZNFile::releaseHandles() {
  m_view.reset();
  m_lockFd.reset();
  m_lockedFd = -1;
  m_locked = 0;
  m_ownedFd.reset();
  m_readFd = m_writeFd = m_positionFd = -1;
  m_writeIsPipe = m_readIsPipe = false;
  m_isOpen = 0;
  m_handlesSetByCaller = 0;
  m_readPos = m_readLeft = 0;
  m_writeWaiting = 0;
}

int ZNFile::getFileSize(const char* path, long long* size) {
  if (path == nullptr || size == nullptr) return static_cast<int>(yq::kErrorInvalidParameter);
  struct stat st {};
  if (::stat(path, &st) != 0) return static_cast<int>(zn::detail::FileErrorFromErrno(errno));
  *size = S_ISDIR(st.st_mode) ? 0 : static_cast<long long>(st.st_size);
  return 0;
}

int ZNFile::isFile(const char* path) {
  if (path == nullptr) return -1;
  struct stat st {};
  if (::stat(path, &st) != 0) return -1;
  return S_ISREG(st.st_mode) ? 1 : 0;
}
