// Publishing this process's live status: its parts, written one store
// transaction each, and the removal of records whose process has ended.

#include <unistd.h>

#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "zn/base/ZnCriticalSection.h"
#include "zn/livestatus/LiveStatus.h"
#include "zn/livestatus/internal/LiveStatusLayout.h"
#include "zn/log/EvDebug.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"
#include "zn/util/ZnProcessName.h"
#include "zuzazer/FXNoDestructor.h"

namespace zn::detail {
namespace {

// What this process has published, guarded by one lock so that a part is
// never written after its removal and the record goes with the last part.
struct Registry {
  ZnCriticalSection lock;
  std::set<std::string> keys;        // "<kind>\<name>" of every part object alive
  std::map<std::string, int> parts;  // record path -> parts published into it
  long pid = 0;                      // the process the map belongs to
  LiveProcessIdentity identity;
  std::string processName;
};

Registry& TheRegistry() {
  static yq::NoDestructor<Registry> registry;
  return registry.get();
}

// After a fork the child starts its own record; what the parent published
// stays the parent's. Caller holds the lock.
void Adopt(Registry& registry) {
  const long pid = static_cast<long>(::getpid());
  if (registry.pid == pid) return;
  registry.pid = pid;
  registry.parts.clear();
  registry.identity = ThisLiveProcess();
  registry.processName = RunningProcessName();
}

LiveProcessIdentity StoredIdentity(const RecordValues& values) {
  LiveProcessIdentity identity;
  identity.pid = static_cast<long>(values.number(kPid).value_or(0));
  identity.startTicks = static_cast<unsigned long long>(values.number(kStartTicks).value_or(0));
  identity.bootId = values.text(kBootId);
  return identity;
}

// Records of processes that have ended go; so does an older record under
// this process's own pid. A record whose process cannot be checked stays.
void RemoveEndedRecords(ConfigStore& store, const std::string& section) {
  std::vector<std::string> records;
  if (store.subKeys(section, records) != StoreStatus::kOk) return;
  for (const std::string& name : records) {
    const std::string path = section + "\\" + name;
    std::vector<StoreEntry> entries;
    if (store.values(path, entries) != StoreStatus::kOk) continue;
    if (CheckLiveProcess(StoredIdentity(RecordValues(std::move(entries)))) == LiveProcessState::kEnded) {
      store.deleteTree(path);
    }
  }
}

}  // namespace

// A part's values, by key relative to the part ("" is the part's own key).
struct LiveStatusPart::Values {
  std::vector<std::string> keys{""};
  std::vector<ConfigStore::BatchValue> values;
};

LiveStatusPart::LiveStatusPart(std::string_view kind, std::string_view name) {
  Registry& registry = TheRegistry();
  ZnCriticalSectionLock hold(&registry.lock);
  const std::string base = std::string(kind) + "\\" + EscapeLiveStatusName(name.empty() ? "(unnamed)" : name);
  m_key = base;
  for (int copy = 2; !registry.keys.insert(m_key).second; ++copy) m_key = base + " (" + std::to_string(copy) + ")";
}

LiveStatusPart::~LiveStatusPart() {
  Registry& registry = TheRegistry();
  ZnCriticalSectionLock hold(&registry.lock);
  remove();
  registry.keys.erase(m_key);
}

void LiveStatusPart::publish(const LiveStatusPool& pool) {
  Values part;
  part.values = {NumberValue("", kMinThreads, pool.minThreads),     NumberValue("", kMaxThreads, pool.maxThreads),
                 NumberValue("", kTimeout, pool.timeoutSeconds),    NumberValue("", kThreads, pool.threads),
                 NumberValue("", kBusyThreads, pool.busyThreads),   NumberValue("", kQueued, pool.queued),
                 NumberValue("", kReady, pool.ready)};
  write(part);
}

void LiveStatusPart::publish(const LiveStatusTaskManager& manager) {
  Values part;
  part.values.push_back(NumberValue("", kRefreshSeconds, manager.refreshSeconds));
  std::set<std::string> taken;
  for (const LiveStatusTask& task : manager.tasks) {
    // Rows of one name are two tasks: each gets a key of its own.
    const std::string base = EscapeLiveStatusName(task.name.empty() ? "(unnamed)" : task.name);
    std::string key = base;
    for (int copy = 2; !taken.insert(key).second; ++copy) key = base + " (" + std::to_string(copy) + ")";
    part.keys.push_back(key);
    part.values.push_back(NumberValue(key, kPosition, static_cast<unsigned long long>(task.position)));
    part.values.push_back(NumberValue(key, kEnabled, task.enabled ? 1 : 0));
    part.values.push_back(DecimalValue(key, kFrequency, task.frequency));
    part.values.push_back(NumberValue(key, kPersistent, task.persistent ? 1 : 0));
    part.values.push_back(NumberValue(key, kStarted, task.started ? 1 : 0));
    part.values.push_back(NumberValue(key, kRunning, task.running ? 1 : 0));
    part.values.push_back(DecimalValue(key, kLastRun, task.lastRun));
    part.values.push_back(DecimalValue(key, kNextRun, task.nextRun));
  }
  write(part);
}

void LiveStatusPart::write(const Values& part) {
  Registry& registry = TheRegistry();
  ZnCriticalSectionLock hold(&registry.lock);
  Adopt(registry);
  if (m_publisher != registry.pid) m_record.clear();  // the parent's, not ours
  m_publisher = registry.pid;
  const std::string section = ExpandInstanceKey("~" + std::string(kLiveStatusSection), FocusedScope());
  if (section.empty()) return;  // no instance: nowhere to publish
  const std::string record = section + "\\" + std::to_string(registry.pid);
  if (!m_record.empty() && m_record != record) remove();  // the focus moved to another instance

  ConfigStore& store = ConfigStore::ForThisThread();
  // A part's first publishing clears what ended processes left: a service
  // that starts (or starts a pool) tidies up after one that was killed.
  if (m_record.empty()) RemoveEndedRecords(store, section);

  const long long now = static_cast<long long>(::time(nullptr));
  const LiveProcessIdentity& self = registry.identity;
  const std::string own = record + "\\" + m_key;
  std::vector<std::string> keys{record};
  std::vector<ConfigStore::BatchValue> values{
      TextValue(record, kProcessName, registry.processName), NumberValue(record, kPid, static_cast<unsigned long long>(self.pid)),
      DecimalValue(record, kStartTicks, static_cast<long long>(self.startTicks)), TextValue(record, kBootId, self.bootId),
      DecimalValue(record, kStartedAt, self.startedAt), DecimalValue(record, kUpdated, now),
      DecimalValue(own, kUpdated, now)};
  for (const std::string& key : part.keys) keys.push_back(key.empty() ? own : own + "\\" + key);
  for (const ConfigStore::BatchValue& value : part.values) {
    values.push_back({value.key.empty() ? own : own + "\\" + value.key, value.name, value.type, value.data});
  }
  if (store.writeBatch(keys, values) != StoreStatus::kOk) {
    if (!m_failing) {
      EvDebug().DebugLvl("LiveStatusPart::publish", 3, "Cannot publish the live status [%s]: %s", own.c_str(),
                         store.lastError().c_str());
    }
    m_failing = true;
    return;
  }
  m_failing = false;
  if (m_record.empty()) {
    m_record = record;
    ++registry.parts[record];
  }
}

// Caller holds the registry's lock.
void LiveStatusPart::remove() {
  Registry& registry = TheRegistry();
  if (m_record.empty() || m_publisher != static_cast<long>(::getpid())) return;
  ConfigStore& store = ConfigStore::ForThisThread();
  store.deleteTree(m_record + "\\" + m_key);
  const auto found = registry.parts.find(m_record);
  if (found != registry.parts.end() && --found->second <= 0) {
    registry.parts.erase(found);
    store.deleteTree(m_record);
  }
  m_record.clear();
}

}  // namespace zn::detail
