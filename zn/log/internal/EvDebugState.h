// The log's process-wide state: the default instance, the writer list and
// the three locks of the log, the thread-level count, the refresh interval
// and the list of switched-off logs. Built at static initialisation and
// never destroyed.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "zn/log/EvDebug.h"
#include "zn/base/ZnCriticalSection.h"
#include "zuzazer/CYqLogger.h"

namespace zn::detail {

struct EvDebugState {
  EvDebugFileInstance defaultInstance;

  ZnCriticalSection writerListLock;
  // One writer per distinct log file of the process. Writers taken off the
  // list are closed and retired, not freed: an instance that still points
  // at one then drops its lines instead of touching freed memory.
  std::vector<std::unique_ptr<CYqLogger>> writers;
  std::vector<std::unique_ptr<CYqLogger>> retiredWriters;

  ZnCriticalSection settingsLock;
  std::vector<std::string> switchedOffLogs;  // upper-cased module names

  ZnCriticalSection threadLevelLock;
  std::atomic<int> threadLevelCount{0};

  std::atomic<int> refreshIntervalSeconds{0};
  std::atomic<bool> affinityAttempted{false};
  std::atomic<bool> gflagsReportOn{true};
};

EvDebugState& LogState();

// The calling thread's stack of pushed instances; null while empty.
std::unique_ptr<std::vector<EvDebugFileInstance*>>& ThreadInstanceStack();

// Closes `writer`, moves it from the list to the retired writers. Caller
// holds the writer-list lock.
void RetireWriterLocked(EvDebugState& state, std::size_t index);

// The system-log sink handed to writers: syslog(3), LOG_DAEMON, LOG_INFO.
void SysLogCallback(const char* text);

// The streaming set-up run before every message. Once it has settled the
// write path only reads the flag.
void RunLogStreamingSetup(bool force, const char* destination);
extern std::atomic<bool> g_logStreamingSettled;

inline void EnsureLogStreamingSetup() {
  if (!g_logStreamingSettled.load(std::memory_order_acquire)) RunLogStreamingSetup(false, nullptr);
}

}  // namespace zn::detail
