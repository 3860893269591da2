// Job information of the backup applications of a machine: one entry per
// application below "~/Jobinfo/<appId>", written by the application's own
// process and read by any other (monitors, `znadmin jobs`). Nothing is
// cached: every call goes to the store.
//
// Results are 1 on success and 0 on failure; getLastError() is then the
// store's code (or 0 for a refused call, such as an absent application) and
// getLastErrorMsg() the message.
//
// Whole records never show half written: every call that writes several
// values writes them in one store transaction, and every call that reads
// several values reads one snapshot. Layout and rules:
// docs/configuration.md, "Job records".
#pragma once

#include <list>
#include <string>
#include <vector>

#include "zn/base/ZnExport.h"
#include "zn/config/ZNPlatformInfo.h"

class EvDebug;

// One application's entry, as getClientsInfo reads it.
struct ZN_EXPORT znpiAppInfo {
  int appId = 0;
  std::string displayName;
  long long lastBackupStartTime = 0;
  long long lastSuccessfulBackupTime = 0;
  long long nextBackupTime = 0;
  long long phaseStartTime = 0;
  long long serverElapsedTime = 0;
  int backupJobState = 0;
  int startedJobId = 0;  // the running job id, as the started status pairs it
  int startedStatus = 0;
  int noJobReason = 0;
  unsigned long long lastBackupSuccessFiles = 0;
  unsigned long long lastBackupFailedFiles = 0;
  unsigned long long lastBackupBytes = 0;
  int lastBackupJobId = 0;
  int lastBackupJobStatus = 0;
  int runningJobId = 0;
  int runningJobPid = 0;
  std::string runningJobProcessName;
  int perfctrJobPhase = 0;
  unsigned long long perfctrJobPerf = 0;
  int perfctrPercent = 0;
  unsigned long long perfctrFilesCount = 0;
  unsigned long long perfctrFilesCountTot = 0;
  unsigned long long perfctrBytesCount = 0;
  unsigned long long perfctrBytesCountTot = 0;
  std::string currFile;
};

namespace zn::detail {
struct JobValue;
}  // namespace zn::detail

namespace zn {

// What became of the process that a job entry names.
enum class JobProcess {
  kNone,   // no process recorded (pid 0)
  kAlive,  // it runs
  kGone,   // no such process, only its zombie, or the pid now runs another program
};
ZN_EXPORT JobProcess CheckJobProcess(int pid, const std::string& processName);

}  // namespace zn

class ZN_EXPORT ZNPI_Jobinfo {
 public:
  // Bits of setPerfctrs' mask.
  static constexpr int kPerfPhase = 1;
  static constexpr int kPerfPerf = 2;
  static constexpr int kPerfPercent = 4;
  static constexpr int kPerfFilesCount = 8;
  static constexpr int kPerfFilesTotal = 16;
  static constexpr int kPerfBytesCount = 32;
  static constexpr int kPerfBytesTotal = 64;

  ZNPI_Jobinfo();
  ZNPI_Jobinfo(int consoleEcho, int logEcho);
  explicit ZNPI_Jobinfo(EvDebug* log);
  ZNPI_Jobinfo(const ZNPI_Jobinfo& other);
  ZNPI_Jobinfo& operator=(const ZNPI_Jobinfo& other);
  ~ZNPI_Jobinfo();

  int getLastError() const { return m_lastError; }
  std::string getLastErrorMsg() const { return m_lastErrorMsg; }
  const char* getFocus() const { return m_pInfo.getFocus(); }
  int setFocus(const char* instance) { return m_pInfo.setFocus(instance); }
  void setToDefaultFocus() { m_pInfo.setToDefaultFocus(); }

  // ---- Entries and jobs ----
  int addApp(int appId, const char* displayName, long long startTime);
  int deleteApp(int appId);
  int deleteAppAll();
  int addJob(int appId, int jobId, int pid, const char* processName);
  int deleteJob(int appId);
  int getJob(int appId, int& jobId);
  int setPerfctrs(int appId, int phase, unsigned long long perf, int percent, unsigned long long filesCount,
                  unsigned long long filesTotal, unsigned long long bytesCount, unsigned long long bytesTotal,
                  int mask);
  // A null pointer leaves that counter as it is.
  int setPerfctrs(int appId, int* phase, unsigned long long* perf, int* percent, unsigned long long* filesCount,
                  unsigned long long* filesTotal, unsigned long long* bytesCount, unsigned long long* bytesTotal);
  int getPerfctrs(int appId, int* phase, unsigned long long* perf, int* percent, unsigned long long* filesCount,
                  unsigned long long* filesTotal, unsigned long long* bytesCount, unsigned long long* bytesTotal);

