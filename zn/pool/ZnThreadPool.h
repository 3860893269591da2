// The library's thread pool. Work items carry a serial id: items with id 0
// run in any order and in parallel; items sharing an id above 0 run one at
// a time in the order they were queued, while different ids run in
// parallel. The pool grows on demand up to its maximum, keeps its minimum,
// lets idle threads above the minimum leave after the thread time-out, and
// takes per-pool overrides of its limits from the store ("Znd",
// "<name>_MinThreads", "<name>_MaxThreads", "<name>_Timeout") until a
// program sets a limit itself. Named pools report statistics to the log and
// counters to the metrics collector through the process-wide
// ZnThreadPoolMonitor.
//
// Lock order: pool lock, the lock of the serial ids' lane, the lock of
// serial id 0's lane, statistics lock, then the metrics collector's lock.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zn/base/ZnCriticalSection.h"
#include "zn/base/ZnExport.h"
#include "zn/sync/ZnSemaphore.h"
#include "zn/thread/ZnThread.h"

enum TPDebugLevel {
  TP_DEBUG_UNKNOWN = 1,
  TP_DEBUG_CRITICAL = 2,
  TP_DEBUG_WRONGARG = 3,
  TP_DEBUG_INFO = 4,
  TP_DEBUG_DEBUG = 5,
};

// One queued work item, copied by value into and out of the queue.
struct ZN_EXPORT TP_WorkInfo {
  unsigned int (*work)(void*) = nullptr;
  unsigned long long enqueueTick = 0;  // ZnPerformanceCounter() when queued
  unsigned int (*callback)(unsigned int, unsigned int, void*) = nullptr;  // kept, never called
  void* argument = nullptr;
  uint32_t workId = 0;
  long long serialId = 0;
};

// One worker thread.
struct ZN_EXPORT TP_Info {
  std::atomic<uint32_t> currentWorkId{0};  // 0 while idle; read by waitForAllThreads
  uint32_t threadId = 0;
  TP_WorkInfo* currentWork = nullptr;
  std::unique_ptr<ZnThread> thread;
  std::atomic<bool> quit{false};  // set under the pool lock, read by its thread
};

class ZnThreadPoolMonitor;
class ZnThreadPool2;

namespace zn::detail {
class ThreadPoolGauges;
struct ThreadPoolCounters;
class ReadySignal;
class LiveStatusPart;
}

class ZN_EXPORT ZnThreadPool {
 public:
  using ThreadCallback = void (*)(ZnThreadPool*, void*);
  using WorkFunction = unsigned int (*)(void*);
  using CompletionCallback = unsigned int (*)(unsigned int, unsigned int, void*);
  using DebugCallback = void (*)(const char*);

  // A thread time-out that never ends.
  static constexpr unsigned long kNoTimeout = 0xFFFFFFFFUL;

  ZnThreadPool();
  // The callbacks run on every worker thread: the first before its loop,
  // the second after it.
  ZnThreadPool(ThreadCallback threadInit, ThreadCallback threadExit, void* callbackArgument);
  ~ZnThreadPool();
  ZnThreadPool(const ZnThreadPool&) = delete;
  ZnThreadPool& operator=(const ZnThreadPool&) = delete;

  // Name, thread time-out in seconds, threads to start now, maximum, minimum.
  bool initThreadPool(const char* name, unsigned long timeoutSeconds, unsigned long startThreads,
                      unsigned int maxCount, unsigned int minCount);
  bool initThreadPool(unsigned long timeoutSeconds, unsigned long startThreads, unsigned int maxCount,
                      unsigned int minCount);
  void setDebuggingLevel(TPDebugLevel level);
  void setDebugCallback(DebugCallback callback);
  void useAlternateDestructor(bool use);

  // ---- Work ----
  // Queues `work(argument)` and returns its work id.
  unsigned long doWork(WorkFunction work, void* argument);
  unsigned long doWork(long long serialId, WorkFunction work, void* argument, CompletionCallback callback);
  // Takes up to `limit` queued, not yet started items of `serialId` off the
  // queue, oldest first, and gives their arguments. False when the id has
  // no work list.
  bool fetchQueuedWorkers(long long serialId, std::vector<void*>& arguments, unsigned long long limit);
  bool forceDiscardQueuedWorkers(long long serialId, std::vector<void*>& arguments);
  unsigned long long getPendingWorkCount(long long serialId);

