// The log writer: composes each line, appends it to the log file and keeps
// the file's versions. Safe for any number of threads and processes writing
// one file (see LogFileAppender.h); the line layout is in LogLineFormat.h.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

class CYqLogger;

namespace yq {
class LogFileAppender;
}

// Receives texts meant for the system log.
using YqSyslogCallback = void (*)(const char* text);
// Sees every line before it is written; returning true means the line was
// taken care of and is not written to the file.
using YqLogMessageHook = bool (*)(CYqLogger* writer, int level, const char* line);

class YQ_EXPORT CYqLogger {
 public:
  // Logging modes: each line goes to the file as it is written (1), or is
  // also forced to stable storage before the call returns (2).
  static constexpr int kLoggingModeDirect = 1;
  static constexpr int kLoggingModeDurable = 2;

  CYqLogger();
  ~CYqLogger();
  CYqLogger(const CYqLogger&) = delete;
  CYqLogger& operator=(const CYqLogger&) = delete;

  // Prepares the writer for "<directory>/<fileBaseName>.log"; the file itself
  // is opened by the first line. `copyToStderr` echoes every line to stderr.
  // A scratch writer (`scratch`) writes no file header.
  CYqError Initialize(const std::string& fileBaseName, const std::string& directory, int debugLevel,
                      bool copyToStderr, bool scratch);

  // The writer's own filter: lines above this level are dropped.
  void SetLevel(int level) { m_level.store(level, std::memory_order_relaxed); }
  int GetLevel() const { return m_level.load(std::memory_order_relaxed); }

  void LogMessageV(int level, long auxiliary, const char* function, unsigned long line, long long jobId,
                   const char* context, const char* format, va_list args);
  void LogMessage(int level, long auxiliary, const char* function, unsigned long line, long long jobId,
                  const char* context, const char* format, ...) __attribute__((format(printf, 8, 9)));
  // Writes an already formatted text as it stands (a line end is added when
  // it has none), with no level filter.
  void LogMessage(const char* text);
  // Writes the text as a line and hands it to the system-log callback.
  void LogMessageSyslog(const char* text);

  // Releases the file; the next line opens it again. `final` is accepted for
  // callers that close at exit and changes nothing more.
  void CloseLogFile(bool final);
  // Closes the file for good: later lines are dropped. For writers that
  // callers may still hold after their owner let them go.
  void Retire();

  // Maximum size of the current file in megabytes (0: no limit).
  void SetLogFileSize(unsigned long long megabytes);
  unsigned long long GetLogFileSize() const;
  // The same limit in bytes, for limits below a megabyte.
  void SetLogFileSizeBytes(unsigned long long bytes) { m_maxBytes.store(bytes); }
  unsigned long long GetLogFileSizeBytes() const { return m_maxBytes.load(); }
  void SetDefaultLogFileSize(unsigned long long megabytes) { m_defaultSizeMb.store(megabytes); }
  unsigned long long GetDefaultLogFileSize() const { return m_defaultSizeMb.load(); }

  // Older versions kept beside the current file.
  void SetMaxVersions(unsigned long versions) { m_maxVersions.store(static_cast<uint32_t>(versions)); }
  unsigned long GetMaxVersions() const { return m_maxVersions.load(); }
  void SetDefaultMaxVersions(unsigned long versions) { m_defaultVersions.store(static_cast<uint32_t>(versions)); }
  unsigned long GetDefaultMaxVersions() const { return m_defaultVersions.load(); }

  // Versions last written longer ago than this many seconds are deleted at
  // the next rollover (0: no age limit).
  void SetRetainLogsTill(unsigned long long seconds) { m_retainSeconds.store(seconds); }
  unsigned long long GetRetainLogsTill() const { return m_retainSeconds.load(); }

  // Identity written into the header of every file this writer creates.
  void SetPlatformInformation(const std::string& hostName, const std::string& hostNameAgain,
                              const std::string& clientName, const std::string& hubServerHostName,
                              const std::string& hubServerClientName, const std::string& osText,
                              const std::string& addressText, const std::string& productVersion,
                              const std::string& focus, const std::string& processName, long processId);
  void SetProcessorInformation(const std::string& productType, const std::string& processorType, int number);
  void SetSyslogCallback(YqSyslogCallback callback) { m_syslogCallback.store(callback); }

  void SetLogToStdout(bool on) { m_logToStdout.store(on); }
  bool GetLogToStdout() const { return m_logToStdout.load(); }
  // Try opening the file a few more times before a line is given up.
  void SetRetryOnLogOpenFail(bool on) { m_retryOnOpenFail.store(on); }
  // Keep the file open between lines (true), or open it for every line.
  void SetKeepLogFileOpen(bool on) { m_keepOpen.store(on); }
  bool GetKeepLogFileOpen() const { return m_keepOpen.load(); }
  void SetLoggingMode(int mode);
  int GetLoggingMode() const { return m_loggingMode.load(); }

  // True when the log folder exists (or can be made) and this process may
  // create and write files in it.
  bool CanUserWriteToLog() const;

  const std::string& GetAppName() const { return m_baseName; }
  const std::string& GetLockName() const { return m_lockName; }
  const std::string& GetDirectory() const { return m_directory; }
  // "<directory>/<base name>.log"
  std::string GetLogFilePath() const;

  // The name that identifies a log file: equal names mean the same file.
  static std::string GetLockName(const std::string& moduleName, const std::string& directory);

  // Process-wide: show each line's level.
  static void SetShowLogLevel(bool on);
  static bool GetShowLogLevel();
  static void SetLogMessageHook(YqLogMessageHook hook);

 private:
  void emit(int level, const char* line, std::size_t length);
  std::string header() const;
  void reportFailure(int err);

  std::string m_baseName;
  std::string m_directory;
  std::string m_lockName;
  bool m_copyToStderr = false;
  bool m_scratch = false;
  std::unique_ptr<yq::LogFileAppender> m_appender;

  std::atomic<int> m_level{1};
  std::atomic<unsigned long long> m_maxBytes{0};
  std::atomic<unsigned long long> m_defaultSizeMb{0};
  std::atomic<uint32_t> m_maxVersions{0};
  std::atomic<uint32_t> m_defaultVersions{0};
  std::atomic<unsigned long long> m_retainSeconds{0};
  std::atomic<bool> m_logToStdout{false};
  std::atomic<bool> m_retryOnOpenFail{false};
  std::atomic<bool> m_keepOpen{true};
  std::atomic<int> m_loggingMode{kLoggingModeDirect};
  std::atomic<YqSyslogCallback> m_syslogCallback{nullptr};
  std::atomic<bool> m_failureReported{false};
  std::atomic<bool> m_retired{false};

  mutable std::mutex m_identityMutex;
  std::string m_identity;   // header lines of the platform information
  std::string m_processor;  // header line of the processor information
};
