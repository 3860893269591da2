// A console reporter that also prints, after all runs, the ratio of each of
// our benchmarks to its peer's, so one run shows where we stand.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zn::bench {

struct Comparison {
  std::string title;
  std::string ours;  // benchmark name as reported, e.g. "LogWrite/EvDebug/threads:4"
  std::string peer;
  // Compare a counter (higher is better) instead of time per iteration
  // (lower is better).
  std::string counter;
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::vector<Comparison> comparisons);

  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

 private:
  std::vector<Comparison> m_comparisons;
  std::map<std::string, Run> m_runs;
};

// Runs the registered benchmarks with the reporter; returns the exit code.
int RunWithRatios(int argc, char** argv, std::vector<Comparison> comparisons);

}  // namespace zn::bench
