// The process debug log: the log catalogue, the process log and per-thread
// redirection, the level filter and the entry points every Part writes
// through. Lines themselves are composed and written by CYqLogger.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <mutex>
#include <string>

#include "zn/base/ZnExport.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/CYqError.h"

class CYqLogger;

// One row of the log catalogue.
struct ZN_EXPORT ZNLogFileInfo {
  unsigned int id;                  // CRC-32 of the upper-cased name, top bit cleared
  const char* name;                 // log name and base of the file name
  unsigned int reserved;            // always 0
  unsigned int defaultDebugLevel;
  unsigned int defaultMaxFileSize;  // megabytes
  unsigned int defaultVersions;     // older versions kept
};

// A record for printStringFormatted: a 10-character date, an 8-character
// time and the message.
struct ZN_EXPORT MsgEventFormatted {
  char date[11];
  char time[9];
  const char* message;
};

// One open log as EvDebug sees it. Fields the write path reads without a
// lock are atomic; the module name and prefix are guarded by the settings
// lock.
class ZN_EXPORT EvDebugFileInstance {
 public:
  static constexpr int kConstructed = -1;
  static constexpr int kInitializing = -2;
  static constexpr int kOpen = -3;

  EvDebugFileInstance() = default;
  EvDebugFileInstance(const EvDebugFileInstance& other);
  EvDebugFileInstance& operator=(const EvDebugFileInstance& other);

  std::atomic<int> m_state{kConstructed};
  unsigned long long m_writerIndex = 0;
  std::atomic<CYqLogger*> m_writer{nullptr};  // owned by the process's writer list
  std::atomic<int> m_debugLevel{1};
  int m_defaultDebugLevel = 1;
  std::atomic<long long> m_jobId{0};
  std::string m_moduleName;
  std::atomic<bool> m_moduleLoggingOff{false};
  std::string m_prefixMessage;
  std::atomic<bool> m_hasPrefixMessage{false};
  std::atomic<long long> m_lastRefresh{0};  // seconds since 1970
};

class ZN_EXPORT EvDebug : public ZNPI_Focus {
 public:
  static constexpr unsigned int kInvalidLogId = 0x7FFFFFFF;
  // Access methods: keep the file open between lines, or reopen per line.
  static constexpr int kAccessKeepOpen = 100;
  static constexpr int kAccessReopen = 200;
  // Room that printStringFormatted may fill.
  static constexpr std::size_t kFormattedRecordMax = 4096;

  // With null the handle follows the process's default instance (and any
  // thread-level instance pushed over it); otherwise it writes to `instance`.
  explicit EvDebug(EvDebugFileInstance* instance = nullptr);
  EvDebug(const EvDebug& other);
  EvDebug& operator=(const EvDebug& other);
  ~EvDebug();

