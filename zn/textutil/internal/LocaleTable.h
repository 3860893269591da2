// The date and time layouts of the locale ids ZnTime knows. Built in:
// Debian systems rarely have the locales generated, so newlocale(3)
// cannot be relied on, and columns must keep their width anyway.
#pragma once

namespace zn::detail {

// The short-date order setting of a locale.
enum class DateOrder { kMonthDayYear = 0, kDayMonthYear = 1, kYearMonthDay = 2 };

struct LocaleLayout {
  unsigned long lcid;
  const char* name;  // the POSIX locale it stands for
  DateOrder order;
  char dateSeparator;  // of the locale's default short date
  char timeSeparator;
};

// The layout of `lcid`; the user and system defaults (1024, 2048) follow
// LC_ALL, LC_TIME or LANG; null for an unknown id.
const LocaleLayout* FindLocaleLayout(unsigned long lcid);

}  // namespace zn::detail
