// ZnPeriodicTaskMgr: the task list, and starting and stopping the main
// thread.

#include <cerrno>

#include <boost/make_shared.hpp>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"
#include "zn/task/internal/PeriodicTaskLog.h"
#include "zn/task/internal/PeriodicTaskRun.h"
#include "zn/task/ZnPeriodicTask.h"

using zn::detail::kPeriodicTaskJobId;

namespace {

// How long StopPeriodicTasks waits for the main thread.
constexpr int kStopWaitSeconds = 5;

}  // namespace

ZnPeriodicTaskMgr::ZnPeriodicTaskMgr(const char* name, ZnThreadPool* pool, const ZnPeriodicTaskItem* table)
    : m_name(name != nullptr ? name : ""), m_taskList(table), m_pool(pool) {
  static constexpr const char* kFunction = "ZnPeriodicTaskMgr::ZnPeriodicTaskMgr";
  EvDebug log;
  if (table == nullptr) {
    log.Debug(kFunction, "Task list is NULL for manager [%s].  Cannot continue", m_name.c_str());
    return;
  }
  const bool scaleCompute = isScaleCompute();
  for (const ZnPeriodicTaskItem* row = table; row->taskName != nullptr; ++row) {
    if (scaleCompute && !row->runsOnScaleCompute) {
      log.Debug(kFunction, "Not adding ZnScale-incompatible task [%s][%s]", m_name.c_str(), row->taskName);
      continue;
    }
    auto task = boost::make_shared<ZnPeriodicTaskStatus>(m_name, this, row);
    if (task->loadCbFuncs()) {
      m_tasks.push_back(std::move(task));
      log.Debug(kFunction, "Adding task [%s][%s]", m_name.c_str(), row->taskName);
    } else {
      log.Debug(kFunction, "Not adding task [%s][%s]", m_name.c_str(), row->taskName);
    }
  }
}

ZnPeriodicTaskMgr::~ZnPeriodicTaskMgr() {
  StopPeriodicTasks();
  // Calls still queued keep their tasks alive; they must not reach us.
  for (const auto& task : m_tasks) task->detachManager();
}

bool ZnPeriodicTaskMgr::StartPeriodicTasks() {
  static constexpr const char* kFunction = "ZnPeriodicTaskMgr::StartPeriodicTasks";
  EvDebug log;
  if (m_pool == nullptr) {
    log.Debug(kFunction, "No thread pool for periodic task mgr [%s]. Not starting", m_name.c_str());
    return false;
  }
  if (m_mainThread.threadInProgress()) {
    log.Debug(kFunction, "Periodic task mgr [%s] is running already", m_name.c_str());
    return false;
  }
  m_quit.store(false);
  m_run = std::make_shared<zn::detail::PeriodicTaskRun>(m_name, m_tasks, m_pool);
  auto argument = std::make_unique<std::shared_ptr<zn::detail::PeriodicTaskRun>>(m_run);
  if (m_mainThread.createThread(&ZnPeriodicTaskMgr::RunPeriodicTasks, argument.get()) == nullptr) {
    log.Debug(kFunction, "Failed to start the main thread of periodic task mgr [%s]. Error: %d", m_name.c_str(), errno);
    m_run.reset();
    return false;
  }
  argument.release();  // the thread owns it now
  log.DebugLvl(kFunction, 2, kPeriodicTaskJobId, "Starting periodic task mgr [%s] with %d tasks", m_name.c_str(),
               static_cast<int>(m_tasks.size()));
  return true;
}

void ZnPeriodicTaskMgr::StopPeriodicTasks() {
  static constexpr const char* kFunction = "ZnPeriodicTaskMgr::StopPeriodicTasks";
  EvDebug log;
  log.DebugLvl(kFunction, 2, kPeriodicTaskJobId, "Stopping periodic tasks [%s]", m_name.c_str());
  m_quit.store(true);
  if (m_run != nullptr) m_run->requestQuit();
  if (!m_mainThread.threadInProgress()) return;
  if (m_mainThread.joinThread(kStopWaitSeconds * 1000)) {
    m_mainThread.endThread();
    return;
  }
  // Cancelling a thread that may hold a lock could take the process down:
  // it is left to end by itself, and queues nothing more.
  log.Debug(kFunction, "Period task manager [%s] mainthread did not stop in %d seconds. Terminating it",
            m_name.c_str(), kStopWaitSeconds);
  m_run->releasePool();
  m_mainThread.endThread();
}
