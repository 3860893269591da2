#include "zn/config/ZNPI_Jobinfo.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "zn/store/ConfigStore.h"
#include "zn/log/EvDebug.h"

using zn::ConfigStore;
using zn::detail::JobValue;
using zn::StoreStatus;

namespace zn::detail {

// One value of an entry as it goes into a store transaction.
struct JobValue {
  const char* name;
  uint32_t type;
  std::string data;
};

}  // namespace zn::detail

namespace {

constexpr const char* kSection = "Jobinfo";

constexpr const char* kDisplayName = "sDisplayName";
constexpr const char* kRunningJobId = "nRunningJobId";
constexpr const char* kRunningJobPid = "nRunningJobPid";
constexpr const char* kRunningJobProcessName = "nRunningJobProcessName";
constexpr const char* kStartedStatus = "nBackupJobStartedStatus";
constexpr const char* kBackupJobState = "nBackupJobState";
constexpr const char* kPhaseCount = "nBackupJobPhaseCnt";
constexpr const char* kPerfctrJobPhase = "nPerfctrJobPhase";
constexpr const char* kPerfctrJobPerf = "nPerfctrJobPerf";
constexpr const char* kPerfctrPercent = "nPerfctrPercent";
constexpr const char* kPerfctrFilesCount = "nPerfctrFilesCount";
constexpr const char* kPerfctrFilesCountTot = "nPerfctrFilesCountTot";
constexpr const char* kPerfctrBytesCount = "nPerfctrBytesCount";
constexpr const char* kPerfctrBytesCountTot = "nPerfctrBytesCountTot";
constexpr const char* kCurrFile = "sPerfctrCurrFile";
constexpr const char* kLastBackupStartTime = "nLastBackupStartTime";
constexpr const char* kLastSuccessfulBackupTime = "nLastSuccessfulBackupTime";
constexpr const char* kNextBackupTime = "nNextBackupTime";
constexpr const char* kPhaseStartTime = "nPhaseStartTime";
constexpr const char* kServerElapsedTime = "nServerElapsedTime";
constexpr const char* kLastSuccessFiles = "nLastBackupSuccessFiles";
constexpr const char* kLastFailedFiles = "nLastBackupFailedFiles";
constexpr const char* kLastBytes = "nLastBackupBytes";
constexpr const char* kLastJobId = "nLastBackupJobId";
constexpr const char* kLastJobStatus = "nLastBackupJobStatus";
constexpr const char* kNoJobReason = "nNojobReason";
constexpr const char* kAddlInfoCount = "nNojobReasonAddlInfoCnt";
constexpr const char* kAddlInfoText = "sNojobReasonAddlInfo";
constexpr const char* kAddlInfo = "NoJobReason additional info";

// Backup states in which a job with an id no longer counts as running.
constexpr int kStateDone = 2;
constexpr int kStateStopped = 5;

JobValue Number(const char* name, long long value) {
  const auto number = static_cast<uint32_t>(value);  // 32-bit store numbers
  std::string data(sizeof number, '\0');
  std::memcpy(data.data(), &number, sizeof number);
  return {name, kZnRegNumber, std::move(data)};
}

// 64-bit numbers are decimal text, as setLongLong writes them.
JobValue Number64(const char* name, unsigned long long value) {
  return {name, kZnRegString, std::to_string(value) + '\0'};
}

JobValue Text(const char* name, const char* value) {
  return {name, kZnRegString, std::string(value != nullptr ? value : "") + '\0'};
}

std::string AddlInfoName(int index) { return kAddlInfoText + std::to_string(index); }

// The counters and the current file at rest, in the order entries are built.
void AppendCounterReset(std::vector<JobValue>& values) {
  values.push_back(Number(kPerfctrJobPhase, 0));
  values.push_back(Number64(kPerfctrJobPerf, 0));
  values.push_back(Text(kCurrFile, ""));
  values.push_back(Number(kPerfctrPercent, 0));
  values.push_back(Number64(kPerfctrFilesCount, 0));
  values.push_back(Number64(kPerfctrFilesCountTot, 0));
  values.push_back(Number64(kPerfctrBytesCount, 0));
  values.push_back(Number64(kPerfctrBytesCountTot, 0));
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

namespace zn {

JobProcess CheckJobProcess(int pid, const std::string& processName) {
  if (pid <= 0) return JobProcess::kNone;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return JobProcess::kGone;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream statFile(proc + "/stat");
  std::string stat;
  if (!std::getline(statFile, stat)) return JobProcess::kGone;
  // The state follows the command name, which may itself hold ") ".
  const auto close = stat.rfind(')');
  if (close != std::string::npos && close + 2 < stat.size() && (stat[close + 2] == 'Z' || stat[close + 2] == 'X')) {
    return JobProcess::kGone;
  }
  if (processName.empty()) return JobProcess::kAlive;
  const std::string wanted = BaseName(processName);
  // A pid handed to a new program means the recorded one is gone.
  char exe[PATH_MAX];
  const ssize_t n = ::readlink((proc + "/exe").c_str(), exe, sizeof exe - 1);
  if (n > 0) {
    std::string running = BaseName(std::string(exe, static_cast<std::size_t>(n)));
    const std::string deleted = " (deleted)";  // an updated binary still runs
    if (running.size() > deleted.size() && running.compare(running.size() - deleted.size(), deleted.size(), deleted) == 0) {
      running.resize(running.size() - deleted.size());
    }
    return running == wanted ? JobProcess::kAlive : JobProcess::kGone;
  }
  // Another user's process: only its name, cut to 15 characters, is readable.
  std::ifstream commFile(proc + "/comm");
  std::string comm;
  if (!std::getline(commFile, comm)) return JobProcess::kGone;
  return comm == wanted.substr(0, 15) ? JobProcess::kAlive : JobProcess::kGone;
}

}  // namespace zn

ZNPI_Jobinfo::ZNPI_Jobinfo() : m_section(kSection) {}

ZNPI_Jobinfo::ZNPI_Jobinfo(int consoleEcho, int logEcho) : m_section(kSection), m_pInfo(consoleEcho, logEcho) {}

ZNPI_Jobinfo::ZNPI_Jobinfo(EvDebug* log) : m_section(kSection), m_pInfo(log) {}

ZNPI_Jobinfo::ZNPI_Jobinfo(const ZNPI_Jobinfo& other) = default;

ZNPI_Jobinfo& ZNPI_Jobinfo::operator=(const ZNPI_Jobinfo& other) = default;

ZNPI_Jobinfo::~ZNPI_Jobinfo() = default;

// ---- Errors, reads and writes ----

void ZNPI_Jobinfo::setLastError(int code, const std::string& message) {
  m_lastError = code;
  m_lastErrorMsg = message;
}

int ZNPI_Jobinfo::fail(const char* context, int code, const std::string& message) {
  setLastError(code, message);
  if (code != -2 && code != -3) EvDebug().Error(context, "%s", message.c_str());
  return 0;
}

std::string ZNPI_Jobinfo::appSection(int appId) const { return std::string(m_section) + "\\" + std::to_string(appId); }

bool ZNPI_Jobinfo::writeValues(int appId, const std::vector<JobValue>& values, bool createKey) {
  const std::string key = m_pInfo.expandKeyName(("~" + appSection(appId)).c_str());
  if (key.empty()) return false;
  std::vector<ConfigStore::BatchValue> batch;
  batch.reserve(values.size());
  for (const JobValue& value : values) batch.push_back({key, value.name, value.type, value.data});
  ConfigStore& store = ConfigStore::ForThisThread();
  std::vector<std::string> keys;
  if (createKey) keys.push_back(key);
  if (store.writeBatch(keys, batch) == StoreStatus::kOk) return true;
  EvDebug().Error("ZNPI_Jobinfo::writeValues", "The store refused the values of [%s]: %s", key.c_str(),
                  store.lastError().c_str());
  return false;
}

int ZNPI_Jobinfo::setValues(const char* context, int appId, const char* what, const std::vector<JobValue>& values) {
  const std::string id = std::to_string(appId);
  if (isAppIdPresent(appId) == 0) {
    return fail(context, 0, std::string("Can't set ") + what + ". AppId not present: " + id);
  }
  if (!writeValues(appId, values, false)) {
    return fail(context, -1, std::string("Error setting ") + what + " for app: " + id);
  }
  return 1;
}

bool ZNPI_Jobinfo::readNumber(int appId, const char* name, int& out) {
  return m_pInfo.getNumber(appSection(appId).c_str(), name, &out) != 0;
}

bool ZNPI_Jobinfo::readNumber64(int appId, const char* name, unsigned long long& out) {
  return m_pInfo.getLongLong(appSection(appId).c_str(), name, &out) != 0;
}

bool ZNPI_Jobinfo::readText(int appId, const char* name, std::string& out) {
  return m_pInfo.getString(appSection(appId).c_str(), name, &out) != 0;
}

int ZNPI_Jobinfo::getNumber(const char* context, int appId, const char* name, const char* what, int& out) {
  int value = 0;
  if (!readNumber(appId, name, value)) {
    return fail(context, m_pInfo.getRegError(), std::string("Error getting ") + what + " for app: " + std::to_string(appId));
  }
  out = value;
  return 1;
}

int ZNPI_Jobinfo::getNumberPair(const char* context, int appId, const char* firstName, const char* secondName,
                                const char* what, int& first, int& second) {
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());  // the pair as written together
  int a = 0, b = 0;
  if (getNumber(context, appId, firstName, what, a) == 0 || getNumber(context, appId, secondName, what, b) == 0) {
    return 0;
  }
  first = a;
  second = b;
  return 1;
}

int ZNPI_Jobinfo::getTime(const char* context, int appId, const char* name, const char* what, long long& out) {
  unsigned long long value = 0;
  if (!readNumber64(appId, name, value)) {
    return fail(context, m_pInfo.getRegError(), std::string("Error getting ") + what + " for app: " + std::to_string(appId));
  }
  out = static_cast<long long>(value);  // the leading digits as a signed number
  return 1;
}

// ---- Entries and jobs ----

int ZNPI_Jobinfo::addApp(int appId, const char* displayName, long long startTime) {
  constexpr const char* kContext = "ZNPI_Jobinfo::addApp";
  const std::string id = std::to_string(appId);
  if (!m_pInfo.createRegKey((std::string("~/") + m_section).c_str())) {
    return fail(kContext, m_pInfo.getRegError(), "Error creating/opening Jobinfo base key");
  }
  if (isAppIdPresent(appId) != 0 && deleteApp(appId) == 0) return 0;
  // The key and all its values in one transaction: a reader sees the entry
  // whole or not at all, and a failure leaves nothing behind.
  const std::vector<JobValue> values = {
      Text(kDisplayName, displayName),
      Number64(kLastBackupStartTime, static_cast<unsigned long long>(startTime)),
      Number64(kLastSuccessfulBackupTime, 0),
      Number(kRunningJobId, 0),
      Number(kStartedStatus, 0),
      Number64(kNextBackupTime, 0),
      Number(kBackupJobState, 0),
      Number64(kPhaseStartTime, 0),
      Number64(kServerElapsedTime, 0),
      Number(kRunningJobId, 0),
      Number(kRunningJobPid, 0),
      Text(kRunningJobProcessName, ""),
      Number(kPerfctrJobPhase, 0),
      Number64(kPerfctrJobPerf, 0),
      Text(kCurrFile, ""),
      Number(kPerfctrPercent, 0),
      Number64(kLastSuccessFiles, 0),
      Number64(kLastFailedFiles, 0),
      Number64(kLastBytes, 0),
      Number(kLastJobId, 0),
      Number(kLastJobStatus, 0),
      Number64(kPerfctrFilesCount, 0),
      Number64(kPerfctrFilesCountTot, 0),
      Number64(kPerfctrBytesCount, 0),
      Number64(kPerfctrBytesCountTot, 0),
      Number(kNoJobReason, 0),
  };
  if (writeValues(appId, values, true)) return 1;
  // Nothing was written; tell whether the key itself is what the store refuses.
  const std::string key = "~" + appSection(appId);
  if (!m_pInfo.createRegKey(key.c_str())) {
    return fail(kContext, m_pInfo.getRegError(), "Error creating appId key:" + id);
  }
  m_pInfo.delRegKey(key.c_str());
  return fail(kContext, -1, "Error creating one or more field(s) for appId:" + id);
}

int ZNPI_Jobinfo::deleteApp(int appId) {
  if (!m_pInfo.delRegKey(("~" + appSection(appId)).c_str())) {
    return fail("ZNPI_Jobinfo::deleteApp", m_pInfo.getRegError(), "Error deleting app:" + std::to_string(appId));
  }
  return 1;
}

int ZNPI_Jobinfo::deleteAppAll() {
  std::list<int> apps;
  if (getAppList(apps) == 0) return 0;
  int result = 1;
  for (const int appId : apps) {
    if (deleteApp(appId) == 0) result = 0;  // the others still go
  }
  return result;
}

int ZNPI_Jobinfo::addJob(int appId, int jobId, int pid, const char* processName) {
  constexpr const char* kContext = "ZNPI_Jobinfo::addJob";
  const std::string id = std::to_string(appId);
  if (isAppIdPresent(appId) == 0) return fail(kContext, 0, "Can't add job. AppId not present: " + id);
  int running = 0;
  if (readNumber(appId, kRunningJobId, running) && running != 0) {
    return fail(kContext, 0,
                "Can't add jobid " + std::to_string(jobId) + " to appid " + id + " because a job already exists:" +
                    std::to_string(running));
  }
  // The job, its reset counters and the cleared no-job reason land together.
  std::vector<JobValue> values = {
      Number64(kPhaseStartTime, 0), Number64(kServerElapsedTime, 0),    Number64(kNextBackupTime, 0),
      Number(kRunningJobId, jobId), Number(kRunningJobPid, pid), Text(kRunningJobProcessName, processName),
  };
  AppendCounterReset(values);
  values.push_back(Number(kNoJobReason, 0));
  if (writeValues(appId, values, false)) return 1;
  m_pInfo.delRegKey(("~" + appSection(appId)).c_str());
  return fail(kContext, -1, "Error creating one or more field(s) for appId:" + id + ". JobId:" + std::to_string(jobId));
}

int ZNPI_Jobinfo::deleteJob(int appId) {
  constexpr const char* kContext = "ZNPI_Jobinfo::deleteJob";
  const std::string id = std::to_string(appId);
  if (isAppIdPresent(appId) == 0) return fail(kContext, 0, "Can't delete job. AppId not present: " + id);
  // The job id stays until setBackupJobStartedStatus replaces it.
  std::vector<JobValue> values = {
      Number64(kPhaseStartTime, 0),
      Number64(kServerElapsedTime, 0),
      Number(kRunningJobPid, 0),
      Text(kRunningJobProcessName, ""),
  };
  AppendCounterReset(values);
  if (writeValues(appId, values, false)) return 1;
  m_pInfo.delRegKey(("~" + appSection(appId)).c_str());
  return fail(kContext, -1, "Error creating one or more field(s) for appId:" + id);
}

int ZNPI_Jobinfo::getJob(int appId, int& jobId) {
  return getNumber("ZNPI_Jobinfo::getJob", appId, kRunningJobId, "jobId", jobId);
}

int ZNPI_Jobinfo::setPerfctrs(int appId, int phase, unsigned long long perf, int percent,
                              unsigned long long filesCount, unsigned long long filesTotal,
                              unsigned long long bytesCount, unsigned long long bytesTotal, int mask) {
  constexpr const char* kContext = "ZNPI_Jobinfo::setPerfctrs";
  const std::string id = std::to_string(appId);
  if (isAppIdPresent(appId) == 0) return fail(kContext, 0, "Can't set perf counters job. AppId not present: " + id);
  int running = 0;
  if (const bool read = readNumber(appId, kRunningJobId, running); !read || running == 0) {
    return fail(kContext, read ? 0 : m_pInfo.getRegError(),
                "Can't set perf counters to appid " + id + " because of bad jobId");
  }
  std::vector<JobValue> values;
  if ((mask & kPerfPhase) != 0) values.push_back(Number(kPerfctrJobPhase, phase));
  if ((mask & kPerfPerf) != 0) values.push_back(Number64(kPerfctrJobPerf, perf));
  if ((mask & kPerfPercent) != 0) values.push_back(Number(kPerfctrPercent, percent));
  if ((mask & kPerfFilesCount) != 0) values.push_back(Number64(kPerfctrFilesCount, filesCount));
  if ((mask & kPerfFilesTotal) != 0) values.push_back(Number64(kPerfctrFilesCountTot, filesTotal));
  if ((mask & kPerfBytesCount) != 0) values.push_back(Number64(kPerfctrBytesCount, bytesCount));
  if ((mask & kPerfBytesTotal) != 0) values.push_back(Number64(kPerfctrBytesCountTot, bytesTotal));
  if (values.empty() || writeValues(appId, values, false)) return 1;
  return fail(kContext, -1, "Error updating one or more perf counters for appId:" + id);
}

int ZNPI_Jobinfo::setPerfctrs(int appId, int* phase, unsigned long long* perf, int* percent,
                              unsigned long long* filesCount, unsigned long long* filesTotal,
                              unsigned long long* bytesCount, unsigned long long* bytesTotal) {
  const int mask = (phase != nullptr ? kPerfPhase : 0) | (perf != nullptr ? kPerfPerf : 0) |
                   (percent != nullptr ? kPerfPercent : 0) | (filesCount != nullptr ? kPerfFilesCount : 0) |
                   (filesTotal != nullptr ? kPerfFilesTotal : 0) | (bytesCount != nullptr ? kPerfBytesCount : 0) |
                   (bytesTotal != nullptr ? kPerfBytesTotal : 0);
  return setPerfctrs(appId, phase != nullptr ? *phase : 0, perf != nullptr ? *perf : 0,
                     percent != nullptr ? *percent : 0, filesCount != nullptr ? *filesCount : 0,
                     filesTotal != nullptr ? *filesTotal : 0, bytesCount != nullptr ? *bytesCount : 0,
                     bytesTotal != nullptr ? *bytesTotal : 0, mask);
}

int ZNPI_Jobinfo::getPerfctrs(int appId, int* phase, unsigned long long* perf, int* percent,
                              unsigned long long* filesCount, unsigned long long* filesTotal,
                              unsigned long long* bytesCount, unsigned long long* bytesTotal) {
  constexpr const char* kContext = "ZNPI_Jobinfo::getPerfctrs";
  const std::string id = std::to_string(appId);
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());  // all counters of one moment
  int running = 0;
  if (const bool read = readNumber(appId, kRunningJobId, running); !read || running == 0) {
    return fail(kContext, read ? 0 : m_pInfo.getRegError(),
                "Can't get perf counters for appid " + id + " because of bad jobId or bad appId");
  }
  int readPhase = 0, readPercent = 0;
  unsigned long long readPerf = 0, readFiles = 0, readFilesTotal = 0, readBytes = 0, readBytesTotal = 0;
  if (!readNumber(appId, kPerfctrJobPhase, readPhase) || !readNumber64(appId, kPerfctrJobPerf, readPerf) ||
      !readNumber(appId, kPerfctrPercent, readPercent) || !readNumber64(appId, kPerfctrFilesCount, readFiles) ||
      !readNumber64(appId, kPerfctrFilesCountTot, readFilesTotal) || !readNumber64(appId, kPerfctrBytesCount, readBytes) ||
      !readNumber64(appId, kPerfctrBytesCountTot, readBytesTotal)) {
    return fail(kContext, m_pInfo.getRegError(), "Error getting one or more perf counters for appId:" + id);
  }
  if (phase != nullptr) *phase = readPhase;
  if (perf != nullptr) *perf = readPerf;
  if (percent != nullptr) *percent = readPercent;
  if (filesCount != nullptr) *filesCount = readFiles;
  if (filesTotal != nullptr) *filesTotal = readFilesTotal;
  if (bytesCount != nullptr) *bytesCount = readBytes;
  if (bytesTotal != nullptr) *bytesTotal = readBytesTotal;
  return 1;
}

