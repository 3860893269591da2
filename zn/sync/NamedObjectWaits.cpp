// Waiting on named objects and changing their state. Waiters sleep on the
// objects' futex words and never hold a guard while they sleep, so a
// process killed in a wait leaves nothing behind but a count that costs a
// wake-up call.

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>

#include "zn/error/ZnErrorCodes.h"
#include "zn/sync/NamedKernelObject.h"
#include "zn/sync/internal/MonotonicTime.h"
#include "zn/sync/internal/NamedObjectShared.h"

namespace zn {
namespace {

// How often a wait that includes a mutex looks again: the owner of a
// robust mutex may die without an unlock that would wake us.
constexpr long kMutexSliceNs = 50L * 1000000L;

using zn::detail::MonotonicAfter;
using zn::detail::MonotonicBefore;
using zn::detail::MonotonicNow;

struct timespec DeadlineAfter(unsigned long ms) {
  return MonotonicAfter(MonotonicNow(), static_cast<long long>(ms) * 1000000LL);
}

// Sleeps while the word still holds `seen`, until the monotonic
// `deadline` (null: no limit).
void FutexWait(std::atomic<uint32_t>& word, uint32_t seen, const struct timespec* deadline) {
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_BITSET, seen, deadline, nullptr,
            FUTEX_BITSET_MATCH_ANY);
}

// Sleeps until one of the words moves from its seen value (or a wake-up,
// or the deadline).
void FutexWaitAny(std::span<std::atomic<uint32_t>* const> words, std::span<const uint32_t> seen,
                  const struct timespec* deadline) {
  if (words.size() == 1) {
    FutexWait(*words[0], seen[0], deadline);
    return;
  }
  std::array<struct futex_waitv, kMaxWaitObjects> waiters{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    waiters[i].val = seen[i];
    waiters[i].uaddr = reinterpret_cast<uintptr_t>(words[i]);
    waiters[i].flags = FUTEX_32;  // shared between processes: not private
  }
  const long rc = ::syscall(SYS_futex_waitv, waiters.data(), static_cast<unsigned int>(words.size()), 0U, deadline,
                            CLOCK_MONOTONIC);
  if (rc == -1 && errno == ENOSYS) {
    // Kernels before 5.16: watch the first word in short slices.
    struct timespec slice = MonotonicAfter(MonotonicNow(), 1000000LL);
    if (deadline != nullptr && MonotonicBefore(*deadline, slice)) slice = *deadline;
    FutexWait(*words[0], seen[0], &slice);
  }
}

}  // namespace

// Moves the word on, under the guard, and tells whether anyone sleeps on
// it. The wake-up call itself comes after the guard is let go: a sleeper
// woken while the guard is still held would only go to sleep again on it.
static bool MoveOn(NamedKernelObject::Shared& shared) {
  shared.wakeups.fetch_add(1);
  return shared.waiters.load() != 0;
}

static void WakeAll(NamedKernelObject::Shared& shared) {
  ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&shared.wakeups), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// ---- Mutex ----

WaitOutcome NamedKernelObject::lockMutex(unsigned long timeoutMs) { return detail::LockRobust(m_shared->lock, timeoutMs); }

// The lock refuses a thread that does not own it (a forked child's thread
// among them).
bool NamedKernelObject::unlockMutex() {
  Shared& shared = *m_shared;
  if (!detail::UnlockRobust(shared.lock)) return false;
  // A wait for several objects registers itself before it tries the
  // mutex; the unlock's exchange orders this read after it on x86. An
  // inner unlock of a recursive hold may wake it for nothing: it looks
  // and sleeps again.
#if !defined(__x86_64__)
  std::atomic_thread_fence(std::memory_order_seq_cst);
#endif
  if (shared.waiters.load() != 0) {
    shared.wakeups.fetch_add(1);
    WakeAll(shared);
  }
  return true;
}

// A guard left by a holder that died is simply taken over: what it guards
// is a few counters.
bool NamedKernelObject::lockGuard() {
  const WaitOutcome outcome = detail::LockRobust(m_shared->lock, kWaitForever);
  return outcome == WaitOutcome::kAcquired || outcome == WaitOutcome::kAbandoned;
}

void NamedKernelObject::unlockGuard() { detail::UnlockRobust(m_shared->lock); }

// ---- Waiting ----

namespace {

// Whether a semaphore or event can be taken by a waiter that began before
// pulse number `entryPulse`, and taking it. Caller holds the guard.
bool Ready(const NamedKernelObject::Shared& s, uint32_t entryPulse) {
  if (s.type == static_cast<uint32_t>(NamedObjectType::kSemaphore)) return s.count > 0;
  return s.signalled != 0 || (s.pulses != entryPulse && s.pulseReleases != 0);
}

void Take(NamedKernelObject::Shared& s) {
  if (s.type == static_cast<uint32_t>(NamedObjectType::kSemaphore)) {
    --s.count;
  } else if (s.signalled != 0) {
    if (s.manualReset == 0) s.signalled = 0;
  } else if (s.pulseReleases > 0) {
    --s.pulseReleases;
  }
}

}  // namespace

