// Log settings over time: a running process follows level changes made in
// the store and with znadmin, temporary settings expire, version counts
// equal to the catalogue's are dropped, the firewall switch is disabled,
// image debugging flags expire and are reported, the wait on a ".resume"
// file, and the default retention accessors.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <map>
#include <thread>
#include <vector>

#include "helpers/AdminRunner.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/log/LogCatalogue.h"
#include "zn/logupkeep/LogSettingsTasks.h"
#include "zn/logupkeep/LogUpkeepTesting.h"
#include "zuzazer/C7zip.h"
#include "zuzazer/YqSleep.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;
using zn::test::PollUntil;

constexpr const char* kImageOptions = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";

long long Now() { return static_cast<long long>(::time(nullptr)); }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class LogSettingsTasks : public zn::test::LogTest {
 protected:
  // The parent's own log, where the tasks write, with every level shown.
  void OpenVerbose(const std::string& suffix = "") {
    Open(suffix);
    EvDebug().setDebugLevel(20);
  }
};

TEST_F(LogSettingsTasks, RunningProcessFollowsLevelChangesAndTheirExpiry) {
  LogSettings::SetNumber(kEM, "zntest_DEBUG_REFRESH_TIME", 1);
  const std::string folder = m_dir.path();
  zn::test::ChildProcess child([&] {
    EvDebug log;
    if (!log.initialize(EvDebug::getLogId("zntest"), 0, folder.c_str(), false)) return 2;
    log.Debug("Child", "started");
    for (int i = 0; i < 1000000; ++i) {
      log.DebugLvl("Child", 5, "tick %d", i);
      YQSLEEP(10);
    }
    return 0;
  });
  ASSERT_TRUE(PollUntil([&] { return Has(Content(), " started"); })) << child.wait(std::chrono::milliseconds(1));
  OpenVerbose("parent");
  const auto logged = [&](const std::string& part) { return Has(Content(), part); };

  // Through the store: seen within the refresh interval.
  ASSERT_TRUE(LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 5));
  ASSERT_TRUE(PollUntil([&] { return logged(" tick "); })) << Content();
  EXPECT_TRUE(logged("Changing Debug level from 1 to 5"));

  // The revision gives the level its expiry; once that has passed, both go
  // and the process returns to the catalogue's level.
  ReviseDebugLogSetting_OnTimer(nullptr);
  const auto until = LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL");
  ASSERT_TRUE(until.has_value());
  EXPECT_GE(*until, Now() + 604800 - 60);
  EXPECT_LE(*until, Now() + 604800);
  ASSERT_TRUE(LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL_UNTIL", Now() - 10));
  ReviseDebugLogSetting_OnTimer(nullptr);
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL").has_value());
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL").has_value());
  ASSERT_TRUE(PollUntil([&] { return logged("Changing Debug level from 5 to 1"); })) << Content();
  std::string text = Content();
  EXPECT_FALSE(Has(text.substr(text.find("Changing Debug level from 5 to 1")), " tick "));

  // Through znadmin, for one second: the revision removes it after that.
  const auto run = zn::test::RunAdmin({"log", "level", "zntest", "6", "--for", "1s"});
  ASSERT_EQ(run.code, 0) << run.err;
  ASSERT_TRUE(PollUntil([&] { return logged("Changing Debug level from 1 to 6"); })) << Content();
  ASSERT_TRUE(PollUntil([&] {
    ReviseDebugLogSetting_OnTimer(nullptr);
    return !LogSettings::Number(kEM, "zntest_DEBUGLEVEL").has_value();
  }));
  ASSERT_TRUE(PollUntil([&] { return logged("Changing Debug level from 6 to 1"); })) << Content();
  EXPECT_TRUE(Has(Content("zntest-parent.log"), "Expire [EventManager\\ZNTEST_DEBUGLEVEL] ... expiration_time:0x"));
  child.kill();
}

