#include "zn/sync/internal/LocalWaitable.h"

namespace zn::detail {

WaitOutcome LocalSemaphore::wait(unsigned long timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!WaitFor(lock, m_condition, timeoutMs, [this] { return m_count > 0; })) return WaitOutcome::kTimeout;
  --m_count;
  return WaitOutcome::kAcquired;
}

bool LocalSemaphore::release(int count, int* previous) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (count < 1 || static_cast<long long>(m_count) + count > m_maximum) return false;
  if (previous != nullptr) *previous = m_count;
  m_count += count;
  if (count == 1) {
    m_condition.notify_one();
  } else {
    m_condition.notify_all();
  }
  return true;
}

int LocalSemaphore::count() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_count;
}

WaitOutcome LocalEvent::wait(unsigned long timeoutMs) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (!WaitFor(lock, m_condition, timeoutMs, [this] { return m_signalled; })) return WaitOutcome::kTimeout;
  if (!m_manualReset) m_signalled = false;
  return WaitOutcome::kAcquired;
}

void LocalEvent::set() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_signalled = true;
  m_condition.notify_all();
}

void LocalEvent::reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_signalled = false;
}

bool LocalEvent::isSignalled() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_signalled;
}

}  // namespace zn::detail
