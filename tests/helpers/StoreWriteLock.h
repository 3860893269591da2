// Another process holding the configuration store's write lock: sqlite3
// (the command-line shell) in an open immediate transaction, having run
// the given statements in it, until released. Nothing it wrote is
// committed.
#pragma once

#include <sys/types.h>

#include <string>

namespace zn::test {

class StoreWriteLock {
 public:
  // Holds the lock on `store` once `held()` is true.
  explicit StoreWriteLock(const std::string& store, const std::string& statements = std::string());
  ~StoreWriteLock();
  StoreWriteLock(const StoreWriteLock&) = delete;
  StoreWriteLock& operator=(const StoreWriteLock&) = delete;

  // Waits (at most 30 s) until the transaction is open.
  bool held();
  // Ends the shell's input: it rolls back and leaves.
  void release();

 private:
  pid_t m_pid = -1;
  int m_input = -1;
  int m_output = -1;
  bool m_held = false;
};

}  // namespace zn::test