MultiWaitResult NamedKernelObject::WaitForMultiple(std::span<NamedKernelObject* const> objects, bool waitAll,
                                                   unsigned long timeoutMs) {
  MultiWaitResult result;
  const std::size_t n = objects.size();
  if (n == 0 || n > kMaxWaitObjects) {
    result.error = kErrorInvalidParameter;
    return result;
  }
  bool hasMutex = false;
  for (std::size_t i = 0; i < n; ++i) {
    NamedKernelObject* const object = objects[i];
    if (object == nullptr || object->m_shared == nullptr || object->type() == NamedObjectType::kFileMapping) {
      result.error = kErrorInvalidHandle;
      return result;
    }
    hasMutex = hasMutex || object->type() == NamedObjectType::kMutex;
    for (std::size_t j = 0; j < i; ++j) {
      const NamedKernelObject* const other = objects[j];
      if (other->m_shared == object->m_shared ||
          (!object->m_segment.empty() && other->m_segment == object->m_segment)) {
        result.error = kErrorInvalidParameter;  // the same object twice
        return result;
      }
    }
  }
  const bool forever = timeoutMs >= kWaitForever;
  const struct timespec deadline = forever ? timespec{} : DeadlineAfter(timeoutMs);

  std::array<std::atomic<uint32_t>*, kMaxWaitObjects> words{};
  std::array<uint32_t, kMaxWaitObjects> seen{};
  std::array<uint32_t, kMaxWaitObjects> entryPulse{};
  std::array<bool, kMaxWaitObjects> abandoned{};
  std::array<bool, kMaxWaitObjects> held{};  // guard or mutex taken in this pass
  for (std::size_t i = 0; i < n; ++i) words[i] = &objects[i]->m_shared->wakeups;

  // The pulse count the wait began at, read under the guard at its first
  // look at each event: only later pulses release it.
  std::array<bool, kMaxWaitObjects> begun{};
  const auto beginOnce = [&](std::size_t i, const Shared& s) {
    if (!begun[i]) entryPulse[i] = s.pulses;
    begun[i] = true;
  };

  const auto unregister = [&] {
    for (std::size_t i = 0; i < n; ++i) objects[i]->m_shared->waiters.fetch_sub(1);
  };
  const auto release = [&](std::size_t upTo) {
    for (std::size_t i = 0; i < upTo; ++i) {
      if (held[i]) detail::UnlockRobust(objects[i]->m_shared->lock);
      held[i] = false;
    }
  };

  for (;;) {
    // Registered and the words read before any look, so that a change
    // after the look moves a word this wait sleeps on.
    for (std::size_t i = 0; i < n; ++i) {
      objects[i]->m_shared->waiters.fetch_add(1);
      seen[i] = words[i]->load();
    }
    if (!waitAll) {
      for (std::size_t i = 0; i < n; ++i) {
        NamedKernelObject& object = *objects[i];
        Shared& s = *object.m_shared;
        if (s.type == static_cast<uint32_t>(NamedObjectType::kMutex)) {
          const WaitOutcome outcome = detail::TryLockRobust(s.lock, true);
          if (outcome == WaitOutcome::kAcquired || outcome == WaitOutcome::kAbandoned) {
            unregister();
            return MultiWaitResult{outcome, i, 0};
          }
          continue;
        }
        if (!object.lockGuard()) continue;
        beginOnce(i, s);
        if (Ready(s, entryPulse[i])) {
          Take(s);
          object.unlockGuard();
          unregister();
          return MultiWaitResult{WaitOutcome::kAcquired, i, 0};
        }
        object.unlockGuard();
      }
    } else {
      // All at once: every guard and every mutex taken without waiting
      // (two waits for all that take them in different orders must not
      // block each other), then all ready or none taken.
      bool contended = false, allReady = true;
      std::size_t taken = 0;
      for (; taken < n; ++taken) {
        Shared& s = *objects[taken]->m_shared;
        const bool isMutex = s.type == static_cast<uint32_t>(NamedObjectType::kMutex);
        const WaitOutcome outcome = detail::TryLockRobust(s.lock, isMutex);
        if (outcome == WaitOutcome::kAbandoned) {
          if (s.type == static_cast<uint32_t>(NamedObjectType::kMutex)) abandoned[taken] = true;
        } else if (outcome != WaitOutcome::kAcquired) {
          // A busy mutex is simply not ready; a busy guard is held for a
          // moment by someone changing the state.
          if (s.type == static_cast<uint32_t>(NamedObjectType::kMutex)) {
            allReady = false;
          } else {
            contended = true;
          }
          break;
        }
        held[taken] = true;
        if (s.type != static_cast<uint32_t>(NamedObjectType::kMutex)) {
          beginOnce(taken, s);
          if (!Ready(s, entryPulse[taken])) allReady = false;
        }
      }
      if (taken == n && allReady) {
        std::size_t firstAbandoned = n;
        for (std::size_t i = 0; i < n; ++i) {
          NamedKernelObject& object = *objects[i];
          Shared& s = *object.m_shared;
          if (s.type == static_cast<uint32_t>(NamedObjectType::kMutex)) {
            held[i] = false;  // kept locked: it is acquired
            if (abandoned[i] && firstAbandoned == n) firstAbandoned = i;
          } else {
            Take(s);
          }
        }
        release(n);
        unregister();
        return firstAbandoned < n ? MultiWaitResult{WaitOutcome::kAbandoned, firstAbandoned, 0}
                                  : MultiWaitResult{WaitOutcome::kAcquired, 0, 0};
      }
      release(n);
      if (contended) {
        // Waits for that guard alone, holding nothing (a guard's holder
        // that died is taken over there), then looks at everything again.
        unregister();
        NamedKernelObject& busy = *objects[taken];
        if (busy.lockGuard()) busy.unlockGuard();
        continue;
      }
    }
    if (timeoutMs == 0 || (!forever && !MonotonicBefore(MonotonicNow(), deadline))) {
      unregister();
      return MultiWaitResult{WaitOutcome::kTimeout, 0, 0};
    }
    struct timespec until = deadline;
    if (hasMutex) {
      const struct timespec slice = MonotonicAfter(MonotonicNow(), kMutexSliceNs);
      if (forever || MonotonicBefore(slice, until)) until = slice;
    }
    FutexWaitAny(std::span<std::atomic<uint32_t>* const>(words.data(), n), std::span<const uint32_t>(seen.data(), n),
                 forever && !hasMutex ? nullptr : &until);
    unregister();
  }
}

