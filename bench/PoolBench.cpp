// The thread pool against boost::asio's, same worker count, same input:
// batches of empty work items queued by 1 or 4 producer threads and run
// to the end of the batch.
// - serial id 0 (any order, in parallel) against asio::thread_pool;
// - one serial id above 0 (one at a time, in order) against a strand of
//   an asio::thread_pool.
// The figure is items per second; the pool's cost per item is its inverse.

#include <benchmark/benchmark.h>

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>

#include "ItemBatch.h"
#include "RatioReporter.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

constexpr int kWorkers = 4;
zn::bench::ItemBatch g_batch(20000);

unsigned int EmptyItem(void*) {
  g_batch.itemDone();
  return 0;
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
  for (auto _ : state) g_batch.run(producers, [&] { pool.doWork(&EmptyItem, nullptr); });
  g_batch.report(state);
}

void BM_Parallel_asio(benchmark::State& state) {
  boost::asio::thread_pool pool(kWorkers);
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) g_batch.run(producers, [&] { boost::asio::post(pool, [] { EmptyItem(nullptr); }); });
  g_batch.report(state);
  pool.join();
}

void BM_Serial_ZnThreadPool(benchmark::State& state) {
  ZnThreadPool& pool = Pool();
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) g_batch.run(producers, [&] { pool.doWork(1, &EmptyItem, nullptr, nullptr); });
  g_batch.report(state);
}

void BM_Serial_asioStrand(benchmark::State& state) {
  boost::asio::thread_pool pool(kWorkers);
  auto strand = boost::asio::make_strand(pool.get_executor());
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) g_batch.run(producers, [&] { boost::asio::post(strand, [] { EmptyItem(nullptr); }); });
  g_batch.report(state);
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
