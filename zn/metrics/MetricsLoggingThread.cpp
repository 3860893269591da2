// The logging thread: one per process while collection is on, writing the
// periodic dump every "LoggingThreadFrequency_<process>" milliseconds.

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/error/ZnException.h"
#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zuzazer/YqSleep.h"

namespace zn::detail {

namespace {

constexpr unsigned long kDefaultFrequencyMs = 60000;
// How long StopThreadSignal waits for the thread's last dump.
constexpr unsigned int kStopWaitMs = 30000;
constexpr const char* kThreadFunction = "ZnMetricsCollector::LoggingThread";

unsigned long ReadFrequency() {
  ZNPlatformInfo store;
  unsigned long frequency = 0;
  const std::string name = "LoggingThreadFrequency_" + MetricsProcessName();
  if (store.getNumber("PerformanceMetrics", name.c_str(), &frequency) == 0 || frequency == 0) {
    return kDefaultFrequencyMs;
  }
  WriteMetricsLog(3, kThreadFunction, "Setting logging thread Frequency to [%lu] milliseconds.", frequency);
  return frequency;
}

unsigned int LoggingThreadMain(void* argument) {
  const std::unique_ptr<std::shared_ptr<LoggingThreadControl>> owned(
      static_cast<std::shared_ptr<LoggingThreadControl>*>(argument));
  LoggingThreadControl& control = **owned;
  WriteMetricsLog(5, kThreadFunction, "Context=\"%s\" Starting logging thread.", MetricsProcessName().c_str());
  const unsigned long frequency = ReadFrequency();
  while (control.running.load(std::memory_order_acquire)) {
    ZnMetricsCollector::DumpStatisticsOnThread();
    try {
      control.stop.wait(frequency);
    } catch (const ZnException&) {
      YQSLEEP(frequency);  // the event failed: keep the rhythm anyway
    }
  }
  return 0;
}

}  // namespace

void StartLoggingThreadLocked(MetricsCollectorState& state, MetricsLogBatch& batch) {
  if (state.loggingControl) return;
  auto control = std::make_shared<LoggingThreadControl>();
  auto argument = std::make_unique<std::shared_ptr<LoggingThreadControl>>(control);
  auto thread = std::make_unique<ZnThread>();
  if (thread->createThread(&LoggingThreadMain, argument.get()) == nullptr) {
    const int error = errno;
    batch.add(-1, "ZnMetricsCollector::Initialize", "Failed to start the metrics logging thread. Error : [%d] [%s].",
              error, std::strerror(error));
    return;
  }
  argument.release();  // the thread owns it now
  state.loggingControl = std::move(control);
  state.loggingThread = std::move(thread);
}

void StopLoggingThread(unsigned int waitMs) {
  auto& state = MetricsState();
  std::shared_ptr<LoggingThreadControl> control;
  std::unique_ptr<ZnThread> thread;
  {
    ZnCriticalSectionLock lock(&state.lock);
    control = std::move(state.loggingControl);
    thread = std::move(state.loggingThread);
  }
  if (!control) return;
  control->running.exchange(false, std::memory_order_acq_rel);
  control->stop.set();
  // Called on the logging thread itself, there is nothing to wait for.
  if (thread->getThreadID() == ZnThread::getCurrentThreadID()) return;
  if (!thread->joinThread(waitMs)) {
    WriteMetricsLog(-1, "ZnMetricsCollector::StopThreadSignal",
                    "The metrics logging thread did not end within [%u] milliseconds; it ends after its current dump.",
                    waitMs);
  }
}

}  // namespace zn::detail

void ZnMetricsCollector::StopThreadSignal() { zn::detail::StopLoggingThread(zn::detail::kStopWaitMs); }
