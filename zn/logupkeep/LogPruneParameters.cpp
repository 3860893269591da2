#include "zn/logupkeep/internal/LogPruneParameters.h"

#include "zn/log/EvDebug.h"
#include "zn/log/LogCatalogue.h"
#include "zn/log/LogSettings.h"

namespace zn::detail {
namespace {

constexpr const char* kFunction = "EvDebug::GetDebugLogRetentionAndMaxVersionInfoForPruning";
constexpr long long kSecondsPerDay = 86400;

CTimeStamp SecondsBefore(CTimeStamp now, long long amount, long long unit) {
  const long long nowSeconds = now.AsUnixSeconds();
  if (amount <= 0) return now;
  // Anything reaching past the epoch is the epoch: no overflow for huge values.
  if (amount > nowSeconds / unit) return CTimeStamp();
  return now - CTimeInterval::FromSeconds(amount * unit);
}

}  // namespace

std::optional<long long> PositiveSetting(const std::string& name) {
  const std::optional<long long> value = LogSettings::Number(kPruneSection, name);
  if (value && *value > 0) return value;
  return std::nullopt;
}

CTimeStamp DaysBefore(CTimeStamp now, long long days) { return SecondsBefore(now, days, kSecondsPerDay); }

CTimeStamp HoursBefore(CTimeStamp now, long long hours) { return SecondsBefore(now, hours, 3600); }

std::string TimeText(const CTimeStamp& time) { return time.AsLocalDateTimeString(); }

bool LogWants(int level) {
  EvDebug log;
  return log.IsInitialized() && level <= log.getDebugLevel();
}

}  // namespace zn::detail

using zn::detail::LogPruneParameters;
using zn::detail::PositiveSetting;

LogPruneParameters GetDebugLogRetentionAndMaxVersionInfoForPruning(const std::string& logName, CTimeStamp now) {
  using namespace zn::detail;
  using zn::LogSettings;
  EvDebug log;
  LogPruneParameters parameters;
  // Time texts cost a local-time conversion each: only for lines written.
  const bool shown = LogWants(5);
  const auto text = [shown](const CTimeStamp& time) { return shown ? TimeText(time) : std::string(); };

  if (const auto days = PositiveSetting(kCleanupLogsOlderThanDays)) {
    parameters.hardPruneTime = DaysBefore(now, *days);
    log.DebugLvl(kFunction, 7, "HardLogPruningTime [%s] ... [%s\\%s] => %u", text(parameters.hardPruneTime).c_str(),
                 kPruneSection, kCleanupLogsOlderThanDays, static_cast<unsigned>(*days));
  } else {
    parameters.hardPruneTime = now - CTimeInterval::FromSeconds(kDefaultHardPruneSeconds);
    log.DebugLvl(kFunction, 7, "HardLogPruningTime [%s:Default]", text(parameters.hardPruneTime).c_str());
  }

  const std::string retention[] = {logName + "_RetainLogsInDays", logName + "_RetainLogsInDays_Default",
                                   kAllRetainLogsInDays};
  for (const std::string& key : retention) {
    if (const auto days = PositiveSetting(key)) {
      parameters.pruneTime = DaysBefore(now, *days);
      log.DebugLvl(kFunction, 7, "LogPruningTime [%s] ... [%s\\%s] => %u", text(*parameters.pruneTime).c_str(),
                   kPruneSection, key.c_str(), static_cast<unsigned>(*days));
      break;
    }
  }
  const std::string pruneText = parameters.pruneTime ? text(*parameters.pruneTime) : std::string("None");
  if (!parameters.pruneTime) log.DebugLvl(kFunction, 7, "LogPruningTime [%s:Default]", pruneText.c_str());

  bool counted = false;
  for (const std::string& key : {logName + "_MAXLOGFILEBACKUPS", logName + "_DEFAULTLOGFILEBACKUPS"}) {
    if (const auto count = PositiveSetting(key)) {
      parameters.versionsToKeep = static_cast<uint32_t>(*count);
      log.DebugLvl(kFunction, 7, "NumberOfLogsToKeep [%u] ... [%s\\%s] => [%u]", parameters.versionsToKeep,
                   kPruneSection, key.c_str(), parameters.versionsToKeep);
      counted = true;
      break;
    }
  }
  if (!counted) {
    const ZNLogFileInfo* row = zn::FindLogByName(logName);
    if (parameters.pruneTime || row == nullptr) {
      parameters.versionsToKeep = kVersionsKeptWithoutCount;
      log.DebugLvl(kFunction, 7, "LogPruningTime is [%s]  Set NumberOfLogsToKeep to 1000", pruneText.c_str());
    } else {
      parameters.versionsToKeep = row->defaultVersions;
      log.DebugLvl(kFunction, 7, "NumberOfLogsToKeep [%u:Default]", parameters.versionsToKeep);
    }
  }

  const long long hours = PositiveSetting(kCompressLogsOlderThanHours).value_or(kDefaultCompressAfterHours);
  parameters.compressBefore = HoursBefore(now, hours);
  parameters.compressionOff = LogSettings::Number(kPruneSection, kTurnOffLogCompress).value_or(0) != 0;

  log.DebugLvl(kFunction, 5, "[%s]  HardLogPruningTime [%s]  LogPruningTime [%s]  NumberOfLogsToKeep [%u]",
               logName.c_str(), text(parameters.hardPruneTime).c_str(), pruneText.c_str(),
               parameters.versionsToKeep);
  return parameters;
}
