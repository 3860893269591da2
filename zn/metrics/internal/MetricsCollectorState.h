// The collector's process-wide state and the pieces its files share: the
// registry, the enablement decision, the metrics log and the logging
// thread. Built on first use and never destroyed (the logging thread may
// still be writing at exit).
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zn/log/EvDebug.h"
#include "zn/metrics/MetricsEnablement.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zn/base/ZnCriticalSection.h"
#include "zn/sync/ZnSemaphore.h"
#include "zn/thread/ZnThread.h"

namespace zn::detail {

// ---- The registry ----

struct InstanceKey {
  std::string module;
  std::string instance;
};

struct InstanceKeyView {
  std::string_view module;
  std::string_view instance;
};

// Module first, then instance; lookups by views allocate nothing.
struct InstanceKeyLess {
  using is_transparent = void;
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    const int byModule = std::string_view(a.module).compare(b.module);
    return byModule != 0 ? byModule < 0 : std::string_view(a.instance) < std::string_view(b.instance);
  }
};

// What the logging thread and its stopper share.
struct LoggingThreadControl {
  std::atomic<bool> running{true};
  ZnEvent stop{true};
};

struct MetricsCollectorState {
  ZnCriticalSection lock;
  // Guarded by `lock`.
  std::map<InstanceKey, std::unique_ptr<ZnMetrics>, InstanceKeyLess> instances;
  std::shared_ptr<LoggingThreadControl> loggingControl;
  std::unique_ptr<ZnThread> loggingThread;
  // Written under `lock`, read without it for the quick way out.
  std::atomic<bool> initialized{false};
  std::atomic<bool> enabled{false};
  // Samplers, run before each dump; taken before `lock`, never under it.
  ZnCriticalSection samplerLock;
  std::vector<std::pair<ZnMetricsCollector::Sampler, void*>> samplers;
  // The metrics log; opened on first use, outside `lock`.
  EvDebugFileInstance metricsLog;
  std::atomic<bool> metricsLogConfigured{false};
};

MetricsCollectorState& MetricsState();

// ---- The metrics log ----

// Writes one line to the metrics log, opening it on first use. Never called
// with the collector's lock held.
void WriteMetricsLog(int level, const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Lines gathered under the collector's lock and written when the batch
// goes. Declare it before the lock holder, so the lock is released first.
class MetricsLogBatch {
 public:
  MetricsLogBatch() = default;
  ~MetricsLogBatch();
  MetricsLogBatch(const MetricsLogBatch&) = delete;
  MetricsLogBatch& operator=(const MetricsLogBatch&) = delete;

  void add(int level, const char* function, const char* format, ...) __attribute__((format(printf, 4, 5)));
  // A plain debug line written as it stands.
  void addLine(const char* function, std::string text);

 private:
  struct Line {
    int level;
    const char* function;
    std::string text;
  };
  std::vector<Line> m_lines;
};

// ---- Samplers ----

// Runs every sampler, in the order added. Never called under `lock`.
void RunMetricsSamplers();

// ---- The logging thread ----

// Starts the logging thread unless it runs. Caller holds the lock; what
// goes wrong is added to `batch`.
void StartLoggingThreadLocked(MetricsCollectorState& state, MetricsLogBatch& batch);

// Stops the logging thread (when it runs) and waits up to `waitMs` for it.
void StopLoggingThread(unsigned int waitMs);

}  // namespace zn::detail
