// Periodic maintenance of the log folders, run by the periodic task manager
// by name (C names, the manager's OnTimer form). Each returns 0.
//   LogFilesCleanup_OnTimer         prunes and compresses the versions of
//                                   every log folder, then the database
//                                   agent's media-offset files
//   CleanDebugLogSubFolder_OnTimer  cleans the log folder and its
//                                   sub-folders by their policies
#pragma once

class ZnPeriodicTaskStatus;

extern "C" {
int LogFilesCleanup_OnTimer(ZnPeriodicTaskStatus* status);
int CleanDebugLogSubFolder_OnTimer(ZnPeriodicTaskStatus* status);
}
