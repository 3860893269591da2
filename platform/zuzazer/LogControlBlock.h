// State that every process writing one log file shares: the rollover
// generation, the bytes in the current file, the newest version stamp and
// the lines a full disk cut short. It lives in a small file under /dev/shm
// named after the log file, which also carries the rollover lock (an
// open-file-description lock, so it is released when a writer dies).
//
// The block belongs to the log folder's owner and group, as the log does:
// only they may open it (mode 0600, 0660 when the folder's group may write
// it). It appears fully set up or not at all, a block that others could
// have written to is not trusted, every wait on it is bounded, and the last
// writer to close removes it. When no block can be had, it is private and
// the lock falls back to the log file itself.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "zuzazer/FXUniqueFd.h"
#include "zuzazer/FXUniqueMapping.h"
#include "zuzazer/YqExport.h"

namespace yq {

struct YQ_EXPORT LogSharedState {
  std::atomic<uint32_t> magic;
  std::atomic<uint32_t> layout;
  std::atomic<uint64_t> generation;     // bumped by every rollover
  std::atomic<uint64_t> bytes;          // bytes appended to the current file
  std::atomic<int64_t> lastVersionTime;  // seconds of the newest version name
  // Lines cut short (a full disk), and how many of them a later line has
  // closed with a line end of its own: while they differ the file ends
  // inside a line.
  std::atomic<uint64_t> tornLines;
  std::atomic<uint64_t> closedLines;
};

class YQ_EXPORT LogControlBlock {
 public:
  // How long a writer waits for the block's locks; then it goes on without.
  static constexpr int kLockWaitMs = 1000;

  // `logFilePath` is the absolute path of the current log file.
  explicit LogControlBlock(const std::string& logFilePath);
  ~LogControlBlock();
  LogControlBlock(const LogControlBlock&) = delete;
  LogControlBlock& operator=(const LogControlBlock&) = delete;

  LogSharedState& state() { return *m_state; }
  bool isShared() const { return static_cast<bool>(m_shmFd); }

  // The rollover lock, waited for at most kLockWaitMs. `fallbackFd` is the
  // caller's open log file, locked instead when the block is private.
  bool lock(int fallbackFd);
  void unlock();

  // Removes the block's name when no other writer uses it: when it goes,
  // and at the process's exit for the writers left alive then.
  void removeIfLastUser();

  // The shared-memory name used for a log file path ("/zn.log.<hash>").
  static std::string SharedMemoryName(const std::string& logFilePath);

 private:
  bool openShared(const std::string& logFilePath);
  // The block set up under no name, then linked to its name: 0 when made,
  // -1 when it cannot be, -2 when another writer linked one first.
  int createShared(const std::string& logFilePath, const struct stat& folder);

  std::string m_path;    // of the block under /dev/shm
  pid_t m_ownerPid = 0;  // a forked child must not share the parent's lock
  UniqueFd m_shmFd;
  int m_lockedFd = -1;
  UniqueMapping m_mapping;            // the shared block, when there is one
  LogSharedState* m_state = nullptr;  // in m_mapping, or m_private
  std::unique_ptr<LogSharedState> m_private;
};

}  // namespace yq
