// The machine-wide change counter of one store file: a small shared-memory
// segment named after the file's device and inode. It counts the writes
// begun and the writes ended: a writer raises the first once it holds the
// store's write lock (so writers take turns at it, as at the store) and the
// second once its transaction has ended, before its call returns. A read
// may be answered from a cache only while both are equal (no write under
// way) and equal to what they were when the cached value was read.
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "zuzazer/FXUniqueMapping.h"

namespace zn::detail {

class StoreChangeCounter {
 public:
  // The counter of the store file described by `store` (its stat). Null
  // when there is none this process may trust: then nothing may be cached.
  // Only the store file's owner (or root) creates the segment, with the
  // file's owner, group and access bits; a segment that grants more than
  // the store file does, or belongs to anyone else, is not used.
  static std::unique_ptr<StoreChangeCounter> Open(const struct stat& store);

  // "/zn.store.<device>.<inode>" in hexadecimal.
  static std::string SegmentName(const struct stat& store);

  // False while a write is under way; else `ended` is the writes ended.
  bool stamp(uint64_t& ended) const {
    ended = m_ended->load(std::memory_order_acquire);
    return m_begun->load(std::memory_order_acquire) == ended;
  }
  // With the store's write lock held. A begun write that never ended was
  // a writer killed in its write (the lock is free again): counted ended.
  // False when this process may only read the segment.
  bool beginWrite() {
    if (!m_writable) return false;
    const uint64_t begun = m_begun->load(std::memory_order_acquire);
    if (m_ended->load(std::memory_order_acquire) != begun) m_ended->store(begun, std::memory_order_release);
    m_begun->store(begun + 1, std::memory_order_seq_cst);
    return true;
  }
  void endWrite() { m_ended->store(m_begun->load(std::memory_order_acquire), std::memory_order_seq_cst); }

 private:
  StoreChangeCounter(yq::UniqueMapping mapping, bool writable);

  yq::UniqueMapping m_mapping;
  std::atomic<uint64_t>* m_begun;
  std::atomic<uint64_t>* m_ended;
  bool m_writable;
};

}  // namespace zn::detail
