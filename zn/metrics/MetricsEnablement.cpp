// Whether a process collects metrics: the store's switches, and the
// processes that never do.

#include "zn/metrics/MetricsEnablement.h"

#include <string>

#include "zn/config/ZNPlatformInfo.h"

namespace zn {

namespace {

constexpr const char* kSection = "PerformanceMetrics";

std::optional<int> ReadNumber(ZNPlatformInfo& store, const char* section, const std::string& name) {
  int value = 0;
  if (store.getNumber(section, name.c_str(), &value) == 0) return std::nullopt;
  return value;
}

}  // namespace

MetricsSwitches ReadMetricsSwitches(const std::string& process) {
  ZNPlatformInfo store;
  MetricsSwitches switches;
  switches.enableAll = ReadNumber(store, kSection, "Enable_ALL");
  switches.enableProcess = ReadNumber(store, kSection, "Enable_" + process);
  switches.disableProcess = ReadNumber(store, kSection, "Disable_" + process);
  switches.laptopAgent = ReadNumber(store, "FileSystemAgent", "nLaptopAgent");
  return switches;
}

MetricsDecision DecideMetricsCollection(const std::string& process, const MetricsSwitches& switches) {
  MetricsDecision decision;
  if (switches.enableAll && *switches.enableAll == 0) {
    decision.enabled = false;
    if (switches.enableProcess && *switches.enableProcess != 0) {
      decision.enabled = true;
      decision.message = "Performance Metrics collection is enabled for " + process;
    }
  } else {
    decision.enabled = true;
    if (switches.disableProcess && *switches.disableProcess > 0) {
      decision.enabled = false;
      decision.message = "Performance Metrics collection is explicitly disabled for " + process;
    }
  }
  // Database servers and laptops never collect, whatever the switches say.
  if (process.find("ORACLE") != std::string::npos || process.find("db2sysc") != std::string::npos) {
    decision.enabled = false;
  }
  if (switches.laptopAgent && *switches.laptopAgent > 0) decision.enabled = false;
  return decision;
}

}  // namespace zn
