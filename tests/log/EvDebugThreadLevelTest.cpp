// Thread-level log instances: a pushed instance redirects handles that follow
// the process log, on the pushing thread only.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "helpers/TempDir.h"
#include "zn/log/EvDebug.h"
#include "zn/log/EvDebugState.h"
#include "zn/log/LogSettings.h"

namespace {

using zn::detail::LogSettings;
using zn::detail::LogState;
using zn::test::ReadFile;

constexpr auto kWaitLimit = std::chrono::seconds(30);

bool Has(const std::string& text, const std::string& message) {
  return text.find(" " + message + "\n") != std::string::npos;
}

class EvDebugThreadLevel : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    ASSERT_TRUE(EvDebug().initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false));
  }
  void TearDown() override {
    Reset();
    EXPECT_EQ(LogState().threadLevelCount.load(), 0);
  }

  static void Reset() {
    EvDebug::CleanupFileHandleList();
    LogState().defaultInstance = EvDebugFileInstance();
    LogSettings::Clear();
    EvDebug::m_bTurnOffAllLogs = false;
  }

  // Opens "zntest-<suffix>" into `instance`.
  void OpenOwn(EvDebugFileInstance& instance, const std::string& suffix) {
    ASSERT_TRUE(EvDebug(&instance).initialize(EvDebug::getLogId("zntest"), 0, m_dir.path().c_str(), false, suffix));
  }
  std::string Text(const std::string& suffix = "") const {
    return ReadFile(m_dir.file(suffix.empty() ? "zntest.log" : "zntest-" + suffix + ".log"));
  }

  zn::test::TempDir m_dir;
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
    EXPECT_EQ(LogState().threadLevelCount.load(), 1);
    EvDebug().Debug("B", "B while A pushed");
    EXPECT_EQ(EvDebug().getModuleName(), "zntest");
    otherWrote.set_value();
  });
  b.join();
  a.join();

  const std::string process = Text();
  const std::string pushedLog = Text("job");
  EXPECT_TRUE(Has(pushedLog, "A A while pushed"));
  EXPECT_TRUE(Has(pushedLog, "A A still pushed"));
  EXPECT_TRUE(Has(process, "B B while A pushed"));
  EXPECT_TRUE(Has(process, "A A after pop"));
  EXPECT_FALSE(Has(process, "A A while pushed"));
  EXPECT_FALSE(Has(process, "A A still pushed"));
  EXPECT_FALSE(Has(pushedLog, "B B while A pushed"));
  EXPECT_FALSE(Has(pushedLog, "A A after pop"));
}

TEST_F(EvDebugThreadLevel, NestedPushesPopInOrder) {
  EvDebugFileInstance outer;
  EvDebugFileInstance inner;
  OpenOwn(outer, "outer");
  OpenOwn(inner, "inner");
  EvDebug log;  // one handle, used before, during and after the pushes
  {
    ThLvlEvDebugFileInstance first(&outer);
    log.Debug("Fn", "one deep");
    {
      ThLvlEvDebugFileInstance second(&inner);
      EXPECT_EQ(LogState().threadLevelCount.load(), 2);
      log.Debug("Fn", "two deep");
    }
    log.Debug("Fn", "one deep again");
  }
  EXPECT_EQ(LogState().threadLevelCount.load(), 0);
  EXPECT_EQ(zn::detail::ThreadInstanceStack(), nullptr);  // freed when empty
  log.Debug("Fn", "restored");

  EXPECT_TRUE(Has(Text("outer"), "Fn one deep"));
  EXPECT_TRUE(Has(Text("outer"), "Fn one deep again"));
  EXPECT_FALSE(Has(Text("outer"), "Fn two deep"));
  EXPECT_TRUE(Has(Text("inner"), "Fn two deep"));
  EXPECT_FALSE(Has(Text("inner"), "Fn one deep"));
  EXPECT_TRUE(Has(Text(), "Fn restored"));
  EXPECT_FALSE(Has(Text(), "Fn one deep"));
  EXPECT_FALSE(Has(Text(), "Fn two deep"));
}

TEST_F(EvDebugThreadLevel, BoundHandlesNullPushesAndAClosedProcessLogIgnoreTheStack) {
  EvDebugFileInstance pushedInstance;
  EvDebugFileInstance bound;
  OpenOwn(pushedInstance, "pushed");
  OpenOwn(bound, "bound");
  {
    ThLvlEvDebugFileInstance none(nullptr);
    EXPECT_EQ(LogState().threadLevelCount.load(), 0);
    EvDebug().Debug("Fn", "null push");
  }
  {
    ThLvlEvDebugFileInstance redirect(&pushedInstance);
    EvDebug(&bound).Debug("Fn", "bound handle");
    EXPECT_EQ(EvDebug(&bound).GetFileInstance(), &bound);

    // Redirection needs the process log open: once it is closed, handles
    // that follow it write nowhere.
    EvDebug::CleanupDefaultFileHandle();
    EvDebug().Debug("Fn", "process log closed");
  }
  EXPECT_TRUE(Has(Text(), "Fn null push"));
  EXPECT_TRUE(Has(Text("bound"), "Fn bound handle"));
  EXPECT_FALSE(Has(Text("pushed"), "Fn bound handle"));
  EXPECT_FALSE(Has(Text("pushed"), "Fn process log closed"));
  EXPECT_FALSE(Has(Text(), "Fn process log closed"));
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
      const std::string pushedLine = "Fn t" + std::to_string(t) + " pushed " + std::to_string(i);
      const std::string processLine = "Fn t" + std::to_string(t) + " process " + std::to_string(i);
      if (i % 2 == 0) {
        ASSERT_TRUE(Has(own, pushedLine)) << pushedLine;
        ASSERT_FALSE(Has(process, pushedLine)) << pushedLine;
      } else {
        ASSERT_TRUE(Has(process, processLine)) << processLine;
        ASSERT_FALSE(Has(own, processLine)) << processLine;
      }
    }
  }
}

}  // namespace
