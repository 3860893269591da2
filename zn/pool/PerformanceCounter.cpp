#include "zn/pool/internal/PerformanceCounter.h"

#include <fstream>
#include <sstream>
#include <string>

namespace zn::detail {
namespace {

// The counter is a clock only when it ticks at one rate whatever the
// processor's speed and power state.
bool ConstantRateCounter() {
#if defined(__x86_64__)
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream flags(line);
    bool constant = false, nonstop = false;
    for (std::string flag; flags >> flag;) {
      constant = constant || flag == "constant_tsc";
      nonstop = nonstop || flag == "nonstop_tsc";
    }
    return constant && nonstop;
  }
#endif
  return false;
}

double MeasureFrequency() {
  if (!UseTimeStampCounter()) return 1e9;
  // Over 20 ms the error is far below what a statistics line shows.
  const unsigned long long startNs = MonotonicNanoseconds();
  const unsigned long long startTicks = PerformanceCounter();
  unsigned long long nowNs = startNs;
  while (nowNs - startNs < 20000000ULL) {
    timespec pause{0, 1000000};
    ::nanosleep(&pause, nullptr);
    nowNs = MonotonicNanoseconds();
  }
  const unsigned long long ticks = PerformanceCounter() - startTicks;
  return static_cast<double>(ticks) * 1e9 / static_cast<double>(nowNs - startNs);
}

}  // namespace

bool UseTimeStampCounter() {
  static const bool use = ConstantRateCounter();
  return use;
}

double PerformanceFrequency() {
  static const double frequency = MeasureFrequency();
  return frequency;
}

}  // namespace zn::detail
