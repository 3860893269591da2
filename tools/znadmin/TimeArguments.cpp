#include "TimeArguments.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace zn::admin {
namespace {

// Seconds since 1970 as the stamp a line written then carries.
bool Stamp(long long seconds, std::string& timestamp) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return false;
  char text[40];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S.000", &local) == 0) return false;
  timestamp = text;
  return true;
}

// Digits only, exactly `count` of them, within [low, high].
bool Field(std::string_view text, std::size_t at, std::size_t count, int low, int high, int& value) {
  if (at + count > text.size()) return false;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  std::from_chars(text.data() + at, text.data() + at + count, value);
  return value >= low && value <= high;
}

// "hh:mm" or "hh:mm:ss"
bool ClockTime(std::string_view text, int& hour, int& minute, int& second) {
  second = 0;
  if (text.size() != 5 && text.size() != 8) return false;
  if (!Field(text, 0, 2, 0, 23, hour) || text[2] != ':' || !Field(text, 3, 2, 0, 59, minute)) return false;
  return text.size() == 5 || (text[5] == ':' && Field(text, 6, 2, 0, 60, second));
}

std::string Format(int year, int month, int day, int hour, int minute, int second) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.000", year, month, day, hour, minute, second);
  return text;
}

// Midnight of the day `days` before the one of `now`, local time.
bool DayStart(long long now, int days, std::string& timestamp) {
  const std::time_t when = static_cast<std::time_t>(now);
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return false;
  local.tm_mday -= days;
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  local.tm_isdst = -1;
  const std::time_t start = std::mktime(&local);
  return start != static_cast<std::time_t>(-1) && Stamp(start, timestamp);
}

}  // namespace

bool ParseDuration(std::string_view text, long long limit, long long& seconds) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || rest == text.data() || value <= 0) return false;
  const std::string_view unit(rest, static_cast<std::size_t>(end - rest));
  long long scale = 0;
  if (unit.empty() || unit == "s") scale = 1;
  if (unit == "m") scale = 60;
  if (unit == "h") scale = 3600;
  if (unit == "d") scale = 86400;
  if (scale == 0 || value > limit / scale) return false;
  seconds = value * scale;
  return true;
}

bool ParseSince(std::string_view text, long long now, std::string& timestamp) {
  constexpr long long kCentury = 100LL * 366 * 86400;
  if (text == "now") return Stamp(now, timestamp);
  if (text == "today") return DayStart(now, 0, timestamp);
  if (text == "yesterday") return DayStart(now, 1, timestamp);
  long long seconds = 0;
  if (!text.empty() && text[0] == '-') {
    return ParseDuration(text.substr(1), kCentury, seconds) && Stamp(now - seconds, timestamp);
  }
  if (text.size() > 4 && text.substr(text.size() - 4) == " ago") {
    return ParseDuration(text.substr(0, text.size() - 4), kCentury, seconds) && Stamp(now - seconds, timestamp);
  }
  int hour = 0, minute = 0, second = 0;
  if (ClockTime(text, hour, minute, second)) {
    std::string today;
    if (!DayStart(now, 0, today)) return false;
    timestamp = today.substr(0, 11) + Format(0, 0, 0, hour, minute, second).substr(11);
    return true;
  }
  int year = 0, month = 0, day = 0;
  if (!Field(text, 0, 4, 1970, 9999, year) || text.size() < 10 || text[4] != '-' || !Field(text, 5, 2, 1, 12, month) ||
      text[7] != '-' || !Field(text, 8, 2, 1, 31, day)) {
    return false;
  }
  if (text.size() == 10) {
    timestamp = Format(year, month, day, 0, 0, 0);
    return true;
  }
  if (text[10] != ' ' && text[10] != 'T') return false;
  if (!ClockTime(text.substr(11), hour, minute, second)) return false;
  timestamp = Format(year, month, day, hour, minute, second);
  return true;
}

}  // namespace zn::admin