TEST_F(LogSettingsTasks, RevisionExpiresTemporarySettingsAndDropsCatalogueCounts) {
  OpenVerbose();
  const ZNLogFileInfo* znd = zn::FindLogByName("znd");
  ASSERT_NE(znd, nullptr);
  const std::string zndCount = std::to_string(znd->defaultVersions);
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 5);
  LogSettings::SetNumber(kEM, "zntest_DEBUGWAITTIME", 3);
  LogSettings::SetNumber(kEM, "znd_MAXLOGFILESIZE_UNTIL", static_cast<int>(Now() + 1000));  // no setting beside it
  LogSettings::SetNumber(kEM, "zntest_MAXLOGFILEBACKUPS", 32);                             // the catalogue's count
  LogSettings::SetNumber(kEM, "zntest_DEFAULTLOGFILEBACKUPS", 32);
  LogSettings::SetNumber(kEM, "znd_MAXLOGFILEBACKUPS", znd->defaultVersions + 1);
  LogSettings::SetNumber(kEM, "nosuchlog_MAXLOGFILEBACKUPS", 3);
  LogSettings::SetNumber(kEM, "_DEBUGLEVEL", 4);
  LogSettings::Set("Firewall", "nDEBUG", "1");

  ReviseDebugLogSetting_OnTimer(nullptr);
  const long long now = Now();
  const auto near = [&](const char* name, long long lifetime) {
    const auto value = LogSettings::Number(kEM, name);
    return value && *value >= now + lifetime - 60 && *value <= now + lifetime;
  };
  EXPECT_TRUE(near("zntest_DEBUGLEVEL_UNTIL", 604800));
  EXPECT_TRUE(near("zntest_DEBUGWAITTIME_UNTIL", 86400));
  EXPECT_FALSE(LogSettings::Number(kEM, "znd_MAXLOGFILESIZE_UNTIL").has_value());
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_MAXLOGFILEBACKUPS").has_value());
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEFAULTLOGFILEBACKUPS").has_value());
  EXPECT_EQ(LogSettings::Number(kEM, "znd_MAXLOGFILEBACKUPS"), znd->defaultVersions + 1);
  EXPECT_EQ(LogSettings::Number(kEM, "_DEBUGLEVEL"), 4);  // no module: left alone
  const auto firewallUntil = LogSettings::Number("Firewall", "nDEBUG_UNTIL");
  ASSERT_TRUE(firewallUntil.has_value());
  EXPECT_GE(*firewallUntil, now + 604800 - 60);

  // Expired: the setting and its expiry go; the firewall switch is wrapped
  // in "*", and the run after that drops its expiry.
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL_UNTIL", static_cast<int>(now - 5));
  LogSettings::SetNumber("Firewall", "nDEBUG_UNTIL", static_cast<int>(now - 5));
  ReviseDebugLogSetting_OnTimer(nullptr);
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL").has_value());
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL").has_value());
  EXPECT_EQ(LogSettings::Number(kEM, "zntest_DEBUGWAITTIME"), 3);  // not yet expired
  EXPECT_EQ(LogSettings::Text("Firewall", "nDEBUG"), "*1*");
  EXPECT_TRUE(LogSettings::Number("Firewall", "nDEBUG_UNTIL").has_value());
  ReviseDebugLogSetting_OnTimer(nullptr);
  EXPECT_EQ(LogSettings::Text("Firewall", "nDEBUG"), "*1*");
  EXPECT_FALSE(LogSettings::Number("Firewall", "nDEBUG_UNTIL").has_value());

  const std::string text = Content();
  for (const std::string& line : std::vector<std::string>{
           "Found zntest_DEBUGLEVEL",
           "Add to revise module set - [ZNTEST]",
           "Add to log version module set - [ZNTEST]",
           "Processing - ZNTEST_DEBUGWAITTIME : ZNTEST_DEBUGWAITTIME_UNTIL : 86400 secs",
           "Add expiration time [EventManager\\ZNTEST_DEBUGLEVEL_UNTIL] - 0x",
           "[ZNTEST] MaxLogFileBackups is (32)",
           "[EventManager/ZNTEST_MAXLOGFILEBACKUPS] [32] was successfully deleted.",
           "[EventManager/ZNTEST_DEFAULTLOGFILEBACKUPS][32] was successfully deleted.",
           "[EventManager/ZND_MAXLOGFILEBACKUPS] [" + std::to_string(znd->defaultVersions + 1) + "]",
           "[EventManager/ZND_DEFAULTLOGFILEBACKUPS] does not exist.",
           "Unable to get module [NOSUCHLOG] default values!",
           "Got empty module name!",
           "Found [Firewall\\nDEBUG]:[1]",
           "Set [Firewall\\nDEBUG] to [*1*]",
           "Found [Firewall\\nDEBUG]:[*1*]",
       }) {
    EXPECT_TRUE(Has(text, line)) << line;
  }
  EXPECT_TRUE(Has(text, " L7 ") && Has(text, "Expire [EventManager\\ZNTEST_DEBUGLEVEL] ... expiration_time:0x"));
}

