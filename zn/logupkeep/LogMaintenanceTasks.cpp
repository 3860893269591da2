#include "zn/logupkeep/LogMaintenanceTasks.h"

#include <exception>

#include "zn/logupkeep/Db2AuditErrorPath.h"
#include "zn/log/EvDebug.h"
#include "zn/logupkeep/EvDebugLogFolderCleaner.h"
#include "zn/logupkeep/EvDebugLogFolderPruner.h"

namespace {

// A task must never let an exception reach the task manager's C call.
template <typename Work>
void RunTask(const char* function, Work work) {
  try {
    work();
  } catch (const std::exception& e) {
    EvDebug().Error(function, "Unexpected failure: %s", e.what());
  } catch (...) {
    EvDebug().Error(function, "Unexpected failure");
  }
}

}  // namespace

extern "C" int LogFilesCleanup_OnTimer(ZnPeriodicTaskStatus* /*status*/) {
  RunTask("LogFilesCleanup_OnTimer", [] {
    EvDebugLogFolderPruner().Run();
    CheckAndPruneDb2AuditErrorPath();
  });
  return 0;
}

extern "C" int CleanDebugLogSubFolder_OnTimer(ZnPeriodicTaskStatus* /*status*/) {
  RunTask("CleanDebugLogSubFolder_OnTimer", [] { EvDebugLogFolderCleaner().Cleanup(); });
  return 0;
}
