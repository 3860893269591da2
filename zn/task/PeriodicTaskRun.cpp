#include "zn/task/internal/PeriodicTaskRun.h"

#include <memory>

#include "zn/task/ZnPeriodicTask.h"
#include "zn/pool/ZnThreadPool.h"

namespace zn::detail {

bool PeriodicTaskRun::queue(long long serialId, unsigned int (*work)(void*),
                            const boost::shared_ptr<ZnPeriodicTaskStatus>& task) {
  auto argument = std::make_unique<boost::shared_ptr<ZnPeriodicTaskStatus>>(task);
  ZnCriticalSectionLock hold(&m_poolLock);
  if (m_pool == nullptr) return false;
  m_pool->doWork(serialId, work, argument.release(), nullptr);  // the work function frees it
  return true;
}

void PeriodicTaskRun::releasePool() {
  ZnCriticalSectionLock hold(&m_poolLock);
  m_pool = nullptr;
}

void PeriodicTaskRun::requestQuit() {
  quit.store(true);
  wake.set();
}

}  // namespace zn::detail
