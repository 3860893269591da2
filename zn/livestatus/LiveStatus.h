// The live status a running process publishes about itself, for
// administrators to read without the process's help: the figures of its
// named thread pools and the tasks of its periodic task managers, written
// at each of their refreshes into the configuration store, below the
// process's instance:
//
//   ~LiveStatus\<pid>                       who wrote it (name, pid, start
//                                           time, boot id) and when
//   ~LiveStatus\<pid>\Pools\<pool>          one pool's limits and figures
//   ~LiveStatus\<pid>\Tasks\<manager>       one manager's refresh interval
//   ~LiveStatus\<pid>\Tasks\<manager>\<task> one task's switch, frequency,
//                                           last and next run
//
// Each part is written in one store transaction, so a reader never sees
// half of one. A part goes when its pool or manager goes; the record goes
// with the process's last part. A process that ends without removing its
// record (killed) leaves it behind: CheckLiveProcess tells such a stale
// record from a live one, and the next pool or task manager to start in
// the instance removes it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "zn/base/ZnExport.h"

namespace zn {

// The section of the instance that holds the records.
inline constexpr std::string_view kLiveStatusSection = "LiveStatus";

struct ZN_EXPORT LiveStatusPool {
  std::string name;
  unsigned int minThreads = 0;
  unsigned int maxThreads = 0;
  unsigned long timeoutSeconds = 0;  // ZnThreadPool::kNoTimeout: idle threads never leave
  unsigned int threads = 0;
  unsigned int busyThreads = 0;
  unsigned int queued = 0;  // items waiting in the queue
  unsigned int ready = 0;   // of those, items that may start now
  long long updated = 0;    // seconds since 1970
};

struct ZN_EXPORT LiveStatusTask {
  std::string name;
  int position = 0;  // in the manager's table, from 1: its serial id on the pool
  bool enabled = false;
  long long frequency = 0;  // seconds
  bool persistent = false;
  bool started = false;  // OnStart has run
  bool running = false;  // a call of the task is queued or running
  long long lastRun = 0;  // seconds since 1970 of the last OnTimer; 0: none yet
  long long nextRun = 0;  // when the next OnTimer is due; 0: none (switched off)
};

struct ZN_EXPORT LiveStatusTaskManager {
  std::string name;
  unsigned int refreshSeconds = 0;
  long long updated = 0;
  std::vector<LiveStatusTask> tasks;  // in table order
};

enum class LiveProcessState {
  kRunning,     // the process that wrote the record runs
  kUnverified,  // a process has the pid but cannot be inspected (another user's, hidden /proc)
  kEnded,       // no process has the pid, or it is another process (other start time or boot)
};

// Who a record belongs to. A pid alone is no identity: pids are reused,
// also after a reboot; with the start time in clock ticks after boot and the
// boot's id it names one process for good.
struct ZN_EXPORT LiveProcessIdentity {
  long pid = 0;
  unsigned long long startTicks = 0;  // /proc/<pid>/stat, field 22
  std::string bootId;                 // /proc/sys/kernel/random/boot_id
  long long startedAt = 0;            // seconds since 1970
};

struct ZN_EXPORT LiveStatusProcess {
  std::string processName;
  LiveProcessIdentity identity;
  long long updated = 0;
  LiveProcessState state = LiveProcessState::kEnded;
  std::vector<LiveStatusPool> pools;
  std::vector<LiveStatusTaskManager> managers;
};

// This process, as its records name it.
ZN_EXPORT LiveProcessIdentity ThisLiveProcess();
ZN_EXPORT LiveProcessState CheckLiveProcess(const LiveProcessIdentity& identity);
ZN_EXPORT const char* LiveProcessStateName(LiveProcessState state);  // "running", "unverified", "ended"

// Every record of the focused instance, from one snapshot of the store, in
// pid order, each with its state. False with `error` when the store cannot
// be read or no instance is focused; no records is success.
ZN_EXPORT bool ReadLiveStatus(std::vector<LiveStatusProcess>& processes, std::string& error);

// Names in the store: "\" and "/" would split a key, so they (and "%")
// are written as "%" and two hex digits.
ZN_EXPORT std::string EscapeLiveStatusName(std::string_view name);
ZN_EXPORT std::string UnescapeLiveStatusName(std::string_view key);

}  // namespace zn

namespace zn::detail {

// One part of this process's record: a pool's or a task manager's. Names
// are made unique within the process (a second pool of the same name is
// "<name> (2)"). Publishing writes the part and the record's identity in
// one transaction; a part's first publishing first removes the records of
// processes that have ended. Failures are
// logged once, when publishing stops working, and never thrown.
class LiveStatusPart {
 public:
  // `kind`: "Pools" or "Tasks".
  LiveStatusPart(std::string_view kind, std::string_view name);
  // Removes the part from the store, and the record with its last part.
  ~LiveStatusPart();
  LiveStatusPart(const LiveStatusPart&) = delete;
  LiveStatusPart& operator=(const LiveStatusPart&) = delete;

  void publish(const LiveStatusPool& pool);
  void publish(const LiveStatusTaskManager& manager);
  // The key below the record, "<kind>\<escaped name>".
  const std::string& key() const { return m_key; }

 private:
  struct Values;
  void write(const Values& values);
  void remove();

  std::string m_key;
  std::string m_record;  // the record it was published into; empty when none
  long m_publisher = 0;  // the pid that published it (a forked child does not own it)
  bool m_failing = false;
};

}  // namespace zn::detail
