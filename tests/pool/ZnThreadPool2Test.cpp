// The second thread pool: queue order, every item once, growth and its
// limits, the store's overrides and which calls end them, exceptions from
// work functions, the statistics line, the shared monitor, and destruction
// with work still queued.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "helpers/AdminRunner.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "thread/ThreadTestUtil.h"
#include "zn/error/ZnException.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/pool/ZnThreadPool2.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;
using zn::test::kPending;
using zn::test::kReady;
using zn::test::kStaysBlocked;
using zn::test::kWaitLimit;
using zn::test::PollUntil;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t found = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// Items that record the order they ran in and how many ran at once.
struct OrderTrack {
  std::mutex lock;
  std::vector<int> order;
  std::atomic<int> inFlight{0};
  std::atomic<int> maxInFlight{0};
};

struct OrderedItem {
  OrderTrack* track;
  int sequence;
};

void RunOrdered(void* argument) {
  auto* item = static_cast<OrderedItem*>(argument);
  OrderTrack& track = *item->track;
  const int now = track.inFlight.fetch_add(1) + 1;
  int seen = track.maxInFlight.load();
  while (now > seen && !track.maxInFlight.compare_exchange_weak(seen, now)) {
  }
  {
    std::lock_guard<std::mutex> guard(track.lock);
    track.order.push_back(item->sequence);
  }
  std::this_thread::yield();  // give a second thread the chance to overlap
  track.inFlight.fetch_sub(1);
}

void CountRun(void* argument) { static_cast<std::atomic<int>*>(argument)->fetch_add(1); }

// Items that wait at a gate, counting those that started and finished.
struct GateItem {
  zn::test::Gate* gate;
  std::atomic<int>* started;
  std::atomic<int>* finished;
};

void WaitAtGate(void* argument) {
  auto* item = static_cast<GateItem*>(argument);
  item->started->fetch_add(1);
  item->gate->pass();
  item->finished->fetch_add(1);
}

void ThrowZnException(void*) { throw ZnException("Work", "boom", __FILE__, __LINE__, 5); }
void ThrowText(void*) { throw "plain trouble"; }

class ZnThreadPool2Work : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
  }
  void TearDown() override {
    m_gate.open();  // never leave a worker stuck
    LogTest::TearDown();
  }
  GateItem Gated() { return GateItem{&m_gate, &m_started, &m_finished}; }

  zn::test::Gate m_gate;
  std::atomic<int> m_started{0};
  std::atomic<int> m_finished{0};
};

TEST_F(ZnThreadPool2Work, MaximumOfOneRunsItemsStrictlyInQueueOrder) {
  constexpr int kItems = 2000;
  ZnThreadPool2 pool;
  ASSERT_TRUE(pool.initThreadPool("fifo", 30, 1, 1, 0));
  // The first item holds the only thread while the rest queue up behind it.
  GateItem gated = Gated();
  pool.doWork(&WaitAtGate, &gated);
  ASSERT_TRUE(PollUntil([&] { return m_started.load() == 1; }));
  OrderTrack track;
  std::vector<OrderedItem> items;
  items.reserve(kItems);
  for (int i = 0; i < kItems; ++i) items.push_back(OrderedItem{&track, i});
  for (OrderedItem& item : items) pool.doWork(&RunOrdered, &item);
  EXPECT_EQ(pool.getCurrentThreadCount(), 1u);  // never above the maximum
  m_gate.open();
  EXPECT_TRUE(pool.wait());
  EXPECT_EQ(track.maxInFlight.load(), 1);
  ASSERT_EQ(track.order.size(), static_cast<std::size_t>(kItems));
  for (int i = 0; i < kItems; ++i) ASSERT_EQ(track.order[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(pool.getCurrentBusyThreadCount(), 0u);
}

TEST_F(ZnThreadPool2Work, EveryItemOfFourProducersRunsExactlyOnce) {
  constexpr int kProducers = 4, kItems = 100000;
  ZnThreadPool2 pool;
  ASSERT_TRUE(pool.initThreadPool("many", 30, 0, 4, 0));
  std::vector<std::atomic<int>> runs(kItems);
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = p; i < kItems; i += kProducers) pool.doWork(&CountRun, &runs[static_cast<std::size_t>(i)]);
    });
  }
  for (std::thread& producer : producers) producer.join();
  EXPECT_TRUE(pool.wait());
  for (int i = 0; i < kItems; ++i) ASSERT_EQ(runs[static_cast<std::size_t>(i)].load(), 1) << "item " << i;
  EXPECT_LE(pool.getCurrentThreadCount(), 4u);
  EXPECT_EQ(pool.getCurrentBusyThreadCount(), 0u);
  EXPECT_EQ(pool.getCurrentAvailableThreadCount(), pool.getCurrentThreadCount());
}