WaitOutcome NamedKernelObject::wait(unsigned long timeoutMs) {
  switch (type()) {
    case NamedObjectType::kMutex:
      return lockMutex(timeoutMs);
    case NamedObjectType::kSemaphore:
    case NamedObjectType::kEvent: {
      NamedKernelObject* const self = this;
      return WaitForMultiple(std::span<NamedKernelObject* const>(&self, 1), false, timeoutMs).outcome;
    }
    default:
      errno = EBADF;
      return WaitOutcome::kFailed;
  }
}

// ---- Semaphore ----

WaitOutcome NamedKernelObject::waitSemaphore(unsigned long timeoutMs) { return wait(timeoutMs); }

bool NamedKernelObject::releaseSemaphore(int count, int* previous) {
  if (count < 1 || !lockGuard()) return false;
  const bool fits = static_cast<long long>(m_shared->count) + count <= m_shared->maximum;
  bool wake = false;
  if (fits) {
    if (previous != nullptr) *previous = m_shared->count;
    m_shared->count += count;
    wake = MoveOn(*m_shared);
  }
  unlockGuard();
  if (wake) WakeAll(*m_shared);
  return fits;
}

int NamedKernelObject::semaphoreCount() {
  if (!lockGuard()) return -1;
  const int count = m_shared->count;
  unlockGuard();
  return count;
}

// ---- Event ----

WaitOutcome NamedKernelObject::waitEvent(unsigned long timeoutMs) { return wait(timeoutMs); }

void NamedKernelObject::setEvent() {
  if (!lockGuard()) return;
  m_shared->signalled = 1;
  const bool wake = MoveOn(*m_shared);
  unlockGuard();
  if (wake) WakeAll(*m_shared);
}

void NamedKernelObject::resetEvent() {
  if (!lockGuard()) return;
  m_shared->signalled = 0;
  unlockGuard();
}

void NamedKernelObject::pulseEvent() {
  if (!lockGuard()) return;
  m_shared->signalled = 0;
  bool wake = false;
  if (m_shared->waiters.load() != 0) {
    ++m_shared->pulses;
    m_shared->pulseReleases = m_shared->manualReset != 0 ? -1 : 1;
    wake = MoveOn(*m_shared);
  }
  unlockGuard();
  if (wake) WakeAll(*m_shared);
}

bool NamedKernelObject::isEventSignalled() {
  if (!lockGuard()) return false;
  const bool signalled = m_shared->signalled != 0;
  unlockGuard();
  return signalled;
}

}  // namespace zn