  // ---- Messages: every entry point ends in the one write path. ----
  void Debug(const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void Error(const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void DebugLvl(const char* function, int level, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void DebugLvl(const char* function, int level, long long jobId, const char* format, ...)
      __attribute__((format(printf, 5, 6)));
  void DebugLvl(const char* function, long auxiliary, int level, long long jobId, const char* format, ...)
      __attribute__((format(printf, 6, 7)));
  void DebugJob(int level, const char* context, long long jobId, const char* format, ...)
      __attribute__((format(printf, 5, 6)));
  void DebugJob(const char* context, long long jobId, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void DebugFLDJ(const char* function, unsigned long line, int level, long long jobId, const char* format, ...)
      __attribute__((format(printf, 6, 7)));
  void LogMessage(int level, const char* function, unsigned long line, long long jobId, const char* context,
                  const char* format, ...) __attribute__((format(printf, 7, 8)));
  void debug(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void debug_args(const char* format, va_list args);
  // The integer has no effect; the line goes out at level 0.
  void debug(int ignored, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void debugLvl(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void debugLvl(int level, long long jobId, const char* format, ...) __attribute__((format(printf, 4, 5)));
  void error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void traceIn(const char* function, int line);
  void traceOut(const char* function, int line);

  // An already formatted text, written when the log is open, unfiltered.
  void logMessage(char* text);
  // Sends a text to the system log (and to the process log when it is open).
  static void ReportToSysLog(const char* text);
  // "%ld %4lx %s %s": process id, thread id, date and time, message. `out`
  // must hold kFormattedRecordMax bytes.
  static void printStringFormatted(MsgEventFormatted* record, char* out);

  // ---- Opening the log. ----
  bool initialize(unsigned int logId, long long jobId, const char* directory, bool flag,
                  const std::string& suffix = std::string());
  bool initialize(unsigned int logId, long long jobId, bool flag, const std::string& suffix = std::string());
  bool initialize(EvDebugFileInstance* instance, unsigned int logId, long long jobId, bool flag,
                  const std::string& suffix = std::string());

  bool IsInitialized();
  bool canILogDebugMsgs() const;
  EvDebugFileInstance* GetFileInstance() const;
  void CloseLogFile(bool final);
  void finalize();
  static void CleanupDefaultFileHandle();
  static void CleanupFileHandleList();
  static void ResetFileHandleList();

  void setModuleName(const char* name);
  std::string getModuleName();
  std::string getApplicationName();
  void setJobId(long long jobId);
  long long getJobId();
  void setPrefixMessage(const char* text);
  void setLogToSTDOUT(bool on);
  void SetRetryOnLogOpenFail(bool on);
  void setAccessMethod(int method);
  int getAccessMethod();
  bool canUserWriteToLog();
  static bool canUserWriteToPath(const char* directory);
  int GetLoggingMode();
  void SetLoggingMode(int mode);
  // The file the log writes to now; empty when it is not open.
  std::string getLogFilePath();

  // ---- Levels and sizes. ----
  void refreshDebugLevel(const char* name = nullptr);
  void refreshLogFileSize();
  void refreshMaxVersion();
  void refreshAllParams();
  void refreshLoggingSwitch();
  void setDebugLevel(int level);
  int getDebugLevel();
  int GetDebugLevel() { return getDebugLevel(); }
  int getDefaultDebugLevel();
  void setDefaultDebugLevel(int level);
  unsigned long long getLogFileSize();
  void setLogFileSize(unsigned long long megabytes);
  unsigned long long getDefaultLogFileSize();
  void setDefaultLogFileSize(unsigned long long megabytes);
  unsigned long getMaxVersion();
  unsigned long getDefaultMaxVersion();
  // Waits up to "<name>_DEBUGWAITTIME" seconds for a debugger.
  void debugWait();
  void debugWait(const char* name);
  void debugWait(const char* name, int level);
  // With "<name>_DEBUGWAITTIME" at 0, waits until a ".resume" file it makes
  // in the product's temporary folder is removed; other values wait for a
  // debugger without breaking into it. False when the log is not open (or,
  // with a level, when the log's level is below it).
  bool debugWaitOnFile(const char* name);
  bool debugWaitOnFile(const char* name, int level);
  // ZNPlatformInfo::getAppDebugLevel.
  int getAppDebugLevel(const char* app);
  // "<module>_RetainLogsInDays_Default" of section "EventManager".
  bool getDefaultRetainLogsTill(unsigned int& days);
  bool setDefaultRetainLogsTill(unsigned int days);
  bool resetDefaultRetainLogsTill();
  // Writes the image debugging settings of this program into the log.
  void PrintGflags();
  static std::string GetProductVersion();

  // ---- Identity of the process, gathered by the first initialize. ----
  static const char* getHostName();
  static const char* getClientName();
  static const char* getProcessName();
  static long getProcessId();
  static std::string getIPString();
  static std::string getMACAddress();
  static int getServicePackVersion();

  // ---- The catalogue. ----
  static unsigned int getLogId(const char* name);
  static CYqError GetLogName(unsigned int logId, const std::string& suffix, std::string& name);
  static CYqError PruneLogFiles(std::string& folder, bool compress);
  // The catalogue row for an id, or null.
  static const ZNLogFileInfo* GetLogFileInfo(unsigned int logId);
  static std::string getTempLogFilePath();

  // ---- Streaming every line to the scale-out log service. ----
  void streamLogsTo(const char* destination);
  static void forceZnScaleStreaming();
  static void suppressZnScaleStreaming();
  static bool flushZnScaleLogs(int flags);
  // Asks the asynchronous logging service to release this process's
  // threads; the outcome is written to the process log.
  static void cleanupAsyncLoggingInProcess();

  // Identity fields and process-wide switches.
  static char c_hostName[260];
  static char c_clientName[260];
  static char c_processName[256];
  static long c_processId;
  static std::string c_hostIP;
  static std::string c_NicMac;
  static std::string sHSHostName;
  static std::string sHSClientName;
  static std::string sVersion;
  static int c_ServicePackVer;
  static std::atomic<bool> m_bLogToSTDOUT;
  static std::atomic<bool> cc2stderr;
  static std::atomic<bool> zndMonitoringInitialized;
  static std::atomic<bool> m_bTurnOffAllLogs;

 protected:
  // The common bodies of the entry points. The integer is accepted and not
  // used.
  void handleMsgEventDebug_NEW(int level, long auxiliary, const char* function, unsigned long line, int unused,
                               long long jobId, const char* context, const char* format, va_list args);
  void handleMsgEventDebug_NEW(int level, const char* function, unsigned long line, int unused, long long jobId,
                               const char* context, const char* format, va_list args);
  void handleMsgEventDebug_NEW(int level, const char* function, int unused, long long jobId, const char* context,
                               const char* format, va_list args);

 private:
  friend class CEvDebugWrapper;
  static constexpr unsigned int kFollowsDefault = 1;

  // Makes the utility library write its own lines into the process log,
  // once per process.
  static void ConfigureZuZazer();
  // Watching the local service daemon, started once per process by
  // initialize when a termination callback is registered.
  static void startMonitoringZND();
  static unsigned int WaitTillZNDTerminates(void* unused);
  static void ShutDownProcess();

  EvDebugFileInstance* resolveInstance();
  bool initializeLog(unsigned int logId, long long jobId, const char* directory, const std::string& suffix,
                     bool flag);
  void debugWaitFor(const std::string& settingName);
  void debugWaitOnFileFor(const std::string& module);

  EvDebugFileInstance* m_instance;
  unsigned int m_flags;
  unsigned int m_threadId = 0;
  unsigned int m_reserved = 0;
};

// While it lives, lines written on this thread are not streamed.
class ZN_EXPORT EvDebugZnScaleSuspendStreaming {
 public:
  EvDebugZnScaleSuspendStreaming();
  ~EvDebugZnScaleSuspendStreaming();
  EvDebugZnScaleSuspendStreaming(const EvDebugZnScaleSuspendStreaming&) = delete;
  EvDebugZnScaleSuspendStreaming& operator=(const EvDebugZnScaleSuspendStreaming&) = delete;
};

// While it lives, handles that follow the default instance write, on this
// thread only, into the pushed instance.
class ZN_EXPORT ThLvlEvDebugFileInstance {
 public:
  explicit ThLvlEvDebugFileInstance(EvDebugFileInstance* instance);
  ~ThLvlEvDebugFileInstance();
  ThLvlEvDebugFileInstance(const ThLvlEvDebugFileInstance&) = delete;
  ThLvlEvDebugFileInstance& operator=(const ThLvlEvDebugFileInstance&) = delete;

 private:
  bool m_pushed = false;
};
