// The work folder of a sort and the run files in it.
#pragma once

#include <string>

namespace zn::detail {

inline constexpr const char* kWorkFilePrefix = "_SORTWORK.";

// Removes every "_SORTWORK.<number>" file in `folder` (only those: the
// folder may hold other things); false when one could not be removed.
bool RemoveWorkFiles(const std::string& folder);

// Empty when `folder` is a real folder (not a symbolic link) owned by this
// process's user, else why not: run files written into a folder another
// user controls could be swapped under the sort.
std::string CheckWorkFolder(const std::string& folder);

}  // namespace zn::detail
