// A shared object loaded at run time.
#pragma once

#include <string>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

class YQ_EXPORT CYqLibrary {
 public:
  CYqLibrary() = default;
  ~CYqLibrary();
  CYqLibrary(const CYqLibrary&) = delete;
  CYqLibrary& operator=(const CYqLibrary&) = delete;

  // Loads `name` (a file name or a path). `flag` is passed to dlopen(3);
  // 0 means RTLD_NOW. A library already loaded by this object is freed first.
  CYqError Load(const std::string& name, int flag = 0);
  // The address of an exported symbol; fails with 127 when it is absent.
  CYqError GetAddress(const std::string& name, void*& result) const;
  void Free();
  bool IsLoaded() const { return m_handle != nullptr; }

  // The platform's file name for a library: "zncl" gives "libzncl.so".
  static std::string GetLibraryNameForName(const std::string& name);

 private:
  void* m_handle = nullptr;
  std::string m_name;
};
