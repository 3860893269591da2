// In-process counting semaphore and event: what unnamed ZnSemaphore,
// ZnEvent and MD objects use, with the same semantics as the named ones.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "zn/sync/NamedKernelObject.h"

namespace zn::detail {

class LocalSemaphore {
 public:
  LocalSemaphore(int initial, int maximum) : m_count(initial), m_maximum(maximum) {}

  WaitOutcome wait(unsigned long timeoutMs);
  // False (nothing changes) when the count would pass the maximum.
  bool release(int count, int* previous);
  int count();

 private:
  std::mutex m_mutex;
  std::condition_variable m_condition;
  int m_count;
  int m_maximum;
};

class LocalEvent {
 public:
  LocalEvent(bool manualReset, bool signalled) : m_manualReset(manualReset), m_signalled(signalled) {}

  WaitOutcome wait(unsigned long timeoutMs);
  void set();
  void reset();
  bool isSignalled();

 private:
  std::mutex m_mutex;
  std::condition_variable m_condition;
  const bool m_manualReset;
  bool m_signalled;
};

// Waits on `condition` until `ready()` or the time-out (all-ones: no limit).
template <typename Ready>
bool WaitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& condition, unsigned long timeoutMs,
             Ready ready) {
  if (timeoutMs >= kWaitForever) {
    condition.wait(lock, ready);
    return true;
  }
  return condition.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

}  // namespace zn::detail