// ---- Readers over all entries ----

int ZNPI_Jobinfo::getAppList(std::list<int>& out) {
  std::list<std::string> names;
  if (!m_pInfo.getSubKeys(m_section, &names)) {
    if (m_pInfo.getRegError() != -2) {
      return fail("ZNPI_Jobinfo::getAppList", m_pInfo.getRegError(), "Error enumerating sub keys of jobinfo base");
    }
    names.clear();  // no entry was ever made
  }
  out.clear();
  for (const std::string& name : names) out.push_back(std::atoi(name.c_str()));
  return 1;
}

int ZNPI_Jobinfo::isAppIdPresent(int appId) {
  std::list<int> apps;
  if (getAppList(apps) == 0) return 0;
  for (const int app : apps) {
    if (app == appId) return 1;
  }
  return 0;
}

int ZNPI_Jobinfo::getAppIdFromJobId(int jobId, int& appId) {
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());
  std::list<int> apps;
  if (getAppList(apps) == 0) return 0;
  for (const int app : apps) {
    int last = 0, running = 0;
    if ((readNumber(app, kLastJobId, last) && last == jobId) || (readNumber(app, kRunningJobId, running) && running == jobId)) {
      appId = app;
      return 1;
    }
  }
  return fail("ZNPI_Jobinfo::getAppIdFromJobId", 0, "unable to find appId for given job id");
}

