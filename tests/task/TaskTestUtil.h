// Shared pieces of the periodic task manager tests: a recorder that every
// task entry point reports to (through the test task library or directly),
// the fixture with a store, a verbose log, a pool and the home folder, and
// bounded waits.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/logupkeep/LogSettingsTasks.h"
#include "zn/task/PeriodicTaskSettings.h"
#include "zn/task/ZnPeriodicTask.h"
#include "zn/pool/ZnThreadPool.h"
#include "zuzazer/CYqLibrary.h"
#include "zuzazer/FXPath.h"

namespace zn::test {

inline constexpr const char* kTestTaskLibrary = "libzn_test_tasks.so";

// The folder of libZaRorozIvi.so, where the build puts the test task
// library too.
inline std::string LibraryFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ReviseDebugLogSetting_OnTimer), &info) == 0 || info.dli_fname == nullptr) {
    return std::string();
  }
  return std::filesystem::path(info.dli_fname).parent_path().string();
}

// One call of an entry point as a task saw it.
struct TaskCall {
  const void* task = nullptr;  // the status: tells rows of the same name apart
  std::string name;
  std::string entry;  // "OnStart", "OnTimer", "OnStop"
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point end;
  long long wallStart = 0;  // time(2) at the start
  int frequency = 0;        // the status's frequency at the call
  long long lastRunTime = 0;  // the status's last run time at the call

  char letter() const { return entry == "OnStart" ? 'S' : entry == "OnTimer" ? 'T' : 'P'; }
};

// What a task does when called. Keyed by task name.
struct TaskBehaviour {
  int startResult = 0;
  int timerResult = 0;
  bool timerThrows = false;
  int callMs = 0;  // how long each call takes
};

// Records every call, and whether calls of one task ever overlapped. The
// entry points find it through the task's user data.
class TaskRecorder {
 public:
  void setBehaviour(const std::string& task, const TaskBehaviour& behaviour) {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_behaviour[task] = behaviour;
  }

  int handle(const char* entry, ZnPeriodicTaskStatus* status) {
    TaskCall call;
    call.task = status;
    call.name = status->getTaskName();
    call.entry = entry;
    call.frequency = status->getFrequency();
    call.lastRunTime = status->getLastRunTime();
    call.wallStart = static_cast<long long>(::time(nullptr));
    call.start = std::chrono::steady_clock::now();
    TaskBehaviour behaviour;
    {
      std::lock_guard<std::mutex> hold(m_mutex);
      if (++m_inCall[status] > 1) m_overlapped.insert(call.name);
      const auto found = m_behaviour.find(call.name);
      if (found != m_behaviour.end()) behaviour = found->second;
    }
    if (behaviour.callMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(behaviour.callMs));
    int result = 0;
    if (call.entry == "OnStart") result = behaviour.startResult;
    if (call.entry == "OnTimer") result = behaviour.timerResult;
    call.end = std::chrono::steady_clock::now();
    {
      std::lock_guard<std::mutex> hold(m_mutex);
      --m_inCall[status];
      m_calls.push_back(call);
    }
    if (call.entry == "OnTimer" && behaviour.timerThrows) throw std::runtime_error("task failure");
    return result;
  }

  std::vector<TaskCall> calls(const std::string& task) const {
    std::lock_guard<std::mutex> hold(m_mutex);
    std::vector<TaskCall> out;
    for (const TaskCall& call : m_calls) {
      if (call.name == task) out.push_back(call);
    }
    return out;
  }
  int count(const std::string& task, const std::string& entry) const {
    int n = 0;
    for (const TaskCall& call : calls(task)) n += call.entry == entry ? 1 : 0;
    return n;
  }
  // "S" for OnStart, "T" for OnTimer, "P" for OnStop, in call order.
  std::string sequence(const std::string& task) const {
    std::string text;
    for (const TaskCall& call : calls(task)) text += call.letter();
    return text;
  }
  // The sequence with each run of OnTimer calls shown once: "STTTP" is
  // "STP".
  std::string runs(const std::string& task) const { return Runs(sequence(task)); }
  static std::string Runs(const std::string& sequence) {
    std::string text;
    for (const char c : sequence) {
      if (c != 'T' || text.empty() || text.back() != 'T') text += c;
    }
    return text;
  }
  bool overlapped(const std::string& task) const {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_overlapped.count(task) != 0;
  }
  // Waits (bounded) until `task` has made `n` calls of `entry`.
  bool waitFor(const std::string& task, const std::string& entry, int n,
               std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
    return PollUntil([&] { return count(task, entry) >= n; }, limit);
  }

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, TaskBehaviour> m_behaviour;
  std::map<const void*, int> m_inCall;
  std::set<std::string> m_overlapped;
  std::vector<TaskCall> m_calls;
};

