// One instance's observations: adding them and the operations on them.

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zn/metrics/internal/ZnMetricsLocked.h"

using zn::detail::MetricsLogBatch;
using zn::detail::MetricsState;

namespace {

long long Now() { return static_cast<long long>(std::time(nullptr)); }

// Runs `body(batch)` under the collector's lock; the batch is written after
// the lock is released.
template <typename Body>
void UnderLock(Body body) {
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&MetricsState().lock);
  body(batch);
}

}  // namespace

// ---- Bodies under the lock ----

void ZnMetrics::Locked::Replace(ZnMetrics& metrics, const std::string& name, ZnStatType type) {
  metrics.m_stats.insert_or_assign(name, std::make_unique<ZnStat>(name, type));
}

void ZnMetrics::Locked::AddIfMissing(ZnMetrics& metrics, const std::string& name, ZnStatType type,
                                     const Settings& settings) {
  if (metrics.m_stats.find(name) != metrics.m_stats.end()) return;
  auto stat = std::make_unique<ZnStat>(name, type);
  stat->setLogType(settings.logType);
  stat->setResetType(settings.resetType);
  stat->setResetInterval(settings.resetInterval);
  metrics.m_stats.emplace(name, std::move(stat));
}

ZnStat* ZnMetrics::Locked::Find(ZnMetrics& metrics, const std::string& name, MetricsLogBatch& batch) {
  const auto found = metrics.m_stats.find(name);
  if (found != metrics.m_stats.end()) return found->second.get();
  batch.add(3, "ZnMetrics::FindStat",
            "The observation/counter [%s] is not found for instance [%s] module [%s], the operation on "
            "observation/counter is called without adding observation/counter, we are returning NULL pointer.",
            name.c_str(), metrics.m_name.c_str(), metrics.m_moduleName.c_str());
  return nullptr;
}

std::unique_ptr<ZnMetrics> ZnMetrics::Locked::Remove(InstanceMap& instances, InstanceMap::iterator entry,
                                                   bool withModule, MetricsLogBatch& batch) {
  constexpr const char* kFunction = "ZnMetricsCollector::DeRegisterInstance";
  const std::string& process = zn::MetricsProcessName();
  const std::string module = entry->first.module;
  const std::string instance = entry->first.instance;
  std::unique_ptr<ZnMetrics> removed = std::move(entry->second);
  instances.erase(entry);
  for (const auto& stat : removed->m_stats) {
    if (withModule) {
      batch.add(5, kFunction, "Context=\"%s\" Module=\"%s\" Instance=\"%s\" observation=\"%s\" successfully removed.",
                process.c_str(), module.c_str(), instance.c_str(), stat.first.c_str());
    } else {
      batch.add(5, kFunction, "Context=\"%s\" Instance=\"%s\" observation=\"%s\" successfully removed.",
                process.c_str(), instance.c_str(), stat.first.c_str());
    }
  }
  if (withModule) {
    batch.add(5, kFunction, "Context=\"%s\" Module=\"%s\" Instance=\"%s\" successfully removed.", process.c_str(),
              module.c_str(), instance.c_str());
  } else {
    batch.add(5, kFunction, "Context=\"%s\" Instance=\"%s\" successfully removed.", process.c_str(),
              instance.c_str());
  }
  return removed;
}

// ---- ZnMetrics ----

ZnMetrics::ZnMetrics() = default;

ZnMetrics::ZnMetrics(const std::string& moduleName, const std::string& name) : m_name(name), m_moduleName(moduleName) {}

ZnMetrics::~ZnMetrics() = default;

void ZnMetrics::AddObservation(const std::string& name, ZnStatType type) {
  UnderLock([&](MetricsLogBatch&) { Locked::Replace(*this, name, type); });
}

void ZnMetrics::AddObservation(const std::string& name, ZnStatType type, ZnResetType resetType, int resetInterval) {
  Locked::Settings settings;
  settings.resetType = resetType;
  settings.resetInterval = resetInterval;
  UnderLock([&](MetricsLogBatch&) { Locked::AddIfMissing(*this, name, type, settings); });
}

