#include "zn/sync/ZnRW.h"

#include "zn/error/ZnException.h"
#include "zuzazer/FXThreadId.h"

namespace {

// Enters the monitor for one operation, when there is one.
class Guard {
 public:
  explicit Guard(ZnMonitor* monitor) : m_monitor(monitor) {
    if (m_monitor != nullptr) m_monitor->enter();
  }
  ~Guard() {
    if (m_monitor != nullptr) m_monitor->leave();
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  ZnMonitor* m_monitor;
};

}  // namespace

namespace {

constexpr uint32_t kWriterUnit = 1u << ZnSplitRW::kWriterShift;

uint32_t Readers(uint32_t state) { return state & ZnSplitRW::kReaderMask; }
uint32_t Writers(uint32_t state) { return (state & ZnSplitRW::kWriterMask) >> ZnSplitRW::kWriterShift; }
bool WriterWaits(uint32_t state) { return (state & ZnSplitRW::kWriterWaiting) != 0; }

}  // namespace

bool ZnSplitRW::tryRead(uint32_t self) {
  uint32_t state = m_state.load();
  while (true) {
    // Admitted: no writer, unless one waits while no reader is active; or
    // the writer itself.
    const bool admitted =
        Writers(state) == 0 ? (Readers(state) > 0 || !WriterWaits(state)) : m_writer.load() == self;
    if (!admitted) return false;
    if (Readers(state) == kReaderMask) throw ZnException("ZnSplitRW::readLock", "Too many readers.", __FILE__, __LINE__);
    if (m_state.compare_exchange_weak(state, state + 1)) return true;
  }
}

bool ZnSplitRW::tryWrite(uint32_t self) {
  uint32_t state = m_state.load();
  if (Writers(state) > 0 && m_writer.load() == self) {
    if ((state & kWriterMask) == kWriterMask) {
      throw ZnException("ZnSplitRW::writeLock", "Too many recursive write locks.", __FILE__, __LINE__);
    }
    m_state.fetch_add(kWriterUnit);  // only this thread changes the writer count now
    return true;
  }
  while ((state & ~kWriterWaiting) == 0) {
    // Taking the lock clears the waiting bit; other waiting writers set it
    // again when they find the lock taken.
    if (m_state.compare_exchange_weak(state, kWriterUnit)) {
      m_writer.store(self);
      return true;
    }
  }
  return false;
}

void ZnSplitRW::waitOn(ZnMonitor* monitor, const char* operation) {
  if (monitor == nullptr) throw ZnException(operation, "Cannot wait for the lock without a monitor.", __FILE__, __LINE__);
  monitor->wait();
}

void ZnSplitRW::wakeWaiters(ZnMonitor* monitor) {
  // A waiter counts itself before it checks the state, and the state was
  // changed before this load: it either sees the change or gets this wake.
  if (m_waiters.load() == 0 || monitor == nullptr) return;
  ZnMonitorLock lock(monitor);
  monitor->broadcast();
}

void ZnSplitRW::readLockSlow(ZnMonitor* monitor) {
  const uint32_t self = yq::CurrentThreadId();
  if (tryRead(self)) return;
  Guard guard(monitor);
  m_waiters.fetch_add(1);
  struct Uncount {
    std::atomic<uint32_t>& waiters;
    ~Uncount() { waiters.fetch_sub(1); }
  } uncount{m_waiters};
  while (!tryRead(self)) waitOn(monitor, "ZnSplitRW::readLock");
}

void ZnSplitRW::readUnlockSlow(ZnMonitor* monitor) {
  uint32_t state = m_state.load();
  while (Readers(state) > 0 && !m_state.compare_exchange_weak(state, state - 1)) {
  }
  wakeWaiters(monitor);
}

void ZnSplitRW::writeLock(ZnMonitor* monitor) {
  const uint32_t self = yq::CurrentThreadId();
  if (tryWrite(self)) return;
  Guard guard(monitor);
  m_waiters.fetch_add(1);
  struct Uncount {
    std::atomic<uint32_t>& waiters;
    ~Uncount() { waiters.fetch_sub(1); }
  } uncount{m_waiters};
  while (!tryWrite(self)) {
    // Without a monitor there is nothing to wait on: refuse before marking a
    // waiting writer, which would hold off readers with nobody to clear it.
    if (monitor == nullptr) waitOn(monitor, "ZnSplitRW::writeLock");
    m_state.fetch_or(kWriterWaiting);
    if (tryWrite(self)) break;
    waitOn(monitor, "ZnSplitRW::writeLock");
  }
}

void ZnSplitRW::writeUnlock(ZnMonitor* monitor) {
  const uint32_t writers = Writers(m_state.load());
  if (writers > 0) {
    // The writer id goes before the count reaches 0, so a new writer's id
    // is never cleared by this one.
    if (writers == 1) m_writer.store(0);
    m_state.fetch_sub(kWriterUnit);
  }
  wakeWaiters(monitor);
}

void ZnSplitRW::downgrade(ZnMonitor* monitor) {
  const uint32_t writers = Writers(m_state.load());
  if (writers == 0) return;
  if (writers == 1) m_writer.store(0);
  m_state.fetch_sub(kWriterUnit - 1);  // one writer unit becomes one reader
  wakeWaiters(monitor);
}

// ---- Holders ----

ZnReadLock::ZnReadLock(ZnRW* rw) : m_rw(rw) {
  if (m_rw != nullptr) m_rw->readLock();
}

ZnReadLock::ZnReadLock(ZnSplitRW* split, ZnMonitor* monitor) : m_split(split), m_monitor(monitor) {
  if (m_split != nullptr) m_split->readLock(m_monitor);
}

ZnReadLock::~ZnReadLock() {
  if (m_rw != nullptr) m_rw->readUnlock();
  if (m_split != nullptr) m_split->readUnlock(m_monitor);
}

ZnWriteLock::ZnWriteLock(ZnRW* rw) : m_rw(rw) {
  if (m_rw != nullptr) m_rw->writeLock();
}

ZnWriteLock::ZnWriteLock(ZnSplitRW* split, ZnMonitor* monitor) : m_split(split), m_monitor(monitor) {
  if (m_split != nullptr) m_split->writeLock(m_monitor);
}

ZnWriteLock::~ZnWriteLock() { release(); }

void ZnWriteLock::downgrade() {
  if (m_downgraded) return;
  if (m_rw != nullptr) m_rw->downgrade();
  if (m_split != nullptr) m_split->downgrade(m_monitor);
  m_downgraded = m_rw != nullptr || m_split != nullptr;
}

void ZnWriteLock::release() {
  if (m_rw != nullptr) m_downgraded ? m_rw->readUnlock() : m_rw->writeUnlock();
  if (m_split != nullptr) m_downgraded ? m_split->readUnlock(m_monitor) : m_split->writeUnlock(m_monitor);
  m_rw = nullptr;
  m_split = nullptr;
  m_monitor = nullptr;
  m_downgraded = false;
}

void ZnWriteLock::reset(ZnRW* rw) {
  release();
  m_rw = rw;
  if (m_rw != nullptr) m_rw->writeLock();
}

ZnRWLock::ZnRWLock(ZnRW* rw, bool write) : m_rw(rw), m_write(write) {
  if (m_rw != nullptr) m_write ? m_rw->writeLock() : m_rw->readLock();
}

ZnRWLock::ZnRWLock(ZnSplitRW* split, ZnMonitor* monitor, bool write)
    : m_split(split), m_monitor(monitor), m_write(write) {
  if (m_split != nullptr) m_write ? m_split->writeLock(m_monitor) : m_split->readLock(m_monitor);
}

ZnRWLock::~ZnRWLock() {
  if (m_rw != nullptr) m_write ? m_rw->writeUnlock() : m_rw->readUnlock();
  if (m_split != nullptr) m_write ? m_split->writeUnlock(m_monitor) : m_split->readUnlock(m_monitor);
}
