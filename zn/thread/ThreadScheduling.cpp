#include "zn/thread/ThreadScheduling.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXThreadId.h"
#include "zuzazer/FXUniqueDir.h"

namespace zn {

namespace {

// The kernel ids of the process's threads; false when the list cannot be
// read (errno says why).
bool ListThreads(std::vector<pid_t>& threads) {
  threads.clear();
  const yq::UniqueDir tasks = yq::OpenDir("/proc/self/task");
  if (!tasks) return false;
  while (const dirent* entry = ::readdir(tasks.get())) {
    if (entry->d_name[0] == '.') continue;
    threads.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
  }
  return true;
}

}  // namespace

int NiceValueOfPriority(int level) {
  switch (level) {
    case kPriorityBelowNormal: return 10;
    case kPriorityHigh: return -10;
    default: return 0;
  }
}

CYqError SetThreadPriority(uint32_t threadId, int level) {
  const id_t who = threadId != 0 ? static_cast<id_t>(threadId) : static_cast<id_t>(yq::CurrentThreadId());
  const int nice = NiceValueOfPriority(level);
  if (::setpriority(PRIO_PROCESS, who, nice) != 0) {
    return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot set the priority of thread [%u] to [%d]",
                                   static_cast<unsigned>(who), nice);
  }
  return CYqError::Success();
}

CYqError SetProcessAffinity(const cpu_set_t& cpus) {
  // A thread set before the pass that finds nothing new started its later
  // threads with the new mask; one that started earlier is in that pass.
  std::set<pid_t> done;
  std::vector<pid_t> threads;
  for (bool changed = true; changed;) {
    if (!ListThreads(threads)) {
      return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot list the threads of the process");
    }
    changed = false;
    for (const pid_t thread : threads) {
      if (done.count(thread) != 0) continue;
      changed = true;
      done.insert(thread);
      // A thread that ended meanwhile is no failure.
      if (::sched_setaffinity(thread, sizeof cpus, &cpus) != 0 && errno != ESRCH) {
        return FXErrorUtil::ErrorErrno(FX_CODE_LOCATION, errno, "Cannot set the CPU affinity of thread [%d]",
                                       static_cast<int>(thread));
      }
    }
  }
  return CYqError::Success();
}

}  // namespace zn
