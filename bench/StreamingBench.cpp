// A log line written while streaming to the scale-out service is set up
// but suspended on the writing thread (EvDebugZnScaleSuspendStreaming),
// against the same line in a process without streaming: what the line hook
// costs a line that is not streamed. Also, for scale, a line that is
// streamed (the stand-in service appends it to its own file).
//
// Both write the line to the log file before the call returns, as every
// EvDebug line does. Times are the writing thread's CPU time (system time
// included) per batch of 32 lines, which a shared, busy machine disturbs
// far less than wall time; BM_Line_Paired alternates the two cases batch
// by batch inside one run and reports their ratio.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>

#include <filesystem>
#include <string>

#include "RatioReporter.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/LogControlBlock.h"

namespace {

std::string& Folder() {
  static std::string folder = [] {
    std::string pattern = "/tmp/zn_bench_streaming.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

EvDebug& OpenLog() {
  static EvDebug log = [] {
    zn::LogSettings::SetNumber("EventManager", "zntest_MAXLOGFILESIZE", 1000000);  // no rollover while measuring
    const std::string lib = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib";
    zn::LogSettings::Set("Base", "dBASEHOME", lib);
    EvDebug handle;
    if (!handle.initialize(EvDebug::getLogId("zntest"), 0, Folder().c_str(), false)) std::abort();
    handle.setDebugLevel(1);
    std::filesystem::create_directory(Folder() + "/stream");
    handle.streamLogsTo((Folder() + "/stream").c_str());
    if (!EvDebug::flushZnScaleLogs(0)) std::abort();  // the service is there
    return handle;
  }();
  return log;
}

constexpr int kBatch = 32;

double ThreadCpuSeconds() {
  struct timespec now;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Writes one batch of lines; its CPU time in seconds.
double WriteBatch(EvDebug& log, int& value) {
  const double start = ThreadCpuSeconds();
  for (int i = 0; i < kBatch; ++i) {
    log.DebugLvl("Bench::Line", 1, "Processed item [%d] of job [%s] in [%d] ms", value++, "backup-42", 17);
  }
  return ThreadCpuSeconds() - start;
}

void WriteLines(benchmark::State& state) {
  EvDebug& log = OpenLog();
  int value = 0;
  for (auto _ : state) state.SetIterationTime(WriteBatch(log, value));
  state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_Line_StreamingSuspended(benchmark::State& state) {
  OpenLog();
  EvDebug::forceZnScaleStreaming();  // the hook back in place after the peer took it out
  EvDebugZnScaleSuspendStreaming suspended;
  WriteLines(state);
}

void BM_Line_NoStreaming(benchmark::State& state) {
  OpenLog();
  CYqLogger::SetLogMessageHook(nullptr);  // as in a process that never set streaming up
  WriteLines(state);
}

void BM_Line_Streamed(benchmark::State& state) {
  OpenLog();
  EvDebug::forceZnScaleStreaming();
  WriteLines(state);
}

// The two cases alternated, so the machine's load falls on both alike:
// "ratio" is the suspended case's CPU time over the case without streaming.
void BM_Line_Paired(benchmark::State& state) {
  EvDebug& log = OpenLog();
  int value = 0;
  double suspendedSeconds = 0;
  double plainSeconds = 0;
  for (auto _ : state) {
    EvDebug::forceZnScaleStreaming();
    {
      EvDebugZnScaleSuspendStreaming suspended;
      suspendedSeconds += WriteBatch(log, value);
    }
    CYqLogger::SetLogMessageHook(nullptr);
    plainSeconds += WriteBatch(log, value);
  }
  state.counters["ratio"] = plainSeconds > 0 ? suspendedSeconds / plainSeconds : 0;
  state.counters["suspended_ns"] = suspendedSeconds * 1e9 / static_cast<double>(state.iterations() * kBatch);
  state.counters["plain_ns"] = plainSeconds * 1e9 / static_cast<double>(state.iterations() * kBatch);
}

BENCHMARK(BM_Line_NoStreaming)->UseManualTime();
BENCHMARK(BM_Line_StreamingSuspended)->UseManualTime();
BENCHMARK(BM_Line_Streamed)->UseManualTime();
BENCHMARK(BM_Line_Paired);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("ZN_CONFIG_STORE", (Folder() + "/config.db").c_str(), 1);
  ::setenv("ZN_FOCUS", "Instance001", 1);
  ZNPI_Focus::reload();
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"32 log lines, streaming set up but suspended vs none (CPU)", "BM_Line_StreamingSuspended/manual_time",
           "BM_Line_NoStreaming/manual_time", ""},
          {"32 log lines, streamed vs none (CPU, for scale)", "BM_Line_Streamed/manual_time",
           "BM_Line_NoStreaming/manual_time", ""},
      });
  ::shm_unlink(yq::LogControlBlock::SharedMemoryName(Folder() + "/zntest.log").c_str());
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return rc;
}