int ZNPI_Jobinfo::isAnyBackupRunning(int& appId) {
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());
  std::list<int> apps;
  if (getAppList(apps) == 0) return 0;
  for (const int app : apps) {
    int running = 0, state = 0;
    // An entry whose state cannot be read does not count as running.
    if (readNumber(app, kRunningJobId, running) && running != 0 && readNumber(app, kBackupJobState, state) &&
        state != kStateDone && state != kStateStopped) {
      appId = app;
      return 1;
    }
  }
  return 0;
}

bool ZNPI_Jobinfo::readRecord(int appId, znpiAppInfo& r, bool& jobFieldsOk) {
  const auto time = [&](const char* name, long long& out) {
    unsigned long long value = 0;
    if (!readNumber64(appId, name, value)) return false;
    out = static_cast<long long>(value);
    return true;
  };
  r.appId = appId;
  jobFieldsOk = readText(appId, kDisplayName, r.displayName) && time(kLastBackupStartTime, r.lastBackupStartTime) &&
                time(kLastSuccessfulBackupTime, r.lastSuccessfulBackupTime) &&
                time(kNextBackupTime, r.nextBackupTime) && time(kPhaseStartTime, r.phaseStartTime) &&
                time(kServerElapsedTime, r.serverElapsedTime) &&
                readNumber(appId, kBackupJobState, r.backupJobState) &&
                readNumber(appId, kRunningJobId, r.startedJobId) &&
                readNumber(appId, kStartedStatus, r.startedStatus) && readNumber(appId, kNoJobReason, r.noJobReason) &&
                readNumber64(appId, kLastSuccessFiles, r.lastBackupSuccessFiles) &&
                readNumber64(appId, kLastFailedFiles, r.lastBackupFailedFiles) &&
                readNumber64(appId, kLastBytes, r.lastBackupBytes) && readNumber(appId, kLastJobId, r.lastBackupJobId) &&
                readNumber(appId, kLastJobStatus, r.lastBackupJobStatus) &&
                readNumber(appId, kRunningJobId, r.runningJobId) && readNumber(appId, kRunningJobPid, r.runningJobPid) &&
                readText(appId, kRunningJobProcessName, r.runningJobProcessName);
  if (!jobFieldsOk) return false;
  return readNumber(appId, kPerfctrJobPhase, r.perfctrJobPhase) && readNumber64(appId, kPerfctrJobPerf, r.perfctrJobPerf) &&
         readNumber(appId, kPerfctrPercent, r.perfctrPercent) &&
         readNumber64(appId, kPerfctrFilesCount, r.perfctrFilesCount) &&
         readNumber64(appId, kPerfctrFilesCountTot, r.perfctrFilesCountTot) &&
         readNumber64(appId, kPerfctrBytesCount, r.perfctrBytesCount) &&
         readNumber64(appId, kPerfctrBytesCountTot, r.perfctrBytesCountTot) && readText(appId, kCurrFile, r.currFile);
}

