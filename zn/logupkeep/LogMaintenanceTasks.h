// Periodic maintenance of the log folders, run by the periodic task manager
// by name (C names, the manager's OnTimer form). Each returns 0.
//   LogFilesCleanup_OnTimer         prunes and compresses the versions of
//                                   every log folder, then the database
//                                   agent's media-offset files
//   CleanDebugLogSubFolder_OnTimer  cleans the log folder and its
//                                   sub-folders by their policies
#pragma once

#include "zn/base/ZnExport.h"

class ZnPeriodicTaskStatus;

extern "C" {
ZN_EXPORT int LogFilesCleanup_OnTimer(ZnPeriodicTaskStatus* status);
ZN_EXPORT int CleanDebugLogSubFolder_OnTimer(ZnPeriodicTaskStatus* status);
}
