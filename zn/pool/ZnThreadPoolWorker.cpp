// The pool's threads: starting one, its loop, growing the pool, and a
// thread's way out.

#include <cerrno>
#include <cstring>

#include "zn/error/ZnException.h"
#include "zn/log/EvDebug.h"
#include "zn/pool/internal/PerformanceCounter.h"
#include "zn/pool/internal/ReadySignal.h"
#include "zn/pool/internal/ThreadPoolGauges.h"
#include "zn/pool/ZnThreadPool.h"

struct ZnThreadPool::WorkerStart {
  ZnThreadPool* pool;
  TP_Info* info;
};

namespace {

// What a work function or callback may throw that the pool reports.
template <typename Call>
bool CallReporting(Call&& call, std::string& what) {
  try {
    call();
    return true;
  } catch (const ZnException& e) {
    what = e.getMessage();
  } catch (const char* text) {
    what = text != nullptr ? text : "";
  }
  return false;
}

}  // namespace

bool ZnThreadPool::startAThread() {
  reapFinishedThreads();
  auto info = std::make_unique<TP_Info>();
  info->thread = std::make_unique<ZnThread>();
  auto start = std::make_unique<WorkerStart>(WorkerStart{this, info.get()});
  TP_Info* const entry = info.get();
  m_threadList.push_back(std::move(info));
  if (entry->thread->createThread(&ZnThreadPool::WorkerMain, start.get()) == nullptr) {
    const int err = errno;
    m_threadList.pop_back();
    char text[128] = "";
    const char* message = ::strerror_r(err, text, sizeof text);
    EvDebug().Error("ZnThreadPool::startAThread", "Failed to start a thread for threadpool. Error : [%d] [%s].", err,
                    message);
    return false;
  }
  start.release();  // the thread owns it now
  entry->threadId = entry->thread->getThreadID();
  ++m_currentThreadCount;
  return true;
}

bool ZnThreadPool::CheckAndStartMoreThreads() {
  const uint32_t ready = readyWorks();
  const uint32_t idle = m_currentThreadCount - m_busyThreadCount;
  if (ready <= idle || m_currentThreadCount >= m_maxCount) return true;
  const uint32_t wanted = std::min(ready - idle, m_maxCount - m_currentThreadCount.load());
  for (uint32_t i = 0; i < wanted; ++i) {
    if (!startAThread()) {
      tpSetLastError(TP_DEBUG_CRITICAL, "DoWork() - Failed to start a Thread");
      return false;
    }
  }
  return true;
}

// Threads that have left are joined here, under the pool lock: after
// retireWorker they only return, so the join is short.
void ZnThreadPool::reapFinishedThreads() {
  for (auto& info : m_finished) {
    if (info->thread) info->thread->joinThread();
  }
  m_finished.clear();
}

unsigned int ZnThreadPool::WorkerMain(void* argument) {
  const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
  start->pool->workerLoop(start->info);
  return 0;
}

void ZnThreadPool::workerLoop(TP_Info* info) {
  std::string what;
  bool loop = true;
  if (m_threadInit != nullptr && !CallReporting([&] { m_threadInit(this, m_callbackArgument); }, what)) {
    tpSetLastError(TP_DEBUG_INFO, "Got exception from initialization thread: %s", what.c_str());
    loop = false;
  }
  bool counted = true;  // still in the current thread count
  bool waitForever = false;
  bool zeroFirst = false;
  while (loop) {
    const uint32_t timeout = m_threadTimeout.load(std::memory_order_relaxed);
    const unsigned long ms = timeout == kNoTimeout || waitForever ? zn::detail::ReadySignal::kInfinite
                                                                  : static_cast<unsigned long>(timeout) * 1000UL;
    const bool signalled = m_readySemaphore->wait(ms);
    if (info->quit.load()) break;
    if (signalled) {
      const ItemOutcome outcome = runItem(info, zeroFirst);
      if (outcome == ItemOutcome::kQuit) break;
      if (outcome == ItemOutcome::kShrunk) {
        counted = false;
        break;
      }
      continue;
    }
    ZnCriticalSectionLock lock(&m_poolLock);
    if (m_currentThreadCount > m_minCount && leaveIfQueueEmpty()) {
      counted = false;
      break;
    }
    // A time-out of 0 would wake this thread at once, again and again.
    waitForever = timeout == 0;
  }
  if (m_threadExit != nullptr && !CallReporting([&] { m_threadExit(this, m_callbackArgument); }, what)) {
    tpSetLastError(TP_DEBUG_INFO, "Got exception from exit thread: %s", what.c_str());
  }
  retireWorker(info, counted);
}

