#include "zn/sync/NamedKernelObject.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "zn/error/ZnErrorCodes.h"

namespace zn {
namespace {

constexpr uint32_t kMagic = 0x5A4E4F42;  // "ZNOB"
constexpr std::size_t kMaxPlainNameLength = 200;
constexpr int kOpenAttempts = 5000;  // with 1 ms pauses: about 5 seconds

struct timespec DeadlineAfter(unsigned long ms) {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  now.tv_sec += static_cast<time_t>(ms / 1000);
  now.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (now.tv_nsec >= 1000000000L) {
    now.tv_sec += 1;
    now.tv_nsec -= 1000000000L;
  }
  return now;
}

void PauseBriefly() {
  const struct timespec pause = {0, 1000000L};
  ::nanosleep(&pause, nullptr);
}

// Sleeps while the process-shared futex word still holds `seen`, until the
// monotonic `deadline` (null: no limit). False when the time ran out.
bool FutexWait(std::atomic<uint32_t>& word, uint32_t seen, const struct timespec* deadline) {
  const long rc = ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_BITSET, seen, deadline,
                            nullptr, FUTEX_BITSET_MATCH_ANY);
  return !(rc == -1 && errno == ETIMEDOUT);
}

void FutexWakeAll(std::atomic<uint32_t>& word) {
  word.fetch_add(1);
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

bool SameInode(int fd, const std::string& segment) {
  struct stat open {}, named {};
  const std::string path = "/dev/shm" + segment;
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

}  // namespace

struct NamedKernelObject::Shared {
  std::atomic<uint32_t> magic;
  std::atomic<uint32_t> ready;
  uint32_t type;
  uint32_t reserved;
  pthread_mutex_t mutex;
  // Moves on with every wake-up. A futex word keeps no record of its
  // waiters, so one killed in a wait cannot block the others, as a
  // process-shared condition variable's leftover waiter does.
  std::atomic<uint32_t> wakeups;
  int32_t count;
  int32_t maximum;
  uint32_t manualReset;
  uint32_t signalled;
};

std::string NamedKernelObject::SegmentName(const std::string& name) {
  std::string plain;
  plain.reserve(name.size());
  for (const char c : name) plain.push_back(c == '/' || c == '\\' ? '_' : c);
  if (plain.size() > kMaxPlainNameLength) {
    uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a of the whole name
    for (const unsigned char c : name) {
      hash ^= c;
      hash *= 0x100000001b3ULL;
    }
    char suffix[20];
    std::snprintf(suffix, sizeof suffix, ".%016llx", static_cast<unsigned long long>(hash));
    plain = plain.substr(0, kMaxPlainNameLength - 20) + suffix;
  }
  return "/zn." + plain;
}

uint32_t NamedKernelObject::Create(const std::string& name, NamedObjectType type, const NamedObjectInit& init,
                                   bool openToEveryone, std::unique_ptr<NamedKernelObject>& object, bool& created) {
  return OpenOrCreate(name, type, &init, openToEveryone, object, &created);
}

uint32_t NamedKernelObject::Open(const std::string& name, NamedObjectType type,
                                 std::unique_ptr<NamedKernelObject>& object) {
  return OpenOrCreate(name, type, nullptr, false, object, nullptr);
}

// One attempt at opening or creating the segment. kRetry: the segment
// changed hands under us (its creator died or its last user left); start
// over from the name.
enum class NamedKernelObject::Attempt { kDone, kRetry, kFailed };

NamedKernelObject::Attempt NamedKernelObject::OpenSegment(const NamedObjectInit* init, mode_t mode,
                                                          bool& madeHere, uint32_t& error) {
  madeHere = false;
  if (init != nullptr) {
    m_fd.reset(::shm_open(m_segment.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    madeHere = static_cast<bool>(m_fd);
    if (!m_fd && errno != EEXIST) {
      error = ErrorFromErrno(errno);
      return Attempt::kFailed;
    }
  }
  if (!m_fd) {
    m_fd.reset(::shm_open(m_segment.c_str(), O_RDWR | O_CLOEXEC, 0));
    if (!m_fd) {
      if (errno == ENOENT && init != nullptr) return Attempt::kRetry;  // its last user just left: create it
      error = ErrorFromErrno(errno);
      return Attempt::kFailed;
    }
  }
  return Attempt::kDone;
}

NamedKernelObject::Attempt NamedKernelObject::SizeSegment(const NamedObjectInit* init, mode_t mode, bool& madeHere,
                                                          uint32_t& error) {
  const int fd = m_fd.get();
  if (madeHere && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // An opener got in between the create and the lock and sets the object
    // up itself (below); waiting for the lock would wait until that opener
    // closes. Carry on as an opener.
    ::fchmod(fd, mode);
    madeHere = false;
  }
  if (madeHere) {
    if (::fchmod(fd, mode) != 0 || ::ftruncate(fd, sizeof(Shared)) != 0) {
      error = ErrorFromErrno(errno);
      ::shm_unlink(m_segment.c_str());
      return Attempt::kFailed;
    }
  } else {
    ::flock(fd, LOCK_SH);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = ErrorFromErrno(errno);
    return Attempt::kFailed;
  }
  if (static_cast<std::size_t>(st.st_size) >= sizeof(Shared)) return Attempt::kDone;
  // The creator has not sized it yet, or died before it could.
  if (!madeHere && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && init != nullptr && ::ftruncate(fd, sizeof(Shared)) == 0) {
    ::fchmod(fd, mode);  // the creator may have died before its own fchmod
    madeHere = true;
    return Attempt::kDone;
  }
  ::flock(fd, LOCK_UN);
  return Attempt::kRetry;
}

NamedKernelObject::Attempt NamedKernelObject::MapSegment(const NamedObjectInit* init, mode_t mode, bool& madeHere,
                                                         uint32_t& error) {
  m_mapping = yq::UniqueMapping::MapShared(m_fd.get(), sizeof(Shared));
  if (!m_mapping) {
    error = ErrorFromErrno(errno);
    return Attempt::kFailed;
  }
  m_shared = m_mapping.as<Shared>();
  if (madeHere || m_shared->ready.load(std::memory_order_acquire) == 1) return Attempt::kDone;
  // Still being set up; or its creator died first, in which case nobody
  // else holds the segment and it is ours to set up.
  if (init != nullptr && ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0) {
    ::fchmod(m_fd.get(), mode);
    madeHere = true;
    return Attempt::kDone;
  }
  ::flock(m_fd.get(), LOCK_UN);
  return Attempt::kRetry;
}

void NamedKernelObject::InitializeShared(NamedObjectType type, const NamedObjectInit& init) {
  Shared& shared = *m_shared;
  pthread_mutexattr_t mutexAttributes;
  pthread_mutexattr_init(&mutexAttributes);
  pthread_mutexattr_setpshared(&mutexAttributes, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&mutexAttributes, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&mutexAttributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&shared.mutex, &mutexAttributes);
  pthread_mutexattr_destroy(&mutexAttributes);
  shared.wakeups.store(0);
  shared.type = static_cast<uint32_t>(type);
  shared.count = init.initialCount;
  shared.maximum = init.maximumCount;
  shared.manualReset = init.manualReset ? 1 : 0;
  shared.signalled = init.signalled ? 1 : 0;
  shared.magic.store(kMagic);
  shared.ready.store(1, std::memory_order_release);
  // From exclusive to shared; the conversion may let a closer in, which the
  // name check of the caller catches.
  ::flock(m_fd.get(), LOCK_SH);
}

uint32_t NamedKernelObject::OpenOrCreate(const std::string& name, NamedObjectType type, const NamedObjectInit* init,
                                         bool openToEveryone, std::unique_ptr<NamedKernelObject>& object,
                                         bool* created) {
  object.reset();
  if (name.empty()) return kErrorInvalidName;
  const std::string segment = SegmentName(name);
  const mode_t mode = openToEveryone ? 0666 : 0600;

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    std::unique_ptr<NamedKernelObject> candidate(new NamedKernelObject());
    candidate->m_name = name;
    candidate->m_segment = segment;
    candidate->m_opener = ::getpid();

    bool madeHere = false;
    uint32_t error = 0;
    Attempt step = candidate->OpenSegment(init, mode, madeHere, error);
    if (step == Attempt::kDone) step = candidate->SizeSegment(init, mode, madeHere, error);
    if (step == Attempt::kDone) step = candidate->MapSegment(init, mode, madeHere, error);
    if (step == Attempt::kFailed) return error;
    if (step == Attempt::kRetry) {
      PauseBriefly();
      continue;
    }
    if (madeHere) candidate->InitializeShared(type, *init);
    if (!SameInode(candidate->m_fd.get(), segment)) continue;  // unlinked by its last user meanwhile: start over
    const Shared& shared = *candidate->m_shared;
    if (shared.magic.load() != kMagic || shared.type != static_cast<uint32_t>(type)) {
      return kErrorInvalidHandle;
    }
    if (created != nullptr) *created = madeHere;
    object = std::move(candidate);
    return 0;
  }
  return kErrorBusy;
}

NamedKernelObject::~NamedKernelObject() {
  if (!m_fd) return;
  // The last user removes the name, so the object dies with it. A forked
  // child's copy shares the parent's open file description and its lock:
  // converting that lock would end the parent's object, so it only closes.
  if (::getpid() == m_opener && ::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0 && SameInode(m_fd.get(), m_segment)) {
    ::shm_unlink(m_segment.c_str());
  }
}

NamedObjectType NamedKernelObject::type() const { return static_cast<NamedObjectType>(m_shared->type); }

WaitOutcome NamedKernelObject::lockMutex(unsigned long timeoutMs) {
  int rc;
  if (timeoutMs >= kWaitForever) {
    rc = ::pthread_mutex_lock(&m_shared->mutex);
  } else if (timeoutMs == 0) {
    rc = ::pthread_mutex_trylock(&m_shared->mutex);
  } else {
    const struct timespec deadline = DeadlineAfter(timeoutMs);
    rc = ::pthread_mutex_clocklock(&m_shared->mutex, CLOCK_MONOTONIC, &deadline);
  }
  switch (rc) {
    case 0:
      return WaitOutcome::kAcquired;
    case EOWNERDEAD:
      ::pthread_mutex_consistent(&m_shared->mutex);
      return WaitOutcome::kAbandoned;
    case EBUSY:
    case ETIMEDOUT:
      return WaitOutcome::kTimeout;
    default:
      errno = rc;
      return WaitOutcome::kFailed;
  }
}

bool NamedKernelObject::unlockMutex() { return ::pthread_mutex_unlock(&m_shared->mutex) == 0; }

bool NamedKernelObject::lockGuard() {
  const int rc = ::pthread_mutex_lock(&m_shared->mutex);
  if (rc == EOWNERDEAD) {
    ::pthread_mutex_consistent(&m_shared->mutex);
    return true;
  }
  return rc == 0;
}

void NamedKernelObject::unlockGuard() { ::pthread_mutex_unlock(&m_shared->mutex); }

WaitOutcome NamedKernelObject::waitUntil(unsigned long timeoutMs, bool (*ready)(Shared&),
                                         void (*consume)(Shared&)) {
  if (!lockGuard()) return WaitOutcome::kFailed;
  const bool forever = timeoutMs >= kWaitForever;
  const struct timespec deadline = DeadlineAfter(forever ? 0 : timeoutMs);
  while (!ready(*m_shared)) {
    if (timeoutMs == 0) {
      unlockGuard();
      return WaitOutcome::kTimeout;
    }
    // Read under the guard: a wake-up once the guard is let go moves the
    // word on, and the futex wait then returns at once.
    const uint32_t seen = m_shared->wakeups.load();
    unlockGuard();
    const bool woken = FutexWait(m_shared->wakeups, seen, forever ? nullptr : &deadline);
    if (!lockGuard()) return WaitOutcome::kFailed;
    if (!woken && !ready(*m_shared)) {
      unlockGuard();
      return WaitOutcome::kTimeout;
    }
  }
  consume(*m_shared);
  unlockGuard();
  return WaitOutcome::kAcquired;
}

WaitOutcome NamedKernelObject::waitSemaphore(unsigned long timeoutMs) {
  return waitUntil(
      timeoutMs, [](Shared& s) { return s.count > 0; }, [](Shared& s) { --s.count; });
}

bool NamedKernelObject::releaseSemaphore(int count, int* previous) {
  if (count < 1 || !lockGuard()) return false;
  const bool fits = static_cast<long long>(m_shared->count) + count <= m_shared->maximum;
  if (fits) {
    if (previous != nullptr) *previous = m_shared->count;
    m_shared->count += count;
    FutexWakeAll(m_shared->wakeups);
  }
  unlockGuard();
  return fits;
}

int NamedKernelObject::semaphoreCount() {
  if (!lockGuard()) return -1;
  const int count = m_shared->count;
  unlockGuard();
  return count;
}

WaitOutcome NamedKernelObject::waitEvent(unsigned long timeoutMs) {
  return waitUntil(
      timeoutMs, [](Shared& s) { return s.signalled != 0; },
      [](Shared& s) {
        if (s.manualReset == 0) s.signalled = 0;
      });
}

void NamedKernelObject::setEvent() {
  if (!lockGuard()) return;
  m_shared->signalled = 1;
  FutexWakeAll(m_shared->wakeups);
  unlockGuard();
}

void NamedKernelObject::resetEvent() {
  if (!lockGuard()) return;
  m_shared->signalled = 0;
  unlockGuard();
}

bool NamedKernelObject::isEventSignalled() {
  if (!lockGuard()) return false;
  const bool signalled = m_shared->signalled != 0;
  unlockGuard();
  return signalled;
}

}  // namespace zn