  // ---- Readers over all entries ----
  // No "Jobinfo" key at all is an empty list.
  int getAppList(std::list<int>& out);
  int isAppIdPresent(int appId);
  int getAppIdFromJobId(int jobId, int& appId);
  int isAnyBackupRunning(int& appId);
  // Every complete entry; an entry that cannot be read whole is left out and
  // the result is 0 with the first such failure's message.
  int getClientsInfo(std::list<znpiAppInfo>& out);

  // ---- One value (or one pair) each ----
  int getDisplayName(int appId, std::string& out);
  int setDisplayName(int appId, const char* name);
  int getCurrFile(int appId, std::string& out);
  int setCurrFile(int appId, const char* file);
  int getJobPhaseCnt(int appId, int& count);
  int setJobPhaseCnt(int appId, int count);
  int getBackupJobState(int appId, int& state);
  int setBackupJobState(int appId, int state);
  int getBackupJobStartedStatus(int appId, int& jobId, int& status);
  int setBackupJobStartedStatus(int appId, int jobId, int status);
  int getLastBackupStartTime(int appId, long long& time);
  int setLastBackupStartTime(int appId, long long time);
  int getLastSuccessfulBackupTime(int appId, long long& time);
  int setLastSuccessfulBackupTime(int appId, long long time);
  int getNextBackupTime(int appId, long long& time);
  int setNextBackupTime(int appId, long long time);
  int getPhaseStartTime(int appId, long long& time);
  int setPhaseStartTime(int appId, long long time);
  int getServerElapsedTime(int appId, long long& time);
  int setServerElapsedTime(int appId, long long time);
  int getLastBackupFiles(int appId, unsigned long long& successFiles, unsigned long long& failedFiles);
  int setLastBackupFiles(int appId, unsigned long long successFiles, unsigned long long failedFiles);
  int getLastBackupBytes(int appId, unsigned long long& bytes);
  int setLastBackupBytes(int appId, unsigned long long bytes);
  int getLastBackupJobStatus(int appId, int& jobId, int& status);
  int setLastBackupJobStatus(int appId, int jobId, int status);
  int getNoJobReason(int appId, int& reason);
  int setNoJobReason(int appId, int reason);
  int clearNoJobReason(int appId);

  // Texts numbered from 1.
  int getNoJobReasonAddlInfo(int appId, int index, std::string& text);
  int setNoJobReasonAddlInfo(int appId, int count, const char* const* texts);
  int clearNoJobReasonAddlInfo(int appId);

 private:
  void setLastError(int code, const std::string& message);
  // setLastError and an error line under `context` (not-found codes stay
  // quiet, as in the store); returns 0.
  int fail(const char* context, int code, const std::string& message);
  std::string appSection(int appId) const;
  // Writes `values` into the entry in one transaction (creating its key with
  // `createKey`); false on failure, which is logged but not recorded.
  ZN_HIDDEN bool writeValues(int appId, const std::vector<zn::detail::JobValue>& values, bool createKey);
  // The setters: presence check, then writeValues.
  ZN_HIDDEN int setValues(const char* context, int appId, const char* what, const std::vector<zn::detail::JobValue>& values);
  // Single reads; on failure the store's code is in m_pInfo.
  bool readNumber(int appId, const char* name, int& out);
  bool readNumber64(int appId, const char* name, unsigned long long& out);
  bool readText(int appId, const char* name, std::string& out);
  bool readRecord(int appId, znpiAppInfo& record, bool& jobFieldsOk);
  // The getters: reads, or "Error getting <what> ..." on failure.
  int getNumber(const char* context, int appId, const char* name, const char* what, int& out);
  // Two numbers of one snapshot; both outputs change only on success.
  int getNumberPair(const char* context, int appId, const char* firstName, const char* secondName, const char* what,
                    int& first, int& second);
  int getTime(const char* context, int appId, const char* name, const char* what, long long& out);

  const char* m_section;
  ZNPlatformInfo m_pInfo;
  int m_lastError = 0;
  std::string m_lastErrorMsg;
};