// An idle thread leaves only while nothing is ready, so an item queued as
// it goes is never stranded: it counts itself off first (doWork reads the
// count without the pool lock), then looks at the queue. Caller holds the
// pool lock.
bool ZnThreadPool::leaveIfQueueEmpty() {
  --m_currentThreadCount;
  if (!nothingReady()) {
    ++m_currentThreadCount;
    return false;
  }
  return true;
}

// Takes one item and runs it, then the next ones of its kind while nothing
// else is ready, and tells whether the thread goes on. No pool lock is
// taken unless the pool has to shrink.
ZnThreadPool::ItemOutcome ZnThreadPool::runItem(TP_Info* info, bool& zeroFirst) {
  Taken taken;
  // The thread's own id: its entry's is written by the starting thread,
  // under the pool lock, which this path does not take.
  if (!takeReady(taken, ZnThread::getCurrentThreadID(), zeroFirst)) {
    tpSetLastError(TP_DEBUG_INFO, "Could not get any argument to work with.");
    return ItemOutcome::kContinue;
  }
  TP_WorkInfo& work = taken.work;
  zeroFirst = work.serialId > 0;
  StatisticsBlock* const block = &m_statistics[work.serialId > 0 ? 1 : 0];
  const uint32_t busy = taken.busy;
  std::string what;
  unsigned long long start = zn::detail::PerformanceCounter();
  do {
    // Counters of two cores may differ by a few ticks.
    block->waitTicks.fetch_add(start > work.enqueueTick ? start - work.enqueueTick : 0, std::memory_order_relaxed);
    for (uint32_t seen = block->maxParallel.load(std::memory_order_relaxed);
         busy > seen && !block->maxParallel.compare_exchange_weak(seen, busy, std::memory_order_relaxed);) {
    }
    info->currentWork = &work;
    info->currentWorkId.store(work.workId, std::memory_order_release);
    if (!CallReporting([&] { work.work(work.argument); }, what)) {
      tpSetLastError(TP_DEBUG_INFO, "Got exception from worker function: %s", what.c_str());
    }
    info->currentWorkId.store(0, std::memory_order_release);
    info->currentWork = nullptr;
    const unsigned long long end = zn::detail::PerformanceCounter();
    block->workTicks.fetch_add(end - start, std::memory_order_relaxed);
    // Release: the report that sees it completed sees it in the total.
    block->completed.fetch_add(1, std::memory_order_release);
    start = end;  // the next item of the kind starts here
  } while (takeNext(taken, info->quit.load()));
  m_busyThreadCount.fetch_sub(1);
  if (info->quit.load()) return ItemOutcome::kQuit;
  if (m_currentThreadCount.load() > m_maxCount.load()) {
    ZnCriticalSectionLock lock(&m_poolLock);
    if (m_currentThreadCount > m_maxCount) {
      // Linux threads have no pending-I/O state to wait for.
      --m_currentThreadCount;
      return ItemOutcome::kShrunk;
    }
  }
  return ItemOutcome::kContinue;
}

// The thread's entry goes to the finished list (joined later) and, unless
// done on the way out, the thread is counted off. Nothing of the pool is
// touched after this.
void ZnThreadPool::retireWorker(TP_Info* info, bool counted) {
  ZnCriticalSectionLock lock(&m_poolLock);
  for (auto it = m_threadList.begin(); it != m_threadList.end(); ++it) {
    if (it->get() == info) {
      m_finished.push_back(std::move(*it));
      m_threadList.erase(it);
      break;
    }
  }
  if (counted) {
    --m_currentThreadCount;
  }
}
