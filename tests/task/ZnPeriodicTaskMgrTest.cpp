// The periodic task manager at work: the order and frequency of the calls,
// one call of a task at a time, the store switches and frequencies read at
// every refresh (also as znadmin writes them), persistent schedules across
// a restart, and the library's own maintenance tasks loaded by name.

#include <nlohmann/json.hpp>

#include "helpers/AdminRunner.h"
#include "task/TaskTestUtil.h"
#include "zn/logupkeep/LogUpkeepTesting.h"

namespace {

using zn::test::LibraryRow;
using zn::test::PointerRow;
using zn::test::RunAdmin;
using zn::test::TaskBehaviour;
using zn::test::TaskCall;
using zn::test::TaskTest;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::vector<TaskCall> Only(const std::vector<TaskCall>& calls, const std::string& entry) {
  std::vector<TaskCall> out;
  for (const TaskCall& call : calls) {
    if (call.entry == entry) out.push_back(call);
  }
  return out;
}

TEST_F(TaskTest, CallsRunInOrderAtTheirFrequencyOneAtATime) {
  m_recorder.setBehaviour("Quick", TaskBehaviour{0, 0, false, 100});
  m_recorder.setBehaviour("Slow", TaskBehaviour{0, 0, false, 1500});
  m_recorder.setBehaviour("Direct", TaskBehaviour{0, 0, false, 50});
  const ZnPeriodicTaskItem table[] = {LibraryRow("Quick", 3, &m_recorder), LibraryRow("Slow", 1, &m_recorder),
                                      PointerRow("Direct", 2, &m_recorder), zn::test::kEndOfTable};
  {
    ZnPeriodicTaskMgr mgr("Lifecycle", &m_pool, table);
    EXPECT_EQ(mgr.getTaskCount(), 3u);
    EXPECT_EQ(mgr.getMgrName(), "Lifecycle");
    ASSERT_TRUE(mgr.StartPeriodicTasks());
    EXPECT_FALSE(mgr.isQuitFlagOn());
    EXPECT_FALSE(mgr.StartPeriodicTasks());  // runs already
    ASSERT_TRUE(m_recorder.waitFor("Quick", "OnTimer", 4, std::chrono::seconds(60)));
    ASSERT_TRUE(m_recorder.waitFor("Slow", "OnTimer", 3));
    ASSERT_TRUE(m_recorder.waitFor("Direct", "OnTimer", 3));
    StopAndDrain(mgr);
    EXPECT_TRUE(mgr.isQuitFlagOn());
    mgr.StopPeriodicTasks();  // a second stop finds nothing to do

    for (const char* task : {"Quick", "Slow", "Direct"}) {
      SCOPED_TRACE(task);
      // OnStart once, first; OnStop once, last.
      EXPECT_EQ(m_recorder.runs(task), "STP") << m_recorder.sequence(task);
      EXPECT_FALSE(m_recorder.overlapped(task));
      const std::vector<TaskCall> calls = m_recorder.calls(task);
      for (std::size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i].start, calls[i - 1].end);
    }
    EXPECT_TRUE(Logged("Starting periodic task mgr [Lifecycle] with 3 tasks"));
    EXPECT_TRUE(Logged("Periodic task mgr [Lifecycle] is running already"));
    EXPECT_TRUE(Logged("[Lifecycle][Quick] queuing OnStart \n"));
    EXPECT_TRUE(Logged("[Lifecycle] [Quick] OnStart called"));
    EXPECT_TRUE(Logged("[Lifecycle][Quick] calling OnTimer"));
    EXPECT_TRUE(Logged("[Lifecycle] [Quick] OnTimer called"));
    EXPECT_TRUE(Logged("[Lifecycle] [Direct] OnStop called"));
    // A call longer than the frequency: the turns in between are skipped.
    EXPECT_TRUE(Logged("[Lifecycle][Slow] still running. Skipping this turn."));
    EXPECT_TRUE(Logged("Stopping periodic tasks [Lifecycle]"));
    EXPECT_TRUE(Logged("[Lifecycle] Calling OnStops and stopping main thread"));
    EXPECT_TRUE(Logged("[Lifecycle] Main Thread Exiting"));
    EXPECT_FALSE(Logged("did not stop"));

    // At the frequency: by the manager's clock never sooner, and
    // (generously) not much later either.
    const std::vector<TaskCall> timers = Only(m_recorder.calls("Quick"), "OnTimer");
    for (std::size_t i = 1; i < timers.size(); ++i) {
      EXPECT_GE(timers[i].lastRunTime - timers[i - 1].lastRunTime, 3) << i;
      EXPECT_EQ(timers[i].frequency, 3);
    }
    const double mean = Seconds(timers.back().start - timers.front().start) / static_cast<double>(timers.size() - 1);
    EXPECT_GE(mean, 2.0);
    EXPECT_LE(mean, 7.0);

    // The same manager starts again: OnStart runs again before any OnTimer.
    const int quickTimers = m_recorder.count("Quick", "OnTimer");
    ASSERT_TRUE(mgr.StartPeriodicTasks());
    ASSERT_TRUE(m_recorder.waitFor("Quick", "OnTimer", quickTimers + 1));
    StopAndDrain(mgr);
    EXPECT_EQ(m_recorder.runs("Quick"), "STPSTP") << m_recorder.sequence("Quick");
    EXPECT_FALSE(Logged("Successfully unloaded library"));
  }
  // The last reference to a task goes with the manager: its library with it.
  const std::string library = FXPath::Append(zn::test::LibraryFolder(), zn::test::kTestTaskLibrary);
  EXPECT_EQ(Occurrences("[Lifecycle][Quick] Successfully loaded library [" + library + "]."), 1);
  EXPECT_EQ(Occurrences("[Lifecycle][Quick] Successfully unloaded library [" + library + "]."), 1);
  EXPECT_EQ(Occurrences("Successfully unloaded library"), 2);  // Direct has none
}

