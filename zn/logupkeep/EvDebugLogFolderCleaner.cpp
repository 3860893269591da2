#include "zn/logupkeep/EvDebugLogFolderCleaner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "zn/config/ZNPI_Base.h"
#include "zn/log/EvDebug.h"
#include "zn/logupkeep/internal/LogPruneParameters.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFile.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/YqWin32Errors.h"

namespace zn::detail {
namespace {

constexpr const char* kFunction = "EvDebugLogFolderCleaner::CleanFolder";
constexpr const char* kNonLogFilesKey = "nDelete_NonLogFiles_OlderThan";
constexpr const char* kRootKeptEndings[] = {".log", ".log.zip", ".log.bz2", ".log.gz"};
constexpr const char* kAutomationKeptEndings[] = {".log"};
// Deeper trees are not walked: a loop through bind mounts must end.
constexpr int kMaxDepth = 32;

// name, sub-folder, days, key, remove emptied folders, descend, endings kept
constexpr EvDebugLogFolderPolicy kPolicies[] = {
    {"Default", nullptr, 90, kNonLogFilesKey, true, true, {}},
    {"Root Folder", nullptr, 7, kNonLogFilesKey, false, false, kRootKeptEndings},
    {"Automation", "Automation", 30, kNonLogFilesKey, false, true, kAutomationKeptEndings},
    {"WixLogs", "WixLogs", 180, kNonLogFilesKey, false, true, {}},
    {"RecoveryLogFiles", "RecoveryLogFiles", 30, "CLEAN_RECOVERYLOGS_OLDERTHAN", true, true, {}},
    {"Skip RoamOperationMonitor", "RoamOperationMonitor", -1, nullptr, false, false, {}},
    {"MessagesMonitor", "MessagesMonitor", 3, "CLEAN_MESSAGEMONITOR_OLDERTHAN", false, false, {}},
};

bool KeptByEnding(const std::string& name, const EvDebugLogFolderPolicy& policy) {
  return std::any_of(policy.keptEndings.begin(), policy.keptEndings.end(),
                     [&](const char* ending) { return name.ends_with(ending); });
}

// A folder, not a link to one: links are never followed nor removed.
bool IsRealDirectory(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace
}  // namespace zn::detail

std::span<const EvDebugLogFolderPolicy> EvDebugLogFolderCleaner::Policies() { return zn::detail::kPolicies; }

const EvDebugLogFolderPolicy& EvDebugLogFolderCleaner::DefaultPolicy() { return zn::detail::kPolicies[0]; }

const EvDebugLogFolderPolicy& EvDebugLogFolderCleaner::RootPolicy() { return zn::detail::kPolicies[1]; }

CYqError EvDebugLogFolderCleaner::Cleanup() {
  ZNPI_EventManager eventManager(0, 0);
  const char* folder = eventManager.getLogFilesDirectory();
  if (folder == nullptr || folder[0] == '\0') {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound, "Unable to get default log file folder");
  }
  return Cleanup(folder);
}

CYqError EvDebugLogFolderCleaner::Cleanup(const std::string& logFolder) {
  constexpr const char* kCleanup = "EvDebugLogFolderCleaner::Cleanup";
  EvDebug log;
  std::vector<FXFileInfo> entries;
  CYqError error = FXFile::FindFiles(logFolder, "*", entries);
  if (error.IsError()) return error.Push(FX_CODE_LOCATION);
  std::sort(entries.begin(), entries.end(),
            [](const FXFileInfo& a, const FXFileInfo& b) { return a.name < b.name; });

  std::vector<std::pair<std::string, const EvDebugLogFolderPolicy*>> folders{{logFolder, &RootPolicy()}};
  for (const EvDebugLogFolderPolicy& policy : Policies()) {
    if (policy.subFolder == nullptr) continue;
    const std::string folder = FXPath::Append(logFolder, policy.subFolder);
    if (!zn::detail::IsRealDirectory(folder)) continue;
    if (policy.expiryDays < 0) {
      log.DebugLvl(kCleanup, 7, "Skip  sub-folder [%s]", folder.c_str());
    } else {
      log.DebugLvl(kCleanup, 7, "Add known folder [%s] to the cleanup list.", folder.c_str());
      folders.emplace_back(folder, &policy);
    }
  }
  for (const FXFileInfo& entry : entries) {
    const bool known = std::any_of(Policies().begin(), Policies().end(), [&](const EvDebugLogFolderPolicy& policy) {
      return policy.subFolder != nullptr && entry.name == policy.subFolder;
    });
    const std::string folder = FXPath::Append(logFolder, entry.name);
    if (known || !entry.isDirectory || !zn::detail::IsRealDirectory(folder)) continue;
    log.DebugLvl(kCleanup, 7, "Add folder [%s] to the cleanup list.", folder.c_str());
    folders.emplace_back(folder, &DefaultPolicy());
  }
  for (const auto& [folder, policy] : folders) CleanFolder(folder, 0, *policy);
  return CYqError::Success();
}

bool EvDebugLogFolderCleaner::CleanFolder(const std::string& folder, int depth, const EvDebugLogFolderPolicy& policy) {
  using namespace zn::detail;
  using zn::LogSettings;
  EvDebug log;
  log.DebugLvl(kFunction, 7, "Enter ... fldPath [%s] fldDepth [%d] policy [%s]", folder.c_str(), depth, policy.name);
  long long days = policy.expiryDays;
  if (policy.daysKey != nullptr) {
    if (const auto configured = PositiveSetting(policy.daysKey)) {
      days = *configured;
      log.DebugLvl(kFunction, 7, "Expiration days in registry [%s] => [%u] ", policy.daysKey,
                   static_cast<unsigned>(days));
    }
  }
  const CTimeStamp pruneTime = DaysBefore(CTimeStamp::Now(), days);
  log.DebugLvl(kFunction, 7, "Expiration days [%u]  pruneTime [%s]", static_cast<unsigned>(days),
               TimeText(pruneTime).c_str());

  std::vector<FXFileInfo> entries;
  const std::string pattern = FXPath::Append(folder, "*");
  const CYqError error = FXFile::FindFiles(folder, "*", entries);
  if (error.IsError()) {
    log.DebugLvl(kFunction, 1, "Exit  ... Could not find file with pattern: [%s] ... Error:[%s]", pattern.c_str(),
                 error.AsString().c_str());
    return false;
  }
  const bool traced = LogWants(10);
  for (const FXFileInfo& entry : entries) {
    const std::string path = FXPath::Append(folder, entry.name);
    const bool isFolder = entry.isDirectory && IsRealDirectory(path);
    if (traced) {
      log.DebugLvl(kFunction, 10, "Process [%s] ... %s ... LastWriteTime [%s]", path.c_str(), isFolder ? "Dir" : "File",
                   TimeText(entry.lastWriteTime).c_str());
    }
    if (entry.isDirectory) {
      if (isFolder && policy.descend && depth < kMaxDepth) CleanFolder(path, depth + 1, policy);
      continue;
    }
    if (KeptByEnding(entry.name, policy)) {
      log.DebugLvl(kFunction, 10, "Skip    [%s]", path.c_str());
    } else if (entry.lastWriteTime > pruneTime) {
      log.DebugLvl(kFunction, 10, "Keep [%s]", path.c_str());
    } else if (const CYqError removed = FXFile::Remove(path); removed.IsSuccess()) {
      log.DebugLvl(kFunction, 7, "Deleted [%s]", path.c_str());
    } else {
      log.DebugLvl(kFunction, 1, "Failed to delete [%s]. Error Message:[%s]", path.c_str(),
                   removed.AsString().c_str());
    }
  }
  if (depth > 0 && policy.removeEmptiedFolders) {
    if (::rmdir(folder.c_str()) == 0) {
      log.DebugLvl(kFunction, 5, "Deleted folder [%s]", folder.c_str());
    } else {
      const CYqError failed = FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot remove [%s]", folder.c_str());
      log.DebugLvl(kFunction, 7, "Failed to delete folder [%s] ... Error [%s]", folder.c_str(),
                   failed.AsString().c_str());
    }
  }
  log.DebugLvl(kFunction, 7, "Exit  ... fldPath [%s] fldDepth [%d]", folder.c_str(), depth);
  return true;
}
