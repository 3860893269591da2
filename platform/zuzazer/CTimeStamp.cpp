#include "zuzazer/CTimeStamp.h"

#include <ctime>

namespace {

std::string FormatLocal(long long seconds, const char* format) {
  const auto t = static_cast<time_t>(seconds);
  struct tm parts {};
  localtime_r(&t, &parts);
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &parts);
  return std::string(text, length);
}

}  // namespace

CTimeStamp CTimeStamp::Now() { return FromTimePoint(std::chrono::system_clock::now()); }

CTimeStamp CTimeStamp::FromTimePoint(std::chrono::system_clock::time_point point) {
  return CTimeStamp(std::chrono::duration_cast<std::chrono::nanoseconds>(point.time_since_epoch()).count());
}

std::string CTimeStamp::AsLocalDateTimeString() const { return FormatLocal(AsUnixSeconds(), "%Y-%m-%d %H:%M:%S"); }

std::string CTimeStamp::AsLocalCompactString() const { return FormatLocal(AsUnixSeconds(), "%Y%m%d%H%M%S"); }
