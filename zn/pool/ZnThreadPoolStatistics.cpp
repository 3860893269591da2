// What a pool reports: its statistics line, the store's overrides of its
// limits, and the time and size texts of the line.

#include <algorithm>
#include <cstdio>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/pool/internal/PerformanceCounter.h"
#include "zn/pool/internal/PoolOverrides.h"
#include "zn/pool/internal/ThreadPoolGauges.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

std::string FormatScaled(double value, const char* const* units, int unitCount, double step, bool upwards) {
  int unit = 0;
  if (value != 0.0) {
    while (unit + 1 < unitCount && (upwards ? value >= step : value < 1.0)) {
      value = upwards ? value / step : value * step;
      ++unit;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %s", value, units[unit]);
  return text;
}

}  // namespace

std::string FormatTime(double seconds) {
  static const char* const kUnits[] = {"s", "ms", "us", "ns"};
  return FormatScaled(seconds, kUnits, 4, 1000.0, false);
}

std::string FormatBytes(unsigned long long bytes) {
  static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB"};
  return FormatScaled(static_cast<double>(bytes), kUnits, 6, 1024.0, true);
}

void ZnThreadPool::Monitor() {
  if (m_name.empty()) return;
  for (int index = 0; index < 2; ++index) {
    uint32_t total = 0, completed = 0, maxParallel = 0;
    unsigned long long workTicks = 0, waitTicks = 0;
    {
      ZnCriticalSectionLock lock(&m_statisticsLock);
      StatisticsBlock& live = m_statistics[index];
      LaneCounts& counts = countsOf(index);
      if (counts.statisticsTotal() == 0) continue;
      // Completed first: an item that ends meanwhile is counted in the next
      // report, never in neither, and every item counted completed is in
      // the total read after it.
      completed = live.completed.exchange(0);
      total = counts.statisticsTotal();
      counts.reported += std::min(completed, total);  // what is still pending carries over
      maxParallel = live.maxParallel.exchange(0);
      workTicks = live.workTicks.exchange(0);
      waitTicks = live.waitTicks.exchange(0);
    }
    struct {
      uint32_t total, completed, maxParallel;
      unsigned long long workTicks, waitTicks;
    } block{total, completed, maxParallel, workTicks, waitTicks};
    const uint32_t done = block.completed;
    const double averageWork = done == 0 ? 0.0 : zn::detail::TicksToSeconds(block.workTicks) / done;
    const double averageWait = done == 0 ? 0.0 : zn::detail::TicksToSeconds(block.waitTicks) / done;
    EvDebug().Debug("ZnThreadPool::Monitor",
                    "TPool [%s]. Ser# [%d] Tot [%u], Pend [%u], Comp [%u], Max Par [%u], Avg Work Time [%s], Avg "
                    "Wait Time [%s]",
                    m_name.c_str(), index, block.total, block.total - block.completed, block.completed,
                    block.maxParallel, FormatTime(averageWork).c_str(), FormatTime(averageWait).c_str());
  }
}

void ZnThreadPool::RefreshParameters() {
  std::string name;
  {
    ZnCriticalSectionLock lock(&m_poolLock);
    if (m_name.empty() || !m_configurable) return;
    name = m_name;
  }
  const zn::detail::PoolOverrides overrides = zn::detail::ReadPoolOverrides(name);
  ZnCriticalSectionLock lock(&m_poolLock);
  if (!m_configurable) return;
  uint32_t timeout = m_threadTimeout;
  uint32_t maximum = m_maxCount;
  if (zn::detail::ApplyPoolOverrides(overrides, name, "ZnThreadPool::RefreshParameters", m_minCount, maximum,
                                     timeout)) {
    m_threadTimeout = timeout;
  }
  m_maxCount = maximum;
  CheckAndStartMoreThreads();
}
