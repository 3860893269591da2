// ZnSafeFlags and its helpers, ZnAtomicU64_t, ZnAtomicBitwiseOpts_t and
// ZNCritSect: values, return conventions and wake-ups.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <utility>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zn/sync/ZNCritSect.h"
#include "zn/sync/ZnAtomic.h"
#include "zn/sync/ZnSafeFlags.h"

namespace {

using namespace zn::test;

// Long enough never to run out while a change is on its way; a change that
// does not broadcast makes the wait run out and the test fail.
constexpr unsigned long kWakeLimitMs = 10000;

TEST(ZnSafeFlags, EveryChangeWakesAThreadWaitingOnTheMonitor) {
  ZnSafeFlags flags(0);
  const std::vector<std::pair<std::function<void()>, int>> steps = {
      {[&] { flags = 5; }, 5},   {[&] { ++flags; }, 6},     {[&] { flags++; }, 7},
      {[&] { --flags; }, 6},     {[&] { flags--; }, 5},     {[&] { flags += 10; }, 15},
      {[&] { flags -= 5; }, 10}, {[&] { flags &= 2; }, 2},  {[&] { flags |= 1; }, 3},
  };
  std::atomic<int> awaiting{-1};  // the step the waiter is waiting for
  std::atomic<bool> ranOut{false};
  auto waiter = std::async(std::launch::async, [&] {
    ZnMonitorLock lock(&flags);
    for (int i = 0; i < static_cast<int>(steps.size()) && !ranOut; ++i) {
      awaiting = i;
      while (flags.raw() != steps[i].second) {
        if (!flags.wait(kWakeLimitMs)) {
          ranOut = true;
          break;
        }
      }
    }
    awaiting = static_cast<int>(steps.size());
  });
  for (int i = 0; i < static_cast<int>(steps.size()) && !ranOut; ++i) {
    ASSERT_TRUE(PollUntil([&] { return awaiting.load() == i; }));
    // The change needs the monitor, which the waiter only gives up inside
    // wait(): the change cannot slip in before the waiter sleeps.
    steps[i].first();
  }
  ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
  EXPECT_FALSE(ranOut.load()) << "a change did not wake the waiter; stuck at step " << awaiting.load();
  EXPECT_EQ(flags.value(), 3);
}

TEST(ZnSafeFlagsInc, AddsForItsLifetimeAndWakesWaiters) {
  ZnSafeFlags flags(10);
  ZnSafeFlags other(0);
  {
    ZnSafeFlagsInc inc(&flags, 3);
    EXPECT_EQ(flags.value(), 13);
    inc.reset(&other, 4);
    EXPECT_EQ(flags.value(), 10);
    EXPECT_EQ(other.value(), 4);
  }
  EXPECT_EQ(flags.value(), 10);
  EXPECT_EQ(other.value(), 0);

  // A plain int under a separate monitor, or under none.
  int counter = 1;
  ZnMonitor monitor;
  {
    ZnSafeFlagsInc inc(&counter, &monitor, 4);
    ZnSafeFlagsInc unguarded(&counter, nullptr, 2);
    EXPECT_EQ(counter, 7);
  }
  EXPECT_EQ(counter, 1);
  { ZnSafeFlagsInc none(nullptr, 3); }

  // The typical use: count busy workers; a thread waits for zero.
  auto busy = std::make_unique<ZnSafeFlagsInc>(&other, 1);
  std::atomic<bool> waiting{false};
  auto waiter = std::async(std::launch::async, [&] {
    ZnMonitorLock lock(&other);
    waiting = true;
    while (other.raw() != 0) {
      if (!other.wait(kWakeLimitMs)) return false;
    }
    return true;
  });
  ASSERT_TRUE(PollUntil([&] { return waiting.load(); }));
  EXPECT_EQ(waiter.wait_for(kStaysBlocked), kPending);
  busy.reset();  // the decrement broadcasts
  ASSERT_EQ(waiter.wait_for(kWaitLimit), kReady);
  EXPECT_TRUE(waiter.get());
}

TEST(ZnSafeFlagsController, PutsTheValueBackWhenItChanged) {
  ZnSafeFlags flags(1);
  {
    ZnSafeFlagsController controller(&flags, 1);
    flags = 4;
  }
  EXPECT_EQ(flags.value(), 1);
  { ZnSafeFlagsController controller(&flags, 9); }
  EXPECT_EQ(flags.value(), 9);
  { ZnSafeFlagsController none(nullptr, 2); }
}

TEST(ZnAtomicU64, PrefixGivesTheNewValueAndPostfixTheOld) {
  ZnAtomicU64_t a(5);
  EXPECT_EQ(++a, 6);
  EXPECT_EQ(a++, 6);
  EXPECT_EQ(--a, 6);
  EXPECT_EQ(a--, 6);
  EXPECT_EQ(a.value(), 5);
  constexpr long long kBig = 1LL << 40;  // beyond 32 bits
  EXPECT_EQ(a += kBig, kBig + 5);
  ZnAtomicU64_t b(5);
  EXPECT_EQ(a -= b, kBig);
  a = b;
  ++b;
  EXPECT_EQ(a.value(), 5);  // a copy of the value, not a link
  a = -7;
  EXPECT_EQ(a--, -7);
  EXPECT_EQ(a.value(), -8);
}

TEST(ZnAtomicBitwiseOpts, BitsAreTakenModulo32) {
  ZnAtomicBitwiseOpts_t bits;
  EXPECT_EQ(bits.test_and_set_bit(3), 0u);
  EXPECT_EQ(bits.test_and_set_bit(3), 8u);  // the masked previous bit
  EXPECT_EQ(bits.test_bit(35), 8u);         // 35 mod 32 = 3
  EXPECT_EQ(bits.test_bit(4), 0u);
  bits.set_bit(32);  // bit 0
  bits.set_bit(31);
  EXPECT_EQ(bits.value(), 0x80000009u);
  EXPECT_EQ(bits.test_and_set_bit(95), 0x80000000u);
  EXPECT_EQ(bits.test_and_clear_bit(67), 8u);  // bit 3
  EXPECT_EQ(bits.test_and_clear_bit(3), 0u);
  bits.clear_bit(64);
  bits.clear_bit(5);  // clearing a clear bit changes nothing
  EXPECT_EQ(bits.value(), 0x80000000u);
}

TEST(ZNCritSect, LocksRecursivelyAndExcludesOthers) {
  ZNCritSect section;
  EXPECT_EQ(section.lock(), 0);
  EXPECT_EQ(section.lock(), 0);
  auto other = std::async(std::launch::async, [&] {
    section.lock();
    return section.unlock();
  });
  EXPECT_EQ(section.unlock(), 0);
  EXPECT_EQ(other.wait_for(kStaysBlocked), kPending);
  EXPECT_EQ(section.unlock(), 0);
  ASSERT_EQ(other.wait_for(kWaitLimit), kReady);
  EXPECT_EQ(other.get(), 0);
}

}  // namespace
