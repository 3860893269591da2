// Set-up, limits, queries and the end of a pool.

#include "zn/pool/ZnThreadPool.h"

#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <thread>

#include "zn/log/EvDebug.h"
#include "zn/pool/internal/ReadySignal.h"
#include "zn/pool/internal/ThreadPoolGauges.h"

namespace {

const char* LevelName(TPDebugLevel level) {
  switch (level) {
    case TP_DEBUG_CRITICAL: return "Critical";
    case TP_DEBUG_WRONGARG: return "WrongArg";
    case TP_DEBUG_INFO: return "Infor   ";
    case TP_DEBUG_DEBUG: return "Debug   ";
    default: return "Unknown ";
  }
}

}  // namespace

// The gauges exist from the start (unregistered) so that work queued before
// initialisation has somewhere to count.
ZnThreadPool::ZnThreadPool()
    : m_readySemaphore(std::make_unique<zn::detail::ReadySignal>()),
      m_gauges(std::make_unique<zn::detail::ThreadPoolGauges>()) {}

ZnThreadPool::ZnThreadPool(ThreadCallback threadInit, ThreadCallback threadExit, void* callbackArgument)
    : m_readySemaphore(std::make_unique<zn::detail::ReadySignal>()),
      m_threadInit(threadInit),
      m_threadExit(threadExit),
      m_callbackArgument(callbackArgument),
      m_gauges(std::make_unique<zn::detail::ThreadPoolGauges>()) {}

ZnThreadPool::~ZnThreadPool() {
  leaveMonitor();
  {
    ZnCriticalSectionLock lock(&m_poolLock);
    m_minCount = 0;
    m_maxCount = 0;
  }
  if (m_alternateDestructor) {
    std::list<std::unique_ptr<TP_Info>> threads;
    {
      ZnCriticalSectionLock lock(&m_poolLock);
      if (!m_threadList.empty()) {
        for (const auto& info : m_threadList) info->quit = true;
        m_readySemaphore->release(static_cast<int>(m_threadList.size()));
        threads.swap(m_threadList);
      }
    }
    const unsigned int self = ZnThread::getCurrentThreadID();
    for (auto& info : threads) {
      if (info->threadId != self && info->thread) info->thread->joinThread();
    }
  } else {
    waitForAllThreads(false, true, true, -1);
  }
  ZnCriticalSectionLock lock(&m_poolLock);
  reapFinishedThreads();
}

bool ZnThreadPool::initThreadPool(const char* name, unsigned long timeoutSeconds, unsigned long startThreads,
                                  unsigned int maxCount, unsigned int minCount) {
  if (m_initialized) {
    tpSetLastError(TP_DEBUG_CRITICAL, "Object already initialized");
    return false;
  }
  if (maxCount < minCount) {
    tpSetLastError(TP_DEBUG_WRONGARG, "Init Failed. Minimal Thread Count greater than MaxCount");
    return false;
  }
  {
    ZnCriticalSectionLock lock(&m_poolLock);
    m_name = name != nullptr ? name : "N/A";
    m_threadTimeout = static_cast<uint32_t>(timeoutSeconds);
    m_minCount = minCount;
    m_maxCount = maxCount;
  }
  m_gauges->Register(m_name, [this] { return readCounters(); });
  RefreshParameters();
  {
    ZnCriticalSectionLock lock(&m_poolLock);
    for (unsigned long i = 0; i < startThreads; ++i) {
      if (!startAThread()) {
        m_minCount = 0;
        return false;
      }
    }
  }
  {
    ZnCriticalSectionLock lock(&m_statisticsLock);
    for (LaneCounts* counts : {&m_zero.counts, &m_serial.counts}) {
      counts->reported = counts->added.load() - counts->removed.load();
    }
    for (StatisticsBlock& block : m_statistics) {
      block.completed = 0;
      block.maxParallel = 0;
      block.workTicks = 0;
      block.waitTicks = 0;
    }
  }
  if (!m_name.empty() && m_monitor == nullptr) {
    m_monitor = ZnThreadPoolMonitor::Acquire();
    if (m_monitor != nullptr) m_monitor->addThreadPool(this);
  }
  m_initialized = true;
  return true;
}

