// The pool's clock, as cheap as a tick count can be: the processor's
// time-stamp counter where it runs at a constant rate (three reads per
// work item make the monotonic clock's cost show), else the monotonic
// clock in nanoseconds. Ticks become seconds through
// PerformanceFrequency().
#pragma once

#include <time.h>

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

namespace zn::detail {

inline unsigned long long MonotonicNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL + static_cast<unsigned long long>(now.tv_nsec);
}

// True when the time-stamp counter is the clock (decided once).
bool UseTimeStampCounter();

inline unsigned long long PerformanceCounter() {
#if defined(__x86_64__)
  if (UseTimeStampCounter()) return __rdtsc();
#endif
  return MonotonicNanoseconds();
}

// Ticks per second. The counter's rate is measured against the monotonic
// clock on first use.
double PerformanceFrequency();

inline double TicksToSeconds(unsigned long long ticks) {
  return static_cast<double>(ticks) / PerformanceFrequency();
}

}  // namespace zn::detail
