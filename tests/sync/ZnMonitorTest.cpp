// ZnMonitor and ZnMonitorLock: recursion, ownership errors, condition waits
// and mutual exclusion under contention.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/error/ZnException.h"
#include "zn/sync/ZnMonitor.h"

namespace {

using namespace zn::test;

constexpr const char* kNotOwnerLeave = "Cannot release the lock that I do not own.";
constexpr const char* kNotOwnerWait = "Must acquire the monitor before calling wait().";
constexpr const char* kNotOwnerSignal = "Must acquire the lock before signalling.";

// Enters and leaves from a new thread; the future is ready once it got in.
std::future<void> EnterFromOtherThread(ZnMonitor& monitor) {
  return std::async(std::launch::async, [&monitor] {
    monitor.enter();
    monitor.leave();
  });
}

TEST(ZnMonitor, EnteredTwiceNeedsTwoLeavesByTheOwner) {
  ZnMonitor monitor;
  monitor.enter();
  monitor.enter();
  // A stranger's leave throws and releases nothing.
  auto stranger = std::async(std::launch::async, [&monitor] {
    ExpectZnException([&] { monitor.leave(); }, "ZnMonitor::leave", kNotOwnerLeave);
    return monitor.owned();
  });
  EXPECT_FALSE(stranger.get());
  auto other = EnterFromOtherThread(monitor);
  EXPECT_EQ(other.wait_for(kStaysBlocked), kPending);
  monitor.leave();
  EXPECT_TRUE(monitor.owned());
  EXPECT_EQ(other.wait_for(kStaysBlocked), kPending);  // one level still held
  monitor.leave();
  EXPECT_FALSE(monitor.owned());
  EXPECT_EQ(other.wait_for(kWaitLimit), kReady);
  // The count is back at zero: one more leave is a leave without ownership.
  ExpectZnException([&] { monitor.leave(); }, "ZnMonitor::leave", kNotOwnerLeave);
}

TEST(ZnMonitor, WaitAndSignalNeedOwnership) {
  ZnMonitor monitor;
  ExpectZnException([&] { monitor.wait(); }, "ZnMonitor::wait", kNotOwnerWait);
  ExpectZnException([&] { monitor.wait(10); }, "ZnMonitor::wait", kNotOwnerWait);
  ExpectZnException([&] { monitor.signal(); }, "ZnMonitor::signal", kNotOwnerSignal);
  ExpectZnException([&] { monitor.broadcast(); }, "ZnMonitor::broadcast", kNotOwnerSignal);
  monitor.enter();  // the failures left it usable
  monitor.signal();
  monitor.broadcast();
  monitor.leave();
}

TEST(ZnMonitor, WaitReleasesFullyAndRestoresTheRecursionCount) {
  ZnMonitor monitor;
  monitor.enter();
  monitor.enter();
  EXPECT_FALSE(monitor.wait(0));
  EXPECT_FALSE(monitor.wait(30));
  EXPECT_TRUE(monitor.owned());  // a timed-out wait also restores ownership
  // A caller's -1 (all-ones, 64 bits wide here) waits without limit, as the
  // 32-bit all-ones does.
  for (const unsigned long limit : {kWaitLimitMs, 0xFFFFFFFFUL, static_cast<unsigned long>(-1)}) {
    std::thread signaller([&] {
      monitor.enter();  // possible only while the owner waits
      monitor.signal();
      monitor.leave();
    });
    EXPECT_TRUE(monitor.wait(limit)) << limit;
    EXPECT_TRUE(monitor.owned());
    signaller.join();
  }
  monitor.leave();
  EXPECT_TRUE(monitor.owned());
  monitor.leave();
  EXPECT_FALSE(monitor.owned());
  ExpectZnException([&] { monitor.leave(); }, "ZnMonitor::leave", kNotOwnerLeave);
}

TEST(ZnMonitor, SignalWakesOneWaiterAndBroadcastWakesAll) {
  ZnMonitor monitor;
  int waiting = 0;  // guarded by the monitor
  std::atomic<int> woken{0};
  std::atomic<int> timedOut{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      ZnMonitorLock lock(&monitor);
      ++waiting;
      ++(monitor.wait(kWaitLimitMs) ? woken : timedOut);
    });
  }
  // Once the monitor can be entered with all three counted, all three wait.
  ASSERT_TRUE(PollUntil([&] {
    ZnMonitorLock lock(&monitor);
    return waiting == 3;
  }));
  {
    ZnMonitorLock lock(&monitor);
    monitor.signal();
  }
  EXPECT_TRUE(PollUntil([&] { return woken.load() >= 1; }));
  {
    ZnMonitorLock lock(&monitor);
    monitor.broadcast();
  }
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_EQ(timedOut.load(), 0);
}

TEST(ZnMonitor, ContendedEnterLeaveLosesNoUpdate) {
  ZnMonitor monitor;
  long long counter = 0;  // guarded by the monitor only
  constexpr int kThreads = 4;
  constexpr int kRounds = 100000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        if (t % 2 == 0) {
          monitor.enter();
          ++counter;
          monitor.leave();
        } else {
          ZnMonitorLock lock(&monitor);
          ZnMonitorLock nested(i % 1000 == 0 ? &monitor : nullptr);  // recursion under contention
          ++counter;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, static_cast<long long>(kThreads) * kRounds);
  EXPECT_FALSE(monitor.owned());
}

TEST(ZnMonitorLock, HoldsAndSwitchesMonitors) {
  ZnMonitor first;
  ZnMonitor second;
  {
    ZnMonitorLock lock(&first);
    EXPECT_TRUE(lock.locked());
    lock.reset(&second);  // leaves the first
    EXPECT_FALSE(first.owned());
    EXPECT_TRUE(second.owned());
    EXPECT_EQ(EnterFromOtherThread(first).wait_for(kWaitLimit), kReady);
    lock.resetMonitor(nullptr);
    EXPECT_FALSE(lock.locked() || second.owned());
    lock.resetMonitor(&first);
  }
  EXPECT_FALSE(first.owned());
  EXPECT_EQ(EnterFromOtherThread(first).wait_for(kWaitLimit), kReady);
}

}  // namespace
