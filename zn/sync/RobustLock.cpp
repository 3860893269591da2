// The lock of a named object's segment: a futex word with the owner's
// thread id, and the take-over of a lock whose owner is gone.

#include "zn/sync/internal/RobustLock.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

#include "zn/sync/internal/MonotonicTime.h"
#include "zuzazer/FXThreadId.h"
#include "zuzazer/FXUniqueFd.h"

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#define ZN_TSAN_ACQUIRE(address) __tsan_acquire(address)
#define ZN_TSAN_RELEASE(address) __tsan_release(address)
#else
#define ZN_TSAN_ACQUIRE(address) ((void)0)
#define ZN_TSAN_RELEASE(address) ((void)0)
#endif

namespace zn {

bool ParseThreadStat(std::string_view text, char& state, unsigned long long& startTicks) {
  // "<id> (<command>) <state> <fields 4..>": the command may hold ')' and
  // blanks, so the fields start after the last ')'.
  const std::size_t close = text.rfind(')');
  if (close == std::string_view::npos || close + 2 >= text.size() || text[close + 1] != ' ') return false;
  std::string_view rest = text.substr(close + 2);
  // Field 3 is the state; the start time is field 22.
  for (int field = 3; field <= 22; ++field) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    std::size_t end = rest.find(' ');
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view word = rest.substr(0, end);
    if (word.empty()) return false;
    if (field == 3) {
      if (word.size() != 1) return false;
      state = word.front();
    } else if (field == 22) {
      const auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), startTicks);
      return ec == std::errc() && ptr == word.data() + word.size();
    }
    rest.remove_prefix(end);
  }
  return false;
}

