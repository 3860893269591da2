// Reading every live status record of the instance in one snapshot.

#include <algorithm>
#include <charconv>

#include "zn/livestatus/LiveStatus.h"
#include "zn/livestatus/internal/LiveStatusLayout.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"

namespace zn {
namespace {

using detail::RecordValues;

bool ReadValues(ConfigStore& store, const std::string& path, std::vector<StoreEntry>& entries) {
  entries.clear();
  return store.values(path, entries) == StoreStatus::kOk;
}

template <typename Number>
Number Get(const RecordValues& values, std::string_view name) {
  return static_cast<Number>(values.number(name).value_or(0));
}

void ReadPools(ConfigStore& store, const std::string& path, std::vector<LiveStatusPool>& pools) {
  std::vector<std::string> names;
  if (store.subKeys(path, names) != StoreStatus::kOk) return;
  for (const std::string& key : names) {
    std::vector<StoreEntry> entries;
    if (!ReadValues(store, path + "\\" + key, entries)) continue;
    const RecordValues values(std::move(entries));
    LiveStatusPool pool;
    pool.name = UnescapeLiveStatusName(key);
    pool.minThreads = Get<unsigned int>(values, detail::kMinThreads);
    pool.maxThreads = Get<unsigned int>(values, detail::kMaxThreads);
    pool.timeoutSeconds = Get<unsigned long>(values, detail::kTimeout);
    pool.threads = Get<unsigned int>(values, detail::kThreads);
    pool.busyThreads = Get<unsigned int>(values, detail::kBusyThreads);
    pool.queued = Get<unsigned int>(values, detail::kQueued);
    pool.ready = Get<unsigned int>(values, detail::kReady);
    pool.updated = Get<long long>(values, detail::kUpdated);
    pools.push_back(std::move(pool));
  }
}

void ReadManagers(ConfigStore& store, const std::string& path, std::vector<LiveStatusTaskManager>& managers) {
  std::vector<std::string> names;
  if (store.subKeys(path, names) != StoreStatus::kOk) return;
  for (const std::string& key : names) {
    const std::string managerPath = path + "\\" + key;
    std::vector<StoreEntry> entries;
    if (!ReadValues(store, managerPath, entries)) continue;
    const RecordValues values(std::move(entries));
    LiveStatusTaskManager manager;
    manager.name = UnescapeLiveStatusName(key);
    manager.refreshSeconds = Get<unsigned int>(values, detail::kRefreshSeconds);
    manager.updated = Get<long long>(values, detail::kUpdated);
    std::vector<std::string> tasks;
    if (store.subKeys(managerPath, tasks) != StoreStatus::kOk) continue;
    for (const std::string& taskKey : tasks) {
      if (!ReadValues(store, managerPath + "\\" + taskKey, entries)) continue;
      const RecordValues task(std::move(entries));
      LiveStatusTask item;
      item.name = UnescapeLiveStatusName(taskKey);
      item.position = Get<int>(task, detail::kPosition);
      item.enabled = Get<long long>(task, detail::kEnabled) != 0;
      item.frequency = Get<long long>(task, detail::kFrequency);
      item.persistent = Get<long long>(task, detail::kPersistent) != 0;
      item.started = Get<long long>(task, detail::kStarted) != 0;
      item.running = Get<long long>(task, detail::kRunning) != 0;
      item.lastRun = Get<long long>(task, detail::kLastRun);
      item.nextRun = Get<long long>(task, detail::kNextRun);
      manager.tasks.push_back(std::move(item));
    }
    std::stable_sort(manager.tasks.begin(), manager.tasks.end(),
                     [](const LiveStatusTask& a, const LiveStatusTask& b) { return a.position < b.position; });
    managers.push_back(std::move(manager));
  }
}

}  // namespace

bool ReadLiveStatus(std::vector<LiveStatusProcess>& processes, std::string& error) {
  processes.clear();
  const std::string section = ExpandInstanceKey("~" + std::string(kLiveStatusSection), FocusedScope());
  if (section.empty()) {
    error = "no instance is focused: the live status is kept per instance";
    return false;
  }
  ConfigStore& store = ConfigStore::ForThisThread();
  const ConfigStore::ReadSnapshot snapshot(store);
  std::vector<std::string> records;
  const StoreStatus listed = store.subKeys(section, records);
  if (listed == StoreStatus::kKeyMissing) return true;
  if (listed != StoreStatus::kOk) {
    error = store.lastError();
    return false;
  }
  for (const std::string& key : records) {
    const std::string path = section + "\\" + key;
    std::vector<StoreEntry> entries;
    if (!ReadValues(store, path, entries)) continue;  // removed meanwhile
    const RecordValues values(std::move(entries));
    LiveStatusProcess process;
    process.processName = values.text(detail::kProcessName);
    process.identity.pid = Get<long>(values, detail::kPid);
    process.identity.startTicks = Get<unsigned long long>(values, detail::kStartTicks);
    process.identity.bootId = values.text(detail::kBootId);
    process.identity.startedAt = Get<long long>(values, detail::kStartedAt);
    process.updated = Get<long long>(values, detail::kUpdated);
    process.state = CheckLiveProcess(process.identity);
    ReadPools(store, path + "\\" + std::string(detail::kPoolsKey), process.pools);
    ReadManagers(store, path + "\\" + std::string(detail::kTasksKey), process.managers);
    processes.push_back(std::move(process));
  }
  std::sort(processes.begin(), processes.end(), [](const LiveStatusProcess& a, const LiveStatusProcess& b) {
    return a.identity.pid < b.identity.pid;
  });
  return true;
}

}  // namespace zn
