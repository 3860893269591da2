// The pool's queue, in two lanes with a lock each: serial id 0, whose items
// need no order, and the ids above 0, a work list per id and the ready ids.
// A producer and a worker take one lane lock per item; the two kinds of
// work never wait for each other, and no pool lock is taken per item.

#include <algorithm>

#include "zn/pool/internal/PerformanceCounter.h"
#include "zn/pool/internal/ReadySignal.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

// Counts change only under their lane's lock; readers outside it take them
// as they stand. The release store orders a worker's busy count before the
// ready and queued counts it lowers (see doWork).
void Add(std::atomic<uint32_t>& count, uint32_t delta) {
  count.store(count.load(std::memory_order_relaxed) + delta, std::memory_order_release);
}

void Sub(std::atomic<uint32_t>& count, uint32_t delta) {
  count.store(count.load(std::memory_order_relaxed) - delta, std::memory_order_release);
}

}  // namespace

ZnThreadPool::LaneLock::LaneLock() {
  pthread_mutexattr_t attributes;
  ::pthread_mutexattr_init(&attributes);
  ::pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
  ::pthread_mutex_init(&m_mutex, &attributes);
  ::pthread_mutexattr_destroy(&attributes);
}

uint32_t ZnThreadPool::SubtractAtMost(std::atomic<uint32_t>& count, uint32_t delta) {
  uint32_t seen = count.load();
  while (!count.compare_exchange_weak(seen, seen - std::min(seen, delta))) {
  }
  return seen;
}

uint32_t ZnThreadPool::readyWorks() const {
  return m_serial.counts.ready.load(std::memory_order_acquire) + m_zero.counts.ready.load(std::memory_order_acquire);
}

unsigned long ZnThreadPool::doWork(WorkFunction work, void* argument) { return doWork(0, work, argument, nullptr); }

// Most items find an idle thread: no need for the pool lock then. A worker
// raises the busy count before it lowers the ready count, and this reads
// them the other way round; each lane raises its ready count with a full
// barrier. So a race can only make the pool look short of idle threads
// (starting one too many at worst), never the reverse. A thread that
// leaves counts itself off before it looks at the lanes, under their
// locks: either it sees this item or this sees it gone.
bool ZnThreadPool::enoughIdleThreads() const {
  const uint32_t ready = readyWorks();
  const uint32_t idle = m_currentThreadCount.load() - m_busyThreadCount.load();
  return idle != 0 && ready <= idle;
}

