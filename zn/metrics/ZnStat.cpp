// How updates, elapsed times and resets combine for each statistic type.

#include <cstdint>
#include <ctime>

#include "zn/metrics/ZnMetricsCollector.h"

namespace {

// Observations are 32-bit: a wider argument keeps its low 32 bits.
int ToValue(long value) { return static_cast<int>(static_cast<uint32_t>(value)); }

int WrappingAdd(int value, long delta) {
  return static_cast<int>(static_cast<uint32_t>(value) + static_cast<uint32_t>(delta));
}

bool IsMinimum(ZnStatType type) { return type == ZnStatMinimum || type == ZnStatMinElapsedTime; }

}  // namespace

ZnStat::ZnStat(const std::string& name, ZnStatType type)
    : m_name(name),
      m_type(type),
      // A new minimum starts where a reset puts it, so its first update counts.
      m_value(IsMinimum(type) ? kMinimumReset : 0),
      m_lastResetTime(static_cast<long long>(std::time(nullptr))) {}

void ZnStat::Update(long value) {
  const int v = ToValue(value);
  switch (m_type) {
    case ZnStatSum:
      m_value = WrappingAdd(m_value, value);
      break;
    case ZnStatMinimum:
      if (v >= 1 && v < m_value) m_value = v;
      break;
    case ZnStatMaximum:
      if (v > m_value) m_value = v;
      break;
    default:
      m_value = v;
      break;
  }
}

void ZnStat::Set(long value) { m_value = ToValue(value); }

void ZnStat::Increment(long delta) { m_value = WrappingAdd(m_value, delta); }

void ZnStat::StartTime(long long now) { m_startTime = now; }

void ZnStat::StopTime(long long now) {
  const int elapsed = static_cast<int>(now - m_startTime);
  switch (m_type) {
    case ZnStatMaxElapsedTime:
      if (elapsed > m_value) m_value = elapsed;
      break;
    case ZnStatMinElapsedTime:
      if (elapsed >= 1 && elapsed < m_value) m_value = elapsed;
      break;
    case ZnStatLastElapsedTime:
      m_value = elapsed;
      break;
    default:
      break;
  }
}

long ZnStat::ReadForDump(long long now) {
  const long value = m_value;
  if (m_resetType == ZnResetNever) return value;
  if (m_resetType == ZnResetOnDump) {
    Reset();
    return value;
  }
  if (m_lastResetTime + m_resetInterval < now) {
    Reset();
    m_lastResetTime = now;
  }
  return value;
}

void ZnStat::Reset() {
  switch (m_type) {
    case ZnStatSum:
    case ZnStatMaximum:
    case ZnStatMaxElapsedTime:
    case ZnStatLastElapsedTime:
      m_value = 0;
      break;
    case ZnStatMinimum:
    case ZnStatMinElapsedTime:
      m_value = kMinimumReset;
      break;
    default:
      break;  // snapshots keep their last value
  }
}
