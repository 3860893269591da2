// State that every process writing one log file shares: the rollover
// generation, the bytes in the current file and the newest version stamp.
// It lives in a small shared-memory file under /dev/shm named after the log
// file, which also carries the rollover lock (an open-file-description lock,
// so it is released when a writer dies). When that file cannot be had, the
// block is private and the lock falls back to the log file itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <sys/types.h>

#include "zuzazer/YqExport.h"

namespace yq {

struct YQ_EXPORT LogSharedState {
  std::atomic<uint32_t> magic;
  std::atomic<uint32_t> layout;
  std::atomic<uint64_t> generation;     // bumped by every rollover
  std::atomic<uint64_t> bytes;          // bytes appended to the current file
  std::atomic<int64_t> lastVersionTime;  // seconds of the newest version name
};

class YQ_EXPORT LogControlBlock {
 public:
  // `logFilePath` is the absolute path of the current log file.
  explicit LogControlBlock(const std::string& logFilePath);
  ~LogControlBlock();
  LogControlBlock(const LogControlBlock&) = delete;
  LogControlBlock& operator=(const LogControlBlock&) = delete;

  LogSharedState& state() { return *m_state; }
  bool isShared() const { return m_shmFd >= 0; }

  // The rollover lock. `fallbackFd` is the caller's open log file, locked
  // instead when the block is private.
  bool lock(int fallbackFd);
  void unlock();

  // The shared-memory name used for a log file path ("/zn.log.<hash>").
  static std::string SharedMemoryName(const std::string& logFilePath);

 private:
  bool openShared(const std::string& name, const std::string& logFilePath);
  void initializeOnce(const std::string& logFilePath);

  std::string m_name;
  pid_t m_ownerPid = 0;  // a forked child must not share the parent's lock
  int m_shmFd = -1;
  int m_lockedFd = -1;
  LogSharedState* m_state = nullptr;
  std::unique_ptr<LogSharedState> m_private;
};

}  // namespace yq