bool ZnThreadPool::initThreadPool(unsigned long timeoutSeconds, unsigned long startThreads, unsigned int maxCount,
                                  unsigned int minCount) {
  return initThreadPool(nullptr, timeoutSeconds, startThreads, maxCount, minCount);
}

void ZnThreadPool::setDebuggingLevel(TPDebugLevel level) { m_debugLevel = level; }

void ZnThreadPool::setDebugCallback(DebugCallback callback) { m_debugCallback = callback; }

void ZnThreadPool::useAlternateDestructor(bool use) { m_alternateDestructor = use; }

zn::detail::ThreadPoolCounters ZnThreadPool::readCounters() {
  zn::detail::ThreadPoolCounters counters;
  ZnCriticalSectionLock lock(&m_poolLock);
  counters.maxThreads = m_maxCount;
  counters.busyThreads = m_busyThreadCount;
  counters.workerThreads = m_currentThreadCount;
  counters.readyTask = readyWorks();
  counters.taskList = queuedWorks();
  counters.taskAdded = m_zero.counts.added + m_serial.counts.added;
  counters.taskDone = m_zero.counts.done + m_serial.counts.done;
  return counters;
}

void ZnThreadPool::leaveMonitor() {
  if (m_monitor != nullptr) {
    m_monitor->removeThreadPool(this);
    ZnThreadPoolMonitor::Release(m_monitor);
    m_monitor = nullptr;
  }
  m_gauges->Deregister();
}

// ---- Limits ----

bool ZnThreadPool::setMaxCount(unsigned int count) {
  ZnCriticalSectionLock lock(&m_poolLock);
  m_configurable = false;
  if (count < m_minCount) {
    tpSetLastError(TP_DEBUG_WRONGARG, "MaxCount is less  than MinCount.");
    return false;
  }
  m_maxCount = count;
  return true;
}

bool ZnThreadPool::setMinCount(unsigned int count) {
  ZnCriticalSectionLock lock(&m_poolLock);
  m_configurable = false;
  if (count > m_maxCount) {
    tpSetLastError(TP_DEBUG_WRONGARG, "MinCount greater than MaxCount.");
    return false;
  }
  m_minCount = count;
  return true;
}

void ZnThreadPool::setThreadTimeout(unsigned long seconds) {
  ZnCriticalSectionLock lock(&m_poolLock);
  m_configurable = false;
  m_threadTimeout = static_cast<uint32_t>(seconds);
}

bool ZnThreadPool::increaseMaxCount(int delta) {
  ZnCriticalSectionLock lock(&m_poolLock);
  m_configurable = false;
  const long long wanted = static_cast<long long>(m_maxCount) + delta;
  if (wanted < static_cast<long long>(m_minCount) || wanted > 0xFFFFFFFFLL) return false;
  m_maxCount = static_cast<uint32_t>(wanted);
  return CheckAndStartMoreThreads();
}

bool ZnThreadPool::decreaseMaxCount(int delta) { return increaseMaxCount(-delta); }

unsigned int ZnThreadPool::getMaxCount() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_maxCount;
}

unsigned int ZnThreadPool::getMinCount() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_minCount;
}

unsigned long ZnThreadPool::getThreadTimeout() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_threadTimeout;
}

unsigned int ZnThreadPool::getCurrentThreadCount() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_currentThreadCount;
}

unsigned int ZnThreadPool::getCurrentBusyThreadCount() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_busyThreadCount;
}

unsigned int ZnThreadPool::getCurrentAvailableThreadCount() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_currentThreadCount - m_busyThreadCount;
}

// The lanes' counts are read as they stand, without their locks.
unsigned int ZnThreadPool::getTotalWorkerListCount() { return queuedWorks(); }

unsigned int ZnThreadPool::getReadyWorksCount() { return readyWorks(); }

unsigned int ZnThreadPool::getServiceIdCount() {
  ZnCriticalSectionLock lock(&m_poolLock);
  return m_serviceIdCounter;
}

