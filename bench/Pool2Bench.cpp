// The second thread pool against boost::asio's, same worker count, same
// input: batches of 1,000,000 small work items (one counter increment
// each) queued by 1 or 4 producer threads and run to the end of the batch.
// The figure is items per second.

#include <benchmark/benchmark.h>

#include <atomic>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <thread>
#include <vector>

#include "RatioReporter.h"
#include "zn/pool/ZnThreadPool2.h"

namespace {

constexpr int kWorkers = 4;
constexpr int kBatch = 1000000;

std::atomic<int> g_done{0};

void SmallItem(void*) { g_done.fetch_add(1, std::memory_order_relaxed); }

void WaitForBatch(int total) {
  while (g_done.load(std::memory_order_relaxed) < total) std::this_thread::yield();
}

// Runs `post()` kBatch times split over `producers` threads.
template <typename Post>
void RunBatch(int producers, Post&& post) {
  g_done.store(0);
  std::vector<std::thread> threads;
  for (int p = 0; p < producers; ++p) {
    threads.emplace_back([&] {
      for (int i = 0; i < kBatch / producers; ++i) post();
    });
  }
  for (std::thread& thread : threads) thread.join();
  WaitForBatch(kBatch);
}

void Report(benchmark::State& state) {
  state.counters["items"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBatch, benchmark::Counter::kIsRate);
}

void BM_ZnThreadPool2(benchmark::State& state) {
  ZnThreadPool2 pool;
  pool.initThreadPool("bench2", 60, kWorkers, kWorkers, kWorkers);
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) RunBatch(producers, [&] { pool.doWork(&SmallItem, nullptr); });
  Report(state);
}

void BM_asio(benchmark::State& state) {
  boost::asio::thread_pool pool(kWorkers);
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) RunBatch(producers, [&] { boost::asio::post(pool, [] { SmallItem(nullptr); }); });
  Report(state);
  pool.join();
}

BENCHMARK(BM_ZnThreadPool2)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_asio)->Arg(1)->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"items/s, 1M items, 1 producer", "BM_ZnThreadPool2/1/real_time", "BM_asio/1/real_time", "items"},
          {"items/s, 1M items, 4 producers", "BM_ZnThreadPool2/4/real_time", "BM_asio/4/real_time", "items"},
      });
}
