// The process-wide state of reference counting: the lock that guards every
// count and the table of live objects with their last-reference triggers.
#pragma once

#include <cstddef>
#include <unordered_map>

class SPEnabled;
class ZnCriticalSection;

namespace zn::detail {

struct LastRefTrigger {
  void (*callback)(void*) = nullptr;
  void* argument = nullptr;
};

// Holds the process-wide lock until unlock() or the end of its scope. The
// lock is built while the library loads; before that (static initialisation
// of other code, one thread only) the holder takes nothing.
class RefCountLock {
 public:
  RefCountLock();
  ~RefCountLock() { unlock(); }
  RefCountLock(const RefCountLock&) = delete;
  RefCountLock& operator=(const RefCountLock&) = delete;

  void unlock();

 private:
  ZnCriticalSection* m_lock;
};

// Every SPEnabled alive, keyed by address. Knowing the live ones is what
// lets a stale pointer be refused without reading the memory it points to.
// Used only under RefCountLock.
class LiveObjects {
 public:
  static LiveObjects& instance();

  void add(const SPEnabled* object);  // throws std::bad_alloc
  void remove(const SPEnabled* object);
  bool contains(const SPEnabled* object) const { return m_objects.find(object) != m_objects.end(); }

  // False when the object is not alive.
  bool setTrigger(const SPEnabled* object, LastRefTrigger trigger);
  LastRefTrigger trigger(const SPEnabled* object) const;

 private:
  std::unordered_map<const SPEnabled*, LastRefTrigger> m_objects;
  std::size_t m_withTrigger = 0;  // most processes set none: skip the look-up
};

}  // namespace zn::detail
