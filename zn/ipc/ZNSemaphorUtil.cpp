#include "zn/ipc/ZNSemaphorUtil.h"

#include <cerrno>
#include <memory>

#include "zn/error/ZnErrorCodes.h"
#include "zn/ipc/internal/KernelObjects.h"
#include "zn/sync/NamedKernelObject.h"

namespace {

using zn::NamedKernelObject;
using zn::NamedObjectType;

// The Windows original's counts are 32-bit.
bool ValidMaximum(long maximum) { return maximum >= 1 && maximum <= 0x7FFFFFFFL; }

bool Fail(unsigned long& error, uint32_t code) {
  error = code;
  return false;
}

bool WaitOn(NamedKernelObject& object, unsigned long ms, bool& timedOut, unsigned long& error) {
  timedOut = false;
  switch (object.wait(ms)) {
    case zn::WaitOutcome::kAcquired:
      error = 0;
      return true;
    case zn::WaitOutcome::kTimeout:
      timedOut = true;
      error = 0;
      return false;
    case zn::WaitOutcome::kAbandoned:
      return Fail(error, zn::kErrorAbandonedWait);
    default:
      return Fail(error, zn::ErrorFromErrno(errno));
  }
}

bool ReleaseOn(NamedKernelObject& object, unsigned long& error) {
  if (object.type() != NamedObjectType::kSemaphore) return Fail(error, zn::kErrorInvalidHandle);
  if (!object.releaseSemaphore(1, nullptr)) return Fail(error, zn::kErrorTooManyPosts);
  error = 0;
  return true;
}

}  // namespace

bool ZNSemaphorUtil::createSemaphor(void*& handle, unsigned long& error, long maximum) {
  bool existed = false;
  return createSemaphor(handle, nullptr, existed, error, maximum);
}

bool ZNSemaphorUtil::createSemaphor(void*& handle, const char* name, bool& alreadyExists, unsigned long& error,
                                    long maximum) {
  handle = nullptr;
  alreadyExists = false;
  if (!ValidMaximum(maximum)) return Fail(error, zn::kErrorInvalidParameter);
  zn::NamedObjectInit init;
  init.initialCount = 0;
  init.maximumCount = static_cast<int>(maximum);
  std::unique_ptr<NamedKernelObject> object;
  bool created = false;
  const uint32_t code = zn::detail::CreateObject(name != nullptr ? name : "", NamedObjectType::kSemaphore, init,
                                                 true, object, created);
  if (code != 0) return Fail(error, code);
  alreadyExists = !created;
  handle = zn::detail::AddHandle(std::move(object));
  error = alreadyExists ? zn::kErrorAlreadyExists : 0;
  return true;
}

bool ZNSemaphorUtil::openSemaphor(void*& handle, const char* name, unsigned long& error) {
  handle = nullptr;
  std::unique_ptr<NamedKernelObject> object;
  const uint32_t code = zn::detail::OpenObject(name != nullptr ? name : "", NamedObjectType::kSemaphore, object);
  if (code != 0) return Fail(error, code);
  handle = zn::detail::AddHandle(std::move(object));
  error = 0;
  return true;
}

bool ZNSemaphorUtil::waitForResource(void* handle, unsigned long ms, bool& timedOut, unsigned long& error) {
  timedOut = false;
  const zn::detail::SharedObject object = zn::detail::FindHandle(handle);
  if (!object || object->type() == NamedObjectType::kFileMapping) return Fail(error, zn::kErrorInvalidHandle);
  return WaitOn(*object, ms, timedOut, error);
}

bool ZNSemaphorUtil::waitForResource(const char* name, unsigned long ms, bool& timedOut, unsigned long& error) {
  timedOut = false;
  std::unique_ptr<NamedKernelObject> object;
  const uint32_t code = zn::detail::OpenObject(name != nullptr ? name : "", NamedObjectType::kSemaphore, object);
  if (code != 0) return Fail(error, code);
  return WaitOn(*object, ms, timedOut, error);
}

bool ZNSemaphorUtil::releaseResource(void* handle, unsigned long& error) {
  const zn::detail::SharedObject object = zn::detail::FindHandle(handle);
  if (!object) return Fail(error, zn::kErrorInvalidHandle);
  return ReleaseOn(*object, error);
}

bool ZNSemaphorUtil::releaseResource(const char* name, unsigned long& error) {
  std::unique_ptr<NamedKernelObject> object;
  const uint32_t code = zn::detail::OpenObject(name != nullptr ? name : "", NamedObjectType::kSemaphore, object);
  if (code != 0) return Fail(error, code);
  return ReleaseOn(*object, error);
}

void ZNSemaphorUtil::destroySemaphor(void* handle) { zn::detail::CloseHandle(handle); }
