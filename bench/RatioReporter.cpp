#include "RatioReporter.h"

#include <cstdio>

namespace zn::bench {

RatioReporter::RatioReporter(std::vector<Comparison> comparisons) : m_comparisons(std::move(comparisons)) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  // With repetitions the median stands for the benchmark; without, its one
  // run does.
  for (const Run& run : runs) {
    if (run.run_type == Run::RT_Iteration) {
      m_runs[run.benchmark_name()] = run;
    } else if (run.aggregate_name == "median") {
      m_runs[run.run_name.str()] = run;
    }
  }
}

void RatioReporter::Finalize() {
  ConsoleReporter::Finalize();
  std::printf("\n%-58s %14s %14s %8s\n", "comparison (ours vs peer)", "ours", "peer", "ratio");
  for (const Comparison& c : m_comparisons) {
    const auto ours = m_runs.find(c.ours);
    const auto peer = m_runs.find(c.peer);
    if (ours == m_runs.end() || peer == m_runs.end()) {
      std::printf("%-58s %14s %14s %8s\n", c.title.c_str(), "-", "-", "n/a");
      continue;
    }
    if (c.counter.empty()) {
      const double a = ours->second.GetAdjustedRealTime();
      const double b = peer->second.GetAdjustedRealTime();
      std::printf("%-58s %11.2f %s %11.2f %s %7.2fx  (time: lower is better)\n", c.title.c_str(), a,
                  benchmark::GetTimeUnitString(ours->second.time_unit), b,
                  benchmark::GetTimeUnitString(peer->second.time_unit), a / b);
    } else {
      const double a = ours->second.counters.at(c.counter);
      const double b = peer->second.counters.at(c.counter);
      std::printf("%-58s %12.0f/s %12.0f/s %7.2fx  (rate: higher is better)\n", c.title.c_str(), a, b, a / b);
    }
  }
  std::fflush(stdout);
}

int RunWithRatios(int argc, char** argv, std::vector<Comparison> comparisons) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(std::move(comparisons));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace zn::bench
