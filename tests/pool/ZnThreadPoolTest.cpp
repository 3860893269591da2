// The thread pool: serial ids keep order and run one at a time while
// different ids overlap, every item runs once, the pool grows to its
// maximum and shrinks back, store limits apply until a program sets one,
// reports, statistics and metrics show what happened, and bad input is
// refused without losing or repeating work.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "helpers/AdminRunner.h"
#include "log/LogTestUtil.h"
#include "sync/SyncTestUtil.h"
#include "thread/ThreadTestUtil.h"
#include "zn/error/ZnException.h"
#include "zn/metrics/ZnMetricsCollector.h"
#include "zn/pool/ZnThreadPool.h"
#include "zn/metrics/MetricsTesting.h"

namespace {

using zn::LogSettings;
using zn::test::kEM;
using zn::test::PollUntil;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The pool's reports reach a plain function: collected here.
std::mutex g_reportsLock;
std::vector<std::string> g_reports;

void CollectReport(const char* text) {
  std::lock_guard<std::mutex> lock(g_reportsLock);
  g_reports.emplace_back(text);
}

bool Reported(const std::string& part) {
  std::lock_guard<std::mutex> lock(g_reportsLock);
  return std::any_of(g_reports.begin(), g_reports.end(), [&](const std::string& r) { return Has(r, part); });
}

// An item that records how it ran.
struct Item {
  long long serial = 0;
  int sequence = 0;
  std::atomic<int> runs{0};
};

struct SerialTrack {
  std::atomic<int> inFlight{0};
  std::atomic<int> maxInFlight{0};
  std::mutex orderLock;
  std::vector<int> order;
};

std::array<SerialTrack, 16> g_serials;
std::atomic<int> g_running{0};
std::atomic<int> g_maxRunning{0};

void RaiseTo(std::atomic<int>& maximum, int value) {
  int seen = maximum.load();
  while (value > seen && !maximum.compare_exchange_weak(seen, value)) {
  }
}

unsigned int RunTracked(void* argument) {
  Item* item = static_cast<Item*>(argument);
  SerialTrack& track = g_serials[static_cast<std::size_t>(item->serial)];
  RaiseTo(track.maxInFlight, track.inFlight.fetch_add(1) + 1);
  RaiseTo(g_maxRunning, g_running.fetch_add(1) + 1);
  {
    std::lock_guard<std::mutex> lock(track.orderLock);
    track.order.push_back(item->sequence);
  }
  item->runs.fetch_add(1);
  g_running.fetch_sub(1);
  track.inFlight.fetch_sub(1);
  return 0;
}

// Items that wait at a gate.
zn::test::Gate* g_gate = nullptr;
std::atomic<int> g_started{0};
std::atomic<int> g_finished{0};

unsigned int WaitAtGate(void*) {
  g_started.fetch_add(1);
  g_gate->pass();
  g_finished.fetch_add(1);
  return 0;
}

unsigned int CountRun(void* argument) {
  static_cast<std::atomic<int>*>(argument)->fetch_add(1);
  return 0;
}

unsigned int ThrowZnException(void*) { throw ZnException("Work", "boom", __FILE__, __LINE__, 5); }
unsigned int ThrowText(void*) { throw "plain trouble"; }

class ZnThreadPoolWork : public zn::test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    zn::testing::ResetMetricsCollector();
    LogSettings::Set(kEM, "dEVLOGDIR", m_dir.path());
    LogSettings::SetNumber(kEM, "PerformanceMetrics_DEBUGLEVEL", 5);
    {
      std::lock_guard<std::mutex> lock(g_reportsLock);
      g_reports.clear();
    }
    for (SerialTrack& track : g_serials) {
      track.inFlight = 0;
      track.maxInFlight = 0;
      track.order.clear();
    }
    g_running = 0;
    g_maxRunning = 0;
    g_started = 0;
    g_finished = 0;
    g_gate = &m_gate;
  }
  void TearDown() override {
    m_gate.open();  // never leave a worker stuck
    m_secondGate.open();
    zn::testing::ResetMetricsCollector();
    LogTest::TearDown();
  }
  // The pool's lines in the process log.
  std::string LogText() { return Content(); }

  zn::test::Gate m_gate;
  zn::test::Gate m_secondGate;
};

