#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <set>
#include <thread>
#include <vector>

#include "sync/SyncTestUtil.h"
#include "zuzazer/CTimeStamp.h"
#include "zuzazer/FXThreadId.h"
#include "zuzazer/LogLineFormat.h"
#include "zuzazer/YqSleep.h"

namespace {

constexpr unsigned long long kUnixEpochFileTime = 116444736000000000ULL;

void UseTimeZone(const char* tz) {
  ::setenv("TZ", tz, 1);
  ::tzset();
}

TEST(CTimeStamp, FileTimeConversion) {
  EXPECT_EQ(CTimeStamp::FromFileTime(kUnixEpochFileTime), CTimeStamp());
  EXPECT_EQ(CTimeStamp::FromFileTime(kUnixEpochFileTime + 1).AsUnixNanoseconds(), 100);
  // 2021-01-01 00:00:00 UTC.
  const CTimeStamp newYear = CTimeStamp::FromFileTime(132539328000000000ULL);
  EXPECT_EQ(newYear.AsUnixSeconds(), 1609459200);
  EXPECT_EQ(CTimeStamp::FromUnixSeconds(1609459200).AsFileTime(), 132539328000000000ULL);
  EXPECT_EQ(CTimeStamp::FromFileTime(130000000000000007ULL).AsFileTime(), 130000000000000007ULL);
  // Before 1970 the seconds round down, not towards zero.
  EXPECT_EQ(CTimeStamp::FromUnixNanoseconds(-1).AsUnixSeconds(), -1);
  EXPECT_EQ(CTimeStamp::FromUnixNanoseconds(-1000000000).AsUnixSeconds(), -1);
  EXPECT_EQ(CTimeStamp::FromUnixNanoseconds(-1000000001).AsUnixSeconds(), -2);
  EXPECT_EQ(CTimeStamp::FromFileTime(kUnixEpochFileTime - 10000000).AsUnixSeconds(), -1);
  // Outside the nanosecond range (FILETIME 0 among them) the ends are kept.
  EXPECT_EQ(CTimeStamp::FromFileTime(0).AsUnixNanoseconds(), std::numeric_limits<long long>::min());
  EXPECT_EQ(CTimeStamp::FromFileTime(~0ULL).AsUnixNanoseconds(), std::numeric_limits<long long>::max());
}

TEST(CTimeStamp, ArithmeticAndIntervals) {
  const CTimeStamp a = CTimeStamp::FromUnixSeconds(1000);
  const CTimeStamp b = a + CTimeInterval::FromMilliseconds(2500);
  EXPECT_EQ((b - a).AsSeconds(), 2);
  EXPECT_EQ((a - b).AsMilliseconds(), -2500);
  EXPECT_LT(a, b);
  EXPECT_EQ(b - CTimeInterval::FromMilliseconds(2500), a);
  EXPECT_EQ(CTimeInterval::FromMilliseconds(1999).AsSeconds(), 1);
  EXPECT_EQ(CTimeInterval::FromNanoseconds(1999999).AsMilliseconds(), 1);
  EXPECT_EQ((CTimeInterval::FromSeconds(1) - CTimeInterval::FromMilliseconds(1)).AsMilliseconds(), 999);
  EXPECT_GT(CTimeInterval::FromSeconds(1), CTimeInterval::FromMilliseconds(999));
  // 180 days in nanoseconds does not overflow.
  EXPECT_EQ(CTimeInterval::FromSeconds(15552000).AsSeconds(), 15552000);

  const auto before = std::chrono::system_clock::now();
  const CTimeStamp now = CTimeStamp::Now();
  const auto after = std::chrono::system_clock::now();
  EXPECT_LE(CTimeStamp::FromTimePoint(before), now);
  EXPECT_LE(now, CTimeStamp::FromTimePoint(after));
}

TEST(CTimeStamp, LocalTextsFollowTheTimeZone) {
  const CTimeStamp t = CTimeStamp::FromUnixSeconds(1609459200 + 3661);  // 01:01:01 UTC
  UseTimeZone("UTC0");
  EXPECT_EQ(t.AsLocalCompactString(), "20210101010101");
  EXPECT_EQ(t.AsLocalDateTimeString(), "2021-01-01 01:01:01");
  UseTimeZone("XST+5");  // five hours west: the day before
  EXPECT_EQ(t.AsLocalCompactString(), "20201231200101");
  EXPECT_EQ(t.AsLocalDateTimeString(), "2020-12-31 20:01:01");
  ::unsetenv("TZ");
  ::tzset();
}

std::atomic<int> g_signals{0};
void CountSignal(int) { ++g_signals; }

TEST(YqSleep, SleepsAtLeastTheTimeEvenWhenInterrupted) {
  struct sigaction action {};
  action.sa_handler = &CountSignal;  // no SA_RESTART: nanosleep returns EINTR
  ASSERT_EQ(::sigaction(SIGUSR1, &action, nullptr), 0);
  const pthread_t sleeper = ::pthread_self();
  std::atomic<bool> done{false};
  std::thread interrupter([&] {
    for (int i = 0; i < 200 && !done.load(); ++i) {
      ::pthread_kill(sleeper, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  YQSLEEP(150);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  done = true;
  interrupter.join();
  ::signal(SIGUSR1, SIG_DFL);
  EXPECT_GE(elapsed, std::chrono::milliseconds(150));
  EXPECT_GT(g_signals.load(), 0);
}

TEST(FXThreadId, IsTheKernelIdPerThreadAndAfterFork) {
  EXPECT_EQ(yq::CurrentThreadId(), static_cast<uint32_t>(::gettid()));
  std::vector<uint32_t> ids(4);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    threads.emplace_back([&ids, i] {
      ids[i] = yq::CurrentThreadId();
      if (ids[i] != static_cast<uint32_t>(::gettid())) ids[i] = 0;
    });
  }
  for (auto& thread : threads) thread.join();
  const std::set<uint32_t> distinct(ids.begin(), ids.end());
  EXPECT_EQ(distinct.size(), ids.size());
  EXPECT_EQ(distinct.count(0), 0u);
  EXPECT_EQ(distinct.count(yq::CurrentThreadId()), 0u);

  // The cached ids must not leak into a forked child.
  EXPECT_EQ(yq::CachedProcessId(), static_cast<long>(::getpid()));
  zn::test::ChildProcess child([] {
    return yq::CurrentThreadId() == static_cast<uint32_t>(::gettid()) &&
                   yq::CachedProcessId() == static_cast<long>(::getpid())
               ? 0
               : 1;
  });
  EXPECT_EQ(child.wait(), 0);
}

}  // namespace
