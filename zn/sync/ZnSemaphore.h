// Counting semaphores and events. Unnamed ones live in the process; a named
// semaphore is shared by every process that uses the name.
#pragma once

#include <memory>
#include <string>

#include "zn/base/ZnExport.h"

namespace zn {
class NamedKernelObject;
}  // namespace zn

namespace zn::detail {
class LocalEvent;
class LocalSemaphore;
}  // namespace zn::detail

class ZN_EXPORT ZnSemaphore {
 public:
  static constexpr int kDefaultMaximum = 16777215;
  static constexpr unsigned long kInfinite = 0xFFFFFFFFUL;

  // Throws ZnException "Init value may not be negative." for a negative
  // initial count.
  explicit ZnSemaphore(int initial);
  // Also "Max value may not be negative.". A named semaphore is open to
  // every user of the machine; an existing one is opened as it is.
  ZnSemaphore(int initial, int maximum, const char* name);
  ~ZnSemaphore();
  ZnSemaphore(const ZnSemaphore&) = delete;
  ZnSemaphore& operator=(const ZnSemaphore&) = delete;

  // Throws "Increment must be positive." below 1, and the system's text when
  // the count would pass the maximum.
  void release(int count = 1);
  void wait();
  bool wait(unsigned long ms);
  // The object behind this semaphore (a LocalSemaphore or a
  // NamedKernelObject).
  void* getHandle();
  bool isNamed() const { return m_named != nullptr; }

 private:
  std::unique_ptr<zn::detail::LocalSemaphore> m_local;
  std::unique_ptr<zn::NamedKernelObject> m_named;
};

class ZN_EXPORT ZnEvent {
 public:
  static constexpr unsigned long kInfinite = 0xFFFFFFFFUL;

  // Unnamed, not signalled. An automatic-reset event lets one waiter through
  // per set().
  explicit ZnEvent(bool manualReset);
  ~ZnEvent();
  ZnEvent(const ZnEvent&) = delete;
  ZnEvent& operator=(const ZnEvent&) = delete;

  void set();
  void reset();
  void wait();
  bool wait(unsigned long ms);
  void* getHandle();

 private:
  std::unique_ptr<zn::detail::LocalEvent> m_local;
};