// ---- Shutdown ----

bool ZnThreadPool::waitForAllThreads(bool waitForWork, bool signalQuit, bool waitForThreads, int timeLimitSeconds) {
  constexpr auto kPoll = std::chrono::milliseconds(100);
  const std::time_t start = ::time(nullptr);
  const auto expired = [&] { return timeLimitSeconds != -1 && ::time(nullptr) - start > timeLimitSeconds; };
  if (waitForWork) {
    for (;;) {
      // Queued first: a worker counts itself busy before it takes an item
      // off, so an item is always seen in one of the two.
      const uint32_t pending = queuedWorks();
      const uint32_t busy = m_busyThreadCount.load();
      if (pending == 0 && busy == 0) break;
      if (expired()) {
        tpSetLastError(TP_DEBUG_CRITICAL,
                       "Could not finish all work in the time limit of [%d] seconds. The worker list count is [%ld] "
                       "and busy thread count is [%ld]",
                       timeLimitSeconds, static_cast<long>(pending), static_cast<long>(busy));
        std::string busyList;
        {
          ZnCriticalSectionLock lock(&m_poolLock);
          char id[16];
          for (const auto& info : m_threadList) {
            if (info->currentWorkId.load() == 0) continue;
            std::snprintf(id, sizeof id, "0x%x", info->threadId);
            busyList += (busyList.empty() ? "" : ",") + std::string(id);
          }
        }
        EvDebug().Debug("ZnThreadPool::waitForAllThreads",
                        "Thread Pool [%s]. Could not finish all work in the time limit of [%d] seconds. The worker "
                        "list count is [%lu] and busy thread count is [%lu] and busy thread list is [%s]",
                        m_name.c_str(), timeLimitSeconds, static_cast<unsigned long>(pending),
                        static_cast<unsigned long>(busy), busyList.c_str());
        return false;
      }
      std::this_thread::sleep_for(kPoll);
    }
  }
  if (signalQuit || waitForThreads) {
    ZnCriticalSectionLock lock(&m_poolLock);
    for (const auto& info : m_threadList) info->quit = true;
    if (m_currentThreadCount > 0) m_readySemaphore->release(static_cast<int>(m_currentThreadCount));
  }
  if (waitForThreads) {
    for (;;) {
      uint32_t current = 0;
      {
        ZnCriticalSectionLock lock(&m_poolLock);
        current = m_currentThreadCount;
        if (current == 0) reapFinishedThreads();
      }
      if (current == 0) break;
      if (expired()) {
        tpSetLastError(TP_DEBUG_CRITICAL,
                       "Time limit of [%d] seconds exceeded while waiting for all threads to finish. Active thread "
                       "count is [%d]",
                       timeLimitSeconds, static_cast<int>(current));
        return false;
      }
      std::this_thread::sleep_for(kPoll);
    }
  }
  return true;
}

void ZnThreadPool::terminateAllThreads() {
  ZnCriticalSectionLock lock(&m_poolLock);
  try {
    for (auto& info : m_threadList) {
      if (info->thread) info->thread->terminateThread();
    }
  } catch (...) {
  }
  m_threadList.clear();
  // The threads are gone without passing their exit path.
  m_currentThreadCount = 0;
  m_busyThreadCount = 0;
}

// ---- Error reports ----

void ZnThreadPool::tpSetLastError(TPDebugLevel level, const char* format, ...) {
  if (level > m_debugLevel) return;
  char text[512];
  int used = std::snprintf(text, sizeof text, "ZnThreadPool::tpSetLastError(1081): -Error-: %s -- ", LevelName(level));
  if (used < 0) used = 0;
  if (static_cast<std::size_t>(used) < sizeof text) {
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text + used, sizeof text - static_cast<std::size_t>(used), format, args);
    va_end(args);
    if (written < 0) {
      std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), "%s",
                    "Error parsing arguments - vsprintf failed.");
    }
  }
  const DebugCallback callback = m_debugCallback.load();
  if (callback == nullptr) return;
  try {
    callback(text);
  } catch (...) {
  }
}
