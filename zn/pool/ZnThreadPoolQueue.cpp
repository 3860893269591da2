// The pool's queue, in two lanes with a lock each: serial id 0, whose items
// need no order, and the ids above 0, a work list per id and the ready ids.
// A producer takes one lane lock per item. A worker takes serial id 0's
// lock per item, and an id's lock once per batch: it claims the batch's
// items without it. The two kinds of work never wait for each other, and
// no pool lock is taken per item.

#include "zn/pool/internal/CpuPause.h"
#include "zn/pool/internal/PerformanceCounter.h"
#include "zn/pool/internal/ReadySignal.h"
#include "zn/pool/ZnThreadPool.h"

namespace {

// Counts changed only under their lane's lock; readers outside it take
// them as they stand. The release store orders a worker's busy count
// before the ready count it lowers (see doWork).
void Add(std::atomic<uint32_t>& count, uint32_t delta) {
  count.store(count.load(std::memory_order_relaxed) + delta, std::memory_order_release);
}

void Sub(std::atomic<uint32_t>& count, uint32_t delta) {
  count.store(count.load(std::memory_order_relaxed) - delta, std::memory_order_release);
}

// About a microsecond: the gap between two items of a steady producer.
constexpr int kInboxSpinRounds = 32;

}  // namespace

ZnThreadPool::LaneLock::LaneLock() {
  pthread_mutexattr_t attributes;
  ::pthread_mutexattr_init(&attributes);
  ::pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
  ::pthread_mutex_init(&m_mutex, &attributes);
  ::pthread_mutexattr_destroy(&attributes);
}

uint32_t ZnThreadPool::readyWorks() const {
  return m_serial.counts.ready.load(std::memory_order_acquire) + m_zero.counts.ready.load(std::memory_order_acquire);
}

uint32_t ZnThreadPool::queuedWorks() const { return m_zero.counts.queued() + m_serial.counts.queued(); }

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
    Add(counts.added, 1);
    counts.ready.fetch_add(1);  // every serial id 0 item counts as ready
    wake = m_zero.items.size() == 1;
  } else {
    LaneGuard lock(m_serial.lock);
    PerSerialWorkList& list = m_serial.lists[work.serialId];
    list.inbox.push_back(work);
    Add(list.inboxItems, 1);
    Add(m_serial.counts.added, 1);
    // An owner takes this item itself; an id already ready has its permit.
    if (list.ownerThreadId == 0 && !list.inReady) {
      makeReady(list, work.serialId);
      wake = true;
    }
  }
  // After the lock: the worker woken should not find it held.
  if (wake) m_readySemaphore->release();
  return true;
}

// Caller holds the serial lane's lock; the id has no owner and is not
// ready yet. The caller releases the permit after the lock.
void ZnThreadPool::makeReady(PerSerialWorkList& list, long long serialId) {
  list.inReady = true;
  m_serial.ready.push_back(serialId);
  m_serial.counts.ready.fetch_add(1);
}

// A permit stands for a ready id or for serial id 0's items, and a worker
// takes whichever it finds: it looks at the lane it did not serve last
// time first, so that neither kind can keep the other waiting. So a worker
// can find both lanes empty while work is ready: it looked at one lane
// before that lane's work came, and at the other after a worker holding
// that work's permit took what it found there. It looks again until it
// takes something or, under both locks, sees nothing ready; only then was
// its permit one too many.
bool ZnThreadPool::takeReady(Taken& taken, uint32_t threadId, bool zeroFirst) {
  const auto fromSerial = [&] {
    return m_serial.counts.ready.load(std::memory_order_relaxed) != 0 && takeReadyOfSerial(taken, threadId);
  };
  const auto fromZero = [&] { return m_zero.counts.ready.load(std::memory_order_relaxed) != 0 && takeReadyOfZero(taken); };
  for (;;) {
    if (zeroFirst ? fromZero() || fromSerial() : fromSerial() || fromZero()) return true;
    if (nothingReady()) return false;
  }
}

bool ZnThreadPool::nothingReady() {
  LaneGuard serial(m_serial.lock);
  LaneGuard zero(m_zero.lock);
  return m_serial.ready.empty() && m_zero.items.empty();
}

bool ZnThreadPool::takeReadyOfSerial(Taken& taken, uint32_t threadId) {
  LaneGuard lock(m_serial.lock);
  LaneCounts& counts = m_serial.counts;
  if (m_serial.ready.empty()) return false;
  const long long serialId = m_serial.ready.front();
  m_serial.ready.pop_front();
  const auto found = m_serial.lists.find(serialId);
  if (found == m_serial.lists.end()) {  // a ready id keeps its list: cannot happen
    Sub(counts.ready, 1);
    return false;
  }
  PerSerialWorkList& list = found->second;
  list.inReady = false;
  if (list.pending() == 0) {  // emptied by fetch or discard
    Sub(counts.ready, 1);
    dropIdleWorkList(found);
    return false;
  }
  taken.busy = m_busyThreadCount.fetch_add(1) + 1;  // before the ready count: see doWork
  claimNextOfSerial(list, taken.work, true);  // no owner, so nobody else claims
  taken.list = &list;
  Sub(counts.ready, 1);
  list.ownerThreadId = threadId;  // the id is not made ready again until this thread gives it up
  return true;
}