TEST_F(LogSettingsTasks, ImageFlagsOfOurProgramsExpireAndAreReported) {
  OpenVerbose();
  const std::string home = m_dir.file("home");
  std::filesystem::create_directories(home);
  std::ofstream(home + "/zndemo") << "#!/bin/sh\n";
  ::chmod((home + "/zndemo").c_str(), 0755);
  std::ofstream(home + "/notes") << "not a program\n";
  LogSettings::Set("Base", "dBASEHOME", home);
  LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  ZNPlatformInfo store(0, 0);
  ASSERT_TRUE(store.setRegInt((std::string(kImageOptions) + "\\zndemo").c_str(), "GlobalFlag", 0x100));
  ASSERT_TRUE(store.setRegString((std::string(kImageOptions) + "\\zndemo").c_str(), "Debugger", "gdb"));
  ASSERT_TRUE(store.setRegInt((std::string(kImageOptions) + "\\notes").c_str(), "GlobalFlag", 2));  // not a program
  ASSERT_TRUE(store.setRegInt((std::string(kImageOptions) + "\\other").c_str(), "GlobalFlag", 2));  // not ours
  ASSERT_TRUE(store.setRegInt("SYSTEM\\CurrentControlSet\\Control\\Session Manager", "GlobalFlag", 0x400));

  zn::testing::ResetGlobalFlagsSchedule();
  CheckGlobalFlags_OnTimer(nullptr);
  int timeout = 0, detected = 0;
  ASSERT_TRUE(store.getRegInt("~Runtime\\gflags", "zndemo_Timeout", &timeout));
  EXPECT_TRUE(store.getRegInt("~Runtime\\gflags", "zndemo_Detected", &detected));
  EXPECT_GE(timeout, Now() + 7 * 86400 - 60);
  EXPECT_FALSE(store.getRegInt("~Runtime\\gflags", "other_Timeout", &detected));
  EXPECT_FALSE(store.getRegInt("~Runtime\\gflags", "notes_Timeout", &detected));
  const std::string report = zn::test::ReadFile(m_dir.file("GlobalFlagInfo.log"));
  EXPECT_TRUE(Has(report, "Current Registry Settings for zndemo executable are: ")) << report;
  // The report's line prints the number in decimal after its "0x": 0x100 is 256.
  EXPECT_TRUE(Has(report, "Image:zndemo. Flag:GlobalFlag Value:0x256\n")) << report;
  EXPECT_TRUE(Has(report, "Image:zndemo. Setting:Debugger - gdb"));
  EXPECT_TRUE(Has(report, "Current Boot Registry Settings are: "));
  EXPECT_TRUE(Has(report, "System Registry gflags. Flag:GlobalFlag Value:0x400"));
  EXPECT_FALSE(Has(report, "other"));
  EXPECT_FALSE(std::filesystem::exists(m_dir.file("GlobalFlagInfo.log.tmp")));

  // Once a day only.
  CheckGlobalFlags_OnTimer(nullptr);
  EXPECT_TRUE(Has(Content(), "Skipping image level gflag presence check. Will check after: "));

  // Expired: the flags and the bookkeeping go; other images stay.
  ASSERT_TRUE(store.setRegInt("~Runtime\\gflags", "zndemo_Timeout", static_cast<int>(Now() - 5)));
  zn::testing::ResetGlobalFlagsSchedule();
  CheckGlobalFlags_OnTimer(nullptr);
  std::map<std::string, std::string> values;
  EXPECT_FALSE(store.getRegValues((std::string(kImageOptions) + "\\zndemo").c_str(), &values));
  EXPECT_FALSE(store.getRegInt("~Runtime\\gflags", "zndemo_Timeout", &timeout));
  EXPECT_FALSE(store.getRegInt("~Runtime\\gflags", "zndemo_Detected", &detected));
  EXPECT_TRUE(store.getRegValues((std::string(kImageOptions) + "\\other").c_str(), &values));

  // Switched off: nothing is looked at.
  LogSettings::SetNumber("Znd", "disablegflagcheck", 1);
  ASSERT_TRUE(store.setRegInt((std::string(kImageOptions) + "\\zndemo").c_str(), "GlobalFlag", 0x100));
  zn::testing::ResetGlobalFlagsSchedule();
  CheckGlobalFlags_OnTimer(nullptr);
  EXPECT_FALSE(store.getRegInt("~Runtime\\gflags", "zndemo_Timeout", &timeout));

  const std::string text = Content();
  for (const char* line : {
           "Checking for image level gflags at registry",
           "Checking if image other is present under base directory.",
           "Image zndemo is present under base directory.",
           "Image:zndemo. Will expire on: ",
           "Enable pool tagging is set.",
           "Timed out for Image zndemo. Expiry time:",
           "No images with gflags found",
           "Gflag check is disabled. Remove ZND/GflagExpireDays from registry to enable",
       }) {
    EXPECT_TRUE(Has(text, line)) << line;
  }
}

