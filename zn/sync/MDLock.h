// The older named locks: MDLock (a semaphore of one), MDMutex (a mutex) and
// MDEvent (a manual-reset event whose "set" means busy). Named ones are
// shared by every process using the name; unnamed ones live in the process.
// Failures are reported by false results.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "zn/base/ZnExport.h"

namespace zn {
class NamedKernelObject;
}  // namespace zn

namespace zn::detail {
class LocalEvent;
class LocalSemaphore;

// What the three classes share: the name (optionally behind the focus),
// the owner and the time of the last acquisition.
class MDNamedObject {
 public:
  static constexpr std::size_t kMaxName = 1024;

  const char* getName() const { return m_name; }
  // Seconds since 1970 of the last successful set(), 0 when not held.
  long long getLastTimeAcquired() const { return m_timeAcquired; }
  uint32_t getOwnerThread() const { return m_ownerThread; }
  // False when the object could not be made (name too long, focus missing,
  // or the system refused).
  bool isValid() const { return m_valid; }

 protected:
  MDNamedObject() = default;
  ~MDNamedObject() = default;
  // Builds the name; false (and an error line in the log) when it cannot be.
  bool setName(const char* name, bool focusPrefix, const char* operation);
  void acquired();
  void released();

  uint32_t m_ownerThread = 0;
  long long m_timeAcquired = 0;
  char m_name[kMaxName] = {};
  bool m_valid = false;
};

}  // namespace zn::detail

class ZN_EXPORT MDLock : public zn::detail::MDNamedObject {
 public:
  MDLock();
  MDLock(const char* name, bool focusPrefix);
  ~MDLock();
  MDLock(const MDLock&) = delete;
  MDLock& operator=(const MDLock&) = delete;

  // Waits up to `ms` (all-ones: no limit); false on time-out.
  bool set(unsigned long ms);
  // Retries: every failed attempt makes the named semaphore `name` (or this
  // lock's name when null) again and adds `ms` to the time spent; false once
  // that passes `total`.
  bool set(unsigned long ms, unsigned long total, const char* name);
  void unset();
  // True when someone else holds it (a zero-time probe).
  bool isSet();
  void* getHandle();

 private:
  bool create();

  bool m_focusPrefix = false;
  std::unique_ptr<zn::detail::LocalSemaphore> m_local;
  std::unique_ptr<zn::NamedKernelObject> m_named;
};

class ZN_EXPORT MDMutex : public zn::detail::MDNamedObject {
 public:
  MDMutex();
  MDMutex(const char* name, bool focusPrefix);
  ~MDMutex();
  MDMutex(const MDMutex&) = delete;
  MDMutex& operator=(const MDMutex&) = delete;

  // An abandoned mutex (its owner died holding it) counts as acquired.
  bool set(unsigned long ms);
  void unset();
  // True when another thread holds it; an abandoned mutex counts as free.
  bool isSet();
  void* getHandle();

 private:
  std::unique_ptr<std::recursive_timed_mutex> m_local;
  std::unique_ptr<zn::NamedKernelObject> m_named;
};

class ZN_EXPORT MDEvent : public zn::detail::MDNamedObject {
 public:
  // Created signalled ("free").
  MDEvent();
  MDEvent(const char* name, bool focusPrefix);
  ~MDEvent();
  MDEvent(const MDEvent&) = delete;
  MDEvent& operator=(const MDEvent&) = delete;

  // Resets the event: "busy" for those who wait on it.
  bool set(unsigned long ms);
  // Sets the event again.
  void unset();
  // True while the event is reset (busy).
  bool isSet();
  // Waits until the event is signalled ("free"); false on time-out.
  bool waitFree(unsigned long ms);
  void* getHandle();

 private:
  std::unique_ptr<zn::detail::LocalEvent> m_local;
  std::unique_ptr<zn::NamedKernelObject> m_named;
};
