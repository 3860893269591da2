// Starting processes against the raw calls, and capturing output against
// a shell pipe:
// - 1,000 runs of /bin/true through ZnProcess (the store's priority, the
//   pidfd wait) against posix_spawn + waitpid;
// - 64 MiB written by `head -c` to standard output, captured whole by
//   ZnProcess::system, against the same producer piped by sh into
//   `cat >/dev/null`.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RatioReporter.h"
#include "zn/process/ZnProcess.h"
#include "znfocus/ZNPI_Focus.h"

extern char** environ;

namespace {

constexpr long long kCaptureBytes = 64LL << 20;
const std::string kProducer = "head -c " + std::to_string(kCaptureBytes) + " /dev/zero";

void BM_True_ZnProcess(benchmark::State& state) {
  char text[512];
  for (auto _ : state) {
    ZnProcess process;
    if (process.StartProcess("/bin/true", nullptr, 0, 1, nullptr, nullptr, nullptr, text, sizeof text, nullptr,
                             nullptr, nullptr, nullptr, false, false) == 0) {
      state.SkipWithError(text);
      break;
    }
    int exitCode = -1;
    process.WaitForProcessToEnd(exitCode, text, sizeof text);
    benchmark::DoNotOptimize(exitCode);
  }
}

// Runs argv and waits for it: the peer of both comparisons.
int SpawnAndWait(char* const* argv) {
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

void BM_True_posix_spawn(benchmark::State& state) {
  char program[] = "/bin/true";
  char* const argv[] = {program, nullptr};
  for (auto _ : state) benchmark::DoNotOptimize(SpawnAndWait(argv));
}

void BM_Capture_ZnProcessSystem(benchmark::State& state) {
  for (auto _ : state) {
    std::string output;
    std::string error;
    const int rc = ZnProcess::system(kProducer.c_str(), &output, &error, 0, true);
    if (rc != 0 || static_cast<long long>(output.size()) != kCaptureBytes) {
      state.SkipWithError("the capture came back short");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * kCaptureBytes);
}

void BM_Capture_ShellPipe(benchmark::State& state) {
  const std::string line = kProducer + " | cat >/dev/null";
  char shell[] = "/bin/sh";
  char dashC[] = "-c";
  char* const argv[] = {shell, dashC, const_cast<char*>(line.c_str()), nullptr};
  for (auto _ : state) benchmark::DoNotOptimize(SpawnAndWait(argv));
  state.SetBytesProcessed(state.iterations() * kCaptureBytes);
}

BENCHMARK(BM_True_ZnProcess)->Iterations(1000)->UseRealTime();
BENCHMARK(BM_True_posix_spawn)->Iterations(1000)->UseRealTime();
BENCHMARK(BM_Capture_ZnProcessSystem)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Capture_ShellPipe)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // A store of the run's own: each start reads the priority values there,
  // as a service's does.
  std::string folder = "/tmp/zn_bench_process.XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  ::setenv("ZN_CONFIG_STORE", (folder + "/config.db").c_str(), 1);
  ::setenv("ZN_FOCUS", "Instance001", 1);
  ZNPI_Focus::reload();
  const int rc = zn::bench::RunWithRatios(
      argc, argv,
      {
          {"one run of /bin/true (1,000 runs)", "BM_True_ZnProcess/iterations:1000/real_time",
           "BM_True_posix_spawn/iterations:1000/real_time", ""},
          {"64 MiB of output captured", "BM_Capture_ZnProcessSystem/real_time", "BM_Capture_ShellPipe/real_time",
           "bytes_per_second"},
      });
  std::filesystem::remove_all(folder);
  return rc;
}
