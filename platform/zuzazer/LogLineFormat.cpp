#include "zuzazer/LogLineFormat.h"

#include <pthread.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "zuzazer/FXThreadId.h"

namespace yq {
namespace {

long g_processId = ::getpid();

void RefreshProcessIdInChild() { g_processId = ::getpid(); }

const int g_atforkRegistered = ::pthread_atfork(nullptr, nullptr, &RefreshProcessIdInChild);

// The start of a line that changes at most once a second on a thread:
// "<pid> <tid> YYYY-MM-DD hh:mm:ss". localtime_r and number formatting are
// far dearer than the rest of the line, so each thread keeps its own.
struct LineStartCache {
  time_t second = -1;
  long processId = 0;
  uint32_t threadId = 0;
  char text[64] = {};
  std::size_t length = 0;
};

const LineStartCache& LineStart(time_t second) {
  thread_local LineStartCache cache;
  const long pid = CachedProcessId();
  const uint32_t tid = CurrentThreadId();
  if (cache.second != second || cache.processId != pid || cache.threadId != tid) {
    struct tm parts {};
    localtime_r(&second, &parts);
    char date[24];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &parts);
    const int length = std::snprintf(cache.text, sizeof cache.text, "%ld %04x %s", pid, tid, date);
    cache.length = length > 0 ? static_cast<std::size_t>(length) : 0;
    cache.second = second;
    cache.processId = pid;
    cache.threadId = tid;
  }
  return cache;
}

// Appends into a fixed buffer, dropping what does not fit.
class Appender {
 public:
  Appender(char* out, std::size_t size) : m_out(out), m_end(out + size - 1), m_at(out) {}

  void text(const char* s, std::size_t n) {
    const std::size_t room = static_cast<std::size_t>(m_end - m_at);
    if (n > room) n = room;
    std::memcpy(m_at, s, n);
    m_at += n;
  }
  void text(const char* s) { text(s, std::strlen(s)); }
  void character(char c) {
    if (m_at < m_end) *m_at++ = c;
  }
  template <typename Integer>
  void number(Integer value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    text(digits, static_cast<std::size_t>(result.ptr - digits));
  }
  std::size_t finish() {
    *m_at = '\0';
    return static_cast<std::size_t>(m_at - m_out);
  }

 private:
  char* m_out;
  char* m_end;
  char* m_at;
};

}  // namespace

namespace {

// Splits off the text up to the next blank; false when there is none.
bool NextField(std::string_view& text, std::string_view& field) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string_view::npos || blank == 0) return false;
  field = text.substr(0, blank);
  text.remove_prefix(blank + 1);
  return true;
}

template <typename Integer>
bool WholeNumber(std::string_view text, Integer& value, int base = 10) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool Digits(std::string_view text, std::size_t from, std::size_t count) {
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// "YYYY-MM-DD hh:mm:ss.mmm"
bool IsTimestamp(std::string_view text) {
  return text.size() == 23 && Digits(text, 0, 4) && text[4] == '-' && Digits(text, 5, 2) && text[7] == '-' &&
         Digits(text, 8, 2) && text[10] == ' ' && Digits(text, 11, 2) && text[13] == ':' && Digits(text, 14, 2) &&
         text[16] == ':' && Digits(text, 17, 2) && text[19] == '.' && Digits(text, 20, 3);
}

}  // namespace

bool ParseLogLinePrefix(std::string_view line, LogLinePrefix& prefix) {
  prefix = LogLinePrefix();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  std::string_view field;
  if (!NextField(line, field) || field[0] == '-' || !WholeNumber(field, prefix.processId)) return false;
  if (!NextField(line, field) || field.size() < 4 || !WholeNumber(field, prefix.threadId, 16)) return false;
  if (line.size() < 24 || !IsTimestamp(line.substr(0, 23)) || line[23] != ' ') return false;
  prefix.timestamp = line.substr(0, 23);
  line.remove_prefix(24);
  if (!NextField(line, field)) return false;
  if (field[0] == 'L') {
    if (!WholeNumber(field.substr(1), prefix.level)) return false;
    prefix.hasLevel = true;
    if (!NextField(line, field)) return false;
  }
  // The job id, with "#<auxiliary>" when it was not 0.
  const std::size_t hash = field.find('#');
  long auxiliary = 0;
  if (!WholeNumber(field.substr(0, hash), prefix.jobId)) return false;
  if (hash != std::string_view::npos && !WholeNumber(field.substr(hash + 1), auxiliary)) return false;
  // The function; a message may follow only after a blank, and may be empty.
  const std::size_t blank = line.find(' ');
  prefix.function = line.substr(0, blank);
  if (prefix.function.empty()) return false;
  prefix.rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  return true;
}

long CachedProcessId() {
  (void)g_atforkRegistered;
  return g_processId;
}

std::size_t FormatLogLinePrefix(char* out, std::size_t size, const LogLineFields& fields) {
  if (size == 0) return 0;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  const LineStartCache& start = LineStart(now.tv_sec);

  Appender line(out, size);
  line.text(start.text, start.length);
  const long millis = now.tv_nsec / 1000000L;
  const char fraction[5] = {'.', static_cast<char>('0' + millis / 100), static_cast<char>('0' + millis / 10 % 10),
                            static_cast<char>('0' + millis % 10), ' '};
  line.text(fraction, sizeof fraction);
  if (fields.showLevel) {
    line.character('L');
    line.number(fields.level);
    line.character(' ');
  }
  line.number(fields.jobId);
  if (fields.auxiliary != 0) {
    line.character('#');
    line.number(fields.auxiliary);
  }
  line.character(' ');
  line.text(fields.function != nullptr && fields.function[0] != '\0' ? fields.function : "-");
  if (fields.line != 0) {
    line.character(':');
    line.number(fields.line);
  }
  line.character(' ');
  if (fields.context != nullptr && fields.context[0] != '\0') {
    line.character('{');
    line.text(fields.context);
    line.text("} ", 2);
  }
  return line.finish();
}

}  // namespace yq
