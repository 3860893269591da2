// The periodic pruning of every log folder of the machine: the default log
// folder, the all-users log folders that exist, and the streamed-logs tree
// below the default folder.
#pragma once

#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zuzazer/CYqError.h"

class ZN_EXPORT EvDebugLogFolderPruner {
 public:
  // Prunes every folder; each failure is logged and the next folder goes
  // on. Returns the first failure.
  CYqError Run();

  // The folders that Run prunes one by one, the default log folder first
  // (`defaultFolder` also gets it). Fails with 774 when the default folder
  // is not configured; the other folders are still given.
  CYqError GetRootFolders(std::vector<std::string>& folders, std::string& defaultFolder);

  // Prunes `folder` and each folder below it (symbolic links are not
  // followed).
  CYqError PruneLogFilesRecursively(const std::string& folder, bool root = true);

 private:
  CYqError PruneBelow(const std::string& folder, int depth);
};
