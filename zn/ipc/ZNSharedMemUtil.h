// Shared memory over the raw calls: mappings by name (for this user only)
// and their views. Every call reports a system error number (Win32)
// through its last argument: 0 on success, 183 when a mapping that was to
// be new existed, 2 for a name that names nothing, 5 for a view larger
// than its mapping, 6 for a handle that is none of this process's, 87 for
// a size below 1, 206 for a name over 259 characters, 487 for an address
// that is not a view.
//
// A view keeps its mapping alive after the handle is closed, until it is
// unmapped. Handles are inherited by forked children.
#pragma once

#include "zn/base/ZnExport.h"

class ZN_EXPORT ZNSharedMemUtil {
 public:
  // A new mapping of `size` bytes, all zeros, mapped for reading and
  // writing; null (and no handle) when the name exists already.
  static void* createSharedMemory(const char* name, void*& handle, int size, unsigned long& error);
  // Creates the mapping or opens the existing one, and maps `size` bytes
  // of it read-only or for reading and writing.
  static void* getSharedMemoryByName(void*& handle, const char* name, int size, unsigned long& error,
                                     bool readOnly);
  // Another read-only view of `size` bytes (0: all) of an open mapping.
  static void* getSharedMemory(void*& handle, int size, unsigned long& error);
  // Unmaps a view.
  static bool deleteSharedMemory(void* view, unsigned long& error);
  // Unmaps `view` (when given) and closes the handle, which becomes null.
  static bool closeSharedMemory(void*& handle, void* view, unsigned long& error);
};
