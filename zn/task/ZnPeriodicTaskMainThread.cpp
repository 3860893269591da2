// ZnPeriodicTaskMgr's main thread: once a second it queues what each task
// needs on the pool, with the task's number as the serial id.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>

#include "zn/livestatus/LiveStatus.h"
#include "zn/log/EvDebug.h"
#include "zn/task/internal/PeriodicTaskLog.h"
#include "zn/task/internal/PeriodicTaskRun.h"
#include "zn/task/PeriodicTaskSettings.h"
#include "zn/task/ZnPeriodicTask.h"

using zn::detail::kPeriodicTaskJobId;
using zn::detail::PeriodicTaskRun;

namespace {

constexpr const char* kFunction = "ZnPeriodicTaskMgr::RunPeriodicTasks";
constexpr unsigned long kTurnMs = 1000;

// Queues one call; a call that cannot be queued does not leave the task
// marked running.
void Queue(PeriodicTaskRun& run, long long serialId, unsigned int (*work)(void*),
           const boost::shared_ptr<ZnPeriodicTaskStatus>& task) {
  if (!run.queue(serialId, work, task)) task->setRunning(false);
}

// The manager's tasks as the live status shows them, as of `now` (the
// main thread's clock: wall time at the start plus monotonic time since).
void PublishStatus(zn::detail::LiveStatusPart& status, const PeriodicTaskRun& run, unsigned int refreshSeconds,
                   long long now) {
  zn::LiveStatusTaskManager manager;
  manager.name = run.name;
  manager.refreshSeconds = refreshSeconds;
  int position = 0;
  for (const auto& task : run.tasks) {
    zn::LiveStatusTask item;
    item.name = task->getTaskName();
    item.position = ++position;
    item.enabled = task->isEnabled();
    item.frequency = task->getFrequency();
    item.persistent = task->hasPersistentSchedule();
    item.started = task->getStatus() == TASK_STARTED;
    item.running = task->isRunning();
    item.lastRun = task->getLastRunTime();
    if (item.enabled) {
      // Due at the first turn at or after last run plus frequency; a
      // frequency of 0 or below makes every turn due.
      item.nextRun = item.started ? std::max(item.lastRun + std::max<long long>(item.frequency, 1), now) : now;
    }
    manager.tasks.push_back(std::move(item));
  }
  status.publish(manager);
}

}  // namespace

unsigned int ZnPeriodicTaskMgr::RunPeriodicTasks(void* argument) {
  const std::shared_ptr<PeriodicTaskRun> shared = [argument] {
    const std::unique_ptr<std::shared_ptr<PeriodicTaskRun>> holder(
        static_cast<std::shared_ptr<PeriodicTaskRun>*>(argument));
    return *holder;
  }();
  PeriodicTaskRun& run = *shared;
  const char* name = run.name.c_str();
  EvDebug log;

  const unsigned int refreshSeconds = zn::PeriodicTaskRefreshSeconds();
  long long nextRefresh = static_cast<long long>(::time(nullptr)) + refreshSeconds;
  // Leaves the live status when the thread ends.
  zn::detail::LiveStatusPart status("Tasks", run.name);

  long long serialId = 0;
  for (const auto& task : run.tasks) {
    ++serialId;
    task->UpdateStatusFromReg(true);
    if (!task->isEnabled()) continue;
    log.DebugLvl(kFunction, 2, kPeriodicTaskJobId, "[%s][%s] queuing OnStart ", name, task->getTaskName());
    task->setRunning(true);
    Queue(run, serialId, &ZnPeriodicTaskStatus::RunOnStartStatic, task);
  }

  // The schedule follows the monotonic clock: a change of the wall clock
  // later on does not shift it.
  const long long wallStart = static_cast<long long>(::time(nullptr));
  const auto steadyStart = std::chrono::steady_clock::now();
  PublishStatus(status, run, refreshSeconds, wallStart);
  while (!run.quit.load()) {
    const long long now =
        wallStart +
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - steadyStart).count();
    const bool refresh = now >= nextRefresh;
    if (refresh) nextRefresh = now + refreshSeconds;
    serialId = 0;
    for (const auto& task : run.tasks) {
      ++serialId;
      if (refresh) task->UpdateStatusFromReg(false);
      switch (task->takeDueCall(now)) {
        case ZnPeriodicTaskStatus::Due::kStart:
          Queue(run, serialId, &ZnPeriodicTaskStatus::RunOnStartStatic, task);
          break;
        case ZnPeriodicTaskStatus::Due::kTimer:
          log.DebugLvl(kFunction, 20, kPeriodicTaskJobId, "[%s][%s] calling OnTimer", name, task->getTaskName());
          Queue(run, serialId, &ZnPeriodicTaskStatus::RunOnTimerStatic, task);
          break;
        case ZnPeriodicTaskStatus::Due::kStop:
          Queue(run, serialId, &ZnPeriodicTaskStatus::RunOnStopStatic, task);
          break;
        case ZnPeriodicTaskStatus::Due::kStillRunning:
          log.DebugLvl(kFunction, 20, kPeriodicTaskJobId, "[%s][%s] still running. Skipping this turn.", name,
                       task->getTaskName());
          break;
        case ZnPeriodicTaskStatus::Due::kNothing:
          break;
      }
      if (run.quit.load()) break;
    }
    if (refresh && !run.quit.load()) PublishStatus(status, run, refreshSeconds, now);
    run.wake.wait(kTurnMs);  // set only when the manager stops
  }

  log.Debug(kFunction, "[%s] Calling OnStops and stopping main thread", name);
  // Each under its task's serial id: the stops of different tasks run in
  // parallel, and one waits for a call of its own task still running.
  serialId = 0;
  for (const auto& task : run.tasks) {
    ++serialId;
    if (task->takeFinalStop()) Queue(run, serialId, &ZnPeriodicTaskStatus::RunOnStopStatic, task);
  }
  log.Debug(kFunction, "[%s] Main Thread Exiting", name);
  return 0;
}
