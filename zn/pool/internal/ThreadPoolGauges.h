// The counters a thread pool shows in the metrics log. The pool keeps them
// in its own fields, under its own locks; the metrics collector asks for
// them through a sampler just before it dumps, so an item never pays for a
// trip through the collector's process-wide lock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace zn::detail {

struct ThreadPoolCounters {
  uint32_t maxThreads = 0;
  uint32_t busyThreads = 0;
  uint32_t workerThreads = 0;
  uint32_t readyTask = 0;
  uint32_t taskList = 0;
  uint32_t taskAdded = 0;  // since the pool began; the dump shows the change
  uint32_t taskDone = 0;
};

class ThreadPoolGauges {
 public:
  static constexpr const char* kModule = "ThreadPool";

  ThreadPoolGauges() = default;
  ~ThreadPoolGauges() { Deregister(); }
  ThreadPoolGauges(const ThreadPoolGauges&) = delete;
  ThreadPoolGauges& operator=(const ThreadPoolGauges&) = delete;

  // Adds the observations of instance `name` and has the collector sample
  // `read` before each dump. A second call does nothing.
  void Register(const std::string& name, std::function<ThreadPoolCounters()> read);
  // Stops the sampling and removes the instance. Idempotent.
  void Deregister();
  // Hands the current values to the collector.
  void Publish();

 private:
  std::mutex m_registration;
  bool m_registered = false;
  std::string m_instance;  // fixed while registered
  std::function<ThreadPoolCounters()> m_read;
  uint32_t m_publishedAdded = 0;
  uint32_t m_publishedDone = 0;
};

}  // namespace zn::detail
