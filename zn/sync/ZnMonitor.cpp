#include "zn/sync/ZnMonitor.h"

#include <chrono>

#include "zn/error/ZnException.h"
#include "zuzazer/FXThreadId.h"

ZnMonitor::~ZnMonitor() = default;

void ZnMonitor::checkOwner(const char* operation, const char* message) const {
  if (!owned()) throw ZnException(operation, message, __FILE__, __LINE__);
}

void ZnMonitor::throwNotOwner() {
  throw ZnException("ZnMonitor::leave", "Cannot release the lock that I do not own.", __FILE__, __LINE__);
}

void ZnMonitor::wait() { wait(kInfinite); }

bool ZnMonitor::wait(unsigned long ms) {
  checkOwner("ZnMonitor::wait", "Must acquire the monitor before calling wait().");
  const uint32_t self = m_owner.load(std::memory_order_relaxed);
  const uint32_t recursion = m_recursion;
  m_recursion = 0;
  m_owner.store(0, std::memory_order_relaxed);
  bool woken = true;
  {
    std::unique_lock<std::mutex> lock(m_mutex, std::adopt_lock);
    if (ms >= kInfinite) {
      m_condition.wait(lock);
    } else {
      woken = m_condition.wait_for(lock, std::chrono::milliseconds(ms)) == std::cv_status::no_timeout;
    }
    lock.release();  // still held: ownership goes back to this monitor
  }
  m_owner.store(self, std::memory_order_relaxed);
  m_recursion = recursion;
  return woken;
}

void ZnMonitor::signal() {
  checkOwner("ZnMonitor::signal", "Must acquire the lock before signalling.");
  m_condition.notify_one();
}

void ZnMonitor::broadcast() {
  checkOwner("ZnMonitor::broadcast", "Must acquire the lock before signalling.");
  m_condition.notify_all();
}

void ZnMonitorLock::reset(ZnMonitor* monitor) {
  if (m_monitor != nullptr) m_monitor->leave();
  m_monitor = monitor;
  if (m_monitor != nullptr) m_monitor->enter();
}
