// File and folder calls of the utility library. Each returns a CYqError
// whose code is the Win32 number for what failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include "zuzazer/CTimeStamp.h"
#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

struct YQ_EXPORT FXFileInfo {
  std::string name;  // the entry's name, without its folder
  bool isDirectory = false;
  unsigned long long size = 0;
  CTimeStamp lastWriteTime;
  CTimeStamp lastChangeTime;
  CTimeStamp lastAccessTime;
};

namespace FXFile {

YQ_EXPORT bool Exists(const std::string& path);
YQ_EXPORT bool IsDirectory(const std::string& path);

// Creates the folder and any missing parents; an existing folder is success.
YQ_EXPORT CYqError CreateDirectories(const std::string& path, mode_t mode = 0777);

YQ_EXPORT CYqError GetInfo(const std::string& path, FXFileInfo& info);

// Removes a file (not a folder).
YQ_EXPORT CYqError Remove(const std::string& path);

// Renames `from` to `to`. Without `replace`, an existing `to` fails with 80.
YQ_EXPORT CYqError Move(const std::string& from, const std::string& to, bool replace = true);

// The entries of `folder` whose names match the shell pattern (fnmatch(3);
// "*" and "*.*" match everything), "." and ".." left out, in no set order.
YQ_EXPORT CYqError FindFiles(const std::string& folder, const std::string& pattern, std::vector<FXFileInfo>& entries);

// Writes `data` to `path` through a temporary beside it and a rename, so a
// reader sees the old or the new content, never a part.
YQ_EXPORT CYqError WriteAtomically(const std::string& path, const std::string& data, mode_t mode = 0644);

YQ_EXPORT CYqError ReadAll(const std::string& path, std::string& data);

}  // namespace FXFile
