#include "zn/crypto/CryptoTesting.h"

#include <dlfcn.h>

#include <optional>
#include <string>

#include "zn/crypto/internal/PasswordState.h"
#include "zn/crypto/internal/ZnclState.h"
#include "zn/crypto/znc_zncl.h"

void zn::testing::SetEngineDirectory(const char* folder) {
  zn::detail::SetEngineSearchOverride(folder != nullptr ? std::optional<std::string>(folder) : std::nullopt);
}

int zn::testing::EngineThreadStateCount() {
  const std::string path = Zncl::getLibraryPath();
  if (path.empty()) return -1;
  // The engine is loaded already: this only finds it.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return -1;
  auto count = reinterpret_cast<int (*)()>(::dlsym(handle, "zncl_thread_ctx_count"));
  const int result = count != nullptr ? count() : -1;
  ::dlclose(handle);
  return result;
}

void zn::testing::ResetPasswordCaches() { zn::detail::ResetPasswordCaches(); }