int ZNPI_Jobinfo::getClientsInfo(std::list<znpiAppInfo>& out) {
  constexpr const char* kContext = "ZNPI_Jobinfo::getClientsInfo";
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());  // every entry of one moment
  std::list<int> apps;
  if (getAppList(apps) == 0) return 0;
  std::list<znpiAppInfo> records;
  int result = 1;
  for (const int app : apps) {
    znpiAppInfo record;
    bool jobFieldsOk = false;
    if (readRecord(app, record, jobFieldsOk)) {
      records.push_back(std::move(record));
      continue;
    }
    if (result == 0) continue;  // the first failure is the one reported
    result = fail(kContext, m_pInfo.getRegError(),
                  (jobFieldsOk ? "Error getting perfinfo for appId:" : "Error getting job info for appId:") +
                      std::to_string(app));
  }
  out = std::move(records);
  return result;
}

// ---- One value (or one pair) each ----

int ZNPI_Jobinfo::getDisplayName(int appId, std::string& out) {
  if (readText(appId, kDisplayName, out)) return 1;
  return fail("ZNPI_Jobinfo::getDisplayName", m_pInfo.getRegError(),
              "Error getting displayName for app: " + std::to_string(appId));
}

int ZNPI_Jobinfo::setDisplayName(int appId, const char* name) {
  return setValues("ZNPI_Jobinfo::setDisplayName", appId, "displayName", {Text(kDisplayName, name)});
}

