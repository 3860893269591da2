// The thread pool against boost::asio's, same worker count, same input:
// batches of empty work items queued by 1 or 4 producer threads and run
// to the end of the batch.
// - serial id 0 (any order, in parallel) against asio::thread_pool;
// - one serial id above 0 (one at a time, in order) against a strand of
//   an asio::thread_pool.
// The figure is items per second; the pool's cost per item is its inverse.

#include <benchmark/benchmark.h>

#include <atomic>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <thread>
#include <vector>

#include "RatioReporter.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

constexpr int kWorkers = 4;
constexpr int kBatch = 20000;

std::atomic<int> g_done{0};

unsigned int EmptyItem(void*) {
  g_done.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

void WaitForBatch(int total) {
  while (g_done.load(std::memory_order_relaxed) < total) std::this_thread::yield();
}

// Runs `post(n)` for kBatch items split over `producers` threads.
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

// One pool for the whole run, as a service keeps one.
ZnThreadPool& Pool() {
  static ZnThreadPool pool;
  static const bool initialized = pool.initThreadPool("bench", 60, kWorkers, kWorkers, kWorkers);
  (void)initialized;
  return pool;
}

void BM_Parallel_ZnThreadPool(benchmark::State& state) {
  ZnThreadPool& pool = Pool();
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) RunBatch(producers, [&] { pool.doWork(&EmptyItem, nullptr); });
  Report(state);
}

void BM_Parallel_asio(benchmark::State& state) {
  boost::asio::thread_pool pool(kWorkers);
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) RunBatch(producers, [&] { boost::asio::post(pool, [] { EmptyItem(nullptr); }); });
  Report(state);
  pool.join();
}

void BM_Serial_ZnThreadPool(benchmark::State& state) {
  ZnThreadPool& pool = Pool();
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) RunBatch(producers, [&] { pool.doWork(1, &EmptyItem, nullptr, nullptr); });
  Report(state);
}

void BM_Serial_asioStrand(benchmark::State& state) {
  boost::asio::thread_pool pool(kWorkers);
  auto strand = boost::asio::make_strand(pool.get_executor());
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) RunBatch(producers, [&] { boost::asio::post(strand, [] { EmptyItem(nullptr); }); });
  Report(state);
  pool.join();
}

BENCHMARK(BM_Parallel_ZnThreadPool)->Arg(1)->Arg(4)->UseRealTime();
BENCHMARK(BM_Parallel_asio)->Arg(1)->Arg(4)->UseRealTime();
BENCHMARK(BM_Serial_ZnThreadPool)->Arg(1)->Arg(4)->UseRealTime();
BENCHMARK(BM_Serial_asioStrand)->Arg(1)->Arg(4)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"items/s, serial id 0, 1 producer", "BM_Parallel_ZnThreadPool/1/real_time", "BM_Parallel_asio/1/real_time",
           "items"},
          {"items/s, serial id 0, 4 producers", "BM_Parallel_ZnThreadPool/4/real_time", "BM_Parallel_asio/4/real_time",
           "items"},
          {"items/s, one serial id, 1 producer", "BM_Serial_ZnThreadPool/1/real_time",
           "BM_Serial_asioStrand/1/real_time", "items"},
          {"items/s, one serial id, 4 producers", "BM_Serial_ZnThreadPool/4/real_time",
           "BM_Serial_asioStrand/4/real_time", "items"},
      });
}