TEST_F(ZnThreadPoolWork, SerialIdsKeepOrderOneAtATimeAndEveryItemRunsOnce) {
  constexpr int kSerials = 8, kPerSerial = 1000, kProducers = 4;
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool("order", 30, 2, 8, 1));
  std::vector<std::unique_ptr<Item>> items;
  for (int s = 1; s <= kSerials; ++s) {
    for (int i = 0; i < kPerSerial; ++i) {
      items.push_back(std::make_unique<Item>());
      items.back()->serial = s;
    }
  }
  std::vector<std::unique_ptr<Item>> parallel(kProducers * kSerials * kPerSerial / kProducers / 16);
  for (auto& item : parallel) item = std::make_unique<Item>();
  // Producers share every serial id; the queue order of an id is the order
  // in which its sequence numbers were handed out.
  std::array<std::mutex, kSerials + 1> serialLocks;
  std::array<int, kSerials + 1> next{};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int n = 0; n < kSerials * kPerSerial / kProducers; ++n) {
        const int s = 1 + (n + p) % kSerials;
        std::lock_guard<std::mutex> lock(serialLocks[static_cast<std::size_t>(s)]);
        const int sequence = next[static_cast<std::size_t>(s)]++;
        Item* item = items[static_cast<std::size_t>((s - 1) * kPerSerial + sequence)].get();
        item->sequence = sequence;
        pool.doWork(s, &RunTracked, item, nullptr);
        if (n % 16 == 0) {
          const int perProducer = kSerials * kPerSerial / kProducers / 16;
          pool.doWork(&RunTracked, parallel[static_cast<std::size_t>(p * perProducer + n / 16)].get());
        }
      }
    });
  }
  for (std::thread& producer : producers) producer.join();
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));

  for (const auto& item : items) ASSERT_EQ(item->runs.load(), 1) << item->serial << "/" << item->sequence;
  for (const auto& item : parallel) ASSERT_EQ(item->runs.load(), 1);
  for (int s = 1; s <= kSerials; ++s) {
    SerialTrack& track = g_serials[static_cast<std::size_t>(s)];
    EXPECT_EQ(track.maxInFlight.load(), 1) << s;
    ASSERT_EQ(track.order.size(), static_cast<std::size_t>(kPerSerial)) << s;
    for (int i = 0; i < kPerSerial; ++i) ASSERT_EQ(track.order[static_cast<std::size_t>(i)], i) << s;
  }
  EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);
  EXPECT_EQ(pool.getReadyWorksCount(), 0u);
  EXPECT_EQ(pool.getServiceIdCount(), static_cast<unsigned int>(kSerials * kPerSerial + parallel.size()));
}

TEST_F(ZnThreadPoolWork, OneSerialIdWaitsForItsItemWhileOthersOverlap) {
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool("overlap", 30, 10, 10, 0));
  // Serial 7: the first item holds the id; the nine behind it wait even with
  // idle threads, while serial 8 runs.
  pool.doWork(7, &WaitAtGate, nullptr, nullptr);
  ASSERT_TRUE(PollUntil([] { return g_started.load() == 1; }));
  std::vector<std::unique_ptr<Item>> sevens(9);
  for (int i = 0; i < 9; ++i) {
    sevens[static_cast<std::size_t>(i)] = std::make_unique<Item>();
    sevens[static_cast<std::size_t>(i)]->serial = 7;
    sevens[static_cast<std::size_t>(i)]->sequence = i;
    pool.doWork(7, &RunTracked, sevens[static_cast<std::size_t>(i)].get(), nullptr);
  }
  Item eight;
  eight.serial = 8;
  pool.doWork(8, &RunTracked, &eight, nullptr);
  EXPECT_TRUE(PollUntil([&] { return eight.runs.load() == 1; }));
  std::this_thread::sleep_for(zn::test::kStaysBlocked);
  EXPECT_TRUE(g_serials[7].order.empty());
  EXPECT_EQ(pool.getPendingWorkCount(7), 9u);
  m_gate.open();
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  EXPECT_EQ(g_serials[7].maxInFlight.load(), 1);
  EXPECT_EQ(g_serials[7].order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(pool.getPendingWorkCount(7), 0u);
}

// Idle workers spin a little before they sleep, and a permit given while
// one spins wakes no sleeper. An item that then blocks must not keep the
// next ready id waiting: the other id still runs, every round.
std::atomic<bool> g_holdRelease{false};
std::atomic<int> g_holdsDone{0};

unsigned int HoldUntilReleased(void*) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!g_holdRelease.load() && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
  g_holdsDone.fetch_add(1);
  return 0;
}

