// A process identified by its pid, optionally its start time (100-ns
// intervals since 1601, as ZNProcessId gives it) and its name. With a start
// time, a later process that reuses the pid is not this one.
#pragma once

#include <string>

#include "zn/base/ZnExport.h"

class ZN_EXPORT MDProcess {
 public:
  MDProcess() = default;
  explicit MDProcess(unsigned long pid, unsigned long long startTime = 0, const char* name = nullptr);
  // The calling process, its start time and name filled in.
  static MDProcess current();

  // Runs (a zombie does not) and, with a start time, started then.
  bool isAlive() const;
  // SIGKILL to this very process (checked through a pidfd, so never to a
  // later one with the same pid). true when it was sent.
  bool terminate() const;
  // Kept as the suite has it: does nothing.
  bool kill() const { return true; }

  unsigned long getPid() const { return m_pid; }
  // The name given at construction.
  const std::string& getProcessName() const { return m_name; }
  // The file name of the running program (or the kernel's name for it);
  // empty when the process does not run or cannot be examined.
  std::string getRunningProcessName() const;
  // 0 when it does not run.
  unsigned long long getRunningProcessStartTime() const;
  unsigned long long getStartTime() const { return m_startTime; }

  // The same pid and, where both know it, the same start time.
  bool operator==(const MDProcess& other) const;
  bool operator!=(const MDProcess& other) const { return !(*this == other); }

 private:
  unsigned long m_pid = 0;
  unsigned long long m_startTime = 0;
  std::string m_name;
};