  // ---- Limits (each makes the store's overrides stop applying) ----
  bool setMaxCount(unsigned int count);
  bool setMinCount(unsigned int count);
  void setThreadTimeout(unsigned long seconds);
  bool increaseMaxCount(int delta);
  bool decreaseMaxCount(int delta);

  unsigned int getMaxCount();
  unsigned int getMinCount();
  unsigned long getThreadTimeout();
  unsigned int getCurrentThreadCount();
  unsigned int getCurrentBusyThreadCount();
  unsigned int getCurrentAvailableThreadCount();
  unsigned int getTotalWorkerListCount();
  unsigned int getReadyWorksCount();
  unsigned int getServiceIdCount();

  // ---- Shutdown ----
  // A time limit of -1 waits without limit.
  bool waitForAllThreads(bool waitForWork, bool signalQuit, bool waitForThreads, int timeLimitSeconds);
  void terminateAllThreads();
  void printThreads(unsigned int) {}
  void resetStatistics(bool) {}

  // ---- Called by the pool monitor ----
  // Writes the statistics line of each block that saw work.
  void Monitor();
  // Applies the store's overrides of the limits (while still configurable).
  void RefreshParameters();
  const std::string& getName() const { return m_name; }

 private:
  // A lane's lock: held for a few dozen instructions by every producer and
  // worker, so a thread that finds it taken spins a little (glibc's
  // adaptive mutex) rather than sleep in the kernel at once, which costs
  // more than the wait.
  class LaneLock {
   public:
    LaneLock();
    ~LaneLock() { ::pthread_mutex_destroy(&m_mutex); }
    LaneLock(const LaneLock&) = delete;
    LaneLock& operator=(const LaneLock&) = delete;
    void lock() { ::pthread_mutex_lock(&m_mutex); }
    void unlock() { ::pthread_mutex_unlock(&m_mutex); }

   private:
    pthread_mutex_t m_mutex;
  };
  using LaneGuard = std::lock_guard<LaneLock>;
  // An id's items: the inbox producers append to under the lane lock, and
  // the batch its owner moves out of the inbox in order (under the lock)
  // and then claims item by item without it. A batch item not yet claimed
  // is still queued: fetch, discard and the pending count see it, and
  // claim it under the lock with the same compare-and-swap.
  struct PerSerialWorkList {
    std::deque<TP_WorkInfo> inbox;
    std::atomic<uint32_t> inboxItems{0};  // the inbox's size, read by the owner without the lock
    uint32_t ownerThreadId = 0;
    bool inReady = false;  // the id stands in the ready ids (at most once)
    // On lines of their own: the owner reads the batch and moves its start
    // per item, while producers change the inbox and read the owner.
    alignas(64) std::atomic<uint32_t> batchNext{0};  // first unclaimed batch item
    std::deque<TP_WorkInfo> batch;
    std::size_t unclaimed() const { return batch.size() - batchNext.load(std::memory_order_acquire); }
    std::size_t pending() const { return inbox.size() + unclaimed(); }
  };
  // The counts of one lane, read without its lock by queries, the metrics
  // and doWork. Queued is what was added less what was taken or removed.
  // Each group has its line: every doWork and every worker reads the ready
  // count, producers write the added count and workers the taken count, so
  // none of them pulls away a line another one keeps writing.
  struct LaneCounts {
    alignas(64) std::atomic<uint32_t> ready{0};  // the lane's share of the ready works count, under the lock
    alignas(64) std::atomic<uint32_t> added{0};  // under the lane lock
    std::atomic<uint32_t> removed{0};            // fetched or discarded, under the lock
    uint32_t reported = 0;  // counted completed by a report, or before a reset (statistics lock)
    alignas(64) std::atomic<uint32_t> done{0};   // taken to run; an owner counts without the lock
    // Taken and removed are read first: every item they count was added
    // before, so the difference never goes below 0.
    uint32_t queued() const {
      const uint32_t gone = done.load(std::memory_order_acquire) + removed.load(std::memory_order_acquire);
      return added.load(std::memory_order_acquire) - gone;
    }
    // The statistics block's total: what was added and neither removed nor
    // yet reported completed. Removed first, for the same reason.
    uint32_t statisticsTotal() const {
      const uint32_t gone = removed.load(std::memory_order_acquire) + reported;
      return added.load(std::memory_order_acquire) - gone;
    }
  };
  // Serial id 0: one list, no order, no owner; every item is ready.
  struct alignas(64) ZeroLane {
    LaneLock lock;
    std::deque<TP_WorkInfo> items;
    bool used = false;  // an item was ever queued: the id has a work list
    LaneCounts counts;
  };
  // Serial ids above 0: a work list per id and the ids whose next item may
  // start now. An id stands in `ready` at most once and never while it has
  // an owner, which is what keeps its items in order and one at a time.
  struct alignas(64) SerialLane {
    LaneLock lock;
    std::map<long long, PerSerialWorkList> lists;
    std::deque<long long> ready;
    LaneCounts counts;
  };
  // Changed by workers with atomic operations, on a cache line of their
  // own; the totals live with the lanes. The statistics lock only keeps
  // two reports from interleaving.
  struct alignas(64) StatisticsBlock {
    std::atomic<uint32_t> completed{0};
    std::atomic<uint32_t> maxParallel{0};
    std::atomic<unsigned long long> workTicks{0};
    std::atomic<unsigned long long> waitTicks{0};
  };
  struct WorkerStart;
  enum class ItemOutcome { kContinue, kQuit, kShrunk };