TEST_F(ZnThreadPoolWork, AReadyIdRunsWhileAnotherIdsItemBlocks) {
  constexpr int kRounds = 200;
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool("wake", 30, 4, 4, 4));
  g_holdsDone = 0;
  std::atomic<int> others{0};
  for (int round = 0; round < kRounds; ++round) {
    g_holdRelease = false;
    pool.doWork(1, &HoldUntilReleased, nullptr, nullptr);
    pool.doWork(2 + round % 3, &CountRun, &others, nullptr);
    const bool ran = PollUntil([&] { return others.load() == round + 1; });
    g_holdRelease = true;
    ASSERT_TRUE(ran) << "round " << round;
    ASSERT_TRUE(PollUntil([&] { return g_holdsDone.load() == round + 1; })) << "round " << round;
  }
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);
  EXPECT_EQ(pool.getReadyWorksCount(), 0u);
}

TEST_F(ZnThreadPoolWork, GrowsToItsMaximumAndShrinksBackAfterTheTimeout) {
  ZnThreadPool pool;
  pool.setDebugCallback(&CollectReport);
  pool.setDebuggingLevel(TP_DEBUG_DEBUG);
  ASSERT_TRUE(pool.initThreadPool("grow", 1, 0, 4, 1));
  for (int i = 0; i < 4; ++i) pool.doWork(&WaitAtGate, nullptr);
  ASSERT_TRUE(PollUntil([] { return g_started.load() == 4; }, std::chrono::seconds(5)))
      << pool.getCurrentThreadCount() << " threads, " << pool.getCurrentBusyThreadCount() << " busy, "
      << pool.getReadyWorksCount() << " ready, " << pool.getTotalWorkerListCount() << " queued";
  EXPECT_EQ(pool.getCurrentThreadCount(), 4u);
  EXPECT_EQ(pool.getCurrentBusyThreadCount(), 4u);
  std::atomic<int> late{0};
  pool.doWork(&CountRun, &late);  // waits for a free thread
  EXPECT_TRUE(Reported("Max thread count [4] reached. Request will be serviced when any other thread is free."));
  std::this_thread::sleep_for(zn::test::kStaysBlocked);
  EXPECT_EQ(late.load(), 0);
  EXPECT_EQ(pool.getTotalWorkerListCount(), 1u);
  EXPECT_EQ(pool.getCurrentThreadCount(), 4u);

  // A lower maximum makes busy threads above it leave after their item.
  ASSERT_TRUE(pool.setMaxCount(2));
  m_gate.open();
  EXPECT_TRUE(PollUntil([&] { return late.load() == 1; }));
  EXPECT_TRUE(PollUntil([&] { return pool.getCurrentThreadCount() <= 2; }));
  // Idle threads above the minimum leave after the time-out.
  EXPECT_TRUE(PollUntil([&] { return pool.getCurrentThreadCount() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(pool.getCurrentThreadCount(), 1u);  // the minimum stays
  EXPECT_EQ(pool.getCurrentAvailableThreadCount(), 1u);

  // Growth after a raised maximum starts threads for the ready work.
  g_gate = &m_secondGate;
  g_started = 0;
  for (int i = 0; i < 3; ++i) pool.doWork(&WaitAtGate, nullptr);
  EXPECT_TRUE(PollUntil([] { return g_started.load() == 2; }));
  EXPECT_TRUE(pool.increaseMaxCount(2));
  EXPECT_TRUE(PollUntil([] { return g_started.load() == 3; }));
  EXPECT_FALSE(pool.decreaseMaxCount(4));  // below the minimum
  EXPECT_EQ(pool.getMaxCount(), 4u);
  m_secondGate.open();
  EXPECT_TRUE(pool.waitForAllThreads(true, true, true, 60));
  EXPECT_EQ(pool.getCurrentThreadCount(), 0u);
}

TEST_F(ZnThreadPoolWork, StoreLimitsApplyUntilAProgramSetsOne) {
  LogSettings::SetNumber("Znd", "conf_MinThreads", 2);
  LogSettings::SetNumber("Znd", "conf_MaxThreads", 3);
  LogSettings::SetNumber("Znd", "conf_Timeout", 5);
  LogSettings::SetNumber("Base", "ThreadPoolRefreshIntervalSeconds", 1);
  LogSettings::SetNumber("Base", "ThreadPoolMonitorIntervalSeconds", 2);
  Open();
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool("conf", 30, 0, 8, 0));
  EXPECT_EQ(pool.getMinCount(), 2u);
  EXPECT_EQ(pool.getMaxCount(), 3u);
  EXPECT_EQ(pool.getThreadTimeout(), 5u);
  EXPECT_EQ(pool.getCurrentThreadCount(), 0u);  // nothing ready: none started

  // The monitor re-reads the store every refresh interval.
  LogSettings::SetNumber("Znd", "conf_MaxThreads", 6);
  EXPECT_TRUE(PollUntil([&] { return pool.getMaxCount() == 6; }));
  // A maximum below the minimum is not taken.
  LogSettings::SetNumber("Znd", "conf_MaxThreads", 1);
  pool.RefreshParameters();
  EXPECT_EQ(pool.getMaxCount(), 6u);

  pool.setThreadTimeout(9);  // from now on the store no longer applies
  LogSettings::SetNumber("Znd", "conf_MaxThreads", 7);
  pool.RefreshParameters();
  EXPECT_EQ(pool.getMaxCount(), 6u);
  EXPECT_EQ(pool.getThreadTimeout(), 9u);
  EXPECT_FALSE(pool.setMinCount(7));  // above the maximum
  EXPECT_FALSE(pool.setMaxCount(1));  // below the minimum

  const std::string text = LogText();
  EXPECT_TRUE(Has(text, "Threadpool [conf]. Default min count changed to [2]"));
  EXPECT_TRUE(Has(text, "Threadpool [conf]. Default max count changed to [3]"));
  EXPECT_TRUE(Has(text, "Threadpool [conf]. Default timeout changed to [5]"));
  EXPECT_TRUE(Has(text, "Threadpool [conf]. Default max count changed to [6]"));
  EXPECT_FALSE(Has(text, "Default max count changed to [7]"));
}

// The sum of one delta field over every metrics line of a pool.
long SumOfDeltas(const std::string& metrics, const std::string& pool, const std::string& field) {
  const std::string instance = "Module=\"ThreadPool\" Instance=\"" + pool + "\" Type=\"Delta\"";
  const std::string key = " " + field + "=\"";
  long sum = 0;
  std::size_t line = 0;
  while (line < metrics.size()) {
    std::size_t end = metrics.find('\n', line);
    if (end == std::string::npos) end = metrics.size();
    const std::string text = metrics.substr(line, end - line);
    const std::size_t at = text.find(key);
    if (text.find(instance) != std::string::npos && at != std::string::npos) {
      sum += std::stol(text.substr(at + key.size()));
    }
    line = end + 1;
  }
  return sum;
}

TEST_F(ZnThreadPoolWork, StatisticsLineAndMetricsShowTheWorkDone) {
  Open();
  {
    ZnThreadPool pool;
    ASSERT_TRUE(pool.initThreadPool("stats", 30, 2, 2, 0));
    std::atomic<int> runs{0};
    for (int i = 0; i < 5; ++i) pool.doWork(&CountRun, &runs);
    for (int i = 0; i < 3; ++i) pool.doWork(2, &CountRun, &runs, nullptr);
    ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
    pool.Monitor();
    pool.Monitor();  // nothing new: no lines
    // Pending work carries over into the next report.
    pool.doWork(3, &WaitAtGate, nullptr, nullptr);
    pool.doWork(3, &CountRun, &runs, nullptr);
    ASSERT_TRUE(PollUntil([] { return g_started.load() == 1; }));
    pool.Monitor();
    m_gate.open();
    ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
    pool.Monitor();
    ZnMetricsCollector::DumpStatisticsOnThread();
  }
  const std::string text = LogText();
  EXPECT_TRUE(Has(text, "TPool [stats]. Ser# [0] Tot [5], Pend [0], Comp [5], Max Par [")) << text;
  EXPECT_TRUE(Has(text, "TPool [stats]. Ser# [1] Tot [3], Pend [0], Comp [3], Max Par ["));
  EXPECT_TRUE(Has(text, "TPool [stats]. Ser# [1] Tot [2], Pend [2], Comp [0], Max Par [1], Avg Work Time [0.00 s], "
                        "Avg Wait Time [0.00 s]"));
  EXPECT_TRUE(Has(text, "TPool [stats]. Ser# [1] Tot [2], Pend [0], Comp [2], Max Par [1]"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n') > 0, true);
  std::size_t lines = 0;
  for (std::size_t at = text.find("TPool [stats]"); at != std::string::npos; at = text.find("TPool [stats]", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 4u);

  // The pool is gone: znadmin shows the last line of each block its log
  // holds, and says that it is the log's.
  LogSettings::SetNumber("Znd", "stats_MaxThreads", 3);
  const auto shown = zn::test::RunAdmin({"pool", "show", "stats", "--log", "zntest"});
  EXPECT_EQ(shown.code, 0) << shown.err;
  EXPECT_TRUE(Has(shown.out, "pool stats  (logged: no running process publishes it;")) << shown.out;
  EXPECT_TRUE(Has(shown.out, "  store overrides: min -, max 3, timeout -")) << shown.out;
  EXPECT_TRUE(Has(shown.out, "  TPool [stats]. Ser# [1] Tot [2], Pend [0], Comp [2]"));
  EXPECT_FALSE(Has(shown.out, "Tot [3]"));  // an older line of the same block
  EXPECT_EQ(zn::test::RunAdmin({"pool", "show", "--log", "nosuchlog"}).code, 3);
  EXPECT_EQ(zn::test::RunAdmin({"pool", "show", "nosuchpool"}).code, 3);

  const std::string metrics = zn::test::ReadFile(m_dir.file("PerformanceMetrics.log"));
  EXPECT_TRUE(Has(metrics, "Module=\"ThreadPool\" Instance=\"stats\"")) << metrics;
  // The collector's own periodic dump may land mid-work and split the
  // deltas over several lines: their sum is what counts.
  EXPECT_EQ(SumOfDeltas(metrics, "stats", "TaskAdded"), 10) << metrics;
  EXPECT_EQ(SumOfDeltas(metrics, "stats", "TaskDone"), 10) << metrics;
  EXPECT_TRUE(Has(metrics, "MaxThreads=\"2\""));
}

// Four producers mix serial id 0 with ids 1 to 4 while reports are written
// all along: each item is counted once, in its own block, in the lines and
// in the metrics, however the counts interleave with the lanes' work.
TEST_F(ZnThreadPoolWork, CountsStayExactWithFourProducersMixingBothKinds) {
  constexpr int kProducers = 4, kPerProducer = 3000;
  const auto serialOf = [](int producer, int i) -> long long {
    return (i + producer) % 3 == 0 ? 0 : 1 + (i + producer) % 4;
  };
  unsigned long expected[2] = {0, 0};
  for (int p = 0; p < kProducers; ++p) {
    for (int i = 0; i < kPerProducer; ++i) ++expected[serialOf(p, i) > 0 ? 1 : 0];
  }
  Open();
  std::atomic<int> runs{0};
  {
    ZnThreadPool pool;
    ASSERT_TRUE(pool.initThreadPool("mixed", 30, 2, 4, 1));
    std::atomic<bool> producing{true};
    std::thread reporter([&] {
      while (producing.load()) {
        pool.Monitor();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
      producers.emplace_back([&, p] {
        for (int i = 0; i < kPerProducer; ++i) pool.doWork(serialOf(p, i), &CountRun, &runs, nullptr);
      });
    }
    for (std::thread& producer : producers) producer.join();
    const bool finished = pool.waitForAllThreads(true, false, false, 60);
    producing = false;
    reporter.join();
    ASSERT_TRUE(finished);
    pool.Monitor();
    EXPECT_EQ(runs.load(), kProducers * kPerProducer);
    EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);
    EXPECT_EQ(pool.getReadyWorksCount(), 0u);
    EXPECT_EQ(pool.getCurrentBusyThreadCount(), 0u);
    EXPECT_EQ(pool.getPendingWorkCount(0), 0u);
    ZnMetricsCollector::DumpStatisticsOnThread();
  }
  // Every line adds up; the completed counts of a block sum to its items,
  // and each line's total is what the one before left pending plus what
  // was queued since, so never below it.
  const std::string text = LogText();
  unsigned long completedSum[2] = {0, 0};
  unsigned long lastPending[2] = {0, 0};
  int lines[2] = {0, 0};
  for (std::size_t at = text.find("TPool [mixed]. Ser# ["); at != std::string::npos;
       at = text.find("TPool [mixed]. Ser# [", at + 1)) {
    int block = -1;
    unsigned long total = 0, pending = 0, completed = 0;
    ASSERT_EQ(std::sscanf(text.c_str() + at, "TPool [mixed]. Ser# [%d] Tot [%lu], Pend [%lu], Comp [%lu]", &block,
                          &total, &pending, &completed),
              4)
        << text.substr(at, 120);
    ASSERT_TRUE(block == 0 || block == 1);
    EXPECT_EQ(pending, total - completed) << text.substr(at, 120);
    EXPECT_LE(completed, total);
    EXPECT_GE(total, lastPending[block]) << text.substr(at, 120);
    completedSum[block] += completed;
    lastPending[block] = pending;
    ++lines[block];
  }
  for (int block = 0; block < 2; ++block) {
    EXPECT_GT(lines[block], 0) << block;
    EXPECT_EQ(completedSum[block], expected[block]) << block;
    EXPECT_EQ(lastPending[block], 0u) << block;
  }
  const std::string metrics = zn::test::ReadFile(m_dir.file("PerformanceMetrics.log"));
  EXPECT_EQ(SumOfDeltas(metrics, "mixed", "TaskAdded"), kProducers * kPerProducer) << metrics;
  EXPECT_EQ(SumOfDeltas(metrics, "mixed", "TaskDone"), kProducers * kPerProducer) << metrics;
}

TEST_F(ZnThreadPoolWork, BadInputIsRefusedAndNothingIsLostOrRunTwice) {
  ZnThreadPool pool;
  pool.setDebugCallback(&CollectReport);
  pool.setDebuggingLevel(TP_DEBUG_DEBUG);
  EXPECT_FALSE(pool.initThreadPool("bad", 30, 0, 1, 2));
  EXPECT_TRUE(Reported("ZnThreadPool::tpSetLastError(1081): -Error-: WrongArg -- Init Failed. Minimal Thread Count "
                       "greater than MaxCount"));
  ASSERT_TRUE(pool.initThreadPool("bad", 30, 1, 2, 0));
  EXPECT_FALSE(pool.initThreadPool("bad", 30, 1, 2, 0));
  EXPECT_TRUE(Reported("-Error-: Critical -- Object already initialized"));

  const unsigned long first = pool.doWork(-3, &CountRun, nullptr, nullptr);
  EXPECT_TRUE(Reported("SerialID was less than 0! SerialID [-3]"));
  EXPECT_EQ(pool.doWork(nullptr, nullptr), first + 1);  // refused too, with a fresh id
  EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);

  std::atomic<int> after{0};
  pool.doWork(&ThrowZnException, nullptr);
  pool.doWork(&ThrowText, nullptr);
  pool.doWork(&CountRun, &after);
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  EXPECT_EQ(after.load(), 1);
  EXPECT_TRUE(Reported("Got exception from worker function: boom"));
  EXPECT_TRUE(Reported("Got exception from worker function: plain trouble"));

  // Queued items taken off the queue never run; the rest run once.
  std::vector<std::unique_ptr<std::atomic<int>>> counts(6);
  for (auto& count : counts) count = std::make_unique<std::atomic<int>>(0);
  pool.doWork(5, &WaitAtGate, nullptr, nullptr);
  ASSERT_TRUE(PollUntil([] { return g_started.load() == 1; }));
  for (auto& count : counts) pool.doWork(5, &CountRun, count.get(), nullptr);
  std::vector<void*> taken;
  EXPECT_TRUE(pool.fetchQueuedWorkers(5, taken, 2));
  EXPECT_EQ(taken, (std::vector<void*>{counts[0].get(), counts[1].get()}));
  EXPECT_EQ(pool.getPendingWorkCount(5), 4u);
  EXPECT_TRUE(pool.forceDiscardQueuedWorkers(5, taken));
  EXPECT_EQ(taken.size(), 4u);
  EXPECT_FALSE(pool.fetchQueuedWorkers(99, taken, 1));
  EXPECT_TRUE(taken.empty());
  m_gate.open();
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  for (auto& count : counts) EXPECT_EQ(count->load(), 0);
  EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);
  EXPECT_EQ(pool.getReadyWorksCount(), 0u);
}

// An item that stays in flight until another item of its id starts or a
// short limit passes: were an id ever run twice at once, the second item
// would start meanwhile and show in the id's maxInFlight.
unsigned int RunTrackedAndLinger(void* argument) {
  Item* item = static_cast<Item*>(argument);
  SerialTrack& track = g_serials[static_cast<std::size_t>(item->serial)];
  RaiseTo(track.maxInFlight, track.inFlight.fetch_add(1) + 1);
  PollUntil([&] { return track.inFlight.load() > 1; }, std::chrono::milliseconds(50));
  {
    std::lock_guard<std::mutex> lock(track.orderLock);
    track.order.push_back(item->sequence);
  }
  item->runs.fetch_add(1);
  track.inFlight.fetch_sub(1);
  return 0;
}

std::vector<std::unique_ptr<Item>> MakeItems(long long serial, int count) {
  std::vector<std::unique_ptr<Item>> items(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    items[static_cast<std::size_t>(i)] = std::make_unique<Item>();
    items[static_cast<std::size_t>(i)]->serial = serial;
    items[static_cast<std::size_t>(i)]->sequence = i;
  }
  return items;
}

std::vector<int> Sequence(int from, int to) {
  std::vector<int> numbers;
  for (int i = from; i < to; ++i) numbers.push_back(i);
  return numbers;
}

// Fetch and discard take the oldest items not yet started, also those the
// id's owner has already moved out of its inbox; an id emptied that way
// while it waited to run is made ready once only when work comes again.
TEST_F(ZnThreadPoolWork, FetchTakesTheOldestWaitingItemsAndAnIdNeverRunsTwiceAtOnce) {
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool("fetch", 30, 2, 2, 2));
  // Both workers wait at the gate, so id 1 waits behind them.
  pool.doWork(2, &WaitAtGate, nullptr, nullptr);
  pool.doWork(3, &WaitAtGate, nullptr, nullptr);
  ASSERT_TRUE(PollUntil([] { return g_started.load() == 2; }));
  Item dropped;
  dropped.serial = 1;
  pool.doWork(1, &RunTracked, &dropped, nullptr);
  std::vector<void*> taken;
  ASSERT_TRUE(pool.fetchQueuedWorkers(1, taken, 10));
  EXPECT_EQ(taken, std::vector<void*>{&dropped});
  const auto ones = MakeItems(1, 6);
  for (const auto& item : ones) pool.doWork(1, &RunTrackedAndLinger, item.get(), nullptr);
  EXPECT_EQ(pool.getReadyWorksCount(), 1u);  // one entry for id 1, however often it was emptied
  m_gate.open();
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  EXPECT_EQ(g_serials[1].maxInFlight.load(), 1);
  EXPECT_EQ(g_serials[1].order, Sequence(0, 6));
  EXPECT_EQ(dropped.runs.load(), 0);

  // Id 4's owner moves all thirteen waiting items out at once and blocks
  // on the first; fetch and discard still find the other twelve, in order.
  g_holdRelease = false;
  g_holdsDone = 0;
  pool.doWork(2, &HoldUntilReleased, nullptr, nullptr);
  pool.doWork(3, &HoldUntilReleased, nullptr, nullptr);
  ASSERT_TRUE(PollUntil([&] { return pool.getCurrentBusyThreadCount() == 2; }));
  g_gate = &m_secondGate;
  g_started = 0;
  pool.doWork(4, &WaitAtGate, nullptr, nullptr);
  const auto fours = MakeItems(4, 12);
  for (const auto& item : fours) pool.doWork(4, &RunTracked, item.get(), nullptr);
  g_holdRelease = true;
  ASSERT_TRUE(PollUntil([] { return g_started.load() == 1; }));
  EXPECT_EQ(pool.getPendingWorkCount(4), 12u);
  EXPECT_EQ(pool.getTotalWorkerListCount(), 12u);
  ASSERT_TRUE(pool.fetchQueuedWorkers(4, taken, 3));
  EXPECT_EQ(taken, (std::vector<void*>{fours[0].get(), fours[1].get(), fours[2].get()}));
  EXPECT_EQ(pool.getPendingWorkCount(4), 9u);
  ASSERT_TRUE(pool.forceDiscardQueuedWorkers(4, taken));
  ASSERT_EQ(taken.size(), 9u);
  for (std::size_t i = 0; i < taken.size(); ++i) EXPECT_EQ(taken[i], fours[i + 3].get()) << i;
  EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);
  // New work of the id runs after the blocked item, in order.
  const auto later = MakeItems(4, 5);
  for (const auto& item : later) pool.doWork(4, &RunTracked, item.get(), nullptr);
  m_secondGate.open();
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  for (const auto& item : fours) EXPECT_EQ(item->runs.load(), 0);
  EXPECT_EQ(g_serials[4].order, Sequence(0, 5));
  EXPECT_EQ(pool.getReadyWorksCount(), 0u);
}

// A fetcher takes items of the id its owner is running through: each item
// goes to one of them only, and those that run keep their order.
TEST_F(ZnThreadPoolWork, FetchRacingTheOwnerGivesEachItemToOneOfThem) {
  constexpr int kItems = 20000;
  ZnThreadPool pool;
  ASSERT_TRUE(pool.initThreadPool("race", 30, 4, 4, 4));
  const auto items = MakeItems(5, kItems);
  std::vector<std::atomic<int>> fetched(kItems);
  std::atomic<bool> produced{false};
  std::atomic<bool> fetcherTimedOut{false};
  std::thread fetcher([&] {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::vector<void*> taken;
    while (!produced.load() || pool.getPendingWorkCount(5) != 0) {
      if (std::chrono::steady_clock::now() > limit) {
        fetcherTimedOut = true;
        return;
      }
      if (!pool.fetchQueuedWorkers(5, taken, 3)) continue;
      for (void* argument : taken) fetched[static_cast<std::size_t>(static_cast<Item*>(argument)->sequence)]++;
    }
  });
  for (const auto& item : items) pool.doWork(5, &RunTracked, item.get(), nullptr);
  produced = true;
  fetcher.join();
  ASSERT_FALSE(fetcherTimedOut.load());
  ASSERT_TRUE(pool.waitForAllThreads(true, false, false, 60));
  int ran = 0;
  for (int i = 0; i < kItems; ++i) {
    const int runs = items[static_cast<std::size_t>(i)]->runs.load();
    ASSERT_EQ(runs + fetched[static_cast<std::size_t>(i)].load(), 1) << i;
    ran += runs;
  }
  const std::vector<int>& order = g_serials[5].order;
  EXPECT_EQ(order.size(), static_cast<std::size_t>(ran));
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_EQ(g_serials[5].maxInFlight.load(), 1);
  EXPECT_EQ(pool.getTotalWorkerListCount(), 0u);
  EXPECT_EQ(pool.getPendingWorkCount(5), 0u);
}

TEST_F(ZnThreadPoolWork, TimeLimitsNameTheBusyThreadsAndDestructionWithQueuedWorkIsClean) {
  Open();
  std::atomic<int> runs{0};
  {
    ZnThreadPool pool;
    ASSERT_TRUE(pool.initThreadPool("stuck", 30, 1, 1, 0));
    pool.doWork(&WaitAtGate, nullptr);
    ASSERT_TRUE(PollUntil([] { return g_started.load() == 1; }));
    for (int i = 0; i < 20; ++i) pool.doWork(&CountRun, &runs);
    EXPECT_FALSE(pool.waitForAllThreads(true, false, false, 1));
    const std::string text = LogText();
    EXPECT_TRUE(Has(text, "Thread Pool [stuck]. Could not finish all work in the time limit of [1] seconds. The "
                          "worker list count is [20] and busy thread count is [1] and busy thread list is [0x"))
        << text;
    m_gate.open();
    ASSERT_TRUE(PollUntil([] { return g_finished.load() == 1; }));
  }  // destroyed with work possibly still queued
  EXPECT_LE(runs.load(), 20);
  const int settled = runs.load();
  std::this_thread::sleep_for(zn::test::kStaysBlocked);
  EXPECT_EQ(runs.load(), settled);  // nothing runs after the pool is gone

  ZnThreadPool waiting;  // the other destructor waits for its threads
  waiting.useAlternateDestructor(false);
  ASSERT_TRUE(waiting.initThreadPool("waiting", 30, 2, 2, 0));
  waiting.doWork(&CountRun, &runs);
}

TEST(ZnThreadPoolFormat, TimesAndBytes) {
  EXPECT_EQ(FormatTime(0), "0.00 s");
  EXPECT_EQ(FormatTime(2.5), "2.50 s");
  EXPECT_EQ(FormatTime(0.0123), "12.30 ms");
  EXPECT_EQ(FormatTime(0.0000042), "4.20 us");
  EXPECT_EQ(FormatTime(0.0000000005), "0.50 ns");
  EXPECT_EQ(FormatBytes(0), "0.00 B");
  EXPECT_EQ(FormatBytes(1536), "1.50 KB");
  EXPECT_EQ(FormatBytes(1023), "1023.00 B");
  EXPECT_EQ(FormatBytes(5ULL << 50), "5.00 PB");
  EXPECT_EQ(FormatBytes(3ULL << 60), "3072.00 PB");
}

}  // namespace
