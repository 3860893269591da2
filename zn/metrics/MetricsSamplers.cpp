// Samplers: counters kept outside the collector, handed over before dumps.

#include <algorithm>
#include <cassert>
#include <utility>

#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zn/metrics/ZnMetricsCollector.h"

namespace zn::detail {

void RunMetricsSamplers() {
  auto& state = MetricsState();
  assert(!state.lock.locked());
  // Held for the whole pass, so a remover waits for a sample in progress.
  // By index: a sampler may remove itself or others (on this thread).
  ZnCriticalSectionLock lock(&state.samplerLock);
  for (std::size_t i = 0; i < state.samplers.size(); ++i) {
    const auto sampler = state.samplers[i];
    sampler.first(sampler.second);
    if (i < state.samplers.size() && state.samplers[i] != sampler) --i;  // removed: the next moved here
  }
}

}  // namespace zn::detail

void ZnMetricsCollector::AddSampler(Sampler sampler, void* argument) {
  if (sampler == nullptr) return;
  auto& state = zn::detail::MetricsState();
  ZnCriticalSectionLock lock(&state.samplerLock);
  const std::pair<Sampler, void*> entry(sampler, argument);
  if (std::find(state.samplers.begin(), state.samplers.end(), entry) == state.samplers.end()) {
    state.samplers.push_back(entry);
  }
}

void ZnMetricsCollector::RemoveSampler(Sampler sampler, void* argument) {
  auto& state = zn::detail::MetricsState();
  ZnCriticalSectionLock lock(&state.samplerLock);
  const auto found = std::find(state.samplers.begin(), state.samplers.end(), std::make_pair(sampler, argument));
  if (found != state.samplers.end()) state.samplers.erase(found);
}
