// The live status of a running service, read by znadmin as a real process:
// zndemo runs; status, tasks list and pool show give every one of its five
// tasks and its pool as it runs them, follow a switch changed meanwhile,
// and say when they fall back to the store or the log; a record left by a
// killed service reads as ended and goes when the next service starts.

#include <signal.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "admin/AdminTestUtil.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

using nlohmann::json;
using zn::LogSettings;
using zn::test::AdminOutcome;
using zn::test::Has;
using zn::test::JsonOf;
using zn::test::kEM;
using zn::test::PollUntil;
using zn::test::RunAdmin;

class ZnAdminLiveStatus : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    const std::string lib =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib").string();
    LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
    LogSettings::Set("Base", "dBASEHOME", lib);
    LogSettings::SetNumber("Base", "ThreadPoolMonitorIntervalSeconds", 1);
    LogSettings::SetNumber("Base", "ThreadPoolRefreshIntervalSeconds", 1);
    LogSettings::SetNumber("Base", "PeriodicTasksRefreshIntervalSeconds", 1);
    LogSettings::SetNumber("Znd", "zndemo_MaxThreads", 3);
  }

  // `status --json` until `ready` holds for it; the last one read.
  static json StatusWhen(const std::function<bool(const json&)>& ready) {
    json status;
    PollUntil(
        [&] {
          const AdminOutcome run = RunAdmin({"status", "--json"});
          status = run.code == 0 ? json::parse(run.out, nullptr, false) : json();
          return !status.is_discarded() && ready(status);
        },
        std::chrono::seconds(30));
    return status;
  }

  // The task named `name` of the first manager of `listing` (tasks list --json).
  static json Task(const json& listing, const std::string& name) {
    for (const json& task : listing["managers"][0]["tasks"]) {
      if (task["name"] == name) return task;
    }
    return json();
  }
};

bool RunningWithRunTasks(const json& status, pid_t pid) {
  for (const json& process : status["processes"]) {
    if (process["pid"] != pid || process["state"] != "running" || process["managers"].size() != 1) continue;
    const json& tasks = process["managers"][0]["tasks"];
    return tasks.size() == 5 && tasks[0]["lastRun"].get<long long>() > 0;
  }
  return false;
}

