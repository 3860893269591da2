// The collector's registry and its operations by instance and name.

#include "zn/metrics/ZnMetricsCollector.h"

#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zn/metrics/internal/ZnMetricsLocked.h"

using zn::detail::InstanceKey;
using zn::detail::InstanceKeyView;
using zn::detail::MetricsCollectorState;
using zn::detail::MetricsLogBatch;
using zn::MetricsProcessName;
using zn::detail::MetricsState;

namespace {

constexpr const char* kRegisterFunction = "ZnMetricsCollector::RegisterInstance";

long long Now() { return static_cast<long long>(std::time(nullptr)); }

bool Enabled() { return MetricsState().enabled.load(std::memory_order_acquire); }

// How a registration call names itself in its messages.
enum class Form { kOneName, kWithModule };

// The instance, made and registered when missing. `only` picks the
// messages of RegisterInstanceOnly for an instance that exists.
ZnMetrics* RegisterLocked(MetricsCollectorState& state, const std::string& module, const std::string& instance,
                          Form form, bool only, MetricsLogBatch& batch) {
  const std::string& process = MetricsProcessName();
  const bool withModule = form == Form::kWithModule;
  const auto found = state.instances.find(InstanceKeyView{module, instance});
  if (found != state.instances.end()) {
    if (only && withModule) {
      batch.add(3, kRegisterFunction,
                "Context=\"%s\" Module=\"%s\" Instance=\"%s\" already exists, not registering again, please provide "
                "unique instance name for avoiding inconsistency in statistics.",
                process.c_str(), module.c_str(), instance.c_str());
    } else if (only) {
      batch.add(3, kRegisterFunction,
                "Context=\"%s\" Instance=\"%s\" already exists, not registering again, please provide unique instance "
                "name for avoiding inconsistency in statistics.",
                process.c_str(), instance.c_str());
    } else if (withModule) {
      batch.add(3, kRegisterFunction, "Context=\"%s\" Module=\"%s\" Instance=\"%s\" already registered",
                process.c_str(), module.c_str(), instance.c_str());
    } else {
      batch.add(3, kRegisterFunction, "Context=\"%s\" Instance=\"%s\" already registered", process.c_str(),
                instance.c_str());
    }
    return found->second.get();
  }
  auto metrics = std::make_unique<ZnMetrics>(module, instance);
  ZnMetrics* const registered = metrics.get();
  state.instances.emplace(InstanceKey{module, instance}, std::move(metrics));
  if (withModule) {
    batch.add(5, kRegisterFunction, "Context=\"%s\" Module=\"%s\" Instance=\"%s\" registered.", process.c_str(),
              module.c_str(), instance.c_str());
  } else {
    batch.add(5, kRegisterFunction, "Context=\"%s\" Instance=\"%s\" registered.", process.c_str(), instance.c_str());
  }
  return registered;
}

// The instance as the operations find it: registered on the spot when
// missing, quietly when it exists.
ZnMetrics* FindLocked(MetricsCollectorState& state, const std::string& module, const std::string& instance,
                      MetricsLogBatch& batch) {
  const auto found = state.instances.find(InstanceKeyView{module, instance});
  if (found != state.instances.end()) return found->second.get();
  return RegisterLocked(state, module, instance, module.empty() ? Form::kOneName : Form::kWithModule, false, batch);
}

// Runs `operation` on an observation of an instance, while collecting.
template <typename Operation>
void OnObservation(const std::string& module, const std::string& instance, const std::string& name,
                   Operation operation) {
  if (!Enabled()) return;
  auto& state = MetricsState();
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  ZnMetrics::Locked::On(*FindLocked(state, module, instance, batch), name, batch, operation);
}

void AddObservationAs(const std::string& module, const std::string& instance, const std::string& name,
                      ZnStatType type, const std::optional<ZnMetrics::Locked::Settings>& settings) {
  if (!Enabled()) return;
  auto& state = MetricsState();
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  ZnMetrics& metrics = *FindLocked(state, module, instance, batch);
  if (settings) {
    ZnMetrics::Locked::AddIfMissing(metrics, name, type, *settings);
  } else {
    ZnMetrics::Locked::Replace(metrics, name, type);
  }
}

ZnMetrics* Register(const std::string& module, const std::string& instance, Form form, bool only) {
  if (!Enabled()) return nullptr;
  auto& state = MetricsState();
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  return RegisterLocked(state, module, instance, form, only, batch);
}

void DeRegister(const std::string& module, const std::string& instance, Form form) {
  if (!Enabled()) return;
  auto& state = MetricsState();
  std::unique_ptr<ZnMetrics> removed;  // destroyed after the lock is released
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  const auto found = state.instances.find(InstanceKeyView{module, instance});
  if (found == state.instances.end()) return;
  removed = ZnMetrics::Locked::Remove(state.instances, found, form == Form::kWithModule, batch);
}

}  // namespace

