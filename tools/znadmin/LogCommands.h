// The two halves of `znadmin log`: a log's settings in the store, and its
// files.
#pragma once

#include <string>
#include <vector>

#include "Admin.h"
#include "zn/log/EvDebug.h"

namespace zn::admin {

void AddLogLevelCommands(CLI::App* log, std::vector<Handler>& handlers);
void AddLogFileCommands(CLI::App* log, std::vector<Handler>& handlers);

// The catalogue's row of a log; throws CommandError (not found) for a
// name the catalogue does not hold.
const ZNLogFileInfo& KnownLog(const std::string& name);

}  // namespace zn::admin
