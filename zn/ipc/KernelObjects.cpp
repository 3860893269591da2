#include "zn/ipc/internal/KernelObjects.h"

#include <pthread.h>

#include <map>
#include <mutex>

#include "zn/error/ZnErrorCodes.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {
namespace {

// Far from the small values that wrap descriptors, spaced as the
// reference's handles are.
constexpr uintptr_t kFirstHandle = 0x40000000;
constexpr uintptr_t kHandleStep = 4;

struct View {
  yq::UniqueMapping mapping;
  SharedObject object;
};

struct Tables {
  std::mutex lock;
  uintptr_t next = kFirstHandle;
  std::map<uintptr_t, SharedObject> handles;
  std::map<void*, View> views;
};

Tables& TheTables() {
  static yq::NoDestructor<Tables> tables;
  // A fork while another thread holds the lock would leave the child's
  // copy locked for good.
  static const int registered = ::pthread_atfork([] { TheTables().lock.lock(); },
                                                 [] { TheTables().lock.unlock(); },
                                                 [] { TheTables().lock.unlock(); });
  (void)registered;
  return *tables;
}

}  // namespace

uint32_t CheckObjectName(const std::string& name) {
  return name.size() > kMaxObjectName ? kErrorFilenameExcedRange : 0;
}

uint32_t CreateObject(const std::string& name, NamedObjectType type, const NamedObjectInit& init, bool everyone,
                      std::unique_ptr<NamedKernelObject>& object, bool& created) {
  object.reset();
  created = false;
  if (const uint32_t bad = CheckObjectName(name); bad != 0) return bad;
  if (name.empty()) {
    const uint32_t error = NamedKernelObject::CreateUnnamed(type, init, object);
    created = error == 0;
    return error;
  }
  return NamedKernelObject::Create(name, type, init, everyone, object, created);
}

uint32_t OpenObject(const std::string& name, NamedObjectType type, std::unique_ptr<NamedKernelObject>& object) {
  object.reset();
  if (name.empty()) return kErrorInvalidParameter;
  if (const uint32_t bad = CheckObjectName(name); bad != 0) return bad;
  return NamedKernelObject::Open(name, type, object);
}

void* AddHandle(SharedObject object) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> guard(tables.lock);
  const uintptr_t handle = tables.next;
  tables.next += kHandleStep;
  tables.handles.emplace(handle, std::move(object));
  return reinterpret_cast<void*>(handle);
}

SharedObject FindHandle(void* handle) {
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> guard(tables.lock);
  const auto found = tables.handles.find(reinterpret_cast<uintptr_t>(handle));
  return found != tables.handles.end() ? found->second : nullptr;
}

bool CloseHandle(void* handle) {
  SharedObject closing;  // released after the lock: closing may take a moment
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> guard(tables.lock);
  const auto found = tables.handles.find(reinterpret_cast<uintptr_t>(handle));
  if (found == tables.handles.end()) return false;
  closing = std::move(found->second);
  tables.handles.erase(found);
  return true;
}

void* AddView(yq::UniqueMapping view, SharedObject object) {
  void* const address = view.get();
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> guard(tables.lock);
  tables.views.emplace(address, View{std::move(view), std::move(object)});
  return address;
}

bool RemoveView(void* address) {
  View removed;
  Tables& tables = TheTables();
  std::lock_guard<std::mutex> guard(tables.lock);
  const auto found = tables.views.find(address);
  if (found == tables.views.end()) return false;
  removed = std::move(found->second);
  tables.views.erase(found);
  return true;
}

}  // namespace zn::detail