  static unsigned int WorkerMain(void* argument);
  void workerLoop(TP_Info* info);
  ItemOutcome runItem(TP_Info* info, bool& zeroFirst);
  // Caller holds the pool lock.
  bool startAThread();
  bool CheckAndStartMoreThreads();
  void reapFinishedThreads();
  bool leaveIfQueueEmpty();
  void retireWorker(TP_Info* info, bool counted);

  // Queue side (ZnThreadPoolQueue.cpp). The list is that of the id the
  // worker owns (null for serial id 0); `busy` is the busy count once the
  // worker counted itself in.
  struct Taken {
    TP_WorkInfo work;
    PerSerialWorkList* list = nullptr;
    uint32_t busy = 0;
  };
  bool enqueueWork(const TP_WorkInfo& work);
  bool enoughIdleThreads() const;
  // Takes the item a ready permit stands for and counts the thread busy.
  bool takeReady(Taken& taken, uint32_t threadId, bool zeroFirst);
  // No ready id and no serial id 0 item, seen under both lane locks.
  bool nothingReady();
  bool takeReadyOfSerial(Taken& taken, uint32_t threadId);
  bool takeReadyOfZero(Taken& taken);
  // The next item of the kind just run, or false (after giving up the id).
  bool takeNext(Taken& taken, bool stop);
  bool takeNextOfSerial(Taken& taken, bool stop);
  bool takeNextOfZero(Taken& taken, bool stop);
  // Serial id 0's oldest item, counted taken; caller holds its lock and
  // saw it non-empty.
  void takeFrontOfZero(Taken& taken);
  // An id's next item, counted taken: from its batch, refilled from the
  // inbox when the lane lock is held (`locked`).
  bool claimNextOfSerial(PerSerialWorkList& list, TP_WorkInfo& work, bool locked);
  static bool ClaimFromBatch(PerSerialWorkList& list, TP_WorkInfo& work);
  static bool RefillBatch(PerSerialWorkList& list);
  // Spins a moment while the owner's inbox is empty and nothing else is
  // ready.
  void awaitInbox(const PerSerialWorkList& list, long long serialId) const;
  bool othersReady(long long serialId) const;
  void makeReady(PerSerialWorkList& list, long long serialId);
  void dropIdleWorkList(std::map<long long, PerSerialWorkList>::iterator list);
  static bool hasWorkList(const PerSerialWorkList& list);
  bool takeQueued(long long serialId, std::vector<void*>& arguments, unsigned long long limit);
  uint32_t readyWorks() const;
  uint32_t queuedWorks() const;
  LaneCounts& countsOf(int block) { return block == 0 ? m_zero.counts : m_serial.counts; }

