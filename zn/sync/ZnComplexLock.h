// A lock that is read-locked by any number of holders or write-locked by
// one.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/sync/ZnAtomic.h"
#include "zn/sync/ZnMonitor.h"

// Neither lock is recursive for writers.
class ZN_EXPORT ZnComplexLock {
 public:
  static constexpr unsigned int kReadLocked = 1;
  static constexpr unsigned int kWriteLocked = 2;

  ZnComplexLock();
  ~ZnComplexLock();
  ZnComplexLock(const ZnComplexLock&) = delete;
  ZnComplexLock& operator=(const ZnComplexLock&) = delete;

  void rdlock();
  void rwlock();
  bool try_rdlock();
  bool try_rwlock();
  void unlock();

  unsigned int state();
  long long holders() const;

 private:
  unsigned int m_state = 0;
  ZnMonitor m_monitor;
  ZnAtomicU64_t m_holders;
};

