// What the second pool reports: its statistics line and the store's
// overrides of its limits.

#include <algorithm>

#include "zn/log/EvDebug.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/pool/ZnThreadPool2.h"
#include "zn/pool/internal/PerformanceCounter.h"
#include "zn/pool/internal/PoolOverrides.h"

void ZnThreadPool2::Monitor() {
  Statistics block;
  {
    ZnMonitorLock lock(&m_monitor);
    if (m_name.empty()) return;
    block = m_statistics;
    // What is still pending carries over into the next line.
    m_statistics.total -= std::min(m_statistics.total, m_statistics.completed);
    m_statistics.completed = 0;
    m_statistics.workTicks = 0;
    m_statistics.waitTicks = 0;
    m_statistics.maxParallelism = 0;
  }
  const uint32_t done = block.completed;
  const double averageWork = done == 0 ? 0.0 : zn::detail::TicksToSeconds(block.workTicks) / done;
  const double averageWait = done == 0 ? 0.0 : zn::detail::TicksToSeconds(block.waitTicks) / done;
  EvDebug().Debug("ZnThreadPool2::Monitor",
                  "TPool [%s]. Tot [%u], Pend [%u], Comp [%u], Max Par [%u], Avg Work Time [%s], Avg Wait Time [%s]",
                  m_name.c_str(), block.total, block.total - std::min(block.total, done), done, block.maxParallelism,
                  FormatTime(averageWork).c_str(), FormatTime(averageWait).c_str());
}

void ZnThreadPool2::RefreshParameters() {
  std::string name;
  {
    ZnMonitorLock lock(&m_monitor);
    if (m_name.empty() || !m_configurable) return;
    name = m_name;
  }
  const zn::detail::PoolOverrides overrides = zn::detail::ReadPoolOverrides(name);
  ZnMonitorLock lock(&m_monitor);
  if (!m_configurable) return;
  zn::detail::ApplyPoolOverrides(overrides, name, "ZnThreadPool2::RefreshParameters", m_minCount, m_maxCount,
                                 m_threadTimeout);
  CheckAndStartMoreThreads();
}
