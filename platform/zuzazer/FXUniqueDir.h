// Owner of an open directory stream: closes it when it goes out of scope.
#pragma once

#include <dirent.h>

#include <memory>

namespace yq {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Empty when the folder cannot be opened (errno says why).
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

inline UniqueDir OpenDir(const char* path) { return UniqueDir(::opendir(path)); }

}  // namespace yq
