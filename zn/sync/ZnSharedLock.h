// A lock with a fixed number of shared slots; an exclusive holder takes
// them all. Acquirers are serialised, so an exclusive request blocks later
// shared requests until it has drained every slot.
#pragma once

#include <atomic>
#include <memory>

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"
#include "zn/sync/ZnSemaphore.h"

class ZN_EXPORT ZnSharedLock {
 public:
  static constexpr unsigned long kInfinite = 0xFFFFFFFFUL;

  // `name` may be null (a lock of this process only).
  ZnSharedLock(int slots, const char* name);
  ~ZnSharedLock();
  ZnSharedLock(const ZnSharedLock&) = delete;
  ZnSharedLock& operator=(const ZnSharedLock&) = delete;

  bool getSharedLock(unsigned long ms);
  bool getExclusiveLock();
  void release();

  int slots() const { return m_slots; }
  // Free slots; -1 while held exclusively.
  int available() const { return m_available.load(); }

 private:
  const int m_slots;
  const char* m_name;
  std::atomic<int> m_available;
  ZnCriticalSection m_lock;
  ZnSemaphore m_semaphore;
};

class ZN_EXPORT ZnSharedLockHelper {
 public:
  // Shared (without time limit) when `exclusive` is false.
  ZnSharedLockHelper(ZnSharedLock* lock, bool exclusive);
  ~ZnSharedLockHelper();
  ZnSharedLockHelper(const ZnSharedLockHelper&) = delete;
  ZnSharedLockHelper& operator=(const ZnSharedLockHelper&) = delete;

  // Releases now and forgets the lock.
  void forceUnlock();
  void reset(ZnSharedLock* lock, bool exclusive);

 private:
  ZnSharedLock* m_lock = nullptr;
};
