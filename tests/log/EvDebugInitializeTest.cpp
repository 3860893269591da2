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
#include <vector>

#include "helpers/TempDir.h"
#include "zn/log/EvDebug.h"
#include "zn/log/EvDebugState.h"
#include "zn/log/LogSettings.h"

namespace {

namespace fs = std::filesystem;
using zn::detail::LogSettings;
using zn::detail::LogState;
using zn::test::ReadFile;

constexpr const char* kEM = "EventManager";
constexpr const char* kTempLogFolder = "/Tessaly Systems/LogFiles";

// True when a line of `text` ends with " <tail>" (tail: "L<level> <job> <function> <message>").
bool HasLine(const std::string& text, const std::string& tail) {
  return text.find(" " + tail + "\n") != std::string::npos;
}

unsigned int Id(const char* name) { return EvDebug::getLogId(name); }

std::string TempFolder() { return std::string(std::getenv("TEMP")) + kTempLogFolder; }

class EvDebugInit : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    LogSettings::SetNumber(kEM, "ShowLogLevelInLogs", 1);
  }
  void TearDown() override { Reset(); }

  static void Reset() {
    EvDebug::CleanupFileHandleList();
    LogState().defaultInstance = EvDebugFileInstance();
    LogSettings::Clear();
    ZNPI_Focus::reload();
    EvDebug::m_bTurnOffAllLogs = false;
  }

  std::string Content(const std::string& file) const { return ReadFile(m_dir.file(file)); }

  zn::test::TempDir m_dir;
};

