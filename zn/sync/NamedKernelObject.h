// A kernel object that unrelated processes share by name: one shared-memory
// segment per name ("/zn.<name>") holding a header, a robust, recursive,
// process-shared mutex, a futex word that wakes waiters and the object's
// state.
//
// The creator sets the ready word last; openers wait for it. Every user
// holds a shared flock on the segment; the last one to close unlinks it, so
// an object lives exactly as long as some process uses it.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "zn/base/ZnExport.h"
#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/FXUniqueMapping.h"

namespace zn {

enum class NamedObjectType : uint32_t { kMutex = 1, kSemaphore = 2, kEvent = 3 };

enum class WaitOutcome { kAcquired, kAbandoned, kTimeout, kFailed };

// All-ones as the Windows original's 32-bit time-outs have it; wider values (a
// caller's -1 is 64 bits of ones here) wait without limit too.
inline constexpr unsigned long kWaitForever = 0xFFFFFFFFUL;

struct ZN_EXPORT NamedObjectInit {
  int initialCount = 0;   // semaphore
  int maximumCount = 1;   // semaphore
  bool manualReset = true;  // event
  bool signalled = false;   // event
};

class ZN_EXPORT NamedKernelObject {
 public:
  ~NamedKernelObject();
  NamedKernelObject(const NamedKernelObject&) = delete;
  NamedKernelObject& operator=(const NamedKernelObject&) = delete;

  // Creates the object or opens the existing one. `openToEveryone` gives the
  // segment mode 0666 instead of 0600. Returns 0 or a Win32 error: 6 when the
  // name holds another type of object, 123 for a bad name, or the mapped
  // errno. `created` tells whether this call made it.
  static uint32_t Create(const std::string& name, NamedObjectType type, const NamedObjectInit& init,
                         bool openToEveryone, std::unique_ptr<NamedKernelObject>& object, bool& created);
  // Opens an existing object only; 2 when there is none.
  static uint32_t Open(const std::string& name, NamedObjectType type, std::unique_ptr<NamedKernelObject>& object);

  // The segment name used for an object name ("/zn.<name>", separators
  // replaced, long names shortened by a hash of the whole name).
  static std::string SegmentName(const std::string& name);

  NamedObjectType type() const;
  const std::string& name() const { return m_name; }

  // ---- Mutex ----
  // Recursive for the owning thread. kAbandoned: the previous owner died
  // holding it; the caller now owns it and the state is consistent again.
  WaitOutcome lockMutex(unsigned long timeoutMs);
  // False when the calling thread does not own the mutex.
  bool unlockMutex();

  // ---- Semaphore ----
  WaitOutcome waitSemaphore(unsigned long timeoutMs);
  // False (and nothing changes) when the count would exceed the maximum.
  bool releaseSemaphore(int count, int* previous);
  int semaphoreCount();

  // ---- Event ----
  WaitOutcome waitEvent(unsigned long timeoutMs);
  void setEvent();
  void resetEvent();
  bool isEventSignalled();

 private:
  struct Shared;
  enum class Attempt;
  NamedKernelObject() = default;
  static uint32_t OpenOrCreate(const std::string& name, NamedObjectType type, const NamedObjectInit* init,
                               bool openToEveryone, std::unique_ptr<NamedKernelObject>& object, bool* created);
  // The steps of one attempt: open (or create) the name, size it, map it,
  // and set it up when this process made it.
  Attempt OpenSegment(const NamedObjectInit* init, mode_t mode, bool& madeHere, uint32_t& error);
  Attempt SizeSegment(const NamedObjectInit* init, mode_t mode, bool& madeHere, uint32_t& error);
  Attempt MapSegment(const NamedObjectInit* init, mode_t mode, bool& madeHere, uint32_t& error);
  void InitializeShared(NamedObjectType type, const NamedObjectInit& init);
  // Takes the guard mutex of a semaphore or event; a guard abandoned by a
  // dead process is made consistent (its state is a few counters).
  bool lockGuard();
  void unlockGuard();
  WaitOutcome waitUntil(unsigned long timeoutMs, bool (*ready)(Shared&), void (*consume)(Shared&));

  std::string m_name;
  std::string m_segment;
  yq::UniqueFd m_fd;
  pid_t m_opener = 0;  // a forked child's copy shares the opener's flock
  yq::UniqueMapping m_mapping;
  Shared* m_shared = nullptr;  // in m_mapping
};

}  // namespace zn