namespace detail {
namespace {

// A sleeper looks again at least this often: a wake-up can go to a waiter
// that is being killed, and an owner can die without waking anyone.
constexpr long long kSliceNs = 100LL * 1000000LL;


// The stat text of thread `id`; false when it cannot be read.
bool ReadThreadStat(uint32_t id, char& state, unsigned long long& start) {
  char path[40];
  std::snprintf(path, sizeof path, "/proc/%u/stat", id);
  yq::UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  char text[1024];
  const ssize_t got = ::read(fd.get(), text, sizeof text);
  return got > 0 && ParseThreadStat(std::string_view(text, static_cast<std::size_t>(got)), state, start);
}

// The calling thread's start time, read once per thread (a forked child's
// thread has an id of its own, and so reads its own).
// Initial-exec, as the thread id's cache: every lock reads it.
__thread uint32_t t_startCachedFor __attribute__((tls_model("initial-exec"))) = 0;
__thread uint64_t t_cachedStart __attribute__((tls_model("initial-exec"))) = 0;

uint64_t OwnStart(uint32_t self) {
  uint32_t& cachedFor = t_startCachedFor;
  uint64_t& cachedStart = t_cachedStart;
  if (cachedFor != self) [[unlikely]] {
    char state = 0;
    unsigned long long start = 0;
    cachedStart = ReadThreadStat(self, state, start) ? start : 0;
    cachedFor = self;
  }
  return cachedStart;
}

void Took(RobustLock& lock, uint32_t self) {
  ZN_TSAN_ACQUIRE(&lock);
  lock.depth = 1;
  lock.holderThread.store(self, std::memory_order_relaxed);
  lock.holderStart.store(OwnStart(self), std::memory_order_relaxed);
}

// The word holds our id: ours, or left by a thread that died holding it
// and whose id we got.
WaitOutcome Again(RobustLock& lock, uint32_t self) {
  if (lock.holderThread.load(std::memory_order_relaxed) == self &&
      lock.holderStart.load(std::memory_order_relaxed) == OwnStart(self) && lock.depth != 0) {
    ++lock.depth;
    return WaitOutcome::kAcquired;
  }
  Took(lock, self);
  return WaitOutcome::kAbandoned;
}

// Takes over `seen` (the word of an owner that is gone). False when the
// word changed meanwhile.
bool TakeOver(RobustLock& lock, uint32_t seen, uint32_t self) {
  if (!lock.word.compare_exchange_strong(seen, self | kLockWaiters, std::memory_order_acquire)) return false;
  Took(lock, self);
  return true;
}

bool Gone(const RobustLock& lock, uint32_t seen, bool thorough) {
  return OwnerGone(seen & kLockThreadMask, lock.holderThread.load(std::memory_order_relaxed),
                   lock.holderStart.load(std::memory_order_relaxed), thorough);
}

}  // namespace

bool OwnerGone(uint32_t owner, uint32_t recordedThread, uint64_t recordedStart, bool thorough) {
  if (owner == 0) return false;
  // kill() takes a thread's id too and tells ESRCH for no such thread,
  // also for one of another user (EPERM then).
  if (::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH) return true;
  if (!thorough) return false;
  char state = 0;
  unsigned long long start = 0;
  if (!ReadThreadStat(owner, state, start)) return false;
  if (state == 'Z' || state == 'X' || state == 'x') return true;
  return recordedThread == owner && recordedStart != 0 && start != recordedStart;
}

void InitRobustLock(RobustLock& lock) {
  lock.word.store(0, std::memory_order_relaxed);
  lock.depth = 0;
  lock.holderThread.store(0, std::memory_order_relaxed);
  lock.reserved = 0;
  lock.holderStart.store(0, std::memory_order_relaxed);
}

WaitOutcome TryLockRobust(RobustLock& lock, bool checkOwner) {
  const uint32_t self = yq::CurrentThreadId();
  uint32_t seen = 0;
  if (lock.word.compare_exchange_strong(seen, self, std::memory_order_acquire)) [[likely]] {
    Took(lock, self);
    return WaitOutcome::kAcquired;
  }
  if ((seen & kLockThreadMask) == self) return Again(lock, self);
  if (checkOwner && Gone(lock, seen, true) && TakeOver(lock, seen, self)) return WaitOutcome::kAbandoned;
  return WaitOutcome::kTimeout;
}

WaitOutcome LockRobust(RobustLock& lock, unsigned long timeoutMs) {
  const uint32_t self = yq::CurrentThreadId();
  uint32_t seen = 0;
  if (lock.word.compare_exchange_strong(seen, self, std::memory_order_acquire)) [[likely]] {
    Took(lock, self);
    return WaitOutcome::kAcquired;
  }
  if ((seen & kLockThreadMask) == self) return Again(lock, self);
  if (timeoutMs == 0) return TryLockRobust(lock, true);

  const bool forever = timeoutMs >= kWaitForever;
  const struct timespec deadline =
      forever ? timespec{} : MonotonicAfter(MonotonicNow(), static_cast<long long>(timeoutMs) * 1000000LL);
  // Whether the owner is still there: a quick look at every new owner, a
  // thorough one after every slice slept in vain.
  enum class Look { kNone, kQuick, kThorough } look = Look::kQuick;
  for (;;) {
    if (seen == 0) {
      // Taken with the waiters bit: others may still sleep on it.
      if (lock.word.compare_exchange_strong(seen, self | kLockWaiters, std::memory_order_acquire)) {
        Took(lock, self);
        return WaitOutcome::kAcquired;
      }
      look = Look::kQuick;
      continue;
    }
    if (look != Look::kNone) {
      const bool thorough = look == Look::kThorough;
      look = Look::kNone;
      if (Gone(lock, seen, thorough)) {
        if (TakeOver(lock, seen, self)) return WaitOutcome::kAbandoned;
        seen = lock.word.load(std::memory_order_relaxed);
        look = Look::kQuick;
        continue;
      }
    }
    if ((seen & kLockWaiters) == 0 &&
        !lock.word.compare_exchange_strong(seen, seen | kLockWaiters, std::memory_order_relaxed)) {
      look = Look::kQuick;  // another owner, or freed
      continue;
    }
    const struct timespec now = MonotonicNow();
    if (!forever && !MonotonicBefore(now, deadline)) {
      // One last try: a wake-up meant for us must not be lost.
      seen = 0;
      if (lock.word.compare_exchange_strong(seen, self | kLockWaiters, std::memory_order_acquire)) {
        Took(lock, self);
        return WaitOutcome::kAcquired;
      }
      return WaitOutcome::kTimeout;
    }
    struct timespec until = MonotonicAfter(now, kSliceNs);
    if (!forever && MonotonicBefore(deadline, until)) until = deadline;
    const uint32_t sleepingOn = seen | kLockWaiters;
    const long rc = ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&lock.word), FUTEX_WAIT_BITSET, sleepingOn,
                              &until, nullptr, FUTEX_BITSET_MATCH_ANY);
    const bool timedOut = rc == -1 && errno == ETIMEDOUT;
    seen = lock.word.load(std::memory_order_relaxed);
    if (seen != sleepingOn) {
      look = Look::kQuick;
    } else if (timedOut) {
      look = Look::kThorough;
    }
  }
}

bool UnlockRobust(RobustLock& lock) {
  const uint32_t self = yq::CurrentThreadId();
  if ((lock.word.load(std::memory_order_relaxed) & kLockThreadMask) != self) return false;
  if (lock.depth > 1) {
    --lock.depth;
    return true;
  }
  lock.depth = 0;
  lock.holderThread.store(0, std::memory_order_relaxed);
  lock.holderStart.store(0, std::memory_order_relaxed);
  ZN_TSAN_RELEASE(&lock);
  const uint32_t was = lock.word.exchange(0, std::memory_order_release);
  if ((was & kLockWaiters) != 0) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&lock.word), FUTEX_WAKE, 1, nullptr, nullptr, 0);
  }
  return true;
}

}  // namespace detail
}  // namespace zn