void ZnMetrics::AddObservation(const std::string& name, ZnStatType type, ZnStatLogType logType) {
  Locked::Settings settings;
  settings.logType = logType;
  UnderLock([&](MetricsLogBatch&) { Locked::AddIfMissing(*this, name, type, settings); });
}

void ZnMetrics::AddObservation(const std::string& name, ZnStatType type, ZnStatLogType logType,
                               ZnResetType resetType, int resetInterval) {
  const Locked::Settings settings{logType, resetType, resetInterval};
  UnderLock([&](MetricsLogBatch&) { Locked::AddIfMissing(*this, name, type, settings); });
}

void ZnMetrics::Update(const std::string& name, long value) {
  UnderLock([&](MetricsLogBatch& batch) { Locked::On(*this, name, batch, [&](ZnStat& s) { s.Update(value); }); });
}

void ZnMetrics::Set(const std::string& name, long value) {
  UnderLock([&](MetricsLogBatch& batch) { Locked::On(*this, name, batch, [&](ZnStat& s) { s.Set(value); }); });
}

void ZnMetrics::Increment(const std::string& name, long delta) {
  UnderLock([&](MetricsLogBatch& batch) { Locked::On(*this, name, batch, [&](ZnStat& s) { s.Increment(delta); }); });
}

void ZnMetrics::IncrementByOne(const std::string& name) { Increment(name, 1); }

void ZnMetrics::DecrementByOne(const std::string& name) { Increment(name, -1); }

void ZnMetrics::StartTime(const std::string& name) {
  UnderLock([&](MetricsLogBatch& batch) { Locked::On(*this, name, batch, [](ZnStat& s) { s.StartTime(Now()); }); });
}

void ZnMetrics::StopTime(const std::string& name) {
  UnderLock([&](MetricsLogBatch& batch) { Locked::On(*this, name, batch, [](ZnStat& s) { s.StopTime(Now()); }); });
}

void ZnMetrics::SetObservationParameters(const std::string& name, const std::string& parameters) {
  UnderLock([&](MetricsLogBatch& batch) {
    Locked::On(*this, name, batch, [&](ZnStat& s) { s.setParameters(parameters); });
  });
}

bool ZnMetrics::getValue(const std::string& name, long& value) {
  bool found = false;
  UnderLock([&](MetricsLogBatch& batch) {
    Locked::On(*this, name, batch, [&](ZnStat& s) {
      value = s.getValue();
      found = true;
    });
  });
  return found;
}

ZnStat* ZnMetrics::FindStat(const std::string& name) {
  ZnStat* stat = nullptr;
  UnderLock([&](MetricsLogBatch& batch) { stat = Locked::Find(*this, name, batch); });
  return stat;
}

void ZnMetrics::SetName(const std::string& name) {
  UnderLock([&](MetricsLogBatch&) { m_name = name; });
}

void ZnMetrics::SetModuleName(const std::string& moduleName) {
  UnderLock([&](MetricsLogBatch&) { m_moduleName = moduleName; });
}

std::string ZnMetrics::GetName() const {
  ZnCriticalSectionLock lock(&MetricsState().lock);
  return m_name;
}

std::string ZnMetrics::GetModuleName() const {
  ZnCriticalSectionLock lock(&MetricsState().lock);
  return m_moduleName;
}

void ZnMetrics::DeRegisterInstance() {
  // Destroyed last, after the messages are written: it may be this object.
  std::unique_ptr<ZnMetrics> removed;
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&MetricsState().lock);
  auto& instances = MetricsState().instances;
  const auto found = instances.find(zn::detail::InstanceKeyView{m_moduleName, m_name});
  if (found == instances.end() || found->second.get() != this) return;
  removed = Locked::Remove(instances, found, !m_moduleName.empty(), batch);
}
