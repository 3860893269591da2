#include "zn/logupkeep/internal/LogPruneWalk.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include "zn/log/EvDebug.h"
#include "zn/logupkeep/internal/LogPruneParameters.h"
#include "zn/logupkeep/LogVersionName.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

constexpr const char* kFunction = "EvDebug::PruneLogFiles";
constexpr std::string_view kLogPart = ".log";

// What the walk made of an entry.
enum class Role { kParent, kVersion, kOrphanVersion, kQueued, kAlone };

bool IsCurrentFileName(const LogFileEntry& entry) { return entry.logPart + kLogPart.size() == entry.name.size(); }

std::string_view CurrentBaseOf(const LogFileEntry& entry) {
  return std::string_view(entry.name).substr(0, entry.logPart);
}

// Sorts by upper-cased name, the exact name breaking ties.
void SortByUpperName(std::vector<LogFileEntry>& entries) {
  std::vector<std::string> keys;
  keys.reserve(entries.size());
  for (const LogFileEntry& entry : entries) keys.push_back(FXString::ToUpper(entry.name));
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int byKey = keys[a].compare(keys[b]);
    return byKey != 0 ? byKey < 0 : entries[a].name < entries[b].name;
  });
  std::vector<LogFileEntry> sorted;
  sorted.reserve(entries.size());
  for (const std::size_t i : order) sorted.push_back(std::move(entries[i]));
  entries = std::move(sorted);
}

// The one current file whose version `name` is. At most one can match: a
// current file that is itself named like a version of another is none.
const std::size_t* FindRealParent(std::string_view name,
                                  const std::unordered_map<std::string_view, std::size_t>& parents) {
  for (std::size_t underscore = name.find('_'); underscore != std::string_view::npos;
       underscore = name.find('_', underscore + 1)) {
    const auto it = parents.find(name.substr(0, underscore));
    if (it != parents.end() && IsLogVersionName(name, it->first)) return &it->second;
  }
  return nullptr;
}

}  // namespace

std::vector<LogFileEntry> SelectLogFiles(const std::vector<FXFileInfo>& listing) {
  EvDebug log;
  const bool traced = LogWants(13);
  std::vector<LogFileEntry> entries;
  entries.reserve(listing.size());
  for (const FXFileInfo& info : listing) {
    if (info.isDirectory) continue;
    log.DebugLvl(kFunction, 13, "Validating [%s].", info.name.c_str());
    const std::size_t logPart = info.name.rfind(kLogPart);
    if (logPart == std::string::npos) {
      log.DebugLvl(kFunction, 5, "Ignoring non-log file (%s)", info.name.c_str());
      continue;
    }
    const std::string_view after = std::string_view(info.name).substr(logPart + kLogPart.size());
    if (!after.empty() && (after.front() != '.' || after.size() == 1)) {
      log.DebugLvl(kFunction, 5, "Ignoring log file not ending with expected extension File [%s] Ext [%s]",
                   info.name.c_str(), info.name.c_str() + logPart);
      continue;
    }
    if (traced) {
      log.DebugLvl(kFunction, 13, "Enumerated [%s] - LastWriteTime [%s]  LastChangeTime [%s]", info.name.c_str(),
                   TimeText(info.lastWriteTime).c_str(), TimeText(info.lastChangeTime).c_str());
    }
    entries.push_back({info.name, info.lastWriteTime, info.lastChangeTime, logPart});
  }
  return entries;
}

void WalkLogGroups(std::vector<LogFileEntry>& entries, const std::function<void(const LogGroup&)>& finished) {
  SortByUpperName(entries);

  // Current files: "<base>.log" not named like a version of anything.
  std::unordered_map<std::string_view, std::size_t> parents;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (IsCurrentFileName(entries[i]) && VersionBaseOf(entries[i].name).empty()) {
      parents.emplace(CurrentBaseOf(entries[i]), i);
    }
  }

  std::vector<LogGroup> groups;
  std::unordered_map<std::string, std::size_t> groupOfBase;
  const auto groupOf = [&](std::string_view base) {
    const auto [it, added] = groupOfBase.try_emplace(std::string(base), groups.size());
    if (added) groups.push_back(LogGroup{std::string(base), std::nullopt, {}, {}});
    return it->second;
  };
  std::vector<Role> roles(entries.size());
  std::vector<std::size_t> groupOfEntry(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view name = entries[i].name;
    const auto owner = parents.find(CurrentBaseOf(entries[i]));
    if (owner != parents.end() && owner->second == i) {
      roles[i] = Role::kParent;
      groupOfEntry[i] = groupOf(owner->first);
      groups[groupOfEntry[i]].parent = i;
    } else if (const std::size_t* parentIndex = FindRealParent(name, parents)) {
      roles[i] = Role::kVersion;
      groupOfEntry[i] = groupOf(CurrentBaseOf(entries[*parentIndex]));
      groups[groupOfEntry[i]].versions.push_back(i);
    } else if (const std::string_view orphanBase = VersionBaseOf(name); !orphanBase.empty()) {
      roles[i] = Role::kOrphanVersion;
      groupOfEntry[i] = groupOf(orphanBase);
      groups[groupOfEntry[i]].versions.push_back(i);
    } else if (owner != parents.end()) {
      // "<current file>.<more>": another tool's rotation of this log.
      roles[i] = Role::kQueued;
      groupOfEntry[i] = groupOf(owner->first);
      groups[groupOfEntry[i]].queued.push_back(i);
    } else {
      // A file of no known log stands alone: a parent of nothing.
      roles[i] = Role::kAlone;
      groupOfEntry[i] = groups.size();
      groups.push_back(LogGroup{std::string(name.substr(0, name.rfind('.'))), i, {}, {}});
    }
  }

  std::vector<std::size_t> lastEntry(groups.size(), 0);
  for (std::size_t i = 0; i < entries.size(); ++i) lastEntry[groupOfEntry[i]] = i;
  std::vector<std::vector<std::size_t>> endingAt(entries.size());
  for (std::size_t g = 0; g < groups.size(); ++g) endingAt[lastEntry[g]].push_back(g);

  EvDebug log;
  const bool traced = LogWants(13);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (traced) {
      const char* name = entries[i].name.c_str();
      const char* previous = i > 0 ? entries[i - 1].name.c_str() : "";
      log.DebugLvl(kFunction, 13, "Processing [%s].", name);
      if (roles[i] == Role::kOrphanVersion || roles[i] == Role::kAlone) {
        log.DebugLvl(kFunction, 13, "No parent file is present. File visited: [%s], Last file visited: [%s].", name,
                     previous);
      } else if (roles[i] == Role::kQueued) {
        log.DebugLvl(kFunction, 13, "Queue [%s] for compression check, Last file visited: [%s]", name, previous);
      }
    }
    for (const std::size_t g : endingAt[i]) finished(groups[g]);
  }
}

}  // namespace zn::detail
