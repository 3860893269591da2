// The periodic cleaning of the log folder's other files: a fixed table of
// policies says, per sub-folder, after how many days files go, which file
// endings stay, whether emptied folders are removed and whether the
// policy reaches into deeper folders.
#pragma once

#include <span>
#include <string>

#include "zn/base/ZnExport.h"
#include "zuzazer/CTimeStamp.h"
#include "zuzazer/CYqError.h"

struct ZN_EXPORT EvDebugLogFolderPolicy {
  const char* name;
  const char* subFolder;    // null for "Default" (any other) and "Root Folder"
  int expiryDays;           // -1: never cleaned
  const char* daysKey;      // section "EventManager"; a positive value replaces the days
  bool removeEmptiedFolders;  // sub-folders below the policy's folder
  bool descend;             // clean the folders below too
  std::span<const char* const> keptEndings;
};

class ZN_EXPORT EvDebugLogFolderCleaner {
 public:
  // The policy table: "Default", "Root Folder", then the known sub-folders.
  static std::span<const EvDebugLogFolderPolicy> Policies();
  static const EvDebugLogFolderPolicy& DefaultPolicy();
  static const EvDebugLogFolderPolicy& RootPolicy();

  // Cleans the configured log folder ("dEVLOGDIR"); 774 when there is none.
  CYqError Cleanup();
  // Cleans `logFolder` and its sub-folders, each under its policy.
  CYqError Cleanup(const std::string& logFolder);

  // Cleans one folder under `policy`; `depth` 0 is the policy's own folder.
  // False when the folder cannot be listed.
  bool CleanFolder(const std::string& folder, int depth, const EvDebugLogFolderPolicy& policy);
};
