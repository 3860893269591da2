// Opening a log: EvDebug::initialize, the temporary log folder and the
// process's CPU affinity.

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
#include "zn/thread/ThreadScheduling.h"
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

// The CPUs of `mask` among those the machine has configured.
cpu_set_t CpuSetOf(uint32_t mask) {
  cpu_set_t set;
  CPU_ZERO(&set);
  const long cpus = ::sysconf(_SC_NPROCESSORS_CONF);
  for (long cpu = 0; cpu < cpus && cpu < CPU_SETSIZE; ++cpu) {
    if ((mask & (1u << (cpu % 32))) != 0) CPU_SET(static_cast<int>(cpu), &set);
  }
  return set;
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
  const CYqError applied = zn::SetProcessAffinity(CpuSetOf(mask));
  if (!applied.IsError()) {
    log.Debug(kFunction, "CPU Affinity mask set to [%d]", static_cast<int>(mask));
  } else {
    log.Error(kFunction, "Failed to set CPU Affinity mask to [%d], error %d", static_cast<int>(mask),
              static_cast<int>(applied.GetErrorCode()));
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

namespace {

// The module name of a log: "cl_<client>_<log>" where the store asks for
// the client's name in front.
std::string ModuleNameOfLog(const std::string& logName) {
  const long long prefixWithClient =
      LogSettings::Number(LogSettings::kEventManager, "PrefixLogFileNameWithClientName").value_or(0);
  if (prefixWithClient == 0) return logName;
  const char* pseudo = ZNPI_Focus::getFocusPseudoClientName();
  std::string client = pseudo != nullptr ? pseudo : "";
  if (client.empty() && prefixWithClient == 2) {
    const char* name = ZNPI_Focus::getFocusClientName(false);
    client = name != nullptr ? name : "";
  }
  return client.empty() ? logName : "cl_" + client + "_" + logName;
}

// The folder the log is written to: the caller's, else the configured
// one, else the temporary log folder; a folder the process cannot write
// gives way to the temporary folder, with a line in the system log.
std::string WritableLogFolder(const char* directory) {
  std::string folder = directory != nullptr && directory[0] != '\0' ? std::string(directory)
                                                                      : LogSettings::LogFilesDirectory();
  if (folder.empty()) folder = EvDebug::getTempLogFilePath();
  if (!EvDebug::canUserWriteToPath(folder.c_str())) {
    const std::string fallback = TemporaryLogFolder(false);
    if (fallback != folder) {
      const std::string text = "Log folder [" + folder + "] is not writable; logging to [" + fallback + "]";
      EvDebug::ReportToSysLog(text.c_str());
      folder = fallback;
    }
  }
  return FXPath::WithTrailingSeparator(folder);
}

// The settings every log of the process shares, read by its first log.
void ReadProcessWideSettings(const std::string& module) {
  auto& state = LogState();
  if (state.refreshIntervalSeconds.load() == 0) {
    state.refreshIntervalSeconds.store(static_cast<int>(LogSettings::NumberOr(
        LogSettings::kEventManager, ModuleKey(module, "_DEBUG_REFRESH_TIME"), kDefaultRefreshSeconds)));
  }
  CYqLogger::SetShowLogLevel(LogSettings::Number(LogSettings::kEventManager, "ShowLogLevelInLogs").value_or(0) != 0);
}

// A new writer for `baseName` in `folder`, with the size, version and
// retention settings of `module` over the catalogue's defaults.
std::unique_ptr<CYqLogger> OpenWriter(const ZNLogFileInfo& row, const std::string& module,
                                      const std::string& baseName, const std::string& folder, int level, bool flag,
                                      CYqError& error) {
  auto writer = std::make_unique<CYqLogger>();
  error = writer->Initialize(baseName, folder, level, flag, false);
  if (error.IsError()) return nullptr;
  writer->SetLevel(0x7FFFFFFF);
  writer->SetLogFileSize(static_cast<unsigned long long>(
      LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(module, "_MAXLOGFILESIZE"), row.defaultMaxFileSize)));
  writer->SetDefaultLogFileSize(row.defaultMaxFileSize);
  writer->SetMaxVersions(static_cast<unsigned long>(LogSettings::NumberOr(
      LogSettings::kEventManager, ModuleKey(module, "_MAXLOGFILEBACKUPS"), row.defaultVersions)));
  const long long retainDays =
      LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(module, "_RetainLogsInDays"), 0);
  writer->SetRetainLogsTill(retainDays > 0 ? static_cast<unsigned long long>(retainDays) * 86400ULL : 0ULL);
  writer->SetDefaultMaxVersions(row.defaultVersions);
  writer->SetLogToStdout(EvDebug::m_bLogToSTDOUT.load());
  return writer;
}

// The header a writer prints at the top of each file: the process, the
// host and the installation.
void DescribeProcessTo(CYqLogger& writer, const char* focus) {
  const std::string processName = zn::RunningProcessName().substr(0, sizeof EvDebug::c_processName - 1);
  std::strcpy(EvDebug::c_processName, processName.c_str());
  EvDebug::c_processId = static_cast<long>(::getpid());
  std::string osText;
  ZN_GetOSInstalled(osText);
  const std::string addressText = zn::detail::HostAddressText(EvDebug::c_hostName);
  writer.SetPlatformInformation(EvDebug::c_hostName, EvDebug::c_hostName, EvDebug::c_clientName, EvDebug::sHSHostName,
                                EvDebug::sHSClientName, osText, addressText, EvDebug::GetProductVersion(),
                                focus != nullptr ? focus : "", EvDebug::c_processName, EvDebug::c_processId);
  if (LogSettings::NumberOr(LogSettings::kEventManager, "nPROCESSORANDPRODUCTTYPE", 0) != 0) {
    std::string productType;
    std::string processorType;
    unsigned long processors = 0;
    ZN_GetProductTypeAndProcessorType(productType, processorType, processors);
    writer.SetProcessorInformation(productType, processorType, static_cast<int>(processors));
  }
  writer.SetSyslogCallback(&zn::detail::SysLogCallback);
}

// What a log does once its writer is open: its logging mode, a debugger
// wait, the live switches and levels, the image flags and the affinity.
void RunStartUpSteps(EvDebug& log, const std::string& module, int fdsetSize) {
  const long long loggingMode =
      LogSettings::Number(LogSettings::kEventManager, ModuleKey(module, "_LoggingMode")).value_or(0);
  if (loggingMode == 1 || loggingMode == 2) {
    log.Debug("EvDebug", "[%s] LoggingMode - [%u]", module.c_str(), static_cast<unsigned>(loggingMode));
    const bool daemon = FXString::EqualsNoCase(module, "znd");
    log.SetLoggingMode(daemon ? 1 : static_cast<int>(loggingMode));
  }

  log.debugWait(module.c_str());
  log.refreshLoggingSwitch();
  log.refreshDebugLevel();
  log.PrintGflags();
  if (fdsetSize != 0) log.Debug(kFunction, "max fdset for app [%s] set to [%d]", module.c_str(), fdsetSize);

  ApplyConfiguredAffinity(log);
}

void ReportOpened(EvDebug& log, const ZNLogFileInfo& row) {
  log.DebugLvl(kFunction, 2, "FastLoopBack is %s.", CYqNetSettings::IsFastLoopbackEnabled() ? "enabled" : "disabled");
  log.DebugLvl(kFunction, 2, "ZNLogFileInfo - (%u, '%s', %u, %u, %u, %u)", row.id, row.name, row.reserved,
               row.defaultDebugLevel, row.defaultMaxFileSize, row.defaultVersions);
}

}  // namespace

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

  const std::string module = ModuleNameOfLog(logName);
  int fdsetSize = 0;
  if (c_hostName[0] == '\0' && ZNPI_Focus::getProductType() != TESSALY_PRODUCT_TYPE_NO_INSTANCE) {
    if (!zn::detail::GatherProcessIdentity(module, fdsetSize)) return false;
  }
  sHSHostName = LogSettings::Text(LogSettings::kHubServe, "sHSHOSTNAME").value_or("");
  sHSClientName = LogSettings::Text(LogSettings::kHubServe, "sHSCLIENTNAME").value_or("");
  sVersion = LogSettings::Text(LogSettings::kBase, "sVERSION").value_or("");
  const std::string folder = WritableLogFolder(directory);

  const std::string lockName = CYqLogger::GetLockName(module, folder);
  instance->m_state.store(EvDebugFileInstance::kInitializing);
  {
    ZnCriticalSectionLock settingsLock(&state.settingsLock);
    instance->m_moduleName = module;
  }
  if (jobId != 0) setJobId(jobId);
  const bool appendJob = LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(module, "_AppendJob"), 0) != 0;
  ReadProcessWideSettings(module);

  // Another handle of the process already writes this file: share its writer.
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
  CYqError opened;
  std::unique_ptr<CYqLogger> writer =
      OpenWriter(*row, module, baseName, folder, instance->m_debugLevel.load(), flag, opened);
  if (!writer) {
    instance->m_state.store(EvDebugFileInstance::kConstructed);
    ReportToSysLog(opened.AsString(eErrorOutputUser).c_str());
    return false;
  }
  DescribeProcessTo(*writer, focus);

  state.writers.push_back(std::move(writer));
  instance->m_writerIndex = state.writers.size() - 1;
  instance->m_writer.store(state.writers.back().get());
  instance->m_state.store(EvDebugFileInstance::kOpen);
  ConfigureZuZazer();

  RunStartUpSteps(*this, module, fdsetSize);
  if (zn::detail::ZndTerminationCallbackRegistered() && !zndMonitoringInitialized.exchange(true)) {
    startMonitoringZND();
  }
  ReportOpened(*this, *row);
  return true;
}