TEST_F(LogSettingsTasks, WaitOnFileLastsUntilTheFileIsRemoved) {
  EvDebug closed;
  EXPECT_FALSE(closed.debugWaitOnFile(nullptr));  // the log is not open
  OpenVerbose();
  EvDebug log;
  EXPECT_TRUE(log.debugWaitOnFile(nullptr));  // no setting: no wait
  EXPECT_FALSE(log.debugWaitOnFile(nullptr, 99));
  LogSettings::SetNumber(kEM, "zntest_DEBUGWAITTIME", 0);
  const std::string resume = std::string(std::getenv("TEMP")) + "/zntest_DEBUGWAITTIME.resume";
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    EvDebug(nullptr).debugWaitOnFile(nullptr);
    done = true;
  });
  const bool created = PollUntil([&] { return std::filesystem::exists(resume); });
  std::this_thread::sleep_for(zn::test::kStaysBlocked);
  EXPECT_FALSE(done.load());
  std::filesystem::remove(resume);
  EXPECT_TRUE(PollUntil([&] { return done.load(); }));
  if (!done.load()) std::filesystem::remove(resume);
  waiter.join();
  ASSERT_TRUE(created);
  EXPECT_TRUE(Has(Content(), "Additional setting [zntest_DEBUGWAITTIME] with value 0 is present. Creating file [" +
                                 resume + "], please remove it to continue."));
}

TEST_F(LogSettingsTasks, DefaultRetentionIsReadWrittenAndDeleted) {
  OpenVerbose();
  EvDebug log;
  unsigned int days = 99;
  EXPECT_FALSE(log.getDefaultRetainLogsTill(days));
  EXPECT_EQ(days, 99u);
  EXPECT_TRUE(log.setDefaultRetainLogsTill(30));
  EXPECT_EQ(LogSettings::Number(kEM, "zntest_RetainLogsInDays_Default"), 30);
  EXPECT_TRUE(log.getDefaultRetainLogsTill(days));
  EXPECT_EQ(days, 30u);
  EXPECT_TRUE(log.resetDefaultRetainLogsTill());
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_RetainLogsInDays_Default").has_value());
  const std::string text = Content();
  for (const char* line : {"Failed to get [EventManager\\zntest_RetainLogsInDays_Default]",
                           "Set [EventManager\\zntest_RetainLogsInDays_Default] to 30",
                           "Get [EventManager\\zntest_RetainLogsInDays_Default] to 30",
                           "Deleted [EventManager\\zntest_RetainLogsInDays_Default]"}) {
    EXPECT_TRUE(Has(text, line)) << line;
  }
  EXPECT_EQ(log.getAppDebugLevel("zntest"), -1);
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 4);
  EXPECT_EQ(log.getAppDebugLevel("zntest"), 4);
}

}  // namespace

