#include "DemoTasks.h"

#include "zn/log/EvDebug.h"
#include "zn/pool/ZnThreadPool.h"

namespace zn::demo {
namespace {

int ProgressOnTimer(ZnPeriodicTaskStatus* status) {
  ProgressSource& progress = *static_cast<ProgressSource*>(*status->refUserData());
  progress.runs.fetch_add(1);
  ZnThreadPool& pool = *progress.pool;
  EvDebug().Debug("zndemo::Progress", "Progress: [%d] items done; pool threads [%u] busy [%u] max [%u] queued [%u]",
                  progress.done->load(), pool.getCurrentThreadCount(), pool.getCurrentBusyThreadCount(),
                  pool.getMaxCount(), pool.getTotalWorkerListCount());
  return 0;
}

constexpr const char* kLibrary = "libZaRorozIvi.so";

ZnPeriodicTaskItem g_table[] = {
    // name, enabled, on scale compute, persistent, frequency s, reserved, library, OnStart, OnTimer, OnStop
    // names, then OnStart, OnTimer, OnStop pointers and user data.
    {"Progress", true, true, false, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ProgressOnTimer, nullptr,
     nullptr},
    {"ReviseDebugLogSetting", true, true, false, 60, nullptr, kLibrary, nullptr, "ReviseDebugLogSetting_OnTimer",
     nullptr, nullptr, nullptr, nullptr, nullptr},
    {"CheckGlobalFlags", true, true, false, 3600, nullptr, kLibrary, nullptr, "CheckGlobalFlags_OnTimer", nullptr,
     nullptr, nullptr, nullptr, nullptr},
    {"LogFilesCleanup", true, true, true, 3600, nullptr, kLibrary, nullptr, "LogFilesCleanup_OnTimer", nullptr,
     nullptr, nullptr, nullptr, nullptr},
    {"CleanDebugLogSubFolder", true, true, true, 86400, nullptr, kLibrary, nullptr, "CleanDebugLogSubFolder_OnTimer",
     nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, false, false, false, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

const ZnPeriodicTaskItem* DemoTaskTable(ProgressSource* progress) {
  g_table[0].userData = progress;
  return g_table;
}

}  // namespace zn::demo
