// Pruning one log folder against the least any pruner must do:
// - EvDebug::PruneLogFiles on 100 logs of 100 versions each (10,000
//   versions, plus the current files), each log keeping its 50 newest
//   versions by a setting of its own, so 5,000 versions go;
// - a plain std::filesystem walk that stats every file of the same folder
//   and deletes the same 5,000, knowing in advance which.
// Every run starts from the same folder; making it is not timed. The
// versions are younger than the compression age, as between two runs of
// the periodic task. A second pair measures a folder that is already
// pruned, the periodic task's usual case.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "RatioReporter.h"
#include "zn/log/EvDebug.h"
#include "zn/log/LogSettings.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/LogVersions.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLogs = 100;
constexpr int kVersionsPerLog = 100;
constexpr int kKept = 50;

struct BenchFolder {
  std::string root;  // removed at the end
  std::string path;
  std::vector<std::pair<std::string, time_t>> doomed;  // name and last write time
  std::unordered_set<std::string> doomedNames;
};

std::string LogName(int log) {
  char name[32];
  std::snprintf(name, sizeof name, "BenchLog%03d", log);
  return name;
}

void Touch(const std::string& path, time_t when) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) std::abort();
  static const char kLine[] = "4123 1a2f 2026-12-06 14:03:22.123 0 Bench::run a line of the version\n";
  if (::write(fd, kLine, sizeof kLine - 1) < 0) std::abort();
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  ::futimens(fd, times);
  ::close(fd);
}

// The folder, the store with one setting per log, and every file that
// survives a prune; the doomed versions are made before each run.
bool g_folderMade = false;

BenchFolder& Folder() {
  static BenchFolder folder = [] {
    g_folderMade = true;
    BenchFolder made;
    std::string pattern = "/tmp/zn_bench_prune.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    ::setenv("ZN_CONFIG_STORE", FXPath::Append(pattern, "config.db").c_str(), 1);
    ::setenv("ZN_FOCUS", "Instance001", 1);
    made.root = pattern;
    made.path = FXPath::Append(pattern, "LogFiles");
    fs::create_directories(made.path);
    const time_t now = ::time(nullptr);
    for (int log = 0; log < kLogs; ++log) {
      const std::string base = LogName(log);
      zn::LogSettings::SetNumber("EventManager", base + "_MAXLOGFILEBACKUPS", kKept);
      Touch(FXPath::Append(made.path, base + ".log"), now);
      for (int v = 0; v < kVersionsPerLog; ++v) {
        const time_t written = now - 60 - v * 60;  // one a minute, the newest first
        const std::string name = yq::LogVersionFileName(base, written);
        if (v < kKept) {
          Touch(FXPath::Append(made.path, name), written);
        } else {
          made.doomed.emplace_back(name, written);
          made.doomedNames.insert(name);
        }
      }
    }
    return made;
  }();
  return folder;
}

void MakeDoomed(const BenchFolder& folder) {
  for (const auto& [name, written] : folder.doomed) Touch(FXPath::Append(folder.path, name), written);
}

bool OnlySurvivorsLeft(const BenchFolder& folder) {
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder.path)) {
    if (folder.doomedNames.count(entry.path().filename()) != 0) return false;
    ++files;
  }
  return files == static_cast<std::size_t>(kLogs) * (kKept + 1);
}

void BM_Prune_PruneLogFiles(benchmark::State& state) {
  BenchFolder& folder = Folder();
  for (auto _ : state) {
    state.PauseTiming();
    MakeDoomed(folder);
    std::string path = folder.path;
    state.ResumeTiming();
    const CYqError error = EvDebug::PruneLogFiles(path, true);
    state.PauseTiming();
    if (error.IsError()) state.SkipWithError(error.AsString().c_str());
    if (!OnlySurvivorsLeft(folder)) state.SkipWithError("the pruner left the wrong files");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kLogs * kVersionsPerLog);
}

void BM_Prune_StatAndDeleteWalk(benchmark::State& state) {
  BenchFolder& folder = Folder();
  for (auto _ : state) {
    state.PauseTiming();
    MakeDoomed(folder);
    state.ResumeTiming();
    for (const auto& entry : fs::directory_iterator(folder.path)) {
      struct stat st {};
      ::stat(entry.path().c_str(), &st);
      benchmark::DoNotOptimize(st.st_mtime);
      if (folder.doomedNames.count(entry.path().filename()) != 0) ::unlink(entry.path().c_str());
    }
    state.PauseTiming();
    if (!OnlySurvivorsLeft(folder)) state.SkipWithError("the walk left the wrong files");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kLogs * kVersionsPerLog);
}

// The steady state of the periodic task: the folder is already pruned, so
// every run lists, stats and judges 5,100 files and deletes nothing.
void BM_Settled_PruneLogFiles(benchmark::State& state) {
  BenchFolder& folder = Folder();
  std::string path = folder.path;
  for (auto _ : state) {
    const CYqError error = EvDebug::PruneLogFiles(path, true);
    if (error.IsError()) state.SkipWithError(error.AsString().c_str());
  }
  if (!OnlySurvivorsLeft(folder)) state.SkipWithError("the pruner left the wrong files");
}

void BM_Settled_StatWalk(benchmark::State& state) {
  BenchFolder& folder = Folder();
  for (auto _ : state) {
    for (const auto& entry : fs::directory_iterator(folder.path)) {
      struct stat st {};
      ::stat(entry.path().c_str(), &st);
      benchmark::DoNotOptimize(st.st_mtime);
    }
  }
}

BENCHMARK(BM_Prune_PruneLogFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Prune_StatAndDeleteWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Settled_PruneLogFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Settled_StatWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  const int result = zn::bench::RunWithRatios(
      argc, argv,
      {{"Prune 10,000 versions of 100 logs vs stat-and-delete walk", "BM_Prune_PruneLogFiles/real_time",
        "BM_Prune_StatAndDeleteWalk/real_time", ""},
       {"Settled folder (5,100 files, nothing to do) vs stat walk", "BM_Settled_PruneLogFiles/real_time",
        "BM_Settled_StatWalk/real_time", ""}});
  if (g_folderMade) {
    std::error_code ignored;
    fs::remove_all(Folder().root, ignored);
  }
  return result;
}
