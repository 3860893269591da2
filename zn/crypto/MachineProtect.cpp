#include "zn/crypto/internal/MachineProtect.h"

#include <cstdlib>
#include <mutex>

#include "zn/crypto/internal/ZnclState.h"
#include "zn/crypto/znc_bucket.h"
#include "zn/store/ConfigStore.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {
namespace {

// The signatures of dataprotect/zndataprotect.h (a component the library
// loads, never links).
using ProtectFn = int (*)(const char*, const unsigned char*, size_t, unsigned char*, size_t*);
using ErrorFn = const char* (*)();

struct Helper {
  std::once_flag once;
  CYqLibrary library;
  ProtectFn protect = nullptr;
  ProtectFn unprotect = nullptr;
  ErrorFn lastError = nullptr;
  std::string loadError;
};

Helper& LoadedHelper() {
  static yq::NoDestructor<Helper> helper;
  Helper& h = helper.get();
  std::call_once(h.once, [&h] {
    const std::string path = LibraryDirectory() + "/" + CYqLibrary::GetLibraryNameForName("ZnDataProtect");
    const CYqError error = h.library.Load(path);
    if (error.IsError()) {
      h.loadError = "Failed to load " + path + ": " + error.AsString(eErrorOutputUser);
      return;
    }
    void* protect = nullptr;
    void* unprotect = nullptr;
    void* lastError = nullptr;
    if (h.library.GetAddress("znProtectData", protect).IsError() ||
        h.library.GetAddress("znUnprotectData", unprotect).IsError() ||
        h.library.GetAddress("znDataProtectError", lastError).IsError()) {
      h.loadError = "Failed to resolve the protection functions in " + path;
      return;
    }
    h.protect = reinterpret_cast<ProtectFn>(protect);
    h.unprotect = reinterpret_cast<ProtectFn>(unprotect);
    h.lastError = reinterpret_cast<ErrorFn>(lastError);
  });
  return h;
}

bool Run(bool protect, const ZncBucket& in, ZncBucket& out, std::string& error) {
  Helper& h = LoadedHelper();
  if (h.protect == nullptr) {
    error = h.loadError;
    return false;
  }
  const ProtectFn fn = protect ? h.protect : h.unprotect;
  const std::string keyFile = MachineKeyPath();
  const auto* data = in.getData();
  const auto length = static_cast<size_t>(in.getSize());
  size_t needed = 0;
  fn(keyFile.c_str(), data, length, nullptr, &needed);
  if (needed == 0 && protect) {
    error = h.lastError();
    return false;
  }
  ZncBucket result(static_cast<int>(needed));
  size_t size = needed;
  if (fn(keyFile.c_str(), data, length, result.getData(), &size) != 1) {
    error = h.lastError();
    return false;
  }
  result.resize(static_cast<int>(size));
  out = result;
  return true;
}

}  // namespace

std::string MachineKeyPath() {
  const char* path = std::getenv("ZN_MACHINE_KEY");
  if (path != nullptr && path[0] != '\0') return path;
  const std::string store = ConfigStore::DefaultPath();
  const auto slash = store.find_last_of('/');
  return (slash == std::string::npos ? std::string(".") : store.substr(0, slash)) + "/machine.key";
}

bool MachineProtect(const ZncBucket& plain, ZncBucket& blob, std::string& error) {
  return Run(true, plain, blob, error);
}

bool MachineUnprotect(const ZncBucket& blob, ZncBucket& plain, std::string& error) {
  return Run(false, blob, plain, error);
}

}  // namespace zn::detail
