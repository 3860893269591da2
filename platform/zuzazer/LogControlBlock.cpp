#include "zuzazer/LogControlBlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>

#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXUniqueFd.h"

namespace yq {
namespace {

constexpr uint32_t kMagic = 0x5A4E4C47;  // "ZNLG"
constexpr uint32_t kLayout = 2;
constexpr std::size_t kSharedSize = 4096;
constexpr int kOpenAttempts = 8;

long long NowMs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Tries `attempt` until it succeeds or kLockWaitMs pass, pausing a little
// longer each time (1 ms up to 16 ms): no lock on the block is waited for
// without limit, whoever holds it.
template <typename Attempt>
bool TryFor(Attempt attempt) {
  const long long deadline = NowMs() + LogControlBlock::kLockWaitMs;
  long pauseNs = 1000000;
  while (true) {
    const int result = attempt();
    if (result == 0) return true;
    if (result != EAGAIN && result != EACCES && result != EWOULDBLOCK && result != EINTR) return false;
    if (NowMs() >= deadline) return false;
    const struct timespec pause = {0, pauseNs};
    ::nanosleep(&pause, nullptr);
    if (pauseNs < 16000000) pauseNs *= 2;
  }
}

bool SetLock(int fd, short type) {
  struct flock whole {};
  whole.l_type = type;
  whole.l_whence = SEEK_SET;
  whole.l_start = 0;
  whole.l_len = 0;
  if (type == F_UNLCK) return ::fcntl(fd, F_OFD_SETLK, &whole) == 0;
  return TryFor([&] { return ::fcntl(fd, F_OFD_SETLK, &whole) == 0 ? 0 : errno; });
}

// Every user of a block holds a shared flock on it, so that the last one
// to close can tell it is the last.
bool ShareBlock(int fd) {
  return TryFor([&] { return ::flock(fd, LOCK_SH | LOCK_NB) == 0 ? 0 : errno; });
}

bool SameInode(int fd, const std::string& path) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// A block only the log's writers could have set up: nobody else may write
// it, and it belongs to this user, root or the folder's owner, or to the
// folder's group (which only the group's members could give it).
bool Trusted(const struct stat& block, const struct stat& folder) {
  if ((block.st_mode & 0002) != 0 || static_cast<std::size_t>(block.st_size) < kSharedSize) return false;
  return block.st_uid == ::geteuid() || block.st_uid == 0 || block.st_uid == folder.st_uid ||
         block.st_gid == folder.st_gid;
}

uint64_t FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void Initialize(LogSharedState& state, const std::string& logFilePath) {
  state.layout.store(kLayout);
  state.generation.store(1);
  state.bytes.store(FileSize(logFilePath));
  state.lastVersionTime.store(0);
  state.tornLines.store(0);
  state.closedLines.store(0);
  state.magic.store(kMagic, std::memory_order_release);
}

// The shared blocks this process has open.
struct OpenBlocks {
  std::mutex mutex;
  std::set<LogControlBlock*> blocks;
};

OpenBlocks& Blocks() {
  static NoDestructor<OpenBlocks> blocks;
  return *blocks;
}

// The process-wide log writers are left alive at exit on purpose, so their
// blocks would outlive the process: the ones no other process uses are
// removed here. (A lock held by a thread forked away is not waited for.)
__attribute__((destructor)) void RemoveBlocksAtExit() {
  std::unique_lock<std::mutex> lock(Blocks().mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  for (LogControlBlock* block : Blocks().blocks) block->removeIfLastUser();
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
  if (openShared(logFilePath)) {
    const std::lock_guard<std::mutex> lock(Blocks().mutex);
    Blocks().blocks.insert(this);
  } else {
    m_private = std::make_unique<LogSharedState>();
    Initialize(*m_private, logFilePath);
    m_state = m_private.get();
  }
}

LogControlBlock::~LogControlBlock() {
  if (!m_shmFd) return;
  {
    const std::lock_guard<std::mutex> lock(Blocks().mutex);
    Blocks().blocks.erase(this);
  }
  removeIfLastUser();
}

void LogControlBlock::removeIfLastUser() {
  // A forked child's inherited copy shares its parent's open file and
  // flock: only a block this process opened itself counts.
  if (!m_shmFd || ::getpid() != m_ownerPid || ::flock(m_shmFd.get(), LOCK_EX | LOCK_NB) != 0) return;
  if (SameInode(m_shmFd.get(), m_path)) ::unlink(m_path.c_str());
  // Writers that opened the name just before see it gone once they share
  // the block, and make a new one.
  ::flock(m_shmFd.get(), LOCK_SH);
}

bool LogControlBlock::openShared(const std::string& logFilePath) {
  m_path = "/dev/shm" + SharedMemoryName(logFilePath);
  struct stat folder {};
  if (::stat(FXPath::GetDirectory(logFilePath).c_str(), &folder) != 0) return false;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    UniqueFd fd(::open(m_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
      if (errno != ENOENT) return false;
      const int made = createShared(logFilePath, folder);
      if (made == -2) continue;  // another writer's came first: open that
      if (made < 0) return false;
      m_ownerPid = ::getpid();
      return true;
    }
    if (!ShareBlock(fd.get())) return false;
    if (!SameInode(fd.get(), m_path)) continue;  // its last writer removed it meanwhile
    struct stat block {};
    if (::fstat(fd.get(), &block) != 0 || !Trusted(block, folder)) return false;
    UniqueMapping mapping = UniqueMapping::MapShared(fd.get(), kSharedSize);
    if (!mapping || mapping.as<LogSharedState>()->magic.load(std::memory_order_acquire) != kMagic) return false;
    m_mapping = std::move(mapping);
    m_state = m_mapping.as<LogSharedState>();
    m_shmFd = std::move(fd);
    m_ownerPid = ::getpid();
    return true;
  }
  return false;
}

int LogControlBlock::createShared(const std::string& logFilePath, const struct stat& folder) {
  // Made without a name, so that nobody sees it before it is whole.
  UniqueFd fd(::open("/dev/shm", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (!fd) return -1;
  // The folder's owner and group, who may write the log, share the block;
  // root gives it to them, others give it the folder's group when theirs.
  mode_t mode = 0600;
  const bool given = ::geteuid() == 0 ? ::fchown(fd.get(), folder.st_uid, folder.st_gid) == 0
                                      : ::fchown(fd.get(), static_cast<uid_t>(-1), folder.st_gid) == 0;
  if (given && (folder.st_mode & 0020) != 0) mode |= 0060;
  if (::fchmod(fd.get(), mode) != 0 || ::ftruncate(fd.get(), kSharedSize) != 0) return -1;
  UniqueMapping mapping = UniqueMapping::MapShared(fd.get(), kSharedSize);
  if (!mapping) return -1;
  Initialize(*mapping.as<LogSharedState>(), logFilePath);
  ::flock(fd.get(), LOCK_SH);  // nobody else has it yet
  const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    return errno == EEXIST ? -2 : -1;
  }
  m_mapping = std::move(mapping);
  m_state = m_mapping.as<LogSharedState>();
  m_shmFd = std::move(fd);
  return 0;
}

bool LogControlBlock::lock(int fallbackFd) {
  if (m_shmFd && m_ownerPid != ::getpid()) {
    // Inherited across fork: the descriptor (and so the lock) is shared with
    // the parent. Open the block again for a lock of our own.
    UniqueFd fd(::open(m_path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    struct stat mine {}, theirs {};
    if (fd && ::fstat(fd.get(), &mine) == 0 && ::fstat(m_shmFd.get(), &theirs) == 0 && mine.st_dev == theirs.st_dev &&
        mine.st_ino == theirs.st_ino && ShareBlock(fd.get())) {
      m_shmFd = std::move(fd);
      m_ownerPid = ::getpid();
    }
  }
  const int fd = m_shmFd ? m_shmFd.get() : fallbackFd;
  if (fd < 0 || !SetLock(fd, F_WRLCK)) return false;
  m_lockedFd = fd;
  return true;
}

void LogControlBlock::unlock() {
  if (m_lockedFd >= 0) SetLock(m_lockedFd, F_UNLCK);
  m_lockedFd = -1;
}

}  // namespace yq
