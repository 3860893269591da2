#include "zn/textutil/ZnTime.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "zn/log/EvDebug.h"
#include "zn/textutil/internal/LocaleTable.h"

namespace {

constexpr const char* kContext = "::ZnTime";
constexpr std::size_t kTextSize = 21;  // 20 characters and the zero
constexpr int kLastYear = 9999;        // four digits keep the columns

using zn::detail::DateOrder;
using zn::detail::LocaleLayout;

char* Blank(char* buffer) {
  std::memset(buffer, ' ', kTextSize - 1);
  buffer[kTextSize - 1] = '\0';
  return buffer;
}

// Digits written by hand: this runs for every line of some logs, and
// snprintf would cost more than the local-time conversion itself.
char* PutDigits(char* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

// Always 10 characters: day and month with two digits, the year with four
// (the caller keeps the year below 10000).
char* PutDate(char* out, const std::tm& local, DateOrder order, char separator) {
  const int year = local.tm_year + 1900;
  const int month = local.tm_mon + 1;
  const int day = local.tm_mday;
  const int first = order == DateOrder::kMonthDayYear ? month : order == DateOrder::kDayMonthYear ? day : year;
  const int second = order == DateOrder::kMonthDayYear ? day : month;
  const int third = order == DateOrder::kYearMonthDay ? day : year;
  out = PutDigits(out, first, order == DateOrder::kYearMonthDay ? 4 : 2);
  *out++ = separator;
  out = PutDigits(out, second, 2);
  *out++ = separator;
  return PutDigits(out, third, order == DateOrder::kYearMonthDay ? 2 : 4);
}

// 8 characters, 24-hour clock.
char* PutTime(char* out, const std::tm& local, char separator) {
  out = PutDigits(out, local.tm_hour, 2);
  *out++ = separator;
  out = PutDigits(out, local.tm_min, 2);
  *out++ = separator;
  return PutDigits(out, local.tm_sec, 2);
}

// Date, blank, time, blank: 20 characters and the zero.
char* PutText(char* buffer, const std::tm& local, DateOrder order, char dateSeparator, char timeSeparator) {
  char* out = PutDate(buffer, local, order, dateSeparator);
  *out++ = ' ';
  out = PutTime(out, local, timeSeparator);
  *out++ = ' ';
  *out = '\0';
  return buffer;
}

}  // namespace

char* ZnTime(long long t, char* buffer, unsigned long lcid, bool useLocaleDefault) {
  if (buffer == nullptr) {
    EvDebug().Error(kContext, "Invalid buffer passed in");
    return nullptr;
  }
  buffer[0] = '\0';
  if (t <= 0) {
    EvDebug().Error(kContext, "Invalid time (%lld) passed in", t);
    return Blank(buffer);
  }
  const std::time_t seconds = static_cast<std::time_t>(t);
  std::tm local{};
  if (::localtime_r(&seconds, &local) == nullptr || local.tm_year > kLastYear - 1900) {
    EvDebug().Error(kContext, "Failed to convert (%lld) to localtime", t);
    return Blank(buffer);
  }
  // "%04d/%02d/%02d %02d:%02d:%02d "
  if (lcid == 0) return PutText(buffer, local, DateOrder::kYearMonthDay, '/', ':');
  const LocaleLayout* layout = zn::detail::FindLocaleLayout(lcid);
  if (layout == nullptr) {
    EvDebug().Error(kContext, "No date and time format for locale (%lu)", lcid);
    return Blank(buffer);
  }
  // The platform's "%s %08s " join of date and time.
  return PutText(buffer, local, layout->order, useLocaleDefault ? layout->dateSeparator : '/', layout->timeSeparator);
}

char* ZnTimeBig(long long t, char* buffer, unsigned long lcid, bool useLocaleDefault) {
  return ZnTime(t, buffer, lcid, useLocaleDefault);
}
