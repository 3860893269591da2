// The library's simpler thread pool: one first-in-first-out queue of work
// items without serial ids, one monitor guarding all of the pool's state,
// the same minimum/maximum/time-out model as ZnThreadPool and the same
// store overrides ("Znd", "<name>_MinThreads", "<name>_MaxThreads",
// "<name>_Timeout"), which apply until a program sets the maximum itself.
// A named pool writes its statistics line through the process-wide
// ZnThreadPoolMonitor; it publishes no metrics.
//
// Destroying the pool lets running items finish and drops queued ones.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zn/sync/ZnMonitor.h"
#include "zn/thread/ZnThread.h"

class ZnThreadPoolMonitor;

class ZN_EXPORT ZnThreadPool2 {
 public:
  using ThreadCallback = void (*)(ZnThreadPool2*, void*);
  using WorkFunction = void (*)(void*);

  // A thread time-out that never ends.
  static constexpr unsigned long kNoTimeout = 0xFFFFFFFFUL;

  ZnThreadPool2();
  // The callbacks run on every worker thread: the first before its loop
  // (an exception from it is not caught), the second after it.
  ZnThreadPool2(ThreadCallback threadInit, ThreadCallback threadExit, void* callbackArgument);
  ~ZnThreadPool2();
  ZnThreadPool2(const ZnThreadPool2&) = delete;
  ZnThreadPool2& operator=(const ZnThreadPool2&) = delete;

  // Name, thread time-out in seconds, threads to start now, maximum,
  // minimum. False, and nothing changes, when the maximum is below the
  // minimum. May be called again to re-set a pool.
  bool initThreadPool(const char* name, unsigned long timeoutSeconds, unsigned long startThreads,
                      unsigned int maxCount, unsigned int minCount);
  bool initThreadPool(unsigned long timeoutSeconds, unsigned long startThreads, unsigned int maxCount,
                      unsigned int minCount);

  // Queues `work(argument)`. A ZnException or C string thrown by the work
  // function is logged and swallowed.
  void doWork(WorkFunction work, void* argument);
  // Blocks until the queue is empty and no thread is busy. Always true.
  bool wait();

  // ---- Limits ----
  // setMaxCount alone ends the store's overrides, also when it fails.
  bool setMaxCount(unsigned int count);
  bool setMinCount(unsigned int count);
  void setThreadTimeout(unsigned long seconds);
  bool increaseMaxCount(int delta);
  bool decreaseMaxCount(int delta);
  void setRemoveThreadOnQuit(bool) {}

  unsigned int getMaxCount();
  unsigned int getMinCount();
  unsigned long getThreadTimeout();
  unsigned int getCurrentThreadCount();
  unsigned int getCurrentBusyThreadCount();
  unsigned int getCurrentAvailableThreadCount();
  // Items waiting in the queue (the monitor's live status shows them).
  unsigned int getQueuedCount();

  // ---- Called by the pool monitor ----
  // Writes the statistics line (also when nothing was queued).
  void Monitor();
  // Applies the store's overrides of the limits (while still configurable).
  void RefreshParameters();
  const std::string& getName() const { return m_name; }

 private:
  struct ThreadRecord {
    std::unique_ptr<ZnThread> thread;
    bool quit = false;  // under the monitor
  };
  struct WorkItem {
    WorkFunction work = nullptr;
    void* argument = nullptr;
    unsigned long long enqueueTick = 0;
  };
  struct Statistics {
    uint32_t maxParallelism = 0;
    uint32_t total = 0;
    uint32_t completed = 0;
    unsigned long long workTicks = 0;
    unsigned long long waitTicks = 0;
  };
  struct WorkerStart;

  static unsigned int WorkerMain(void* argument);
  void workerLoop(ThreadRecord* record);
  // Caller holds the monitor.
  void startThread();
  void CheckAndStartMoreThreads();
  void reapFinishedThreads();
  void leaveMonitor();
  void wakeForWork();

  std::list<std::unique_ptr<ThreadRecord>> m_threads;
  std::deque<WorkItem> m_queue;
  ZnMonitor m_monitor;
  uint32_t m_threadTimeout = 0;
  uint32_t m_maxCount = 0;
  uint32_t m_minCount = 0;
  uint32_t m_currentCount = 0;
  uint32_t m_busyCount = 0;
  // Callers inside wait(): while there are any, a new item wakes every
  // waiter, since a plain signal could reach a wait() caller instead of
  // an idle worker.
  uint32_t m_waiters = 0;
  bool m_destructing = false;
  Statistics m_statistics;
  std::string m_name;
  ZnThreadPoolMonitor* m_poolMonitor = nullptr;
  bool m_configurable = true;
  ThreadCallback m_threadInit = nullptr;
  ThreadCallback m_threadExit = nullptr;
  void* m_callbackArgument = nullptr;

  // Workers that have left their loop; joined before the pool goes so that
  // no thread still runs pool code when it is freed.
  std::vector<std::unique_ptr<ThreadRecord>> m_finished;
};
