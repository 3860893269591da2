#include "zn/sync/ZnSharedLock.h"


ZnSharedLock::ZnSharedLock(int slots, const char* name)
    : m_slots(slots), m_name(name), m_available(slots), m_semaphore(slots, slots, name) {}

ZnSharedLock::~ZnSharedLock() = default;

bool ZnSharedLock::getSharedLock(unsigned long ms) {
  ZnCriticalSectionLock lock(&m_lock);
  if (!m_semaphore.wait(ms)) return false;
  --m_available;
  return true;
}

bool ZnSharedLock::getExclusiveLock() {
  ZnCriticalSectionLock lock(&m_lock);
  for (int i = 0; i < m_slots; ++i) {
    m_semaphore.wait();
    --m_available;
  }
  --m_available;  // -1: held exclusively
  return true;
}

void ZnSharedLock::release() {
  if (m_available.load() == -1) {
    m_available.store(m_slots);
    m_semaphore.release(m_slots);
  } else {
    ++m_available;
    m_semaphore.release(1);
  }
}

ZnSharedLockHelper::ZnSharedLockHelper(ZnSharedLock* lock, bool exclusive) { reset(lock, exclusive); }

ZnSharedLockHelper::~ZnSharedLockHelper() { forceUnlock(); }

void ZnSharedLockHelper::forceUnlock() {
  if (m_lock != nullptr) m_lock->release();
  m_lock = nullptr;
}

void ZnSharedLockHelper::reset(ZnSharedLock* lock, bool exclusive) {
  forceUnlock();
  if (lock == nullptr) return;
  const bool taken = exclusive ? lock->getExclusiveLock() : lock->getSharedLock(ZnSharedLock::kInfinite);
  if (taken) m_lock = lock;
}
