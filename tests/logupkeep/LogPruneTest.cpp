// Pruning and compressing one log folder: each log's versions judged by its
// own settings, the process-wide switches, compression that unpacks to the
// same bytes, and bad input that removes nothing that should stay.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "logupkeep/LogPruneTestUtil.h"
#include "zn/logupkeep/DeCompressLogFile.h"
#include "zn/log/EvDebug.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/CTimeStamp.h"

namespace {

namespace fs = std::filesystem;
using zn::LogSettings;
using zn::test::FolderPlan;
using zn::test::kDay;
using zn::test::kEM;
using zn::test::kHour;
using zn::test::MakeFile;
using zn::test::MtimeOf;
using zn::test::Names;
using zn::test::Outcome;
using zn::test::PlannedFile;
using zn::test::ReadFile;
using zn::test::TempDir;

constexpr const char* kUnzip = "/usr/bin/unzip";

class LogPrune : public zn::test::MaintenanceTest {
 protected:
  CYqError Prune(bool compress = true) {
    std::string folder = m_logs.path();
    return EvDebug::PruneLogFiles(folder, compress);
  }

  // Every compressed file unpacks to its original bytes, with its last write
  // time, through DeCompressLogFile and through unzip.
  void ExpectCompressedIntact(const FolderPlan& plan) {
    C7zip archiver(m_logs.path());
    ASSERT_TRUE(archiver.Initialize().IsSuccess());
    const bool haveUnzip = ::access(kUnzip, X_OK) == 0;
    for (const PlannedFile& file : plan.Files()) {
      if (file.outcome != Outcome::kCompressed) continue;
      SCOPED_TRACE(file.name);
      const std::string archive = file.name + ".zip";
      EXPECT_EQ(MtimeOf(plan.Path(archive)), file.mtime);  // age rules see the log's own time
      TempDir out;
      std::string result;
      const CYqError error = DeCompressLogFile(&archiver, m_logs.path(), archive, out.path(), result);
      ASSERT_TRUE(error.IsSuccess()) << error.AsString();
      EXPECT_EQ(result, out.file(file.name));
      EXPECT_EQ(ReadFile(result), file.content);
      if (haveUnzip) {
        const std::string command = std::string(kUnzip) + " -p '" + plan.Path(archive) + "' > '" + out.file("u") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(ReadFile(out.file("u")), file.content);
      }
    }
  }
};

TEST_F(LogPrune, EachLogsVersionsAreJudgedByItsOwnSettings) {
  LogSettings::SetNumber(kEM, "Db2Agent_MAXLOGFILEBACKUPS", 4);
  LogSettings::SetNumber(kEM, "Db2Agent_DEFAULTLOGFILEBACKUPS", 1);  // the first positive value wins
  LogSettings::SetNumber(kEM, "MailAgent_RetainLogsInDays", 2);
  LogSettings::SetNumber(kEM, "MailAgent_RetainLogsInDays_Default", 30);
  LogSettings::SetNumber(kEM, "SyncFolderAgent_MAXLOGFILEBACKUPS", 0);  // not positive: the next key counts
  LogSettings::SetNumber(kEM, "SyncFolderAgent_DEFAULTLOGFILEBACKUPS", 3);

  FolderPlan plan(m_logs.path());
  const auto kS = Outcome::kStays, kC = Outcome::kCompressed, kD = Outcome::kDeleted;
  std::vector<std::string> beyondCount, tooOld;  // the deleted files, by reason
  const auto version = [&](const std::string& base, long long age, Outcome outcome, bool old = false) {
    const PlannedFile file = plan.Version(base, age, outcome);
    if (outcome == kD) (old ? tooOld : beyondCount).push_back(file.name);
    return file.name;
  };
  for (const char* current : {"FileSystemAgent.log", "Db2Agent.log", "MailAgent.log", "CustomTool.log",
                              "ZnWatchdog.log", "ZnWatchdog_child.log", "SyncFolderAgent.log", "ZnLicenseManager.log"}) {
    plan.Add(current, 60, kS);
  }
  plan.Add("ZnAuditTrail.log", 300 * kDay, kS);  // an idle log's current file stays

  // Catalogue count 5, no settings: the five newest stay, the rest go.
  const std::string fresh = version("FileSystemAgent", 2 * kHour, kS);  // not yet due for compression
  const std::string fsa1 = version("FileSystemAgent", 1 * kDay, kC);
  for (int d = 2; d <= 4; ++d) version("FileSystemAgent", d * kDay, kC);
  const std::string fsa5 = version("FileSystemAgent", 5 * kDay, kD);
  for (int d = 6; d <= 7; ++d) version("FileSystemAgent", d * kDay, kD);
  // Rotations of other tools are only compressed.
  plan.Add("FileSystemAgent.log.1", 30 * kDay, kC);
  plan.Add("FileSystemAgent.log.old", 1 * kHour, kS);

  // Count 4 from the store; versions compressed before count like the others.
  C7zip archiver(m_logs.path());
  ASSERT_TRUE(archiver.Initialize().IsSuccess());
  version("Db2Agent", 1 * kDay, kC);
  version("Db2Agent", 3 * kDay, kC);
  version("Db2Agent", 4 * kDay, kC);
  version("Db2Agent", 5 * kDay, kD);
  for (const auto& [age, outcome] : {std::pair{2 * kDay, kS}, std::pair{6 * kDay, kD}}) {
    const std::string name = zn::test::VersionName("Db2Agent", age);
    MakeFile(plan.Path(name), "archived " + name, age);
    ASSERT_TRUE(archiver.AddFilesToArchive(name + ".zip", {name}).IsSuccess());
    fs::remove(plan.Path(name));
    plan.Record(name + ".zip", age, outcome);
    if (outcome == kD) beyondCount.push_back(name + ".zip");
  }

  // Retention of 2 days for this log alone: the count is 1000, age decides.
  version("MailAgent", 1 * kDay, kC);
  version("MailAgent", 3 * kDay, kD, true);
  version("MailAgent", 10 * kDay, kD, true);
  version("MailAgent", 20 * kDay, kD, true);

  // Not in the catalogue: 1000 versions, and the 180-day hard limit.
  version("CustomTool", 1 * kDay, kC);
  version("CustomTool", 100 * kDay, kC);
  version("CustomTool", 200 * kDay, kD, true);
  version("CustomTool", 400 * kDay, kD, true);

  // A log whose name continues another's is a log of its own.
  version("ZnWatchdog", 1 * kDay, kC);
  version("ZnWatchdog", 2 * kDay, kC);
  version("ZnWatchdog", 3 * kDay, kD);
  for (int d = 1; d <= 4; ++d) version("ZnWatchdog_child", d * kDay, kC);

  // Versions whose current file is gone are still their log's (count 2).
  const std::string orphan = version("LaptopAgent", 1 * kDay, kC);
  version("LaptopAgent", 2 * kDay, kC);
  version("LaptopAgent", 3 * kDay, kD);

  // Count 3 from the second key.
  for (int d = 1; d <= 3; ++d) version("SyncFolderAgent", d * kDay, kC);
  version("SyncFolderAgent", 4 * kDay, kD);

  // A 20-digit stamp is the newest version, whatever an integer would make
  // of it: with count 2 it stays and the older of the others goes.
  plan.Add("ZnLicenseManager_99999999999999999999.log", 5 * kDay, kC);
  version("ZnLicenseManager", 1 * kDay, kC);
  version("ZnLicenseManager", 2 * kDay, kD);

  // Names that only look like versions, and files of no log: untouched.
  for (const char* name : {"notes.txt", "FileSystemAgent_2024x101.log", "FileSystemAgent_.log",
                           "FileSystemAgent_20240101000000.log.gz", "FileSystemAgent_20240101000000.logx",
                           "CustomTool_20240101000000.log.zip.1.2.3.tmp", "README"}) {
    plan.Add(name, 300 * kDay, kS);
  }
  fs::create_directories(m_logs.file("StreamedLogs_20240101000000.log"));  // a folder is never a file

  const CYqError error = Prune();
  ASSERT_TRUE(error.IsSuccess()) << error.AsString();
  std::set<std::string> expected = plan.Expected();
  expected.insert("StreamedLogs_20240101000000.log");
  EXPECT_EQ(Names(m_logs.path()), expected);
  ExpectCompressedIntact(plan);

  // Every deletion is logged with its reason ("Deleting " beyond the count,
  // "Pruning " by age), and nothing else is deleted.
  for (const std::string& name : beyondCount) {
    const auto* line = Line("Deleting  [" + Logs(name) + "]");
    ASSERT_NE(line, nullptr) << name;
    EXPECT_EQ(line->level, 5);
    EXPECT_EQ(line->function, "EvDebug::ProcessLogFiles");
  }
  for (const std::string& name : tooOld) EXPECT_NE(Line("Pruning  [" + Logs(name) + "]"), nullptr) << name;
  EXPECT_EQ(Count("Deleting  ["), static_cast<int>(beyondCount.size()));
  EXPECT_EQ(Count("Pruning  ["), static_cast<int>(tooOld.size()));
  EXPECT_NE(Line("Compressing [" + Logs(fsa1) + "]."), nullptr);
  EXPECT_NE(Line("Compressing [" + Logs("FileSystemAgent.log.1") + "]."), nullptr);
  EXPECT_TRUE(HasLine(5, "File [" + Logs(fresh) + "] is not older than [", "]. So not attempting compression."));
  EXPECT_EQ(Count("Compressing ["), static_cast<int>(std::count_if(plan.Files().begin(), plan.Files().end(), [](const PlannedFile& f) {
              return f.outcome == Outcome::kCompressed;
            })));

  // The settings each log was judged by.
  EXPECT_TRUE(HasLine(7, "HardLogPruningTime [", ":Default]"));
  EXPECT_TRUE(HasLine(7, "NumberOfLogsToKeep [5:Default]"));
  EXPECT_TRUE(HasLine(7, "NumberOfLogsToKeep [4] ... [EventManager\\Db2Agent_MAXLOGFILEBACKUPS] => [4]"));
  EXPECT_TRUE(HasLine(7, "NumberOfLogsToKeep [3] ... [EventManager\\SyncFolderAgent_DEFAULTLOGFILEBACKUPS] => [3]"));
  EXPECT_TRUE(HasLine(7, "LogPruningTime [", "] ... [EventManager\\MailAgent_RetainLogsInDays] => 2"));
  EXPECT_TRUE(HasLine(7, "LogPruningTime [None:Default]"));
  EXPECT_TRUE(HasLine(7, "LogPruningTime is [None]  Set NumberOfLogsToKeep to 1000"));
  EXPECT_TRUE(HasLine(5, "[FileSystemAgent]  HardLogPruningTime [", "]  LogPruningTime [None]  NumberOfLogsToKeep [5]"));
  EXPECT_TRUE(HasLine(2, "[" + Logs("FileSystemAgent.log") +
                             "] - TotalVersions [8]  VersionToKeep [5]  PruneTime [None]  HardPruneTime ["));
  EXPECT_TRUE(HasLine(2, "[" + Logs("Db2Agent.log") + "] - TotalVersions [6]  VersionToKeep [4]  PruneTime [None]"));
  EXPECT_TRUE(HasLine(10, "[" + Logs(fsa1) + "] - versionProcessed [2]  lastWriteTime ["));
  EXPECT_TRUE(HasLine(10, "[" + Logs(fsa5) + "] - versionProcessed [6]  lastWriteTime ["));

  // The walk.
  EXPECT_TRUE(HasLine(5, "Searching log files with pattern " + Logs("*.*")));
  EXPECT_TRUE(HasLine(13, "Validating [notes.txt]."));
  EXPECT_TRUE(HasLine(5, "Ignoring non-log file (notes.txt)"));
  EXPECT_TRUE(HasLine(5, "Ignoring non-log file (README)"));
  EXPECT_TRUE(HasLine(5, "Ignoring log file not ending with expected extension File "
                         "[FileSystemAgent_20240101000000.logx] Ext [.logx]"));
  EXPECT_TRUE(HasLine(13, "Enumerated [FileSystemAgent.log] - LastWriteTime [", "]"));
  EXPECT_TRUE(HasLine(13, "Processing [" + orphan + "]."));
  EXPECT_TRUE(HasLine(13, "No parent file is present. File visited: [" + orphan + "], Last file visited: ["));
  EXPECT_TRUE(HasLine(13, "Queue [FileSystemAgent.log.1] for compression check, Last file visited: [FileSystemAgent.log]"));
}

TEST_F(LogPrune, ProcessWideRetentionCompressionHoursAndHardLimit) {
  LogSettings::SetNumber(kEM, "All_RetainLogsInDays", 1);
  LogSettings::SetNumber(kEM, "CompressLogsOlderthan", 1);
  LogSettings::SetNumber(kEM, "CleanupLogsOlderThan_InDays", 30);
  LogSettings::SetNumber(kEM, "ZnEventForwarder_RetainLogsInDays", 100);  // its own value beats All_
  FolderPlan plan(m_logs.path());
  const auto kS = Outcome::kStays, kC = Outcome::kCompressed, kD = Outcome::kDeleted;
  plan.Add("ZnFirewall.log", 60, kS);
  plan.Add("ZnEventForwarder.log", 10 * kDay, kS);     // idle, but within the hard limit
  const auto& idle = plan.Add("OldService.log", 40 * kDay, kD);  // beyond it: goes too
  // Catalogue count 2, but a retention time lifts the count to 1000.
  const auto& recent = plan.Version("ZnFirewall", 30 * 60, kS);
  for (int h = 2; h <= 5; ++h) plan.Version("ZnFirewall", h * kHour, kC);
  const auto& expired = plan.Version("ZnFirewall", 25 * kHour, kD);
  plan.Version("ZnEventForwarder", 2 * kDay, kC);
  const auto& beyondHard = plan.Version("ZnEventForwarder", 40 * kDay, kD);

  ASSERT_TRUE(Prune().IsSuccess());
  EXPECT_EQ(Names(m_logs.path()), plan.Expected());
  ExpectCompressedIntact(plan);

  EXPECT_TRUE(HasLine(5, "Pruning  [" + Logs(expired.name) + "]"));
  EXPECT_TRUE(HasLine(5, "Pruning  [" + Logs(beyondHard.name) + "]"));
  EXPECT_TRUE(HasLine(5, "File [" + Logs(recent.name) + "] is not older than [", "]. So not attempting compression."));
  EXPECT_TRUE(HasLine(7, "HardLogPruningTime [", "] ... [EventManager\\CleanupLogsOlderThan_InDays] => 30"));
  EXPECT_TRUE(HasLine(7, "LogPruningTime [", "] ... [EventManager\\All_RetainLogsInDays] => 1"));
  EXPECT_TRUE(HasLine(7, "LogPruningTime [", "] ... [EventManager\\ZnEventForwarder_RetainLogsInDays] => 100"));
  EXPECT_FALSE(HasLine(7, "LogPruningTime is [None]"));
  EXPECT_TRUE(HasLine(7, "LogPruningTime is [", "]  Set NumberOfLogsToKeep to 1000"));
  // The current files under the hard limit.
  EXPECT_TRUE(HasLine(7, "HardLogPruningTime [EventManager\\CleanupLogsOlderThan_InDays] => 30 ... ["));
  const auto* deleted = Line("Delete [" + Logs(idle.name) + "] ... LastWriteTime [" +
                             CTimeStamp::FromUnixSeconds(idle.mtime).AsLocalDateTimeString() + "]");
  ASSERT_NE(deleted, nullptr);
  EXPECT_EQ(deleted->level, 5);
  EXPECT_EQ(deleted->function, "EvDebug::CleanupLatestLogFiles");
  EXPECT_TRUE(HasLine(13, "Skip [" + Logs("ZnEventForwarder.log") + "] ... LastWriteTime ["));
  EXPECT_TRUE(HasLine(13, "Skip [" + Logs("ZnFirewall.log") + "] ... LastWriteTime ["));
}

TEST_F(LogPrune, CompressionCanBeTurnedOffByTheCallerOrTheStore) {
  FolderPlan plan(m_logs.path());
  plan.Add("ZnFirewall.log", 60, Outcome::kStays);
  const auto& v1 = plan.Version("ZnFirewall", 1 * kDay, Outcome::kStays);
  const auto& v2 = plan.Version("ZnFirewall", 2 * kDay, Outcome::kStays);
  const std::set<std::string> plain = plan.Expected();

  LogSettings::SetNumber(kEM, "TurnOffLogCompress", 1);
  ASSERT_TRUE(Prune(true).IsSuccess());
  EXPECT_EQ(Names(m_logs.path()), plain);
  const auto* off = Line("[EventManager/TurnOffLogCompress] = 1");
  ASSERT_NE(off, nullptr);
  EXPECT_EQ(off->level, 5);

  LogSettings::Remove(kEM, "TurnOffLogCompress");
  ASSERT_TRUE(Prune(false).IsSuccess());
  EXPECT_EQ(Names(m_logs.path()), plain);
  EXPECT_EQ(Count("[EventManager/TurnOffLogCompress]"), 1);
  EXPECT_EQ(Count("Compressing ["), 0);

  ASSERT_TRUE(Prune(true).IsSuccess());
  EXPECT_EQ(Names(m_logs.path()),
            (std::set<std::string>{"ZnFirewall.log", v1.name + ".zip", v2.name + ".zip"}));
  EXPECT_EQ(Count("Compressing ["), 2);
}

TEST_F(LogPrune, BadFoldersFailWithTheirCodesAndTexts) {
  std::string empty;
  CYqError error = EvDebug::PruneLogFiles(empty, true);
  EXPECT_EQ(error.GetErrorCode(), 4306u);
  EXPECT_EQ(error.AsString(eErrorOutputUser), "Log files path is empty");

  std::string missing = m_logs.file("missing");
  error = EvDebug::PruneLogFiles(missing, true);
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetErrorCode(), 2u) << error.AsString();
  EXPECT_TRUE(HasLine(1, "Could not files with pattern: [" + missing + "/*.*]. Error:[", "]"));

