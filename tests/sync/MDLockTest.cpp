// MDLock, MDMutex and MDEvent: exclusion, retries, names (length and focus
// prefix), abandonment by a killed process, and lock tracking.

#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <future>
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

using zn::test::ChildProcess;
using zn::test::kStaysBlocked;
using zn::test::kWaitLimit;
using zn::test::kWaitLimitMs;
using zn::test::Pipe;
using zn::test::SegmentExists;
using zn::test::UniqueName;

constexpr auto kReady = std::future_status::ready;
constexpr auto kPending = std::future_status::timeout;

TEST(MDLock, NamedLockExcludesOtherHolders) {
  const std::string name = UniqueName("mdlock");
  {
    MDLock first(name.c_str(), false);
    MDLock second(name.c_str(), false);
    ASSERT_TRUE(first.isValid());
    EXPECT_STREQ(first.getName(), name.c_str());
    EXPECT_EQ(first.getLastTimeAcquired(), 0);

    const long long before = static_cast<long long>(::time(nullptr));
    ASSERT_TRUE(first.set(0));
    const long long after = static_cast<long long>(::time(nullptr));
    EXPECT_GE(first.getLastTimeAcquired(), before);
    EXPECT_LE(first.getLastTimeAcquired(), after);
    EXPECT_EQ(first.getOwnerThread(), zn::detail::CurrentThreadId());

    EXPECT_FALSE(second.set(0));
    EXPECT_FALSE(second.set(30));
    EXPECT_TRUE(second.isSet());
    EXPECT_FALSE(first.set(0));  // a count of one: not recursive

    auto waiter = std::async(std::launch::async, [&] { return second.set(0xFFFFFFFFUL); });
    EXPECT_EQ(waiter.wait_for(kStaysBlocked), kPending);
    first.unset();
    EXPECT_EQ(first.getLastTimeAcquired(), 0);
    EXPECT_EQ(first.getOwnerThread(), 0u);
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
  EXPECT_TRUE(local.isValid());
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
    EXPECT_STREQ(waiter.getName(), name.c_str());

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
    EXPECT_TRUE(SegmentExists(other));
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
  Pipe toParent;
  ChildProcess child([&] {
    MDLock lock(name.c_str(), false);
    if (!lock.set(0)) return 2;
    toParent.send('h');
    ::pause();
    return 0;
  });
  ASSERT_TRUE(child.started());
  ASSERT_EQ(toParent.receive(), 'h');
  {
    MDLock lock(name.c_str(), false);
    EXPECT_FALSE(lock.set(0));
    child.kill();
    EXPECT_EQ(child.wait(), -SIGKILL);
    EXPECT_FALSE(lock.set(50));  // the dead holder's unit is gone with it
    // Closing and making it again: this process is the only user left.
    EXPECT_TRUE(lock.set(50, 2000, nullptr));
    lock.unset();
  }
  EXPECT_FALSE(SegmentExists(name));
}

TEST(MDLock, BadNamesMakeInvalidObjects) {
  const std::string tooLong = UniqueName("long") + std::string(1024, 'n');
  MDLock lock(tooLong.c_str(), false);
  EXPECT_FALSE(lock.isValid());
  EXPECT_FALSE(lock.set(0));
  EXPECT_FALSE(lock.set(10, 30, nullptr));
  EXPECT_FALSE(lock.isSet());
  EXPECT_FALSE(MDMutex(tooLong.c_str(), false).set(0));
  EXPECT_FALSE(MDEvent(tooLong.c_str(), false).set(0));
  EXPECT_FALSE(SegmentExists(tooLong));

  // 1023 characters still fit.
  std::string longest = UniqueName("fits");
  longest += std::string(1023 - longest.size(), 'f');
  {
    MDLock fits(longest.c_str(), false);
    ASSERT_TRUE(fits.isValid());
    EXPECT_EQ(std::string(fits.getName()).size(), 1023u);
    EXPECT_TRUE(fits.set(0));
    EXPECT_TRUE(SegmentExists(longest));
    fits.unset();
  }
  EXPECT_FALSE(SegmentExists(longest));

  // A focus prefix needs a focus.
  ZNPI_Focus::setFocus(nullptr);
  const std::string name = UniqueName("focus");
  MDLock noFocus(name.c_str(), true);
  EXPECT_FALSE(noFocus.isValid());
  EXPECT_FALSE(noFocus.set(0));
  EXPECT_FALSE(MDMutex(name.c_str(), true).set(0));
  EXPECT_FALSE(MDEvent(name.c_str(), true).set(0));

  const std::string focus = "Instance" + std::to_string(::getpid());
  ZNPI_Focus::setFocus(focus.c_str());
  {
    MDMutex prefixed(name.c_str(), true);
    ASSERT_TRUE(prefixed.isValid());
    EXPECT_EQ(std::string(prefixed.getName()), focus + name);
    EXPECT_TRUE(SegmentExists(focus + name));
    EXPECT_FALSE(SegmentExists(name));
    // The prefix counts towards the limit.
    const std::string nearlyFull = name + std::string(1023 - name.size(), 'p');
    MDLock overflows(nearlyFull.c_str(), true);
    EXPECT_FALSE(overflows.isValid());
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
    EXPECT_EQ(zn::test::SegmentMode(name), 0666);
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
    auto probe = other(30);
    ASSERT_EQ(probe.wait_for(kWaitLimit), kReady);
    EXPECT_EQ(probe.get(), std::make_pair(true, false));

    mine.unset();
    probe = other(0);
    ASSERT_EQ(probe.wait_for(kWaitLimit), kReady);
    EXPECT_EQ(probe.get(), std::make_pair(true, false));  // one level still held

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
  // -1 means no limit, as on the reference platform.
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

// A child takes the named mutex and is killed while holding it.
class AbandonedMDMutex : public ::testing::Test {
 protected:
  void SetUp() override {
    m_child = std::make_unique<ChildProcess>([this] {
      MDMutex mutex(m_name.c_str(), false);
      if (!mutex.set(0)) return 2;
      m_toParent.send('h');
      ::pause();
      return 0;
    });
    ASSERT_TRUE(m_child->started());
    ASSERT_EQ(m_toParent.receive(), 'h');
  }

  void KillHolder() {
    m_child->kill();
    EXPECT_EQ(m_child->wait(), -SIGKILL);
  }

  const std::string m_name = UniqueName("abandon");
  Pipe m_toParent;
  std::unique_ptr<ChildProcess> m_child;
};

TEST_F(AbandonedMDMutex, SetSucceeds) {
  {
    MDMutex mutex(m_name.c_str(), false);  // opened before the holder dies
    EXPECT_TRUE(mutex.isSet());
    EXPECT_FALSE(mutex.set(0));
    KillHolder();
    EXPECT_TRUE(mutex.set(1000));
    EXPECT_EQ(mutex.getOwnerThread(), zn::detail::CurrentThreadId());
    auto probe = std::async(std::launch::async, [&] { return mutex.isSet(); });
    EXPECT_TRUE(probe.get());  // really held by this thread now
    mutex.unset();
    auto taker = std::async(std::launch::async, [&] {
      const bool got = mutex.set(0);
      if (got) mutex.unset();
      return got;
    });
    EXPECT_TRUE(taker.get());
  }
  EXPECT_FALSE(SegmentExists(m_name));
}

TEST_F(AbandonedMDMutex, IsSetCountsItAsFree) {
  {
    MDMutex mutex(m_name.c_str(), false);
    KillHolder();
    EXPECT_FALSE(mutex.isSet());
    auto taker = std::async(std::launch::async, [&] {
      const bool got = mutex.set(0);
      if (got) mutex.unset();
      return got;
    });
    EXPECT_TRUE(taker.get());  // the probe left it free, not held
  }
  EXPECT_FALSE(SegmentExists(m_name));
}

TEST(MDEvent, SetMeansBusyForWaiters) {
  MDEvent event;
  ASSERT_TRUE(event.isValid());
  EXPECT_FALSE(event.isSet());
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

std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

TEST(LockTracking, RecordsHeldLocksWhenLogLocksIsSet) {
  using zn::detail::LockTracking;
  using zn::detail::LogSettings;
  LogSettings::SetNumber(LockTracking::kMachineKey, "LogLocks", 1);
  if (!LockTracking::Enabled()) GTEST_SKIP() << "this process read LogLocks before the test could set it";

  const std::string lockName = UniqueName("tracked");
  const std::string mutexName = UniqueName("tracked-mutex");
  MDLock lock(lockName.c_str(), false);
  MDMutex mutex(mutexName.c_str(), false);
  const long long before = static_cast<long long>(::time(nullptr));
  uint32_t tid = 0;
  std::thread taker([&] {
    tid = zn::detail::CurrentThreadId();
    lock.set(0);
  });
  taker.join();
  const long long after = static_cast<long long>(::time(nullptr));

  const auto record = LogSettings::Text(LockTracking::kLocksKey, lockName);
  ASSERT_TRUE(record.has_value());
  // "<pid>:<tid>:<program>:<ctime without its line end>"
  const std::string prefix = std::to_string(::getpid()) + ":" + std::to_string(tid) + ":" + ProgramPath() + ":";
  ASSERT_EQ(record->compare(0, prefix.size(), prefix), 0) << *record;
  const std::string when = record->substr(prefix.size());
  struct tm parsed {};
  const char* end = ::strptime(when.c_str(), "%a %b %d %H:%M:%S %Y", &parsed);
  ASSERT_NE(end, nullptr) << when;
  EXPECT_EQ(*end, '\0') << "trailing text in [" << when << "]";
  parsed.tm_isdst = -1;
  const long long stamp = static_cast<long long>(::mktime(&parsed));
  EXPECT_GE(stamp, before - 1);
  EXPECT_LE(stamp, after + 1);

  ASSERT_TRUE(mutex.set(0));
  EXPECT_TRUE(LogSettings::Text(LockTracking::kLocksKey, mutexName).has_value());
  mutex.unset();
  EXPECT_FALSE(LogSettings::Text(LockTracking::kLocksKey, mutexName).has_value());
  EXPECT_TRUE(LogSettings::Text(LockTracking::kLocksKey, lockName).has_value());  // still held
  lock.unset();
  EXPECT_FALSE(LogSettings::Text(LockTracking::kLocksKey, lockName).has_value());

  // A failed set records nothing.
  MDLock holder(lockName.c_str(), false);
  ASSERT_TRUE(holder.set(0));
  LogSettings::Remove(LockTracking::kLocksKey, lockName);
  EXPECT_FALSE(lock.set(0));
  EXPECT_FALSE(LogSettings::Text(LockTracking::kLocksKey, lockName).has_value());
  holder.unset();
}

}  // namespace
