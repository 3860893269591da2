// A time as fixed-width local date and time text for logs and reports.
#pragma once

#include "zn/base/ZnExport.h"

// Writes into `buffer` (at least 21 bytes) the local date and time of `t`
// (seconds since 1970) and returns it, or null for a null buffer.
// - lcid 0: "YYYY/MM/DD hh:mm:ss " (20 characters);
// - another locale id: its date, a blank, the 24-hour time and a blank;
//   with `useLocaleDefault` the locale's own short date, otherwise the
//   locale's order with '/': MM/dd/yyyy, dd/MM/yyyy or yyyy/MM/dd.
// A time not above 0, one that has no local time before the year 10000, or
// an unknown locale id gives 20 blanks (and a line in the log).
ZN_EXPORT char* ZnTime(long long t, char* buffer, unsigned long lcid, bool useLocaleDefault);
// The same operation under its second name.
ZN_EXPORT char* ZnTimeBig(long long t, char* buffer, unsigned long lcid, bool useLocaleDefault);