  // No files at all, or folders only.
  std::string folder = m_logs.path();
  error = EvDebug::PruneLogFiles(folder, true);
  EXPECT_EQ(error.GetErrorCode(), 4306u);
  EXPECT_EQ(error.AsString(eErrorOutputUser), "No log files found");
  fs::create_directories(m_logs.file("sub.log"));
  EXPECT_EQ(EvDebug::PruneLogFiles(folder, true).AsString(eErrorOutputUser), "No log files found");
  EXPECT_TRUE(fs::is_directory(m_logs.file("sub.log")));
}

TEST_F(LogPrune, DamagedOrForeignArchivesNeverCostTheLogsBytes) {
  FolderPlan plan(m_logs.path());
  plan.Add("ZnNetworkProxy.log", 60, Outcome::kStays);  // catalogue count 5
  C7zip archiver(m_logs.path());
  ASSERT_TRUE(archiver.Initialize().IsSuccess());

  // 1: garbage where the archive goes: it is made anew from the version.
  const auto& garbage = plan.Version("ZnNetworkProxy", 1 * kDay, Outcome::kCompressed);
  MakeFile(plan.Path(garbage.name + ".zip"), "PK\x03\x04 not really", kDay);
  // 2: an archive cut short (a copy that died half-way): made anew as well.
  const auto& cut = plan.Version("ZnNetworkProxy", 2 * kDay, Outcome::kCompressed);
  ASSERT_TRUE(archiver.AddFilesToArchive(cut.name + ".zip", {cut.name}).IsSuccess());
  fs::resize_file(plan.Path(cut.name + ".zip"), fs::file_size(plan.Path(cut.name + ".zip")) / 2);
  // 3: an interrupted compression, the archive complete: the plain file goes.
  const auto& done = plan.Version("ZnNetworkProxy", 3 * kDay, Outcome::kCompressed);
  ASSERT_TRUE(archiver.AddFilesToArchive(done.name + ".zip", {done.name}).IsSuccess());
  // 4: a whole archive with other bytes: both stay, the failure is logged.
  const auto& foreign = plan.Version("ZnNetworkProxy", 4 * kDay, Outcome::kStays);
  {
    TempDir other;
    MakeFile(other.file(foreign.name), "other bytes\n", 4 * kDay);
    ASSERT_TRUE(archiver.AddFilesToArchive(plan.Path(foreign.name + ".zip"), {other.file(foreign.name)}).IsSuccess());
    plan.Record(foreign.name + ".zip", 4 * kDay, Outcome::kStays);
  }
  // 5: a damaged archive with no plain file is a version like any other.
  MakeFile(plan.Path(zn::test::VersionName("ZnNetworkProxy", 5 * kDay) + ".zip"), "garbage", 5 * kDay);
  plan.Record(zn::test::VersionName("ZnNetworkProxy", 5 * kDay) + ".zip", 5 * kDay, Outcome::kStays);

  ASSERT_TRUE(Prune().IsSuccess());
  EXPECT_EQ(Names(m_logs.path()), plan.Expected());
  ExpectCompressedIntact(plan);
  EXPECT_EQ(ReadFile(plan.Path(foreign.name)), foreign.content);
  EXPECT_TRUE(HasLine(5, "Compressing [" + Logs(garbage.name) + "]."));
  EXPECT_TRUE(HasLine(5, "Compressing [" + Logs(cut.name) + "]."));
  EXPECT_TRUE(HasLine(5, "Deleted [" + Logs(done.name) + "] as its compressed version is present."));
  EXPECT_TRUE(HasLine(1, "Delete file " + Logs(foreign.name) +
                             " is failed as its compressed version is present. Error Message:[", "]"));
  // Nothing is left half-made.
  for (const std::string& name : Names(m_logs.path())) EXPECT_FALSE(name.ends_with(".tmp")) << name;
}

