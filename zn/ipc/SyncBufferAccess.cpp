// The buffer's lock: the named mutex "<map name>.qvlock".

#include "zn/error/ZnErrorCodes.h"
#include "zn/ipc/SharedProcessBuffer.h"
#include "zn/ipc/internal/KernelObjects.h"
#include "zn/log/EvDebug.h"
#include "zn/sync/NamedKernelObject.h"

SyncBufferAccess::SyncBufferAccess(SharedProcessBuffer& buffer, bool lockNow) : m_buffer(buffer) {
  const char* const mapName = buffer.GetNameOfMyMapView();
  if (mapName == nullptr) {
    m_mutex = buffer.m_unnamedLock;
    if (!m_mutex) m_lastError = zn::kErrorInvalidHandle;
  } else {
    m_lockName = std::string(mapName) + ".qvlock";
    std::unique_ptr<zn::NamedKernelObject> mutex;
    bool created = false;
    // Default security: the creator's user only.
    m_lastError = zn::detail::CreateObject(m_lockName, zn::NamedObjectType::kMutex, zn::NamedObjectInit(), false,
                                           mutex, created);
    if (m_lastError != 0) {
      EvDebug().Error("SyncBufferAccess::SyncBufferAccess", "Cannot create or open the lock [%s], error %u",
                      m_lockName.c_str(), m_lastError);
    }
    m_mutex = std::move(mutex);
  }
  if (lockNow) Lock();
}

SyncBufferAccess::~SyncBufferAccess() { Unlock(); }

bool SyncBufferAccess::Lock() {
  if (m_locked) return true;
  if (!m_mutex) {
    m_lastError = zn::kErrorInvalidHandle;
    return false;
  }
  switch (m_mutex->lockMutex(zn::kWaitForever)) {
    case zn::WaitOutcome::kAcquired:
      m_lastError = 0;
      m_locked = true;
      return true;
    case zn::WaitOutcome::kAbandoned:
      // Its holder died holding it: the lock is ours, the bytes may be
      // half-written.
      m_lastError = zn::kErrorAbandonedWait;
      m_locked = true;
      return true;
    default:
      m_lastError = zn::ErrorFromErrno(errno);
      return false;
  }
}

bool SyncBufferAccess::Unlock() {
  if (!m_locked) return true;
  if (!m_mutex->unlockMutex()) {
    m_lastError = zn::kErrorNotOwner;
    return false;
  }
  m_locked = false;
  return true;
}

bool SyncBufferAccess::IsLock() { return m_locked; }

void* SyncBufferAccess::GetBuffer() { return m_buffer.GetBuffer(); }

unsigned long SyncBufferAccess::GetLastErrNo() { return m_lastError; }
