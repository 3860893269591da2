#include "zn/metrics/internal/MetricsCollectorState.h"

#include "zn/metrics/MetricsTesting.h"
#include "zn/util/ZnProcessName.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {

MetricsCollectorState& MetricsState() {
  static yq::NoDestructor<MetricsCollectorState> state;
  return state.get();
}

}  // namespace zn::detail

namespace zn {

const std::string& MetricsProcessName() {
  // The name the log shows for the process: the program's file name.
  static const yq::NoDestructor<std::string> name(zn::RunningProcessName());
  return name.get();
}

}  // namespace zn

namespace zn::testing {

using detail::InstanceKey;
using detail::InstanceKeyLess;
using detail::MetricsState;

void ResetMetricsCollector() {
  detail::StopLoggingThread(ZnThread::kInfinite);
  auto& state = MetricsState();
  std::map<InstanceKey, std::unique_ptr<ZnMetrics>, InstanceKeyLess> instances;
  {
    ZnCriticalSectionLock lock(&state.lock);
    instances.swap(state.instances);
    state.initialized.store(false);
    state.enabled.store(false);
  }
  state.metricsLog = EvDebugFileInstance();
  state.metricsLogConfigured.store(false);
}

bool MetricsCollectorLockHeld() { return MetricsState().lock.locked(); }
bool MetricsLoggingThreadRunning() { return MetricsState().loggingThread != nullptr; }

std::size_t MetricsInstanceCount() {
  auto& state = MetricsState();
  ZnCriticalSectionLock lock(&state.lock);
  return state.instances.size();
}

EvDebugFileInstance& MetricsLogInstance() { return MetricsState().metricsLog; }

}  // namespace zn::testing