void ZnThreadPool::takeFrontOfZero(Taken& taken) {
  taken.work = m_zero.items.front();
  taken.list = nullptr;
  m_zero.items.pop_front();
  m_zero.counts.done.fetch_add(1, std::memory_order_release);
  Sub(m_zero.counts.ready, 1);
}

bool ZnThreadPool::takeReadyOfZero(Taken& taken) {
  bool more = false;
  {
    LaneGuard lock(m_zero.lock);
    if (m_zero.items.empty()) return false;
    taken.busy = m_busyThreadCount.fetch_add(1) + 1;  // before the ready count: see doWork
    takeFrontOfZero(taken);
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
  takeFrontOfZero(taken);
  return true;
}

// A batch item is claimed by moving the batch's start past it: the owner
// without the lock, fetch and discard under it, so each item goes to one
// of them only. Only the owner refills the batch, under the lock, once
// every item of it is claimed, so no one still reads the old items then.
bool ZnThreadPool::ClaimFromBatch(PerSerialWorkList& list, TP_WorkInfo& work) {
  const uint32_t end = static_cast<uint32_t>(list.batch.size());
  uint32_t next = list.batchNext.load(std::memory_order_acquire);
  while (next < end) {
    if (list.batchNext.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel, std::memory_order_acquire)) {
      work = list.batch[next];
      return true;
    }
  }
  return false;
}

// Caller holds the lane lock and every batch item is claimed. The whole
// inbox becomes the batch: no item is copied, and the lock is held for a
// few instructions however long the inbox.
bool ZnThreadPool::RefillBatch(PerSerialWorkList& list) {
  if (list.inbox.empty()) return false;
  list.batch.clear();
  list.batch.swap(list.inbox);
  list.inboxItems.store(0, std::memory_order_relaxed);
  list.batchNext.store(0, std::memory_order_release);
  return true;
}

bool ZnThreadPool::claimNextOfSerial(PerSerialWorkList& list, TP_WorkInfo& work, bool locked) {
  if (!ClaimFromBatch(list, work) && !(locked && RefillBatch(list) && ClaimFromBatch(list, work))) return false;
  m_serial.counts.done.fetch_add(1, std::memory_order_release);
  return true;
}

// For an id above 0 the id stays with this thread, so order and
// one-at-a-time hold. A thread that gives the id up with items left makes
// it ready again.
bool ZnThreadPool::takeNextOfSerial(Taken& taken, bool stop) {
  const long long serialId = taken.work.serialId;
  PerSerialWorkList& list = *taken.list;
  const auto keepsId = [&] { return !stop && !othersReady(serialId); };
  if (keepsId() && claimNextOfSerial(list, taken.work, false)) return true;
  // Giving the id up and making it ready again for the next item costs
  // more than waiting a moment for that item.
  if (!stop) awaitInbox(list, serialId);
  bool wake = false;
  {
    LaneGuard lock(m_serial.lock);
    if (keepsId() && claimNextOfSerial(list, taken.work, true)) return true;
    list.ownerThreadId = 0;
    taken.list = nullptr;
    if (list.pending() == 0) {
      dropIdleWorkList(m_serial.lists.find(serialId));
    } else {
      makeReady(list, serialId);
      wake = true;
    }
  }
  if (wake) m_readySemaphore->release();
  return false;
}

void ZnThreadPool::awaitInbox(const PerSerialWorkList& list, long long serialId) const {
  for (int round = 0; round < kInboxSpinRounds; ++round) {
    if (list.inboxItems.load(std::memory_order_relaxed) != 0 || othersReady(serialId)) return;
    for (int i = 0; i < 8; ++i) zn::detail::CpuPause();
  }
}

// An id's list goes once it has nothing left, but a few stay for reuse: a
// busy id empties its list after nearly every item, and making the list
// anew each time would cost more than the item. An empty, idle list counts
// as no list.
void ZnThreadPool::dropIdleWorkList(std::map<long long, PerSerialWorkList>::iterator list) {
  constexpr std::size_t kKeptIdleLists = 64;
  if (m_serial.lists.size() > kKeptIdleLists && !hasWorkList(list->second) && !list->second.inReady) {
    m_serial.lists.erase(list);
  }
}

bool ZnThreadPool::hasWorkList(const PerSerialWorkList& list) { return list.pending() != 0 || list.ownerThreadId != 0; }

// Items taken off here never run, oldest first: an id's unclaimed batch,
// then its inbox. For an id above 0 its ready entry stays and is dropped by
// the worker that wakes for it (a new item meanwhile finds the id ready
// and adds no second entry); serial id 0 counts every item as ready, so
// those go from the ready count at once.
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
    Add(m_zero.counts.removed, taken);
    Sub(m_zero.counts.ready, taken);
    return true;
  }
  LaneGuard lock(m_serial.lock);
  const auto found = m_serial.lists.find(serialId);
  if (found == m_serial.lists.end() || !hasWorkList(found->second)) return false;
  PerSerialWorkList& list = found->second;
  TP_WorkInfo work;
  while (arguments.size() < limit && ClaimFromBatch(list, work)) {
    arguments.push_back(work.argument);
    ++taken;
  }
  while (!list.inbox.empty() && arguments.size() < limit) {
    arguments.push_back(list.inbox.front().argument);
    list.inbox.pop_front();
    ++taken;
  }
  list.inboxItems.store(static_cast<uint32_t>(list.inbox.size()), std::memory_order_relaxed);
  Add(m_serial.counts.removed, taken);
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
  return found == m_serial.lists.end() ? 0 : found->second.pending();
}