TEST_F(TaskTest, StoreSwitchesAndFrequenciesApplyAtTheNextRefresh) {
  // "Marker" comes last: once it has taken over a setting, the tasks before
  // it have been refreshed in the same turn.
  const ZnPeriodicTaskItem table[] = {LibraryRow("Toggled", 1, &m_recorder), PointerRow("Steady", 1, &m_recorder),
                                      PointerRow("Marker", 3600, &m_recorder), zn::test::kEndOfTable};
  const auto refreshTwice = [&] {
    ASSERT_TRUE(WaitForRefresh("Switches", "Marker", 3000));
    ASSERT_TRUE(WaitForRefresh("Switches", "Marker", 3600));
  };
  {
    ZnPeriodicTaskMgr mgr("Switches", &m_pool, table);
    ASSERT_TRUE(mgr.StartPeriodicTasks());
    ASSERT_TRUE(m_recorder.waitFor("Toggled", "OnTimer", 2));

    // Off from outside: OnStop at the next refresh, then no more calls while
    // the others go on.
    auto run = RunAdmin({"tasks", "disable", "Switches", "Toggled"});
    ASSERT_EQ(run.code, 0) << run.err;
    ASSERT_TRUE(m_recorder.waitFor("Toggled", "OnStop", 1));
    EXPECT_TRUE(Logged("Setting state of [Switches][Toggled] to disabled"));
    EXPECT_EQ(Setting("Switches", "Toggled_enable"), "*0");
    const int timers = m_recorder.count("Toggled", "OnTimer");
    const int steady = m_recorder.count("Steady", "OnTimer");
    refreshTwice();
    ASSERT_TRUE(m_recorder.waitFor("Steady", "OnTimer", steady + 2));
    EXPECT_EQ(m_recorder.count("Toggled", "OnTimer"), timers);

    // On again: OnStart first, then OnTimer as before.
    run = RunAdmin({"tasks", "enable", "Switches", "Toggled"});
    ASSERT_EQ(run.code, 0) << run.err;
    ASSERT_TRUE(m_recorder.waitFor("Toggled", "OnTimer", timers + 1));
    EXPECT_TRUE(Logged("Setting state of [Switches][Toggled] to enabled"));
    EXPECT_EQ(Setting("Switches", "Toggled_enable"), "*1");
    EXPECT_EQ(m_recorder.runs("Toggled"), "STPST")
        << m_recorder.sequence("Toggled");

    // A fresh frequency is taken over and marked.
    run = RunAdmin({"tasks", "frequency", "Switches", "Steady", "600"});
    ASSERT_EQ(run.code, 0) << run.err;
    ASSERT_TRUE(WaitLogged("Setting frequency for [Switches][Steady] to 600 secs"));
    EXPECT_EQ(Setting("Switches", "Steady_frequency"), "*600");
    const int before = m_recorder.count("Steady", "OnTimer");
    refreshTwice();
    EXPECT_LE(m_recorder.count("Steady", "OnTimer"), before + 1);  // one may have been under way

    // A marked value is the program's own: it applies only at a start.
    SetSetting("Switches", "Steady_frequency", "*2");
    refreshTwice();
    EXPECT_FALSE(Logged("Setting frequency for [Switches][Steady] to 2 secs"));

    // The running manager's own view of every task, its stored values beside.
    run = RunAdmin({"tasks", "list", "Switches", "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json listed = nlohmann::json::parse(run.out);
    ASSERT_EQ(listed["managers"].size(), 1u) << run.out;
    const nlohmann::json& manager = listed["managers"][0];
    EXPECT_EQ(manager["source"], "live");
    EXPECT_EQ(manager["process"]["pid"], ::getpid());
    ASSERT_EQ(manager["tasks"].size(), 3u) << run.out;
    EXPECT_EQ(manager["tasks"][0]["name"], "Toggled");
    EXPECT_EQ(manager["tasks"][0]["enabled"], true);
    EXPECT_EQ(manager["tasks"][0]["stored"]["enable"], "*1");
    EXPECT_EQ(manager["tasks"][1]["name"], "Steady");
    EXPECT_EQ(manager["tasks"][1]["frequency"], 600);
    EXPECT_EQ(manager["tasks"][1]["stored"]["frequency"], "*2");
    EXPECT_EQ(manager["tasks"][2]["name"], "Marker");
    EXPECT_TRUE(manager["tasks"][2]["stored"]["enable"].is_null());
    StopAndDrain(mgr);
  }
  ZnPeriodicTaskMgr again("Switches", &m_pool, table);
  ASSERT_TRUE(again.StartPeriodicTasks());
  ASSERT_TRUE(WaitLogged("Setting frequency for [Switches][Steady] to 2 secs"));
  StopAndDrain(again);
  for (const char* task : {"Toggled", "Steady", "Marker"}) EXPECT_FALSE(m_recorder.overlapped(task)) << task;
}

TEST_F(TaskTest, PersistentScheduleSurvivesARestart) {
  constexpr int kFrequency = 8;
  const ZnPeriodicTaskItem table[] = {PointerRow("Kept", kFrequency, &m_recorder, true, true),
                                      PointerRow("Forgotten", kFrequency, &m_recorder), zn::test::kEndOfTable};
  {
    ZnPeriodicTaskMgr mgr("Persist", &m_pool, table);
    ASSERT_TRUE(mgr.StartPeriodicTasks());
    ASSERT_TRUE(m_recorder.waitFor("Kept", "OnTimer", 1));
    StopAndDrain(mgr);
  }
  // Nothing stored before: the first OnTimer was due at once, and the start
  // of the last one (the manager's second) is what the store keeps.
  EXPECT_TRUE(Logged("Setting lastRunTime of [Persist][Kept] to 1970-01-01"));
  const std::string text = Setting("Persist", "Kept_lastRunTime");
  ASSERT_FALSE(text.empty());
  const long long stored = std::stoll(text);
  const long long lastRun = Only(m_recorder.calls("Kept"), "OnTimer").back().wallStart;
  EXPECT_LE(stored, lastRun);
  EXPECT_GE(stored, lastRun - 10);
  EXPECT_EQ(Setting("Persist", "Forgotten_lastRunTime"), "");
  const int firstRunTimers = m_recorder.count("Kept", "OnTimer");

  ZnPeriodicTaskMgr restarted("Persist", &m_pool, table);
  ASSERT_TRUE(restarted.StartPeriodicTasks());
  ASSERT_TRUE(m_recorder.waitFor("Kept", "OnTimer", firstRunTimers + 1));
  StopAndDrain(restarted);
  std::time_t when = static_cast<std::time_t>(stored);
  std::tm local{};
  ::localtime_r(&when, &local);
  char expected[32];
  std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S", &local);
  EXPECT_TRUE(Logged(std::string("Setting lastRunTime of [Persist][Kept] to ") + expected));
  // The kept task waits out its frequency from the stored run.
  const std::vector<TaskCall> kept = Only(m_recorder.calls("Kept"), "OnTimer");
  EXPECT_GE(kept[firstRunTimers].wallStart, stored + kFrequency);
  EXPECT_EQ(m_recorder.runs("Kept"), "STPSTP") << m_recorder.sequence("Kept");
}

TEST_F(TaskTest, LogMaintenanceTasksLoadByNameFromTheLibrary) {
  const char* library = "libZaRorozIvi.so";
  const ZnPeriodicTaskItem table[] = {
      LibraryRow("ReviseDebugLogSetting", 3600, nullptr, library, "ReviseDebugLogSetting_OnTimer", nullptr, nullptr),
      LibraryRow("CheckGlobalFlags", 3600, nullptr, library, "CheckGlobalFlags_OnTimer", nullptr, nullptr),
      LibraryRow("LogFilesCleanup", 3600, nullptr, library, "LogFilesCleanup_OnTimer", nullptr, nullptr),
      LibraryRow("CleanDebugLogSubFolder", 3600, nullptr, library, "CleanDebugLogSubFolder_OnTimer", nullptr, nullptr),
      zn::test::kEndOfTable};
  // A temporary level: the settings revision gives it an expiry. The image
  // flags report goes to the configured log folder.
  unsigned long until = 0;
  ASSERT_EQ(ZNPlatformInfo(0, 0).getNumber("EventManager", "zntest_DEBUGLEVEL_UNTIL", &until), 0);
  ASSERT_NE(ZNPlatformInfo(0, 0).setString("EventManager", "dEVLOGDIR", m_logDir.path()), 0);
  zn::testing::ResetGlobalFlagsSchedule();
  {
    ZnPeriodicTaskMgr mgr("Upkeep", &m_pool, table);
    ASSERT_EQ(mgr.getTaskCount(), 4u);
    ASSERT_TRUE(mgr.StartPeriodicTasks());
    for (const ZnPeriodicTaskItem& row : table) {
      if (row.taskName == nullptr) break;
      const std::string task = row.taskName;
      ASSERT_TRUE(WaitLogged(std::string("[Upkeep] [") + task + "] OnTimer called")) << task;
    }
    StopAndDrain(mgr);
  }
  const std::string path = FXPath::Append(zn::test::LibraryFolder(), library);
  EXPECT_EQ(Occurrences("Successfully loaded library [" + path + "]."), 4);
  EXPECT_EQ(Occurrences("Successfully unloaded library [" + path + "]."), 4);
  EXPECT_FALSE(Logged("OnTimer returned non zero"));
  // What two of them leave behind shows they ran here, in this process.
  EXPECT_NE(ZNPlatformInfo(0, 0).getNumber("EventManager", "zntest_DEBUGLEVEL_UNTIL", &until), 0);
  EXPECT_TRUE(std::filesystem::exists(m_logDir.file("GlobalFlagInfo.log")));
}

}  // namespace