// ---- Enablement ----

void ZnMetricsCollector::Initialize() {
  auto& state = MetricsState();
  // The store is read before the lock is taken: a failing read is logged.
  std::optional<zn::MetricsSwitches> switches;
  if (!state.initialized.load(std::memory_order_acquire))
    switches = zn::ReadMetricsSwitches(MetricsProcessName());

  {
    MetricsLogBatch batch;  // the decision is in the log before the thread's first line
    ZnCriticalSectionLock lock(&state.lock);
    if (!state.initialized.load(std::memory_order_relaxed) && switches) {
      const zn::MetricsDecision decision = zn::DecideMetricsCollection(MetricsProcessName(), *switches);
      if (!decision.message.empty()) batch.add(5, "ZnMetricsCollector::Initialize", "%s", decision.message.c_str());
      state.enabled.store(decision.enabled, std::memory_order_release);
      state.initialized.store(true, std::memory_order_release);
    }
  }
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  if (state.initialized.load(std::memory_order_relaxed) && state.enabled.load(std::memory_order_relaxed)) {
    zn::detail::StartLoggingThreadLocked(state, batch);
  }
}

// ---- Registration ----

ZnMetrics* ZnMetricsCollector::RegisterInstance(const std::string& module, const std::string& instance) {
  return Register(module, instance, Form::kWithModule, false);
}

ZnMetrics* ZnMetricsCollector::RegisterInstance(const std::string& instance) {
  return Register(std::string(), instance, Form::kOneName, false);
}

void ZnMetricsCollector::RegisterInstanceOnly(const std::string& module, const std::string& instance) {
  Register(module, instance, Form::kWithModule, true);
}

void ZnMetricsCollector::RegisterInstanceOnly(const std::string& instance) {
  Register(std::string(), instance, Form::kOneName, true);
}

void ZnMetricsCollector::DeRegisterInstance(const std::string& module, const std::string& instance) {
  DeRegister(module, instance, Form::kWithModule);
}

void ZnMetricsCollector::DeRegisterInstance(const std::string& instance) {
  DeRegister(std::string(), instance, Form::kOneName);
}

ZnMetrics* ZnMetricsCollector::FindInstance(const std::string& module, const std::string& instance) {
  if (!Enabled()) return nullptr;
  auto& state = MetricsState();
  MetricsLogBatch batch;
  ZnCriticalSectionLock lock(&state.lock);
  return FindLocked(state, module, instance, batch);
}

// ---- Observations ----

void ZnMetricsCollector::AddObservation(const std::string& module, const std::string& instance,
                                        const std::string& name, ZnStatType type) {
  AddObservationAs(module, instance, name, type, std::nullopt);
}

void ZnMetricsCollector::AddObservation(const std::string& module, const std::string& instance,
                                        const std::string& name, ZnStatType type, ZnResetType resetType,
                                        int resetInterval) {
  ZnMetrics::Locked::Settings settings;
  settings.resetType = resetType;
  settings.resetInterval = resetInterval;
  AddObservationAs(module, instance, name, type, settings);
}

