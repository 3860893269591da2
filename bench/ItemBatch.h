// A batch of small work items for the pool benchmarks: `size` items posted
// by `producers` threads, each item counting itself, waited for to the
// last one. Both pools and their asio peers run the same batches.
#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zn::bench {

class ItemBatch {
 public:
  explicit ItemBatch(int size) : m_size(size) {}

  // What every item runs.
  void itemDone() { m_done.fetch_add(1, std::memory_order_relaxed); }

  // Runs `post()` `size` times split over `producers` threads, then waits
  // until every item has run.
  template <typename Post>
  void run(int producers, Post&& post) {
    m_done.store(0);
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
      threads.emplace_back([&] {
        for (int i = 0; i < m_size / producers; ++i) post();
      });
    }
    for (std::thread& thread : threads) thread.join();
    while (m_done.load(std::memory_order_relaxed) < m_size) std::this_thread::yield();
  }

  // Items per second over the state's iterations.
  void report(benchmark::State& state) const {
    state.counters["items"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * m_size, benchmark::Counter::kIsRate);
  }

 private:
  const int m_size;
  // Every item writes it; producers read the size on each round, which
  // must not share its line.
  alignas(64) std::atomic<int> m_done{0};
};

}  // namespace zn::bench
