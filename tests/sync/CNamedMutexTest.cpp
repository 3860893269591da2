// CNamedMutex: status texts and codes, recursion, time limits, unlocking by
// a stranger, release on destruction, and abandonment by a killed process.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <future>
#include <optional>
#include <string>
#include <utility>

#include "sync/SyncTestUtil.h"
#include "zn/error/CError.h"
#include "zn/sync/CNamedMutex.h"
#include "zuzazer/FXThreadId.h"

namespace {

using namespace zn::test;

// Locks (and unlocks again when it got it) from a new thread.
std::pair<int, int> LockFromOtherThread(CNamedMutex& mutex, int ms) {
  return std::async(std::launch::async, [&mutex, ms] {
           const int locked = mutex.lock(ms, false);
           const int unlocked = locked > 0 ? mutex.unlock() : -100;
           return std::make_pair(locked, unlocked);
         }).get();
}

TEST(CNamedMutex, StatusTextsAndRecursion) {
  const std::string name = UniqueName("cnm");
  {
    CNamedMutex first(name.c_str(), nullptr, false);
    EXPECT_EQ(first.getErrorCode(), 0);
    EXPECT_STREQ(first.getErrorText(), "CNamedMutex(): Mutex was created. lockCount = 0");
    EXPECT_EQ(SegmentMode(name), 0600);

    CError shared;
    CNamedMutex second(name.c_str(), &shared, true);
    EXPECT_EQ(shared.getCode(), 0);
    EXPECT_STREQ(shared.getText(), "CNamedMutex(): Mutex was opened. lockCount = 0");

    EXPECT_EQ(first.lock(0, false), 1);
    EXPECT_EQ(first.getErrorCode(), 0);
    EXPECT_STREQ(first.getErrorText(), "lock(): mutex acquired successfully.");
    EXPECT_EQ(first.lock(100, false), 2);
    EXPECT_EQ(first.lock(-1, true), 3);
    EXPECT_EQ(first.getLockCount(), 3u);

    EXPECT_EQ(second.lock(0, false), 1);  // same thread: the mutex is recursive
    EXPECT_EQ(second.unlock(), 0);
    EXPECT_STREQ(shared.getText(), "unlock(): mutex released successfully.");
    EXPECT_EQ(second.unlock(), -1);
    EXPECT_EQ(shared.getCode(), -2);

    EXPECT_EQ(first.unlock(), 2);
    EXPECT_STREQ(first.getErrorText(), "unlock(): mutex released successfully.");
    EXPECT_EQ(first.unlock(), 1);
    EXPECT_EQ(LockFromOtherThread(second, 0).first, -1);  // one level still held
    EXPECT_EQ(first.unlock(), 0);
    EXPECT_EQ(LockFromOtherThread(second, 0), std::make_pair(1, 0));

    const std::string self = std::to_string(yq::CurrentThreadId());
    EXPECT_EQ(first.unlock(), -1);
    EXPECT_EQ(first.getErrorCode(), -2);
    EXPECT_EQ(std::string(first.getErrorText()),
              "unlock(): Unlocking mutex which was not locked or acquired by this thread (lockCount=0; lockerId=0; "
              "our Current-TID=" +
                  self);
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(CNamedMutex, TimeLimitsStrangersAndDestruction) {
  const std::string name = UniqueName("cnm-time");
  CNamedMutex mine(name.c_str(), nullptr, true);
  CNamedMutex theirs(name.c_str(), nullptr, true);
  EXPECT_EQ(SegmentMode(name), 0666);  // open to everyone
  ASSERT_EQ(mine.lock(0, false), 1);

  EXPECT_EQ(LockFromOtherThread(theirs, 0).first, -1);
  EXPECT_EQ(theirs.getErrorCode(), -2);
  EXPECT_STREQ(theirs.getErrorText(), "lock(): Timeout(0) expired");
  EXPECT_EQ(LockFromOtherThread(theirs, 40).first, -1);
  EXPECT_STREQ(theirs.getErrorText(), "lock(): Timeout(40) expired");

  // Unlocking from a thread that did not lock it.
  const uint32_t owner = yq::CurrentThreadId();
  auto stranger = std::async(std::launch::async, [&] {
    const int result = mine.unlock();
    return std::make_pair(result, yq::CurrentThreadId());
  });
  const auto [result, strangerTid] = stranger.get();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(mine.getErrorCode(), -2);
  EXPECT_EQ(std::string(mine.getErrorText()),
            "unlock(): Unlocking mutex which was not locked or acquired by this thread (lockCount=1; lockerId=" +
                std::to_string(owner) + "; our Current-TID=" + std::to_string(strangerTid));
  EXPECT_EQ(mine.getLockCount(), 1u);
  EXPECT_EQ(LockFromOtherThread(theirs, 0).first, -1);  // still held

  // A negative limit waits as long as it takes.
  auto forever = std::async(std::launch::async, [&] {
    const int locked = theirs.lock(-5, false);
    const int unlocked = theirs.unlock();
    return std::make_pair(locked, unlocked);
  });
  EXPECT_EQ(forever.wait_for(kStaysBlocked), kPending);
  EXPECT_EQ(mine.unlock(), 0);
  ASSERT_EQ(forever.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(forever.get(), std::make_pair(1, 0));
  {
    CNamedMutex holder(name.c_str(), nullptr, true);
    EXPECT_EQ(holder.lock(0, false), 1);
    EXPECT_EQ(holder.lock(0, false), 2);
  }  // the destructor releases what it holds
  EXPECT_EQ(LockFromOtherThread(theirs, 0), std::make_pair(1, 0));
}

TEST(CNamedMutex, WithoutANameNothingWorks) {
  CNamedMutex mutex(nullptr, nullptr, false);
  EXPECT_EQ(mutex.getErrorCode(), 123);
  EXPECT_EQ(std::string(mutex.getErrorText()).rfind("CNamedMutex(): Mutex handle was not created or opened", 0), 0u)
      << mutex.getErrorText();
  EXPECT_EQ(mutex.lock(0, false), -1);
  EXPECT_EQ(mutex.getErrorCode(), -1);
  EXPECT_STREQ(mutex.getErrorText(), "lock(): Internal CNamedMutex error: m_hMutex = NULL");
  EXPECT_EQ(mutex.unlock(), -1);
  EXPECT_EQ(mutex.getErrorCode(), -1);
  EXPECT_STREQ(mutex.getErrorText(), "unlock(): Internal CNamedMutex error: m_hMutex = NULL");
}

TEST(CNamedMutex, HolderThatExitsNormallyDoesNotAbandon) {
  const std::string name = UniqueName("cnm-exit");
  Pipe toParent;
  Pipe toChild;
  ChildProcess child([&] {
    CNamedMutex mutex(name.c_str(), nullptr, false);
    if (mutex.lock(0, false) != 1) return 2;
    toParent.send('h');
    return toChild.receive() == 'q' ? 0 : 3;  // the destructor releases
  });
  ASSERT_EQ(toParent.receive(), 'h');
  {
    CNamedMutex mutex(name.c_str(), nullptr, false);
    EXPECT_EQ(mutex.lock(0, false), -1);
    toChild.send('q');
    EXPECT_EQ(mutex.lock(static_cast<int>(kWaitLimitMs), false), 1);
    EXPECT_EQ(mutex.getErrorCode(), 0);
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(mutex.unlock(), 0);
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(CNamedMutex, AbandonedByAKilledHolder) {
  // Without the accept flag: -3 and its text; with it: plainly acquired.
  for (const bool accept : {false, true}) {
    SCOPED_TRACE(accept);
    const std::string name = UniqueName("cnm-abandon");
    {
      std::optional<CNamedMutex> mutex;
      const auto take = [&] { return (new CNamedMutex(name.c_str(), nullptr, false))->lock(0, false) == 1; };
      KillChildHolding(take, [&] {
        mutex.emplace(name.c_str(), nullptr, false);  // before the holder dies
        EXPECT_STREQ(mutex->getErrorText(), "CNamedMutex(): Mutex was opened. lockCount = 0");
        EXPECT_EQ(mutex->lock(0, false), -1);
      });
      ASSERT_TRUE(mutex.has_value());
      if (accept) {
        EXPECT_EQ(mutex->lock(static_cast<int>(kWaitLimitMs), true), 1);
        EXPECT_EQ(mutex->getErrorCode(), 0);
        EXPECT_STREQ(mutex->getErrorText(), "lock(): mutex acquired successfully.");
        EXPECT_EQ(mutex->lock(0, false), 2);  // recursive, and no longer abandoned
        EXPECT_EQ(mutex->unlock(), 1);
      } else {
        EXPECT_EQ(mutex->lock(static_cast<int>(kWaitLimitMs), false), -1);
        EXPECT_EQ(mutex->getErrorCode(), -3);
        EXPECT_STREQ(mutex->getErrorText(), "lock(): Acquired mutex is ABANDONED");
        // Counted as acquired all the same: this thread holds it now.
        EXPECT_EQ(mutex->getLockCount(), 1u);
        EXPECT_EQ(LockFromOtherThread(*mutex, 0).first, -1);
      }
      EXPECT_EQ(mutex->unlock(), 0);
      EXPECT_EQ(mutex->getErrorCode(), 0);
      EXPECT_EQ(LockFromOtherThread(*mutex, 0), std::make_pair(1, 0));  // an ordinary mutex again
    }
    EXPECT_FALSE(SegmentExists(name));
  }
}

}  // namespace
