// The daemon watch that EvDebug::initialize starts when a termination
// callback is registered: what it checks before it watches, and what the
// process does when the daemon goes away. Processes that may be ended run
// as forked children; their exit codes and logs are checked here.

#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>

#include "znd/ZndTestUtil.h"

namespace {

using zn::LogSettings;
using zn::test::ChildProcess;
using zn::test::FakeDaemon;
using zn::test::PollUntil;

std::atomic<int> g_notified{0};

bool KeepRunning() {
  ++g_notified;
  return true;
}
bool LetItEnd() {
  ++g_notified;
  return false;
}
bool Throw() { throw std::runtime_error("the callback broke"); }

class ZndMonitoring : public zn::test::ZndTest {
 protected:
  void SetUp() override {
    ZndTest::SetUp();
    g_notified = 0;
    zn::testing::SetZndShutdownGraceMs(0);
  }
  void TearDown() override {
    zn::testing::SetZndShutdownGraceMs(20000);
    ZndTest::TearDown();
  }
  // Registers `callback` and opens a log of its own (one that shares an
  // open file starts nothing), which starts the watch.
  void Watch(ZNDTerminationHandler::TerminationCallback callback, const std::string& home) {
    ZNDTerminationHandler::registerCallbackForZNDTermination(callback);
    LogSettings::Set("Base", "dBASEHOME", home);
    EvDebugFileInstance& instance = m_instances.emplace_back();
    m_watching = EvDebug(&instance).initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false,
                                               "watch" + std::to_string(++m_logs));
  }
  // The folder of this test program: the watch takes it for an installed
  // program of the suite.
  static std::string OwnHome() { return zn::test::BuildFolder("bin"); }

  bool m_watching = false;
  int m_logs = 0;
  std::list<EvDebugFileInstance> m_instances;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(ZndMonitoring, ACallbackThatReturnsTrueKeepsTheProcessAlive) {
  ChildProcess child([&] {
    Watch(&KeepRunning, OwnHome());
    if (!PollUntil([] { return g_notified.load() == 1; })) return 3;
    return EvDebug::zndMonitoringInitialized.load() ? 0 : 4;
  });
  EXPECT_EQ(child.wait(), 0);
  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "Waiting for ZND Termination"));
  EXPECT_TRUE(HasLine(text, "Failed to Open ZNDAliveChecking Mutex, " + AliveName() + ", 2"));  // no daemon
  EXPECT_TRUE(HasLine(text, "EvDebug::ShutDownProcess ZND is down!")) << text;
  EXPECT_TRUE(HasLine(text, "Notifying process : [zn_tests] that ZND is down."));
  EXPECT_NE(text.find(" L10 "), std::string::npos);
  EXPECT_FALSE(Has(text, "Shutting down process"));
}

TEST_F(ZndMonitoring, ACallbackThatReturnsFalseOrThrowsEndsTheProcessWithCodeOne) {
  ChildProcess declines([&] {
    Watch(&LetItEnd, OwnHome());
    PollUntil([] { return false; });  // ended by the watch long before this gives up
    return 5;
  });
  EXPECT_EQ(declines.wait(), 1);
  EXPECT_TRUE(HasLine(Content(), "Shutting down process : [zn_tests] as ZND is down")) << Content();

  ChildProcess throws([&] {
    Watch(&Throw, OwnHome());
    PollUntil([] { return false; });
    return 5;
  });
  EXPECT_EQ(throws.wait(), 1);
  EXPECT_TRUE(HasLine(Content(), "The ZND termination callback failed: the callback broke")) << Content();
}

TEST_F(ZndMonitoring, TheProcessIsToldWhenARunningDaemonIsKilled) {
  FakeDaemon daemon(AliveName());
  ASSERT_TRUE(daemon.holding());
  const std::unique_ptr<zn::NamedKernelObject> keep = OpenAlive();
  zn::test::Pipe toService;
  zn::test::Pipe fromService;
  ChildProcess service([&] {
    Watch(&KeepRunning, OwnHome());
    if (toService.receive() != '?') return 2;
    fromService.send(g_notified.load() == 0 ? 'n' : 'y');  // told while the daemon is still up?
    return PollUntil([] { return g_notified.load() == 1; }) ? 0 : 4;
  });
  ASSERT_TRUE(PollUntil([&] { return HasLine(Content(), "Waiting for ZND Termination"); }));
  toService.send('?');
  EXPECT_EQ(fromService.receive(), 'n');
  EXPECT_FALSE(Has(Content(), "ZND is down!"));
  EXPECT_EQ(daemon.kill(), -SIGKILL);
  EXPECT_EQ(service.wait(), 0);
  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "ZND Alive Check acquired Mutex, Abandoned")) << text;
  EXPECT_TRUE(HasLine(text, "Notifying process : [zn_tests] that ZND is down."));
}

TEST_F(ZndMonitoring, WhatTheWatchChecksBeforeItStarts) {
  // Switched off in the store.
  LogSettings::SetNumber("Znd", "nDisableZNDMonitoring", 1);
  Watch(&KeepRunning, OwnHome());
  ASSERT_TRUE(m_watching);
  EXPECT_TRUE(EvDebug::zndMonitoringInitialized.load());
  EXPECT_TRUE(HasLine(Content(), "Registry key [Znd]/[nDisableZNDMonitoring] is set. Ignoring ZND monitoring"));
  EXPECT_FALSE(Has(Content(), "Waiting for ZND Termination"));

  // Once per process: a later log starts nothing.
  LogSettings::Remove("Znd", "nDisableZNDMonitoring");
  Watch(&KeepRunning, OwnHome());
  EXPECT_FALSE(Has(Content(), "Waiting for ZND Termination"));

  // A program outside the installation's home.
  EvDebug::zndMonitoringInitialized = false;
  Watch(&KeepRunning, m_dir.path());
  EXPECT_TRUE(Has(Content(), ") is not a Tessaly process. Ignoring ZND termination"));
  EXPECT_TRUE(Has(Content(), "(" + OwnHome() + "/zn_tests)"));

  // No home at all.
  EvDebug::zndMonitoringInitialized = false;
  LogSettings::Remove("Base", "dBASEHOME");
  ZNDTerminationHandler::TerminationCallback callback = &KeepRunning;
  ZNDTerminationHandler::registerCallbackForZNDTermination(callback);
  EvDebugFileInstance& instance = m_instances.emplace_back();
  ASSERT_TRUE(EvDebug(&instance).initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, "nohome"));
  EXPECT_TRUE(HasLine(Content(), "EvDebug::startMonitoringZND Error retrieving home directory."));

  // No callback: no watch, and the flag stays clear.
  EvDebug::zndMonitoringInitialized = false;
  ZNDTerminationHandler::unregisterCallbackForZNDTermination();
  EvDebugFileInstance& plain = m_instances.emplace_back();
  ASSERT_TRUE(EvDebug(&plain).initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, "plain"));
  EXPECT_FALSE(EvDebug::zndMonitoringInitialized.load());
  EXPECT_EQ(g_notified.load(), 0);
}

}  // namespace
