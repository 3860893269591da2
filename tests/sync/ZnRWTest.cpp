// Reader/writer locks: admission rules of ZnSplitRW and ZnRW, writer
// recursion, downgrade, and the scoped holders.

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/error/ZnException.h"
#include "zn/sync/ZnRW.h"
#include "zuzazer/FXThreadId.h"

namespace {

using namespace zn::test;

constexpr const char* kNoMonitor = "Cannot wait for the lock without a monitor.";

uint32_t StateOf(ZnSplitRW& rw, ZnMonitor& monitor) {
  ZnMonitorLock lock(&monitor);
  return rw.getState();
}

TEST(ZnSplitRW, WaitingWriterDoesNotHoldOffReadersWhileReadersAreActive) {
  ZnMonitor monitor;
  ZnSplitRW rw;
  rw.readLock(&monitor);
  auto writer = std::async(std::launch::async, [&] {
    ZnWriteLock write(&rw, &monitor);
    return rw.getReadCnt();
  });
  ASSERT_TRUE(PollUntil([&] { return (StateOf(rw, monitor) & ZnSplitRW::kWriterWaiting) != 0; }));

  // A reader is active, so a new reader gets in past the waiting writer.
  auto reader = std::async(std::launch::async, [&] { rw.readLock(&monitor); });
  EXPECT_EQ(reader.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(StateOf(rw, monitor), ZnSplitRW::kWriterWaiting | 2u);

  rw.readUnlock(&monitor);
  EXPECT_EQ(writer.wait_for(kStaysBlocked), kPending);
  rw.readUnlock(&monitor);  // the second reader's unit, given back by another thread
  ASSERT_EQ(writer.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(writer.get(), 0);
  EXPECT_EQ(StateOf(rw, monitor), 0u);
  EXPECT_EQ(rw.getWriter(), 0u);
}

TEST(ZnSplitRW, WaitingWriterHoldsOffNewReadersWhenNoneIsActive) {
  ZnMonitor monitor;
  ZnSplitRW rw;
  rw.readLock(&monitor);
  std::promise<void> finishWriting;
  auto writer = std::async(std::launch::async, [&, finish = finishWriting.get_future()] {
    rw.writeLock(&monitor);
    finish.wait_for(kWaitLimit);
    rw.writeUnlock(&monitor);
  });
  ASSERT_TRUE(PollUntil([&] { return (StateOf(rw, monitor) & ZnSplitRW::kWriterWaiting) != 0; }));
  {
    // Drop the reader without a broadcast (the caller guards the state), so
    // the writer sleeps on with its waiting bit set and no reader active.
    ZnMonitorLock lock(&monitor);
    rw.readUnlock(nullptr);
    EXPECT_EQ(rw.getState(), ZnSplitRW::kWriterWaiting);
  }
  auto reader = std::async(std::launch::async, [&] {
    ZnReadLock read(&rw, &monitor);
    return rw.getWriteCnt();
  });
  EXPECT_EQ(reader.wait_for(kStaysBlocked), kPending);

  {
    ZnMonitorLock lock(&monitor);
    monitor.broadcast();
  }
  // The writer goes first; the reader waits on until it is done.
  ASSERT_TRUE(PollUntil([&] {
    ZnMonitorLock lock(&monitor);
    return rw.getWriteCnt() == 1;
  }));
  EXPECT_EQ(reader.wait_for(kStaysBlocked), kPending);
  finishWriting.set_value();
  ASSERT_EQ(writer.wait_for(kWaitLimit), kReady);
  ASSERT_EQ(reader.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(reader.get(), 0);
  EXPECT_EQ(StateOf(rw, monitor), 0u);
}

TEST(ZnRW, WriterIsRecursiveAndMayReadItsOwnLock) {
  ZnRW rw;
  rw.writeLock();
  rw.writeLock();
  EXPECT_EQ(rw.getWriteCnt(), 2);
  rw.readLock();  // the writer itself is admitted
  EXPECT_EQ(rw.getReadCnt(), 1);
  EXPECT_EQ(rw.getWriteCnt(), 2);

  auto reader = std::async(std::launch::async, [&] {
    rw.readLock();
    rw.readUnlock();
  });
  auto writer = std::async(std::launch::async, [&] {
    ZnWriteLock write(&rw);
    return rw.getWriteCnt();
  });
  EXPECT_EQ(reader.wait_for(kStaysBlocked), kPending);
  rw.readUnlock();
  rw.writeUnlock();
  EXPECT_EQ(rw.getWriteCnt(), 1);
  EXPECT_EQ(reader.wait_for(kStaysBlocked), kPending);
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(0)), kPending);
  rw.writeUnlock();
  ASSERT_EQ(reader.wait_for(kWaitLimit), kReady);
  ASSERT_EQ(writer.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(writer.get(), 1);  // the other writer's own count, not ours added
  EXPECT_FALSE(rw.isLocked());

  // Unlocks of a free lock change nothing.
  rw.readUnlock();
  rw.writeUnlock();
  EXPECT_FALSE(rw.isLocked());
  EXPECT_EQ(rw.getReadCnt(), 0);
}

TEST(ZnRW, DowngradedWriteLockLeavesOneReader) {
  ZnRW rw;
  std::future<int> writer;
  {
    ZnWriteLock lock(&rw);
    lock.downgrade();
    lock.downgrade();  // already a reader: nothing more moves
    EXPECT_EQ(rw.getReadCnt(), 1);
    EXPECT_EQ(rw.getWriteCnt(), 0);
    auto reader = std::async(std::launch::async, [&] {
      ZnReadLock read(&rw);
      return rw.getReadCnt();
    });
    ASSERT_EQ(reader.wait_for(kWaitLimit), kReady);
    EXPECT_EQ(reader.get(), 2);
    writer = std::async(std::launch::async, [&] {
      ZnWriteLock write(&rw);
      return rw.getReadCnt();
    });
    EXPECT_EQ(writer.wait_for(kStaysBlocked), kPending);
  }  // releases the read lock the downgrade left
  ASSERT_EQ(writer.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(writer.get(), 0);
  EXPECT_FALSE(rw.isLocked());
}

TEST(ZnSplitRW, DowngradeMovesOneUnitAndKeepsARecursiveWriter) {
  ZnMonitor monitor;
  ZnSplitRW rw;
  rw.writeLock(&monitor);
  rw.writeLock(&monitor);
  rw.downgrade(&monitor);
  EXPECT_EQ(rw.getState(), (1u << ZnSplitRW::kWriterShift) | 1u);
  EXPECT_EQ(rw.getWriter(), yq::CurrentThreadId());  // still the writer
  rw.downgrade(&monitor);
  EXPECT_EQ(rw.getState(), 2u);
  EXPECT_EQ(rw.getWriter(), 0u);
  rw.downgrade(&monitor);  // no writer left: nothing changes
  EXPECT_EQ(rw.getState(), 2u);
  rw.readUnlock(&monitor);
  rw.readUnlock(&monitor);
  EXPECT_EQ(rw.getState(), 0u);
}

TEST(ZnRW, ReaderAskingToWriteWaitsForItsOwnReadLock) {
  ZnRW rw;
  auto upgrader = std::async(std::launch::async, [&] {
    rw.readLock();
    ZnWriteLock write(&rw);
    return rw.getReadCnt();
  });
  ASSERT_TRUE(PollUntil([&] { return rw.getReadCnt() == 1; }));
  EXPECT_EQ(upgrader.wait_for(kStaysBlocked), kPending);
  EXPECT_EQ(rw.getWriteCnt(), 0);
  rw.readUnlock();  // give back the waiting thread's read lock for it
  ASSERT_EQ(upgrader.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(upgrader.get(), 0);
  EXPECT_FALSE(rw.isLocked());
}

TEST(ZnSplitRW, WithoutAMonitorAWaitThrows) {
  ZnSplitRW rw;
  rw.readLock(nullptr);
  // The writer would have to wait, and has nothing to wait on.
  ExpectZnException([&] { rw.writeLock(nullptr); }, "ZnSplitRW::writeLock", kNoMonitor);
  // The refused writer left no waiting mark behind to hold off readers.
  EXPECT_EQ(rw.getState(), 1u);
  rw.readUnlock(nullptr);
  rw.writeLock(nullptr);
  rw.readLock(nullptr);  // the writer itself never waits
  auto stranger = std::async(std::launch::async, [&] {
    try {
      rw.readLock(nullptr);
      return std::string("admitted");
    } catch (const ZnException& e) {
      return std::string(e.getFuncName());
    }
  });
  EXPECT_EQ(stranger.get(), "ZnSplitRW::readLock");  // refused the same way
  EXPECT_EQ(rw.getReadCnt(), 1);
  rw.readUnlock(nullptr);
  rw.writeUnlock(nullptr);
  EXPECT_EQ(rw.getState(), 0u);
}

TEST(ZnRWLock, HoldersReleaseWhatTheyTook) {
  ZnRW first;
  ZnRW second;
  {
    ZnRWLock read(&first, false);
    ZnRWLock write(&second, true);
    ZnReadLock again(&first);
    EXPECT_EQ(first.getReadCnt(), 2);
    EXPECT_EQ(second.getWriteCnt(), 1);
  }
  EXPECT_FALSE(first.isLocked() || second.isLocked());
  {
    ZnWriteLock lock(&first);
    lock.downgrade();
    lock.reset(&second);  // gives back the read lock on `first`
    EXPECT_FALSE(first.isLocked());
    EXPECT_EQ(second.getWriteCnt(), 1);
  }
  EXPECT_FALSE(second.isLocked());

  ZnMonitor monitor;
  ZnSplitRW split;
  {
    ZnRWLock write(&split, &monitor, true);
    ZnReadLock read(&split, &monitor);  // the writer's own read
    EXPECT_EQ(split.getState(), (1u << ZnSplitRW::kWriterShift) | 1u);
  }
  EXPECT_EQ(split.getState(), 0u);
}

TEST(ZnRW, ReadersAndWritersNeverOverlap) {
  ZnRW rw;
  long long guarded[2] = {0, 0};  // writers change both; readers must see them equal
  std::atomic<int> readers{0};
  std::atomic<int> writers{0};
  std::atomic<int> violations{0};
  constexpr int kRounds = 3000;
  std::vector<std::future<void>> workers;
  for (int w = 0; w < 2; ++w) {
    workers.push_back(std::async(std::launch::async, [&] {
      for (int i = 0; i < kRounds; ++i) {
        ZnWriteLock lock(&rw);
        if (writers.fetch_add(1) != 0 || readers.load() != 0) ++violations;
        ++guarded[0];
        if (i % 10 == 0) {
          ZnWriteLock nested(&rw);
          ZnReadLock own(&rw);  // the writer reading its own lock
        }
        ++guarded[1];
        writers.fetch_sub(1);
      }
    }));
  }
  for (int r = 0; r < 2; ++r) {
    workers.push_back(std::async(std::launch::async, [&] {
      for (int i = 0; i < kRounds; ++i) {
        ZnReadLock lock(&rw);
        readers.fetch_add(1);
        if (writers.load() != 0 || guarded[0] != guarded[1]) ++violations;
        readers.fetch_sub(1);
      }
    }));
  }
  for (auto& worker : workers) EXPECT_EQ(worker.wait_for(std::chrono::seconds(120)), kReady);
  EXPECT_EQ(violations.load(), 0);
  EXPECT_EQ(guarded[0] + guarded[1], 4LL * kRounds);
  EXPECT_FALSE(rw.isLocked());
}

}  // namespace
