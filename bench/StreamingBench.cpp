// A log line written while streaming to the scale-out service is set up
// but suspended on the writing thread (EvDebugZnScaleSuspendStreaming),
// against the same line in a process without streaming: what the line hook
// costs a line that is not streamed. Also, for scale, a line that is
// streamed (the stand-in service appends it to its own file).
//
// Both write the line to the log file before the call returns, as every
// EvDebug line does.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/mman.h>

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

void WriteLines(benchmark::State& state) {
  EvDebug& log = OpenLog();
  int value = 0;
  for (auto _ : state) {
    log.DebugLvl("Bench::Line", 1, "Processed item [%d] of job [%s] in [%d] ms", value++, "backup-42", 17);
  }
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

BENCHMARK(BM_Line_NoStreaming);
BENCHMARK(BM_Line_StreamingSuspended);
BENCHMARK(BM_Line_Streamed);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("ZN_CONFIG_STORE", (Folder() + "/config.db").c_str(), 1);
  ::setenv("ZN_FOCUS", "Instance001", 1);
  ZNPI_Focus::reload();
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"log line, streaming set up but suspended vs no streaming", "BM_Line_StreamingSuspended",
           "BM_Line_NoStreaming", ""},
          {"log line, streamed vs no streaming (for scale)", "BM_Line_Streamed", "BM_Line_NoStreaming", ""},
      });
  ::shm_unlink(yq::LogControlBlock::SharedMemoryName(Folder() + "/zntest.log").c_str());
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
  return rc;
}
