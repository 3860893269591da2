// Dumps: the lines of an instance, explicit dumps, the periodic dump and
// static data. Lines are built under the collector's lock and written to
// the metrics log after it is released.

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zn/metrics/internal/ZnMetricsLocked.h"

using zn::detail::MetricsLogBatch;
using zn::detail::MetricsState;

namespace {

constexpr std::size_t kPieceSize = 1024;

long long Now() { return static_cast<long long>(std::time(nullptr)); }

// `name="value"` or `name="value" (parameters)`, cut to the piece size.
std::string Piece(const ZnStat& stat, long value) {
  char piece[kPieceSize];
  if (stat.getParameters().empty()) {
    std::snprintf(piece, sizeof piece, "%s=\"%ld\"", stat.getName().c_str(), value);
  } else {
    std::snprintf(piece, sizeof piece, "%s=\"%ld\" (%s)", stat.getName().c_str(), value,
                  stat.getParameters().c_str());
  }
  return piece;
}

std::string LineStart(const std::string& process, const std::string& module, const std::string& instance) {
  std::string line = "Context=\"" + process;
  if (!module.empty()) line += "\" Module=\"" + module;
  line += "\" Instance=\"" + instance;
  return line;
}

}  // namespace

void ZnMetrics::Locked::CollectLines(ZnMetrics& metrics, bool periodic, long long now,
                                     std::vector<std::string>& lines) {
  std::string snapshot;
  std::string delta;
  std::string other;
  for (const auto& [name, stat] : metrics.m_stats) {
    const ZnStatLogType skipped = periodic ? ZnStatLogExplicit : ZnStatLogPeriodic;
    if (stat->getLogType() == skipped) continue;
    const long value = stat->ReadForDump(now);
    std::string& group = stat->getType() == ZnStatSnapShot ? snapshot : stat->getType() == ZnStatSum ? delta : other;
    group += Piece(*stat, value);
    group += ' ';
  }
  const std::string start = LineStart(zn::MetricsProcessName(), metrics.m_moduleName, metrics.m_name);
  if (!snapshot.empty()) lines.push_back(start + "\" Type=\"SnapShot\" " + snapshot);
  if (!delta.empty()) lines.push_back(start + "\" Type=\"Delta\" " + delta);
  if (!other.empty()) lines.push_back(start + "\" Type=\"Other\" " + other);
}

void ZnMetrics::DumpStatistics() {
  zn::detail::RunMetricsSamplers();
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&MetricsState().lock);
  std::vector<std::string> lines;
  Locked::CollectLines(*this, false, Now(), lines);
  for (std::string& line : lines) batch.addLine("ZnMetrics::DumpStatistics", std::move(line));
}

void ZnMetricsCollector::DumpStatistics(const std::string& module, const std::string& instance) {
  auto& state = MetricsState();
  if (!state.enabled.load(std::memory_order_acquire)) return;
  zn::detail::RunMetricsSamplers();
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  const auto found = state.instances.find(zn::detail::InstanceKeyView{module, instance});
  if (found == state.instances.end()) return;
  std::vector<std::string> lines;
  ZnMetrics::Locked::CollectLines(*found->second, false, Now(), lines);
  for (std::string& line : lines) batch.addLine("ZnMetricsCollector::DumpStatistics", std::move(line));
}

void ZnMetricsCollector::DumpStatistics(const std::string& instance) { DumpStatistics(std::string(), instance); }

void ZnMetricsCollector::DumpStatisticsOnThread() {
  auto& state = MetricsState();
  if (!state.enabled.load(std::memory_order_acquire)) return;
  zn::detail::RunMetricsSamplers();  // before the lock: samplers update through it
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  const long long now = Now();
  std::vector<std::string> lines;
  for (auto& entry : state.instances) ZnMetrics::Locked::CollectLines(*entry.second, true, now, lines);
  for (std::string& line : lines) batch.addLine("ZnMetricsCollector::DumpStatisticsOnThread", std::move(line));
}

void ZnMetricsCollector::DumpStaticData(const std::string& module, const std::string& instance,
                                        const std::string& text) {
  if (!MetricsState().enabled.load(std::memory_order_acquire)) return;
  zn::detail::WriteMetricsLog(0, "ZnMetricsCollector::DumpStaticData",
                              "Context=\"%s\" Module=\"%s\" Instance=\"%s\" %s ",
                              zn::MetricsProcessName().c_str(), module.c_str(), instance.c_str(), text.c_str());
}
