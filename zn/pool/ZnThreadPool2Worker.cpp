// The second pool's threads: starting one, its loop, growing the pool and
// a thread's way out.

#include <cerrno>
#include <cstring>
#include <string>

#include "zn/error/ZnException.h"
#include "zn/log/EvDebug.h"
#include "zn/pool/ZnThreadPool2.h"
#include "zn/pool/internal/PerformanceCounter.h"

struct ZnThreadPool2::WorkerStart {
  ZnThreadPool2* pool;
  ThreadRecord* record;
};

namespace {

// Runs the work function; what it throws of the two reported kinds is
// logged and swallowed.
void RunReporting(ZnThreadPool2::WorkFunction work, void* argument) {
  std::string what;
  try {
    work(argument);
    return;
  } catch (const ZnException& e) {
    what = e.getMessage();
  } catch (const char* text) {
    what = text != nullptr ? text : "";
  }
  EvDebug().Debug("ZnThreadPool2::WorkerThread", "Exception thrown from worker function. Exception [%s]",
                  what.c_str());
}

}  // namespace

// The thread is counted as it is started. Linux may refuse a thread (no
// memory, a process limit): then nothing is counted, the failure is
// logged, and the queued item waits for the next thread.
void ZnThreadPool2::startThread() {
  reapFinishedThreads();
  auto record = std::make_unique<ThreadRecord>();
  record->thread = std::make_unique<ZnThread>();
  auto start = std::make_unique<WorkerStart>(WorkerStart{this, record.get()});
  ZnThread* const thread = record->thread.get();
  m_threads.push_back(std::move(record));
  // The monitor is held: the new thread waits for it before it looks at
  // its record.
  if (thread->createThread(&ZnThreadPool2::WorkerMain, start.get()) == nullptr) {
    const int err = errno;
    m_threads.pop_back();
    char text[128] = "";
    const char* message = ::strerror_r(err, text, sizeof text);
    EvDebug().Error("ZnThreadPool2::startThread", "Failed to start a thread for threadpool. Error : [%d] [%s].", err,
                    message);
    return;
  }
  start.release();  // the thread owns it now
  ++m_currentCount;
}

void ZnThreadPool2::CheckAndStartMoreThreads() {
  const uint32_t idle = m_currentCount - m_busyCount;
  const std::size_t queued = m_queue.size();
  if (queued <= idle || m_currentCount >= m_maxCount) return;
  const std::size_t wanted = std::min<std::size_t>(queued - idle, m_maxCount - m_currentCount);
  for (std::size_t i = 0; i < wanted; ++i) startThread();
}

// Threads that have left only return from their function after giving up
// their record, so the join is short.
void ZnThreadPool2::reapFinishedThreads() {
  for (auto& record : m_finished) record->thread->joinThread();
  m_finished.clear();
}

unsigned int ZnThreadPool2::WorkerMain(void* argument) {
  const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
  start->pool->workerLoop(start->record);
  return 0;
}

void ZnThreadPool2::workerLoop(ThreadRecord* record) {
  if (m_threadInit != nullptr) m_threadInit(this, m_callbackArgument);
  ZnMonitorLock lock(&m_monitor);
  bool waitForever = false;
  for (;;) {
    while (!record->quit && m_queue.empty()) {
      const uint32_t timeout = m_threadTimeout;
      const unsigned long ms = timeout == kNoTimeout || waitForever
                                   ? ZnMonitor::kInfinite
                                   : static_cast<unsigned long>(static_cast<unsigned long long>(timeout) * 1000ULL);
      if (m_monitor.wait(ms) || !m_queue.empty()) continue;
      // Timed out with nothing to do. Linux threads have no pending I/O to
      // keep them.
      if (m_currentCount > m_minCount) {
        record->quit = true;
      } else if (timeout == 0) {
        waitForever = true;  // a time-out of 0 would wake this thread again and again
      }
    }
    if (record->quit) break;
    const WorkItem item = m_queue.front();
    m_queue.pop_front();
    ++m_busyCount;
    if (m_busyCount > m_statistics.maxParallelism) m_statistics.maxParallelism = m_busyCount;
    lock.reset();

    const unsigned long long start = zn::detail::PerformanceCounter();
    RunReporting(item.work, item.argument);
    const unsigned long long end = zn::detail::PerformanceCounter();

    lock.reset(&m_monitor);
    ++m_statistics.completed;
    // Counters of two cores may differ by a few ticks.
    m_statistics.waitTicks += start > item.enqueueTick ? start - item.enqueueTick : 0;
    m_statistics.workTicks += end - start;
    --m_busyCount;
    if (m_waiters != 0 && m_queue.empty() && m_busyCount == 0) m_monitor.broadcast();
  }
  --m_currentCount;
  lock.reset();
  if (m_threadExit != nullptr) m_threadExit(this, m_callbackArgument);
  lock.reset(&m_monitor);
  for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
    if (it->get() == record) {
      m_finished.push_back(std::move(*it));
      m_threads.erase(it);
      break;
    }
  }
  if (m_destructing) m_monitor.broadcast();
}
