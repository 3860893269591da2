// The metrics log: the debug-log file "PerformanceMetrics", opened on first
// use with a 10 MB file size and seven days of retention.

#include <cassert>
#include <cstdarg>
#include <string>
#include <utility>

#include "zn/log/EvDebug.h"
#include "zn/metrics/internal/MetricsCollectorState.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXString.h"

namespace zn::detail {

namespace {

constexpr const char* kMetricsLogName = "PerformanceMetrics";
constexpr unsigned long long kMetricsLogSizeMb = 10;
constexpr unsigned long long kMetricsLogRetentionSeconds = 604800;

// A handle on the metrics log, opened when it is not yet.
EvDebug OpenMetricsLog() {
  auto& state = MetricsState();
  EvDebug log(&state.metricsLog);
  if (state.metricsLog.m_state.load(std::memory_order_acquire) == EvDebugFileInstance::kOpen) return log;
  if (!log.initialize(EvDebug::getLogId(kMetricsLogName), 0, nullptr, false)) return log;
  if (!state.metricsLogConfigured.exchange(true)) {
    log.setLogFileSize(kMetricsLogSizeMb);
    if (CYqLogger* writer = state.metricsLog.m_writer.load()) writer->SetRetainLogsTill(kMetricsLogRetentionSeconds);
  }
  return log;
}

void WriteLine(int level, const char* function, const std::string& text) {
  // The rule the collector lives by: the log is never written under its lock.
  assert(!MetricsState().lock.locked());
  EvDebug log = OpenMetricsLog();
  if (level == 0) {
    log.Debug(function, "%s", text.c_str());
  } else {
    log.DebugLvl(function, level, "%s", text.c_str());
  }
}

// The text of a printf-style format.
std::string Formatted(const char* format, va_list args) {
  std::string text;
  FXString::FormatArgList(text, format, args);
  return text;
}

}  // namespace

void WriteMetricsLog(int level, const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Formatted(format, args);
  va_end(args);
  WriteLine(level, function, text);
}

MetricsLogBatch::~MetricsLogBatch() {
  for (const Line& line : m_lines) WriteLine(line.level, line.function, line.text);
}

void MetricsLogBatch::add(int level, const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = Formatted(format, args);
  va_end(args);
  m_lines.push_back(Line{level, function, std::move(text)});
}

void MetricsLogBatch::addLine(const char* function, std::string text) {
  m_lines.push_back(Line{0, function, std::move(text)});
}

}  // namespace zn::detail
