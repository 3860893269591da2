// The cost of an injection check. A component asks at every point where it
// could fail, so a check where injection is off (GetContext gave null) must
// cost next to nothing: under 5 ns. Where it is on, a draw of the context's
// twister under its lock, against the same draw written plainly (std::mutex,
// std::mt19937, std::generate_canonical).

#include <benchmark/benchmark.h>
#include <stdlib.h>

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

void BM_InjectError_Off(benchmark::State& state) {
  CErrorInjector& injector = CErrorInjector::Get();
  CErrorInjector::CContext* context = injector.GetContext("bench.off");
  if (context != nullptr) std::abort();
  for (auto _ : state) {
    benchmark::DoNotOptimize(context);
    benchmark::DoNotOptimize(injector.InjectError(context));
  }
}

void BM_InjectError_On(benchmark::State& state) {
  CErrorInjector& injector = CErrorInjector::Get();
  CErrorInjector::CContext* context = injector.GetContext("bench.on");
  if (context == nullptr) std::abort();
  for (auto _ : state) benchmark::DoNotOptimize(injector.InjectError(context));
  injector.ReleaseContext(context);
}

void BM_PlainDraw_UnderMutex(benchmark::State& state) {
  std::mutex lock;
  std::mt19937 generator(std::random_device{}());
  const double probability = 0.001;
  for (auto _ : state) {
    double draw;
    {
      std::lock_guard<std::mutex> guard(lock);
      draw = std::generate_canonical<double, std::numeric_limits<double>::digits>(generator);
    }
    benchmark::DoNotOptimize(probability > draw);
  }
}

BENCHMARK(BM_InjectError_Off);
BENCHMARK(BM_InjectError_On);
BENCHMARK(BM_PlainDraw_UnderMutex);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("ZN_CONFIG_STORE", (Folder() + "/config.db").c_str(), 1);
  ::setenv("ZN_FOCUS", "Instance001", 1);
  ZNPI_Focus::reload();
  zn::LogSettings::SetNumber("EventManager", "bench.on_ErrorInjectionEnabled", 1);
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"injection check, context on vs plain locked draw", "BM_InjectError_On", "BM_PlainDraw_UnderMutex", ""},
      });
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return rc;
}
