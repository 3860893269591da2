// A monitor-guarded counter that other threads can wait on, and its helpers.
#pragma once

#include "zn/base/ZnExport.h"
#include "zn/sync/ZnMonitor.h"

class ZN_EXPORT ZnSafeFlags : public ZnMonitor {
 public:
  explicit ZnSafeFlags(int value = 0) : m_value(value) {}
  ZnSafeFlags(const ZnSafeFlags& other);

  operator int();
  int value() { return static_cast<int>(*this); }

  // Each change runs under the monitor and broadcasts it.
  ZnSafeFlags& operator=(int value);
  ZnSafeFlags& operator=(const ZnSafeFlags& other);
  ZnSafeFlags& operator++();
  ZnSafeFlags& operator++(int);
  ZnSafeFlags& operator--();
  ZnSafeFlags& operator--(int);
  ZnSafeFlags& operator+=(int delta);
  ZnSafeFlags& operator-=(int delta);
  ZnSafeFlags& operator&=(int mask);
  ZnSafeFlags& operator|=(int mask);

  // The raw value, for code that already holds the monitor.
  int& raw() { return m_value; }

 private:
  template <typename Change>
  ZnSafeFlags& change(Change&& apply);

  int m_value;
};

// Adds a delta for its lifetime: under the monitor, broadcasting, and takes
// it off again when destroyed.
class ZN_EXPORT ZnSafeFlagsInc {
 public:
  ZnSafeFlagsInc(ZnSafeFlags* flags, int delta);
  ZnSafeFlagsInc(int* value, ZnMonitor* monitor, int delta);
  ~ZnSafeFlagsInc();
  ZnSafeFlagsInc(const ZnSafeFlagsInc&) = delete;
  ZnSafeFlagsInc& operator=(const ZnSafeFlagsInc&) = delete;

  // Undoes the current delta, then applies `delta` to `flags`.
  void reset(ZnSafeFlags* flags, int delta);

 private:
  void apply(int sign);

  int* m_value = nullptr;
  ZnMonitor* m_monitor = nullptr;
  int m_delta = 0;
};

// On destruction, puts `value` back into the flags when they no longer hold it.
class ZN_EXPORT ZnSafeFlagsController {
 public:
  ZnSafeFlagsController(ZnSafeFlags* flags, int value) : m_flags(flags), m_value(value) {}
  ~ZnSafeFlagsController();
  ZnSafeFlagsController(const ZnSafeFlagsController&) = delete;
  ZnSafeFlagsController& operator=(const ZnSafeFlagsController&) = delete;

 private:
  ZnSafeFlags* m_flags;
  int m_value;
};
