// The buffer's automatic event: setting, pulsing and waiting for it, alone
// or with other handles.

#include <array>
#include <cstdio>
#include <string>

#include "zn/error/ZnErrorCodes.h"
#include "zn/ipc/SharedProcessBuffer.h"
#include "zn/ipc/internal/KernelObjects.h"
#include "zn/log/EvDebug.h"
#include "zn/sync/NamedKernelObject.h"
#include "zuzazer/FXString.h"

namespace {

constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr uint32_t kWaitAbandoned0 = 0x80u;

// A buffer without a name gets an event without one.
std::string SessionEventName(unsigned long sessionId, const char* name) {
  if (zn::detail::IsUnnamed(name)) return std::string();
  return std::string(name) + ".qvevent.SessionID." + std::to_string(static_cast<uint32_t>(sessionId));
}

std::string EventName(const char* name) {
  return zn::detail::IsUnnamed(name) ? std::string() : std::string(name) + ".qvevent";
}

}  // namespace

SharedProcessBufferWithSignal_Base::SharedProcessBufferWithSignal_Base(const char* eventName, const char* mapName,
                                                                       int size, bool create)
    : SharedProcessBufferSync(mapName, size, create) {
  // Open to every local user, like the mapping; an event that exists keeps
  // its state.
  zn::NamedObjectInit init;
  init.manualReset = false;
  init.signalled = false;
  bool created = false;
  const std::string name = eventName != nullptr ? eventName : "";
  const uint32_t error =
      zn::detail::CreateObject(name, zn::NamedObjectType::kEvent, init, true, m_event, created);
  if (error != 0) {
    std::string text;
    FXString::Format(text,
                     "SharedProcessBufferWithSignal_Base::SharedProcessBufferWithSignal_Base: -Error-: "
                     "CreateEventA(%s) errno = %u",
                     name.c_str(), error);
    setLastError(text, error);
    EvDebug().Error("SharedProcessBufferWithSignal_Base::SharedProcessBufferWithSignal_Base",
                    "Failed CreateEventA(%s) errno = %u", name.c_str(), error);
  }
}

SharedProcessBufferWithSignal_Base::~SharedProcessBufferWithSignal_Base() = default;

SharedProcessBufferWithSignal::SharedProcessBufferWithSignal(const char* name, int size, bool create)
    : SharedProcessBufferWithSignal_Base(EventName(name).c_str(), name, size, create) {}

SharedProcessBufferWithSignal::SharedProcessBufferWithSignal(unsigned long sessionId, const char* name, int size,
                                                             bool create)
    : SharedProcessBufferWithSignal_Base(SessionEventName(sessionId, name).c_str(), name, size, create) {}

SharedProcessBufferWithSignal::SharedProcessBufferWithSignal(const char* eventName, const char* mapName, int size,
                                                             bool create)
    : SharedProcessBufferWithSignal_Base(eventName, mapName, size, create) {}

SharedProcessBufferWithSignal::~SharedProcessBufferWithSignal() = default;

bool SharedProcessBufferWithSignal::setEvent() {
  if (event() == nullptr) return false;
  event()->setEvent();
  return true;
}

bool SharedProcessBufferWithSignal::resetEvent() {
  if (event() == nullptr) return false;
  event()->resetEvent();
  return true;
}

bool SharedProcessBufferWithSignal::pulseEvent() {
  if (event() == nullptr) return false;
  event()->pulseEvent();
  return true;
}

bool SharedProcessBufferWithSignal::waitForEvent(void** handles, unsigned long count, int waitAll) {
  const bool single = handles == nullptr || count == 0;
  uint32_t result = kWaitFailed;
  uint32_t systemError = 0;
  if (event() == nullptr) {
    systemError = zn::kErrorInvalidHandle;
  } else if (single) {
    switch (event()->waitEvent(zn::kWaitForever)) {
      case zn::WaitOutcome::kAcquired:
        result = 0;
        break;
      default:
        systemError = zn::ErrorFromErrno(errno);
    }
  } else if (count >= zn::kMaxWaitObjects) {
    systemError = zn::kErrorInvalidParameter;
  } else {
    // The objects are held for the wait: a handle closed meanwhile by
    // another thread does not take its object away under us.
    std::array<zn::detail::SharedObject, zn::kMaxWaitObjects> held;
    std::array<zn::NamedKernelObject*, zn::kMaxWaitObjects> objects{};
    objects[0] = event();
    for (unsigned long i = 0; i < count && systemError == 0; ++i) {
      held[i + 1] = zn::detail::FindHandle(handles[i]);
      if (!held[i + 1] || held[i + 1]->type() == zn::NamedObjectType::kFileMapping) {
        systemError = zn::kErrorInvalidHandle;  // none of ours, or not one to wait on
      }
      objects[i + 1] = held[i + 1].get();
    }
    if (systemError == 0) {
      const zn::MultiWaitResult wait = zn::NamedKernelObject::WaitForMultiple(
          std::span<zn::NamedKernelObject* const>(objects.data(), count + 1), waitAll != 0, zn::kWaitForever);
      switch (wait.outcome) {
        case zn::WaitOutcome::kAcquired:
          result = static_cast<uint32_t>(wait.index);
          break;
        case zn::WaitOutcome::kAbandoned:
          result = kWaitAbandoned0 + static_cast<uint32_t>(wait.index);
          break;
        default:
          systemError = wait.error != 0 ? wait.error : zn::kErrorInvalidHandle;
      }
    }
  }
  setLastErrorNumber(result);
  if (result == 0) return true;
  std::string text;
  FXString::Format(text, "SharedProcessBufferWithSignal::waitForEvent(702): -Error-: %s failed with %u;EN=%u",
                   single ? "WaitForSingleObject" : "WaitForMultipleObjects", result, systemError);
  setLastError(text, result);
  if (result == kWaitFailed) EvDebug().Error("SharedProcessBufferWithSignal::waitForEvent", "%s", text.c_str());
  return false;
}
