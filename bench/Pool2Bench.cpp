// The second thread pool against boost::asio's, same worker count, same
// input: batches of 1,000,000 small work items (one counter increment
// each) queued by 1 or 4 producer threads and run to the end of the batch.
// The figure is items per second.

#include <benchmark/benchmark.h>

#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>

#include "ItemBatch.h"
#include "RatioReporter.h"
#include "zn/pool/ZnThreadPool2.h"

namespace {

constexpr int kWorkers = 4;
zn::bench::ItemBatch g_batch(1000000);

void SmallItem(void*) { g_batch.itemDone(); }


void BM_ZnThreadPool2(benchmark::State& state) {
  ZnThreadPool2 pool;
  pool.initThreadPool("bench2", 60, kWorkers, kWorkers, kWorkers);
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) g_batch.run(producers, [&] { pool.doWork(&SmallItem, nullptr); });
  g_batch.report(state);
}

void BM_asio(benchmark::State& state) {
  boost::asio::thread_pool pool(kWorkers);
  const int producers = static_cast<int>(state.range(0));
  for (auto _ : state) g_batch.run(producers, [&] { boost::asio::post(pool, [] { SmallItem(nullptr); }); });
  g_batch.report(state);
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
