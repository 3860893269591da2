// ZnSemaphore and ZnEvent inside one process: argument checks, counting,
// the maximum, time-outs and the two reset modes.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/error/ZnException.h"
#include "zn/sync/ZnSemaphore.h"

namespace {

using namespace zn::test;

void ExpectZnReleaseFails(ZnSemaphore& sem) {
  try {
    sem.release(1);
    ADD_FAILURE() << "release past the maximum did not throw";
  } catch (const ZnException& e) {
    EXPECT_STREQ(e.getFuncName(), "ZnSemaphore::release");
  }
}

TEST(ZnSemaphore, RejectsBadArguments) {
  const std::string name = UniqueName("badsem");
  ExpectZnException([] { ZnSemaphore s(-1); }, "ZnSemaphore", "Init value may not be negative.");
  ExpectZnException([&] { ZnSemaphore s(-1, 5, name.c_str()); }, "ZnSemaphore", "Init value may not be negative.");
  ExpectZnException([&] { ZnSemaphore s(0, -1, name.c_str()); }, "ZnSemaphore", "Max value may not be negative.");
  ExpectZnException([] { ZnSemaphore s(0, -1, nullptr); }, "ZnSemaphore", "Max value may not be negative.");
  EXPECT_FALSE(SegmentExists(name));  // nothing was made on the way

  ZnSemaphore sem(1);
  ExpectZnException([&] { sem.release(0); }, "ZnSemaphore::release", "Increment must be positive.");
  ExpectZnException([&] { sem.release(-3); }, "ZnSemaphore::release", "Increment must be positive.");
  EXPECT_TRUE(sem.wait(0));  // the rejected releases added nothing
  EXPECT_FALSE(sem.wait(0));
}

TEST(ZnSemaphore, CountsUpToItsMaximum) {
  ZnSemaphore sem(2);
  EXPECT_TRUE(sem.wait(0));
  EXPECT_TRUE(sem.wait(0));
  EXPECT_FALSE(sem.wait(0));
  sem.release(3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sem.wait(0)) << i;
  EXPECT_FALSE(sem.wait(0));

  // The unnamed maximum is 16777215.
  sem.release(ZnSemaphore::kDefaultMaximum);
  ExpectZnReleaseFails(sem);

  // An explicit maximum, and a failed release that leaves the count alone.
  ZnSemaphore two(0, 2, nullptr);
  two.release(1);
  EXPECT_THROW(two.release(2), ZnException);
  two.release(1);
  EXPECT_THROW(two.release(1), ZnException);
  EXPECT_TRUE(two.wait(0));
  EXPECT_TRUE(two.wait(0));
  EXPECT_FALSE(two.wait(0));
}

TEST(ZnSemaphore, AllOnesAndMinusOneWaitWithoutLimit) {
  // Callers pass -1 for "no limit"; with a 64-bit unsigned long that is wider
  // than 0xFFFFFFFF and must not turn into "no wait".
  constexpr unsigned long kMinusOne = static_cast<unsigned long>(-1);
  ZnSemaphore local(0);
  ZnSemaphore named(0, 1, UniqueName("minusone").c_str());
  ZnEvent event(false);
  EXPECT_FALSE(local.wait(0));
  EXPECT_FALSE(local.wait(30));
  // Each waiter is fed exactly once.
  const std::vector<std::pair<std::function<bool()>, std::function<void()>>> cases = {
      {[&] { return local.wait(0xFFFFFFFFUL); }, [&] { local.release(1); }},
      {[&] { return local.wait(kMinusOne); }, [&] { local.release(1); }},
      {[&] { return local.wait(), true; }, [&] { local.release(1); }},
      {[&] { return named.wait(kMinusOne); }, [&] { named.release(1); }},
      {[&] { return event.wait(kMinusOne); }, [&] { event.set(); }}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    auto waiter = std::async(std::launch::async, cases[i].first);
    EXPECT_EQ(waiter.wait_for(kStaysBlocked), kPending) << i;
    cases[i].second();
    ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady) << i;
    EXPECT_TRUE(waiter.get()) << i;
  }
  EXPECT_FALSE(local.wait(0) || named.wait(0) || event.wait(0));
}

TEST(ZnSemaphore, NamedObjectsShareOneCount) {
  const std::string name = UniqueName("sem");
  {
    ZnSemaphore first(1, 2, name.c_str());
    ZnSemaphore second(0, 2, name.c_str());  // opens: its own initial count is ignored
    EXPECT_EQ(SegmentMode(name), 0666);  // open to every user
    EXPECT_TRUE(second.wait(0));
    EXPECT_FALSE(first.wait(0));
    first.release(2);
    ExpectZnReleaseFails(second);  // the shared maximum is 2
  }
  EXPECT_FALSE(SegmentExists(name));
  EXPECT_FALSE(ZnSemaphore(0, 1, "").isNamed());  // an empty name: this process only
}

TEST(ZnEvent, ManualResetLetsEveryoneThroughUntilReset) {
  ZnEvent event(true);
  EXPECT_FALSE(event.wait(20));  // created not signalled

  std::vector<std::future<bool>> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.push_back(std::async(std::launch::async, [&] { return event.wait(0xFFFFFFFFUL); }));
  }
  EXPECT_EQ(waiters[0].wait_for(kStaysBlocked), kPending);
  event.set();
  for (auto& waiter : waiters) {
    ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
    EXPECT_TRUE(waiter.get());
  }
  EXPECT_TRUE(event.wait(0));  // still signalled
  event.wait();
  event.reset();
  EXPECT_FALSE(event.wait(0));
}

TEST(ZnEvent, AutomaticResetLetsOneWaiterThroughPerSet) {
  ZnEvent event(false);
  event.set();
  EXPECT_TRUE(event.wait(0));
  EXPECT_FALSE(event.wait(0));  // consumed by the first wait

  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (event.wait(kWaitLimitMs)) ++passed;
    });
  }
  event.set();
  EXPECT_TRUE(PollUntil([&] { return passed.load() == 1; }));
  std::this_thread::sleep_for(kStaysBlocked);
  EXPECT_EQ(passed.load(), 1);
  event.set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(passed.load(), 2);
  EXPECT_FALSE(event.wait(0));

  event.set();
  event.reset();  // a reset before anyone waited takes the signal back
  EXPECT_FALSE(event.wait(0));
}

}  // namespace
