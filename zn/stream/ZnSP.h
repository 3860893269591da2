// Reference counting: SPEnabled is the base of every counted object of the
// library (all byte streams among them), SPBase the handle that holds one
// counted reference.
//
// Every count change happens under one process-wide lock. The release that
// brings a count from 1 to 0 marks the object dead (-1) and destroys it
// through its virtual destructor; the release that brings it to 1 calls the
// object's last-reference trigger, if it has one. Destructors and triggers
// run after the lock has been released.
//
// A dead object is recognised by its address, never by reading its memory:
// taking a reference to it by raw pointer fails with ZnException "Can't
// resurrect dead objects." even after its storage has been freed.
#pragma once

#include "zn/base/ZnExport.h"

namespace zn::detail {
struct RefCounting;
}  // namespace zn::detail

class ZN_EXPORT SPEnabled {
 public:
  SPEnabled();
  // A copy is a new object: it starts at count 0 without a trigger.
  SPEnabled(const SPEnabled& other);
  // The count and trigger belong to the object and are never assigned.
  SPEnabled& operator=(const SPEnabled& other);
  virtual ~SPEnabled();

  // Both return the count after the change; decCount returns 0 when it
  // destroyed the object. incCount on a dead object throws "Can't resurrect
  // dead objects."; decCount on a count below 1 throws "SPEnabled object is
  // corrupt (count<=0).".
  int incCount();
  int decCount();
  // -1 for an object that is being or has been destroyed.
  int getCount() const;
  // Sets or replaces the callback called with `argument` whenever a release
  // leaves this object with one reference; a null callback removes it.
  void addLastRefTrigger(void (*trigger)(void*), void* argument);

 private:
  friend struct zn::detail::RefCounting;
  int m_count = 0;
};

class ZN_EXPORT SPBase {
 public:
  SPBase() = default;
  SPBase(SPEnabled* object);
  SPBase(const SPBase& other);
  ~SPBase();

  SPBase& operator=(const SPBase& other) {
    assign(other);
    return *this;
  }
  SPBase& operator=(SPEnabled* object) {
    assign(object);
    return *this;
  }

  // Takes a reference to the new object, then releases the old one (which
  // may destroy it or fire its trigger). Assigning what is held does nothing.
  void assign(const SPBase& other);
  void assign(SPEnabled* object);

  SPEnabled* get() const { return m_object; }

 private:
  SPEnabled* m_object = nullptr;
};
