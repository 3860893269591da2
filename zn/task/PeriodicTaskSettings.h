// Where the periodic task manager keeps its settings in the store, and how
// a frequency or on/off text reads. Shared by the manager and znadmin.
//
// Below "PeriodicTasks\<manager>" of the instance:
//   "<task>_frequency"    text, seconds between OnTimer calls
//   "<task>_enable"       text, non-zero switches the task on
//   "<task>_lastRunTime"  text, seconds since 1970 of the last OnTimer
//                         (tasks with a persistent schedule)
// A frequency or switch text that begins with "*" has been taken over by
// the running program; one without it is a fresh setting from outside.
#pragma once

#include <string>
#include <string_view>
#include "zn/base/ZnExport.h"

class ZNPlatformInfo;

namespace zn {

inline constexpr std::string_view kPeriodicTasksSection = "PeriodicTasks";
inline constexpr std::string_view kFrequencySuffix = "_frequency";
inline constexpr std::string_view kEnableSuffix = "_enable";
inline constexpr std::string_view kLastRunTimeSuffix = "_lastRunTime";
inline constexpr char kTakenOverMark = '*';

// Seconds between two reads of the settings: "Base"/
// "PeriodicTasksRefreshIntervalSeconds", 30 when absent or 0.
inline constexpr std::string_view kRefreshIntervalName = "PeriodicTasksRefreshIntervalSeconds";
inline constexpr unsigned int kDefaultRefreshSeconds = 30;

// "PeriodicTasks\<manager>", a section relative to the instance.
ZN_EXPORT std::string PeriodicTaskSection(std::string_view manager);

struct ZN_EXPORT TaskSettingText {
  bool fresh = true;  // no "*" in front
  long value = 0;
};
// The text after an optional "*", read as atol(3) reads a number: leading
// blanks and a sign, then digits up to the first other character; 0 when
// there are none. Saturates at the limits of long.
ZN_EXPORT TaskSettingText ParseTaskSetting(std::string_view text);
// "*<value>", the form a program writes back.
ZN_EXPORT std::string TakenOverSetting(long value);

// A stored last run time: decimal text, or a 64- or 32-bit number. False
// when absent or of another kind.
ZN_EXPORT bool ReadLastRunTime(ZNPlatformInfo& store, const std::string& section, const std::string& name, long long& seconds);

// The refresh interval in seconds, read from the store now.
ZN_EXPORT unsigned int PeriodicTaskRefreshSeconds();

}  // namespace zn
