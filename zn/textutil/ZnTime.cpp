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

// The fields are bounded (a four-digit year), so the text fits; copying
// at most 20 characters keeps a caller's 21 bytes safe regardless.
char* Put(char* buffer, const char* text) {
  const std::size_t length = std::min(std::strlen(text), kTextSize - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return buffer;
}

char* Blank(char* buffer) {
  std::memset(buffer, ' ', kTextSize - 1);
  buffer[kTextSize - 1] = '\0';
  return buffer;
}

// Always 10 characters: day and month with two digits, the year with four.
void FormatDate(const std::tm& local, DateOrder order, char separator, char (&out)[48]) {
  const int year = local.tm_year + 1900;
  const int month = local.tm_mon + 1;
  const int day = local.tm_mday;
  switch (order) {
    case DateOrder::kMonthDayYear:
      std::snprintf(out, sizeof(out), "%02d%c%02d%c%04d", month, separator, day, separator, year);
      break;
    case DateOrder::kDayMonthYear:
      std::snprintf(out, sizeof(out), "%02d%c%02d%c%04d", day, separator, month, separator, year);
      break;
    case DateOrder::kYearMonthDay:
      std::snprintf(out, sizeof(out), "%04d%c%02d%c%02d", year, separator, month, separator, day);
      break;
  }
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
  if (lcid == 0) {
    char text[96];
    std::snprintf(text, sizeof(text), "%04d/%02d/%02d %02d:%02d:%02d ", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return Put(buffer, text);
  }
  const LocaleLayout* layout = zn::detail::FindLocaleLayout(lcid);
  if (layout == nullptr) {
    EvDebug().Error(kContext, "No date and time format for locale (%lu)", lcid);
    return Blank(buffer);
  }
  char date[48];
  FormatDate(local, layout->order, useLocaleDefault ? layout->dateSeparator : '/', date);
  char time[48];
  std::snprintf(time, sizeof(time), "%02d%c%02d%c%02d", local.tm_hour, layout->timeSeparator, local.tm_min,
                layout->timeSeparator, local.tm_sec);
  char text[112];
  std::snprintf(text, sizeof(text), "%s %8s ", date, time);
  return Put(buffer, text);
}

char* ZnTimeBig(long long t, char* buffer, unsigned long lcid, bool useLocaleDefault) {
  return ZnTime(t, buffer, lcid, useLocaleDefault);
}
