// Set-up, work, limits, queries and the end of the second pool.

#include "zn/pool/ZnThreadPool2.h"

#include <climits>

#include "zn/log/EvDebug.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/pool/internal/PerformanceCounter.h"

ZnThreadPool2::ZnThreadPool2() = default;

ZnThreadPool2::ZnThreadPool2(ThreadCallback threadInit, ThreadCallback threadExit, void* callbackArgument)
    : m_threadInit(threadInit), m_threadExit(threadExit), m_callbackArgument(callbackArgument) {}

ZnThreadPool2::~ZnThreadPool2() {
  leaveMonitor();
  {
    ZnMonitorLock lock(&m_monitor);
    m_minCount = 0;
    m_maxCount = 0;
    for (const auto& record : m_threads) record->quit = true;
    m_monitor.broadcast();
    m_destructing = true;
    // Running items finish; every thread then sees its quit flag, leaves
    // its record and wakes this wait.
    while (!m_threads.empty()) m_monitor.wait();
  }
  reapFinishedThreads();
  m_queue.clear();  // queued items are dropped
}

bool ZnThreadPool2::initThreadPool(const char* name, unsigned long timeoutSeconds, unsigned long startThreads,
                                   unsigned int maxCount, unsigned int minCount) {
  if (maxCount < minCount) return false;
  {
    ZnMonitorLock lock(&m_monitor);
    m_name = name != nullptr ? name : "N/A";
    m_threadTimeout = static_cast<uint32_t>(timeoutSeconds);
    m_minCount = minCount;
    m_maxCount = maxCount;
  }
  RefreshParameters();
  if (!m_name.empty() && m_poolMonitor == nullptr) {
    m_poolMonitor = ZnThreadPoolMonitor::Acquire();
    if (m_poolMonitor != nullptr) m_poolMonitor->addThreadPool(this);
  }
  ZnMonitorLock lock(&m_monitor);
  for (unsigned long i = 0; i < startThreads; ++i) startThread();
  return true;
}

bool ZnThreadPool2::initThreadPool(unsigned long timeoutSeconds, unsigned long startThreads, unsigned int maxCount,
                                   unsigned int minCount) {
  return initThreadPool(nullptr, timeoutSeconds, startThreads, maxCount, minCount);
}

void ZnThreadPool2::leaveMonitor() {
  if (m_poolMonitor == nullptr) return;
  m_poolMonitor->removeThreadPool(this);
  ZnThreadPoolMonitor::Release(m_poolMonitor);
  m_poolMonitor = nullptr;
}

// ---- Work ----

void ZnThreadPool2::doWork(WorkFunction work, void* argument) {
  if (work == nullptr) {  // it could only crash the worker that took it
    EvDebug().Error("ZnThreadPool2::doWork", "Threadpool [%s]. Work function is null. Nothing queued",
                    m_name.c_str());
    return;
  }
  const unsigned long long now = zn::detail::PerformanceCounter();
  ZnMonitorLock lock(&m_monitor);
  m_queue.push_back(WorkItem{work, argument, now});
  wakeForWork();
  ++m_statistics.total;
  if (m_queue.size() > m_currentCount - m_busyCount && m_currentCount < m_maxCount) startThread();
}

void ZnThreadPool2::wakeForWork() {
  if (m_waiters != 0 || m_destructing) {
    m_monitor.broadcast();
  } else {
    m_monitor.signal();
  }
}

bool ZnThreadPool2::wait() {
  ZnMonitorLock lock(&m_monitor);
  ++m_waiters;
  while (!m_queue.empty() || m_busyCount != 0) m_monitor.wait();
  --m_waiters;
  return true;
}

// ---- Limits ----

bool ZnThreadPool2::setMaxCount(unsigned int count) {
  ZnMonitorLock lock(&m_monitor);
  m_configurable = false;
  if (count < m_minCount) return false;
  m_maxCount = count;
  return true;
}

bool ZnThreadPool2::setMinCount(unsigned int count) {
  ZnMonitorLock lock(&m_monitor);
  if (count > m_maxCount) return false;
  m_minCount = count;
  return true;
}

void ZnThreadPool2::setThreadTimeout(unsigned long seconds) {
  ZnMonitorLock lock(&m_monitor);
  m_threadTimeout = static_cast<uint32_t>(seconds);
}

bool ZnThreadPool2::increaseMaxCount(int delta) {
  ZnMonitorLock lock(&m_monitor);
  const long long wanted = static_cast<long long>(m_maxCount) + delta;
  if (wanted < static_cast<long long>(m_minCount) || wanted > 0xFFFFFFFFLL) return false;
  m_maxCount = static_cast<uint32_t>(wanted);
  CheckAndStartMoreThreads();
  return true;
}

bool ZnThreadPool2::decreaseMaxCount(int delta) {
  return increaseMaxCount(delta == INT_MIN ? INT_MAX : -delta);
}

unsigned int ZnThreadPool2::getMaxCount() {
  ZnMonitorLock lock(&m_monitor);
  return m_maxCount;
}

unsigned int ZnThreadPool2::getMinCount() {
  ZnMonitorLock lock(&m_monitor);
  return m_minCount;
}

unsigned long ZnThreadPool2::getThreadTimeout() {
  ZnMonitorLock lock(&m_monitor);
  return m_threadTimeout;
}

unsigned int ZnThreadPool2::getCurrentThreadCount() {
  ZnMonitorLock lock(&m_monitor);
  return m_currentCount;
}

unsigned int ZnThreadPool2::getCurrentBusyThreadCount() {
  ZnMonitorLock lock(&m_monitor);
  return m_busyCount;
}

unsigned int ZnThreadPool2::getQueuedCount() {
  ZnMonitorLock lock(&m_monitor);
  return static_cast<unsigned int>(m_queue.size());
}

unsigned int ZnThreadPool2::getCurrentAvailableThreadCount() {
  ZnMonitorLock lock(&m_monitor);
  return m_currentCount - m_busyCount;
}
