// The library's locks against the standard ones:
// - uncontended enter+leave of ZnCriticalSection and ZnMonitor against
//   std::recursive_mutex;
// - read lock+unlock of ZnRW against std::shared_mutex;
// - 2 threads handing a turn back and forth: ZnMonitor wait/broadcast
//   against std::mutex with std::condition_variable.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "RatioReporter.h"
#include "zn/sync/ZnSync.h"

namespace {

void BM_Uncontended_ZnCriticalSection(benchmark::State& state) {
  ZnCriticalSection cs;
  for (auto _ : state) {
    cs.enter(true);
    cs.leave();
  }
}

void BM_Uncontended_ZnMonitor(benchmark::State& state) {
  ZnMonitor monitor;
  for (auto _ : state) {
    monitor.enter();
    monitor.leave();
  }
}

void BM_Uncontended_recursive_mutex(benchmark::State& state) {
  std::recursive_mutex mutex;
  for (auto _ : state) {
    mutex.lock();
    mutex.unlock();
  }
}

void BM_ReadLock_ZnRW(benchmark::State& state) {
  ZnRW rw;
  for (auto _ : state) {
    rw.readLock();
    rw.readUnlock();
  }
}

void BM_ReadLock_shared_mutex(benchmark::State& state) {
  std::shared_mutex mutex;
  for (auto _ : state) {
    mutex.lock_shared();
    mutex.unlock_shared();
  }
}

// One iteration is one round trip: this thread hands the turn over and
// waits until it comes back.
constexpr int kRounds = 20000;

void BM_HandOff_ZnMonitor(benchmark::State& state) {
  for (auto _ : state) {
    ZnMonitor monitor;
    int turn = 0;
    std::thread partner([&] {
      for (int i = 0; i < kRounds; ++i) {
        ZnMonitorLock lock(&monitor);
        while (turn != 1) monitor.wait();
        turn = 0;
        monitor.broadcast();
      }
    });
    for (int i = 0; i < kRounds; ++i) {
      ZnMonitorLock lock(&monitor);
      turn = 1;
      monitor.broadcast();
      while (turn != 0) monitor.wait();
    }
    partner.join();
  }
  state.SetItemsProcessed(state.iterations() * kRounds);
}

void BM_HandOff_std(benchmark::State& state) {
  for (auto _ : state) {
    std::mutex mutex;
    std::condition_variable condition;
    int turn = 0;
    std::thread partner([&] {
      for (int i = 0; i < kRounds; ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        condition.wait(lock, [&] { return turn == 1; });
        turn = 0;
        condition.notify_all();
      }
    });
    for (int i = 0; i < kRounds; ++i) {
      std::unique_lock<std::mutex> lock(mutex);
      turn = 1;
      condition.notify_all();
      condition.wait(lock, [&] { return turn == 0; });
    }
    partner.join();
  }
  state.SetItemsProcessed(state.iterations() * kRounds);
}

BENCHMARK(BM_Uncontended_ZnCriticalSection);
BENCHMARK(BM_Uncontended_ZnMonitor);
BENCHMARK(BM_Uncontended_recursive_mutex);
BENCHMARK(BM_ReadLock_ZnRW);
BENCHMARK(BM_ReadLock_shared_mutex);
BENCHMARK(BM_HandOff_ZnMonitor)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HandOff_std)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"enter+leave, ZnCriticalSection vs std::recursive_mutex", "BM_Uncontended_ZnCriticalSection",
           "BM_Uncontended_recursive_mutex", ""},
          {"enter+leave, ZnMonitor vs std::recursive_mutex", "BM_Uncontended_ZnMonitor",
           "BM_Uncontended_recursive_mutex", ""},
          {"read lock+unlock, ZnRW vs std::shared_mutex", "BM_ReadLock_ZnRW", "BM_ReadLock_shared_mutex", ""},
          {"2-thread hand-off (20000 round trips)", "BM_HandOff_ZnMonitor/real_time", "BM_HandOff_std/real_time", ""},
      });
}
