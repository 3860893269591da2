// Whether this process collects metrics: the store values that decide it
// and the decision with its message.
#pragma once

#include <optional>
#include <string>

#include "zn/base/ZnExport.h"

namespace zn {

// The store values that decide whether a process collects; each absent
// when it cannot be read.
struct ZN_EXPORT MetricsSwitches {
  std::optional<int> enableAll;        // "PerformanceMetrics"/"Enable_ALL"
  std::optional<int> enableProcess;    // "Enable_<process>"
  std::optional<int> disableProcess;   // "Disable_<process>"
  std::optional<int> laptopAgent;      // "FileSystemAgent"/"nLaptopAgent"
};

ZN_EXPORT MetricsSwitches ReadMetricsSwitches(const std::string& process);

struct ZN_EXPORT MetricsDecision {
  bool enabled = false;
  std::string message;  // for the metrics log at level 5; empty for none
};

ZN_EXPORT MetricsDecision DecideMetricsCollection(const std::string& process, const MetricsSwitches& switches);

// The process name every metrics line names as its Context.
ZN_EXPORT const std::string& MetricsProcessName();

}  // namespace zn
