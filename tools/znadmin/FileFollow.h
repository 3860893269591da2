// Following a growing file, as tail -F does, for the log commands.
#pragma once

#include <sys/types.h>

#include <string>

namespace zn::admin {

// Prints what is appended to `path` from `offset` on, until the process is
// stopped; starts again at the beginning when the file was replaced (a
// rollover renamed it away) or cut.
[[noreturn]] void FollowFile(const std::string& path, off_t offset, ino_t inode);

}  // namespace zn::admin
