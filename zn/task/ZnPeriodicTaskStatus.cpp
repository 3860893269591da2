// ZnPeriodicTaskStatus: the guarded fields and the three calls the pool runs.

#include <cxxabi.h>

#include <ctime>
#include <exception>
#include <memory>

#include "zn/log/EvDebug.h"
#include "zn/task/internal/PeriodicTaskLog.h"
#include "zn/task/ZnPeriodicTask.h"

using zn::detail::kPeriodicTaskJobId;

namespace zn::detail {
namespace {

// "%Y-%m-%d %H:%M:%S" in local time.
std::string LocalTimeText(long long seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[32] = "";
  if (::localtime_r(&when, &local) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// A queued call: takes back the pool's reference to the status and runs
// `member` on it.
template <unsigned int (ZnPeriodicTaskStatus::*member)()>
unsigned int RunQueued(void* argument) {
  const std::unique_ptr<boost::shared_ptr<ZnPeriodicTaskStatus>> task(
      static_cast<boost::shared_ptr<ZnPeriodicTaskStatus>*>(argument));
  if (task != nullptr && *task) ((**task).*member)();
  return 0;
}

}  // namespace
}  // namespace zn::detail

ZnPeriodicTaskStatus::ZnPeriodicTaskStatus(const std::string& mgrName, ZnPeriodicTaskMgr* mgr,
                                           const ZnPeriodicTaskItem* item)
    : m_mgrName(mgrName),
      m_mgr(mgr),
      m_item(item),
      m_taskName(item->taskName != nullptr ? item->taskName : ""),
      m_persistent(item->persistentSchedule),
      m_enabled(item->enabledByDefault),
      m_frequency(item->defaultFrequency),
      m_userData(item->userData) {}

ZnPeriodicTaskStatus::~ZnPeriodicTaskStatus() { freeCbFuncs(); }

bool ZnPeriodicTaskStatus::isTaskMgrQuit() const {
  ZnCriticalSectionLock hold(&m_lock);
  return m_mgr == nullptr || m_mgr->isQuitFlagOn();
}

void ZnPeriodicTaskStatus::detachManager() {
  ZnCriticalSectionLock hold(&m_lock);
  m_mgr = nullptr;
}

int ZnPeriodicTaskStatus::getFrequency() const {
  ZnCriticalSectionLock hold(&m_lock);
  return m_frequency;
}

void ZnPeriodicTaskStatus::setFrequency(int seconds) {
  ZnCriticalSectionLock hold(&m_lock);
  m_frequency = seconds;
}

long long ZnPeriodicTaskStatus::getLastRunTime() const {
  ZnCriticalSectionLock hold(&m_lock);
  return m_lastRunTime;
}

void ZnPeriodicTaskStatus::setLastRunTime(long long seconds) {
  ZnCriticalSectionLock hold(&m_lock);
  m_lastRunTime = seconds;
}

bool ZnPeriodicTaskStatus::isEnabled() const {
  ZnCriticalSectionLock hold(&m_lock);
  return m_enabled;
}

void ZnPeriodicTaskStatus::setEnabled(bool enabled) {
  ZnCriticalSectionLock hold(&m_lock);
  m_enabled = enabled;
}

bool ZnPeriodicTaskStatus::isRunning() const {
  ZnCriticalSectionLock hold(&m_lock);
  return m_running;
}

void ZnPeriodicTaskStatus::setRunning(bool running) {
  ZnCriticalSectionLock hold(&m_lock);
  m_running = running;
}

eTaskStatus ZnPeriodicTaskStatus::getStatus() const {
  ZnCriticalSectionLock hold(&m_lock);
  return m_status;
}

void ZnPeriodicTaskStatus::setStatus(eTaskStatus status) {
  ZnCriticalSectionLock hold(&m_lock);
  m_status = status;
}

ZnPeriodicTaskStatus::Due ZnPeriodicTaskStatus::takeDueCall(long long now) {
  ZnCriticalSectionLock hold(&m_lock);
  if (m_enabled && m_status == TASK_NOT_STARTED) {
    if (m_running) return Due::kNothing;
    m_running = true;
    return Due::kStart;
  }
  if (m_enabled && m_status == TASK_STARTED) {
    if (now < m_lastRunTime + m_frequency) return Due::kNothing;
    if (m_running) return Due::kStillRunning;
    m_running = true;
    m_lastRunTime = now;
    return Due::kTimer;
  }
  if (!m_enabled && m_status == TASK_STARTED && !m_running) {
    m_running = true;
    return Due::kStop;
  }
  return Due::kNothing;
}

bool ZnPeriodicTaskStatus::takeFinalStop() {
  ZnCriticalSectionLock hold(&m_lock);
  if (!m_enabled || m_status != TASK_STARTED) return false;
  m_running = true;
  return true;
}

int ZnPeriodicTaskStatus::callEntry(Entry entry, const char* function) {
  const ZnPeriodicTaskEntry call = entry == Entry::kStart ? m_onStart : entry == Entry::kTimer ? m_onTimer : m_onStop;
  const char* name = entry == Entry::kStart ? "OnStart" : entry == Entry::kTimer ? "OnTimer" : "OnStop";
  if (call == nullptr) return 0;
  const char* what = "unknown exception";
  std::string text;
  try {
    return call(this);
  } catch (abi::__forced_unwind&) {
    throw;  // a cancelled pool thread must unwind
  } catch (const std::exception& e) {
    text = e.what();
    what = text.c_str();
  } catch (const char* message) {
    text = message != nullptr ? message : "";
    what = text.c_str();
  } catch (...) {
  }
  EvDebug().Debug(function, "[%s] [%s] %s threw [%s]. Taken as a failure", getMgrName(), getTaskName(), name, what);
  return -1;
}

unsigned int ZnPeriodicTaskStatus::RunOnStart() {
  static constexpr const char* kFunction = "ZnPeriodicTaskStatus::RunOnStart";
  EvDebug log;
  log.DebugLvl(kFunction, 2, kPeriodicTaskJobId, "[%s] [%s] OnStart called", getMgrName(), getTaskName());
  if (m_persistent) {
    const long long last = getLastRunTimeFromReg();
    setLastRunTime(last);
    log.DebugLvl(kFunction, 2, kPeriodicTaskJobId, "Setting lastRunTime of [%s][%s] to %s", getMgrName(),
                 getTaskName(), zn::detail::LocalTimeText(last).c_str());
  } else {
    setLastRunTime(0);  // the first OnTimer is due at once
  }
  const int result = callEntry(Entry::kStart, kFunction);
  {
    ZnCriticalSectionLock hold(&m_lock);
    if (result != 0) {
      m_status = TASK_NOT_STARTED;
      m_enabled = false;
    } else {
      m_status = TASK_STARTED;
    }
    m_running = false;
  }
  if (result != 0) {
    log.Debug(kFunction, "[%s] [%s] OnStart returned %d. Disabling task", getMgrName(), getTaskName(), result);
  }
  return 0;
}

unsigned int ZnPeriodicTaskStatus::RunOnTimer() {
  static constexpr const char* kFunction = "ZnPeriodicTaskStatus::RunOnTimer";
  EvDebug log;
  log.DebugLvl(kFunction, 2, kPeriodicTaskJobId, "[%s] [%s] OnTimer called", getMgrName(), getTaskName());
  if (m_persistent && setLastRunTimeInReg(getLastRunTime()) == 0) {
    log.Debug(kFunction, "[%s][%s] Failed to set lastRunTime in Registry", getMgrName(), getTaskName());
  }
  int result = -1;
  if (m_onTimer == nullptr) {
    log.Debug(kFunction, "[%s] [%s] Fatal error OnTimer is NULL. Disabling task.", getMgrName(), getTaskName());
  } else {
    result = callEntry(Entry::kTimer, kFunction);
  }
  if (result != 0) {
    log.Debug(kFunction, "[%s] [%s]. OnTimer returned non zero. Disabling task", getMgrName(), getTaskName());
    // Off first: once OnStop has left the task not started, the main thread
    // must not see it as due for OnStart.
    setEnabled(false);
    RunOnStop();
  }
  setRunning(false);
  return 0;
}

unsigned int ZnPeriodicTaskStatus::RunOnStop() {
  static constexpr const char* kFunction = "ZnPeriodicTaskStatus::RunOnStop";
  EvDebug().DebugLvl(kFunction, 2, kPeriodicTaskJobId, "[%s] [%s] OnStop called", getMgrName(), getTaskName());
  setRunning(true);
  callEntry(Entry::kStop, kFunction);  // its result does not matter
  ZnCriticalSectionLock hold(&m_lock);
  m_status = TASK_NOT_STARTED;
  m_running = false;
  return 0;
}

unsigned int ZnPeriodicTaskStatus::RunOnStartStatic(void* argument) {
  return zn::detail::RunQueued<&ZnPeriodicTaskStatus::RunOnStart>(argument);
}

unsigned int ZnPeriodicTaskStatus::RunOnTimerStatic(void* argument) {
  return zn::detail::RunQueued<&ZnPeriodicTaskStatus::RunOnTimer>(argument);
}

unsigned int ZnPeriodicTaskStatus::RunOnStopStatic(void* argument) {
  return zn::detail::RunQueued<&ZnPeriodicTaskStatus::RunOnStop>(argument);
}