namespace {

// Expiry values are 32-bit seconds since 1970: a duration whose expiry does
// not fit is refused whole, never stored as a time that has passed.
TEST_F(LogSettingsTasks, AdminRefusesDurationsWhoseExpiryCannotBeStored) {
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 4);
  for (const char* duration : {"4000000000s", "4294967296s", "50000d", "9223372036854775807d",
                               "153722867280912931m", "99999999999999999999s", "-5s", "0s"}) {
    const auto run = zn::test::RunAdmin({"log", "level", "zntest", "3", "--for", duration});
    EXPECT_EQ(run.code, 2) << duration << ": " << run.out << run.err;
    EXPECT_TRUE(Has(run.err, duration)) << run.err;
    EXPECT_EQ(LogSettings::Number(kEM, "zntest_DEBUGLEVEL"), 4) << duration;
    EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL").has_value()) << duration;
  }
  // Ten years fit: the expiry lies that far ahead.
  const long long before = Now();
  const auto run = zn::test::RunAdmin({"log", "level", "zntest", "3", "--for", "3650d"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto until = LogSettings::Number(kEM, "zntest_DEBUGLEVEL_UNTIL");
  ASSERT_TRUE(until.has_value());
  EXPECT_GE(static_cast<uint32_t>(*until), before + 3650LL * 86400);
  EXPECT_LE(static_cast<uint32_t>(*until), Now() + 3650LL * 86400);
}

TEST_F(LogSettingsTasks, AdminShowsSwitchesAndFollowsALogAcrossRollovers) {
  LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  Open();
  EvDebug log;
  for (int i = 0; i < 5; ++i) log.Debug("Fn", "line %d", i);

  auto run = zn::test::RunAdmin({"log", "tail", "zntest", "-n", "2"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, " line 3\n") && Has(run.out, " line 4\n") && !Has(run.out, " line 2\n")) << run.out;
  run = zn::test::RunAdmin({"log", "level", "zntest"});
  EXPECT_EQ(run.out, "zntest: 1 (default)\n");
  EXPECT_EQ(zn::test::RunAdmin({"log", "level", "zntest", "7"}).code, 0);
  EXPECT_EQ(LogSettings::Number(kEM, "zntest_DEBUGLEVEL"), 7);
  EXPECT_EQ(zn::test::RunAdmin({"log", "level", "zntest", "0"}).code, 0);  // back to the default
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_DEBUGLEVEL").has_value());
  EXPECT_EQ(zn::test::RunAdmin({"log", "level", "zntest", "x"}).code, 2);
  EXPECT_EQ(zn::test::RunAdmin({"log", "level", "zntest", "3", "--for", "soon"}).code, 2);
  run = zn::test::RunAdmin({"log", "level", "nosuchlog", "3"});
  EXPECT_EQ(run.code, 3);
  EXPECT_EQ(run.err, "znadmin log level: log [nosuchlog] is not a log of this suite\n");
  EXPECT_EQ(zn::test::RunAdmin({"log", "off", "zntest"}).code, 0);
  EXPECT_EQ(LogSettings::Number(kEM, "zntest_TurnOffLogging"), 1);
  EXPECT_EQ(zn::test::RunAdmin({"log", "on", "zntest"}).code, 0);
  EXPECT_FALSE(LogSettings::Number(kEM, "zntest_TurnOffLogging").has_value());

  // -f goes on in the next file after a rollover.
  zn::test::RunningProgram follower("znadmin", {"log", "tail", "zntest", "-n", "1", "-f"});
  ASSERT_TRUE(PollUntil([&] { return Has(follower.output(), " line 4\n"); })) << follower.output();
  log.setLogFileSize(1);
  const std::string filler(1000, 'x');
  for (int i = 0; i < 1200; ++i) log.Debug("Fn", "%s", filler.c_str());
  log.Debug("Fn", "after rollover");
  bool rolled = false;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
    rolled = rolled || entry.path().filename().string().rfind("zntest_", 0) == 0;
  }
  EXPECT_TRUE(rolled);
  EXPECT_TRUE(PollUntil([&] { return Has(follower.output(), " after rollover\n"); }));
}

}  // namespace

namespace {

void WriteFileAged(const std::string& path, const std::string& text, std::chrono::hours age) {
  std::ofstream(path, std::ios::binary) << text;
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - age);
}

