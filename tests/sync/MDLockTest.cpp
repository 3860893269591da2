// MDLock, MDMutex and MDEvent: exclusion, retries, names (length and focus
// prefix), abandonment by a killed process, and lock tracking.

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/log/LogSettings.h"
#include "zn/sync/LockTracking.h"
#include "zn/sync/MDLock.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXThreadId.h"

namespace {

using namespace zn::test;

TEST(MDLock, NamedLockExcludesOtherHolders) {
  const std::string name = UniqueName("mdlock");
  {
    MDLock first(name.c_str(), false);
    MDLock second(name.c_str(), false);
    ASSERT_TRUE(first.isValid());
    ASSERT_TRUE(first.set(0));
    EXPECT_GE(first.getLastTimeAcquired(), static_cast<long long>(::time(nullptr)) - 1);
    EXPECT_EQ(first.getOwnerThread(), yq::CurrentThreadId());
    EXPECT_FALSE(second.set(30));
    EXPECT_TRUE(second.isSet());
    EXPECT_FALSE(first.set(0));  // a count of one: not recursive

    auto waiter = std::async(std::launch::async, [&] { return second.set(0xFFFFFFFFUL); });
    EXPECT_EQ(waiter.wait_for(kStaysBlocked), kPending);
    first.unset();
    EXPECT_EQ(first.getLastTimeAcquired(), 0);
    ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(waiter.get());
    second.unset();
    EXPECT_FALSE(first.isSet());
    EXPECT_TRUE(first.set(0));  // the probe gave its unit back
    first.unset();
    first.unset();  // an extra unset does not raise the count above one
    EXPECT_TRUE(first.set(0));
    EXPECT_FALSE(second.set(0));
    first.unset();
  }
  EXPECT_FALSE(SegmentExists(name));

  MDLock local;
  EXPECT_TRUE(local.set(0));
  EXPECT_FALSE(local.set(0));
  local.unset();
  EXPECT_TRUE(local.set(0));
  local.unset();
}

TEST(MDLock, SetWithRetriesStopsAfterTheTotalOrWhenReleased) {
  const std::string name = UniqueName("retry");
  {
    MDLock holder(name.c_str(), false);
    MDLock waiter(name.c_str(), false);
    ASSERT_TRUE(holder.set(0));
    auto givesUp = std::async(std::launch::async, [&] { return waiter.set(50, 200, nullptr); });
    ASSERT_EQ(givesUp.wait_for(kWaitLimit), kReady);
    EXPECT_FALSE(givesUp.get());

    auto succeeds = std::async(std::launch::async, [&] { return waiter.set(50, kWaitLimitMs, nullptr); });
    EXPECT_EQ(succeeds.wait_for(kStaysBlocked), kPending);  // retrying while held
    holder.unset();
    ASSERT_EQ(succeeds.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(succeeds.get());
    EXPECT_FALSE(holder.set(0));
    waiter.unset();

    // With a name the retries move to that lock.
    const std::string other = UniqueName("retry-other");
    ASSERT_TRUE(holder.set(0));
    EXPECT_TRUE(waiter.set(50, 200, other.c_str()));
    EXPECT_STREQ(waiter.getName(), other.c_str());
    MDLock third(other.c_str(), false);
    EXPECT_FALSE(third.set(0));
    waiter.unset();
    EXPECT_TRUE(third.set(0));
    third.unset();
    holder.unset();
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(MDLock, RetryMakesANewLockWhenTheHolderDied) {
  const std::string name = UniqueName("deadholder");
  {
    std::optional<MDLock> lock;
    KillChildHolding([&] { return (new MDLock(name.c_str(), false))->set(0); }, [&] {
      lock.emplace(name.c_str(), false);
      EXPECT_FALSE(lock->set(0));
    });
    ASSERT_TRUE(lock.has_value());
    EXPECT_FALSE(lock->set(50));  // the dead holder's unit is gone with it
    // Closing and making it again: this process is the only user left.
    EXPECT_TRUE(lock->set(50, 2000, nullptr));
    lock->unset();
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(MDLock, BadNamesMakeInvalidObjects) {
  const std::string tooLong = UniqueName("long") + std::string(1024, 'n');
  MDLock lock(tooLong.c_str(), false);
  EXPECT_FALSE(lock.isValid());
  EXPECT_FALSE(lock.set(0) || lock.set(10, 30, nullptr) || lock.isSet());
  EXPECT_FALSE(MDMutex(tooLong.c_str(), false).set(0) || MDEvent(tooLong.c_str(), false).set(0));
  EXPECT_FALSE(SegmentExists(tooLong));

  std::string longest = UniqueName("fits");  // 1023 characters still fit
  longest += std::string(1023 - longest.size(), 'f');
  {
    MDLock fits(longest.c_str(), false);
    EXPECT_TRUE(fits.set(0));
    EXPECT_TRUE(SegmentExists(longest));
    fits.unset();
  }
  EXPECT_FALSE(SegmentExists(longest));

  // A focus prefix needs a focus, and counts towards the limit.
  ZNPI_Focus::setFocus(nullptr);
  const std::string name = UniqueName("focus");
  EXPECT_FALSE(MDLock(name.c_str(), true).isValid());
  EXPECT_FALSE(MDMutex(name.c_str(), true).set(0) || MDEvent(name.c_str(), true).set(0));
  const std::string focus = "Instance" + std::to_string(::getpid());
  ZNPI_Focus::setFocus(focus.c_str());
  {
    MDMutex prefixed(name.c_str(), true);
    EXPECT_EQ(std::string(prefixed.getName()), focus + name);
    EXPECT_TRUE(SegmentExists(focus + name));
    EXPECT_FALSE(SegmentExists(name));
    EXPECT_FALSE(MDLock((name + std::string(1023 - name.size(), 'p')).c_str(), true).isValid());
  }
  EXPECT_FALSE(SegmentExists(focus + name));
  ZNPI_Focus::setFocus(nullptr);
}

TEST(MDMutex, RecursiveForItsOwnerExclusiveForOthers) {
  const std::string name = UniqueName("mdmutex");
  {
    MDMutex mine(name.c_str(), false);
    MDMutex theirs(name.c_str(), false);
    ASSERT_TRUE(mine.isValid());
    EXPECT_EQ(SegmentMode(name), 0666);
    ASSERT_TRUE(mine.set(0));
    ASSERT_TRUE(mine.set(10));
    EXPECT_FALSE(mine.isSet());  // held, but by this thread

    auto other = [&](unsigned long ms) {
      return std::async(std::launch::async, [&, ms] {
        const bool isSet = theirs.isSet();
        const bool got = theirs.set(ms);
        if (got) theirs.unset();
        return std::make_pair(isSet, got);
      });
    };
    EXPECT_EQ(other(30).get(), std::make_pair(true, false));
    mine.unset();
    EXPECT_EQ(other(0).get(), std::make_pair(true, false));  // one level still held

    auto waiting = other(0xFFFFFFFFUL);
    EXPECT_EQ(waiting.wait_for(kStaysBlocked), kPending);
    mine.unset();
    ASSERT_EQ(waiting.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(waiting.get().second);
  }
  EXPECT_FALSE(SegmentExists(name));

  MDMutex local;
  ASSERT_TRUE(local.set(0));
  auto probe = std::async(std::launch::async, [&] { return std::make_pair(local.isSet(), local.set(20)); });
  EXPECT_EQ(probe.get(), std::make_pair(true, false));
  // -1 means no limit.
  auto waiting = std::async(std::launch::async, [&] {
    const bool got = local.set(static_cast<unsigned long>(-1));
    if (got) local.unset();
    return got;
  });
  EXPECT_EQ(waiting.wait_for(kStaysBlocked), kPending);
  local.unset();
  ASSERT_EQ(waiting.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(waiting.get());
  EXPECT_FALSE(local.isSet());
}

TEST(MDMutex, AbandonedByAKilledHolderIsTakenOver) {
  // set() after the death acquires it; isSet() after the death counts it as free.
  for (const bool probeFirst : {false, true}) {
    SCOPED_TRACE(probeFirst);
    const std::string name = UniqueName("abandon");
    {
      std::optional<MDMutex> mutex;
      KillChildHolding([&] { return (new MDMutex(name.c_str(), false))->set(0); }, [&] {
        mutex.emplace(name.c_str(), false);
        EXPECT_TRUE(mutex->isSet());
        EXPECT_FALSE(mutex->set(0));
      });
      ASSERT_TRUE(mutex.has_value());
      if (probeFirst) {
        EXPECT_FALSE(mutex->isSet());
      } else {
        EXPECT_TRUE(mutex->set(1000));
        EXPECT_EQ(mutex->getOwnerThread(), yq::CurrentThreadId());
        EXPECT_TRUE(std::async(std::launch::async, [&] { return mutex->isSet(); }).get());  // really held here
        mutex->unset();
      }
      // Another thread finds it free, not held.
      EXPECT_TRUE(std::async(std::launch::async, [&] {
                    const bool got = mutex->set(0);
                    if (got) mutex->unset();
                    return got;
                  }).get());
    }
    EXPECT_FALSE(SegmentExists(name));
  }
}

TEST(MDEvent, SetMeansBusyForWaiters) {
  MDEvent event;
  EXPECT_TRUE(event.waitFree(0));
  EXPECT_TRUE(event.waitFree(0));  // manual reset: waiting does not consume
  EXPECT_TRUE(event.set(0));
  EXPECT_TRUE(event.isSet());
  EXPECT_FALSE(event.waitFree(20));

  std::vector<std::future<bool>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(std::async(std::launch::async, [&] { return event.waitFree(0xFFFFFFFFUL); }));
  }
  EXPECT_EQ(waiters[0].wait_for(kStaysBlocked), kPending);
  event.unset();
  for (auto& waiter : waiters) {
    ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(waiter.get());
  }
  EXPECT_FALSE(event.isSet());
}

TEST(LockTracking, RecordsHeldLocksWhenLogLocksIsSet) {
  using zn::LockTracking;
  using zn::LogSettings;
  LogSettings::SetNumber(LockTracking::kMachineKey, "LogLocks", 1);
  if (!LockTracking::Enabled()) GTEST_SKIP() << "this process read LogLocks before the test could set it";
  const auto recorded = [](const std::string& name) { return LogSettings::Text(LockTracking::kLocksKey, name); };

  const std::string lockName = UniqueName("tracked");
  const std::string mutexName = UniqueName("tracked-mutex");
  MDLock lock(lockName.c_str(), false);
  MDMutex mutex(mutexName.c_str(), false);
  const std::time_t before = ::time(nullptr);
  uint32_t tid = 0;
  std::thread([&] {
    tid = yq::CurrentThreadId();
    lock.set(0);
  }).join();

  // "<pid>:<tid>:<program>:<ctime without its line end>"
  const auto record = recorded(lockName);
  ASSERT_TRUE(record.has_value());
  char program[PATH_MAX] = {};
  ASSERT_GT(::readlink("/proc/self/exe", program, sizeof program - 1), 0);
  const std::string prefix = std::to_string(::getpid()) + ":" + std::to_string(tid) + ":" + program + ":";
  ASSERT_TRUE(record->starts_with(prefix)) << *record;
  struct tm parsed {};
  const char* end = ::strptime(record->c_str() + prefix.size(), "%a %b %d %H:%M:%S %Y", &parsed);
  ASSERT_TRUE(end != nullptr && *end == '\0') << *record;
  parsed.tm_isdst = -1;
  EXPECT_GE(::mktime(&parsed), before - 1);
  EXPECT_LE(::mktime(&parsed), ::time(nullptr) + 1);

  ASSERT_TRUE(mutex.set(0));
  EXPECT_TRUE(recorded(mutexName).has_value());
  mutex.unset();
  EXPECT_FALSE(recorded(mutexName).has_value());
  EXPECT_TRUE(recorded(lockName).has_value());  // still held
  lock.unset();
  EXPECT_FALSE(recorded(lockName).has_value());

  // A failed set records nothing.
  MDLock holder(lockName.c_str(), false);
  ASSERT_TRUE(holder.set(0));
  LogSettings::Remove(LockTracking::kLocksKey, lockName);
  EXPECT_FALSE(lock.set(0));
  EXPECT_FALSE(recorded(lockName).has_value());
  holder.unset();
}

}  // namespace
