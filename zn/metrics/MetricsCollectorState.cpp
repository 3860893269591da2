#include "zn/metrics/MetricsCollectorState.h"

#include "zn/util/ZnProcessName.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {

MetricsCollectorState& MetricsState() {
  static yq::NoDestructor<MetricsCollectorState> state;
  return state.get();
}

const std::string& MetricsProcessName() {
  // The name the log shows for the process: the program's file name.
  static const yq::NoDestructor<std::string> name(zn::RunningProcessName());
  return name.get();
}

void ResetMetricsCollector() {
  StopLoggingThread(ZnThread::kInfinite);
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

}  // namespace zn::detail