// Every entry point ends here: the recorder is the task's user data.
inline int Dispatch(const char* entry, ZnPeriodicTaskStatus* status) {
  auto* recorder = static_cast<TaskRecorder*>(*status->refUserData());
  return recorder != nullptr ? recorder->handle(entry, status) : 0;
}
inline int PointerOnStart(ZnPeriodicTaskStatus* status) { return Dispatch("OnStart", status); }
inline int PointerOnTimer(ZnPeriodicTaskStatus* status) { return Dispatch("OnTimer", status); }
inline int PointerOnStop(ZnPeriodicTaskStatus* status) { return Dispatch("OnStop", status); }

// A row whose entry points are given as pointers.
inline ZnPeriodicTaskItem PointerRow(const char* name, int frequency, TaskRecorder* recorder, bool enabled = true,
                                     bool persistent = false) {
  return ZnPeriodicTaskItem{name,    enabled, true,    persistent,      frequency,       nullptr,        nullptr,
                            nullptr, nullptr, nullptr, &PointerOnStart, &PointerOnTimer, &PointerOnStop, recorder};
}

// A row loaded by name from `library` in the home folder.
inline ZnPeriodicTaskItem LibraryRow(const char* name, int frequency, TaskRecorder* recorder,
                                     const char* library = kTestTaskLibrary,
                                     const char* onTimer = "ZnTestTask_OnTimer",
                                     const char* onStart = "ZnTestTask_OnStart",
                                     const char* onStop = "ZnTestTask_OnStop") {
  return ZnPeriodicTaskItem{name,    true,    true,    false,   frequency, nullptr, library,
                            onStart, onTimer, onStop,  nullptr, nullptr,   nullptr, recorder};
}

inline constexpr ZnPeriodicTaskItem kEndOfTable{};

// An empty store, the "zntest" log at level 20 in a scratch folder, the
// home folder pointing at the build's libraries, a short refresh interval,
// a pool for the calls, and the test task library's handler registered.
class TaskTest : public ConfigTest {
 protected:
  void SetUp() override {
    ConfigTest::SetUp();
    ZNPlatformInfo store(0, 0);
    ASSERT_NE(store.setNumber("EventManager", "zntest_DEBUGLEVEL", 20), 0);
    EvDebug().setDebugLevel(20);
    SetHome(LibraryFolder());
    SetRefreshSeconds(1);
    const std::string library = FXPath::Append(LibraryFolder(), kTestTaskLibrary);
    ASSERT_TRUE(m_testLibrary.Load(library).IsSuccess()) << library;
    void* setHandler = nullptr;
    ASSERT_TRUE(m_testLibrary.GetAddress("ZnTestTasks_SetHandler", setHandler).IsSuccess());
    reinterpret_cast<void (*)(int (*)(const char*, ZnPeriodicTaskStatus*))>(setHandler)(&Dispatch);
    ASSERT_TRUE(m_pool.initThreadPool("TaskTest", 60, 2, 8, 2));
  }
  void TearDown() override {
    // Calls still queued hold their tasks: let them finish before the
    // recorder goes.
    EXPECT_TRUE(m_pool.waitForAllThreads(true, true, true, 60));
    ConfigTest::TearDown();
  }

  static void SetHome(const std::string& folder) {
    ASSERT_NE(ZNPlatformInfo(0, 0).setString("Base", "dBASEHOME", folder), 0);
  }
  static void SetRefreshSeconds(unsigned long seconds) {
    ASSERT_NE(ZNPlatformInfo(0, 0).setNumber("Base", "PeriodicTasksRefreshIntervalSeconds", seconds), 0);
  }
  // A task setting of manager `mgr` as stored; "" when absent.
  static std::string Setting(const std::string& mgr, const std::string& name) {
    std::string text;
    ZNPlatformInfo(0, 0).getString(zn::PeriodicTaskSection(mgr).c_str(), name.c_str(), &text);
    return text;
  }
  static void SetSetting(const std::string& mgr, const std::string& name, const std::string& text) {
    ASSERT_NE(ZNPlatformInfo(0, 0).setString(zn::PeriodicTaskSection(mgr).c_str(), name.c_str(), text), 0);
  }
  // Waits until the running manager `mgr` has taken over a fresh setting of
  // `task`, i.e. until it has refreshed at least once from now.
  static bool WaitForRefresh(const std::string& mgr, const std::string& task, int frequency) {
    const std::string name = task + "_frequency";
    SetSetting(mgr, name, std::to_string(frequency));
    return PollUntil([&] { return Setting(mgr, name) == "*" + std::to_string(frequency); });
  }

  // How often `text` occurs in the log.
  int Occurrences(const std::string& text) const {
    const std::string log = LogText();
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
  bool WaitLogged(const std::string& text) const { return PollUntil([&] { return Logged(text); }); }

  // Stops the manager and waits until every call it queued has run.
  void StopAndDrain(ZnPeriodicTaskMgr& mgr) {
    mgr.StopPeriodicTasks();
    ASSERT_TRUE(PollUntil(
        [&] { return m_pool.getTotalWorkerListCount() == 0 && m_pool.getCurrentBusyThreadCount() == 0; }));
  }

  TaskRecorder m_recorder;
  CYqLibrary m_testLibrary;
  ZnThreadPool m_pool;
};

}  // namespace zn::test