int ZNPI_Jobinfo::getCurrFile(int appId, std::string& out) {
  if (readText(appId, kCurrFile, out)) return 1;
  return fail("ZNPI_Jobinfo::getCurrFile", m_pInfo.getRegError(),
              "Error getting currFile for app: " + std::to_string(appId));
}

int ZNPI_Jobinfo::setCurrFile(int appId, const char* file) {
  return setValues("ZNPI_Jobinfo::setCurrFile", appId, "currFile", {Text(kCurrFile, file)});
}

int ZNPI_Jobinfo::getJobPhaseCnt(int appId, int& count) {
  return getNumber("ZNPI_Jobinfo::getJobPhaseCnt", appId, kPhaseCount, "jobPhaseCnt", count);
}

int ZNPI_Jobinfo::setJobPhaseCnt(int appId, int count) {
  return setValues("ZNPI_Jobinfo::setJobPhaseCnt", appId, "jobPhaseCnt", {Number(kPhaseCount, count)});
}

int ZNPI_Jobinfo::getBackupJobState(int appId, int& state) {
  return getNumber("ZNPI_Jobinfo::getBackupJobState", appId, kBackupJobState, "backupJobState", state);
}

int ZNPI_Jobinfo::setBackupJobState(int appId, int state) {
  return setValues("ZNPI_Jobinfo::setBackupJobState", appId, "backupJobState", {Number(kBackupJobState, state)});
}

