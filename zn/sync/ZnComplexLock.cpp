#include "zn/sync/ZnComplexLock.h"

ZnComplexLock::ZnComplexLock() = default;

ZnComplexLock::~ZnComplexLock() = default;

void ZnComplexLock::rdlock() {
  ZnMonitorLock lock(&m_monitor);
  while ((m_state & kWriteLocked) != 0) m_monitor.wait();
  m_state |= kReadLocked;
  ++m_holders;
}

void ZnComplexLock::rwlock() {
  ZnMonitorLock lock(&m_monitor);
  while ((m_state & (kReadLocked | kWriteLocked)) != 0) m_monitor.wait();
  m_state |= kWriteLocked;
  ++m_holders;
}

bool ZnComplexLock::try_rdlock() {
  ZnMonitorLock lock(&m_monitor);
  if ((m_state & kWriteLocked) != 0) return false;
  m_state |= kReadLocked;
  ++m_holders;
  return true;
}

bool ZnComplexLock::try_rwlock() {
  ZnMonitorLock lock(&m_monitor);
  if ((m_state & (kReadLocked | kWriteLocked)) != 0) return false;
  m_state |= kWriteLocked;
  ++m_holders;
  return true;
}

void ZnComplexLock::unlock() {
  ZnMonitorLock lock(&m_monitor);
  if (m_holders.value() > 0 && --m_holders == 0) {
    if ((m_state & kWriteLocked) != 0) {
      m_state &= ~kWriteLocked;
    } else {
      m_state &= ~kReadLocked;
    }
  }
  m_monitor.broadcast();
}

unsigned int ZnComplexLock::state() {
  ZnMonitorLock lock(&m_monitor);
  return m_state;
}

long long ZnComplexLock::holders() const { return m_holders.value(); }
