// What one run of a periodic task manager's main thread works on. The
// manager and its main thread share it, so a main thread that is left to
// end by itself (it did not stop in time) never touches a freed manager,
// and never a pool the manager has let go of.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "zn/base/ZnCriticalSection.h"
#include "zn/sync/ZnSemaphore.h"

class ZnPeriodicTaskStatus;
class ZnThreadPool;

namespace zn::detail {

struct PeriodicTaskRun {
  PeriodicTaskRun(std::string mgrName, std::vector<boost::shared_ptr<ZnPeriodicTaskStatus>> taskList,
                  ZnThreadPool* threadPool)
      : name(std::move(mgrName)), tasks(std::move(taskList)), m_pool(threadPool) {}

  // Queues `work` for `task` under `serialId`, handing the pool its own
  // reference to the status. False when the pool has been let go of.
  bool queue(long long serialId, unsigned int (*work)(void*), const boost::shared_ptr<ZnPeriodicTaskStatus>& task);
  // The manager gives up on the thread: nothing is queued from now on.
  void releasePool();

  // Sets `quit` and wakes the thread from its one-second sleep.
  void requestQuit();

  const std::string name;
  const std::vector<boost::shared_ptr<ZnPeriodicTaskStatus>> tasks;
  std::atomic<bool> quit{false};
  ZnEvent wake{true};

 private:
  ZnCriticalSection m_poolLock;  // held while queuing, so the pool cannot be let go of meanwhile
  ZnThreadPool* m_pool;
};

}  // namespace zn::detail
