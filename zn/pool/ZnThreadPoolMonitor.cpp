// One thread per process writes the statistics of every named pool, of
// both kinds, and re-reads their limits. It wakes every gcd of the two intervals.

#include <numeric>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/livestatus/LiveStatus.h"
#include "zn/log/EvDebug.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/pool/ZnThreadPool2.h"
#include "zuzazer/FXNoDestructor.h"

namespace {

struct MonitorRegistry {
  ZnCriticalSection lock;
  ZnThreadPoolMonitor* monitor = nullptr;
  unsigned int references = 0;
};

MonitorRegistry& Registry() {
  static yq::NoDestructor<MonitorRegistry> registry;
  return *registry;
}

// An interval of 0 would make the arithmetic meaningless: the default holds.
unsigned int Interval(const char* name, unsigned int fallback) {
  unsigned long value = 0;
  if (ZNPlatformInfo(0, 0).getNumber("Base", name, &value) == 0 || value == 0 || value > 0xFFFFFFFFUL) return fallback;
  return static_cast<unsigned int>(value);
}

}  // namespace

ZnThreadPoolMonitor::ZnThreadPoolMonitor() = default;

ZnThreadPoolMonitor::~ZnThreadPoolMonitor() { Stop(); }

ZnThreadPoolMonitor* ZnThreadPoolMonitor::Acquire() {
  MonitorRegistry& registry = Registry();
  ZnCriticalSectionLock lock(&registry.lock);
  if (registry.monitor == nullptr) {
    auto monitor = std::make_unique<ZnThreadPoolMonitor>();
    if (!monitor->Start()) return nullptr;
    registry.monitor = monitor.release();  // owned by the registry's count
  }
  ++registry.references;
  return registry.monitor;
}

void ZnThreadPoolMonitor::Release(ZnThreadPoolMonitor* monitor) {
  MonitorRegistry& registry = Registry();
  std::unique_ptr<ZnThreadPoolMonitor> last;
  {
    ZnCriticalSectionLock lock(&registry.lock);
    if (monitor == nullptr || monitor != registry.monitor || registry.references == 0) return;
    if (--registry.references > 0) return;
    last.reset(registry.monitor);
    registry.monitor = nullptr;
  }
  last.reset();  // stops and joins the thread outside the registry's lock
}

bool ZnThreadPoolMonitor::Start() {
  m_stop = false;
  m_wake.reset();
  m_monitorInterval = Interval("ThreadPoolMonitorIntervalSeconds", 600);
  m_refreshInterval = Interval("ThreadPoolRefreshIntervalSeconds", 60);
  EvDebug().DebugLvl("ZnThreadPoolMonitor::Start", 3,
                     "Thread pool monitor interval [%u] seconds, Refresh interval [%u] seconds", m_monitorInterval,
                     m_refreshInterval);
  return m_thread.createThread(&ZnThreadPoolMonitor::MonitorMain, this) != nullptr;
}

void ZnThreadPoolMonitor::Stop() {
  if (!m_thread.threadInProgress()) return;
  {
    ZnCriticalSectionLock lock(&m_lock);
    m_stop = true;
  }
  m_wake.set();
  m_thread.joinThread();
}

void ZnThreadPoolMonitor::addThreadPool(ZnThreadPool* pool) {
  ZnCriticalSectionLock lock(&m_lock);
  for (ZnThreadPool* known : m_pools) {
    if (known == pool) return;
  }
  m_pools.push_back(pool);
  m_status[pool] = std::make_unique<zn::detail::LiveStatusPart>("Pools", pool->getName());
  publishStatus(pool);  // visible from the start, not only from the first refresh
}

void ZnThreadPoolMonitor::removeThreadPool(ZnThreadPool* pool) {
  ZnCriticalSectionLock lock(&m_lock);
  m_pools.remove(pool);
  m_status.erase(pool);  // its part leaves the store
}

namespace {

// A pool's limits and figures as its live status shows them; both kinds of
// pool answer the same questions.
template <typename Pool>
zn::LiveStatusPool FiguresOf(Pool& pool, unsigned int queued, unsigned int ready) {
  zn::LiveStatusPool figures;
  figures.name = pool.getName();
  figures.minThreads = pool.getMinCount();
  figures.maxThreads = pool.getMaxCount();
  figures.timeoutSeconds = pool.getThreadTimeout();
  figures.threads = pool.getCurrentThreadCount();
  figures.busyThreads = pool.getCurrentBusyThreadCount();
  figures.queued = queued;
  figures.ready = ready;
  return figures;
}

}  // namespace

void ZnThreadPoolMonitor::publishStatus(ZnThreadPool* pool) {
  const auto part = m_status.find(pool);
  if (part == m_status.end()) return;
  part->second->publish(FiguresOf(*pool, pool->getTotalWorkerListCount(), pool->getReadyWorksCount()));
}

void ZnThreadPoolMonitor::addThreadPool(ZnThreadPool2* pool) {
  ZnCriticalSectionLock lock(&m_lock);
  for (ZnThreadPool2* known : m_pools2) {
    if (known == pool) return;
  }
  m_pools2.push_back(pool);
  m_status[pool] = std::make_unique<zn::detail::LiveStatusPart>("Pools", pool->getName());
  publishStatus(pool);
}

void ZnThreadPoolMonitor::removeThreadPool(ZnThreadPool2* pool) {
  ZnCriticalSectionLock lock(&m_lock);
  m_pools2.remove(pool);
  m_status.erase(pool);
}

void ZnThreadPoolMonitor::publishStatus(ZnThreadPool2* pool) {
  const auto part = m_status.find(pool);
  if (part == m_status.end()) return;
  // One queue in order: every queued item may start.
  const unsigned int queued = pool->getQueuedCount();
  part->second->publish(FiguresOf(*pool, queued, queued));
}

unsigned int ZnThreadPoolMonitor::MonitorMain(void* argument) {
  static_cast<ZnThreadPoolMonitor*>(argument)->run();
  return 0;
}

void ZnThreadPoolMonitor::run() {
  const unsigned long long tick = std::gcd(m_monitorInterval, m_refreshInterval);
  const unsigned long long cycle = std::lcm<unsigned long long>(m_monitorInterval, m_refreshInterval);
  unsigned long long elapsed = 0;
  for (;;) {
    {
      ZnCriticalSectionLock lock(&m_lock);
      if (m_stop) return;
    }
    if (m_wake.wait(static_cast<unsigned long>(tick * 1000))) continue;
    elapsed += tick;
    const bool report = elapsed % m_monitorInterval == 0;
    const bool refresh = elapsed % m_refreshInterval == 0;
    if (!report && !refresh) continue;
    ZnCriticalSectionLock lock(&m_lock);
    for (ZnThreadPool* pool : m_pools) {
      if (report) pool->Monitor();
      if (refresh) {
        pool->RefreshParameters();
        publishStatus(pool);
      }
    }
    for (ZnThreadPool2* pool : m_pools2) {
      if (report) pool->Monitor();
      if (refresh) {
        pool->RefreshParameters();
        publishStatus(pool);
      }
    }
    if (elapsed == cycle) elapsed = 0;
  }
}
