#include "zn/sync/MDLock.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

#include "zn/error/ZnErrorCodes.h"
#include "zn/log/EvDebug.h"
#include "zn/sync/internal/LocalWaitable.h"
#include "zn/sync/LockTracking.h"
#include "zn/sync/NamedKernelObject.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXThreadId.h"

using zn::NamedKernelObject;
using zn::NamedObjectInit;
using zn::NamedObjectType;
using zn::WaitOutcome;

namespace zn::detail {

bool MDNamedObject::setName(const char* name, bool focusPrefix, const char* operation) {
  m_name[0] = '\0';
  std::string full;
  if (focusPrefix) {
    const char* focus = ZNPI_Focus::getFocus();
    if (focus == nullptr || focus[0] == '\0') {
      EvDebug().Error(operation, "Cannot name the lock [%s]: the process has no focus", name != nullptr ? name : "");
      return false;
    }
    full = focus;
  }
  full += name != nullptr ? name : "";
  if (full.size() >= kMaxName) {
    EvDebug().Error(operation, "Cannot name the lock: [%.64s...] is %zu characters, the limit is %zu", full.c_str(),
                    full.size(), kMaxName - 1);
    return false;
  }
  std::memcpy(m_name, full.c_str(), full.size() + 1);
  return true;
}

void MDNamedObject::acquired() {
  m_ownerThread = yq::CurrentThreadId();
  m_timeAcquired = static_cast<long long>(::time(nullptr));
  LockTracking::Record(m_name);
}

void MDNamedObject::released() {
  m_ownerThread = 0;
  m_timeAcquired = 0;
  LockTracking::Forget(m_name);
}

}  // namespace zn::detail

namespace {

// Objects the Windows original opens to everyone: mode 0666, else this user only.
uint32_t CreateShared(const char* name, NamedObjectType type, const NamedObjectInit& init,
                      std::unique_ptr<NamedKernelObject>& object) {
  bool created = false;
  uint32_t error = NamedKernelObject::Create(name, type, init, true, object, created);
  if (error == zn::kErrorAccessDenied) error = NamedKernelObject::Create(name, type, init, false, object, created);
  return error;
}

}  // namespace

// ---- MDLock ----

MDLock::MDLock() : m_local(std::make_unique<zn::detail::LocalSemaphore>(1, 1)) { m_valid = true; }

MDLock::MDLock(const char* name, bool focusPrefix) : m_focusPrefix(focusPrefix) {
  if (setName(name, focusPrefix, "MDLock::MDLock")) m_valid = create();
}

MDLock::~MDLock() = default;

bool MDLock::create() {
  m_named.reset();
  NamedObjectInit init;
  init.initialCount = 1;
  init.maximumCount = 1;
  const uint32_t error = CreateShared(m_name, NamedObjectType::kSemaphore, init, m_named);
  if (error != 0) EvDebug().Error("MDLock::create", "Cannot create the lock [%s], error %u", m_name, error);
  return error == 0;
}

bool MDLock::set(unsigned long ms) {
  WaitOutcome outcome = WaitOutcome::kFailed;
  if (m_named) {
    outcome = m_named->waitSemaphore(ms);
  } else if (m_local) {
    outcome = m_local->wait(ms);
  }
  if (outcome != WaitOutcome::kAcquired) return false;
  acquired();
  return true;
}

bool MDLock::set(unsigned long ms, unsigned long total, const char* name) {
  unsigned long long spent = 0;
  while (true) {
    if (set(ms)) return true;
    spent += ms > 0 ? ms : 1;  // zero-time tries still use up the total
    if (spent > total) return false;
    // Close and make the semaphore again: a holder that is gone for good
    // leaves a name nobody else holds.
    if (name != nullptr && !setName(name, m_focusPrefix, "MDLock::set")) return false;
    if (m_name[0] != '\0') {
      m_valid = create();
    }
  }
}

void MDLock::unset() {
  released();
  if (m_named) {
    m_named->releaseSemaphore(1, nullptr);
  } else if (m_local) {
    m_local->release(1, nullptr);
  }
}

