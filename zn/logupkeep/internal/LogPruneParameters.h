// How the pruner treats the versions of one log: the times before which
// versions are deleted, how many are kept and when they are compressed. All
// values come from section "EventManager" of the store; each choice is
// written to the log at level 7, with a summary at level 5.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "zn/base/ZnExport.h"
#include "zuzazer/CTimeStamp.h"

namespace zn::detail {

inline constexpr const char* kPruneSection = "EventManager";
inline constexpr const char* kCleanupLogsOlderThanDays = "CleanupLogsOlderThan_InDays";
inline constexpr const char* kAllRetainLogsInDays = "All_RetainLogsInDays";
inline constexpr const char* kCompressLogsOlderThanHours = "CompressLogsOlderthan";
inline constexpr const char* kTurnOffLogCompress = "TurnOffLogCompress";

inline constexpr long long kDefaultHardPruneSeconds = 15552000;  // 180 days
inline constexpr uint32_t kVersionsKeptWithoutCount = 1000;
inline constexpr long long kDefaultCompressAfterHours = 12;

struct LogPruneParameters {
  CTimeStamp hardPruneTime;             // versions last written before it go
  std::optional<CTimeStamp> pruneTime;  // the same from the retention days
  uint32_t versionsToKeep = 0;
  CTimeStamp compressBefore;  // versions last written before it are compressed
  bool compressionOff = false;
};

// A positive number of the section, else nullopt.
std::optional<long long> PositiveSetting(const std::string& name);

// `now` less that many days (or hours), never before the Unix epoch.
CTimeStamp DaysBefore(CTimeStamp now, long long days);
CTimeStamp HoursBefore(CTimeStamp now, long long hours);

// A time as the maintenance lines show it: local "YYYY-MM-DD hh:mm:ss".
std::string TimeText(const CTimeStamp& time);

// True when the process log would write a line of `level`, so that texts
// that cost work are built only then.
bool LogWants(int level);

}  // namespace zn::detail

// The pruning parameters of the log whose base name is `logName`, at `now`.
ZN_EXPORT zn::detail::LogPruneParameters GetDebugLogRetentionAndMaxVersionInfoForPruning(const std::string& logName,
                                                                               CTimeStamp now);
