#include "zn/logupkeep/EvDebugLogFolderPruner.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "zn/config/ZNPI_Base.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

constexpr const char* kStreamedLogs = "StreamedLogs";
// The all-users log folders, below the all-users profile folder.
constexpr const char* kAllUsersLogFolders[] = {"Tessaly Systems/Orvane/LogFiles",
                                               "Application Data/Tessaly Systems/Orvane/LogFiles"};
// Deeper trees are not walked: a loop through bind mounts must end.
constexpr int kMaxDepth = 32;

bool IsRealDirectory(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The configured log folder, read quietly: its absence is reported here.
std::string DefaultLogFolder() {
  ZNPI_EventManager eventManager(0, 0);
  const char* folder = eventManager.getLogFilesDirectory();
  return folder != nullptr ? folder : "";
}

}  // namespace
}  // namespace zn::detail

CYqError EvDebugLogFolderPruner::GetRootFolders(std::vector<std::string>& folders, std::string& defaultFolder) {
  constexpr const char* kFunction = "EvDebugLogFolderPruner::GetRootFolders";
  EvDebug log;
  folders.clear();
  defaultFolder = zn::detail::DefaultLogFolder();
  CYqError result;
  if (defaultFolder.empty()) {
    log.DebugLvl(kFunction, 1, "Failed to get default Log Files folder");
    result = FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "Unable to get default log file folder");
  } else {
    folders.push_back(defaultFolder);
  }
  // Linux has no all-users profile; a process that sets ALLUSERSPROFILE
  // writes its fallback logs there, so they are pruned there.
  const char* allUsers = std::getenv("ALLUSERSPROFILE");
  if (allUsers != nullptr && allUsers[0] != '\0') {
    log.DebugLvl(kFunction, 7, "AllUsersProfileDirectory - [%s]", allUsers);
    for (const char* below : zn::detail::kAllUsersLogFolders) {
      const std::string folder = FXPath::Append(allUsers, below);
      if (FXFile::IsDirectory(folder) && std::find(folders.begin(), folders.end(), folder) == folders.end()) {
        folders.push_back(folder);
      }
    }
  }
  return result;
}

CYqError EvDebugLogFolderPruner::Run() {
  constexpr const char* kFunction = "EvDebugLogFolderPruner::Run";
  EvDebug log;
  std::vector<std::string> folders;
  std::string defaultFolder;
  CYqError first = GetRootFolders(folders, defaultFolder);
  for (std::string folder : folders) {
    const CYqError error = EvDebug::PruneLogFiles(folder, true);
    if (error.IsError()) {
      log.DebugLvl(kFunction, 1, "Failed to prune the log folder [%s] ... Error:[%s].", folder.c_str(),
                   error.AsString().c_str());
      if (first.IsSuccess()) first = error;
    } else {
      log.DebugLvl(kFunction, 5, "Pruning log folder [%s] completed.", folder.c_str());
    }
  }
  if (defaultFolder.empty()) {
    const CYqError error = FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound,
                                                   "Failed to get default log file folder, will NOT prune StreamedLogs folder.");
    return first.IsError() ? first : error;
  }
  const std::string streamed = FXPath::Append(defaultFolder, zn::detail::kStreamedLogs);
  // Most machines stream nothing: no folder, nothing to report.
  if (FXFile::IsDirectory(streamed)) {
    const CYqError error = PruneLogFilesRecursively(streamed, true);
    if (first.IsSuccess()) first = error;
  }
  return first;
}

CYqError EvDebugLogFolderPruner::PruneLogFilesRecursively(const std::string& folder, bool root) {
  return PruneBelow(folder, root ? 0 : 1);
}

CYqError EvDebugLogFolderPruner::PruneBelow(const std::string& folder, int depth) {
  constexpr const char* kFunction = "EvDebugLogFolderPruner::PruneLogFilesRecursively";
  EvDebug log;
  log.DebugLvl(kFunction, 7, "Enter %s [%s]", depth == 0 ? "root folder ..." : "...", folder.c_str());
  std::string path = folder;
  EvDebug::PruneLogFiles(path, true);  // an empty folder between others is normal
  std::vector<FXFileInfo> entries;
  CYqError error = FXFile::FindFiles(folder, "*", entries);
  if (error.IsError()) return error.Push(FX_CODE_LOCATION);
  if (depth >= zn::detail::kMaxDepth) return CYqError::Success();
  CYqError first;
  for (const FXFileInfo& entry : entries) {
    const std::string child = FXPath::Append(folder, entry.name);
    if (!entry.isDirectory || !zn::detail::IsRealDirectory(child)) continue;
    error = PruneBelow(child, depth + 1);
    if (error.IsError() && first.IsSuccess()) first = error;
  }
  return first;
}
