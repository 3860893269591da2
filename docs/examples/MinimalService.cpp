// A complete, minimal service of the suite: log, pool, tasks, settings.
// Built with the project (target zn_example_service) so that it stays true.

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "zn/config/ZNPI_Session.h"
#include "zn/log/EvDebug.h"
#include "zn/task/ZnPeriodicTask.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }

// A work item: whatever the service does, on a pool thread.
unsigned int Handle(void* request) {
  EvDebug().DebugLvl("MySvc::Handle", 2, "Handling request [%p]", request);
  return 0;
}

// A periodic task: 0 keeps it on, anything else switches it off.
int Beat_OnTimer(ZnPeriodicTaskStatus* status) {
  EvDebug().Debug("MySvc::Beat", "Task [%s] of [%s] still alive", status->getTaskName(), status->getMgrName());
  return 0;
}

// Name, enabled, runs on scale-compute nodes, persistent schedule, seconds,
// reserved, library, OnStart/OnTimer/OnStop names, then pointers and user
// data. A row without a name ends the table.
const ZnPeriodicTaskItem kTasks[] = {
    {"Beat", true, true, false, 60, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &Beat_OnTimer, nullptr,
     nullptr},
    {"LogFilesCleanup", true, true, true, 86400, nullptr, "libZaRorozIvi.so", nullptr, "LogFilesCleanup_OnTimer",
     nullptr, nullptr, nullptr, nullptr, nullptr},
    {},
};

}  // namespace

int main() {
  signal(SIGTERM, &OnSignal);

  // The log: its folder, size, versions and level come from the store.
  EvDebug log;
  if (!log.initialize(EvDebug::getLogId("zndemo"), 0, false)) return 1;

  // A setting through its component class: never fails, gives its default.
  ZNPI_Session session;
  log.Debug("MySvc::main", "Messages are retried [%lu] times", session.getRetryCount());

  // The pool: 2 to 8 threads; "Znd"/"MySvc_MaxThreads" and friends override.
  ZnThreadPool pool;
  if (!pool.initThreadPool("MySvc", 60, 2, 8, 2)) return 1;

  // The tasks run on the pool, one serial id per task.
  ZnPeriodicTaskMgr tasks("MySvc", &pool, kTasks);
  tasks.StartPeriodicTasks();

  for (long request = 1; !g_stop; ++request) {
    pool.doWork(request % 4, &Handle, reinterpret_cast<void*>(request), nullptr);  // 4 ordered streams
    ::usleep(100000);
  }

  tasks.StopPeriodicTasks();                     // queues the OnStop calls
  pool.waitForAllThreads(true, true, true, 300);  // lets them and the work finish
  log.Debug("MySvc::main", "Stopped");
  return 0;
}
