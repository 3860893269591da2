// The pool's queue: one work list per serial id, and the ready queue of the
// ids whose next item may start now. An id above 0 stands in the ready
// queue at most once and not while one of its items runs, which is what
// keeps its items in order and one at a time.

#include <algorithm>

#include "zn/pool/internal/PerformanceCounter.h"
#include "zn/pool/internal/ReadySignal.h"
#include "zn/pool/internal/ThreadPoolGauges.h"
#include "zn/pool/ZnThreadPool.h"

unsigned long ZnThreadPool::doWork(WorkFunction work, void* argument) { return doWork(0, work, argument, nullptr); }

unsigned long ZnThreadPool::doWork(long long serialId, WorkFunction work, void* argument, CompletionCallback callback) {
  const uint32_t workId = m_serviceIdCounter.fetch_add(1) + 1;
  TP_WorkInfo item;
  item.work = work;
  item.enqueueTick = zn::detail::PerformanceCounter();
  item.callback = callback;
  item.argument = argument;
  item.workId = workId;
  item.serialId = serialId;
  uint32_t ready = 0, idle = 0;
  if (!enqueueWork(item, ready, idle)) return workId;
  // Most items find an idle thread: no need for the pool lock then. Both
  // counts were read under the queue lock, under which a worker also
  // counts itself busy as it takes an item; a thread that leaves counts
  // itself off before it looks at the queue one last time, so either it
  // sees this item or this saw it gone.
  if (idle != 0 && ready <= idle) return workId;
  ZnCriticalSectionLock lock(&m_poolLock);
  {
    ZnCriticalSectionLock queue(&m_queueLock);
    ready = m_readyWorksCount;
    idle = m_currentThreadCount - m_busyThreadCount;
  }
  if (idle != 0 && ready <= idle) return workId;
  if (m_currentThreadCount >= m_maxCount) {
    const uint32_t maximum = m_maxCount;
    lock.reset();
    tpSetLastError(TP_DEBUG_DEBUG,
                   "Max thread count [%ld] reached. Request will be serviced when any other thread is free.",
                   static_cast<long>(maximum));
    return workId;
  }
  if (!startAThread()) tpSetLastError(TP_DEBUG_CRITICAL, "DoWork() - Failed to start a Thread");
  return workId;
}

bool ZnThreadPool::enqueueWork(const TP_WorkInfo& work, uint32_t& readyWorks, uint32_t& idleThreads) {
  if (work.serialId < 0) {
    tpSetLastError(TP_DEBUG_CRITICAL, "SerialID was less than 0! SerialID [%ld]", static_cast<long>(work.serialId));
    return false;
  }
  if (work.work == nullptr) {  // it could only crash the worker that took it
    tpSetLastError(TP_DEBUG_WRONGARG, "Work function is null. SerialID [%ld]", static_cast<long>(work.serialId));
    return false;
  }
  {
    ZnCriticalSectionLock queue(&m_queueLock);
    PerSerialWorkList& list = m_workMap[work.serialId];
    list.items.push_back(work);
    ++list.count;
    ++m_totalWorkerListCount;
    ++m_taskAdded;
    if (work.serialId > 0) {
      if (list.items.size() == 1 && list.ownerThreadId == 0) {
        m_readyQueue.push_back(work.serialId);
        m_readySemaphore->release();
        ++m_readyWorksCount;
      }
    } else {
      if (list.items.size() == 1) {
        m_readyQueue.push_back(0);
        m_readySemaphore->release();
      }
      ++m_readyWorksCount;
    }
    ++m_queuedTotal[work.serialId > 0 ? 1 : 0];
    readyWorks = m_readyWorksCount;
    idleThreads = m_currentThreadCount - m_busyThreadCount;
  }
  return true;
}

bool ZnThreadPool::getArgsWorkerList(TP_WorkInfo& work, uint32_t threadId) {
  ZnCriticalSectionLock queue(&m_queueLock);
  if (m_readyQueue.empty()) return false;
  const long long serialId = m_readyQueue.front();
  m_readyQueue.pop_front();
  const auto found = m_workMap.find(serialId);
  if (found == m_workMap.end()) {  // taken away by fetch or discard
    --m_readyWorksCount;
    return false;
  }
  PerSerialWorkList& list = found->second;
  if (list.items.empty()) {  // emptied by fetch or discard
    list.ownerThreadId = 0;
    if (serialId > 0) {  // serial id 0 took its items off the ready count already
      --m_readyWorksCount;
      dropIdleWorkList(found);
    }
    return false;
  }
  work = list.items.front();
  list.items.pop_front();
  --list.count;
  --m_totalWorkerListCount;
  ++m_taskDone;
  --m_readyWorksCount;
  ++m_busyThreadCount;  // here, so that doWork sees it with the ready count
  if (serialId > 0) {
    list.ownerThreadId = threadId;
  } else if (!list.items.empty()) {
    m_readyQueue.push_back(0);
    m_readySemaphore->release();
  }
  return true;
}

