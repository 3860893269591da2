// The bodies of the ZnMetrics operations, run with the collector's lock
// held by the caller. Messages go into the caller's batch, which writes
// them once the lock is released.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zn/metrics/ZnMetricsCollector.h"

struct ZN_HIDDEN ZnMetrics::Locked {
  // The settings of the longer AddObservation forms.
  struct Settings {
    ZnStatLogType logType = ZnStatLogPeriodic;
    ZnResetType resetType = ZnResetOnDump;
    int resetInterval = 0;
  };

  // The type-only form: always a new observation.
  static void Replace(ZnMetrics& metrics, const std::string& name, ZnStatType type);
  // The longer forms: a new observation only when the name is new.
  static void AddIfMissing(ZnMetrics& metrics, const std::string& name, ZnStatType type, const Settings& settings);

  // The observation, or null after adding the "not found" message.
  static ZnStat* Find(ZnMetrics& metrics, const std::string& name, zn::detail::MetricsLogBatch& batch);

  // Applies `operation` to the observation when it exists.
  template <typename Operation>
  static void On(ZnMetrics& metrics, const std::string& name, zn::detail::MetricsLogBatch& batch,
                 Operation operation) {
    if (ZnStat* stat = Find(metrics, name, batch)) operation(*stat);
  }

  // The dump lines of the instance: the periodic dump takes observations of
  // log type other than 1, an explicit one those other than 0.
  static void CollectLines(ZnMetrics& metrics, bool periodic, long long now, std::vector<std::string>& lines);

  using InstanceMap = decltype(zn::detail::MetricsCollectorState::instances);
  // Takes an instance out of the registry, adding the removal messages of
  // its observations and of itself. The caller destroys it after the lock
  // is released.
  static std::unique_ptr<ZnMetrics> Remove(InstanceMap& instances, InstanceMap::iterator entry, bool withModule,
                                           zn::detail::MetricsLogBatch& batch);
  static const std::string& Name(const ZnMetrics& metrics) { return metrics.m_name; }
  static const std::string& ModuleName(const ZnMetrics& metrics) { return metrics.m_moduleName; }
};
