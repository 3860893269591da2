// ZnPeriodicTaskStatus: frequency, on/off switch and last run time in the
// store.

#include <climits>
#include <cstdio>
#include <optional>

#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/EvDebug.h"
#include "zn/task/PeriodicTaskSettings.h"
#include "zn/task/ZnPeriodicTask.h"

namespace {

int ClampToInt(long value) {
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

bool ZnPeriodicTaskStatus::getRegValue(std::string section, std::string name, bool& fresh, unsigned long* value) {
  std::string text;
  if (ZNPlatformInfo().getString(section.c_str(), name.c_str(), &text) == 0) return false;
  const zn::TaskSettingText setting = zn::ParseTaskSetting(text);
  fresh = setting.fresh;
  if (value != nullptr) *value = static_cast<unsigned long>(setting.value);
  return true;
}

void ZnPeriodicTaskStatus::setRegValue(std::string section, std::string name, unsigned long value) {
  const std::string text = zn::TakenOverSetting(static_cast<long>(value));
  ZNPlatformInfo().setString(section.c_str(), name.c_str(), text);
}

long long ZnPeriodicTaskStatus::getLastRunTimeFromReg() {
  long long seconds = 0;
  ZNPlatformInfo store;
  const std::string section = zn::PeriodicTaskSection(m_mgrName);
  if (!zn::ReadLastRunTime(store, section, m_taskName + std::string(zn::kLastRunTimeSuffix), seconds)) {
    return 0;
  }
  return seconds;
}

int ZnPeriodicTaskStatus::setLastRunTimeInReg(long long seconds) {
  char text[24];
  std::snprintf(text, sizeof text, "%lld", seconds);
  const std::string section = zn::PeriodicTaskSection(m_mgrName);
  const std::string name = m_taskName + std::string(zn::kLastRunTimeSuffix);
  return ZNPlatformInfo().setString(section.c_str(), name.c_str(), text) != 0 ? 1 : 0;
}

void ZnPeriodicTaskStatus::UpdateStatusFromReg(bool initial) {
  static constexpr const char* kFunction = "ZnPeriodicTaskStatus::UpdateStatusFromReg";
  const std::string section = zn::PeriodicTaskSection(m_mgrName);
  EvDebug log;
  bool fresh = false;
  unsigned long value = 0;

  // Empty: keep what the task has now (a failing call may be switching it
  // off at this very moment).
  std::optional<int> frequency;
  const std::string frequencyName = m_taskName + std::string(zn::kFrequencySuffix);
  if (getRegValue(section, frequencyName, fresh, &value)) {
    if (fresh || initial) {
      frequency = ClampToInt(static_cast<long>(value));
      setRegValue(section, frequencyName, value);
    }
  } else if (initial) {
    frequency = m_item->defaultFrequency;
  }

  std::optional<bool> enabled;
  const std::string enableName = m_taskName + std::string(zn::kEnableSuffix);
  if (getRegValue(section, enableName, fresh, &value)) {
    if (fresh || initial) {
      enabled = value != 0;
      setRegValue(section, enableName, *enabled ? 1 : 0);
    }
  } else if (initial) {
    enabled = m_item->enabledByDefault;
  }

  bool frequencyChanged = false;
  bool enabledChanged = false;
  {
    ZnCriticalSectionLock hold(&m_lock);
    if (frequency.has_value() && *frequency != m_frequency) {
      m_frequency = *frequency;
      frequencyChanged = true;
    }
    if (enabled.has_value() && *enabled != m_enabled) {
      m_enabled = *enabled;
      if (m_enabled) m_status = TASK_NOT_STARTED;  // OnStart runs again
      enabledChanged = true;
    }
  }
  if (frequencyChanged) {
    log.Debug(kFunction, "Setting frequency for [%s][%s] to %d secs", getMgrName(), getTaskName(), *frequency);
  }
  if (enabledChanged) {
    log.Debug(kFunction, "Setting state of [%s][%s] to %s", getMgrName(), getTaskName(),
              *enabled ? "enabled" : "disabled");
  }
}
