// The process-wide registry of performance observations. Code registers an
// instance (a module and an instance name) and adds named observations to
// it, each with a statistic type that says how updates combine. A logging
// thread writes every observation to the metrics log ("PerformanceMetrics")
// once a minute by default, one line per instance and statistic group:
//
//   Context="<process>" Module="<module>" Instance="<instance>" Type="SnapShot" <name>="<value>" ...
//
// One process-wide lock guards the registry and every observation; nothing
// is logged while it is held. Whether a process collects at all is decided
// once, by Initialize, from the configuration store; until then, and while
// collection is off, the collector's operations do nothing.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"

// How updates of an observation combine.
enum ZnStatType : int {
  ZnStatSum = 0,              // a delta counter: updates add up
  ZnStatMinimum = 1,          // the smallest update of at least 1
  ZnStatMaximum = 2,          // the largest update
  ZnStatSnapShot = 3,         // the last value
  ZnStatMaxElapsedTime = 4,   // the longest StartTime..StopTime, in seconds
  ZnStatMinElapsedTime = 5,   // the shortest of at least one second
  ZnStatLastElapsedTime = 6,  // the last one
};

// Which dumps report an observation; any value other than 0 and 1 means both.
enum ZnStatLogType : int {
  ZnStatLogPeriodic = 0,  // the logging thread's dumps only
  ZnStatLogExplicit = 1,  // DumpStatistics calls only
  ZnStatLogAll = 2,
};

// When a dump that reports an observation resets it; any value other than
// 0 and 1 means "when the reset interval has passed since the last reset".
enum ZnResetType : int {
  ZnResetNever = 0,
  ZnResetOnDump = 1,
  ZnResetOnInterval = 2,
};

class ZnMetrics;

// One observation. Owned by its instance and guarded by the collector's
// lock: use it through ZnMetrics or ZnMetricsCollector.
class ZN_EXPORT ZnStat {
 public:
  // The value a reset gives minimum observations, and a new one starts at.
  static constexpr int kMinimumReset = 2147483647;

  ZnStat(const std::string& name, ZnStatType type);

  const std::string& getName() const { return m_name; }
  ZnStatType getType() const { return m_type; }
  long getValue() const { return m_value; }

  ZnStatLogType getLogType() const { return m_logType; }
  void setLogType(ZnStatLogType type) { m_logType = type; }
  ZnResetType getResetType() const { return m_resetType; }
  void setResetType(ZnResetType type) { m_resetType = type; }
  int getResetInterval() const { return m_resetInterval; }
  void setResetInterval(int seconds) { m_resetInterval = seconds; }
  // Seconds since 1970.
  long long getStartTime() const { return m_startTime; }
  void setStartTime(long long seconds) { m_startTime = seconds; }
  long long getLastResetTime() const { return m_lastResetTime; }
  void setLastResetTime(long long seconds) { m_lastResetTime = seconds; }
  const std::string& getParameters() const { return m_parameters; }
  void setParameters(const std::string& text) { m_parameters = text; }

  // Values are 32-bit: a wider argument keeps its low 32 bits, and sums
  // wrap around.
  void Update(long value);
  void Set(long value);
  void Increment(long delta);
  // Elapsed-time observations: StartTime notes `now`, StopTime combines
  // now minus that start as Update combines a value.
  void StartTime(long long now);
  void StopTime(long long now);

  // The value a dump reports, resetting afterwards as the reset type says.
  long ReadForDump(long long now);
  // Sums, maxima and last elapsed times go to 0, minima to kMinimumReset;
  // snapshots keep their value.
  void Reset();

 private:
  std::string m_name;
  ZnStatType m_type;
  int m_value;
  ZnStatLogType m_logType = ZnStatLogPeriodic;
  long long m_startTime = 0;
  ZnResetType m_resetType = ZnResetOnDump;
  int m_resetInterval = 0;
  long long m_lastResetTime;
  std::string m_parameters;
};

// One instance: its observations by name. Every operation takes the
// collector's lock. An operation on a name that was never added is logged
// and ignored.
class ZN_EXPORT ZnMetrics {
 public:
  ZnMetrics();
  ZnMetrics(const std::string& moduleName, const std::string& name);
  ~ZnMetrics();
  ZnMetrics(const ZnMetrics&) = delete;
  ZnMetrics& operator=(const ZnMetrics&) = delete;

  // Always a new observation: one of the same name is replaced.
  void AddObservation(const std::string& name, ZnStatType type);
  // Only when the name is new: the observation with these settings. An
  // existing one is left as it is.
  void AddObservation(const std::string& name, ZnStatType type, ZnResetType resetType, int resetInterval);
  void AddObservation(const std::string& name, ZnStatType type, ZnStatLogType logType);
  void AddObservation(const std::string& name, ZnStatType type, ZnStatLogType logType, ZnResetType resetType,
                      int resetInterval);

  void Update(const std::string& name, long value);
  void Set(const std::string& name, long value);
  void Increment(const std::string& name, long delta);
  void IncrementByOne(const std::string& name);
  void DecrementByOne(const std::string& name);
  void StartTime(const std::string& name);
  void StopTime(const std::string& name);
  // Printed in parentheses after the value.
  void SetObservationParameters(const std::string& name, const std::string& parameters);
  // The current value, without a reset; false when there is no such
  // observation.
  bool getValue(const std::string& name, long& value);
  // Null when there is none. Touch it only under the collector's lock.
  ZnStat* FindStat(const std::string& name);

