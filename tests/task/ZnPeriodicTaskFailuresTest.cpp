// The periodic task manager with bad input: rows that cannot run are left
// out (missing library, missing entry point, no home folder, unloadable
// file), failing and throwing tasks are switched off until a fresh enable,
// odd frequencies, duplicate names, tables that are null or empty, stops
// without a start, and a main thread that does not stop in time.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include "helpers/AdminRunner.h"
#include "helpers/StoreWriteLock.h"
#include "task/TaskTestUtil.h"

namespace {

using zn::test::LibraryRow;
using zn::test::PointerRow;
using zn::test::PollUntil;
using zn::test::RunAdmin;
using zn::test::TaskBehaviour;
using zn::test::TaskCall;
using zn::test::TaskTest;

TEST_F(TaskTest, RowsThatCannotRunAreLeftOutAndTheOthersRun) {
  // A home folder of our own: the test library by a link, a file that is no
  // library, and a link that points at itself.
  zn::test::TempDir home;
  const std::string real = FXPath::Append(zn::test::LibraryFolder(), zn::test::kTestTaskLibrary);
  ASSERT_EQ(::symlink(real.c_str(), home.file(zn::test::kTestTaskLibrary).c_str()), 0);
  std::ofstream(home.file("libzn_junk.so")) << "not a library\n";
  ASSERT_EQ(::symlink(home.file("libzn_loop.so").c_str(), home.file("libzn_loop.so").c_str()), 0);
  SetHome(home.path());
  ASSERT_NE(ZNPlatformInfo(0, 0).setString(nullptr, "sComputeID", "compute-7"), 0);

  ZnPeriodicTaskItem scaleOnly = PointerRow("ScaleOnly", 1, &m_recorder);
  scaleOnly.runsOnScaleCompute = false;
  ZnPeriodicTaskItem noTimerPointer = PointerRow("NoTimerPointer", 1, &m_recorder);
  noTimerPointer.onTimer = nullptr;
  const ZnPeriodicTaskItem table[] = {
      PointerRow("Good", 1, &m_recorder),
      LibraryRow("NoLibrary", 1, &m_recorder, "libzn_absent.so"),
      LibraryRow("NoEntry", 1, &m_recorder, zn::test::kTestTaskLibrary, "ZnTestTask_NoSuchEntry"),
      LibraryRow("NoStartEntry", 1, &m_recorder, zn::test::kTestTaskLibrary, "ZnTestTask_OnTimer", "ZnTestTask_Gone"),
      LibraryRow("NoTimerName", 1, &m_recorder, zn::test::kTestTaskLibrary, nullptr),
      noTimerPointer,
      LibraryRow("Junk", 1, &m_recorder, "libzn_junk.so"),
      LibraryRow("Loop", 1, &m_recorder, "libzn_loop.so"),
      LibraryRow("NotAFolder", 1, &m_recorder, "libzn_test_tasks.so/inner.so"),
      scaleOnly,
      PointerRow("Dup", 1, &m_recorder),
      LibraryRow("Dup", 1, &m_recorder),
      zn::test::kEndOfTable};
  {
    ZnPeriodicTaskMgr mgr("Rows", &m_pool, table);
    EXPECT_EQ(mgr.getTaskCount(), 3u);
    const std::string lib = home.file(zn::test::kTestTaskLibrary);
    EXPECT_TRUE(Logged("[Rows][NoLibrary] library [" + home.file("libzn_absent.so") + "] not found. Skipping task"));
    EXPECT_TRUE(Logged("[Rows][NoEntry] Failed to get entry point [ZnTestTask_NoSuchEntry] in library [" + lib +
                       "]. Error: "));
    EXPECT_TRUE(Logged("[Rows][NoStartEntry] Failed to get entry point [ZnTestTask_Gone] in library [" + lib +
                       "]. Error: "));
    EXPECT_TRUE(Logged("Not adding task [Rows][NoTimerName] as OnTimer function is NULL. Dll [libzn_test_tasks.so]"));
    EXPECT_TRUE(Logged("Not adding task [Rows][NoTimerPointer] as OnTimer function is NULL\n"));
    EXPECT_TRUE(Logged("[Rows][Junk] Failed to load library [" + home.file("libzn_junk.so") + "]. Error: "));
    EXPECT_TRUE(Logged("[Rows][Loop] Failed to check if library [" + home.file("libzn_loop.so") + "] exist. Error: "));
    EXPECT_TRUE(Logged("[Rows][NotAFolder] library [" + lib + "/inner.so] not found. Skipping task"));
    EXPECT_TRUE(Logged("Not adding ZnScale-incompatible task [Rows][ScaleOnly]"));
    for (const char* task : {"NoLibrary", "NoEntry", "NoStartEntry", "NoTimerName", "NoTimerPointer", "Junk", "Loop",
                             "NotAFolder"}) {
      EXPECT_EQ(Occurrences(std::string("Not adding task [Rows][") + task + "]\n"), 1) << task;
    }
    EXPECT_FALSE(Logged("Not adding task [Rows][ScaleOnly]"));
    // A library left out is not kept loaded.
    EXPECT_FALSE(Logged("[Rows][NoStartEntry] Successfully loaded library"));
    // Rows of the same name are both taken, each its own task. They share
    // their settings: the first takes a fresh value over, and the second
    // then finds it marked.
    EXPECT_EQ(Occurrences("Adding task [Rows][Dup]"), 2);
    EXPECT_EQ(Occurrences("Adding task [Rows][Good]"), 1);

    ASSERT_TRUE(mgr.StartPeriodicTasks());
    EXPECT_TRUE(Logged("Starting periodic task mgr [Rows] with 3 tasks"));
    ASSERT_TRUE(m_recorder.waitFor("Good", "OnTimer", 2));
    ASSERT_TRUE(m_recorder.waitFor("Dup", "OnTimer", 4));
    SetSetting("Rows", "Dup_enable", "0");
    ASSERT_TRUE(m_recorder.waitFor("Dup", "OnStop", 1));
    const int dupTimers = m_recorder.count("Dup", "OnTimer");
    ASSERT_TRUE(m_recorder.waitFor("Dup", "OnTimer", dupTimers + 2));
    EXPECT_EQ(Occurrences("Setting state of [Rows][Dup] to disabled"), 1);
    StopAndDrain(mgr);
  }
  // Per task: each started, ran and stopped once; the one switched off
  // stopped while the other went on running.
  std::map<const void*, std::string> perTask;
  const std::vector<TaskCall> dup = m_recorder.calls("Dup");
  for (const TaskCall& call : dup) perTask[call.task] += call.letter();
  ASSERT_EQ(perTask.size(), 2u);
  for (const auto& [task, sequence] : perTask) {
    EXPECT_EQ(zn::test::TaskRecorder::Runs(sequence), "STP") << sequence;
  }
  const auto early = std::find_if(dup.begin(), dup.end(), [](const TaskCall& call) { return call.entry == "OnStop"; });
  ASSERT_NE(early, dup.end());
  const auto otherTimers = std::count_if(early, dup.end(), [&](const TaskCall& call) {
    return call.task != early->task && call.entry == "OnTimer";
  });
  EXPECT_GE(otherTimers, 2);
  EXPECT_FALSE(m_recorder.overlapped("Dup"));
  EXPECT_EQ(m_recorder.runs("Good"), "STP") << m_recorder.sequence("Good");

  // Without a home folder no library can be found.
  ASSERT_NE(ZNPlatformInfo(0, 0).deleteField("Base", "dBASEHOME"), 0);
  const ZnPeriodicTaskItem homeless[] = {LibraryRow("Homeless", 1, &m_recorder), zn::test::kEndOfTable};
  ZnPeriodicTaskMgr nowhere("Rows2", &m_pool, homeless);
  EXPECT_EQ(nowhere.getTaskCount(), 0u);
  EXPECT_TRUE(Logged("Failed to get the home directory from registry. Not loading task [Rows2] [Homeless] "
                     "[libzn_test_tasks.so]"));
}

TEST_F(TaskTest, FailingTasksAreSwitchedOffUntilAFreshEnable) {
  m_recorder.setBehaviour("BadStart", TaskBehaviour{3, 0, false, 0});
  m_recorder.setBehaviour("BadTimer", TaskBehaviour{0, 7, false, 0});
  m_recorder.setBehaviour("Thrower", TaskBehaviour{0, 0, true, 0});
  SetSetting("Fail", "Negative_frequency", "-5");
  const ZnPeriodicTaskItem table[] = {PointerRow("Good", 1, &m_recorder),     LibraryRow("BadStart", 1, &m_recorder),
                                      LibraryRow("BadTimer", 1, &m_recorder), LibraryRow("Thrower", 1, &m_recorder),
                                      PointerRow("Zero", 0, &m_recorder),     PointerRow("Negative", 1, &m_recorder),
                                      PointerRow("Marker", 3600, &m_recorder), zn::test::kEndOfTable};
  ZnPeriodicTaskMgr mgr("Fail", &m_pool, table);
  ASSERT_TRUE(mgr.StartPeriodicTasks());
  ASSERT_TRUE(m_recorder.waitFor("BadTimer", "OnStop", 1));
  ASSERT_TRUE(m_recorder.waitFor("Thrower", "OnStop", 1));
  const int good = m_recorder.count("Good", "OnTimer");
  ASSERT_TRUE(m_recorder.waitFor("Good", "OnTimer", good + 3));
  // Frequencies of 0 and below: due at every turn.
  ASSERT_TRUE(m_recorder.waitFor("Zero", "OnTimer", 3));
  ASSERT_TRUE(m_recorder.waitFor("Negative", "OnTimer", 3));
  EXPECT_TRUE(Logged("Setting frequency for [Fail][Negative] to -5 secs"));
  EXPECT_EQ(Setting("Fail", "Negative_frequency"), "*-5");

  EXPECT_EQ(m_recorder.sequence("BadStart"), "S");
  EXPECT_TRUE(Logged("[Fail] [BadStart] OnStart returned 3. Disabling task"));
  EXPECT_EQ(m_recorder.sequence("BadTimer"), "STP");  // OnStop at once, on the failing call's thread
  EXPECT_TRUE(Logged("[Fail] [BadTimer]. OnTimer returned non zero. Disabling task"));
  EXPECT_EQ(m_recorder.sequence("Thrower"), "STP");
  EXPECT_TRUE(Logged("[Fail] [Thrower] OnTimer threw [task failure]. Taken as a failure"));
  EXPECT_TRUE(Logged("[Fail] [Thrower]. OnTimer returned non zero. Disabling task"));

  // A value already taken over does not bring a task back; a fresh one does.
  m_recorder.setBehaviour("BadTimer", TaskBehaviour{});
  SetSetting("Fail", "Thrower_enable", "*1");
  SetSetting("Fail", "BadTimer_enable", "1");
  ASSERT_TRUE(m_recorder.waitFor("BadTimer", "OnTimer", 2));
  EXPECT_TRUE(Logged("Setting state of [Fail][BadTimer] to enabled"));
  ASSERT_TRUE(WaitForRefresh("Fail", "Marker", 3000));
  ASSERT_TRUE(WaitForRefresh("Fail", "Marker", 3600));
  EXPECT_EQ(m_recorder.sequence("Thrower"), "STP");
  EXPECT_EQ(m_recorder.sequence("BadStart"), "S");

  StopAndDrain(mgr);
  // Only tasks that are started get their OnStop at the end.
  EXPECT_EQ(m_recorder.runs("BadTimer"), "STPSTP") << m_recorder.sequence("BadTimer");
  EXPECT_EQ(m_recorder.sequence("Thrower"), "STP");
  EXPECT_EQ(m_recorder.sequence("BadStart"), "S");
  for (const char* task : {"Good", "Zero", "Negative"}) {
    EXPECT_EQ(m_recorder.runs(task), "STP") << task;
    EXPECT_FALSE(m_recorder.overlapped(task)) << task;
  }
}

TEST_F(TaskTest, NullAndEmptyTablesAndStopsWithoutAStart) {
  ZnPeriodicTaskMgr null("Null", &m_pool, nullptr);
  EXPECT_EQ(null.getTaskCount(), 0u);
  EXPECT_TRUE(Logged("Task list is NULL for manager [Null].  Cannot continue"));
  ASSERT_TRUE(null.StartPeriodicTasks());
  EXPECT_TRUE(Logged("Starting periodic task mgr [Null] with 0 tasks"));
  null.StopPeriodicTasks();
  EXPECT_TRUE(Logged("[Null] Main Thread Exiting"));

  const ZnPeriodicTaskItem empty[] = {zn::test::kEndOfTable};
  ZnPeriodicTaskMgr none("Empty", &m_pool, empty);
  EXPECT_EQ(none.getTaskCount(), 0u);
  ASSERT_TRUE(none.StartPeriodicTasks());
  EXPECT_TRUE(Logged("Starting periodic task mgr [Empty] with 0 tasks"));

  // Stopped before it ever started, twice: nothing runs, nothing waits.
  const ZnPeriodicTaskItem table[] = {PointerRow("Idle", 1, &m_recorder), zn::test::kEndOfTable};
  {
    ZnPeriodicTaskMgr idle("Idle", &m_pool, table);
    idle.StopPeriodicTasks();
    idle.StopPeriodicTasks();
    EXPECT_TRUE(idle.isQuitFlagOn());
    EXPECT_GE(Occurrences("Stopping periodic tasks [Idle]"), 2);
  }
  EXPECT_EQ(m_recorder.sequence("Idle"), "");
  EXPECT_FALSE(Logged("[Idle] Main Thread Exiting"));
  EXPECT_FALSE(Logged("did not stop"));

  // Without a pool there is nowhere to run the calls.
  ZnPeriodicTaskMgr poolless("NoPool", nullptr, table);
  EXPECT_FALSE(poolless.StartPeriodicTasks());
  EXPECT_TRUE(Logged("No thread pool for periodic task mgr [NoPool]. Not starting"));
  none.StopPeriodicTasks();
  EXPECT_TRUE(Logged("[Empty] Main Thread Exiting"));
}

TEST_F(TaskTest, StopLeavesAMainThreadThatDoesNotEndToItselfSafely) {
  // A fresh setting makes the main thread's first step a store write, which
  // another process's write lock holds up beyond the stop's wait.
  SetSetting("Stuck", "Held_frequency", "2");
  const ZnPeriodicTaskItem table[] = {LibraryRow("Held", 1, &m_recorder), zn::test::kEndOfTable};
  zn::test::StoreWriteLock lock(std::getenv("ZN_CONFIG_STORE"));
  ASSERT_TRUE(lock.held());
  {
    ZnPeriodicTaskMgr mgr("Stuck", &m_pool, table);
    ASSERT_TRUE(mgr.StartPeriodicTasks());
    mgr.StopPeriodicTasks();
    EXPECT_TRUE(Logged("Period task manager [Stuck] mainthread did not stop in 5 seconds. Terminating it"));
  }
  // The manager is gone; the thread goes on once the store is free, queues
  // nothing on the pool it was let go of, and ends by itself.
  lock.release();
  ASSERT_TRUE(WaitLogged("[Stuck] Main Thread Exiting"));
  // Its last reference to the task goes as it ends.
  ASSERT_TRUE(WaitLogged("[Stuck][Held] Successfully unloaded library"));
  EXPECT_EQ(m_recorder.sequence("Held"), "");
  EXPECT_EQ(m_pool.getServiceIdCount(), 0u);
}

TEST_F(TaskTest, AdminShowsSettingsAndRefusesBadInput) {
  auto run = RunAdmin({"tasks", "list"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "no periodic task manager runs or has settings in the store\n");
  run = RunAdmin({"tasks", "list", "Nobody"});
  EXPECT_EQ(run.code, 3);
  EXPECT_EQ(run.err, "znadmin tasks list: task manager [Nobody] neither runs nor has settings in the store\n");

  for (const char* bad : {"0", "-3", "ten", "5s", "99999999999"}) {
    run = RunAdmin({"tasks", "frequency", "Svc", "Backup", bad});
    EXPECT_EQ(run.code, 2) << bad;
    EXPECT_EQ(run.err, std::string("znadmin tasks frequency: [") + bad + "] is not a number of seconds above 0\n");
  }
  run = RunAdmin({"tasks", "enable", "Svc", "Back\\up"});
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(Setting("Svc", "Backup_frequency"), "");

  run = RunAdmin({"tasks", "frequency", "Svc", "Backup"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out, "Svc/Backup: the program's default\n");
  run = RunAdmin({"tasks", "frequency", "Svc", "Backup", "90"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Setting("Svc", "Backup_frequency"), "90");
  run = RunAdmin({"tasks", "frequency", "Svc", "Backup"});
  EXPECT_EQ(run.out, "Svc/Backup: 90 s (not yet taken over)\n");
  SetSetting("Svc", "Backup_frequency", "*90");
  run = RunAdmin({"tasks", "frequency", "Svc", "Backup"});
  EXPECT_EQ(run.out, "Svc/Backup: 90 s\n");

  run = RunAdmin({"tasks", "disable", "Svc", "Prune"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(Setting("Svc", "Prune_enable"), "0");
  const long long when = 1700000000;
  SetSetting("Svc", "Prune_lastRunTime", std::to_string(when));
  SetSetting("Svc", "Unrelated", "x");
  SetSetting("Other", "Sweep_enable", "*1");

  std::time_t t = static_cast<std::time_t>(when);
  std::tm local{};
  ::localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  run = RunAdmin({"tasks", "list"});
  EXPECT_EQ(run.code, 0) << run.err;
  const std::string stored = "  (stored settings: no running manager of this name publishes its tasks)\n";
  EXPECT_EQ(run.out, "Other" + stored +
                         "  TASK                            ENABLE  FREQUENCY  LAST RUN\n"
                         "  Sweep                           *1      -          -\n"
                         "Svc" + stored +
                         "  TASK                            ENABLE  FREQUENCY  LAST RUN\n"
                         "  Backup                          -       *90        -\n"
                         "  Prune                           0       -          " + text + "\n"
                         "(- is the program's default; * marks a stored value the program has taken over)\n");
}

}  // namespace
