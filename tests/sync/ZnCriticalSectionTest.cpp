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

#include "zn/sync/ZnCriticalSection.h"

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(30);

// Tries the section once from a new thread; releases it again when taken.
bool TryFromOtherThread(ZnCriticalSection& cs) {
  return std::async(std::launch::async, [&cs] {
           const bool got = cs.enter(false);
           if (got) cs.leave();
           return got;
         }).get();
}

TEST(ZnCriticalSection, IsRecursiveForItsOwner) {
  ZnCriticalSection cs;
  EXPECT_FALSE(cs.locked());
  ASSERT_TRUE(cs.enter());
  ASSERT_TRUE(cs.enter(true));
  ASSERT_TRUE(cs.enter(false));  // a try by the owner succeeds
  EXPECT_TRUE(cs.locked());
  EXPECT_FALSE(TryFromOtherThread(cs));

  cs.leave();
  cs.leave();
  EXPECT_TRUE(cs.locked());
  EXPECT_FALSE(TryFromOtherThread(cs));  // one level still held
  cs.leave();
  EXPECT_FALSE(cs.locked());
  EXPECT_TRUE(TryFromOtherThread(cs));

  // Leaving a free section changes nothing.
  cs.leave();
  EXPECT_TRUE(TryFromOtherThread(cs));
  ASSERT_TRUE(cs.enter(false));
  cs.leave();
}

TEST(ZnCriticalSection, OnlyTheOwnerCanLeave) {
  ZnCriticalSection cs;
  std::promise<void> held;
  std::promise<void> release;
  std::thread owner([&, releaseFuture = release.get_future()] {
    cs.enter();
    held.set_value();
    EXPECT_EQ(releaseFuture.wait_for(kWaitLimit), std::future_status::ready);
    EXPECT_TRUE(cs.locked());  // the stranger's leave did nothing
    cs.leave();
  });
  ASSERT_EQ(held.get_future().wait_for(kWaitLimit), std::future_status::ready);
  EXPECT_FALSE(cs.locked());  // owned, but not by this thread
  cs.leave();
  cs.leave();
  EXPECT_FALSE(cs.enter(false));
  release.set_value();
  owner.join();
  EXPECT_TRUE(cs.enter(false));
  cs.leave();
}

TEST(ZnCriticalSection, BlockingEnterWaitsForTheRelease) {
  ZnCriticalSection cs;
  cs.enter();
  cs.enter();
  std::atomic<bool> entered{false};
  std::thread waiter([&] {
    cs.enter(true);
    entered = true;
    EXPECT_TRUE(cs.locked());
    cs.leave();
  });
  // Not a timing assertion: the waiter cannot get in while this thread holds the lock.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered.load());
  cs.leave();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(entered.load());  // still one level held
  cs.leave();
  waiter.join();
  EXPECT_TRUE(entered.load());
}

TEST(ZnCriticalSectionLock, HoldsForItsLifetimeAndSwitchesOnReset) {
  ZnCriticalSection first;
  ZnCriticalSection second;
  {
    ZnCriticalSectionLock none;
    EXPECT_FALSE(none.locked());
    ZnCriticalSectionLock nullLock(nullptr);
    EXPECT_FALSE(nullLock.locked());
  }
  {
    ZnCriticalSectionLock lock(&first);
    EXPECT_TRUE(lock.locked());
    EXPECT_TRUE(first.locked());
    EXPECT_FALSE(TryFromOtherThread(first));

    lock.reset(&second);
    EXPECT_TRUE(lock.locked());
    EXPECT_FALSE(first.locked());
    EXPECT_TRUE(TryFromOtherThread(first));
    EXPECT_FALSE(TryFromOtherThread(second));

    lock.resetCriticalSection(&first);
    EXPECT_TRUE(TryFromOtherThread(second));
    EXPECT_FALSE(TryFromOtherThread(first));

    // Resetting to the same section keeps it held exactly once.
    lock.reset(&first);
    EXPECT_FALSE(TryFromOtherThread(first));

    lock.resetCriticalSection(nullptr);
    EXPECT_FALSE(lock.locked());
    EXPECT_TRUE(TryFromOtherThread(first));
    lock.reset(&second);
  }
  EXPECT_FALSE(second.locked());
  EXPECT_TRUE(TryFromOtherThread(second));
  EXPECT_TRUE(TryFromOtherThread(first));
}

TEST(ZnCriticalSectionTryLock, ReleasesOnlyWhatItTook) {
  ZnCriticalSection cs;
  // Held by another thread: the try fails and its destructor leaves it alone.
  std::promise<void> held;
  std::promise<void> release;
  std::thread owner([&, releaseFuture = release.get_future()] {
    cs.enter();
    held.set_value();
    EXPECT_EQ(releaseFuture.wait_for(kWaitLimit), std::future_status::ready);
    EXPECT_TRUE(cs.locked());
    cs.leave();
  });
  ASSERT_EQ(held.get_future().wait_for(kWaitLimit), std::future_status::ready);
  {
    ZnCriticalSectionTryLock attempt(&cs);
    EXPECT_FALSE(attempt.locked());
  }
  release.set_value();
  owner.join();

  // Held by this thread: the try nests, and its destructor leaves one level.
  cs.enter();
  {
    ZnCriticalSectionTryLock nested(&cs);
    EXPECT_TRUE(nested.locked());
  }
  EXPECT_TRUE(cs.locked());
  EXPECT_FALSE(TryFromOtherThread(cs));
  cs.leave();
  EXPECT_TRUE(TryFromOtherThread(cs));

  {
    ZnCriticalSectionTryLock unheld(&cs);
    EXPECT_TRUE(unheld.locked());
    EXPECT_FALSE(TryFromOtherThread(cs));
  }
  EXPECT_TRUE(TryFromOtherThread(cs));
  ZnCriticalSectionTryLock none(nullptr);
  EXPECT_FALSE(none.locked());
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
  if (allDone.get_future().wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
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
