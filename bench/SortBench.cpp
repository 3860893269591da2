// znSortAndReplace on a 100 MB file of random lines against GNU sort with
// the same memory bound (LC_ALL=C sort -S 6M), on the same file in the same
// run; wall time, since sort(1) is a child process (and may use both cores).
// Each iteration starts from a fresh copy of the unsorted file (not timed).
// Ours also flushes the result to disk before it replaces the input.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "RatioReporter.h"
#include "zn/sort/BatchSort.h"

extern char** environ;

namespace {

constexpr std::size_t kTargetBytes = 100 * 1024 * 1024;

const std::string& Folder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string path = std::string(base != nullptr ? base : "/tmp") + "/zn_sortbench.XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) std::abort();
    return path;
  }();
  return folder;
}

// Lines of 1 to 80 printable characters.
const std::string& Original() {
  static const std::string path = [] {
    const std::string file = Folder() + "/original";
    std::ofstream out(file, std::ios::binary);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> length(1, 80);
    std::uniform_int_distribution<int> byte(' ', '~');
    std::string line;
    for (std::size_t written = 0; written < kTargetBytes;) {
      line.clear();
      for (int n = length(random); n > 0; --n) line += static_cast<char>(byte(random));
      line += '\n';
      out << line;
      written += line.size();
    }
    return file;
  }();
  return path;
}

void FreshCopy(const std::string& to) {
  const std::string command = "cp '" + Original() + "' '" + to + "'";
  if (std::system(command.c_str()) != 0) std::abort();
}

int Run(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_Sort100MB_znSortAndReplace(benchmark::State& state) {
  const std::string file = Folder() + "/ours";
  for (auto _ : state) {
    state.PauseTiming();
    FreshCopy(file);
    state.ResumeTiming();
    if (znSortAndReplace(file.c_str(), 1, 1, 0) != 0) state.SkipWithError("sort failed");
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations()) * kTargetBytes);
}

void SortPeer(benchmark::State& state, const std::vector<std::string>& extra) {
  const std::string file = Folder() + "/peer";
  ::setenv("LC_ALL", "C", 1);
  for (auto _ : state) {
    state.PauseTiming();
    FreshCopy(file);
    state.ResumeTiming();
    std::vector<std::string> words = {"sort", "-S", "6M", "-T", Folder(), "-o", file, file};
    words.insert(words.begin() + 1, extra.begin(), extra.end());
    if (Run(words) != 0) state.SkipWithError("sort(1) failed");
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations()) * kTargetBytes);
}

void BM_Sort100MB_GnuSort(benchmark::State& state) { SortPeer(state, {}); }
void BM_Sort100MB_GnuSortOneThread(benchmark::State& state) { SortPeer(state, {"--parallel=1"}); }

BENCHMARK(BM_Sort100MB_znSortAndReplace)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Sort100MB_GnuSort)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Sort100MB_GnuSortOneThread)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Original();
  const int code = zn::bench::RunWithRatios(
      argc, argv,
      {{"sort 100 MB in place vs LC_ALL=C sort -S 6M", "BM_Sort100MB_znSortAndReplace/iterations:3/real_time",
        "BM_Sort100MB_GnuSort/iterations:3/real_time", ""},
       {"sort 100 MB in place vs sort -S 6M --parallel=1", "BM_Sort100MB_znSortAndReplace/iterations:3/real_time",
        "BM_Sort100MB_GnuSortOneThread/iterations:3/real_time", ""}});
  std::system(("rm -rf '" + Folder() + "'").c_str());
  return code;
}
