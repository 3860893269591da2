// A named mutex that reports through a CError and -1 results: the mutex the
// suite's processes share to serialise work across the machine.
#pragma once

#include <cstdint>
#include <memory>

#include "zn/error/CError.h"
#include "zn/base/ZnExport.h"

namespace zn {
class NamedKernelObject;
}

class ZN_EXPORT CNamedMutex {
 public:
  // Uses `error` for its status texts, or an error object of its own when
  // null. With `openToAll` every user of the machine may use the mutex.
  CNamedMutex(const char* name, CError* error, bool openToAll);
  ~CNamedMutex();
  CNamedMutex(const CNamedMutex&) = delete;
  CNamedMutex& operator=(const CNamedMutex&) = delete;

  // Waits up to `ms` milliseconds (negative: no limit). Returns the lock
  // count, or -1 with the error set: -2 time-out, -3 abandoned (unless
  // `acceptAbandoned`, which counts it as acquired), -4 unknown, -1 no mutex.
  int lock(int ms, bool acceptAbandoned);
  // Only the locking thread may unlock; returns the remaining count or -1.
  int unlock();

  unsigned long getLockCount() const { return m_lockCount; }
  long getErrorCode() const { return m_error->getCode(); }
  const char* getErrorText() const { return m_error->getText(); }

 private:
  void setSystemError(uint32_t code, const char* message);

  std::unique_ptr<zn::NamedKernelObject> m_mutex;
  unsigned long m_lockCount = 0;
  uint32_t m_lockerThread = 0;
  std::unique_ptr<CError> m_ownError;
  CError* m_error;
};
