// Which log each file of a log folder belongs to.
//
// A log's current file is "<base>.log"; its versions follow the version-name
// rule (LogVersionName.h). A file named like a version always counts as one:
// of the log whose current file is there, else of the log its name gives
// (the current file may be gone), so every version is judged by its own
// log's settings. Files that continue a current file's name after ".log."
// (rotations of other tools, "app.log.1") are only checked for compression.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "zuzazer/CTimeStamp.h"
#include "zuzazer/FXFile.h"

namespace zn::detail {

struct LogFileEntry {
  std::string name;
  CTimeStamp lastWriteTime;
  CTimeStamp lastChangeTime;
  std::size_t logPart = 0;  // where ".log" starts in the name
};

struct LogGroup {
  std::string baseName;
  std::optional<std::size_t> parent;  // the current file, when it exists
  std::vector<std::size_t> versions;  // indexes into the walked entries
  std::vector<std::size_t> queued;    // only to be checked for compression
};

// Keeps the files that carry a ".log" part followed by nothing, ".zip" or
// "." and more, logging each decision; folders are left out.
std::vector<LogFileEntry> SelectLogFiles(const std::vector<FXFileInfo>& listing);

// Sorts `entries` by their upper-cased names and walks them, assigning each
// to its log. `finished` is called for a group as soon as the walk has
// passed its last file; files that belong to no log form groups of their
// own (a parent and nothing else).
void WalkLogGroups(std::vector<LogFileEntry>& entries, const std::function<void(const LogGroup&)>& finished);

}  // namespace zn::detail