unsigned long ZnThreadPool::doWork(long long serialId, WorkFunction work, void* argument, CompletionCallback callback) {
  const uint32_t workId = m_serviceIdCounter.fetch_add(1) + 1;
  TP_WorkInfo item;
  item.work = work;
  item.enqueueTick = zn::detail::PerformanceCounter();
  item.callback = callback;
  item.argument = argument;
  item.workId = workId;
  item.serialId = serialId;
  if (!enqueueWork(item)) return workId;
  if (enoughIdleThreads()) return workId;
  ZnCriticalSectionLock lock(&m_poolLock);
  if (enoughIdleThreads()) return workId;
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

bool ZnThreadPool::enqueueWork(const TP_WorkInfo& work) {
  if (work.serialId < 0) {
    tpSetLastError(TP_DEBUG_CRITICAL, "SerialID was less than 0! SerialID [%ld]", static_cast<long>(work.serialId));
    return false;
  }
  if (work.work == nullptr) {  // it could only crash the worker that took it
    tpSetLastError(TP_DEBUG_WRONGARG, "Work function is null. SerialID [%ld]", static_cast<long>(work.serialId));
    return false;
  }
  bool wake = false;
  if (work.serialId == 0) {
    LaneGuard lock(m_zero.lock);
    m_zero.items.push_back(work);
    m_zero.used = true;
    LaneCounts& counts = m_zero.counts;
    Add(counts.queued, 1);
    Add(counts.added, 1);
    counts.ready.fetch_add(1);  // every serial id 0 item counts as ready
    counts.total.fetch_add(1);  // the report lowers it too
    wake = m_zero.items.size() == 1;
  } else {
    LaneGuard lock(m_serial.lock);
    PerSerialWorkList& list = m_serial.lists[work.serialId];
    list.items.push_back(work);
    ++list.count;
    LaneCounts& counts = m_serial.counts;
    Add(counts.queued, 1);
    Add(counts.added, 1);
    counts.total.fetch_add(1);
    if (list.items.size() == 1 && list.ownerThreadId == 0) {
      m_serial.ready.push_back(work.serialId);
      counts.ready.fetch_add(1);
      wake = true;
    }
  }
  // After the lock: the worker woken should not find it held.
  if (wake) m_readySemaphore->release();
  return true;
}

// A permit stands for a ready id or for serial id 0's items. A worker looks
// at the lane it did not serve last time first, so that neither kind can
// keep the other waiting.
bool ZnThreadPool::takeReady(Taken& taken, uint32_t threadId, bool zeroFirst) {
  const auto fromSerial = [&] {
    return m_serial.counts.ready.load(std::memory_order_relaxed) != 0 && takeReadyOfSerial(taken, threadId);
  };
  const auto fromZero = [&] { return m_zero.counts.ready.load(std::memory_order_relaxed) != 0 && takeReadyOfZero(taken); };
  return zeroFirst ? fromZero() || fromSerial() : fromSerial() || fromZero();
}

bool ZnThreadPool::takeReadyOfSerial(Taken& taken, uint32_t threadId) {
  LaneGuard lock(m_serial.lock);
  LaneCounts& counts = m_serial.counts;
  if (m_serial.ready.empty()) return false;
  const long long serialId = m_serial.ready.front();
  m_serial.ready.pop_front();
  const auto found = m_serial.lists.find(serialId);
  if (found == m_serial.lists.end()) {
    Sub(counts.ready, 1);
    return false;
  }
  PerSerialWorkList& list = found->second;
  if (list.items.empty()) {  // emptied by fetch or discard
    list.ownerThreadId = 0;
    Sub(counts.ready, 1);
    dropIdleWorkList(found);
    return false;
  }
  taken.busy = m_busyThreadCount.fetch_add(1) + 1;  // before the counts below: see doWork
  taken.work = list.items.front();
  taken.list = &list;
  list.items.pop_front();
  --list.count;
  Sub(counts.queued, 1);
  Add(counts.done, 1);
  Sub(counts.ready, 1);
  list.ownerThreadId = threadId;  // no other item of the id is made ready until this thread gives it up
  return true;
}

bool ZnThreadPool::takeReadyOfZero(Taken& taken) {
  bool more = false;
  {
    LaneGuard lock(m_zero.lock);
    if (m_zero.items.empty()) return false;
    taken.busy = m_busyThreadCount.fetch_add(1) + 1;  // before the counts below: see doWork
    taken.work = m_zero.items.front();
    taken.list = nullptr;
    m_zero.items.pop_front();
    LaneCounts& counts = m_zero.counts;
    Sub(counts.queued, 1);
    Add(counts.done, 1);
    Sub(counts.ready, 1);
    more = !m_zero.items.empty();
  }
  // The next idle worker joins in while items remain.
  if (more) m_readySemaphore->release();
  return true;
}

// Ready work of the other kind, or of another id, seen without a lock: the
// worker then goes back to the semaphore and takes its turn with it.
bool ZnThreadPool::othersReady(long long serialId) const {
  if (m_serial.counts.ready.load(std::memory_order_relaxed) != 0) return true;
  return serialId > 0 && m_zero.counts.ready.load(std::memory_order_relaxed) != 0;
}

bool ZnThreadPool::takeNext(Taken& taken, bool stop) {
  return taken.work.serialId > 0 ? takeNextOfSerial(taken, stop) : takeNextOfZero(taken, stop);
}

// The worker that ran an item takes the next one of the same kind itself
// while nothing else is ready, instead of going back to the semaphore: no
// other thread is woken per item.
bool ZnThreadPool::takeNextOfZero(Taken& taken, bool stop) {
  if (stop || othersReady(0)) return false;
  LaneGuard lock(m_zero.lock);
  if (m_zero.items.empty()) return false;
  taken.work = m_zero.items.front();
  m_zero.items.pop_front();
  LaneCounts& counts = m_zero.counts;
  Sub(counts.queued, 1);
  Add(counts.done, 1);
  Sub(counts.ready, 1);
  return true;
}

// For an id above 0 the id stays with this thread, so order and
// one-at-a-time hold. A thread that gives the id up with items left makes
// it ready again.
bool ZnThreadPool::takeNextOfSerial(Taken& taken, bool stop) {
  const long long serialId = taken.work.serialId;
  PerSerialWorkList& list = *taken.list;
  bool wake = false;
  {
    LaneGuard lock(m_serial.lock);
    LaneCounts& counts = m_serial.counts;
    if (!stop && !list.items.empty() && !othersReady(serialId)) {
      taken.work = list.items.front();
      list.items.pop_front();
      --list.count;
      Sub(counts.queued, 1);
      Add(counts.done, 1);
      return true;
    }
    list.ownerThreadId = 0;
    taken.list = nullptr;
    if (list.items.empty()) {
      dropIdleWorkList(m_serial.lists.find(serialId));
    } else {
      m_serial.ready.push_back(serialId);
      counts.ready.fetch_add(1);
      wake = true;
    }
  }
  if (wake) m_readySemaphore->release();
  return false;
}

// An id's list goes once it has nothing left, but a few stay for reuse: a
// busy id empties its list after nearly every item, and making the list
// anew each time would cost more than the item. An empty, idle list counts
// as no list.
void ZnThreadPool::dropIdleWorkList(std::map<long long, PerSerialWorkList>::iterator list) {
  constexpr std::size_t kKeptIdleLists = 64;
  if (m_serial.lists.size() > kKeptIdleLists) m_serial.lists.erase(list);
}

bool ZnThreadPool::hasWorkList(const PerSerialWorkList& list) {
  return !list.items.empty() || list.ownerThreadId != 0;
}

// Items taken off here never run. For an id above 0 its ready entry stays
// and is dropped by the worker that wakes for it; serial id 0 counts every
// item as ready, so those go from the ready count at once.
bool ZnThreadPool::takeQueued(long long serialId, std::vector<void*>& arguments, unsigned long long limit) {
  arguments.clear();
  uint32_t taken = 0;
  if (serialId == 0) {
    LaneGuard lock(m_zero.lock);
    if (!m_zero.used) return false;
    while (!m_zero.items.empty() && arguments.size() < limit) {
      arguments.push_back(m_zero.items.front().argument);
      m_zero.items.pop_front();
      ++taken;
    }
    Sub(m_zero.counts.queued, taken);
    Sub(m_zero.counts.ready, taken);
    SubtractAtMost(m_zero.counts.total, taken);
    return true;
  }
  LaneGuard lock(m_serial.lock);
  const auto found = m_serial.lists.find(serialId);
  if (found == m_serial.lists.end() || !hasWorkList(found->second)) return false;
  PerSerialWorkList& list = found->second;
  while (!list.items.empty() && arguments.size() < limit) {
    arguments.push_back(list.items.front().argument);
    list.items.pop_front();
    ++taken;
  }
  list.count -= taken;
  Sub(m_serial.counts.queued, taken);
  SubtractAtMost(m_serial.counts.total, taken);
  return true;
}

bool ZnThreadPool::fetchQueuedWorkers(long long serialId, std::vector<void*>& arguments, unsigned long long limit) {
  return takeQueued(serialId, arguments, limit);
}

bool ZnThreadPool::forceDiscardQueuedWorkers(long long serialId, std::vector<void*>& arguments) {
  return takeQueued(serialId, arguments, ~0ULL);
}

unsigned long long ZnThreadPool::getPendingWorkCount(long long serialId) {
  if (serialId == 0) {
    LaneGuard lock(m_zero.lock);
    return m_zero.items.size();
  }
  LaneGuard lock(m_serial.lock);
  const auto found = m_serial.lists.find(serialId);
  return found == m_serial.lists.end() ? 0 : found->second.items.size();
}