TEST_F(LogSettingsTasks, AdminPrunesWithADryRunFirstAndExpandsArchives) {
  const std::string folder = m_dir.file("logs");
  std::filesystem::create_directories(folder);
  const std::string old = folder + "/zntest_20250101000000.log";
  const std::string recent = folder + "/zntest_20260101000000.log";
  const std::string fresh = folder + "/zntest_20260201000000.log";
  std::string body;
  for (int i = 0; i < 2000; ++i) body += "line " + std::to_string(i) + " of a rolled log\n";
  WriteFileAged(folder + "/zntest.log", "current\n", std::chrono::hours(0));
  WriteFileAged(old, "old\n", std::chrono::hours(24 * 200));
  WriteFileAged(recent, body, std::chrono::hours(13));
  WriteFileAged(fresh, "fresh\n", std::chrono::hours(1));

  auto run = zn::test::RunAdmin({"log", "prune", folder, "--dry-run"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "would delete   " + old + "\n")) << run.out;
  EXPECT_TRUE(Has(run.out, "would compress " + recent + "\n"));
  EXPECT_FALSE(Has(run.out, fresh));
  EXPECT_TRUE(Has(run.out, folder + ": 1 to delete, 1 to compress\n"));
  EXPECT_TRUE(std::filesystem::exists(old));  // nothing touched
  EXPECT_FALSE(std::filesystem::exists(recent + ".zip"));

  run = zn::test::RunAdmin({"log", "prune", folder});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(old));
  EXPECT_FALSE(std::filesystem::exists(recent));
  EXPECT_TRUE(std::filesystem::exists(recent + ".zip"));
  EXPECT_TRUE(std::filesystem::exists(fresh));
  EXPECT_EQ(zn::test::ReadFile(folder + "/zntest.log"), "current\n");

  const std::string out = m_dir.file("out");
  std::filesystem::create_directories(out);
  run = zn::test::RunAdmin({"log", "unzip", recent + ".zip", "--to", out});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, out + "/zntest_20260101000000.log\n");
  EXPECT_EQ(zn::test::ReadFile(out + "/zntest_20260101000000.log"), body);

  EXPECT_EQ(zn::test::RunAdmin({"log", "unzip", fresh}).code, 1);  // not a .zip
  EXPECT_EQ(zn::test::RunAdmin({"log", "prune", m_dir.file("missing")}).code, 1);
}

// "log unzip" (DeCompressLogFile underneath) writes nothing outside its
// folder and no more than the store allows.
TEST_F(LogSettingsTasks, AdminUnzipStaysInItsFolderAndWithinTheStoresSizeLimit) {
  const std::string folder = m_dir.file("logs");
  std::filesystem::create_directories(folder);
  const std::string version = folder + "/zntest_20260101000000.log";
  std::string body;
  while (body.size() < 2 * 1024 * 1024) body += "line " + std::to_string(body.size()) + " of a rolled log\n";
  WriteFileAged(version, body, std::chrono::hours(0));
  C7zip archiver(folder, e7zipFormatZip);
  ASSERT_TRUE(archiver.Initialize().IsSuccess());
  ASSERT_TRUE(archiver.AddFilesToArchive(version + ".zip", {version}).IsSuccess());
  std::filesystem::remove(version);

  const std::string out = m_dir.file("out");
  std::filesystem::create_directories(out);
  LogSettings::SetNumber(kEM, "nMaxUncompressedLogSizeMB", 1);
  auto run = zn::test::RunAdmin({"log", "unzip", version + ".zip", "--to", out});
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Has(run.err, "nMaxUncompressedLogSizeMB")) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(out));
  // Without the setting, the default (1024 MB) lets it through.
  LogSettings::Remove(kEM, "nMaxUncompressedLogSizeMB");
  run = zn::test::RunAdmin({"log", "unzip", version + ".zip", "--to", out});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(zn::test::ReadFile(out + "/zntest_20260101000000.log"), body);

  // A member named through a folder of the destination that is a link.
  const std::string outside = m_dir.file("outside");
  std::filesystem::create_directories(outside);
  const std::string trap = m_dir.file("trap");
  std::filesystem::create_directories(trap);
  std::filesystem::create_directory_symlink(outside, trap + "/lnk");
  WriteFileAged(folder + "/lnkXzntest_20260102000000.log", "escaped\n", std::chrono::hours(0));
  ASSERT_TRUE(archiver.AddFilesToArchive(folder + "/zntest_20260102000000.log.zip",
                                         {folder + "/lnkXzntest_20260102000000.log"})
                  .IsSuccess());
  std::string bytes = zn::test::ReadFile(folder + "/zntest_20260102000000.log.zip");
  for (std::size_t at = bytes.find("lnkX"); at != std::string::npos; at = bytes.find("lnkX", at)) bytes[at + 3] = '/';
  std::ofstream(folder + "/zntest_20260102000000.log.zip", std::ios::binary | std::ios::trunc) << bytes;
  run = zn::test::RunAdmin({"log", "unzip", folder + "/zntest_20260102000000.log.zip", "--to", trap});
  EXPECT_EQ(run.code, 1);
  EXPECT_TRUE(Has(run.err, "would leave the destination")) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(outside));
}

}  // namespace