int ZNPI_Jobinfo::getBackupJobStartedStatus(int appId, int& jobId, int& status) {
  return getNumberPair("ZNPI_Jobinfo::getBackupJobStartedStatus", appId, kRunningJobId, kStartedStatus, "backupJobStartedStatus", jobId, status);
}

int ZNPI_Jobinfo::setBackupJobStartedStatus(int appId, int jobId, int status) {
  return setValues("ZNPI_Jobinfo::setBackupJobStartedStatus", appId, "backupJobStartedStatus",
                   {Number(kRunningJobId, jobId), Number(kStartedStatus, status)});
}

int ZNPI_Jobinfo::getLastBackupStartTime(int appId, long long& time) {
  return getTime("ZNPI_Jobinfo::getLastBackupStartTime", appId, kLastBackupStartTime, "lastBackupStartTime", time);
}

int ZNPI_Jobinfo::setLastBackupStartTime(int appId, long long time) {
  return setValues("ZNPI_Jobinfo::setLastBackupStartTime", appId, "lastBackupStartTime",
                   {Number64(kLastBackupStartTime, static_cast<unsigned long long>(time))});
}

int ZNPI_Jobinfo::getLastSuccessfulBackupTime(int appId, long long& time) {
  return getTime("ZNPI_Jobinfo::getLastSuccessfulBackupTime", appId, kLastSuccessfulBackupTime,
                 "lastSuccessfulBackupTime", time);
}

