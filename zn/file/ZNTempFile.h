// A ZNFile created under a name of its own in the product's temporary
// folder: "<folder>/<prefix>_<process id>_<n>", the process id being
// ZNProcessId's text with '/' made '_', and n the first number from 0 up
// whose name does not exist yet. The file is created exclusively (never
// through an existing name or link) with mode 0600, open for reading and
// writing.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"
#include "zn/file/ZNFile.h"

class ZN_EXPORT ZNTempFile : public ZNFile {
 public:
  // Longest name a temporary file may have.
  static constexpr std::size_t kMaxNameLength = 1026;
  // Numbers tried before giving up.
  static constexpr int kMaxTries = 1000000;
  // Last error when the process identifier has no text.
  static constexpr int kErrorNoProcessId = -2000;

  ZNTempFile() = default;

  // 0, or -1 with the cause in getLastError(). Without a folder (null or
  // empty) the product's temporary folder is used, or the system's
  // ($TMPDIR, else /tmp) when the product names none. A prefix holding '/'
  // is refused (123): a temporary file stays in its folder.
  int create(const char* directory, const char* prefix);
  int create(const char* prefix) { return create(nullptr, prefix); }

  // The created file's name; "Error" until a file was created.
  const char* getName() const { return m_name.c_str(); }

 private:
  std::string m_name = "Error";
};