  void SetName(const std::string& name);
  void SetModuleName(const std::string& moduleName);
  std::string GetName() const;
  std::string GetModuleName() const;

  // Writes the observations meant for explicit dumps to the metrics log.
  void DumpStatistics();
  // Removes this instance from the collector when it is the one registered
  // under its names, which deletes it: the pointer is invalid afterwards.
  // An instance the collector does not hold is left as it is.
  void DeRegisterInstance();

  // The collector's own: the bodies of the operations, run with its lock
  // held (zn/metrics/internal/ZnMetricsLocked.h).
  struct Locked;

 private:
  std::map<std::string, std::unique_ptr<ZnStat>, std::less<>> m_stats;
  std::string m_name;
  std::string m_moduleName;
};

class ZN_EXPORT ZnMetricsCollector {
 public:
  // Decides, once per process, whether it collects; starts the logging
  // thread while collection is on and the thread is not running.
  static void Initialize();

  // Null while collection is off.
  static ZnMetrics* RegisterInstance(const std::string& module, const std::string& instance);
  static ZnMetrics* RegisterInstance(const std::string& instance);
  static void RegisterInstanceOnly(const std::string& module, const std::string& instance);
  static void RegisterInstanceOnly(const std::string& instance);
  // Removes the instance and its observations, without a last dump.
  static void DeRegisterInstance(const std::string& module, const std::string& instance);
  static void DeRegisterInstance(const std::string& instance);

  // The instance is registered on the spot when it is missing.
  static void AddObservation(const std::string& module, const std::string& instance, const std::string& name,
                             ZnStatType type);
  static void AddObservation(const std::string& module, const std::string& instance, const std::string& name,
                             ZnStatType type, ZnResetType resetType, int resetInterval);
  static void AddObservation(const std::string& module, const std::string& instance, const std::string& name,
                             ZnStatType type, ZnStatLogType logType);
  static void AddObservation(const std::string& module, const std::string& instance, const std::string& name,
                             ZnStatType type, ZnStatLogType logType, ZnResetType resetType, int resetInterval);
  static void AddObservation(const std::string& instance, const std::string& name, ZnStatType type);
  static void AddObservation(const std::string& instance, const std::string& name, ZnStatType type,
                             ZnResetType resetType, int resetInterval);
  static void AddObservation(const std::string& instance, const std::string& name, ZnStatType type,
                             ZnStatLogType logType);
  static void AddObservation(const std::string& instance, const std::string& name, ZnStatType type,
                             ZnStatLogType logType, ZnResetType resetType, int resetInterval);

  static void Update(const std::string& module, const std::string& instance, const std::string& name, long value);
  static void Set(const std::string& module, const std::string& instance, const std::string& name, long value);
  static void IncrementByOne(const std::string& module, const std::string& instance, const std::string& name);
  static void DecrementByOne(const std::string& module, const std::string& instance, const std::string& name);
  static void StartTime(const std::string& module, const std::string& instance, const std::string& name);
  static void StopTime(const std::string& module, const std::string& instance, const std::string& name);
  static void SetObservationParameters(const std::string& module, const std::string& instance,
                                       const std::string& name, const std::string& parameters);
  static void Update(const std::string& instance, const std::string& name, long value);
  static void Set(const std::string& instance, const std::string& name, long value);
  static void IncrementByOne(const std::string& instance, const std::string& name);
  static void DecrementByOne(const std::string& instance, const std::string& name);
  static void StartTime(const std::string& instance, const std::string& name);
  static void StopTime(const std::string& instance, const std::string& name);
  static void SetObservationParameters(const std::string& instance, const std::string& name,
                                       const std::string& parameters);

  // Explicit dump of one instance (observations of log type other than 0).
  static void DumpStatistics(const std::string& module, const std::string& instance);
  static void DumpStatistics(const std::string& instance);
  // Writes `Context="<process>" Module="<module>" Instance="<instance>" <text> `.
  static void DumpStaticData(const std::string& module, const std::string& instance, const std::string& text);
  // The periodic dump: every instance, observations of log type other than 1.
  static void DumpStatisticsOnThread();
  // Stops the logging thread after its current dump and waits (bounded)
  // for it to end.
  static void StopThreadSignal();

  // Samplers: code that keeps its own counters (with atomics, say) hands
  // them over only when asked, just before each dump, instead of paying for
  // the collector's lock on every change. A sampler runs on the dumping
  // thread, without the collector's lock, and may call the collector. An
  // equal pair is added once. Once RemoveSampler returns, that sampler is
  // not running and is not called again; a sampler must not need a lock
  // that its remover holds while removing it.
  using Sampler = void (*)(void*);
  static void AddSampler(Sampler sampler, void* argument);
  static void RemoveSampler(Sampler sampler, void* argument);

 protected:
  // The instance, registered on the spot when missing; null while
  // collection is off.
  static ZnMetrics* FindInstance(const std::string& module, const std::string& instance);
};