int ZNPI_Jobinfo::setLastSuccessfulBackupTime(int appId, long long time) {
  return setValues("ZNPI_Jobinfo::setLastSuccessfulBackupTime", appId, "lastSuccessfulBackupTime",
                   {Number64(kLastSuccessfulBackupTime, static_cast<unsigned long long>(time))});
}

int ZNPI_Jobinfo::getNextBackupTime(int appId, long long& time) {
  return getTime("ZNPI_Jobinfo::getNextBackupTime", appId, kNextBackupTime, "nextBackupTime", time);
}

int ZNPI_Jobinfo::setNextBackupTime(int appId, long long time) {
  return setValues("ZNPI_Jobinfo::setNextBackupTime", appId, "nextBackupTime",
                   {Number64(kNextBackupTime, static_cast<unsigned long long>(time))});
}

int ZNPI_Jobinfo::getPhaseStartTime(int appId, long long& time) {
  return getTime("ZNPI_Jobinfo::getPhaseStartTime", appId, kPhaseStartTime, "phaseStartTime", time);
}

int ZNPI_Jobinfo::setPhaseStartTime(int appId, long long time) {
  return setValues("ZNPI_Jobinfo::setPhaseStartTime", appId, "phaseStartTime",
                   {Number64(kPhaseStartTime, static_cast<unsigned long long>(time))});
}

int ZNPI_Jobinfo::getServerElapsedTime(int appId, long long& time) {
  return getTime("ZNPI_Jobinfo::getServerElapsedTime", appId, kServerElapsedTime, "serverElapsedTime", time);
}

int ZNPI_Jobinfo::setServerElapsedTime(int appId, long long time) {
  return setValues("ZNPI_Jobinfo::setServerElapsedTime", appId, "serverElapsedTime",
                   {Number64(kServerElapsedTime, static_cast<unsigned long long>(time))});
}

int ZNPI_Jobinfo::getLastBackupFiles(int appId, unsigned long long& successFiles, unsigned long long& failedFiles) {
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());
  unsigned long long success = 0, failed = 0;
  if (!readNumber64(appId, kLastSuccessFiles, success) || !readNumber64(appId, kLastFailedFiles, failed)) {
    return fail("ZNPI_Jobinfo::getLastBackupFiles", m_pInfo.getRegError(),
                "Error getting lastBackupFiles for app: " + std::to_string(appId));
  }
  successFiles = success;
  failedFiles = failed;
  return 1;
}

int ZNPI_Jobinfo::setLastBackupFiles(int appId, unsigned long long successFiles, unsigned long long failedFiles) {
  return setValues("ZNPI_Jobinfo::setLastBackupFiles", appId, "lastBackupFiles",
                   {Number64(kLastSuccessFiles, successFiles), Number64(kLastFailedFiles, failedFiles)});
}

