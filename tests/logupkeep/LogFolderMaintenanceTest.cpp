// The periodic maintenance tasks: the folder cleaner's policies, the folder
// pruner's folders, and the database agent's media-offset files.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "logupkeep/LogPruneTestUtil.h"
#include "zn/logupkeep/Db2AuditErrorPath.h"
#include "zn/logupkeep/EvDebugLogFolderCleaner.h"
#include "zn/logupkeep/EvDebugLogFolderPruner.h"
#include "zn/logupkeep/LogMaintenanceTasks.h"

namespace {

namespace fs = std::filesystem;
using zn::LogSettings;
using zn::test::FolderPlan;
using zn::test::kDay;
using zn::test::kEM;
using zn::test::MakeFile;
using zn::test::Names;
using zn::test::Outcome;
using zn::test::TempDir;

// Every file and folder below `root`, as relative paths.
std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    names.insert(entry.path().lexically_relative(root).string() + (entry.is_directory() && !entry.is_symlink() ? "/" : ""));
  }
  return names;
}

void SetAge(const std::string& path, long long accessAge, long long writeAge) {
  const time_t now = ::time(nullptr);
  const struct timespec times[2] = {{now - accessAge, 0}, {now - writeAge, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

class LogMaintenance : public zn::test::MaintenanceTest {
 protected:
  void TearDown() override {
    ::unsetenv("ALLUSERSPROFILE");
    MaintenanceTest::TearDown();
  }
  // A file `age` days old below the log folder.
  void File(const std::string& relative, long long days) { MakeFile(Logs(relative), relative, days * kDay); }
};

TEST_F(LogMaintenance, CleanerAppliesEachFoldersPolicy) {
  LogSettings::Set(kEM, "dEVLOGDIR", m_logs.path());
  LogSettings::SetNumber(kEM, "CLEAN_RECOVERYLOGS_OLDERTHAN", 5);
  TempDir outside;
  MakeFile(outside.file("precious.txt"), "not ours", 1000 * kDay);

  // The log folder: log files stay, other files go after 7 days.
  for (const char* name : {"a.log", "b.log.gz", "e.log.zip", "g.log.bz2"}) File(name, 100);
  File("c.txt", 8);
  File("d.txt", 6);
  File("f.log.1", 10);
  // Automation: ".log" stays, others go after 30 days, deeper too; emptied
  // folders stay.
  File("Automation/run.log", 100);
  File("Automation/run.txt", 31);
  File("Automation/run2.txt", 29);
  File("Automation/sub/x.txt", 31);
  File("WixLogs/new.txt", 179);
  File("WixLogs/old.txt", 181);
  // RecoveryLogFiles: 5 days from the store; emptied folders below go.
  File("RecoveryLogFiles/r.txt", 6);
  File("RecoveryLogFiles/s.txt", 4);
  File("RecoveryLogFiles/old/z.txt", 6);
  File("RecoveryLogFiles/busy/y.txt", 1);
  File("RoamOperationMonitor/m.txt", 1000);  // never cleaned
  File("MessagesMonitor/q.txt", 4);
  File("MessagesMonitor/p.txt", 2);
  File("MessagesMonitor/deep/w.txt", 10);  // this policy does not reach deeper
  // Any other folder: 90 days for everything, emptied folders below go.
  File("Other/o.txt", 91);
  File("Other/o.log", 91);
  File("Other/p.txt", 89);
  File("Other/emptied/k.txt", 100);
  fs::create_directory_symlink(outside.path(), Logs("Other/link"));  // never followed
  fs::create_directory_symlink(outside.path(), Logs("Linked"));

  EXPECT_EQ(CleanDebugLogSubFolder_OnTimer(nullptr), 0);
  const std::set<std::string> expected = {
      "a.log", "b.log.gz", "e.log.zip", "g.log.bz2", "d.txt",
      "Automation/", "Automation/run.log", "Automation/run2.txt", "Automation/sub/",
      "WixLogs/", "WixLogs/new.txt",
      "RecoveryLogFiles/", "RecoveryLogFiles/s.txt", "RecoveryLogFiles/busy/", "RecoveryLogFiles/busy/y.txt",
      "RoamOperationMonitor/", "RoamOperationMonitor/m.txt",
      "MessagesMonitor/", "MessagesMonitor/p.txt", "MessagesMonitor/deep/", "MessagesMonitor/deep/w.txt",
      "Other/", "Other/p.txt", "Other/link", "Linked"};
  EXPECT_EQ(Tree(m_logs.path()), expected);
  EXPECT_TRUE(fs::exists(outside.file("precious.txt")));

  EXPECT_TRUE(HasLine(7, "Skip  sub-folder [" + Logs("RoamOperationMonitor") + "]"));
  EXPECT_TRUE(HasLine(7, "Add known folder [" + Logs("Automation") + "] to the cleanup list."));
  EXPECT_TRUE(HasLine(7, "Add folder [" + Logs("Other") + "] to the cleanup list."));
  EXPECT_FALSE(HasLine(7, "Add folder [" + Logs("Linked") + "]"));
  EXPECT_TRUE(HasLine(7, "Enter ... fldPath [" + m_logs.path() + "] fldDepth [0] policy [Root Folder]"));
  EXPECT_TRUE(HasLine(7, "Enter ... fldPath [" + Logs("Other/emptied") + "] fldDepth [1] policy [Default]"));
  EXPECT_TRUE(HasLine(7, "Expiration days in registry [CLEAN_RECOVERYLOGS_OLDERTHAN] => [5] "));
  EXPECT_TRUE(HasLine(7, "Expiration days [7]  pruneTime ["));
  EXPECT_TRUE(HasLine(7, "Deleted [" + Logs("c.txt") + "]"));
  EXPECT_TRUE(HasLine(10, "Skip    [" + Logs("b.log.gz") + "]"));
  EXPECT_TRUE(HasLine(10, "Keep [" + Logs("d.txt") + "]"));
  EXPECT_TRUE(HasLine(10, "Process [" + Logs("Other/emptied") + "] ... Dir ... LastWriteTime ["));
  EXPECT_TRUE(HasLine(10, "Process [" + Logs("Other/p.txt") + "] ... File ... LastWriteTime ["));
  EXPECT_TRUE(HasLine(5, "Deleted folder [" + Logs("RecoveryLogFiles/old") + "]"));
  EXPECT_TRUE(HasLine(7, "Failed to delete folder [" + Logs("RecoveryLogFiles/busy") + "] ... Error ["));
  EXPECT_TRUE(HasLine(7, "Exit  ... fldPath [" + Logs("Other") + "] fldDepth [0]"));

  // The store's days for non-log files reach the log folder too.
  LogSettings::SetNumber(kEM, "nDelete_NonLogFiles_OlderThan", 2);
  EXPECT_EQ(CleanDebugLogSubFolder_OnTimer(nullptr), 0);
  EXPECT_FALSE(fs::exists(Logs("d.txt")));
  EXPECT_FALSE(fs::exists(Logs("Automation/run2.txt")));
  EXPECT_TRUE(fs::exists(Logs("Automation/run.log")));
  EXPECT_TRUE(fs::exists(Logs("MessagesMonitor/p.txt")));  // its own key, not set
  EXPECT_TRUE(HasLine(7, "Expiration days in registry [nDelete_NonLogFiles_OlderThan] => [2] "));

  // Without a log folder there is nothing to clean.
  LogSettings::Remove(kEM, "dEVLOGDIR");
  EXPECT_EQ(EvDebugLogFolderCleaner().Cleanup().AsString(eErrorOutputUser), "Unable to get default log file folder");
  EXPECT_EQ(CleanDebugLogSubFolder_OnTimer(nullptr), 0);
}

TEST_F(LogMaintenance, PrunerTakesEveryLogFolderOfTheMachine) {
  TempDir allUsers;
  const std::string allUsersLogs = allUsers.file("Tessaly Systems/Orvane/LogFiles");
  const std::string streamed = Logs("StreamedLogs");
  LogSettings::Set(kEM, "dEVLOGDIR", m_logs.path());
  ::setenv("ALLUSERSPROFILE", allUsers.path().c_str(), 1);

  // The same log in each folder: count 5, so two of seven versions go.
  std::vector<FolderPlan> plans;
  for (const std::string& folder : {m_logs.path(), allUsersLogs, streamed + "/client1", streamed + "/client1/deeper"}) {
    FolderPlan& plan = plans.emplace_back(folder);
    plan.Add("FileSystemAgent.log", 60, Outcome::kStays);
    for (int d = 1; d <= 7; ++d) plan.Version("FileSystemAgent", d * kDay, d <= 5 ? Outcome::kCompressed : Outcome::kDeleted);
  }
  fs::create_directory_symlink(streamed, streamed + "/client1/loop");  // a loop is not followed

  std::vector<std::string> roots;
  std::string defaultFolder;
  ASSERT_TRUE(EvDebugLogFolderPruner().GetRootFolders(roots, defaultFolder).IsSuccess());
  EXPECT_EQ(roots, (std::vector<std::string>{m_logs.path(), allUsersLogs}));  // the missing one is left out
  EXPECT_EQ(defaultFolder, m_logs.path());

  EXPECT_EQ(LogFilesCleanup_OnTimer(nullptr), 0);
  for (const FolderPlan& plan : plans) {
    std::set<std::string> files;
    for (const std::string& name : Names(plan.Folder())) {
      if (!fs::is_directory(plan.Path(name))) files.insert(name);
    }
    EXPECT_EQ(files, plan.Expected()) << plan.Folder();
  }
  EXPECT_TRUE(HasLine(7, "AllUsersProfileDirectory - [" + allUsers.path() + "]"));
  EXPECT_TRUE(HasLine(5, "Pruning log folder [" + m_logs.path() + "] completed."));
  EXPECT_TRUE(HasLine(5, "Pruning log folder [" + allUsersLogs + "] completed."));
  EXPECT_TRUE(HasLine(7, "Enter root folder ... [" + streamed + "]"));
  EXPECT_TRUE(HasLine(7, "Enter ... [" + streamed + "/client1/deeper]"));
  EXPECT_FALSE(HasLine(7, "Enter ... [" + streamed + "/client1/loop]"));

  // A folder that cannot be listed is reported and the others go on.
  LogSettings::Set(kEM, "dEVLOGDIR", Logs("gone"));
  EXPECT_TRUE(EvDebugLogFolderPruner().Run().IsError());
  EXPECT_TRUE(HasLine(1, "Failed to prune the log folder [" + Logs("gone") + "] ... Error:["));
  EXPECT_EQ(Count("Pruning log folder [" + allUsersLogs + "] completed."), 2);

  // Without a log folder: the all-users folders only, and the reason.
  LogSettings::Remove(kEM, "dEVLOGDIR");
  EvDebugLogFolderPruner pruner;
  const CYqError error = pruner.GetRootFolders(roots, defaultFolder);
  EXPECT_EQ(error.GetErrorCode(), 774u);
  EXPECT_EQ(error.AsString(eErrorOutputUser), "Unable to get default log file folder");
  EXPECT_EQ(roots, (std::vector<std::string>{allUsersLogs}));
  EXPECT_TRUE(HasLine(1, "Failed to get default Log Files folder"));
  EXPECT_EQ(LogFilesCleanup_OnTimer(nullptr), 0);
}

TEST_F(LogMaintenance, MediaOffsetFilesGoWhenNotReadForTheConfiguredDays) {
  TempDir offsets;
  const auto file = [&](const std::string& name, long long accessDays, long long writeDays) {
    MakeFile(offsets.file(name), name, 0);
    SetAge(offsets.file(name), accessDays * kDay, writeDays * kDay);
  };
  file("read-long-ago", 4, 4);
  file("written-lately-read-long-ago", 4, 0);
  file("read-lately", 2, 2);
  file("written-long-ago-read-lately", 1, 10);
  file("Desktop.ini", 10, 10);
  for (const char* folder : {"lost+found", ".snapshot", "System Volume Information", "plain-folder"}) {
    fs::create_directory(offsets.file(folder));
    SetAge(offsets.file(folder), 10 * kDay, 10 * kDay);
  }

  // Nothing happens until both values are set.
  LogSettings::Set("Db2Agent", "sDB2_AUDIT_ERROR_PATH", offsets.path());
  EXPECT_TRUE(CheckAndPruneDb2AuditErrorPath().IsSuccess());
  EXPECT_EQ(Names(offsets.path()).size(), 9u);

  LogSettings::SetNumber("Db2Agent", "nDB2PruneMediaOffsetFileAfterDays", 3);
  EXPECT_EQ(LogFilesCleanup_OnTimer(nullptr), 0);
  EXPECT_EQ(Names(offsets.path()), (std::set<std::string>{"read-lately", "written-long-ago-read-lately", "Desktop.ini",
                                                          "lost+found", ".snapshot", "System Volume Information",
                                                          "plain-folder"}));
  const auto* head = Line("Pruning Log Media Offset files in the dir=[" + offsets.path() +
                          "] which have not been accessed for 3 days.");
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->level, 0);
  EXPECT_EQ(head->job, -123456);
  EXPECT_EQ(head->function, "CheckAndPruneDb2AuditErrorPath");
  EXPECT_TRUE(HasLine(0, "Found file [" + offsets.file("read-lately") + "] ... last accessed="));
  EXPECT_TRUE(HasLine(0, "Pruning Log Media Offset files=[" + offsets.file("read-long-ago") +
                             "] which have not been accessed for 3 days."));
  EXPECT_FALSE(HasLine(0, "Found file [" + offsets.file("Desktop.ini") + "]"));

  LogSettings::SetNumber("Db2Agent", "nDB2PruneMediaOffsetFileAfterDays", 1);
  file("read-two-days-ago", 2, 2);
  EXPECT_TRUE(CheckAndPruneDb2AuditErrorPath().IsSuccess());
  EXPECT_TRUE(HasLine(0, "Pruning Log Media Offset files=[" + offsets.file("read-two-days-ago") +
                             "] which have not been accessed for 1 day."));
  EXPECT_FALSE(fs::exists(offsets.file("read-two-days-ago")));

  LogSettings::Set("Db2Agent", "sDB2_AUDIT_ERROR_PATH", offsets.file("missing"));
  EXPECT_TRUE(CheckAndPruneDb2AuditErrorPath().IsError());
  EXPECT_TRUE(HasLine(0, "Failed to open the directory: " + offsets.file("missing")));
}

}  // namespace
