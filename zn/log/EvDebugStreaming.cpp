// Streaming every log line to the scale-out log service, a library loaded
// from the installation's home directory when the settings ask for it.

#include <atomic>
#include <string>

#include "zn/base/ZnCriticalSection.h"
#include "zn/log/EvDebug.h"
#include "zn/log/internal/EvDebugState.h"
#include "zn/log/LogSettings.h"
#include "zn/log/LogTesting.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXPath.h"

namespace zn::detail {
namespace {

using StreamLogFunction = void (*)(const char* application, const char* line);
using FlushLogsFunction = bool (*)(int flags);
using StreamToFunction = void (*)(const char* destination);

constexpr int kSetupNotDone = 0;
constexpr int kSetupUnderWay = -1;
constexpr int kSetupDone = 1;

struct StreamingState {
  std::atomic<int> setup{kSetupNotDone};
  // Recursive: a line written while the set-up runs (the utility library
  // reporting a library it cannot load) comes back here on the same thread,
  // sees the set-up under way and returns.
  ZnCriticalSection setupLock;
  std::atomic<bool> suppressed{false};
  std::atomic<StreamLogFunction> log{nullptr};
  std::atomic<FlushLogsFunction> flush{nullptr};
  CYqLibrary library;  // kept loaded for the life of the process
};

StreamingState& Streaming() {
  static yq::NoDestructor<StreamingState> state;
  return state.get();
}

thread_local int t_suspendStreaming = 0;

bool StreamLineHook(CYqLogger* writer, int /*level*/, const char* line) {
  StreamingState& state = Streaming();
  const StreamLogFunction log = state.log.load(std::memory_order_acquire);
  if (log == nullptr || t_suspendStreaming != 0 || state.suppressed.load(std::memory_order_relaxed)) return false;
  // Lines the service writes while streaming are not streamed again.
  ++t_suspendStreaming;
  log(writer->GetAppName().c_str(), line);
  --t_suspendStreaming;
  return false;
}

}  // namespace

std::atomic<bool> g_logStreamingSettled{false};

void RunLogStreamingSetup(bool force, const char* destination) {
  StreamingState& state = Streaming();
  if (!force && (state.setup.load(std::memory_order_acquire) == kSetupDone ||
                 state.log.load(std::memory_order_relaxed) != nullptr)) {
    return;
  }
  if (state.suppressed.load() && !force) {
    state.setup.store(kSetupDone);
    g_logStreamingSettled.store(true, std::memory_order_release);
    return;
  }
  ZnCriticalSectionLock lock(&state.setupLock);
  if (!force && state.setup.load() != kSetupNotDone) return;
  // Forced streaming overrides an earlier suppression.
  if (force) state.suppressed.store(false);
  state.setup.store(kSetupUnderWay);
  struct MarkDone {
    StreamingState& state;
    ~MarkDone() {
      state.setup.store(kSetupDone, std::memory_order_release);
      g_logStreamingSettled.store(true, std::memory_order_release);
    }
  } markDone{state};

  const std::string streamTo = LogSettings::Text(LogSettings::kEventManager, "sStreamLogsTo").value_or("");
  if (!force && streamTo.empty() && LogSettings::ComputeId().empty()) return;
  const std::string home = LogSettings::HomeDirectory();
  if (home.empty()) return;
  if (!state.library.IsLoaded() &&
      state.library.Load(FXPath::Append(home, CYqLibrary::GetLibraryNameForName("ZnScale"))).IsError()) {
    return;
  }
  void* address = nullptr;
  if (destination != nullptr && state.library.GetAddress("znScaleStreamLogsTo", address).IsSuccess()) {
    reinterpret_cast<StreamToFunction>(address)(destination);
  }
  if (state.library.GetAddress("znScaleLog", address).IsSuccess()) {
    state.log.store(reinterpret_cast<StreamLogFunction>(address), std::memory_order_release);
    CYqLogger::SetLogMessageHook(&StreamLineHook);
  }
  if (state.library.GetAddress("znScaleFlushLogs", address).IsSuccess()) {
    state.flush.store(reinterpret_cast<FlushLogsFunction>(address));
  }
}

}  // namespace zn::detail

void EvDebug::streamLogsTo(const char* destination) { zn::detail::RunLogStreamingSetup(true, destination); }

void EvDebug::forceZnScaleStreaming() { zn::detail::RunLogStreamingSetup(true, nullptr); }

void EvDebug::suppressZnScaleStreaming() { zn::detail::Streaming().suppressed.store(true); }

bool EvDebug::flushZnScaleLogs(int flags) {
  const auto flush = zn::detail::Streaming().flush.load();
  return flush != nullptr && flush(flags);
}

EvDebugZnScaleSuspendStreaming::EvDebugZnScaleSuspendStreaming() { ++zn::detail::t_suspendStreaming; }

EvDebugZnScaleSuspendStreaming::~EvDebugZnScaleSuspendStreaming() { --zn::detail::t_suspendStreaming; }

void zn::testing::ResetLogStreaming() {
  auto& state = zn::detail::Streaming();
  ZnCriticalSectionLock lock(&state.setupLock);
  CYqLogger::SetLogMessageHook(nullptr);
  state.log.store(nullptr);
  state.flush.store(nullptr);
  state.suppressed.store(false);
  state.setup.store(zn::detail::kSetupNotDone);
  zn::detail::g_logStreamingSettled.store(false);
  state.library.Free();
}
