// EvDebug handles, instance resolution, the entry points and the write path.

#include "zn/log/EvDebug.h"

#include <ctime>
#include <string>

#include "zn/log/internal/EvDebugState.h"
#include "zn/log/LogTesting.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXThreadId.h"

namespace zn::detail {

EvDebugState& LogState() {
  static yq::NoDestructor<EvDebugState> state;
  return state.get();
}

namespace {

// The default instance and the locks exist before any caller's code runs;
// the write path reads this pointer instead of asking LogState() each time.
EvDebugState* const g_state = &LogState();

}  // namespace

std::unique_ptr<std::vector<EvDebugFileInstance*>>& ThreadInstanceStack() {
  thread_local std::unique_ptr<std::vector<EvDebugFileInstance*>> stack;
  return stack;
}

}  // namespace zn::detail

using zn::detail::LogState;

// ---- EvDebugFileInstance ----

EvDebugFileInstance::EvDebugFileInstance(const EvDebugFileInstance& other) { *this = other; }

EvDebugFileInstance& EvDebugFileInstance::operator=(const EvDebugFileInstance& other) {
  if (this == &other) return *this;
  m_state.store(other.m_state.load());
  m_writerIndex = other.m_writerIndex;
  m_writer.store(other.m_writer.load());
  m_debugLevel.store(other.m_debugLevel.load());
  m_defaultDebugLevel = other.m_defaultDebugLevel;
  m_jobId.store(other.m_jobId.load());
  m_moduleName = other.m_moduleName;
  m_moduleLoggingOff.store(other.m_moduleLoggingOff.load());
  m_prefixMessage = other.m_prefixMessage;
  m_hasPrefixMessage.store(other.m_hasPrefixMessage.load());
  m_lastRefresh.store(other.m_lastRefresh.load());
  return *this;
}

// ---- Handles ----

EvDebug::EvDebug(EvDebugFileInstance* instance)
    : m_instance(instance != nullptr ? instance : &LogState().defaultInstance),
      m_flags(instance != nullptr ? 0u : kFollowsDefault) {}

EvDebug::EvDebug(const EvDebug& other)
    : ZNPI_Focus(), m_instance(other.m_instance), m_flags(other.m_flags), m_threadId(other.m_threadId) {}

EvDebug& EvDebug::operator=(const EvDebug& other) {
  m_instance = other.m_instance;
  m_flags = other.m_flags;
  m_threadId = other.m_threadId;
  return *this;
}

EvDebug::~EvDebug() = default;

EvDebugFileInstance* EvDebug::resolveInstance() {
  if ((m_flags & kFollowsDefault) == 0) return m_instance;
  // During static initialisation of other libraries the pointer may not be
  // set yet.
  auto& state = zn::detail::g_state != nullptr ? *zn::detail::g_state : LogState();
  EvDebugFileInstance* fallback = &state.defaultInstance;
  if (state.threadLevelCount.load(std::memory_order_relaxed) != 0 &&
      fallback->m_state.load(std::memory_order_acquire) == EvDebugFileInstance::kOpen) {
    m_threadId = yq::CurrentThreadId();
    const auto& stack = zn::detail::ThreadInstanceStack();
    if (stack && !stack->empty()) return stack->back();
  }
  return fallback;
}

// ---- The write path ----

namespace {

// The part of the write path after the filter, kept out of line so the
// path of a dropped message stays short.
[[gnu::noinline]] void WriteAdmitted(EvDebugFileInstance& instance, int level, long auxiliary, const char* function,
                                     unsigned long line, long long jobId, const char* context, const char* format,
                                     va_list args) {
  CYqLogger* writer = instance.m_writer.load(std::memory_order_acquire);
  if (writer == nullptr) return;
  if (jobId == 0) jobId = instance.m_jobId.load(std::memory_order_relaxed);
  std::string prefix;
  if ((context == nullptr || context[0] == '\0') && instance.m_hasPrefixMessage.load(std::memory_order_acquire)) {
    ZnCriticalSectionLock lock(&zn::detail::g_state->settingsLock);
    prefix = instance.m_prefixMessage;
  }
  if (!prefix.empty()) context = prefix.c_str();
  writer->LogMessageV(level, auxiliary, function, line, jobId, context, format, args);
}

}  // namespace

void EvDebug::handleMsgEventDebug_NEW(int level, long auxiliary, const char* function, unsigned long line,
                                      int /*unused*/, long long jobId, const char* context, const char* format,
                                      va_list args) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance->m_state.load(std::memory_order_acquire) != EvDebugFileInstance::kOpen) return;
  zn::detail::EnsureLogStreamingSetup();

  auto& state = *zn::detail::g_state;
  const long long now = static_cast<long long>(::time(nullptr));
  if (now - instance->m_lastRefresh.load(std::memory_order_relaxed) >
      state.refreshIntervalSeconds.load(std::memory_order_relaxed)) {
    instance->m_lastRefresh.store(now, std::memory_order_relaxed);
    EvDebug(instance).refreshAllParams();
  }

  if (m_bTurnOffAllLogs.load(std::memory_order_relaxed) ||
      instance->m_moduleLoggingOff.load(std::memory_order_relaxed) ||
      instance->m_debugLevel.load(std::memory_order_relaxed) < level) {
    return;
  }
  WriteAdmitted(*instance, level, auxiliary, function, line, jobId, context, format, args);
}

