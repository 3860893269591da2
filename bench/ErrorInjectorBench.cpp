// The cost of an injection check. A component asks at every point where it
// could fail, so a check where injection is off (GetContext gave null) must
// cost next to nothing: under 5 ns. Where it is on, a draw of the context's
// twister under its lock, against the same draw written plainly (std::mutex,
// std::mt19937, std::generate_canonical). Times are CPU time (the machine
// is shared and busy), measured over batches of 1000 checks and shown per
// check.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <limits>
#include <mutex>
#include <random>
#include <string>

#include "RatioReporter.h"
#include "zn/error/CErrorInjector.h"
#include "zn/log/LogSettings.h"
#include "znfocus/ZNPI_Focus.h"

namespace {

std::string& Folder() {
  static std::string folder = [] {
    std::string pattern = "/tmp/zn_bench_injector.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

constexpr int kBatch = 1000;

double ThreadCpuSeconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Runs `check` kBatch times per iteration; "ns_per_check" is the CPU time
// of one check.
template <typename Check>
void TimeChecks(benchmark::State& state, Check check) {
  double seconds = 0;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(check());
    const double batch = ThreadCpuSeconds() - start;
    seconds += batch;
    state.SetIterationTime(batch);
  }
  state.counters["ns_per_check"] = seconds * 1e9 / static_cast<double>(state.iterations() * kBatch);
}

void BM_InjectError_Off(benchmark::State& state) {
  CErrorInjector& injector = CErrorInjector::Get();
  CErrorInjector::CContext* context = injector.GetContext("bench.off");
  if (context != nullptr) std::abort();
  TimeChecks(state, [&] {
    benchmark::DoNotOptimize(context);
    return injector.InjectError(context);
  });
}

void BM_InjectError_On(benchmark::State& state) {
  CErrorInjector& injector = CErrorInjector::Get();
  CErrorInjector::CContext* context = injector.GetContext("bench.on");
  if (context == nullptr) std::abort();
  TimeChecks(state, [&] { return injector.InjectError(context); });
  injector.ReleaseContext(context);
}

void BM_PlainDraw_UnderMutex(benchmark::State& state) {
  std::mutex lock;
  std::mt19937 generator(std::random_device{}());
  const double probability = 0.001;
  TimeChecks(state, [&] {
    std::lock_guard<std::mutex> guard(lock);
    return probability > std::generate_canonical<double, std::numeric_limits<double>::digits>(generator);
  });
}

BENCHMARK(BM_InjectError_Off)->UseManualTime();
BENCHMARK(BM_InjectError_On)->UseManualTime();
BENCHMARK(BM_PlainDraw_UnderMutex)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  ::setenv("ZN_CONFIG_STORE", (Folder() + "/config.db").c_str(), 1);
  ::setenv("ZN_FOCUS", "Instance001", 1);
  ZNPI_Focus::reload();
  zn::LogSettings::SetNumber("EventManager", "bench.on_ErrorInjectionEnabled", 1);
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"injection check, context on vs plain locked draw", "BM_InjectError_On/manual_time",
           "BM_PlainDraw_UnderMutex/manual_time", ""},
      });
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return rc;
}
