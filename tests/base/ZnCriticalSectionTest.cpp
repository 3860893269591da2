// ZnCriticalSection and its holders: recursion, ownership and mutual
// exclusion under contention.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <latch>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/base/ZnCriticalSection.h"

namespace {

using namespace zn::test;

// Tries the section once from a new thread; releases it again when taken.
bool TryFromOtherThread(ZnCriticalSection& cs) {
  return std::async(std::launch::async, [&cs] {
           const bool got = cs.enter(false);
           if (got) cs.leave();
           return got;
         }).get();
}

TEST(ZnCriticalSection, IsRecursiveForItsOwnerAndBlocksOthers) {
  ZnCriticalSection cs;
  EXPECT_FALSE(cs.locked());
  ASSERT_TRUE(cs.enter());
  ASSERT_TRUE(cs.enter(true));
  ASSERT_TRUE(cs.enter(false));  // a try by the owner succeeds
  EXPECT_TRUE(cs.locked());
  EXPECT_FALSE(TryFromOtherThread(cs));
  auto waiter = std::async(std::launch::async, [&cs] {
    cs.enter(true);
    const bool mine = cs.locked();
    cs.leave();
    return mine;
  });
  cs.leave();
  cs.leave();
  EXPECT_TRUE(cs.locked());
  EXPECT_FALSE(TryFromOtherThread(cs));  // one level still held
  EXPECT_EQ(waiter.wait_for(kStaysBlocked), kPending);
  cs.leave();
  ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(waiter.get());
  EXPECT_FALSE(cs.locked());
  cs.leave();  // leaving a free section changes nothing
  EXPECT_TRUE(TryFromOtherThread(cs));
}

TEST(ZnCriticalSection, OnlyTheOwnerCanLeaveAndATryLockLeavesItAlone) {
  ZnCriticalSection cs;
  std::promise<void> held;
  std::promise<void> release;
  std::thread owner([&, releaseFuture = release.get_future()] {
    cs.enter();
    held.set_value();
    EXPECT_EQ(releaseFuture.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(cs.locked());  // the stranger's leaves did nothing
    cs.leave();
  });
  ASSERT_EQ(held.get_future().wait_for(kWaitLimit), kReady);
  EXPECT_FALSE(cs.locked());  // owned, but not by this thread
  cs.leave();
  cs.leave();
  EXPECT_FALSE(cs.enter(false));
  {
    ZnCriticalSectionTryLock attempt(&cs);  // fails, and its destructor leaves nothing
    EXPECT_FALSE(attempt.locked());
  }
  release.set_value();
  owner.join();
  EXPECT_TRUE(TryFromOtherThread(cs));
}

TEST(ZnCriticalSectionLock, HoldsForItsLifetimeAndSwitchesOnReset) {
  ZnCriticalSection first;
  ZnCriticalSection second;
  EXPECT_FALSE(ZnCriticalSectionLock(nullptr).locked());
  {
    ZnCriticalSectionLock lock(&first);
    EXPECT_TRUE(lock.locked());
    lock.reset(&second);
    EXPECT_TRUE(TryFromOtherThread(first));
    EXPECT_FALSE(TryFromOtherThread(second));
    lock.resetCriticalSection(&first);
    EXPECT_TRUE(TryFromOtherThread(second));
    lock.reset(&first);  // the same section: still held exactly once
    EXPECT_FALSE(TryFromOtherThread(first));

    lock.resetCriticalSection(nullptr);
    EXPECT_FALSE(lock.locked());
    EXPECT_TRUE(TryFromOtherThread(first));
    lock.reset(&second);
  }
  EXPECT_TRUE(TryFromOtherThread(second));
  EXPECT_TRUE(TryFromOtherThread(first));
}

TEST(ZnCriticalSectionTryLock, ReleasesOnlyWhatItTook) {
  ZnCriticalSection cs;
  cs.enter();
  {
    ZnCriticalSectionTryLock nested(&cs);  // nests, and leaves one level
    EXPECT_TRUE(nested.locked());
  }
  EXPECT_FALSE(TryFromOtherThread(cs));
  cs.leave();
  EXPECT_TRUE(TryFromOtherThread(cs));
  {
    ZnCriticalSectionTryLock unheld(&cs);
    EXPECT_TRUE(unheld.locked());
    EXPECT_FALSE(TryFromOtherThread(cs));
  }
  EXPECT_TRUE(TryFromOtherThread(cs));
  EXPECT_FALSE(ZnCriticalSectionTryLock(nullptr).locked());
}

TEST(ZnCriticalSection, NoUpdateIsLostUnderContention) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 100000;
  ZnCriticalSection cs;
  long long counter = 0;  // plain: only the lock protects it
  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false};
  std::latch start(kThreads);
  std::promise<void> allDone;
  std::atomic<int> running{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        // Each thread takes the section its own way, then nests once.
        if (t == 0) {
          cs.enter();
        } else if (t == 1) {
          while (!cs.enter(false)) std::this_thread::yield();
        }
        {
          ZnCriticalSectionLock holder(t >= 2 ? &cs : nullptr);
          ZnCriticalSectionLock nested(&cs);
          if (inside.fetch_add(1) != 0) overlap = true;
          ++counter;
          inside.fetch_sub(1);
        }
        if (t < 2) cs.leave();
      }
      if (running.fetch_sub(1) == 1) allDone.set_value();
    });
  }
  // A lost wake-up or a corrupted owner deadlocks: fail instead of hanging.
  if (allDone.get_future().wait_for(std::chrono::seconds(120)) != kReady) {
    std::fprintf(stderr, "ZnCriticalSection stress test deadlocked\n");
    std::_Exit(3);
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(overlap.load());
  EXPECT_EQ(counter, static_cast<long long>(kThreads) * kRounds);
  EXPECT_FALSE(cs.locked());
  EXPECT_TRUE(TryFromOtherThread(cs));
}

}  // namespace
