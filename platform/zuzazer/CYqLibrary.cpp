#include "zuzazer/CYqLibrary.h"

#include <dlfcn.h>

#include <string>

#include "zuzazer/CLogWriterInterface.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace {

// The folder of the suite's own shared objects: the one this library was
// loaded from.
std::string OwnFolder() {
  Dl_info info {};
  if (::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return std::string();
  return FXPath::GetDirectory(info.dli_fname);
}

}  // namespace

CYqLibrary::~CYqLibrary() { Free(); }

CYqError CYqLibrary::Load(const std::string& name, int flag) {
  Free();
  if (name.empty()) return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter, "Empty library name");
  dlerror();
  const int mode = flag != 0 ? flag : RTLD_NOW;
  m_handle = ::dlopen(name.c_str(), mode);
  if (m_handle == nullptr) {
    const char* failure = dlerror();
    const std::string reason = failure != nullptr ? failure : "unknown reason";
    // A bare name is looked for beside the suite's libraries too: the system
    // search does not follow our run path when dlopen is reached through an
    // interposer such as a sanitizer's.
    const std::string folder = name.find('/') == std::string::npos ? OwnFolder() : std::string();
    if (!folder.empty()) m_handle = ::dlopen(FXPath::Append(folder, name).c_str(), mode);
    if (m_handle == nullptr) {
      yq::LogLine(2, "CYqLibrary::Load", "Cannot load library [%s]: %s", name.c_str(), reason.c_str());
      return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorModNotFound, "Cannot load library [%s]: %s",
                                     name.c_str(), reason.c_str());
    }
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
    yq::LogLine(2, "CYqLibrary::GetAddress", "Symbol [%s] not found in [%s]", name.c_str(), m_name.c_str());
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
