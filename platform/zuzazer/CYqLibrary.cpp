#include "zuzazer/CYqLibrary.h"

#include <dlfcn.h>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/YqWin32Errors.h"

CYqLibrary::~CYqLibrary() { Free(); }

CYqError CYqLibrary::Load(const std::string& name, int flag) {
  Free();
  if (name.empty()) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter, "Empty library name");
  dlerror();
  m_handle = ::dlopen(name.c_str(), flag != 0 ? flag : RTLD_NOW);
  if (m_handle == nullptr) {
    const char* reason = dlerror();
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorModNotFound, "Cannot load library [%s]: %s",
                                   name.c_str(), reason != nullptr ? reason : "unknown reason");
  }
  m_name = name;
  return CYqError::Success();
}

CYqError CYqLibrary::GetAddress(const std::string& name, void*& result) const {
  result = nullptr;
  if (m_handle == nullptr) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidHandle, "No library is loaded");
  }
  dlerror();
  result = ::dlsym(m_handle, name.c_str());
  if (result == nullptr) {
    const char* reason = dlerror();
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorProcNotFound, "Symbol [%s] not found in [%s]: %s",
                                   name.c_str(), m_name.c_str(), reason != nullptr ? reason : "null symbol");
  }
  return CYqError::Success();
}

void CYqLibrary::Free() {
  if (m_handle != nullptr) ::dlclose(m_handle);
  m_handle = nullptr;
  m_name.clear();
}

std::string CYqLibrary::GetLibraryNameForName(const std::string& name) { return "lib" + name + ".so"; }
