#include "zn/sync/CNamedMutex.h"

#include <cerrno>

#include "zn/error/ZnErrorCodes.h"
#include "zn/log/EvDebug.h"
#include "zn/sync/NamedKernelObject.h"
#include "zuzazer/FXThreadId.h"

using zn::NamedKernelObject;
using zn::WaitOutcome;

CNamedMutex::CNamedMutex(const char* name, CError* error, bool openToAll)
    : m_ownError(error == nullptr ? std::make_unique<CError>() : nullptr),
      m_error(error != nullptr ? error : m_ownError.get()) {
  bool created = false;
  const uint32_t code = NamedKernelObject::Create(name != nullptr ? name : "", zn::NamedObjectType::kMutex,
                                                  zn::NamedObjectInit(), openToAll, m_mutex, created);
  if (code != 0) {
    setSystemError(code, "CNamedMutex(): Mutex handle was not created or opened");
    return;
  }
  m_error->set(0, created ? "CNamedMutex(): Mutex was created. lockCount = %lu"
                          : "CNamedMutex(): Mutex was opened. lockCount = %lu",
               m_lockCount);
}

CNamedMutex::~CNamedMutex() {
  // Give back what this thread still holds, so others do not find the
  // mutex abandoned.
  if (m_mutex && m_lockerThread == yq::CurrentThreadId()) {
    for (; m_lockCount > 0; --m_lockCount) m_mutex->unlockMutex();
  }
}

void CNamedMutex::setSystemError(uint32_t code, const char* message) {
  m_error->set(static_cast<long>(code), "%s (SYSTEM: %s)", message, yq::Win32ErrorText(code).c_str());
}

int CNamedMutex::lock(int ms, bool acceptAbandoned) {
  if (!m_mutex) {
    m_error->set(-1, "lock(): Internal CNamedMutex error: m_hMutex = NULL");
    return -1;
  }
  const unsigned long timeout = ms < 0 ? zn::kWaitForever : static_cast<unsigned long>(ms);
  const WaitOutcome outcome = m_mutex->lockMutex(timeout);
  switch (outcome) {
    case WaitOutcome::kAcquired:
    case WaitOutcome::kAbandoned:
      m_lockerThread = yq::CurrentThreadId();
      ++m_lockCount;
      if (m_lockCount == 0) {
        m_error->set(-1, "lock(): internal CNamedMutex error: m_lockCount = 0 after increment");
        return -1;
      }
      if (outcome == WaitOutcome::kAbandoned && !acceptAbandoned) {
        m_error->set(-3, "lock(): Acquired mutex is ABANDONED");
        return -1;
      }
      m_error->set(0, "lock(): mutex acquired successfully.");
      return static_cast<int>(m_lockCount);
    case WaitOutcome::kTimeout:
      m_error->set(-2, "lock(): Timeout(%ld) expired", static_cast<long>(ms));
      return -1;
    case WaitOutcome::kFailed:
      setSystemError(zn::ErrorFromErrno(errno), "lock(): WaitForSingleObject(): faild.");
      return -1;
  }
  m_error->set(-4, "lock(): WaitForSingleObject returned unknown value");
  return -1;
}

int CNamedMutex::unlock() {
  if (!m_mutex) {
    m_error->set(-1, "unlock(): Internal CNamedMutex error: m_hMutex = NULL");
    return -1;
  }
  const uint32_t self = yq::CurrentThreadId();
  if (m_lockerThread != self || m_lockCount == 0) {
    m_error->set(-2,
                 "unlock(): Unlocking mutex which was not locked or acquired by this thread (lockCount=%lu; "
                 "lockerId=%lu; our Current-TID=%lu",
                 m_lockCount, static_cast<unsigned long>(m_lockerThread), static_cast<unsigned long>(self));
    EvDebug().Debug("CNamedMutex::unlock()",
                    "Unlocking mutex which was not locked or acquired by this thread (lockCount=%lu; lockerId=%lu; "
                    "Current-TID=%lu",
                    m_lockCount, static_cast<unsigned long>(m_lockerThread), static_cast<unsigned long>(self));
    return -1;
  }
  --m_lockCount;
  if (m_lockCount == 0) m_lockerThread = 0;
  if (!m_mutex->unlockMutex()) {
    setSystemError(zn::kErrorNotOwner, "unlock(): ReleaseMutex(): failed.");
    return -1;
  }
  m_error->set(0, "unlock(): mutex released successfully.");
  return static_cast<int>(m_lockCount);
}