TEST_F(LogPrune, DeCompressLogFileGivesBackTheBytesOrSaysWhy) {
  C7zip archiver(m_logs.path());
  ASSERT_TRUE(archiver.Initialize().IsSuccess());
  TempDir out;
  std::string result = "unchanged";
  const auto fails = [&](C7zip* which, const std::string& file, uint32_t code, const std::string& text) {
    const CYqError error = DeCompressLogFile(which, m_logs.path(), file, out.path(), result);
    ASSERT_TRUE(error.IsError()) << file;
    EXPECT_EQ(error.GetErrorCode(), code) << file << ": " << error.AsString();
    if (!text.empty()) {
      EXPECT_EQ(error.AsString(eErrorOutputUser), text) << file;
    }
    EXPECT_EQ(result, "unchanged") << file;
  };
  fails(nullptr, "a.log.zip", 774, "7zip decompressor is not passed.");
  fails(&archiver, "", 774, "Empty compressed file is passed.");
  fails(&archiver, "a_20240101000000.log", 774, "a_20240101000000.log is not in compressed format.");
  fails(&archiver, "missing.log.zip", 2, "");
  MakeFile(Logs("junk.log.zip"), "junk", 0);
  fails(&archiver, "junk.log.zip", 13, "");

  // An archive that holds something else: the expected log is not there.
  MakeFile(Logs("x.log"), "x", 0);
  ASSERT_TRUE(archiver.AddFilesToArchive("renamed_20240101000000.log.zip", {"x.log"}).IsSuccess());
  fails(&archiver, "renamed_20240101000000.log.zip", 774,
        "Uncompressed file [" + out.file("renamed_20240101000000.log") + "] is not found.");
  EXPECT_TRUE(HasLine(1, "Could not locate the file [" + out.file("renamed_20240101000000.log") +
                             "]. Probably uncompressing is failed, error=["));

  // A real one, compressed by the pruner, comes back byte for byte.
  FolderPlan plan(m_logs.path());
  plan.Add("ZnGatherLogs.log", 60, Outcome::kStays);
  const auto& version = plan.Version("ZnGatherLogs", 1 * kDay, Outcome::kCompressed);
  ASSERT_TRUE(Prune().IsSuccess());
  const CYqError error =
      DeCompressLogFile(&archiver, m_logs.path(), version.name + ".zip", out.file("deeper/still"), result);
  ASSERT_TRUE(error.IsSuccess()) << error.AsString();
  EXPECT_EQ(result, out.file("deeper/still/" + version.name));
  EXPECT_EQ(ReadFile(result), version.content);
  EXPECT_EQ(MtimeOf(result), version.mtime);
}

}  // namespace
