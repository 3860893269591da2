// Reader/writer locks. ZnSplitRW keeps the whole state in one word plus the
// writer's thread id and is guarded by a monitor given with each call;
// ZnRW is a monitor with its own split state.
//
// State word: bits 0-20 readers, bits 21-30 writer recursion, bit 31 set
// while a writer waits. Readers are admitted while other readers are active
// even when a writer waits, so a steady stream of readers can hold off a
// writer; a waiting writer stops new readers only when none is active.
//
// The word is changed with atomic operations, so taking and releasing a
// lock that is free needs no monitor at all; the monitor is entered only to
// wait, and by a releaser when someone is waiting.
#pragma once

#include <atomic>
#include <cstdint>

#include "zn/base/ZnExport.h"
#include "zn/sync/ZnMonitor.h"

class ZN_EXPORT ZnSplitRW {
 public:
  static constexpr uint32_t kReaderMask = 0x001FFFFFu;
  static constexpr uint32_t kWriterShift = 21;
  static constexpr uint32_t kWriterMask = 0x7FE00000u;
  static constexpr uint32_t kWriterWaiting = 0x80000000u;

  ZnSplitRW() = default;

  // Every operation runs under `monitor`; null means the caller already
  // holds the monitor that guards this state (an operation that would have
  // to wait then throws, since it has nothing to wait on).
  void readLock(ZnMonitor* monitor) {
    // The common case inline: no writer holds or waits.
    uint32_t state = m_state.load();
    if ((state & (kWriterMask | kWriterWaiting)) == 0 && (state & kReaderMask) != kReaderMask &&
        m_state.compare_exchange_strong(state, state + 1)) {
      return;
    }
    readLockSlow(monitor);
  }
  void readUnlock(ZnMonitor* monitor) {
    uint32_t state = m_state.load();
    if ((state & kReaderMask) > 0 && m_state.compare_exchange_strong(state, state - 1)) {
      if (m_waiters.load() != 0) wakeWaiters(monitor);
      return;
    }
    readUnlockSlow(monitor);
  }
  // Recursive for the writer. A thread holding only a read lock that asks
  // to write waits for its own read lock, and so never gets it.
  void writeLock(ZnMonitor* monitor);
  void writeUnlock(ZnMonitor* monitor);
  // Turns one unit of writing into one of reading.
  void downgrade(ZnMonitor* monitor);

  bool isLocked() const { return (m_state.load() & ~kWriterWaiting) != 0; }
  int getReadCnt() const { return static_cast<int>(m_state.load() & kReaderMask); }
  int getWriteCnt() const { return static_cast<int>((m_state.load() & kWriterMask) >> kWriterShift); }
  uint32_t getState() const { return m_state.load(); }
  uint32_t getWriter() const { return m_writer.load(); }

 private:
  void readLockSlow(ZnMonitor* monitor);
  void readUnlockSlow(ZnMonitor* monitor);
  bool tryRead(uint32_t self);
  bool tryWrite(uint32_t self);
  void waitOn(ZnMonitor* monitor, const char* operation);
  void wakeWaiters(ZnMonitor* monitor);

  std::atomic<uint32_t> m_state{0};
  std::atomic<uint32_t> m_writer{0};
  std::atomic<uint32_t> m_waiters{0};  // threads inside a slow-path wait
};

class ZN_EXPORT ZnRW : public ZnMonitor {
 public:
  void readLock() { m_split.readLock(this); }
  void readUnlock() { m_split.readUnlock(this); }
  void writeLock() { m_split.writeLock(this); }
  void writeUnlock() { m_split.writeUnlock(this); }
  void downgrade() { m_split.downgrade(this); }

  bool isLocked() const { return m_split.isLocked(); }
  int getReadCnt() const { return m_split.getReadCnt(); }
  int getWriteCnt() const { return m_split.getWriteCnt(); }

 private:
  ZnSplitRW m_split;
};

class ZN_EXPORT ZnReadLock {
 public:
  explicit ZnReadLock(ZnRW* rw);
  ZnReadLock(ZnSplitRW* split, ZnMonitor* monitor);
  ~ZnReadLock();
  ZnReadLock(const ZnReadLock&) = delete;
  ZnReadLock& operator=(const ZnReadLock&) = delete;

 private:
  ZnSplitRW* m_split = nullptr;
  ZnMonitor* m_monitor = nullptr;
  ZnRW* m_rw = nullptr;
};

class ZN_EXPORT ZnWriteLock {
 public:
  explicit ZnWriteLock(ZnRW* rw);
  ZnWriteLock(ZnSplitRW* split, ZnMonitor* monitor);
  ~ZnWriteLock();
  ZnWriteLock(const ZnWriteLock&) = delete;
  ZnWriteLock& operator=(const ZnWriteLock&) = delete;

  // Keeps a read lock from now on; the destructor then releases that.
  void downgrade();
  // Releases what is held and write-locks `rw`.
  void reset(ZnRW* rw);

 private:
  void release();

  ZnSplitRW* m_split = nullptr;
  ZnMonitor* m_monitor = nullptr;
  ZnRW* m_rw = nullptr;
  bool m_downgraded = false;
};

class ZN_EXPORT ZnRWLock {
 public:
  ZnRWLock(ZnRW* rw, bool write);
  ZnRWLock(ZnSplitRW* split, ZnMonitor* monitor, bool write);
  ~ZnRWLock();
  ZnRWLock(const ZnRWLock&) = delete;
  ZnRWLock& operator=(const ZnRWLock&) = delete;

 private:
  ZnSplitRW* m_split = nullptr;
  ZnMonitor* m_monitor = nullptr;
  ZnRW* m_rw = nullptr;
  bool m_write;
};
