// Priority and CPU affinity of the process's threads. Linux schedules
// threads, not processes: a nice value or an affinity mask set on one
// thread id changes that thread only, so "the process" means every thread
// in /proc/self/task.
#pragma once

#include <sched.h>

#include <cstdint>

#include "zuzazer/CYqError.h"
#include "zn/base/ZnExport.h"

namespace zn {

// The suite's priority levels, as the store keeps them.
inline constexpr int kPriorityNormal = 0;
inline constexpr int kPriorityBelowNormal = 1;
inline constexpr int kPriorityHigh = 2;

// The nice value of a priority level: Normal 0, Below Normal 10, High -10;
// any other level is Normal.
ZN_EXPORT int NiceValueOfPriority(int level);

// Gives one thread (kernel id; 0 for the caller) the nice value of `level`.
// Raising priority needs CAP_SYS_NICE; without it the error is 5.
ZN_EXPORT CYqError SetThreadPriority(uint32_t threadId, int level);

// Applies `cpus` to every thread of the process. Threads started while this
// runs are caught too: the task list is read again until a pass finds no
// thread it has not set.
ZN_EXPORT CYqError SetProcessAffinity(const cpu_set_t& cpus);

}  // namespace zn
