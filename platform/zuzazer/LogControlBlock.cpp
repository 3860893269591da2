#include "zuzazer/LogControlBlock.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace yq {
namespace {

constexpr uint32_t kMagic = 0x5A4E4C47;  // "ZNLG"
constexpr uint32_t kLayout = 1;
constexpr std::size_t kSharedSize = 4096;

bool SetLock(int fd, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  while (::fcntl(fd, F_OFD_SETLKW, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

uint64_t FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

std::string LogControlBlock::SharedMemoryName(const std::string& logFilePath) {
  uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
  for (const unsigned char c : logFilePath) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  char name[40];
  std::snprintf(name, sizeof name, "/zn.log.%016llx", static_cast<unsigned long long>(hash));
  return name;
}

LogControlBlock::LogControlBlock(const std::string& logFilePath) {
  if (!openShared(SharedMemoryName(logFilePath), logFilePath)) {
    m_private = std::make_unique<LogSharedState>();
    m_private->magic.store(kMagic);
    m_private->layout.store(kLayout);
    m_private->generation.store(1);
    m_private->bytes.store(FileSize(logFilePath));
    m_private->lastVersionTime.store(0);
    m_state = m_private.get();
  }
}

LogControlBlock::~LogControlBlock() {
  if (m_shmFd >= 0) {
    ::munmap(m_state, kSharedSize);
    ::close(m_shmFd);
  }
}

bool LogControlBlock::openShared(const std::string& name, const std::string& logFilePath) {
  int fd = ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    // Every user of the log shares the block, whatever its umask.
    ::fchmod(fd, 0666);
  } else if (errno == EEXIST) {
    fd = ::shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0666);
  }
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(kSharedSize) && ::ftruncate(fd, kSharedSize) != 0)) {
    ::close(fd);
    return false;
  }
  void* memory = ::mmap(nullptr, kSharedSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    ::close(fd);
    return false;
  }
  m_name = name;
  m_ownerPid = ::getpid();
  m_shmFd = fd;
  m_state = static_cast<LogSharedState*>(memory);
  initializeOnce(logFilePath);
  return true;
}

void LogControlBlock::initializeOnce(const std::string& logFilePath) {
  if (m_state->magic.load(std::memory_order_acquire) == kMagic) return;
  SetLock(m_shmFd, F_WRLCK);
  if (m_state->magic.load(std::memory_order_acquire) != kMagic) {
    m_state->layout.store(kLayout);
    m_state->generation.store(1);
    m_state->bytes.store(FileSize(logFilePath));
    m_state->lastVersionTime.store(0);
    m_state->magic.store(kMagic, std::memory_order_release);
  }
  SetLock(m_shmFd, F_UNLCK);
}

bool LogControlBlock::lock(int fallbackFd) {
  if (m_shmFd >= 0 && m_ownerPid != ::getpid()) {
    // Inherited across fork: the descriptor (and so the lock) is shared with
    // the parent. Open the block again for a lock of our own.
    const int fd = ::shm_open(m_name.c_str(), O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(m_shmFd);
      m_shmFd = fd;
      m_ownerPid = ::getpid();
    }
  }
  const int fd = m_shmFd >= 0 ? m_shmFd : fallbackFd;
  if (fd < 0 || !SetLock(fd, F_WRLCK)) return false;
  m_lockedFd = fd;
  return true;
}

void LogControlBlock::unlock() {
  if (m_lockedFd >= 0) SetLock(m_lockedFd, F_UNLCK);
  m_lockedFd = -1;
}

}  // namespace yq
