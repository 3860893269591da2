// The daemon watch end to end: the znd stand-in holds its alive mutex, the
// demo service watches it, and carries on (and says so) when it is killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "helpers/AdminRunner.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "zn/sync/NamedKernelObject.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;
using zn::test::PollUntil;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The programs read their instance from the environment: each test gets
// one of its own, since the alive mutex is machine-wide.
class ZndDemo : public zn::test::LogTest {
 protected:
  void SetUp() override {
    m_focus = zn::test::UniqueName("demo");
    ::setenv("ZN_FOCUS", m_focus.c_str(), 1);
    LogTest::SetUp();
    LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  }
  void TearDown() override {
    ::setenv("ZN_FOCUS", "Instance001", 1);
    LogTest::TearDown();
  }
  std::string AliveName() const { return "Global\\ZNDALIVE-" + m_focus; }

  std::string m_focus;
};

TEST_F(ZndDemo, TheDaemonHoldsItsMutexOnceAndReleasesItWhenStopped) {
  zn::test::RunningProgram znd("znd", {});
  ASSERT_TRUE(PollUntil([&] { return Has(znd.output(), "znd: holding " + AliveName()); })) << znd.output();
  zn::test::RunningProgram second("znd", {"--seconds", "1"});
  EXPECT_EQ(second.wait(30000), 1);  // another daemon of the instance holds it

  std::unique_ptr<zn::NamedKernelObject> alive;
  ASSERT_EQ(zn::NamedKernelObject::Open(AliveName(), zn::NamedObjectType::kMutex, alive), 0u);
  EXPECT_EQ(alive->lockMutex(0), zn::WaitOutcome::kTimeout);
  znd.signal(SIGTERM);
  EXPECT_EQ(znd.wait(30000), 0);
  EXPECT_EQ(alive->lockMutex(zn::test::kWaitLimitMs), zn::WaitOutcome::kAcquired);  // released, not abandoned
  alive->unlockMutex();
  EXPECT_EQ(zn::test::RunningProgram("znd", {"--seconds", "x"}).wait(30000), 2);
}

TEST_F(ZndDemo, TheDemoCarriesOnWhenTheDaemonIsKilledAndSaysSo) {
  // The demo runs from the installation's home, so it is watched.
  LogSettings::Set("Base", "dBASEHOME", zn::test::BuildFolder("bin"));
  zn::test::RunningProgram znd("znd", {});
  ASSERT_TRUE(PollUntil([&] { return Has(znd.output(), "znd: holding " + AliveName()); })) << znd.output();
  std::unique_ptr<zn::NamedKernelObject> keep;  // the name outlives the daemon, however late the demo opens it
  ASSERT_EQ(zn::NamedKernelObject::Open(AliveName(), zn::NamedObjectType::kMutex, keep), 0u);

  zn::test::RunningProgram demo("zndemo", {"--seconds", "60"});
  const std::string log = m_dir.file("zndemo.log");
  const auto logged = [&](const std::string& part) { return Has(zn::test::ReadFile(log), part); };
  ASSERT_TRUE(PollUntil([&] { return logged("Waiting for ZND Termination"); })) << zn::test::ReadFile(log);
  EXPECT_FALSE(logged("ZND is down!"));

  znd.signal(SIGKILL);
  EXPECT_EQ(znd.wait(30000), -1);
  ASSERT_TRUE(PollUntil([&] { return logged("ZND went away; the demo carries on without it"); }))
      << zn::test::ReadFile(log);
  demo.signal(SIGTERM);
  ASSERT_EQ(demo.wait(60000), 0) << demo.output();

  const std::string text = zn::test::ReadFile(log);
  EXPECT_TRUE(Has(text, "ZND Alive Check acquired Mutex, Abandoned")) << text;
  EXPECT_TRUE(Has(text, "ZND is down!"));
  EXPECT_FALSE(Has(text, "Shutting down process"));
  EXPECT_TRUE(Has(text, "Service stopped."));
  EXPECT_TRUE(Has(demo.output(), "Daemon      : znd went away (or was not running) during the run")) << demo.output();
}

}  // namespace