TEST_F(EvDebugInit, UnknownIdFailsAndLeavesTheInstanceConstructed) {
  EvDebugFileInstance instance;
  EXPECT_FALSE(EvDebug(&instance).initialize(12345u, 0, m_dir.path().c_str(), false));
  EXPECT_EQ(instance.m_state.load(), EvDebugFileInstance::kConstructed);
  EXPECT_EQ(instance.m_writer.load(), nullptr);
  EXPECT_FALSE(EvDebug().initialize(EvDebug::kInvalidLogId, 0, m_dir.path().c_str(), false));
  EXPECT_EQ(LogState().defaultInstance.m_state.load(), EvDebugFileInstance::kConstructed);
  EXPECT_TRUE(fs::is_empty(m_dir.path()));

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
  const std::size_t before = LogState().writers.size();
  EvDebugFileInstance a;
  EvDebugFileInstance b;
  EvDebugFileInstance c;
  ASSERT_TRUE(EvDebug(&a).initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  ASSERT_TRUE(EvDebug(&b).initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(LogState().writers.size(), before + 1);
  EXPECT_EQ(a.m_writer.load(), b.m_writer.load());
  EXPECT_EQ(a.m_writerIndex, b.m_writerIndex);
  EXPECT_EQ(b.m_state.load(), EvDebugFileInstance::kOpen);

  ASSERT_TRUE(EvDebug(&c).initialize(Id("zntest"), 0, other.path().c_str(), false));
  EXPECT_EQ(LogState().writers.size(), before + 2);
  EXPECT_NE(c.m_writer.load(), a.m_writer.load());

  // An open instance stays as it is.
  CYqLogger* writer = a.m_writer.load();
  ASSERT_TRUE(EvDebug(&a).initialize(Id("zndemo"), 0, other.path().c_str(), false));
  EXPECT_EQ(a.m_writer.load(), writer);
  EXPECT_EQ(LogState().writers.size(), before + 2);

  EvDebug(&a).Debug("Fn", "from a");
  EvDebug(&b).Debug("Fn", "from b");
  EvDebug(&c).Debug("Fn", "from c");
  const std::string first = Content("zntest.log");
  EXPECT_TRUE(HasLine(first, "L0 0 Fn from a"));
  EXPECT_TRUE(HasLine(first, "L0 0 Fn from b"));
  EXPECT_FALSE(HasLine(first, "L0 0 Fn from c"));
  EXPECT_TRUE(HasLine(ReadFile(other.file("zntest.log")), "L0 0 Fn from c"));
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, SuffixAndClientPrefixNameTheModule) {
  const std::string dir = m_dir.path();
  ASSERT_TRUE(EvDebug().initialize(Id("zntest"), 0, dir.c_str(), false, "job"));
  EXPECT_EQ(EvDebug().getModuleName(), "zntest-job");
  EXPECT_EQ(EvDebug().getApplicationName(), "zntest-job");
  EXPECT_EQ(EvDebug().getLogFilePath(), m_dir.file("zntest-job.log"));
  EvDebug().Debug("Fn", "suffix line");
  EXPECT_TRUE(HasLine(Content("zntest-job.log"), "L0 0 Fn suffix line"));

  struct Case {
    int prefixSetting;
    const char* pseudo;
    const char* client;
    const char* suffix;
    const char* module;
  };
  const Case cases[] = {
      {1, "c1", "", "", "cl_c1_zntest"},       {1, "c1", "", "job", "cl_c1_zntest-job"},
      {2, "", "cc", "", "cl_cc_zntest"},       {2, "p2", "cc", "", "cl_p2_zntest"},
      {1, "", "cc", "", "zntest"},             {0, "c1", "cc", "", "zntest"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    LogSettings::SetNumber(kEM, "PrefixLogFileNameWithClientName", c.prefixSetting);
    ZNPI_Focus::setFocusPseudoClientName(c.pseudo);
    ZNPI_Focus::setFocusClientName(c.client);
    EvDebugFileInstance instance;
    EvDebug log(&instance);
    ASSERT_TRUE(log.initialize(Id("zntest"), 0, dir.c_str(), false, c.suffix));
    EXPECT_EQ(log.getModuleName(), c.module);
    EXPECT_EQ(log.getLogFilePath(), m_dir.file(std::string(c.module) + ".log"));
    log.Debug("Fn", "to %s", c.module);
    EXPECT_TRUE(HasLine(Content(std::string(c.module) + ".log"), std::string("L0 0 Fn to ") + c.module));
  }
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, AppendJobGivesEachJobItsOwnFile) {
  zn::test::TempDir plain;
  LogSettings::SetNumber(kEM, "zntest_AppendJob", 1);
  EvDebugFileInstance job42;
  EvDebug log42(&job42);
  ASSERT_TRUE(log42.initialize(Id("zntest"), 42, m_dir.path().c_str(), false));
  EXPECT_EQ(log42.getLogFilePath(), m_dir.file("zntest_Job42.log"));
  EXPECT_EQ(log42.getModuleName(), "zntest");
  EXPECT_EQ(log42.getJobId(), 42);
  log42.Debug("Fn", "job line");

  EvDebugFileInstance job0;
  EvDebug log0(&job0);
  ASSERT_TRUE(log0.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(log0.getLogFilePath(), m_dir.file("zntest.log"));
  EXPECT_NE(job0.m_writer.load(), job42.m_writer.load());
  log0.Debug("Fn", "no job line");

  LogSettings::Remove(kEM, "zntest_AppendJob");
  EvDebugFileInstance job43;
  EvDebug log43(&job43);
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

  // Other instances take job ids as usual.
  EvDebugFileInstance instance;
  EvDebug bound(&instance);
  bound.setJobId(5);
  EXPECT_EQ(bound.getJobId(), 5);

  ZNPI_Focus::setAmIAService(0);
  log.setJobId(6);
  EXPECT_EQ(log.getJobId(), 6);
}

TEST_F(EvDebugInit, FocusSetButEmptyFailsInitialize) {
  ::unsetenv("ZN_CRASH_ON_BAD_FOCUS");
  ZNPI_Focus::setFocus("");
  EvDebug log;
  EXPECT_FALSE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(LogState().defaultInstance.m_state.load(), EvDebugFileInstance::kConstructed);
  EXPECT_FALSE(log.IsInitialized());
  EXPECT_TRUE(fs::is_empty(m_dir.path()));

  ZNPI_Focus::setFocus(nullptr);
  EXPECT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
}

TEST_F(EvDebugInit, HandleWithoutAnOpenLogDropsEverythingAndReportsZeros) {
  EvDebugFileInstance never;
  for (EvDebugFileInstance* target : {static_cast<EvDebugFileInstance*>(nullptr), &never}) {
    EvDebug log(target);
    log.Debug("Fn", "dropped");
    log.Error("Fn", "dropped");
    log.DebugLvl("Fn", -1, "dropped");
    char raw[] = "dropped raw";
    log.logMessage(raw);
    EXPECT_FALSE(log.IsInitialized());
    EXPECT_FALSE(log.canILogDebugMsgs());
    EXPECT_EQ(log.getMaxVersion(), 0u);
    EXPECT_EQ(log.getDefaultMaxVersion(), 0u);
    EXPECT_EQ(log.getLogFileSize(), 0u);
    EXPECT_EQ(log.getDefaultLogFileSize(), 0u);
    EXPECT_EQ(log.getDefaultDebugLevel(), -2);
    EXPECT_EQ(log.getAccessMethod(), 0);
    EXPECT_EQ(log.GetLoggingMode(), 0);
    EXPECT_FALSE(log.canUserWriteToLog());
    EXPECT_EQ(log.getApplicationName(), "");
    EXPECT_EQ(log.getLogFilePath(), "");

    // Instance fields are stored even before the log opens.
    log.setModuleName("early");
    EXPECT_EQ(log.getModuleName(), "early");
    log.setDebugLevel(4);
    EXPECT_EQ(log.getDebugLevel(), 4);
    log.setJobId(3);
    EXPECT_EQ(log.getJobId(), 3);
  }
  EXPECT_FALSE(fs::exists(TempFolder() + "/early.log"));
  EXPECT_TRUE(fs::is_empty(m_dir.path()));
}

TEST_F(EvDebugInit, UnwritableFolderFallsBackToTheTemporaryFolder) {
  {
    std::ofstream(m_dir.file("plain")) << "a file, not a folder";
  }
  // Nothing, not even root, can create a folder below a regular file.
  const std::string bad = m_dir.file("plain") + "/logs";
  EvDebugFileInstance instance;
  EvDebug log(&instance);
  ASSERT_TRUE(log.initialize(Id("zntest"), 0, bad.c_str(), false, "fallback"));
  EXPECT_EQ(log.getLogFilePath(), TempFolder() + "/zntest-fallback.log");
  log.Debug("Fn", "fallback line");
  EXPECT_TRUE(HasLine(ReadFile(TempFolder() + "/zntest-fallback.log"), "L0 0 Fn fallback line"));
  EXPECT_FALSE(fs::exists(bad));

  // ALLUSERSPROFILE comes first when set and writable.
  zn::test::TempDir allUsers;
  ::setenv("ALLUSERSPROFILE", allUsers.path().c_str(), 1);
  EvDebugFileInstance second;
  EvDebug secondLog(&second);
  const bool opened = secondLog.initialize(Id("zntest"), 0, bad.c_str(), false, "allusers");
  ::unsetenv("ALLUSERSPROFILE");
  ASSERT_TRUE(opened);
  EXPECT_EQ(secondLog.getLogFilePath(),
            allUsers.path() + "/Application Data/Tessaly Systems/Orvane/LogFiles/zntest-allusers.log");

  EvDebug::CleanupFileHandleList();
  zn::test::RemoveLogSharedState(TempFolder());
  fs::remove(TempFolder() + "/zntest-fallback.log");
}

TEST_F(EvDebugInit, InstanceOverloadBindsTheHandleAndUsesTheConfiguredFolder) {
  LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  EvDebugFileInstance instance;
  EvDebug log;
  EXPECT_EQ(log.GetFileInstance(), nullptr);
  ASSERT_TRUE(log.initialize(&instance, Id("zntest"), 0, false, "bound"));
  EXPECT_EQ(log.GetFileInstance(), &instance);
  EXPECT_EQ(instance.m_state.load(), EvDebugFileInstance::kOpen);
  EXPECT_EQ(log.getLogFilePath(), m_dir.file("zntest-bound.log"));
  EXPECT_FALSE(EvDebug().IsInitialized());  // the process log is untouched

  // Neither a folder argument nor a configured folder: the temporary folder.
  LogSettings::Remove(kEM, "dEVLOGDIR");
  EvDebugFileInstance temporary;
  EvDebug tempLog(&temporary);
  ASSERT_TRUE(tempLog.initialize(Id("zntest"), 0, false, "tmp"));
  EXPECT_EQ(tempLog.getLogFilePath(), TempFolder() + "/zntest-tmp.log");
  EvDebug::CleanupFileHandleList();
  zn::test::RemoveLogSharedState(TempFolder());
}

TEST_F(EvDebugInit, DebugLevelSettingIsReadAtOpenAndOnRefresh) {
  const std::string notice = "L0 0 EvDebug::refreshDebugLevel Changing Debug level from ";
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 4);
  EvDebug log;
  ASSERT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EXPECT_EQ(log.getDebugLevel(), 4);
  EXPECT_EQ(log.getDefaultDebugLevel(), 1);

  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 6);
  log.refreshDebugLevel();
  EXPECT_EQ(log.getDebugLevel(), 6);
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", 0);  // 0 means the default
  log.refreshDebugLevel();
  EXPECT_EQ(log.getDebugLevel(), 1);
  LogSettings::Remove(kEM, "zntest_DEBUGLEVEL");
  log.refreshDebugLevel();  // unchanged: no notice
  LogSettings::SetNumber(kEM, "zndemo_DEBUGLEVEL", 9);
  log.refreshDebugLevel("zndemo");
  EXPECT_EQ(log.getDebugLevel(), 9);
  // The notice goes out before the change, so even a change to -2 is logged.
  LogSettings::SetNumber(kEM, "zntest_DEBUGLEVEL", -2);
  log.refreshDebugLevel();
  EXPECT_EQ(log.getDebugLevel(), -2);
  log.Error("Fn", "error at -2");
  log.setDebugLevel(0);
  EXPECT_EQ(log.getDebugLevel(), 0);

  const std::string text = Content("zntest.log");
  EXPECT_TRUE(HasLine(text, notice + "9 to 4294967294"));
  EXPECT_FALSE(HasLine(text, "L-1 0 Fn error at -2"));
  EXPECT_TRUE(HasLine(text, notice + "1 to 4"));
  EXPECT_TRUE(HasLine(text, notice + "4 to 6"));
  EXPECT_TRUE(HasLine(text, notice + "6 to 1"));
  EXPECT_TRUE(HasLine(text, notice + "1 to 9"));
  std::size_t notices = 0;
  for (std::size_t at = text.find("Changing Debug level"); at != std::string::npos;
       at = text.find("Changing Debug level", at + 1)) {
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
  EXPECT_EQ(log.getMaxVersion(), 32u);
  EXPECT_EQ(log.getLogFileSize(), 5u);
  const std::string text = Content("zntest.log");
  EXPECT_TRUE(HasLine(text, "L0 0 EvDebug [zntest] LoggingMode - [2]"));
  EXPECT_TRUE(HasLine(text, "L2 0 EvDebug::initialize ZNLogFileInfo - (" + std::to_string(Id("zntest")) +
                                ", 'zntest', 0, 1, 5, 32)"));
  EXPECT_NE(text.find(" L2 0 EvDebug::initialize FastLoopBack is "), std::string::npos);

  // The daemon's log takes mode 2 as 1; other values are ignored.
  LogSettings::SetNumber(kEM, "znd_LoggingMode", 2);
  LogSettings::SetNumber(kEM, "zndemo_LoggingMode", 3);
  EvDebugFileInstance daemon;
  EvDebugFileInstance demo;
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
  const std::size_t before = LogState().writers.size();
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
  EXPECT_EQ(LogState().writers.size(), before + 1);
  const std::string text = Content("zntest.log");
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(HasLine(text, "L0 0 Fn thread " + std::to_string(t))) << t;
  EvDebug::CleanupFileHandleList();
}

TEST_F(EvDebugInit, CleanupsCloseInstancesAndLaterMessagesAreDropped) {
  ASSERT_TRUE(EvDebug().initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EvDebugFileInstance sharing;
  EvDebugFileInstance other;
  ASSERT_TRUE(EvDebug(&sharing).initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  ASSERT_TRUE(EvDebug(&other).initialize(Id("zndemo"), 0, m_dir.path().c_str(), false));
  ASSERT_EQ(LogState().writers.size(), 2u);

  EvDebug::CleanupDefaultFileHandle();
  EXPECT_EQ(LogState().defaultInstance.m_state.load(), EvDebugFileInstance::kConstructed);
  EXPECT_EQ(LogState().defaultInstance.m_writer.load(), nullptr);
  EXPECT_EQ(LogState().writers.size(), 1u);
  EXPECT_FALSE(EvDebug().IsInitialized());
  EvDebug().Debug("Fn", "after default cleanup");
  EvDebug(&sharing).Debug("Fn", "shared writer is gone");
  EvDebug(&other).Debug("Fn", "other still writes");
  EXPECT_FALSE(HasLine(Content("zntest.log"), "L0 0 Fn after default cleanup"));
  EXPECT_FALSE(HasLine(Content("zntest.log"), "L0 0 Fn shared writer is gone"));
  EXPECT_TRUE(HasLine(Content("zndemo.log"), "L0 0 Fn other still writes"));

  EvDebug::CleanupFileHandleList();
  EXPECT_TRUE(LogState().writers.empty());
  EvDebug(&other).Error("Fn", "after list cleanup");
  EXPECT_FALSE(HasLine(Content("zndemo.log"), "L-1 0 Fn after list cleanup"));

  // The process log can be opened again and appends to its file.
  ASSERT_TRUE(EvDebug().initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  EvDebug().Debug("Fn", "reopened");
  EXPECT_TRUE(HasLine(Content("zntest.log"), "L0 0 Fn reopened"));

  // Resetting the list forgets the writers without closing them.
  EvDebug::ResetFileHandleList();
  EXPECT_TRUE(LogState().writers.empty());
  EvDebug().Debug("Fn", "after reset");
  EXPECT_TRUE(HasLine(Content("zntest.log"), "L0 0 Fn after reset"));
}

TEST_F(EvDebugInit, CloseLogFileReopensOnTheNextLine) {
  EvDebug log;
  ASSERT_TRUE(log.initialize(Id("zntest"), 0, m_dir.path().c_str(), false));
  log.Debug("Fn", "first");
  log.CloseLogFile(false);
  EXPECT_TRUE(log.IsInitialized());
  ASSERT_EQ(::unlink(m_dir.file("zntest.log").c_str()), 0);
  log.Debug("Fn", "second");
  std::string text = Content("zntest.log");
  EXPECT_TRUE(HasLine(text, "L0 0 Fn second"));
  EXPECT_FALSE(HasLine(text, "L0 0 Fn first"));

  EXPECT_EQ(log.getAccessMethod(), EvDebug::kAccessKeepOpen);
  log.setAccessMethod(EvDebug::kAccessReopen);
  EXPECT_EQ(log.getAccessMethod(), EvDebug::kAccessReopen);
  log.Debug("Fn", "third");
  log.setAccessMethod(EvDebug::kAccessKeepOpen);
  EXPECT_EQ(log.getAccessMethod(), EvDebug::kAccessKeepOpen);

  log.finalize();
  EXPECT_TRUE(log.IsInitialized());
  ASSERT_EQ(::unlink(m_dir.file("zntest.log").c_str()), 0);
  log.Debug("Fn", "after finalize");
  text = Content("zntest.log");
  EXPECT_TRUE(HasLine(text, "L0 0 Fn after finalize"));
  EXPECT_FALSE(HasLine(text, "L0 0 Fn third"));
}

}  // namespace
