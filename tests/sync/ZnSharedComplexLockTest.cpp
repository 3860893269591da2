// ZnSharedLock (fixed number of shared slots, exclusive takes all), its
// helper, and ZnComplexLock (readers share, a writer excludes).

#include <gtest/gtest.h>

#include <future>

#include "sync/SyncTestUtil.h"
#include "zn/sync/ZnComplexLock.h"
#include "zn/sync/ZnSharedLock.h"

namespace {

using namespace zn::test;

// Asks for a shared slot from a new thread.
bool SharedFromOtherThread(ZnSharedLock& lock, unsigned long ms) {
  return std::async(std::launch::async, [&lock, ms] { return lock.getSharedLock(ms); }).get();
}

TEST(ZnSharedLock, ExclusiveWaitsForAllSharedHolders) {
  ZnSharedLock lock(3, nullptr);
  ASSERT_TRUE(lock.getSharedLock(0));
  ASSERT_TRUE(SharedFromOtherThread(lock, 0));
  ASSERT_TRUE(SharedFromOtherThread(lock, 0));
  EXPECT_EQ(lock.available(), 0);
  EXPECT_FALSE(lock.getSharedLock(20));

  auto exclusive = std::async(std::launch::async, [&] { return lock.getExclusiveLock(); });
  EXPECT_EQ(exclusive.wait_for(kStaysBlocked), kPending);
  lock.release();
  EXPECT_EQ(exclusive.wait_for(kStaysBlocked), kPending);
  lock.release();
  EXPECT_EQ(exclusive.wait_for(kStaysBlocked), kPending);
  lock.release();
  ASSERT_EQ(exclusive.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(exclusive.get());
  EXPECT_EQ(lock.available(), -1);
  EXPECT_FALSE(SharedFromOtherThread(lock, 20));

  lock.release();  // gives every slot back at once
  EXPECT_EQ(lock.available(), 3);
}

TEST(ZnSharedLock, PendingExclusiveRequestHoldsBackLaterSharedOnes) {
  ZnSharedLock lock(3, nullptr);
  ASSERT_TRUE(lock.getSharedLock(0));
  auto exclusive = std::async(std::launch::async, [&] { return lock.getExclusiveLock(); });
  ASSERT_TRUE(PollUntil([&] { return lock.available() == 0; }));  // it drained the two free slots

  // Even a zero-time request queues behind the exclusive one.
  auto shared = std::async(std::launch::async, [&] { return lock.getSharedLock(0); });
  EXPECT_EQ(shared.wait_for(kStaysBlocked), kPending);
  EXPECT_EQ(exclusive.wait_for(std::chrono::milliseconds(0)), kPending);

  lock.release();
  ASSERT_EQ(exclusive.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(exclusive.get());
  ASSERT_EQ(shared.wait_for(kWaitLimit), kReady);
  EXPECT_FALSE(shared.get());  // the exclusive holder has every slot
  EXPECT_EQ(lock.available(), -1);
  lock.release();
  EXPECT_EQ(lock.available(), 3);
}

TEST(ZnSharedLockHelper, ReleasesOnceAndSwitchesLocks) {
  ZnSharedLock lock(3, nullptr);
  ZnSharedLock other(2, nullptr);
  {
    ZnSharedLockHelper shared(&lock, false);
    EXPECT_EQ(lock.available(), 2);
    shared.forceUnlock();
    shared.forceUnlock();  // forgotten: nothing more to give back
    EXPECT_EQ(lock.available(), 3);
    shared.reset(&other, true);
    EXPECT_EQ(other.available(), -1);
    shared.reset(&lock, false);
    EXPECT_EQ(other.available(), 2);
  }
  EXPECT_EQ(lock.available(), 3);
}

TEST(ZnComplexLock, ReadersShareAndWriterExcludes) {
  ZnComplexLock lock;
  EXPECT_EQ(lock.state(), 0u);
  lock.rdlock();
  EXPECT_TRUE(lock.try_rdlock());
  EXPECT_EQ(lock.state(), ZnComplexLock::kReadLocked);
  EXPECT_EQ(lock.holders(), 2);
  EXPECT_FALSE(lock.try_rwlock());

  auto writer = std::async(std::launch::async, [&] {
    lock.rwlock();
    const unsigned int state = lock.state();
    lock.unlock();
    return state;
  });
  EXPECT_EQ(writer.wait_for(kStaysBlocked), kPending);
  lock.unlock();
  EXPECT_EQ(lock.holders(), 1);
  EXPECT_EQ(writer.wait_for(kStaysBlocked), kPending);
  lock.unlock();
  ASSERT_EQ(writer.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(writer.get(), ZnComplexLock::kWriteLocked);
  EXPECT_EQ(lock.holders(), 0);

  ASSERT_TRUE(lock.try_rwlock());
  EXPECT_FALSE(lock.try_rwlock());  // not recursive
  EXPECT_FALSE(lock.try_rdlock());
  auto reader = std::async(std::launch::async, [&] {
    lock.rdlock();
    const unsigned int state = lock.state();
    lock.unlock();
    return state;
  });
  EXPECT_EQ(reader.wait_for(kStaysBlocked), kPending);
  lock.unlock();
  ASSERT_EQ(reader.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(reader.get(), ZnComplexLock::kReadLocked);
  EXPECT_EQ(lock.state(), 0u);

  lock.unlock();  // nothing held: no change
  EXPECT_TRUE(lock.try_rwlock());
  lock.unlock();
}

}  // namespace