void ZnMetricsCollector::AddObservation(const std::string& module, const std::string& instance,
                                        const std::string& name, ZnStatType type, ZnStatLogType logType) {
  ZnMetrics::Locked::Settings settings;
  settings.logType = logType;
  AddObservationAs(module, instance, name, type, settings);
}

void ZnMetricsCollector::AddObservation(const std::string& module, const std::string& instance,
                                        const std::string& name, ZnStatType type, ZnStatLogType logType,
                                        ZnResetType resetType, int resetInterval) {
  AddObservationAs(module, instance, name, type, ZnMetrics::Locked::Settings{logType, resetType, resetInterval});
}

void ZnMetricsCollector::AddObservation(const std::string& instance, const std::string& name, ZnStatType type) {
  AddObservation(std::string(), instance, name, type);
}

void ZnMetricsCollector::AddObservation(const std::string& instance, const std::string& name, ZnStatType type,
                                        ZnResetType resetType, int resetInterval) {
  AddObservation(std::string(), instance, name, type, resetType, resetInterval);
}

void ZnMetricsCollector::AddObservation(const std::string& instance, const std::string& name, ZnStatType type,
                                        ZnStatLogType logType) {
  AddObservation(std::string(), instance, name, type, logType);
}

void ZnMetricsCollector::AddObservation(const std::string& instance, const std::string& name, ZnStatType type,
                                        ZnStatLogType logType, ZnResetType resetType, int resetInterval) {
  AddObservation(std::string(), instance, name, type, logType, resetType, resetInterval);
}

void ZnMetricsCollector::Update(const std::string& module, const std::string& instance, const std::string& name,
                                long value) {
  OnObservation(module, instance, name, [value](ZnStat& stat) { stat.Update(value); });
}

void ZnMetricsCollector::Set(const std::string& module, const std::string& instance, const std::string& name,
                             long value) {
  OnObservation(module, instance, name, [value](ZnStat& stat) { stat.Set(value); });
}

void ZnMetricsCollector::IncrementByOne(const std::string& module, const std::string& instance,
                                        const std::string& name) {
  OnObservation(module, instance, name, [](ZnStat& stat) { stat.Increment(1); });
}

void ZnMetricsCollector::DecrementByOne(const std::string& module, const std::string& instance,
                                        const std::string& name) {
  OnObservation(module, instance, name, [](ZnStat& stat) { stat.Increment(-1); });
}

void ZnMetricsCollector::StartTime(const std::string& module, const std::string& instance, const std::string& name) {
  OnObservation(module, instance, name, [](ZnStat& stat) { stat.StartTime(Now()); });
}

void ZnMetricsCollector::StopTime(const std::string& module, const std::string& instance, const std::string& name) {
  OnObservation(module, instance, name, [](ZnStat& stat) { stat.StopTime(Now()); });
}

void ZnMetricsCollector::SetObservationParameters(const std::string& module, const std::string& instance,
                                                  const std::string& name, const std::string& parameters) {
  OnObservation(module, instance, name, [&parameters](ZnStat& stat) { stat.setParameters(parameters); });
}

void ZnMetricsCollector::Update(const std::string& instance, const std::string& name, long value) {
  Update(std::string(), instance, name, value);
}

void ZnMetricsCollector::Set(const std::string& instance, const std::string& name, long value) {
  Set(std::string(), instance, name, value);
}

void ZnMetricsCollector::IncrementByOne(const std::string& instance, const std::string& name) {
  IncrementByOne(std::string(), instance, name);
}

void ZnMetricsCollector::DecrementByOne(const std::string& instance, const std::string& name) {
  DecrementByOne(std::string(), instance, name);
}

void ZnMetricsCollector::StartTime(const std::string& instance, const std::string& name) {
  StartTime(std::string(), instance, name);
}

void ZnMetricsCollector::StopTime(const std::string& instance, const std::string& name) {
  StopTime(std::string(), instance, name);
}

void ZnMetricsCollector::SetObservationParameters(const std::string& instance, const std::string& name,
                                                  const std::string& parameters) {
  SetObservationParameters(std::string(), instance, name, parameters);
}
