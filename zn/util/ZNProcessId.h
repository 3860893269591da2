// A process as the suite names it: its id and its creation time, so that a
// recorded identifier never matches a later process that reuses the id.
// The text form is "%lu/%lu/%lu": the pid, then the high and the low 32 bits
// of the creation time.
#pragma once

#include <cstdint>
#include <string>

#include "zn/base/ZnExport.h"
#include "zn/debuggable/ZNTDebuggable.h"

class ZN_EXPORT ZNProcessId : public ZNTDebuggable {
 public:
  ZNProcessId() = default;
  // A process by its id; its creation time is read when first needed.
  explicit ZNProcessId(unsigned long pid);
  ZNProcessId(const ZNProcessId&) = default;
  ZNProcessId& operator=(const ZNProcessId&) = default;
  ~ZNProcessId() override = default;

  // Fills in the calling process. Always 0.
  int thisProcess();

  // Parses "%lu/%lu/%lu" (each number decimal and within 32 bits; blanks
  // before a number and text after the third are ignored). -1 and the report
  // "setIdString: invalid id string %s\n" when fewer than three numbers
  // parse; the object is then left as it was.
  int setIdString(const char* text);

  // The text form; 0, or -1 with a report when the object holds no process
  // or the creation time cannot be read.
  int getIdString(std::string& text);
  // The same into `buffer`; -1 also when `size` cannot hold it.
  int getIdString(char* buffer, unsigned long size);

  // True while a process with this id runs and, when the creation time is
  // known, was created at that time (a zombie does not run).
  bool isRunning();

  bool isInitialized() const { return m_initialized; }
  unsigned long getPid() const { return m_pid; }
  // 100-ns intervals since 1601-01-01 UTC; 0 when it cannot be read.
  unsigned long long getCreationTime();

  // Same pid and, where both objects know it, the same creation time.
  bool operator==(const ZNProcessId& other) const;
  bool operator!=(const ZNProcessId& other) const { return !(*this == other); }

 private:
  bool loadCreationTime(const char* caller);

  bool m_initialized = false;
  uint32_t m_pid = 0;
  bool m_timeKnown = false;
  uint32_t m_createTimeHigh = 0;
  uint32_t m_createTimeLow = 0;
};