bool MDLock::isSet() {
  WaitOutcome outcome = WaitOutcome::kFailed;
  if (m_named) {
    outcome = m_named->waitSemaphore(0);
    if (outcome == WaitOutcome::kAcquired) m_named->releaseSemaphore(1, nullptr);
  } else if (m_local) {
    outcome = m_local->wait(0);
    if (outcome == WaitOutcome::kAcquired) m_local->release(1, nullptr);
  }
  return outcome == WaitOutcome::kTimeout;
}

void* MDLock::getHandle() {
  return m_named ? static_cast<void*>(m_named.get()) : static_cast<void*>(m_local.get());
}

// ---- MDMutex ----

MDMutex::MDMutex() : m_local(std::make_unique<std::recursive_timed_mutex>()) { m_valid = true; }

MDMutex::MDMutex(const char* name, bool focusPrefix) {
  if (!setName(name, focusPrefix, "MDMutex::MDMutex")) return;
  const uint32_t error = CreateShared(m_name, NamedObjectType::kMutex, NamedObjectInit(), m_named);
  if (error != 0) EvDebug().Error("MDMutex::MDMutex", "Cannot create the mutex [%s], error %u", m_name, error);
  m_valid = error == 0;
}

MDMutex::~MDMutex() = default;

bool MDMutex::set(unsigned long ms) {
  bool taken = false;
  if (m_named) {
    const WaitOutcome outcome = m_named->lockMutex(ms);
    taken = outcome == WaitOutcome::kAcquired || outcome == WaitOutcome::kAbandoned;
  } else if (m_local) {
    taken = ms >= zn::kWaitForever ? (m_local->lock(), true)
                                           : m_local->try_lock_for(std::chrono::milliseconds(ms));
  }
  if (taken) acquired();
  return taken;
}

void MDMutex::unset() {
  released();
  if (m_named) {
    m_named->unlockMutex();
  } else if (m_local) {
    m_local->unlock();
  }
}

bool MDMutex::isSet() {
  if (m_named) {
    const WaitOutcome outcome = m_named->lockMutex(0);
    if (outcome == WaitOutcome::kAcquired || outcome == WaitOutcome::kAbandoned) {
      m_named->unlockMutex();
      return false;
    }
    return outcome == WaitOutcome::kTimeout;
  }
  if (m_local && m_local->try_lock()) {
    m_local->unlock();
    return false;
  }
  return m_local != nullptr;
}

void* MDMutex::getHandle() {
  return m_named ? static_cast<void*>(m_named.get()) : static_cast<void*>(m_local.get());
}

// ---- MDEvent ----

MDEvent::MDEvent() : m_local(std::make_unique<zn::detail::LocalEvent>(true, true)) { m_valid = true; }

MDEvent::MDEvent(const char* name, bool focusPrefix) {
  if (!setName(name, focusPrefix, "MDEvent::MDEvent")) return;
  NamedObjectInit init;
  init.manualReset = true;
  init.signalled = true;
  const uint32_t error = CreateShared(m_name, NamedObjectType::kEvent, init, m_named);
  if (error != 0) EvDebug().Error("MDEvent::MDEvent", "Cannot create the event [%s], error %u", m_name, error);
  m_valid = error == 0;
}

MDEvent::~MDEvent() = default;

bool MDEvent::set(unsigned long /*ms*/) {
  if (m_named) {
    m_named->resetEvent();
  } else if (m_local) {
    m_local->reset();
  } else {
    return false;
  }
  acquired();
  return true;
}

void MDEvent::unset() {
  released();
  if (m_named) {
    m_named->setEvent();
  } else if (m_local) {
    m_local->set();
  }
}

bool MDEvent::isSet() {
  if (m_named) return !m_named->isEventSignalled();
  return m_local != nullptr && !m_local->isSignalled();
}

bool MDEvent::waitFree(unsigned long ms) {
  if (m_named) return m_named->waitEvent(ms) == WaitOutcome::kAcquired;
  return m_local != nullptr && m_local->wait(ms) == WaitOutcome::kAcquired;
}

void* MDEvent::getHandle() {
  return m_named ? static_cast<void*>(m_named.get()) : static_cast<void*>(m_local.get());
}
