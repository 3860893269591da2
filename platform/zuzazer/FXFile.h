// File and folder calls of the utility library. Each returns a CYqError
// whose code is the Win32 number for what failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include "zuzazer/CTimeStamp.h"
#include "zuzazer/CYqError.h"
#include "zuzazer/FXUniqueFd.h"
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

// --- Open files -------------------------------------------------------------
// The suite passes open files around as `void*` handles. A handle that wraps
// a descriptor is (void*)(fd + 1), so that null means "none".
YQ_EXPORT void* HandleFromDescriptor(int fd);
YQ_EXPORT int DescriptorFromHandle(const void* handle);

// What an opener asks for, as the suite's file calls name it.
inline constexpr unsigned kAccessRead = 1;
inline constexpr unsigned kAccessWrite = 2;
// Sharing is advisory on this platform: other openers are never refused, so
// these are accepted and recorded only.
inline constexpr unsigned kShareRead = 1;
inline constexpr unsigned kShareWrite = 2;
inline constexpr unsigned kShareDelete = 4;

enum EFXFileDisposition {
  eFXOpenExisting,  // fails with 2 when the file is absent
  eFXOpenAlways,    // opens, creating the file when absent
  eFXCreateAlways,  // creates the file, replacing any existing one
};

// Opens or creates a file (never a folder: that fails with 5). Without any
// access the file can only be created or emptied. New files get 0666 less
// the umask, as fopen(3) gives them. The descriptor is close-on-exec.
YQ_EXPORT CYqError Create(const std::string& path, unsigned access, unsigned share, EFXFileDisposition disposition,
                yq::UniqueFd& file);

// One read of at most `count` bytes; `done` is 0 at the end of the file.
YQ_EXPORT CYqError Read(int fd, void* buffer, std::size_t count, std::size_t& done);

// Writes all `count` bytes (a short write is retried). When the system stops
// taking bytes (a full disk, a file size limit) the error is returned and
// `done` says how many went in before it.
YQ_EXPORT CYqError Write(int fd, const void* data, std::size_t count, std::size_t& done);

// Moves the file pointer: method 0 from the start, 1 from the current
// position, 2 from the end; `position` is where it now stands.
YQ_EXPORT CYqError SetPointer(int fd, long long distance, int method, long long& position);

// Sets the file's length; the file pointer stays where it is.
YQ_EXPORT CYqError SetLength(int fd, long long length);

// A second descriptor for the same open file (same access, same pointer).
YQ_EXPORT CYqError Duplicate(int fd, yq::UniqueFd& copy);

}  // namespace FXFile