TEST_F(ZnAdminLiveStatus, ARunningServiceShowsEveryTaskAndItsPoolAndTheStoreIsShownOnceItEnds) {
  zn::test::RunningProgram demo("zndemo", {"--seconds", "120"});
  const json status = StatusWhen([&](const json& s) { return RunningWithRunTasks(s, demo.pid()); });
  ASSERT_TRUE(RunningWithRunTasks(status, demo.pid())) << status.dump(2) << demo.output();
  EXPECT_EQ(status["processes"][0]["process"], "zndemo");
  EXPECT_EQ(status["processes"][0]["pools"][0]["name"], "zndemo");

  // Every task the service runs, in its table's order, though only two
  // have ever stored a value.
  AdminOutcome run = RunAdmin({"tasks", "list", "zndemo", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  json listing = JsonOf(run);
  ASSERT_EQ(listing["managers"].size(), 1u) << run.out;
  const json& manager = listing["managers"][0];
  EXPECT_EQ(manager["source"], "live");
  EXPECT_EQ(manager["process"]["pid"], demo.pid());
  EXPECT_EQ(manager["refreshSeconds"], 1);
  const std::vector<std::pair<std::string, int>> expected = {{"Progress", 1},
                                                             {"ReviseDebugLogSetting", 60},
                                                             {"CheckGlobalFlags", 3600},
                                                             {"LogFilesCleanup", 3600},
                                                             {"CleanDebugLogSubFolder", 86400}};
  ASSERT_EQ(manager["tasks"].size(), expected.size()) << run.out;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const json& task = manager["tasks"][i];
    EXPECT_EQ(task["name"], expected[i].first);
    EXPECT_EQ(task["frequency"], expected[i].second);
    EXPECT_EQ(task["enabled"], true);
    EXPECT_EQ(task["persistent"], i >= 3);
    EXPECT_GE(task["nextRun"].get<long long>(), task["lastRun"].get<long long>());
  }
  run = RunAdmin({"tasks", "list", "zndemo"});
  EXPECT_TRUE(Has(run.out, "zndemo  (live: zndemo pid " + std::to_string(demo.pid()) + ", as of ")) << run.out;
  for (const auto& [name, frequency] : expected) EXPECT_TRUE(Has(run.out, "\n  " + name + " ")) << name;

  // A switch changed from outside shows once the manager has taken it.
  run = RunAdmin({"tasks", "disable", "zndemo", "Progress"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "zndemo/Progress: disabled at the next refresh of the running manager\n");
  EXPECT_TRUE(PollUntil(
      [&] { return Task(JsonOf(RunAdmin({"tasks", "list", "zndemo", "--json"})), "Progress")["enabled"] == false; },
      std::chrono::seconds(30)));
  run = RunAdmin({"tasks", "disable", "zndemo", "Progres"});  // a running manager knows its tasks
  EXPECT_EQ(run.code, 3);
  EXPECT_EQ(run.err, "znadmin tasks disable: task [Progres] is not a task of the running manager [zndemo]\n");

  // Its pool, live, with the store's override in force.
  run = RunAdmin({"pool", "show", "zndemo", "--json"});
  ASSERT_EQ(run.code, 0) << run.err;
  json pools = JsonOf(run);
  ASSERT_EQ(pools["pools"].size(), 1u) << run.out;
  EXPECT_EQ(pools["pools"][0]["source"], "live");
  EXPECT_EQ(pools["pools"][0]["maxThreads"], 3);
  EXPECT_EQ(pools["pools"][0]["store"]["maxThreads"], 3);
  EXPECT_EQ(pools["pools"][0]["process"]["pid"], demo.pid());

  // Ended cleanly: its record is gone; the store and the log speak instead,
  // and say so.
  demo.signal(SIGTERM);
  ASSERT_EQ(demo.wait(60000), 0) << demo.output();
  EXPECT_EQ(JsonOf(RunAdmin({"status", "--json"}))["processes"], json::array());
  run = RunAdmin({"tasks", "list", "zndemo"});
  EXPECT_TRUE(Has(run.out, "zndemo  (stored settings: no running manager of this name publishes its tasks)")) << run.out;
  EXPECT_EQ(JsonOf(RunAdmin({"tasks", "list", "zndemo", "--json"}))["managers"][0]["source"], "stored");
  run = RunAdmin({"pool", "show", "zndemo"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "pool zndemo  (logged: no running process publishes it; the last statistics in [" +
                               m_dir.file("zndemo.log") + "])"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "  TPool [zndemo]. Ser# [")) << run.out;
}

TEST_F(ZnAdminLiveStatus, AKilledServiceLeavesARecordThatIsShownAsEndedUntilTheNextStart) {
  {
    zn::test::RunningProgram demo("zndemo", {"--seconds", "120"});
    const json status = StatusWhen([&](const json& s) { return RunningWithRunTasks(s, demo.pid()); });
    ASSERT_TRUE(RunningWithRunTasks(status, demo.pid())) << status.dump(2);
    demo.signal(SIGKILL);
    EXPECT_EQ(demo.wait(60000), -1);  // killed, no exit code
  }
  const json status = JsonOf(RunAdmin({"status", "--json"}));
  ASSERT_EQ(status["processes"].size(), 1u);
  EXPECT_EQ(status["processes"][0]["state"], "ended");
  AdminOutcome run = RunAdmin({"tasks", "list", "zndemo"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "(stored settings: no running manager")) << run.out;
  EXPECT_TRUE(Has(run.err, "is left from a process that has ended")) << run.err;
  EXPECT_EQ(RunAdmin({"pool", "show", "zndemo", "--json"}).code, 0);  // from the log

  // The next service to start in the instance removes it.
  ZnThreadPool next;
  ASSERT_TRUE(next.initThreadPool("afterwards", 30, 0, 2, 0));
  const json after = JsonOf(RunAdmin({"status", "--json"}));
  ASSERT_EQ(after["processes"].size(), 1u);
  EXPECT_EQ(after["processes"][0]["pid"], ::getpid());
  EXPECT_EQ(after["processes"][0]["state"], "running");
}

}  // namespace
