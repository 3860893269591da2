// Appends complete lines to one log file that several threads and processes
// write at once, and rolls it over into versions.
//
// Each line is one write(2) on an O_APPEND descriptor, so lines never tear
// or interleave. A rollover renames the current file to its version name
// under the rollover lock and bumps the shared generation; every writer
// compares the generation before each line and reopens when it moved. A line
// written while another process rolls over lands in the newest version,
// never nowhere. Changes made behind the writers' backs (the file deleted or
// renamed by someone else) are noticed within a second.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "zuzazer/LogControlBlock.h"
#include "zuzazer/YqExport.h"

namespace yq {

struct YQ_EXPORT LogFileLimits {
  uint64_t maxBytes = 0;       // 0: never roll over
  uint32_t maxVersions = 0;    // older versions kept
  uint64_t retainSeconds = 0;  // 0: no age limit
};

class YQ_EXPORT LogFileAppender {
 public:
  // Text written at the top of every file this writer creates.
  using HeaderSource = std::function<std::string()>;

  LogFileAppender(std::string directory, std::string baseName, HeaderSource header);
  ~LogFileAppender();
  LogFileAppender(const LogFileAppender&) = delete;
  LogFileAppender& operator=(const LogFileAppender&) = delete;

  // Appends one line (which must end in '\n'). With `keepOpen` false the file
  // is opened for this line only; `durable` syncs the data before returning.
  // Returns 0 or the errno of the failure.
  int append(std::string_view line, const LogFileLimits& limits, bool keepOpen, bool durable);

  // Releases the descriptor; the next line opens the file again.
  void close();

  const std::string& path() const { return m_path; }
  const std::string& directory() const { return m_directory; }

 private:
  int appendKeepingOpen(std::string_view line, const LogFileLimits& limits, bool durable);
  int appendOpeningPerLine(std::string_view line, const LogFileLimits& limits, bool durable);
  // Opens the current file (creating it with its header when missing).
  // Returns the descriptor or -errno.
  int openCurrentFile();
  int reopenLocked();
  void checkExternalChangesLocked();
  // `perLineFd` is the descriptor of a per-line open, or -1 for the kept one.
  void rollOverIfNeeded(int perLineFd, const LogFileLimits& limits);
  bool ensureControlBlock();

  const std::string m_directory;
  const std::string m_baseName;
  const std::string m_path;
  const HeaderSource m_header;

  std::mutex m_mutex;  // reopen, rollover, close
  std::atomic<int> m_fd{-1};
  std::atomic<int> m_inflight{0};
  std::atomic<uint64_t> m_openGeneration{0};
  std::atomic<int64_t> m_lastExternalCheck{0};
  std::unique_ptr<LogControlBlock> m_control;
  int64_t m_rolloverPausedUntil = 0;  // monotonic ms; under m_mutex
  std::atomic<LogSharedState*> m_shared{nullptr};
};

}  // namespace yq
