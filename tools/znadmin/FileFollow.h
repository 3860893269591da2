// Following a growing file as `tail -F` does, for the log commands: woken
// by inotify on the file's folder, never by polling.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "zuzazer/FXUniqueFd.h"

namespace zn::admin {

// Hands every complete line appended to `path` to `line` (without its line
// end), reading `file` (open on `path`, or not open when there is no file
// yet) from its current offset on. When the name comes to mean another
// file (a rollover renamed it away and a new one started), what is left of
// the old file is read first; a file cut short is read again from its
// start. Returns kExitOk when `line` returns false or standard output is
// closed, a failure code (after its message) when the folder goes.
int FollowFile(const std::string& path, yq::UniqueFd file, const std::function<bool(std::string_view)>& line);

}  // namespace zn::admin
