#include "zn/ipc/ZNSharedMemUtil.h"

#include <memory>

#include "zn/error/ZnErrorCodes.h"
#include "zn/ipc/internal/KernelObjects.h"
#include "zn/sync/NamedKernelObject.h"

namespace {

using zn::NamedKernelObject;
using zn::NamedObjectType;

void* Fail(unsigned long& error, uint32_t code) {
  error = code;
  return nullptr;
}

// Maps `size` bytes (0: all) of `object` and records the view.
void* MapView(const zn::detail::SharedObject& object, int size, bool writable, unsigned long& error) {
  if (size < 0) return Fail(error, zn::kErrorInvalidParameter);
  yq::UniqueMapping view;
  const uint32_t code = object->mapView(static_cast<unsigned long long>(size), writable, view);
  if (code != 0) return Fail(error, code);
  return zn::detail::AddView(std::move(view), object);
}

// The mapping `name` of `size` bytes for this user, new or existing.
uint32_t CreateMapping(const char* name, int size, std::unique_ptr<NamedKernelObject>& object, bool& created) {
  if (size <= 0) return zn::kErrorInvalidParameter;
  zn::NamedObjectInit init;
  init.mappingSize = static_cast<unsigned long long>(size);
  return zn::detail::CreateObject(name != nullptr ? name : "", NamedObjectType::kFileMapping, init, false, object,
                                  created);
}

}  // namespace

void* ZNSharedMemUtil::createSharedMemory(const char* name, void*& handle, int size, unsigned long& error) {
  handle = nullptr;
  std::unique_ptr<NamedKernelObject> made;
  bool created = false;
  if (const uint32_t code = CreateMapping(name, size, made, created); code != 0) return Fail(error, code);
  if (!created) return Fail(error, zn::kErrorAlreadyExists);  // closed again as it goes
  const zn::detail::SharedObject object(std::move(made));
  void* const view = MapView(object, size, true, error);
  if (view == nullptr) return nullptr;
  handle = zn::detail::AddHandle(object);
  error = 0;
  return view;
}

void* ZNSharedMemUtil::getSharedMemoryByName(void*& handle, const char* name, int size, unsigned long& error,
                                             bool readOnly) {
  handle = nullptr;
  std::unique_ptr<NamedKernelObject> made;
  bool created = false;
  if (const uint32_t code = CreateMapping(name, size, made, created); code != 0) return Fail(error, code);
  const zn::detail::SharedObject object(std::move(made));
  void* const view = MapView(object, size, !readOnly, error);
  if (view == nullptr) return nullptr;
  handle = zn::detail::AddHandle(object);
  error = created ? 0 : zn::kErrorAlreadyExists;
  return view;
}

void* ZNSharedMemUtil::getSharedMemory(void*& handle, int size, unsigned long& error) {
  const zn::detail::SharedObject object = zn::detail::FindHandle(handle);
  if (!object || object->type() != NamedObjectType::kFileMapping) return Fail(error, zn::kErrorInvalidHandle);
  void* const view = MapView(object, size, false, error);
  if (view != nullptr) error = 0;
  return view;
}

bool ZNSharedMemUtil::deleteSharedMemory(void* view, unsigned long& error) {
  if (!zn::detail::RemoveView(view)) {
    error = zn::kErrorInvalidAddress;
    return false;
  }
  error = 0;
  return true;
}

bool ZNSharedMemUtil::closeSharedMemory(void*& handle, void* view, unsigned long& error) {
  error = 0;
  if (view != nullptr && !zn::detail::RemoveView(view)) error = zn::kErrorInvalidAddress;
  if (!zn::detail::CloseHandle(handle)) error = zn::kErrorInvalidHandle;
  handle = nullptr;
  return error == 0;
}
