// Opening a log: EvDebug::initialize, the temporary log folder and the
// process's CPU affinity.

#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "dazurudev/CYqIPAddr.h"
#include "zn/log/EvDebug.h"
#include "zn/log/internal/EvDebugIdentity.h"
#include "zn/log/internal/EvDebugModule.h"
#include "zn/log/internal/EvDebugState.h"
#include "zn/log/LogCatalogue.h"
#include "zn/log/LogSettings.h"
#include "zn/util/ZnOSInfo.h"
#include "zn/util/ZnProcessName.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXString.h"
#include "zuzazer/YqWin32Errors.h"

using zn::LogSettings;
using zn::detail::LogState;
using zn::detail::ModuleKey;

namespace {

constexpr int kDefaultRefreshSeconds = 30;
constexpr const char* kFunction = "EvDebug::initialize";

// The log folder below a fallback root.
constexpr const char* kAllUsersLogFolder = "Application Data/Tessaly Systems/Orvane/LogFiles";
constexpr const char* kTempLogFolder = "Tessaly Systems/LogFiles";

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// The fallback folders of the temporary log path; the configured folder is
// left out when it is the one that failed.
std::string TemporaryLogFolder(bool includeConfigured) {
  if (includeConfigured) {
    const std::string configured = LogSettings::LogFilesDirectory();
    if (!configured.empty()) return configured;
  }
  const std::string allUsers = Environment("ALLUSERSPROFILE");
  if (!allUsers.empty()) {
    const std::string folder = FXPath::Append(allUsers, kAllUsersLogFolder);
    if (EvDebug::canUserWriteToPath(folder.c_str())) return folder;
  }
  return FXPath::Append(zn::detail::SystemTempFolder(), kTempLogFolder);
}

// The CPUs of the machine as a 32-bit mask (CPU n sets bit n mod 32).
uint32_t MaskOf(const cpu_set_t& set) {
  uint32_t mask = 0;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) mask |= 1u << (cpu % 32);
  }
  return mask;
}

// Applies `mask` to every thread of the process: sched_setaffinity on one
// thread id changes that thread only.
bool ApplyAffinityToProcess(uint32_t mask, int& err) {
  cpu_set_t set;
  CPU_ZERO(&set);
  const long cpus = ::sysconf(_SC_NPROCESSORS_CONF);
  for (long cpu = 0; cpu < cpus && cpu < CPU_SETSIZE; ++cpu) {
    if ((mask & (1u << (cpu % 32))) != 0) CPU_SET(static_cast<int>(cpu), &set);
  }
  err = 0;
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) {
    if (::sched_setaffinity(0, sizeof set, &set) != 0) err = errno;
    return err == 0;
  }
  while (const dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    const pid_t tid = static_cast<pid_t>(std::atol(entry->d_name));
    if (::sched_setaffinity(tid, sizeof set, &set) != 0 && errno != ESRCH) err = errno;
  }
  ::closedir(tasks);
  return err == 0;
}

void ApplyConfiguredAffinity(EvDebug& log) {
  auto& state = LogState();
  std::string process = EvDebug::getProcessName();
  const auto dot = process.rfind('.');
  if (dot != std::string::npos) process.resize(dot);
  std::optional<std::string> list = LogSettings::Text(LogSettings::kSession, process + "_AffinityMask");
  if (!list) list = LogSettings::Text(LogSettings::kSession, "All_AffinityMask");
  if (!list || state.affinityAttempted.load()) return;

  uint32_t wanted = 0;
  for (const std::string& field : FXString::Split(*list, ',')) {
    const std::string number = FXString::Trim(field);
    char* end = nullptr;
    const long cpu = std::strtol(number.c_str(), &end, 10);
    if (!number.empty() && *end == '\0' && cpu >= 0) wanted |= 1u << (cpu % 32);
  }
  if (wanted == 0) return;

  cpu_set_t current;
  CPU_ZERO(&current);
  if (::sched_getaffinity(0, sizeof current, &current) != 0) {
    log.Error(kFunction, "Failed to get Process and System Affinity mask, error %d",
              static_cast<int>(yq::Win32FromErrno(errno)));
    return;
  }
  uint32_t system = 0;
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  for (long cpu = 0; cpu < online; ++cpu) system |= 1u << (cpu % 32);
  const uint32_t mask = wanted & system;
  if (mask == 0 || mask == MaskOf(current)) return;
  state.affinityAttempted.store(true);
  int err = 0;
  if (ApplyAffinityToProcess(mask, err)) {
    log.Debug(kFunction, "CPU Affinity mask set to [%d]", static_cast<int>(mask));
  } else {
    log.Error(kFunction, "Failed to set CPU Affinity mask to [%d], error %d", static_cast<int>(mask),
              static_cast<int>(yq::Win32FromErrno(err)));
  }
}

}  // namespace