void EvDebug::handleMsgEventDebug_NEW(int level, const char* function, unsigned long line, int unused,
                                      long long jobId, const char* context, const char* format, va_list args) {
  handleMsgEventDebug_NEW(level, 0L, function, line, unused, jobId, context, format, args);
}

void EvDebug::handleMsgEventDebug_NEW(int level, const char* function, int unused, long long jobId,
                                      const char* context, const char* format, va_list args) {
  handleMsgEventDebug_NEW(level, 0L, function, 0UL, unused, jobId, context, format, args);
}

// ---- Entry points ----

#define ZN_FORWARD_VARARGS(last, call) \
  va_list args;                        \
  va_start(args, last);                \
  call;                                \
  va_end(args)

void EvDebug::Debug(const char* function, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(0, function, 0, 0, nullptr, format, args));
}

void EvDebug::Error(const char* function, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(-1, function, 0, 0, nullptr, format, args));
}

void EvDebug::DebugLvl(const char* function, int level, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, function, 0, 0, nullptr, format, args));
}

void EvDebug::DebugLvl(const char* function, int level, long long jobId, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, function, 0, jobId, nullptr, format, args));
}

void EvDebug::DebugLvl(const char* function, long auxiliary, int level, long long jobId, const char* format, ...) {
  ZN_FORWARD_VARARGS(format,
                     handleMsgEventDebug_NEW(level, auxiliary, function, 0UL, 0, jobId, nullptr, format, args));
}

void EvDebug::DebugJob(int level, const char* context, long long jobId, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, nullptr, 0, jobId, context, format, args));
}

void EvDebug::DebugJob(const char* context, long long jobId, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(0, nullptr, 0, jobId, context, format, args));
}

void EvDebug::DebugFLDJ(const char* function, unsigned long line, int level, long long jobId, const char* format,
                        ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, function, line, 0, jobId, nullptr, format, args));
}

void EvDebug::LogMessage(int level, const char* function, unsigned long line, long long jobId, const char* context,
                         const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, function, line, 0, jobId, context, format, args));
}

void EvDebug::debug(const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(0, nullptr, 0, 0, nullptr, format, args));
}

void EvDebug::debug_args(const char* format, va_list args) {
  handleMsgEventDebug_NEW(0, nullptr, 0, 0, nullptr, format, args);
}

void EvDebug::debug(int /*ignored*/, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(0, nullptr, 0, 0, nullptr, format, args));
}

void EvDebug::debugLvl(int level, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, nullptr, 0, 0, nullptr, format, args));
}

void EvDebug::debugLvl(int level, long long jobId, const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(level, nullptr, 0, jobId, nullptr, format, args));
}

void EvDebug::error(const char* format, ...) {
  ZN_FORWARD_VARARGS(format, handleMsgEventDebug_NEW(-1, nullptr, 0, 0, nullptr, format, args));
}

#undef ZN_FORWARD_VARARGS

void EvDebug::traceIn(const char* function, int line) {
  if (line != 0) {
    debug("Entering [%s] Line [%d]", function != nullptr ? function : "", line);
  } else {
    debug("Entering [%s]", function != nullptr ? function : "");
  }
}

void EvDebug::traceOut(const char* function, int line) {
  if (line != 0) {
    debug("Exiting [%s] Line [%d]", function != nullptr ? function : "", line);
  } else {
    debug("Exiting [%s]", function != nullptr ? function : "");
  }
}

// ---- Thread-level instances ----

ThLvlEvDebugFileInstance::ThLvlEvDebugFileInstance(EvDebugFileInstance* instance) {
  if (instance == nullptr) return;
  auto& stack = zn::detail::ThreadInstanceStack();
  if (!stack) stack = std::make_unique<std::vector<EvDebugFileInstance*>>();
  stack->push_back(instance);
  m_pushed = true;
  auto& state = LogState();
  ZnCriticalSectionLock lock(&state.threadLevelLock);
  state.threadLevelCount.fetch_add(1);
}

ThLvlEvDebugFileInstance::~ThLvlEvDebugFileInstance() {
  if (!m_pushed) return;
  auto& stack = zn::detail::ThreadInstanceStack();
  if (stack && !stack->empty()) {
    stack->pop_back();
    if (stack->empty()) stack.reset();
  }
  auto& state = LogState();
  ZnCriticalSectionLock lock(&state.threadLevelLock);
  state.threadLevelCount.fetch_sub(1);
}

namespace zn::testing {

void ResetDefaultLogInstance() { detail::LogState().defaultInstance = EvDebugFileInstance(); }
int DefaultLogInstanceState() { return detail::LogState().defaultInstance.m_state.load(); }
std::size_t LogWriterCount() { return detail::LogState().writers.size(); }
int LogThreadLevelCount() { return detail::LogState().threadLevelCount.load(); }
bool LogThreadStackAllocated() { return detail::ThreadInstanceStack() != nullptr; }

}  // namespace zn::testing
