#include "zuzazer/LogLineFormat.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "zuzazer/FXThreadId.h"

namespace zn::detail {
namespace {

long g_processId = ::getpid();

void RefreshProcessIdInChild() { g_processId = ::getpid(); }

const int g_atforkRegistered = ::pthread_atfork(nullptr, nullptr, &RefreshProcessIdInChild);

// "YYYY-MM-DD hh:mm:ss" of the current second, made once per second and
// thread: localtime_r is far dearer than the rest of the line.
struct SecondCache {
  time_t second = -1;
  char text[24] = {};
};

const char* LocalSecondText(time_t second) {
  thread_local SecondCache cache;
  if (cache.second != second) {
    struct tm parts {};
    localtime_r(&second, &parts);
    std::strftime(cache.text, sizeof cache.text, "%Y-%m-%d %H:%M:%S", &parts);
    cache.second = second;
  }
  return cache.text;
}

}  // namespace

long CachedProcessId() {
  (void)g_atforkRegistered;
  return g_processId;
}

std::size_t FormatLogLinePrefix(char* out, std::size_t size, const LogLineFields& fields) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  char level[16] = "";
  if (fields.showLevel) std::snprintf(level, sizeof level, "L%d ", fields.level);
  char auxiliary[24] = "";
  if (fields.auxiliary != 0) std::snprintf(auxiliary, sizeof auxiliary, "#%ld", fields.auxiliary);
  char lineNumber[24] = "";
  if (fields.line != 0) std::snprintf(lineNumber, sizeof lineNumber, ":%lu", fields.line);
  const bool hasFunction = fields.function != nullptr && fields.function[0] != '\0';
  const bool hasContext = fields.context != nullptr && fields.context[0] != '\0';
  const int length = std::snprintf(
      out, size, "%ld %04x %s.%03ld %s%lld%s %s%s %s%s%s", CachedProcessId(), CurrentThreadId(),
      LocalSecondText(now.tv_sec), now.tv_nsec / 1000000L, level, fields.jobId, auxiliary,
      hasFunction ? fields.function : "-", lineNumber, hasContext ? "{" : "", hasContext ? fields.context : "",
      hasContext ? "} " : "");
  if (length < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(length) < size ? static_cast<std::size_t>(length) : size - 1;
}

}  // namespace zn::detail