  void tpSetLastError(TPDebugLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void leaveMonitor();
  // The counters the metrics collector samples.
  zn::detail::ThreadPoolCounters readCounters();

  std::list<std::unique_ptr<TP_Info>> m_threadList;
  // One permit per ready entry; idle workers wait on it.
  std::unique_ptr<zn::detail::ReadySignal> m_readySemaphore;
  ZnCriticalSection m_poolLock;
  ZnCriticalSection m_statisticsLock;
  std::atomic<uint32_t> m_threadTimeout{0};  // read by idle workers without the lock
  // Set under the pool lock; read without it by a worker after each run.
  std::atomic<uint32_t> m_maxCount{0};
  uint32_t m_minCount = 0;
  // Producers' own line: every doWork changes it.
  alignas(64) std::atomic<uint32_t> m_serviceIdCounter{0};
  // Changed under the pool lock, except the busy count, which a worker
  // raises under a lane's lock as it takes an item and lowers after its
  // run; doWork reads both without the pool lock.
  alignas(64) std::atomic<uint32_t> m_currentThreadCount{0};
  std::atomic<uint32_t> m_busyThreadCount{0};
  std::atomic<DebugCallback> m_debugCallback{nullptr};
  bool m_initialized = false;
  bool m_alternateDestructor = true;
  std::atomic<TPDebugLevel> m_debugLevel{TP_DEBUG_UNKNOWN};
  ZeroLane m_zero;
  SerialLane m_serial;
  StatisticsBlock m_statistics[2];
  std::string m_name;
  ZnThreadPoolMonitor* m_monitor = nullptr;
  bool m_configurable = true;
  ThreadCallback m_threadInit = nullptr;
  ThreadCallback m_threadExit = nullptr;
  void* m_callbackArgument = nullptr;

  // Workers that have left their loop, joined before the pool goes so that
  // no thread still runs pool code when it is freed.
  std::vector<std::unique_ptr<TP_Info>> m_finished;
  // The pool's observations in the metrics collector.
  std::unique_ptr<zn::detail::ThreadPoolGauges> m_gauges;
};

// The process-wide thread that writes the statistics of every named pool of
// both kinds ("Base"/"ThreadPoolMonitorIntervalSeconds", 600) and re-reads
// their limits from the store ("Base"/"ThreadPoolRefreshIntervalSeconds",
// 60): first the ZnThreadPool objects, then the ZnThreadPool2 objects.
// At each refresh, and when a pool joins, it publishes the pool's limits
// and figures in the process's live status (zn/livestatus/LiveStatus.h);
// a pool's part goes when the pool leaves.
class ZN_EXPORT ZnThreadPoolMonitor {
 public:
  // The shared monitor, started on first use; null when it cannot start.
  static ZnThreadPoolMonitor* Acquire();
  // Drops one reference; the last one stops and deletes the monitor.
  static void Release(ZnThreadPoolMonitor* monitor);

  void addThreadPool(ZnThreadPool* pool);
  void removeThreadPool(ZnThreadPool* pool);
  void addThreadPool(ZnThreadPool2* pool);
  void removeThreadPool(ZnThreadPool2* pool);

  // For tests: the intervals in effect.
  unsigned int monitorIntervalSeconds() const { return m_monitorInterval; }
  unsigned int refreshIntervalSeconds() const { return m_refreshInterval; }

  ZnThreadPoolMonitor();
  ~ZnThreadPoolMonitor();
  ZnThreadPoolMonitor(const ZnThreadPoolMonitor&) = delete;
  ZnThreadPoolMonitor& operator=(const ZnThreadPoolMonitor&) = delete;

 private:
  bool Start();
  void Stop();
  static unsigned int MonitorMain(void* argument);
  void run();
  // Caller holds m_lock.
  void publishStatus(ZnThreadPool* pool);
  void publishStatus(ZnThreadPool2* pool);

  ZnCriticalSection m_lock;
  std::list<ZnThreadPool*> m_pools;
  std::list<ZnThreadPool2*> m_pools2;
  std::map<const void*, std::unique_ptr<zn::detail::LiveStatusPart>> m_status;  // by pool, of both kinds
  ZnThread m_thread;
  bool m_stop = false;
  ZnEvent m_wake{true};
  unsigned int m_monitorInterval = 600;
  unsigned int m_refreshInterval = 60;
};

// A time in seconds as "12.30 ms": two decimals and the largest unit of
// s, ms, us, ns that keeps it at 1 or more.
ZN_EXPORT std::string FormatTime(double seconds);
// A byte count as "1.50 KB", in units of 1024 up to PB.
ZN_EXPORT std::string FormatBytes(unsigned long long bytes);
