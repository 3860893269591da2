// TPathMatch against glibc's fnmatch(FNM_PATHNAME) on the same strings:
// - typical backup filters ("*.tmp", "**\cache\**", "C:\Users\*\AppData\**")
//   over a set of Windows-style paths, 1,000,000 matches per iteration, on
//   the pairs where both give the same answer (glibc has no "**" component:
//   there its trailing "**" is one star, so only paths one component below
//   the folder are compared);
// - the adversarial "*a*a*a*a*a*b" against a 1 KiB path of "a"s.
// glibc gets the same pattern and path with "/" for "\".

#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "RatioReporter.h"
#include "zn/pathmatch/TPathMatch.h"

namespace {

constexpr int kMatchesPerIteration = 1000000;

std::string Slashes(std::string text) {
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

struct Pair {
  int filter;
  std::string path;       // with "\"
  std::string glibcPath;  // with "/"
};

const char* const kFilters[] = {R"(*.tmp)", R"(**\cache\**)", R"(C:\Users\*\AppData\**)"};

// Paths as a backup of a Windows client sees them, some matching each filter.
std::vector<std::string> MakePaths() {
  std::mt19937 random(7);
  const char* users[] = {"alice", "bob", "carol", "dave", "Administrator"};
  const char* apps[] = {"Mozilla", "Google", "Microsoft", "Temp", "Slack"};
  const char* names[] = {"report.doc", "cache.db", "x.tmp", "notes.txt", "photo.jpg", "~lock.tmp", "index.dat"};
  std::vector<std::string> paths;
  for (int i = 0; i < 4000; ++i) {
    const std::string user = users[random() % 5];
    const std::string app = apps[random() % 5];
    const std::string name = names[random() % 7];
    switch (random() % 8) {
      case 0: paths.push_back(name); break;
      case 1: paths.push_back("C:\\Users\\" + user + "\\AppData\\" + name); break;
      case 2: paths.push_back("C:\\Users\\" + user + "\\AppData\\Local\\" + app + "\\" + name); break;
      case 3: paths.push_back("C:\\Users\\" + user + "\\Documents\\" + name); break;
      case 4: paths.push_back("C:\\cache\\" + name); break;
      case 5: paths.push_back("D:\\cache\\" + app + "\\" + name); break;
      case 6: paths.push_back("D:\\Projects\\" + app + "\\build\\cache\\" + name); break;
      default: paths.push_back("C:\\Program Files\\" + app + "\\" + name); break;
    }
  }
  return paths;
}

struct Workload {
  std::vector<Pair> pairs;
  std::vector<TPathMatch> matchers;
  std::vector<std::string> glibcFilters;
  int skipped = 0;
  int matching = 0;
};

const Workload& Typical() {
  static const Workload workload = [] {
    Workload w;
    for (const char* filter : kFilters) {
      TPathMatch& matcher = w.matchers.emplace_back();
      matcher.initialize(filter, true, false);
      w.glibcFilters.push_back(Slashes(filter));
    }
    for (const std::string& path : MakePaths()) {
      for (int f = 0; f < 3; ++f) {
        const bool ours = w.matchers[f].match(path.c_str()) == 1;
        const std::string glibcPath = Slashes(path);
        const bool glibc = ::fnmatch(w.glibcFilters[f].c_str(), glibcPath.c_str(), FNM_PATHNAME) == 0;
        if (ours != glibc) {
          ++w.skipped;
          continue;
        }
        w.matching += ours;
        w.pairs.push_back({f, path, glibcPath});
      }
    }
    return w;
  }();
  return workload;
}

void BM_TypicalFilters_TPathMatch(benchmark::State& state) {
  Workload w = Typical();  // a copy: the matchers keep state
  const std::size_t n = w.pairs.size();
  for (auto _ : state) {
    int matched = 0;
    for (int i = 0; i < kMatchesPerIteration; ++i) {
      const Pair& pair = w.pairs[static_cast<std::size_t>(i) % n];
      matched += w.matchers[pair.filter].match(pair.path.c_str());
    }
    benchmark::DoNotOptimize(matched);
  }
  state.SetItemsProcessed(state.iterations() * kMatchesPerIteration);
  state.counters["pairs"] = static_cast<double>(n);
  state.counters["matching"] = w.matching;
  state.counters["left out"] = w.skipped;
}

void BM_TypicalFilters_fnmatch(benchmark::State& state) {
  const Workload& w = Typical();
  const std::size_t n = w.pairs.size();
  for (auto _ : state) {
    int matched = 0;
    for (int i = 0; i < kMatchesPerIteration; ++i) {
      const Pair& pair = w.pairs[static_cast<std::size_t>(i) % n];
      matched += ::fnmatch(w.glibcFilters[pair.filter].c_str(), pair.glibcPath.c_str(), FNM_PATHNAME) == 0;
    }
    benchmark::DoNotOptimize(matched);
  }
  state.SetItemsProcessed(state.iterations() * kMatchesPerIteration);
}

constexpr const char* kAdversarial = "*a*a*a*a*a*b";

void BM_Adversarial1KiB_TPathMatch(benchmark::State& state) {
  TPathMatch matcher;
  matcher.initialize(kAdversarial, true, false);
  const std::string path(1024, 'a');
  for (auto _ : state) benchmark::DoNotOptimize(matcher.match(path.c_str()));
}

void BM_Adversarial1KiB_fnmatch(benchmark::State& state) {
  const std::string path(1024, 'a');
  for (auto _ : state) benchmark::DoNotOptimize(::fnmatch(kAdversarial, path.c_str(), FNM_PATHNAME));
}

BENCHMARK(BM_TypicalFilters_TPathMatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypicalFilters_fnmatch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adversarial1KiB_TPathMatch);
BENCHMARK(BM_Adversarial1KiB_fnmatch);

}  // namespace

int main(int argc, char** argv) {
  return zn::bench::RunWithRatios(
      argc, argv,
      {
          {"1M typical filter matches, TPathMatch vs fnmatch", "BM_TypicalFilters_TPathMatch",
           "BM_TypicalFilters_fnmatch", ""},
          {"*a*a*a*a*a*b over 1 KiB of a, TPathMatch vs fnmatch", "BM_Adversarial1KiB_TPathMatch",
           "BM_Adversarial1KiB_fnmatch", ""},
      });
}
