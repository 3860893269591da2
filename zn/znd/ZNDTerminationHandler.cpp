#include "zn/znd/ZNDTerminationHandler.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "zn/error/ZnErrorCodes.h"
#include "zn/log/EvDebug.h"
#include "zn/log/ZndTerminationHooks.h"
#include "zn/sync/NamedKernelObject.h"
#include "znfocus/ZNPI_Focus.h"

namespace {

constexpr const char* kWaitFunction = "ZNDTerminationHandler::_WaitForZNDAliveMutex";
constexpr const char* kTerminationFunction = "ZNDTerminationHandler::_WaitForZNDTermination";
constexpr const char* kNameFunction = "ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName";
// No system call waits for a mutex and an event together: the mutex is
// waited for in slices, with a look at the event between them.
constexpr unsigned long kSliceMs = 50;

std::atomic<ZNDTerminationHandler::TerminationCallback> g_callback{nullptr};

enum class AliveWait { kAcquired, kAbandoned, kTimeout, kQuit, kFailed, kUnknown };

struct AliveWaitResult {
  AliveWait outcome;
  int error = 0;  // Win32 number for kFailed and kUnknown
};

AliveWaitResult Failed(int error) { return {AliveWait::kFailed, error}; }

// Locks and at once releases the mutex: the daemon is gone once we get it.
AliveWaitResult TakeAndRelease(zn::NamedKernelObject& mutex, zn::WaitOutcome outcome) {
  mutex.unlockMutex();
  return {outcome == zn::WaitOutcome::kAbandoned ? AliveWait::kAbandoned : AliveWait::kAcquired};
}

AliveWaitResult WaitForMutexOrEvent(zn::NamedKernelObject& mutex, zn::NamedKernelObject* quitEvent,
                                    unsigned long timeoutMs) {
  const bool forever = timeoutMs >= zn::kWaitForever;
  if (quitEvent == nullptr) {
    const zn::WaitOutcome outcome = mutex.lockMutex(timeoutMs);
    if (outcome == zn::WaitOutcome::kAcquired || outcome == zn::WaitOutcome::kAbandoned) {
      return TakeAndRelease(mutex, outcome);
    }
    if (outcome == zn::WaitOutcome::kTimeout) return {AliveWait::kTimeout};
    return Failed(static_cast<int>(zn::ErrorFromErrno(errno)));
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
  // The mutex comes first, as the first of the objects waited for.
  unsigned long slice = 0;
  while (true) {
    const zn::WaitOutcome outcome = mutex.lockMutex(slice);
    if (outcome == zn::WaitOutcome::kAcquired || outcome == zn::WaitOutcome::kAbandoned) {
      return TakeAndRelease(mutex, outcome);
    }
    if (outcome != zn::WaitOutcome::kTimeout) return Failed(static_cast<int>(zn::ErrorFromErrno(errno)));
    const zn::WaitOutcome quit = quitEvent->waitEvent(0);
    if (quit == zn::WaitOutcome::kAcquired) return {AliveWait::kQuit};
    if (quit != zn::WaitOutcome::kTimeout) return {AliveWait::kUnknown, static_cast<int>(zn::ErrorFromErrno(errno))};
    unsigned long left = kSliceMs;
    if (!forever) {
      const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (remaining <= 0) return {AliveWait::kTimeout};
      left = std::min<unsigned long>(kSliceMs, static_cast<unsigned long>(remaining));
    }
    slice = left;
  }
}

}  // namespace

void ZNDTerminationHandler::registerCallbackForZNDTermination(TerminationCallback& callback) {
  g_callback.store(callback);
}

void ZNDTerminationHandler::unregisterCallbackForZNDTermination() { g_callback.store(nullptr); }

ZNDTerminationHandler::TerminationCallback ZNDTerminationHandler::getRegisteredZNDTerminationCallBack() {
  return g_callback.load();
}

void ZNDTerminationHandler::_GenerateZNDAliveCheckMutexName(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) {
    EvDebug().Error(kNameFunction, "Invalid buffer passed to GenerateZNDAliveCheckMutexName");
    return;
  }
  const char* focus = ZNPI_Focus::getFocus();
  const std::string name = std::string("Global\\") + "ZNDALIVE-" + (focus != nullptr ? focus : "");
  const std::size_t length = std::min(name.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(buffer, name.data(), length);
  buffer[length] = '\0';
}

bool ZNDTerminationHandler::_WaitForZNDAliveMutex(void* mutex, void* quitEvent, unsigned long timeout) {
  auto* alive = static_cast<zn::NamedKernelObject*>(mutex);
  auto* quit = static_cast<zn::NamedKernelObject*>(quitEvent);
  AliveWaitResult result{AliveWait::kFailed, static_cast<int>(zn::kErrorInvalidHandle)};
  if (alive != nullptr && alive->type() == zn::NamedObjectType::kMutex &&
      (quit == nullptr || quit->type() == zn::NamedObjectType::kEvent)) {
    result = WaitForMutexOrEvent(*alive, quit, timeout);
  }
  EvDebug log;
  switch (result.outcome) {
    case AliveWait::kFailed:
      log.Error(kWaitFunction, "ZND Alive Check WaitForSingleObject Failed %d", result.error);
      return false;
    case AliveWait::kTimeout:
      log.DebugLvl(kWaitFunction, 5, "ZND Alive Check WaitForSingleObject Time-Out");
      return false;
    case AliveWait::kAcquired:
      log.Error(kWaitFunction, "ZND Alive Check acquired Mutex");
      return true;
    case AliveWait::kAbandoned:
      log.Error(kWaitFunction, "ZND Alive Check acquired Mutex, Abandoned");
      return true;
    case AliveWait::kQuit:
      log.DebugLvl(kWaitFunction, 1, "ZND Alive Check Quit Event Signaled");
      return false;
    case AliveWait::kUnknown:
      break;
  }
  log.Error(kWaitFunction, "ZND Alive Check WaitForSingleObject Unknown Error, %d", result.error);
  return false;
}

bool ZNDTerminationHandler::_WaitForZNDTermination(void* quitEvent, unsigned long timeout) {
  EvDebug log;
  if (timeout >= zn::kWaitForever) log.DebugLvl(kTerminationFunction, 1, "Waiting for ZND Termination");
  char name[kMutexNameSize];
  _GenerateZNDAliveCheckMutexName(name, sizeof name);
  std::unique_ptr<zn::NamedKernelObject> mutex;
  const uint32_t error = zn::NamedKernelObject::Open(name, zn::NamedObjectType::kMutex, mutex);
  if (error != 0) {
    log.Error(kTerminationFunction, "Failed to Open ZNDAliveChecking Mutex, %s, %d", name, static_cast<int>(error));
    return true;
  }
  return _WaitForZNDAliveMutex(mutex.get(), quitEvent, timeout);
}

namespace {

// Hands the log what its watch over the daemon needs, while the library
// loads.
[[maybe_unused]] const bool kHooksInstalled = [] {
  zn::ZndTerminationHooks hooks;
  hooks.registeredCallback = [] { return static_cast<zn::ZndTerminationCallback>(g_callback.load()); };
  hooks.waitForTermination = [] { return ZNDTerminationHandler::_WaitForZNDTermination(nullptr, zn::kWaitForever); };
  zn::InstallZndTerminationHooks(hooks);
  return true;
}();

}  // namespace
