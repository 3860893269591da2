#include "zn/debuggable/ZNTDebuggable.h"

#include <unistd.h>

#include <cstdarg>
#include <ctime>
#include <mutex>
#include <string_view>

#include "zn/debuggable/internal/DebugSharedFile.h"
#include "zuzazer/FXString.h"

unsigned long ZNTDebuggable::debugMask = 0;
int ZNTDebuggable::usageCount = 0;
long ZNTDebuggable::debugPid = 0;
FILE* ZNTDebuggable::debugLog = nullptr;
int ZNTDebuggable::logEventsFlag = 1;
bool ZNTDebuggable::symlinkTableFlag = false;

namespace {

constexpr const char* kNewPrefix = "NoPrefix";

// The first object opens the shared file, the last one closes it.
void CountObject() {
  std::lock_guard<std::mutex> hold(zn::detail::DebuggableLock());
  if (++ZNTDebuggable::usageCount != 1) return;
  ZNTDebuggable::debugPid = static_cast<long>(::getpid());
  ZNTDebuggable::debugLog =
      zn::detail::OpenDebugSharedFile(ZNTDebuggable::logEventsFlag != 0, ZNTDebuggable::debugPid);
}

void UncountObject() {
  std::lock_guard<std::mutex> hold(zn::detail::DebuggableLock());
  if (--ZNTDebuggable::usageCount != 0) return;
  if (ZNTDebuggable::debugLog != nullptr) {
    std::fclose(ZNTDebuggable::debugLog);
    ZNTDebuggable::debugLog = nullptr;
  }
}

std::string FormatMessage(const char* format, va_list args) {
  char buffer[ZNTDebuggable::kLineBufferSize];
  if (FXString::FormatToBuffer(buffer, sizeof buffer, format, args) < 0) buffer[0] = '\0';
  return buffer;
}

}  // namespace

ZNTDebuggable::ZNTDebuggable() : m_debugPrefix(kNewPrefix) { CountObject(); }

ZNTDebuggable::ZNTDebuggable(const ZNTDebuggable& other)
    : m_debugPrefix(other.m_debugPrefix),
      m_userText1(other.m_userText1),
      m_userText2(other.m_userText2),
      m_dateText(other.m_dateText),
      m_useStdout(other.m_useStdout) {
  CountObject();
}

ZNTDebuggable& ZNTDebuggable::operator=(const ZNTDebuggable& other) {
  if (this != &other) {
    m_debugPrefix = other.m_debugPrefix;
    m_userText1 = other.m_userText1;
    m_userText2 = other.m_userText2;
    m_dateText = other.m_dateText;
    m_useStdout = other.m_useStdout;
  }
  return *this;
}

ZNTDebuggable::~ZNTDebuggable() { UncountObject(); }

bool ZNTDebuggable::isDebugOn(unsigned long level) { return (level & debugMask) != 0; }

void ZNTDebuggable::debug(int level, const char* format, ...) {
  if (!isDebugOn(static_cast<unsigned long>(level))) return;
  va_list args;
  va_start(args, format);
  const std::string message = FormatMessage(format, args);
  va_end(args);

  std::string line = m_debugPrefix + ": " + message;
  if (line.size() >= kLineBufferSize) line.resize(kLineBufferSize - 1);

  std::lock_guard<std::mutex> hold(zn::detail::DebuggableLock());
  if (m_useStdout != 0) {
    std::printf("%s(%d): %s", m_debugPrefix.c_str(), level, message.c_str());
  }
  if (debugLog != nullptr) {
    if (line.find('\n') == std::string::npos) line.push_back('\n');
  } else if (const std::size_t lastLineFeed = line.rfind('\n'); lastLineFeed != std::string::npos) {
    line.resize(lastLineFeed);
  }
  if (::isatty(STDOUT_FILENO) == 1 && m_useStdout == 0) {
    // A terminal shows one line per call, whatever the message ended with.
    std::fputs(line.c_str(), stdout);
    if (line.empty() || line.back() != '\n') std::fputc('\n', stdout);
    std::fflush(stdout);
  } else if (m_useStdout != 0) {
    std::fflush(stdout);
  }
  if (debugLog != nullptr) {
    std::fprintf(debugLog, "%s", line.c_str());
    std::fflush(debugLog);
  }
}

void ZNTDebuggable::setDebugPrefix(const char* prefix) { m_debugPrefix = prefix != nullptr ? prefix : ""; }

void ZNTDebuggable::useStdout(int flag) { m_useStdout = flag != 0 ? 1 : 0; }

void ZNTDebuggable::logEvents(int flag) { logEventsFlag = flag; }

int ZNTDebuggable::getLogEventsFlag() { return logEventsFlag; }

const char* ZNTDebuggable::dateToString(unsigned long t) {
  if (t == 0) {
    m_dateText = "now";
    return m_dateText.c_str();
  }
  const auto when = static_cast<std::time_t>(t);
  char buffer[64];
  if (::ctime_r(&when, buffer) == nullptr) {
    m_dateText = "error";
    return m_dateText.c_str();
  }
  std::string_view text(buffer);
  for (int i = 0; i < 2 && !text.empty() && (text.back() == '\n' || text.back() == '\r'); ++i) {
    text.remove_suffix(1);
  }
  m_dateText.assign(text);
  return m_dateText.c_str();
}

void ZNTDebuggable::appEvent(unsigned long, unsigned long) {}
void ZNTDebuggable::dateEvent(unsigned long) {}
void ZNTDebuggable::setJobId(long long) {}
void ZNTDebuggable::setProgramName(const char*) {}
const char* ZNTDebuggable::appToString(unsigned long, unsigned long) { return nullptr; }
const char* ZNTDebuggable::getRegistryString(const char*, const char*) { return nullptr; }
int ZNTDebuggable::getRegistryNumber(const char*, unsigned long*, const char*) { return 0; }