bool EvDebug::initialize(unsigned int logId, long long jobId, const char* directory, bool flag,
                         const std::string& suffix) {
  return initializeLog(logId, jobId, directory, suffix, flag);
}

bool EvDebug::initialize(unsigned int logId, long long jobId, bool flag, const std::string& suffix) {
  return initializeLog(logId, jobId, nullptr, suffix, flag);
}

bool EvDebug::initialize(EvDebugFileInstance* instance, unsigned int logId, long long jobId, bool flag,
                         const std::string& suffix) {
  m_instance = instance != nullptr ? instance : &LogState().defaultInstance;
  m_flags = instance != nullptr ? 0u : kFollowsDefault;
  return initializeLog(logId, jobId, nullptr, suffix, flag);
}

std::string EvDebug::getTempLogFilePath() { return TemporaryLogFolder(true); }

bool EvDebug::initializeLog(unsigned int logId, long long jobId, const char* directory, const std::string& suffix,
                            bool flag) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance->m_state.load() == EvDebugFileInstance::kOpen) return true;

  const ZNLogFileInfo* row = zn::FindLogById(logId);
  if (row == nullptr) {
    const CYqError error = FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorNothingFound,
                                                   "Couldn't find the log name for id:[%u]", logId);
    ReportToSysLog(error.AsString(eErrorOutputUser).c_str());
    return false;
  }
  const std::string logName = suffix.empty() ? std::string(row->name) : std::string(row->name) + "-" + suffix;

  auto& state = LogState();
  ZnCriticalSectionLock listLock(&state.writerListLock);
  if (instance->m_state.load() == EvDebugFileInstance::kOpen) return true;

  const char* focus = ZNPI_Focus::getFocus();
  if (focus != nullptr && focus[0] == '\0') {
    ZNPI_Focus::doCrashThisProcess(true, nullptr);
    return false;
  }

  std::string module = logName;
  const long long prefixWithClient =
      LogSettings::Number(LogSettings::kEventManager, "PrefixLogFileNameWithClientName").value_or(0);
  if (prefixWithClient != 0) {
    const char* pseudo = ZNPI_Focus::getFocusPseudoClientName();
    std::string client = pseudo != nullptr ? pseudo : "";
    if (client.empty() && prefixWithClient == 2) {
      const char* name = ZNPI_Focus::getFocusClientName(false);
      client = name != nullptr ? name : "";
    }
    if (!client.empty()) module = "cl_" + client + "_" + logName;
  }

  int fdsetSize = 0;
  if (c_hostName[0] == '\0' && ZNPI_Focus::getProductType() != TESSALY_PRODUCT_TYPE_NO_INSTANCE) {
    if (!zn::detail::GatherProcessIdentity(module, fdsetSize)) return false;
  }

  sHSHostName = LogSettings::Text(LogSettings::kHubServe, "sHSHOSTNAME").value_or("");
  sHSClientName = LogSettings::Text(LogSettings::kHubServe, "sHSCLIENTNAME").value_or("");
  sVersion = LogSettings::Text(LogSettings::kBase, "sVERSION").value_or("");

  std::string folder = directory != nullptr && directory[0] != '\0' ? std::string(directory)
                                                                      : LogSettings::LogFilesDirectory();
  if (folder.empty()) folder = getTempLogFilePath();
  if (!canUserWriteToPath(folder.c_str())) {
    const std::string fallback = TemporaryLogFolder(false);
    if (fallback != folder) {
      const std::string text = "Log folder [" + folder + "] is not writable; logging to [" + fallback + "]";
      ReportToSysLog(text.c_str());
      folder = fallback;
    }
  }
  folder = FXPath::WithTrailingSeparator(folder);

  const std::string lockName = CYqLogger::GetLockName(module, folder);
  instance->m_state.store(EvDebugFileInstance::kInitializing);
  {
    ZnCriticalSectionLock settingsLock(&state.settingsLock);
    instance->m_moduleName = module;
  }
  if (jobId != 0) setJobId(jobId);

  const bool appendJob = LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(module, "_AppendJob"), 0) != 0;
  if (state.refreshIntervalSeconds.load() == 0) {
    state.refreshIntervalSeconds.store(static_cast<int>(LogSettings::NumberOr(
        LogSettings::kEventManager, ModuleKey(module, "_DEBUG_REFRESH_TIME"), kDefaultRefreshSeconds)));
  }
  CYqLogger::SetShowLogLevel(LogSettings::Number(LogSettings::kEventManager, "ShowLogLevelInLogs").value_or(0) != 0);

  for (std::size_t i = 0; i < state.writers.size(); ++i) {
    if (state.writers[i]->GetLockName() == lockName) {
      instance->m_writerIndex = i;
      instance->m_writer.store(state.writers[i].get());
      instance->m_state.store(EvDebugFileInstance::kOpen);
      return true;
    }
  }

  instance->m_debugLevel.store(static_cast<int>(row->defaultDebugLevel));
  instance->m_defaultDebugLevel = static_cast<int>(row->defaultDebugLevel);

  const long long instanceJob = instance->m_jobId.load();
  const std::string baseName = appendJob && instanceJob >= 1 ? module + "_Job" + std::to_string(instanceJob) : module;

  auto writer = std::make_unique<CYqLogger>();
  const CYqError opened = writer->Initialize(baseName, folder, instance->m_debugLevel.load(), flag, false);
  if (opened.IsError()) {
    instance->m_state.store(EvDebugFileInstance::kConstructed);
    ReportToSysLog(opened.AsString(eErrorOutputUser).c_str());
    return false;
  }
  writer->SetLevel(0x7FFFFFFF);

  const std::string& sizeKey = ModuleKey(module, "_MAXLOGFILESIZE");
  writer->SetLogFileSize(static_cast<unsigned long long>(
      LogSettings::NumberOr(LogSettings::kEventManager, sizeKey, row->defaultMaxFileSize)));
  writer->SetDefaultLogFileSize(row->defaultMaxFileSize);
  writer->SetMaxVersions(static_cast<unsigned long>(LogSettings::NumberOr(
      LogSettings::kEventManager, ModuleKey(module, "_MAXLOGFILEBACKUPS"), row->defaultVersions)));
  const long long retainDays =
      LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(module, "_RetainLogsInDays"), 0);
  writer->SetRetainLogsTill(retainDays > 0 ? static_cast<unsigned long long>(retainDays) * 86400ULL : 0ULL);
  writer->SetDefaultMaxVersions(row->defaultVersions);
  writer->SetLogToStdout(m_bLogToSTDOUT.load());

  const std::string processName = zn::RunningProcessName().substr(0, sizeof c_processName - 1);
  std::strcpy(c_processName, processName.c_str());
  c_processId = static_cast<long>(::getpid());
  std::string osText;
  ZN_GetOSInstalled(osText);
  const std::string addressText = zn::detail::HostAddressText(c_hostName);
  writer->SetPlatformInformation(c_hostName, c_hostName, c_clientName, sHSHostName, sHSClientName, osText,
                                 addressText, GetProductVersion(), focus != nullptr ? focus : "", c_processName,
                                 c_processId);
  if (LogSettings::NumberOr(LogSettings::kEventManager, "nPROCESSORANDPRODUCTTYPE", 0) != 0) {
    std::string productType;
    std::string processorType;
    unsigned long processors = 0;
    ZN_GetProductTypeAndProcessorType(productType, processorType, processors);
    writer->SetProcessorInformation(productType, processorType, static_cast<int>(processors));
  }
  writer->SetSyslogCallback(&zn::detail::SysLogCallback);

  state.writers.push_back(std::move(writer));
  instance->m_writerIndex = state.writers.size() - 1;
  instance->m_writer.store(state.writers.back().get());
  instance->m_state.store(EvDebugFileInstance::kOpen);

  const long long loggingMode =
      LogSettings::Number(LogSettings::kEventManager, ModuleKey(module, "_LoggingMode")).value_or(0);
  if (loggingMode == 1 || loggingMode == 2) {
    Debug("EvDebug", "[%s] LoggingMode - [%u]", module.c_str(), static_cast<unsigned>(loggingMode));
    const bool daemon = FXString::EqualsNoCase(module, "znd");
    SetLoggingMode(daemon ? 1 : static_cast<int>(loggingMode));
  }

  debugWait(module.c_str());
  refreshLoggingSwitch();
  refreshDebugLevel();
  PrintGflags();
  if (fdsetSize != 0) Debug(kFunction, "max fdset for app [%s] set to [%d]", module.c_str(), fdsetSize);

  ApplyConfiguredAffinity(*this);

  DebugLvl(kFunction, 2, "FastLoopBack is %s.", CYqNetSettings::IsFastLoopbackEnabled() ? "enabled" : "disabled");
  DebugLvl(kFunction, 2, "ZNLogFileInfo - (%u, '%s', %u, %u, %u, %u)", row->id, row->name, row->reserved,
           row->defaultDebugLevel, row->defaultMaxFileSize, row->defaultVersions);
  return true;
}
