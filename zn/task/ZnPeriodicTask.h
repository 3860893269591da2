// Periodic tasks of a process. A ZnPeriodicTaskMgr runs a fixed table of
// named tasks: its main thread wakes every second and hands each task's
// OnStart, OnTimer and OnStop calls to a thread pool of the caller, with the
// task's position as the serial id, so the calls of one task never overlap.
// Frequencies and on/off switches come from the store
// ("PeriodicTasks\<manager>", "<task>_frequency", "<task>_enable") and are
// re-read every refresh; a task with a persistent schedule keeps its last
// run time there ("<task>_lastRunTime") across restarts. Entry points are
// given as function pointers or loaded by name from a library in the
// installation's home folder.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "zn/base/ZnCriticalSection.h"
#include "zn/thread/ZnThread.h"
#include "zuzazer/CYqLibrary.h"
#include "zn/base/ZnExport.h"

class ZnPeriodicTaskStatus;
class ZnPeriodicTaskMgr;
class ZnThreadPool;

namespace zn::detail {
struct PeriodicTaskRun;
}

// A task entry point. 0 is success; anything else disables the task.
using ZnPeriodicTaskEntry = int (*)(ZnPeriodicTaskStatus*);

// One row of a process's static task table; the table ends with a row whose
// name is null.
struct ZN_EXPORT ZnPeriodicTaskItem {
  const char* taskName;
  bool enabledByDefault;
  bool runsOnScaleCompute;  // false: skipped on a scale-compute installation
  bool persistentSchedule;  // the last run time is kept in the store
  int defaultFrequency;     // seconds between OnTimer calls
  void* reserved;           // not used by the manager
  const char* libraryName;  // null: the entry points below are given as pointers
  const char* onStartName;
  const char* onTimerName;
  const char* onStopName;
  ZnPeriodicTaskEntry onStart;
  ZnPeriodicTaskEntry onTimer;
  ZnPeriodicTaskEntry onStop;
  void* userData;  // copied into the task's status
};

enum eTaskStatus {
  TASK_NOT_STARTED = 100,  // OnStart must run
  TASK_STARTED = 101,
};

// The state of one accepted task, shared by the manager and the calls queued
// for it; what the task's entry points receive.
class ZN_EXPORT ZnPeriodicTaskStatus {
 public:
  ZnPeriodicTaskStatus(const std::string& mgrName, ZnPeriodicTaskMgr* mgr, const ZnPeriodicTaskItem* item);
  // Unloads the task's library.
  ~ZnPeriodicTaskStatus();
  ZnPeriodicTaskStatus(const ZnPeriodicTaskStatus&) = delete;
  ZnPeriodicTaskStatus& operator=(const ZnPeriodicTaskStatus&) = delete;

  const char* getTaskName() const { return m_taskName.c_str(); }
  const char* getMgrName() const { return m_mgrName.c_str(); }
  bool hasPersistentSchedule() const { return m_persistent; }
  // True once the manager is gone or stopping: long OnTimer work polls it.
  bool isTaskMgrQuit() const;
  void** refUserData() { return &m_userData; }

  int getFrequency() const;
  void setFrequency(int seconds);
  long long getLastRunTime() const;
  void setLastRunTime(long long seconds);
  bool isEnabled() const;
  void setEnabled(bool enabled);
  bool isRunning() const;
  void setRunning(bool running);
  eTaskStatus getStatus() const;
  void setStatus(eTaskStatus status);

  // The calls the pool runs; each returns 0.
  unsigned int RunOnStart();
  unsigned int RunOnTimer();
  unsigned int RunOnStop();
  // Pool work functions: `argument` is a heap-allocated
  // boost::shared_ptr<ZnPeriodicTaskStatus>, freed here.
  static unsigned int RunOnStartStatic(void* argument);
  static unsigned int RunOnTimerStatic(void* argument);
  static unsigned int RunOnStopStatic(void* argument);

