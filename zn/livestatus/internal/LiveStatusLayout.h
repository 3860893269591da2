// The value names of a live status record and how its values are kept:
// 32-bit numbers as numbers (type 4), times and other 64-bit numbers as
// decimal text (type 1), as the store keeps every 64-bit number. Written
// by LiveStatusPart and read by ReadLiveStatus, nowhere else.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zn/store/ConfigStore.h"

namespace zn::detail {

inline constexpr std::string_view kPoolsKey = "Pools";
inline constexpr std::string_view kTasksKey = "Tasks";

// The record's own values.
inline constexpr std::string_view kProcessName = "sProcessName";
inline constexpr std::string_view kPid = "nPid";
inline constexpr std::string_view kStartTicks = "nStartTicks";
inline constexpr std::string_view kBootId = "sBootId";
inline constexpr std::string_view kStartedAt = "nStartedAt";
inline constexpr std::string_view kUpdated = "nUpdated";  // in every part too

// A pool's.
inline constexpr std::string_view kMinThreads = "nMinThreads";
inline constexpr std::string_view kMaxThreads = "nMaxThreads";
inline constexpr std::string_view kTimeout = "nTimeout";
inline constexpr std::string_view kThreads = "nThreads";
inline constexpr std::string_view kBusyThreads = "nBusyThreads";
inline constexpr std::string_view kQueued = "nQueued";
inline constexpr std::string_view kReady = "nReady";

// A task manager's, and each of its tasks'.
inline constexpr std::string_view kRefreshSeconds = "nRefreshSeconds";
inline constexpr std::string_view kPosition = "nPosition";
inline constexpr std::string_view kEnabled = "bEnabled";
inline constexpr std::string_view kFrequency = "nFrequency";
inline constexpr std::string_view kPersistent = "bPersistent";
inline constexpr std::string_view kStarted = "bStarted";
inline constexpr std::string_view kRunning = "bRunning";
inline constexpr std::string_view kLastRun = "nLastRun";
inline constexpr std::string_view kNextRun = "nNextRun";

// Values as the store writes them.
ConfigStore::BatchValue NumberValue(const std::string& key, std::string_view name, unsigned long long number);
ConfigStore::BatchValue DecimalValue(const std::string& key, std::string_view name, long long number);
ConfigStore::BatchValue TextValue(const std::string& key, std::string_view name, std::string_view text);

// The values of one key, looked up by name.
class RecordValues {
 public:
  explicit RecordValues(std::vector<StoreEntry> entries) : m_entries(std::move(entries)) {}
  // A 32-bit number, or decimal text; nullopt when absent or of another kind.
  std::optional<long long> number(std::string_view name) const;
  std::string text(std::string_view name) const;

 private:
  const StoreEntry* find(std::string_view name) const;
  std::vector<StoreEntry> m_entries;
};

}  // namespace zn::detail