TEST_F(ZnThreadPool2Work, WaitReturnsAtOnceOnAnIdlePoolAndOnlyWhenAllIsDone) {
  // Never initialised, initialised without threads, with idle threads.
  ZnThreadPool2 bare;
  auto returned = std::async(std::launch::async, [&] { return bare.wait(); });
  ASSERT_EQ(returned.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(returned.get());
  ZnThreadPool2 pool;
  ASSERT_TRUE(pool.initThreadPool("idle", 30, 2, 4, 0));
  returned = std::async(std::launch::async, [&] { return pool.wait(); });
  ASSERT_EQ(returned.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(returned.get());

  // Several callers wait for a busy item and a queued one; none of them
  // takes the wake-up a worker needs for the queued item.
  ASSERT_TRUE(pool.setMaxCount(1));
  GateItem gated = Gated();
  pool.doWork(&WaitAtGate, &gated);
  ASSERT_TRUE(PollUntil([&] { return m_started.load() == 1; }));
  std::vector<std::future<bool>> waiters;
  for (int i = 0; i < 3; ++i) waiters.push_back(std::async(std::launch::async, [&] { return pool.wait(); }));
  std::atomic<int> after{0};
  pool.doWork(&CountRun, &after);
  EXPECT_EQ(waiters[0].wait_for(kStaysBlocked), kPending);
  m_gate.open();
  for (auto& waiter : waiters) {
    ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(waiter.get());
  }
  EXPECT_EQ(after.load(), 1);
}

TEST_F(ZnThreadPool2Work, DestructionLetsRunningItemsFinishAndDropsQueuedOnes) {
  std::atomic<int> queuedRuns{0};
  std::atomic<int> exits{0};
  auto pool = std::make_unique<ZnThreadPool2>(
      nullptr, [](ZnThreadPool2*, void* count) { static_cast<std::atomic<int>*>(count)->fetch_add(1); }, &exits);
  ASSERT_TRUE(pool->initThreadPool("ending", 30, 0, 2, 0));
  GateItem gated = Gated();
  pool->doWork(&WaitAtGate, &gated);
  pool->doWork(&WaitAtGate, &gated);
  ASSERT_TRUE(PollUntil([&] { return m_started.load() == 2; }));
  for (int i = 0; i < 50; ++i) pool->doWork(&CountRun, &queuedRuns);

  std::atomic<bool> destroying{false};
  auto destroyed = std::async(std::launch::async, [&] {
    destroying = true;
    pool.reset();
  });
  ASSERT_TRUE(PollUntil([&] { return destroying.load(); }));
  // Running items are waited for ...
  EXPECT_EQ(destroyed.wait_for(kStaysBlocked), kPending);
  EXPECT_EQ(m_finished.load(), 0);
  m_gate.open();
  // ... and finish; the queued ones are dropped; nothing hangs.
  ASSERT_EQ(destroyed.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(m_finished.load(), 2);
  EXPECT_EQ(queuedRuns.load(), 0);
  EXPECT_EQ(exits.load(), 2);  // every thread left through its exit callback

  // A pool with idle threads only, and one with nothing at all, end at once.
  auto idle = std::make_unique<ZnThreadPool2>();
  ASSERT_TRUE(idle->initThreadPool("idle-end", 30, 3, 3, 3));
  auto ended = std::async(std::launch::async, [&] {
    idle.reset();
    ZnThreadPool2 nothing;
  });
  EXPECT_EQ(ended.wait_for(kWaitLimit), kReady);
}

TEST_F(ZnThreadPool2Work, ExceptionsFromWorkFunctionsAreLoggedWithTheirTextAndSwallowed) {
  Open();
  ZnThreadPool2 pool;
  ASSERT_TRUE(pool.initThreadPool("throwing", 30, 1, 1, 0));
  std::atomic<int> after{0};
  pool.doWork(&ThrowZnException, nullptr);
  pool.doWork(&ThrowText, nullptr);
  pool.doWork(nullptr, nullptr);  // refused, nothing queued
  pool.doWork(&CountRun, &after);
  EXPECT_TRUE(pool.wait());
  EXPECT_EQ(after.load(), 1);
  EXPECT_EQ(pool.getCurrentThreadCount(), 1u);  // the thread lived on
  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "Exception thrown from worker function. Exception [boom]")) << text;
  EXPECT_TRUE(HasLine(text, "Exception thrown from worker function. Exception [plain trouble]"));
  EXPECT_TRUE(Has(text, "Threadpool [throwing]. Work function is null. Nothing queued"));
}

TEST_F(ZnThreadPool2Work, GrowsOneThreadPerWaitingItemUpToItsMaximumAndShrinksToItsMinimum) {
  ZnThreadPool2 pool;
  EXPECT_FALSE(pool.initThreadPool("grow", 1, 0, 1, 2));  // maximum below minimum
  EXPECT_EQ(pool.getMaxCount(), 0u);
  EXPECT_TRUE(pool.getName().empty());
  ASSERT_TRUE(pool.initThreadPool("grow", 1, 0, 3, 1));
  EXPECT_EQ(pool.getCurrentThreadCount(), 0u);

  GateItem gated = Gated();
  for (int i = 0; i < 4; ++i) pool.doWork(&WaitAtGate, &gated);
  ASSERT_TRUE(PollUntil([&] { return m_started.load() == 3; }));
  EXPECT_EQ(pool.getCurrentThreadCount(), 3u);
  EXPECT_EQ(pool.getCurrentBusyThreadCount(), 3u);
  EXPECT_EQ(pool.getCurrentAvailableThreadCount(), 0u);
  std::this_thread::sleep_for(kStaysBlocked);
  EXPECT_EQ(m_started.load(), 3);  // the fourth waits for a thread

  EXPECT_TRUE(pool.increaseMaxCount(1));  // starts a thread for it
  EXPECT_TRUE(PollUntil([&] { return m_started.load() == 4; }));
  EXPECT_EQ(pool.getMaxCount(), 4u);
  EXPECT_FALSE(pool.decreaseMaxCount(4));  // below the minimum
  EXPECT_FALSE(pool.setMaxCount(0));
  EXPECT_FALSE(pool.setMinCount(5));
  EXPECT_EQ(pool.getMaxCount(), 4u);
  EXPECT_EQ(pool.getMinCount(), 1u);
  EXPECT_TRUE(pool.decreaseMaxCount(2));
  EXPECT_EQ(pool.getMaxCount(), 2u);

  // Idle threads above the minimum leave after the time-out; the minimum stays.
  m_gate.open();
  EXPECT_TRUE(pool.wait());
  EXPECT_TRUE(PollUntil([&] { return pool.getCurrentThreadCount() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(pool.getCurrentThreadCount(), 1u);
  std::atomic<int> runs{0};
  pool.doWork(&CountRun, &runs);  // the remaining thread takes it
  EXPECT_TRUE(pool.wait());
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(pool.getCurrentThreadCount(), 1u);

  pool.setThreadTimeout(ZnThreadPool2::kNoTimeout);
  EXPECT_EQ(pool.getThreadTimeout(), ZnThreadPool2::kNoTimeout);
}

TEST_F(ZnThreadPool2Work, StoreOverridesApplyUntilTheMaximumIsSetByTheProgram) {
  Open();
  LogSettings::SetNumber("Znd", "conf2_MinThreads", 2);
  LogSettings::SetNumber("Znd", "conf2_MaxThreads", 5);
  LogSettings::SetNumber("Znd", "conf2_Timeout", 7);
  ZnThreadPool2 pool;
  ASSERT_TRUE(pool.initThreadPool("conf2", 30, 0, 8, 0));
  EXPECT_EQ(pool.getMinCount(), 2u);
  EXPECT_EQ(pool.getMaxCount(), 5u);
  EXPECT_EQ(pool.getThreadTimeout(), 7u);

  // Setting the minimum, the time-out or a larger maximum leaves the
  // overrides on; the next refresh takes the store's values again.
  EXPECT_TRUE(pool.setMinCount(1));
  pool.setThreadTimeout(9);
  EXPECT_TRUE(pool.increaseMaxCount(1));
  EXPECT_EQ(pool.getMaxCount(), 6u);
  LogSettings::SetNumber("Znd", "conf2_MaxThreads", 7);
  pool.RefreshParameters();
  EXPECT_EQ(pool.getMinCount(), 2u);
  EXPECT_EQ(pool.getMaxCount(), 7u);
  EXPECT_EQ(pool.getThreadTimeout(), 7u);
  LogSettings::SetNumber("Znd", "conf2_MaxThreads", 1);  // below the minimum: not taken
  pool.RefreshParameters();
  EXPECT_EQ(pool.getMaxCount(), 7u);

  // A failed setMaxCount ends them all the same.
  EXPECT_FALSE(pool.setMaxCount(1));
  LogSettings::SetNumber("Znd", "conf2_MaxThreads", 4);
  LogSettings::SetNumber("Znd", "conf2_Timeout", 3);
  pool.RefreshParameters();
  EXPECT_EQ(pool.getMaxCount(), 7u);
  EXPECT_EQ(pool.getThreadTimeout(), 7u);

  const std::string text = Content();
  EXPECT_TRUE(Has(text, "Threadpool [conf2]. Default min count changed to [2]")) << text;
  EXPECT_TRUE(Has(text, "Threadpool [conf2]. Default max count changed to [5]"));
  EXPECT_TRUE(Has(text, "Threadpool [conf2]. Default max count changed to [7]"));
  EXPECT_EQ(Count(text, "Threadpool [conf2]. Default timeout changed to [7]"), 3u);
  EXPECT_FALSE(Has(text, "changed to [4]"));
  EXPECT_FALSE(Has(text, "changed to [3]"));
}

TEST_F(ZnThreadPool2Work, StatisticsLineCarriesPendingItemsAndIsWrittenWhenIdle) {
  Open();
  ZnThreadPool2 bare;
  bare.Monitor();  // no name before initialisation: no line
  {
    ZnThreadPool2 pool;
    ASSERT_TRUE(pool.initThreadPool("stats2", 30, 1, 1, 0));
    pool.Monitor();
    std::atomic<int> runs{0};
    for (int i = 0; i < 5; ++i) pool.doWork(&CountRun, &runs);
    EXPECT_TRUE(pool.wait());
    pool.Monitor();
    GateItem gated = Gated();
    pool.doWork(&WaitAtGate, &gated);
    pool.doWork(&CountRun, &runs);
    ASSERT_TRUE(PollUntil([&] { return m_started.load() == 1; }));
    pool.Monitor();
    m_gate.open();
    EXPECT_TRUE(pool.wait());
    pool.Monitor();
  }
  ZnThreadPool2 unnamed;
  ASSERT_TRUE(unnamed.initThreadPool(30, 0, 1, 0));
  EXPECT_EQ(unnamed.getName(), "N/A");
  unnamed.Monitor();

  const std::string text = Content();
  EXPECT_TRUE(HasLine(text, "TPool [stats2]. Tot [0], Pend [0], Comp [0], Max Par [0], Avg Work Time [0.00 s], "
                            "Avg Wait Time [0.00 s]"))
      << text;
  EXPECT_TRUE(Has(text, "TPool [stats2]. Tot [5], Pend [0], Comp [5], Max Par [1], Avg Work Time ["));
  EXPECT_TRUE(HasLine(text, "TPool [stats2]. Tot [2], Pend [2], Comp [0], Max Par [1], Avg Work Time [0.00 s], "
                            "Avg Wait Time [0.00 s]"));
  EXPECT_TRUE(Has(text, "TPool [stats2]. Tot [2], Pend [0], Comp [2], Max Par [1], Avg Work Time ["));
  EXPECT_EQ(Count(text, "TPool [stats2]."), 4u);
  EXPECT_TRUE(Has(text, "TPool [N/A]. Tot [0], Pend [0], Comp [0]"));
  EXPECT_FALSE(Has(text, "Ser#"));
}

TEST_F(ZnThreadPool2Work, TheSharedMonitorReportsAndRefreshesBothKindsOfPool) {
  LogSettings::SetNumber("Base", "ThreadPoolMonitorIntervalSeconds", 1);
  LogSettings::SetNumber("Base", "ThreadPoolRefreshIntervalSeconds", 1);
  Open();
  {
    ZnThreadPool first;
    ASSERT_TRUE(first.initThreadPool("firstkind", 30, 1, 2, 0));
    ZnThreadPool2 second;
    ASSERT_TRUE(second.initThreadPool("secondkind", 30, 1, 2, 0));
    std::atomic<int> runs{0};
    first.doWork([](void* count) -> unsigned int {
      static_cast<std::atomic<int>*>(count)->fetch_add(1);
      return 0;
    }, &runs);
    for (int i = 0; i < 3; ++i) second.doWork(&CountRun, &runs);
    EXPECT_TRUE(second.wait());
    ASSERT_TRUE(first.waitForAllThreads(true, false, false, 60));

    LogSettings::SetNumber("Znd", "secondkind_MaxThreads", 6);
    EXPECT_TRUE(PollUntil([&] { return second.getMaxCount() == 6; }));
    EXPECT_TRUE(PollUntil([&] {
      const std::string text = Content();
      return Has(text, "TPool [firstkind]. Ser# [0] Tot [1], ") && Has(text, "TPool [secondkind]. Tot [");
    })) << Content();
    // The second kind writes its line at every interval, also when idle.
    EXPECT_TRUE(PollUntil([&] { return Has(Content(), "TPool [secondkind]. Tot [0], Pend [0], Comp [0]"); }));

    // While it runs, znadmin shows it live, with the override in force.
    nlohmann::json live;
    EXPECT_TRUE(PollUntil([&] {
      const auto shown = zn::test::RunAdmin({"pool", "show", "secondkind", "--json"});
      if (shown.code != 0) return false;
      live = nlohmann::json::parse(shown.out);
      return live["pools"].size() == 1 && live["pools"][0]["source"] == "live" &&
             live["pools"][0]["maxThreads"] == 6;
    })) << live.dump();
    if (live["pools"].size() == 1) {
      EXPECT_EQ(live["pools"][0]["store"]["maxThreads"], 6);
      EXPECT_EQ(live["pools"][0]["queued"], 0);
    }
  }

  // Once both have gone, the last line of each from the log.
  const auto shown = zn::test::RunAdmin({"pool", "show", "secondkind", "--log", "zntest"});
  EXPECT_EQ(shown.code, 0) << shown.err;
  EXPECT_TRUE(Has(shown.out, "(logged: ")) << shown.out;
  EXPECT_TRUE(Has(shown.out, "  TPool [secondkind]. Tot [0], Pend [0], Comp [0]")) << shown.out;
  EXPECT_FALSE(Has(shown.out, "firstkind"));
  EXPECT_EQ(Count(shown.out, "  TPool [secondkind]."), 1u);
  const auto firstShown = zn::test::RunAdmin({"pool", "show", "firstkind", "--log", "zntest"});
  EXPECT_TRUE(Has(firstShown.out, "  TPool [firstkind]. Ser# [0] Tot [")) << firstShown.out;
}

}  // namespace