// An id's list goes once it has nothing left, but a few stay for reuse: a
// busy id empties its list after nearly every item, and making the list
// anew each time would cost more than the item. An empty, idle list counts
// as no list.
void ZnThreadPool::dropIdleWorkList(std::map<long long, PerSerialWorkList>::iterator list) {
  constexpr std::size_t kKeptIdleLists = 64;
  if (m_workMap.size() > kKeptIdleLists) m_workMap.erase(list);
}

bool ZnThreadPool::hasWorkList(const PerSerialWorkList& list) {
  return !list.items.empty() || list.ownerThreadId != 0;
}

// The worker that ran an item takes the next item of the same serial id
// itself while no other id is waiting, instead of going back to the
// semaphore: for an id above 0 the id stays with it, so order and
// one-at-a-time hold, and no other thread is woken per item.
bool ZnThreadPool::takeNextOfSerial(TP_WorkInfo& work) {
  ZnCriticalSectionLock queue(&m_queueLock);
  const bool othersWaiting = work.serialId > 0
                                 ? !m_readyQueue.empty()
                                 : !(m_readyQueue.empty() || (m_readyQueue.size() == 1 && m_readyQueue.front() == 0));
  if (othersWaiting) return false;
  const auto found = m_workMap.find(work.serialId);
  if (found == m_workMap.end() || found->second.items.empty()) return false;
  PerSerialWorkList& list = found->second;
  work = list.items.front();
  list.items.pop_front();
  --list.count;
  --m_totalWorkerListCount;
  ++m_taskDone;
  // Serial id 0 counts every queued item as ready; its ready entry stays
  // for the next worker, who finds the list empty at worst.
  if (work.serialId == 0) --m_readyWorksCount;
  return true;
}

void ZnThreadPool::resetWorkListQueueUse(long long serialId) {
  ZnCriticalSectionLock queue(&m_queueLock);
  const auto found = m_workMap.find(serialId);
  if (found == m_workMap.end()) return;
  PerSerialWorkList& list = found->second;
  list.ownerThreadId = 0;
  if (serialId == 0) return;
  if (list.items.empty()) {
    dropIdleWorkList(found);
    return;
  }
  m_readyQueue.push_back(serialId);
  m_readySemaphore->release();
  ++m_readyWorksCount;
}

// Items taken off here never run. For an id above 0 its ready entry stays
// and is dropped by the worker that wakes for it; serial id 0 counts every
// item as ready, so those go from the ready count at once.
bool ZnThreadPool::takeQueued(long long serialId, std::vector<void*>& arguments, unsigned long long limit) {
  arguments.clear();
  ZnCriticalSectionLock queue(&m_queueLock);
  const auto found = m_workMap.find(serialId);
  if (found == m_workMap.end() || (serialId > 0 && !hasWorkList(found->second))) return false;
  PerSerialWorkList& list = found->second;
  uint32_t taken = 0;
  while (!list.items.empty() && arguments.size() < limit) {
    arguments.push_back(list.items.front().argument);
    list.items.pop_front();
    ++taken;
  }
  list.count -= taken;
  m_totalWorkerListCount -= taken;
  if (serialId == 0) {
    m_readyWorksCount -= taken;
  }
  uint32_t& total = m_queuedTotal[serialId > 0 ? 1 : 0];
  total -= std::min(total, taken);
  return true;
}

bool ZnThreadPool::fetchQueuedWorkers(long long serialId, std::vector<void*>& arguments, unsigned long long limit) {
  return takeQueued(serialId, arguments, limit);
}

bool ZnThreadPool::forceDiscardQueuedWorkers(long long serialId, std::vector<void*>& arguments) {
  return takeQueued(serialId, arguments, ~0ULL);
}

unsigned long long ZnThreadPool::getPendingWorkCount(long long serialId) {
  ZnCriticalSectionLock queue(&m_queueLock);
  const auto found = m_workMap.find(serialId);
  return found == m_workMap.end() ? 0 : found->second.items.size();
}