  // Resolves the three entry points (from the row, or by name from its
  // library); false, logged, when the task cannot run.
  bool loadCbFuncs();
  bool freeCbFuncs();
  // Takes frequency and on/off switch from the store. `initial`: at the
  // start of the main thread, when a value already taken over applies too.
  void UpdateStatusFromReg(bool initial);
  // Reads a frequency or switch text of `section`: false when absent;
  // `fresh` when it is not yet marked as taken over ("*").
  bool getRegValue(std::string section, std::string name, bool& fresh, unsigned long* value);
  // Writes the value back marked as taken over: "*<value>".
  void setRegValue(std::string section, std::string name, unsigned long value);
  long long getLastRunTimeFromReg();
  // 1 when stored, 0 when not.
  int setLastRunTimeInReg(long long seconds);

 private:
  friend class ZnPeriodicTaskMgr;

  enum class Entry { kStart, kTimer, kStop };
  // Calls an entry point (absent: 0); an exception counts as a failure
  // (-1), logged under `function`.
  int callEntry(Entry entry, const char* function);

  // What the main thread queues for this task this turn. A call to queue
  // marks the task running (and, for OnTimer, sets its last run time to
  // `now`) in the same step.
  enum class Due { kNothing, kStart, kTimer, kStop, kStillRunning };
  Due takeDueCall(long long now);
  // At the end of the main thread: true (and running) when the task is
  // started and enabled, so its OnStop is due.
  bool takeFinalStop();
  bool loadFromLibrary();
  // The manager is going: isTaskMgrQuit() is true from now on.
  void detachManager();

  std::string m_mgrName;
  ZnPeriodicTaskMgr* m_mgr;  // guarded by m_lock; null once the manager is gone
  const ZnPeriodicTaskItem* m_item;
  std::string m_taskName;  // copied: queued calls may outlive the table's owner
  bool m_persistent;
  bool m_enabled;
  bool m_running = false;
  eTaskStatus m_status = TASK_NOT_STARTED;
  int m_frequency;
  long long m_lastRunTime = 0;
  void* m_userData;
  ZnPeriodicTaskEntry m_onStart = nullptr;
  ZnPeriodicTaskEntry m_onTimer = nullptr;
  ZnPeriodicTaskEntry m_onStop = nullptr;
  mutable ZnCriticalSection m_lock;
  CYqLibrary m_library;
  std::string m_libraryPath;  // what m_library holds, for the log
};

class ZN_EXPORT ZnPeriodicTaskMgr {
 public:
  // Manager name, the pool that runs the calls (not owned; it must outlive
  // the manager and the calls it queued) and the static task table. Tasks
  // whose entry points cannot be loaded are left out.
  ZnPeriodicTaskMgr(const char* name, ZnThreadPool* pool, const ZnPeriodicTaskItem* table);
  // Stops the main thread (see StopPeriodicTasks).
  ~ZnPeriodicTaskMgr();
  ZnPeriodicTaskMgr(const ZnPeriodicTaskMgr&) = delete;
  ZnPeriodicTaskMgr& operator=(const ZnPeriodicTaskMgr&) = delete;

  // Starts the main thread; false when it cannot be started (or runs already).
  bool StartPeriodicTasks();
  // Asks the main thread to queue every started task's OnStop and end, and
  // waits up to 5 seconds for it. The OnStop calls themselves run on the
  // pool afterwards: wait for the pool to see them done.
  void StopPeriodicTasks();

  std::string getMgrName() const { return m_name; }
  bool isQuitFlagOn() const { return m_quit.load(); }
  // The tasks accepted from the table.
  std::size_t getTaskCount() const { return m_tasks.size(); }

 private:
  ZnPeriodicTaskMgr() = default;
  static unsigned int RunPeriodicTasks(void* argument);

  std::string m_name;
  const ZnPeriodicTaskItem* m_taskList = nullptr;
  std::vector<boost::shared_ptr<ZnPeriodicTaskStatus>> m_tasks;
  ZnThreadPool* m_pool = nullptr;
  ZnThread m_mainThread;
  std::atomic<bool> m_quit{false};
  // What the running main thread works on; shared with it, so a thread that
  // outlives its stop time never touches a freed manager.
  std::shared_ptr<zn::detail::PeriodicTaskRun> m_run;
};
