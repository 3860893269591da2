#include "zn/task/PeriodicTaskSettings.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>

#include "zn/config/ZNPlatformInfo.h"

namespace zn {

std::string PeriodicTaskSection(std::string_view manager) {
  std::string section(kPeriodicTasksSection);
  section += '\\';
  section += manager;
  return section;
}

TaskSettingText ParseTaskSetting(std::string_view text) {
  TaskSettingText setting;
  if (!text.empty() && text.front() == kTakenOverMark) {
    setting.fresh = false;
    text.remove_prefix(1);
  }
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::size_t end = i;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == i) return setting;
  unsigned long magnitude = 0;
  const auto [rest, error] = std::from_chars(text.data() + i, text.data() + end, magnitude);
  (void)rest;
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
  if (error == std::errc::result_out_of_range || magnitude > limit) magnitude = limit;
  setting.value = negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
  return setting;
}

std::string TakenOverSetting(long value) { return kTakenOverMark + std::to_string(value); }

bool ReadLastRunTime(ZNPlatformInfo& store, const std::string& section, const std::string& name, long long& seconds) {
  char data[64] = {};
  int size = sizeof data - 1;
  unsigned long type = 0;
  const std::string key = "~" + section;
  if (!store.getRegValue(key.c_str(), name.c_str(), &type, data, size)) return false;
  if (type == kZnRegString || type == kZnRegExpandString) {
    const TaskSettingText text = ParseTaskSetting(std::string_view(data, ::strnlen(data, sizeof data)));
    if (!text.fresh) return false;  // a "*" has no business in a time
    seconds = text.value;
    return true;
  }
  if (type == kZnRegNumber64 && size == 8) {
    int64_t value = 0;
    std::memcpy(&value, data, sizeof value);
    seconds = value;
    return true;
  }
  if (type == kZnRegNumber && size == 4) {
    uint32_t value = 0;
    std::memcpy(&value, data, sizeof value);
    seconds = value;
    return true;
  }
  return false;
}

unsigned int PeriodicTaskRefreshSeconds() {
  unsigned long seconds = 0;
  ZNPlatformInfo store(0, 0);
  if (store.getNumber("Base", std::string(kRefreshIntervalName).c_str(), &seconds) == 0 || seconds == 0) {
    return kDefaultRefreshSeconds;
  }
  return static_cast<unsigned int>(seconds);
}

}  // namespace zn
