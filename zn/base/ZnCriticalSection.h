// A recursive in-process mutex and its scoped holders. The log uses it, so
// it depends on nothing else in the library and never throws.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "zn/base/ZnExport.h"
#include "zuzazer/FXThreadId.h"

class ZN_EXPORT ZnCriticalSection {
 public:
  ZnCriticalSection() = default;
  ~ZnCriticalSection() = default;
  ZnCriticalSection(const ZnCriticalSection&) = delete;
  ZnCriticalSection& operator=(const ZnCriticalSection&) = delete;

  // Takes the lock, recursively for its owner. With `wait` false it tries
  // once and returns false when another thread holds it.
  bool enter(bool wait = true) {
    const uint32_t self = yq::CurrentThreadId();
    // Only the owner can find its own id here, so a relaxed read is enough.
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
  // Releases one level. A thread that does not own the lock cannot release
  // it; the call then does nothing.
  void leave() {
    if (m_owner.load(std::memory_order_relaxed) != yq::CurrentThreadId()) return;
    if (--m_recursion == 0) {
      m_owner.store(0, std::memory_order_relaxed);
      m_mutex.unlock();
    }
  }
  // True when the calling thread owns the lock.
  bool locked() const { return m_owner.load(std::memory_order_relaxed) == yq::CurrentThreadId(); }

 private:
  std::mutex m_mutex;
  std::atomic<uint32_t> m_owner{0};  // kernel thread id, 0 when free
  uint32_t m_recursion = 0;          // touched by the owner only
};

// Holds a critical section for its lifetime (blocking).
class ZN_EXPORT ZnCriticalSectionLock {
 public:
  explicit ZnCriticalSectionLock(ZnCriticalSection* cs = nullptr) { reset(cs); }
  ~ZnCriticalSectionLock() { reset(nullptr); }
  ZnCriticalSectionLock(const ZnCriticalSectionLock&) = delete;
  ZnCriticalSectionLock& operator=(const ZnCriticalSectionLock&) = delete;

  bool locked() const { return m_cs != nullptr; }
  // Releases the held section, then takes `cs` (when non-null).
  void reset(ZnCriticalSection* cs = nullptr);
  void resetCriticalSection(ZnCriticalSection* cs = nullptr) { reset(cs); }

 private:
  ZnCriticalSection* m_cs = nullptr;
};

// Tries a critical section once; releases it only when it got it.
class ZN_EXPORT ZnCriticalSectionTryLock {
 public:
  explicit ZnCriticalSectionTryLock(ZnCriticalSection* cs);
  ~ZnCriticalSectionTryLock();
  ZnCriticalSectionTryLock(const ZnCriticalSectionTryLock&) = delete;
  ZnCriticalSectionTryLock& operator=(const ZnCriticalSectionTryLock&) = delete;

  bool locked() const { return m_cs != nullptr; }

 private:
  ZnCriticalSection* m_cs = nullptr;
};
