// Counting semaphores over the raw calls, by handle or by name. Every call
// reports a system error number (Win32) through its last argument: 0 on
// success, 2 for a name that names nothing, 6 for a handle that is none
// of this process's, 87 for a maximum below 1, 206 for a name over 259
// characters, 298 for a release past the maximum.
//
// Named semaphores are open to every local user. Handles are inherited by
// forked children.
#pragma once

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZNSemaphorUtil {
 public:
  // An unnamed semaphore with count 0.
  static bool createSemaphor(void*& handle, unsigned long& error, long maximum);
  // Creates the named semaphore with count 0, or opens it (then
  // `alreadyExists` is set and its count and maximum are its own). True
  // when a handle was had.
  static bool createSemaphor(void*& handle, const char* name, bool& alreadyExists, unsigned long& error,
                             long maximum);
  static bool openSemaphor(void*& handle, const char* name, unsigned long& error);

  // True when a unit was taken within `ms` (all ones: no limit). A time-out
  // sets `timedOut`; an abandoned wait (a mutex's handle) gives false with
  // error 735.
  static bool waitForResource(void* handle, unsigned long ms, bool& timedOut, unsigned long& error);
  static bool waitForResource(const char* name, unsigned long ms, bool& timedOut, unsigned long& error);
  // Gives back one unit.
  static bool releaseResource(void* handle, unsigned long& error);
  static bool releaseResource(const char* name, unsigned long& error);
  static void destroySemaphor(void* handle);
};
