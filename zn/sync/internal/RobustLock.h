// The lock of a named object: it lives in memory that other processes -
// and, for objects open to everyone, other users - can write, and it
// survives the death of its holder.
//
// Not a robust pthread mutex: glibc links a held robust mutex into its
// thread's robust list through pointers kept inside the mutex, and unlock
// writes through them. Anyone who can write the segment could aim those
// writes anywhere in the holder's memory. This lock keeps only numbers in
// shared memory: the futex word holds the owner's thread id, and a waiter
// that finds the owner gone takes the lock over, told it was abandoned.
#pragma once

#include <atomic>
#include <cstdint>

#include "zn/sync/NamedKernelObject.h"

namespace zn::detail {

struct RobustLock {
  // The owner's thread id, with kLockWaiters while someone may sleep on
  // it; 0 when free.
  std::atomic<uint32_t> word;
  uint32_t depth;  // the owner's recursion; read by listings
  // Written by the owner after it took the word, cleared before it lets
  // go: tells a holder that died from a later thread that got its id.
  std::atomic<uint32_t> holderThread;
  uint32_t reserved;
  std::atomic<uint64_t> holderStart;  // the holder thread's start, in clock ticks after boot
};

inline constexpr uint32_t kLockWaiters = 0x80000000u;
inline constexpr uint32_t kLockThreadMask = 0x3FFFFFFFu;

void InitRobustLock(RobustLock& lock);

// Waits up to `timeoutMs` (kWaitForever: no limit; 0: one try that also
// looks whether the owner is still there). kAbandoned: the owner died
// holding it; the caller holds it now.
WaitOutcome LockRobust(RobustLock& lock, unsigned long timeoutMs);
// One try; `checkOwner` also takes over a lock whose owner is gone (a
// system call or two when the lock is held).
WaitOutcome TryLockRobust(RobustLock& lock, bool checkOwner);
// False when the calling thread does not hold it.
bool UnlockRobust(RobustLock& lock);

// Whether the thread `owner` is gone: no such thread or, `thorough`, also a
// dead one waiting to be reaped, or one that started after the recorded
// holder (its id used again). A thread that cannot be looked at counts as
// alive.
bool OwnerGone(uint32_t owner, uint32_t recordedThread, uint64_t recordedStart, bool thorough);

}  // namespace zn::detail
