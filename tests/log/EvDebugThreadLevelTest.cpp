// Thread-level log instances: a pushed instance redirects handles that follow
// the process log, on the pushing thread only.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log/LogTestUtil.h"
#include "zn/log/LogTesting.h"

namespace {


constexpr auto kWaitLimit = std::chrono::seconds(30);

class EvDebugThreadLevel : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    Open();
  }
  void TearDown() override {
    LogTest::TearDown();
    EXPECT_EQ(zn::testing::LogThreadLevelCount(), 0);
  }

  // Opens "zntest-<suffix>" into `instance`.
  void OpenOwn(EvDebugFileInstance& instance, const std::string& suffix) {
    ASSERT_TRUE(EvDebug(&instance).initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, suffix));
  }
  std::string Text(const std::string& suffix = "") const {
    return Content(suffix.empty() ? "zntest.log" : "zntest-" + suffix + ".log");
  }
  // The messages are in the log of `suffix` ("": the process log) and in none of `others`.
  void ExpectOnlyIn(const std::string& suffix, const std::vector<std::string>& messages,
                    const std::vector<std::string>& others) const {
    for (const std::string& message : messages) {
      EXPECT_TRUE(HasLine(Text(suffix), message)) << message << " in [" << suffix << "]";
      for (const std::string& other : others) EXPECT_FALSE(HasLine(Text(other), message)) << message << " in " << other;
    }
  }
};

TEST_F(EvDebugThreadLevel, PushedInstanceAppliesToThePushingThreadOnly) {
  EvDebugFileInstance job;
  OpenOwn(job, "job");

  std::promise<void> pushed;
  std::promise<void> otherWrote;
  std::future<void> otherDone = otherWrote.get_future();
  std::thread a([&] {
    {
      ThLvlEvDebugFileInstance redirect(&job);
      EvDebug().Debug("A", "A while pushed");
      EXPECT_EQ(EvDebug().getModuleName(), "zntest-job");
      pushed.set_value();
      // Hold the push until B has written.
      EXPECT_EQ(otherDone.wait_for(kWaitLimit), std::future_status::ready);
      EvDebug().Debug("A", "A still pushed");
    }
    EvDebug().Debug("A", "A after pop");
  });
  std::thread b([&, pushedFuture = pushed.get_future()]() mutable {
    ASSERT_EQ(pushedFuture.wait_for(kWaitLimit), std::future_status::ready);
    EXPECT_EQ(zn::testing::LogThreadLevelCount(), 1);
    EvDebug().Debug("B", "B while A pushed");
    EXPECT_EQ(EvDebug().getModuleName(), "zntest");
    otherWrote.set_value();
  });
  b.join();
  a.join();

  ExpectOnlyIn("job", {"A A while pushed", "A A still pushed"}, {""});
  ExpectOnlyIn("", {"B B while A pushed", "A A after pop"}, {"job"});
}

TEST_F(EvDebugThreadLevel, NestedPushesPopInOrderAndBoundHandlesIgnoreTheStack) {
  EvDebugFileInstance outer, inner, bound;
  OpenOwn(outer, "outer");
  OpenOwn(inner, "inner");
  OpenOwn(bound, "bound");
  EvDebug log;  // one handle, used before, during and after the pushes
  {
    ThLvlEvDebugFileInstance none(nullptr);  // a null push is no push
    EXPECT_EQ(zn::testing::LogThreadLevelCount(), 0);
    log.Debug("Fn", "null push");
  }
  {
    ThLvlEvDebugFileInstance first(&outer);
    log.Debug("Fn", "one deep");
    EvDebug(&bound).Debug("Fn", "bound handle");
    {
      ThLvlEvDebugFileInstance second(&inner);
      EXPECT_EQ(zn::testing::LogThreadLevelCount(), 2);
      log.Debug("Fn", "two deep");
    }
    log.Debug("Fn", "one deep again");
  }
  EXPECT_EQ(zn::testing::LogThreadLevelCount(), 0);
  EXPECT_FALSE(zn::testing::LogThreadStackAllocated());  // freed when empty
  log.Debug("Fn", "restored");
  {
    // Redirection needs the process log open: once it is closed, handles
    // that follow it write nowhere.
    ThLvlEvDebugFileInstance redirect(&outer);
    EvDebug::CleanupDefaultFileHandle();
    log.Debug("Fn", "process log closed");
  }
  ExpectOnlyIn("outer", {"Fn one deep", "Fn one deep again"}, {"inner", "", "bound"});
  ExpectOnlyIn("inner", {"Fn two deep"}, {"outer", "", "bound"});
  ExpectOnlyIn("", {"Fn restored", "Fn null push"}, {"outer", "inner"});
  ExpectOnlyIn("bound", {"Fn bound handle"}, {"outer", ""});
  EXPECT_FALSE(HasLine(Text("outer") + Text(), "Fn process log closed"));
}

TEST_F(EvDebugThreadLevel, ManyThreadsEachWriteToTheirOwnPushedInstance) {
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  std::vector<std::unique_ptr<EvDebugFileInstance>> instances;
  for (int t = 0; t < kThreads; ++t) {
    instances.push_back(std::make_unique<EvDebugFileInstance>());
    OpenOwn(*instances.back(), "t" + std::to_string(t));
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      EvDebug log;
      for (int i = 0; i < kLines; ++i) {
        // Push and pop around every other line so stacks churn while others write.
        if (i % 2 == 0) {
          ThLvlEvDebugFileInstance redirect(instances[t].get());
          log.Debug("Fn", "t%d pushed %d", t, i);
        } else {
          log.Debug("Fn", "t%d process %d", t, i);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  const std::string process = Text();
  for (int t = 0; t < kThreads; ++t) {
    const std::string own = Text("t" + std::to_string(t));
    for (int i = 0; i < kLines; ++i) {
      const bool pushed = i % 2 == 0;
      const std::string line = "Fn t" + std::to_string(t) + (pushed ? " pushed " : " process ") + std::to_string(i);
      ASSERT_TRUE(HasLine(pushed ? own : process, line)) << line;
      ASSERT_FALSE(HasLine(pushed ? process : own, line)) << line;
    }
  }
}

}  // namespace