int ZNPI_Jobinfo::getLastBackupBytes(int appId, unsigned long long& bytes) {
  if (readNumber64(appId, kLastBytes, bytes)) return 1;
  return fail("ZNPI_Jobinfo::getLastBackupBytes", m_pInfo.getRegError(),
              "Error getting lastBackupBytes for app: " + std::to_string(appId));
}

int ZNPI_Jobinfo::setLastBackupBytes(int appId, unsigned long long bytes) {
  return setValues("ZNPI_Jobinfo::setLastBackupBytes", appId, "lastBackupBytes", {Number64(kLastBytes, bytes)});
}

int ZNPI_Jobinfo::getLastBackupJobStatus(int appId, int& jobId, int& status) {
  return getNumberPair("ZNPI_Jobinfo::getLastBackupJobStatus", appId, kLastJobId, kLastJobStatus, "lastBackupJobStatus", jobId, status);
}

int ZNPI_Jobinfo::setLastBackupJobStatus(int appId, int jobId, int status) {
  return setValues("ZNPI_Jobinfo::setLastBackupJobStatus", appId, "lastBackupJobStatus",
                   {Number(kLastJobId, jobId), Number(kLastJobStatus, status)});
}

int ZNPI_Jobinfo::getNoJobReason(int appId, int& reason) {
  return getNumber("ZNPI_Jobinfo::getNoJobReason", appId, kNoJobReason, "noJobReason", reason);
}

int ZNPI_Jobinfo::setNoJobReason(int appId, int reason) {
  return setValues("ZNPI_Jobinfo::setNoJobReason", appId, "noJobReason", {Number(kNoJobReason, reason)});
}

int ZNPI_Jobinfo::clearNoJobReason(int appId) {
  return setValues("ZNPI_Jobinfo::clearNoJobReason", appId, "noJobReason", {Number(kNoJobReason, 0)});
}

// ---- The no-job reason's additional texts ----

int ZNPI_Jobinfo::getNoJobReasonAddlInfo(int appId, int index, std::string& text) {
  constexpr const char* kContext = "ZNPI_Jobinfo::getNoJobReasonAddlInfo";
  const std::string id = std::to_string(appId);
  const ConfigStore::ReadSnapshot snapshot(ConfigStore::ForThisThread());  // the count and its texts together
  int count = 0;
  if (!readNumber(appId, kAddlInfoCount, count)) {
    return fail(kContext, m_pInfo.getRegError(), std::string("Error getting ") + kAddlInfo + " count for app: " + id);
  }
  if (index > count) {
    return fail(kContext, 0, "Error parameter index greater than NoJobReason additional info count for this AppId: " + id);
  }
  if (index < 1) return fail(kContext, -1, "Invalid parameter");
  std::string value;
  if (!readText(appId, AddlInfoName(index).c_str(), value)) {
    return fail(kContext, m_pInfo.getRegError(), std::string("Error getting ") + kAddlInfo + " for app: " + id);
  }
  text = std::move(value);
  return 1;
}

int ZNPI_Jobinfo::setNoJobReasonAddlInfo(int appId, int count, const char* const* texts) {
  constexpr const char* kContext = "ZNPI_Jobinfo::setNoJobReasonAddlInfo";
  if (texts == nullptr || count < 0) return fail(kContext, -1, "Invalid parameter");
  // Names must outlive the values that point at them.
  std::vector<std::string> names;
  int old = 0;
  if (!readNumber(appId, kAddlInfoCount, old) || old < 0) old = 0;
  for (int i = 1; i <= std::max(old, count); ++i) names.push_back(AddlInfoName(i));
  std::vector<JobValue> values;
  for (int i = 1; i <= old; ++i) values.push_back(Text(names[i - 1].c_str(), ""));
  values.push_back(Number(kAddlInfoCount, count));
  for (int i = 1; i <= count; ++i) values.push_back(Text(names[i - 1].c_str(), texts[i - 1]));
  return setValues(kContext, appId, kAddlInfo, values);
}

int ZNPI_Jobinfo::clearNoJobReasonAddlInfo(int appId) {
  std::vector<std::string> names;
  int old = 0;
  if (!readNumber(appId, kAddlInfoCount, old) || old < 0) old = 0;
  for (int i = 1; i <= old; ++i) names.push_back(AddlInfoName(i));
  std::vector<JobValue> values;
  for (const std::string& name : names) values.push_back(Text(name.c_str(), ""));
  values.push_back(Number(kAddlInfoCount, 0));
  return setValues("ZNPI_Jobinfo::clearNoJobReasonAddlInfo", appId, kAddlInfo, values);
}
