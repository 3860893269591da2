#include "zn/sync/ZnCriticalSection.h"

#include "zuzazer/FXThreadId.h"

bool ZnCriticalSection::enter(bool wait) {
  const uint32_t self = zn::detail::CurrentThreadId();
  // Only the owner can see its own id here, so a relaxed read is enough.
  if (m_owner.load(std::memory_order_relaxed) == self) {
    ++m_recursion;
    return true;
  }
  if (wait) {
    m_mutex.lock();
  } else if (!m_mutex.try_lock()) {
    return false;
  }
  m_owner.store(self, std::memory_order_relaxed);
  m_recursion = 1;
  return true;
}

void ZnCriticalSection::leave() {
  if (m_owner.load(std::memory_order_relaxed) != zn::detail::CurrentThreadId()) return;
  if (--m_recursion == 0) {
    m_owner.store(0, std::memory_order_relaxed);
    m_mutex.unlock();
  }
}

bool ZnCriticalSection::locked() const {
  return m_owner.load(std::memory_order_relaxed) == zn::detail::CurrentThreadId();
}

void ZnCriticalSectionLock::reset(ZnCriticalSection* cs) {
  if (m_cs != nullptr) m_cs->leave();
  m_cs = cs;
  if (m_cs != nullptr) m_cs->enter(true);
}

ZnCriticalSectionTryLock::ZnCriticalSectionTryLock(ZnCriticalSection* cs) {
  if (cs != nullptr && cs->enter(false)) m_cs = cs;
}

ZnCriticalSectionTryLock::~ZnCriticalSectionTryLock() {
  if (m_cs != nullptr) m_cs->leave();
}
