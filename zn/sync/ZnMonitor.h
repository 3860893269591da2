// A recursive monitor: a lock with condition waits, and its scoped holder.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "zn/base/ZnExport.h"
#include "zuzazer/FXThreadId.h"

class ZN_EXPORT ZnMonitor {
 public:
  static constexpr unsigned long kInfinite = 0xFFFFFFFFUL;

  ZnMonitor() = default;
  virtual ~ZnMonitor();
  ZnMonitor(const ZnMonitor&) = delete;
  ZnMonitor& operator=(const ZnMonitor&) = delete;

  // Recursive for the owner.
  void enter() {
    const uint32_t self = yq::CurrentThreadId();
    if (m_owner.load(std::memory_order_relaxed) == self) {
      ++m_recursion;
      return;
    }
    m_mutex.lock();
    m_owner.store(self, std::memory_order_relaxed);
    m_recursion = 1;
  }
  // Throws ZnException when the caller does not own the monitor.
  void leave() {
    if (m_owner.load(std::memory_order_relaxed) != yq::CurrentThreadId()) throwNotOwner();
    if (--m_recursion == 0) {
      m_owner.store(0, std::memory_order_relaxed);
      m_mutex.unlock();
    }
  }
  // Release the monitor fully, sleep until signalled, take it back with the
  // same recursion count. The timed form is false when the time ran out
  // (all-ones, or any wider value, waits without limit). Both need
  // ownership.
  void wait();
  bool wait(unsigned long ms);
  // Wake one waiter, or all. Both need ownership.
  void signal();
  void broadcast();

  // True when the calling thread owns the monitor.
  bool owned() const { return m_owner.load(std::memory_order_relaxed) == yq::CurrentThreadId(); }

 private:
  [[noreturn]] static void throwNotOwner();
  void checkOwner(const char* operation, const char* message) const;

  std::atomic<uint32_t> m_owner{0};  // kernel thread id, 0 when free
  uint32_t m_recursion = 0;          // touched by the owner only
  std::mutex m_mutex;
  std::condition_variable m_condition;
};

class ZN_EXPORT ZnMonitorLock {
 public:
  explicit ZnMonitorLock(ZnMonitor* monitor = nullptr) { reset(monitor); }
  ~ZnMonitorLock() { reset(nullptr); }
  ZnMonitorLock(const ZnMonitorLock&) = delete;
  ZnMonitorLock& operator=(const ZnMonitorLock&) = delete;

  bool locked() const { return m_monitor != nullptr; }
  // Leaves the held monitor, then enters `monitor` (when non-null).
  void reset(ZnMonitor* monitor = nullptr);
  void resetMonitor(ZnMonitor* monitor = nullptr) { reset(monitor); }

 private:
  ZnMonitor* m_monitor = nullptr;
};
