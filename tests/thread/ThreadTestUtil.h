// Helpers of the thread tests: a gate threads wait at, and the thread ids
// of the process.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "zn/sync/ZnSemaphore.h"
#include "zn/thread/ZnThread.h"

namespace zn::test {

// Every wait of these tests ends within this time, whatever goes wrong.
inline constexpr unsigned int kThreadWaitMs = 30000;

// A manual-reset event that threads wait at (bounded) until it opens.
class Gate {
 public:
  void open() { m_event.set(); }
  bool pass(unsigned long ms = kThreadWaitMs) { return m_event.wait(ms); }

 private:
  ZnEvent m_event{true};
};

// The kernel ids of the process's threads.
inline std::vector<pid_t> ProcessThreads() {
  std::vector<pid_t> threads;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (const dirent* entry = ::readdir(tasks)) {
      if (entry->d_name[0] != '.') threads.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
    }
    ::closedir(tasks);
  }
  return threads;
}

// True once the kernel has let go of a thread (it leaves /proc soon after
// its last instruction), bounded.
inline bool ThreadGone(unsigned int threadId,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(kThreadWaitMs)) {
  const std::string path = "/proc/self/task/" + std::to_string(threadId);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (::access(path.c_str(), F_OK) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace zn::test
