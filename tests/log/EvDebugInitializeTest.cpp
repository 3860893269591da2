// Opening logs: names, folders, settings read at open, writer sharing and the
// process-wide clean-ups.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <latch>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/LogTestUtil.h"
#include "zn/log/LogTesting.h"

namespace {

namespace fs = std::filesystem;
using zn::LogSettings;
using zn::test::kEM;
using zn::test::ReadFile;

unsigned int Id(const char* name) { return EvDebug::getLogId(name); }

std::string TempFolder() { return std::string(std::getenv("TEMP")) + "/Tessaly Systems/LogFiles"; }

using EvDebugInit = zn::test::LogTest;

TEST_F(EvDebugInit, UnknownIdOrEmptyFocusFailsAndLeavesTheInstanceConstructed) {
  EvDebugFileInstance instance;
  EXPECT_FALSE(EvDebug(&instance).initialize(12345u, 0, m_dir.path().c_str(), false));
  EXPECT_EQ(instance.m_state.load(), EvDebugFileInstance::kConstructed);
  EXPECT_EQ(instance.m_writer.load(), nullptr);
  EXPECT_FALSE(EvDebug().initialize(EvDebug::kInvalidLogId, 0, m_dir.path().c_str(), false));
  EXPECT_EQ(zn::testing::DefaultLogInstanceState(), EvDebugFileInstance::kConstructed);
  ::unsetenv("ZN_CRASH_ON_BAD_FOCUS");
  ZNPI_Focus::setFocus("");  // a focus set but empty fails too
  EXPECT_FALSE(EvDebug().initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(zn::testing::DefaultLogInstanceState(), EvDebugFileInstance::kConstructed);
  EXPECT_TRUE(fs::is_empty(m_dir.path()));
  ZNPI_Focus::setFocus(nullptr);

  // With the process log open, unknown ids and names are reported into it.
  ASSERT_TRUE(EvDebug().initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_FALSE(EvDebug(&instance).initialize(12345u, 0, m_dir.path().c_str(), false));
  EXPECT_NE(EvDebug::getLogId("nosuchlog"), EvDebug::kInvalidLogId);
  const std::string text = Content("zntest.log");
  EXPECT_NE(text.find("Couldn't find the log name for id:[12345]"), std::string::npos);
  EXPECT_NE(text.find("nosuchlog:This log file is not found in the internal list. Please add to the Build system."),
            std::string::npos);
}

TEST_F(EvDebugInit, SameLogAndFolderShareOneWriter) {
  zn::test::TempDir other;
  const std::size_t before = zn::testing::LogWriterCount();
  EvDebugFileInstance a, b, c;
  ASSERT_TRUE(EvDebug(&a).initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  ASSERT_TRUE(EvDebug(&b).initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(zn::testing::LogWriterCount(), before + 1);
  EXPECT_EQ(a.m_writer.load(), b.m_writer.load());
  ASSERT_TRUE(EvDebug(&c).initialize(Id("zntest"), 0, other.path().c_str(), false));
  EXPECT_EQ(zn::testing::LogWriterCount(), before + 2);

  // An open instance stays as it is.
  CYqLogger* writer = a.m_writer.load();
  ASSERT_TRUE(EvDebug(&a).initialize(Id("zndemo"), 0, other.path().c_str(), false));
  EXPECT_EQ(a.m_writer.load(), writer);
  EXPECT_EQ(zn::testing::LogWriterCount(), before + 2);

  EvDebug(&a).Debug("Fn", "from a");
  EvDebug(&b).Debug("Fn", "from b");
  EvDebug(&c).Debug("Fn", "from c");
  const std::string first = Content("zntest.log");
  EXPECT_TRUE(HasLine(first, "L0 0 Fn from a") && HasLine(first, "L0 0 Fn from b"));
  EXPECT_FALSE(HasLine(first, "L0 0 Fn from c"));
  EXPECT_TRUE(HasLine(ReadFile(other.file("zntest.log")), "L0 0 Fn from c"));
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, SuffixAndClientPrefixNameTheModule) {
  // Prefix setting, pseudo client, client, suffix, and the module name.
  for (const auto& [prefix, pseudo, client, suffix, module] :
       std::vector<std::tuple<int, const char*, const char*, const char*, std::string>>{
           {0, "", "", "job", "zntest-job"}, {1, "c1", "", "", "cl_c1_zntest"}, {1, "c1", "", "job", "cl_c1_zntest-job"},
           {2, "", "cc", "", "cl_cc_zntest"}, {2, "p2", "cc", "", "cl_p2_zntest"}, {1, "", "cc", "", "zntest"},
           {0, "c1", "cc", "", "zntest"}}) {
    SCOPED_TRACE(module);
    LogSettings::SetNumber(kEM, "PrefixLogFileNameWithClientName", prefix);
    ZNPI_Focus::setFocusPseudoClientName(pseudo);
    ZNPI_Focus::setFocusClientName(client);
    EvDebugFileInstance instance;
    EvDebug log(&instance);
    ASSERT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false, suffix));
    EXPECT_EQ(log.getModuleName(), module);
    EXPECT_EQ(log.getApplicationName(), module);
    EXPECT_EQ(log.getLogFilePath(), m_dir.file(module + ".log"));
    log.Debug("Fn", "to %s", module.c_str());
    EXPECT_TRUE(HasLine(Content(module + ".log"), "L0 0 Fn to " + module));
  }
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, AppendJobGivesEachJobItsOwnFile) {
  zn::test::TempDir plain;
  LogSettings::SetNumber(kEM, "zntest_AppendJob", 1);
  EvDebugFileInstance job42, job0, job43;
  EvDebug log42(&job42), log0(&job0), log43(&job43);
  ASSERT_TRUE(log42.initialize(Id("zntest"), 42, m_dir.path().c_str(), false));
  EXPECT_EQ(log42.getLogFilePath(), m_dir.file("zntest_Job42.log"));
  EXPECT_EQ(log42.getModuleName(), "zntest");
  log42.Debug("Fn", "job line");
  ASSERT_TRUE(log0.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(log0.getLogFilePath(), m_dir.file("zntest.log"));
  log0.Debug("Fn", "no job line");

  LogSettings::Remove(kEM, "zntest_AppendJob");
  ASSERT_TRUE(log43.initialize(Id("zntest"), 43, plain.path().c_str(), false));
  EXPECT_EQ(log43.getLogFilePath(), plain.file("zntest.log"));
  log43.Debug("Fn", "one file");

  EXPECT_TRUE(HasLine(Content("zntest_Job42.log"), "L0 42 Fn job line"));
  EXPECT_TRUE(HasLine(Content("zntest.log"), "L0 0 Fn no job line"));
  EXPECT_FALSE(HasLine(Content("zntest.log"), "L0 42 Fn job line"));
  EXPECT_TRUE(HasLine(ReadFile(plain.file("zntest.log")), "L0 43 Fn one file"));
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, ServiceProcessKeepsTheGlobalJobId) {
  ZNPI_Focus::setAmIAService(1);
  EvDebug log;
  ASSERT_TRUE(log.initialize(Id("zntest"), 42, m_dir.path().c_str(), false));
  EXPECT_EQ(log.getJobId(), 0);
  log.setDebugLevel(7);
  log.setJobId(5);
  EXPECT_EQ(log.getJobId(), 0);
  EXPECT_TRUE(HasLine(Content("zntest.log"),
                      "L7 0 EvDebug::setJobId Trying to set a global job id for the process that is marked as service."));
  EvDebugFileInstance instance;  // other instances take job ids as usual
  EvDebug(&instance).setJobId(5);
  EXPECT_EQ(EvDebug(&instance).getJobId(), 5);

  ZNPI_Focus::setAmIAService(0);
  log.setJobId(6);
  EXPECT_EQ(log.getJobId(), 6);
}

TEST_F(EvDebugInit, HandleWithoutAnOpenLogDropsEverythingAndReportsZeros) {
  EvDebugFileInstance never;
  for (EvDebugFileInstance* target : {static_cast<EvDebugFileInstance*>(nullptr), &never}) {
    EvDebug log(target);
    log.setModuleName("early");
    log.Debug("Fn", "dropped");
    log.Error("Fn", "dropped");
    log.DebugLvl("Fn", -1, "dropped");
    char raw[] = "dropped raw";
    log.logMessage(raw);
    EXPECT_FALSE(log.IsInitialized());
    EXPECT_FALSE(log.canILogDebugMsgs());
    EXPECT_FALSE(log.canUserWriteToLog());
    EXPECT_EQ(log.getMaxVersion() + log.getLogFileSize() + log.getDefaultMaxVersion() + log.getDefaultLogFileSize(),
              0u);
    EXPECT_EQ(log.getDefaultDebugLevel(), -2);
    EXPECT_EQ(log.getLogFilePath(), "");
  }
  EXPECT_FALSE(fs::exists(TempFolder() + "/early.log"));
  EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

TEST_F(EvDebugInit, FolderIsTheArgumentTheConfiguredOneOrAFallback) {
  // The instance overload binds the handle and takes the configured folder.
  LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  EvDebugFileInstance bound, temporary, fallback, allUsersLog;
  EvDebug log;
  ASSERT_TRUE(log.initialize(&bound, Id("zntest"), 0, false, "bound"));
  EXPECT_EQ(log.GetFileInstance(), &bound);
  EXPECT_EQ(log.getLogFilePath(), m_dir.file("zntest-bound.log"));
  EXPECT_FALSE(EvDebug().IsInitialized());  // the process log is untouched
  // Neither a folder argument nor a configured folder: the temporary folder.
  LogSettings::Remove(kEM, "dEVLOGDIR");
  ASSERT_TRUE(EvDebug(&temporary).initialize(Id("zntest"), 0, false, "tmp"));
  EXPECT_EQ(EvDebug(&temporary).getLogFilePath(), TempFolder() + "/zntest-tmp.log");

  // A folder nothing can create, not even root (below a file): the temporary folder too...
  std::ofstream(m_dir.file("plain")) << "a file, not a folder";
  const std::string bad = m_dir.file("plain") + "/logs";
  EvDebug fallbackLog(&fallback);
  ASSERT_TRUE(fallbackLog.initialize(Id("zntest"), 0, bad.c_str(), false, "fallback"));
  EXPECT_EQ(fallbackLog.getLogFilePath(), TempFolder() + "/zntest-fallback.log");
  fallbackLog.Debug("Fn", "fallback line");
  EXPECT_TRUE(HasLine(ReadFile(TempFolder() + "/zntest-fallback.log"), "L0 0 Fn fallback line"));
  EXPECT_FALSE(fs::exists(bad));
  // ...unless ALLUSERSPROFILE is set and writable.
  zn::test::TempDir allUsers;
  ::setenv("ALLUSERSPROFILE", allUsers.path().c_str(), 1);
  const bool opened = EvDebug(&allUsersLog).initialize(Id("zntest"), 0, bad.c_str(), false, "allusers");
  ::unsetenv("ALLUSERSPROFILE");
  ASSERT_TRUE(opened);
  EXPECT_EQ(EvDebug(&allUsersLog).getLogFilePath(),
            allUsers.path() + "/Application Data/Tessaly Systems/Orvane/LogFiles/zntest-allusers.log");
  EvDebug::CleanupFileHandleList();
  zn::test::RemoveLogSharedState(TempFolder());
  fs::remove(TempFolder() + "/zntest-fallback.log");
}

TEST_F(EvDebugInit, DebugLevelSettingIsReadAtOpenAndOnRefresh) {
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 4);
  EvDebug log;
  ASSERT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(log.getDebugLevel(), 4);
  EXPECT_EQ(log.getDefaultDebugLevel(), 1);

  // Setting (absent: -1000), name to read, and the level after the refresh.
  for (const auto& [value, name, level] : std::vector<std::tuple<int, const char*, int>>{
           {6, nullptr, 6}, {0, nullptr, 1}, {-1000, nullptr, 1}, {9, "zndemo", 9}, {-2, nullptr, -2}}) {
    const std::string key = std::string(name == nullptr ? "zntest" : name) + "_DEBUGLEVEL";
    if (value == -1000) {
      LogSettings::Remove(kEM, key);
    } else {
      LogSettings::SetNumber(kEM, key, value);
    }
    log.refreshDebugLevel(name);
    EXPECT_EQ(log.getDebugLevel(), level) << value;  // 0 means the default
  }
  log.Error("Fn", "error at -2");

  // One notice per change (none when unchanged), written before the change,
  // so even a change to -2 is logged.
  const std::string text = Content("zntest.log");
  const std::string notice = "L0 0 EvDebug::refreshDebugLevel Changing Debug level from ";
  for (const char* change : {"1 to 4", "4 to 6", "6 to 1", "1 to 9", "9 to 4294967294"}) {
    EXPECT_TRUE(HasLine(text, notice + change)) << change;
  }
  EXPECT_FALSE(HasLine(text, "L-1 0 Fn error at -2"));
  std::size_t notices = 0;
  for (auto at = text.find("Changing Debug level"); at != std::string::npos; at = text.find("Changing Debug", at + 1)) {
    ++notices;
  }
  EXPECT_EQ(notices, 5u);
}

TEST_F(EvDebugInit, LoggingModeAndCatalogueRowAreLoggedAtOpen) {
  LogSettings::SetNumber(kEM, "zntest_LoggingMode", 2);
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 2);
  EvDebug log;
  ASSERT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(log.GetLoggingMode(), 2);
  const std::string text = Content("zntest.log");
  EXPECT_TRUE(HasLine(text, "L0 0 EvDebug [zntest] LoggingMode - [2]"));
  EXPECT_TRUE(HasLine(text, "L2 0 EvDebug::initialize ZNLogFileInfo - (" + std::to_string(Id("zntest")) +
                                ", 'zntest', 0, 1, 5, 32)"));
  EXPECT_NE(text.find(" L2 0 EvDebug::initialize FastLoopBack is "), std::string::npos);

  // The daemon's log takes mode 2 as 1; other values are ignored.
  LogSettings::SetNumber(kEM, "znd_LoggingMode", 2);
  LogSettings::SetNumber(kEM, "zndemo_LoggingMode", 3);
  EvDebugFileInstance daemon, demo;
  ASSERT_TRUE(EvDebug(&daemon).initialize(Id("znd"), 0, m_dir.path().c_str(), false));
  ASSERT_TRUE(EvDebug(&demo).initialize(Id("zndemo"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(EvDebug(&daemon).GetLoggingMode(), 1);
  EXPECT_TRUE(HasLine(Content("znd.log"), "L0 0 EvDebug [znd] LoggingMode - [2]"));
  EXPECT_EQ(EvDebug(&demo).GetLoggingMode(), 1);
  EXPECT_EQ(Content("zndemo.log").find("LoggingMode"), std::string::npos);
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, ConcurrentOpensOfOneLogMakeOneWriter) {
  constexpr int kThreads = 4;
  const std::size_t before = zn::testing::LogWriterCount();
  std::latch start(kThreads);
  std::atomic<int> opened{0};
  std::vector<EvDebugFileInstance> instances(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      // Half open the process log, half their own instance of the same file.
      EvDebug log(t % 2 == 0 ? nullptr : &instances[t]);
      if (log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false)) opened.fetch_add(1);
      log.Debug("Fn", "thread %d", t);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(opened.load(), kThreads);
  EXPECT_EQ(zn::testing::LogWriterCount(), before + 1);
  const std::string text = Content("zntest.log");
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(HasLine(text, "L0 0 Fn thread " + std::to_string(t))) << t;
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, CleanupsCloseInstancesAndLaterMessagesAreDropped) {
  ASSERT_TRUE(EvDebug().initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EvDebugFileInstance sharing, other;
  ASSERT_TRUE(EvDebug(&sharing).initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  ASSERT_TRUE(EvDebug(&other).initialize(Id("zndemo"), 0, m_dir.path().c_str(), false));
  ASSERT_EQ(zn::testing::LogWriterCount(), 2u);

  EvDebug::CleanupDefaultFileHandle();
  EXPECT_EQ(zn::testing::DefaultLogInstanceState(), EvDebugFileInstance::kConstructed);
  EXPECT_EQ(zn::testing::LogWriterCount(), 1u);
  EvDebug().Debug("Fn", "after default cleanup");
  EvDebug(&sharing).Debug("Fn", "shared writer is gone");
  EvDebug(&other).Debug("Fn", "other still writes");
  EXPECT_FALSE(HasLine(Content("zntest.log"), "L0 0 Fn after default cleanup"));
  EXPECT_FALSE(HasLine(Content("zntest.log"), "L0 0 Fn shared writer is gone"));
  EXPECT_TRUE(HasLine(Content("zndemo.log"), "L0 0 Fn other still writes"));

  EvDebug::CleanupFileHandleList();
  EXPECT_TRUE((zn::testing::LogWriterCount() == 0));
  EvDebug(&other).Error("Fn", "after list cleanup");
  EXPECT_FALSE(HasLine(Content("zndemo.log"), "L-1 0 Fn after list cleanup"));

  // The process log can be opened again and appends to its file.
  ASSERT_TRUE(EvDebug().initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EvDebug().Debug("Fn", "reopened");
  EXPECT_TRUE(HasLine(Content("zntest.log"), "L0 0 Fn reopened"));

  // Resetting the list forgets the writers without closing them.
  EvDebug::ResetFileHandleList();
  EXPECT_TRUE((zn::testing::LogWriterCount() == 0));
  EvDebug().Debug("Fn", "after reset");
  EXPECT_TRUE(HasLine(Content("zntest.log"), "L0 0 Fn after reset"));
}

TEST_F(EvDebugInit, CloseLogFileAndFinalizeReopenOnTheNextLine) {
  EvDebug log;
  ASSERT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  for (const bool finalize : {false, true}) {
    log.Debug("Fn", "before");
    finalize ? log.finalize() : log.CloseLogFile(false);
    EXPECT_TRUE(log.IsInitialized());
    ASSERT_EQ(::unlink(m_dir.file("zntest.log").c_str()), 0);
    log.Debug("Fn", "after");
    const std::string text = Content("zntest.log");
    EXPECT_TRUE(HasLine(text, "L0 0 Fn after")) << finalize;
    EXPECT_FALSE(HasLine(text, "L0 0 Fn before")) << finalize;
  }
}

}  // namespace
