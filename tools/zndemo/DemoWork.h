// The demo service's work: a stream of items with serial ids. Items of one
// id must run in the order they were queued and one at a time; the stream
// records what ran so that the end of the run can check it.
#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class ZnThreadPool;

namespace zn::demo {

class WorkStream {
 public:
  // Ids 1..kSerialIds keep order; id 0 items run in any order.
  static constexpr int kSerialIds = 8;

  explicit WorkStream(ZnThreadPool& pool) : m_pool(pool) {}
  WorkStream(const WorkStream&) = delete;
  WorkStream& operator=(const WorkStream&) = delete;

  // Queues one item (round robin over the ids, every fifth one with id 0).
  void queueOne();
  int queued() const { return m_queued.load(); }
  int done() const { return m_done.load(); }
  // True when every id's items ran in queue order, never two at once.
  bool orderKept(std::string& problem) const;

 private:
  struct Item {
    WorkStream* stream;
    int serial;
    int sequence;
  };
  struct Serial {
    std::mutex lock;
    std::vector<int> ran;
    int nextSequence = 0;
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
  };
  static unsigned int Run(void* argument);

  ZnThreadPool& m_pool;
  std::array<Serial, kSerialIds + 1> m_serials;
  std::atomic<int> m_queued{0};
  std::atomic<int> m_done{0};
  int m_next = 0;  // the producer's own
};

}  // namespace zn::demo
