// The process log against spdlog:
// - a message dropped by the level filter (EvDebug::DebugLvl above the
//   level, spdlog's logger->debug below its level);
// - lines written per second, 1 and 4 threads, every line reaching the file
//   before the call returns (spdlog: basic_file_sink_mt with flush_on(trace)).

#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <stdlib.h>
#include <sys/mman.h>

#include <filesystem>
#include <memory>
#include <string>

#include "RatioReporter.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/LogControlBlock.h"

namespace {

std::string& Folder() {
  static std::string folder = [] {
    std::string pattern = "/tmp/zn_bench_log.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

EvDebug& OpenLog() {
  static EvDebug log = [] {
    // No rollover while measuring: spdlog's basic sink has none either.
    zn::LogSettings::SetNumber("EventManager", "zntest_MAXLOGFILESIZE", 1000000);
    EvDebug handle;
    if (!handle.initialize(EvDebug::getLogId("zntest"), 0, Folder().c_str(), false)) std::abort();
    handle.setDebugLevel(1);
    return handle;
  }();
  return log;
}

std::shared_ptr<spdlog::logger> OpenSpdlog() {
  static std::shared_ptr<spdlog::logger> logger = [] {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(Folder() + "/spdlog.log", true);
    auto created = std::make_shared<spdlog::logger>("bench", sink);
    created->set_level(spdlog::level::info);
    created->flush_on(spdlog::level::trace);
    return created;
  }();
  return logger;
}

void BM_LogFilter_EvDebug(benchmark::State& state) {
  EvDebug& log = OpenLog();
  int value = 0;
  for (auto _ : state) {
    log.DebugLvl("Bench::Filter", 5, "dropped message [%d] [%s]", value++, "text");
  }
  benchmark::DoNotOptimize(value);
}

void BM_LogFilter_spdlog(benchmark::State& state) {
  auto logger = OpenSpdlog();
  int value = 0;
  for (auto _ : state) {
    logger->debug("dropped message [{}] [{}]", value++, "text");
  }
  benchmark::DoNotOptimize(value);
}

void BM_LogWrite_EvDebug(benchmark::State& state) {
  EvDebug& log = OpenLog();
  int value = 0;
  for (auto _ : state) {
    log.DebugLvl("Bench::Write", 1, "Processed item [%d] of job [%s] in [%d] ms", value++, "backup-42", 17);
  }
  state.counters["lines"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void BM_LogWrite_spdlog(benchmark::State& state) {
  auto logger = OpenSpdlog();
  int value = 0;
  for (auto _ : state) {
    logger->info("Processed item [{}] of job [{}] in [{}] ms", value++, "backup-42", 17);
  }
  state.counters["lines"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LogFilter_EvDebug);
BENCHMARK(BM_LogFilter_spdlog);
BENCHMARK(BM_LogWrite_EvDebug)->Threads(1)->UseRealTime();
BENCHMARK(BM_LogWrite_spdlog)->Threads(1)->UseRealTime();
BENCHMARK(BM_LogWrite_EvDebug)->Threads(4)->UseRealTime();
BENCHMARK(BM_LogWrite_spdlog)->Threads(4)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"dropped message (level filter)", "BM_LogFilter_EvDebug", "BM_LogFilter_spdlog", ""},
          {"lines/s, 1 thread, each line in the file", "BM_LogWrite_EvDebug/real_time/threads:1",
           "BM_LogWrite_spdlog/real_time/threads:1", "lines"},
          {"lines/s, 4 threads, each line in the file", "BM_LogWrite_EvDebug/real_time/threads:4",
           "BM_LogWrite_spdlog/real_time/threads:4", "lines"},
      });
  // The log's shared state under /dev/shm goes with its folder.
  ::shm_unlink(yq::LogControlBlock::SharedMemoryName(Folder() + "/zntest.log").c_str());
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return rc;
}
