// Levels, sizes and switches of a log, and their refresh from the settings.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "zn/log/EvDebug.h"
#include "zn/log/internal/EvDebugModule.h"
#include "zn/log/internal/EvDebugState.h"
#include "zn/log/LogSettings.h"
#include "zn/util/ZnStdVersion.h"
#include "zuzazer/CYqLogger.h"
#include "zuzazer/FXPath.h"
#include "zuzazer/FXString.h"
#include "zuzazer/YqSleep.h"
#include "zuzazer/YqWin32Errors.h"
#include "zuzazer/FXUniqueFd.h"

using zn::LogSettings;
using zn::detail::LogState;
using zn::detail::ModuleKey;
using zn::detail::ModuleNameOf;

namespace zn::detail {

std::string ModuleNameOf(const EvDebugFileInstance& instance) {
  ZnCriticalSectionLock lock(&LogState().settingsLock);
  return instance.m_moduleName;
}

bool DebuggerAttached() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("TracerPid:", 0) == 0) return std::stoi(line.substr(10)) != 0;
  }
  return false;
}

std::string SystemTempFolder() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return "/tmp";
}

}  // namespace zn::detail

namespace {

constexpr const char* kImageOptionsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\";

}  // namespace

void EvDebug::refreshDebugLevel(const char* name) {
  EvDebugFileInstance* instance = resolveInstance();
  instance->m_lastRefresh.store(static_cast<long long>(::time(nullptr)));
  const std::string module = name != nullptr ? std::string(name) : ModuleNameOf(*instance);
  const long long level =
      LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(module, "_DEBUGLEVEL"), instance->m_defaultDebugLevel);
  const int current = instance->m_debugLevel.load();
  if (level != current) {
    EvDebug(instance).DebugLvl("EvDebug::refreshDebugLevel", 0, "Changing Debug level from %d to %u", current,
                               static_cast<unsigned>(level));
    instance->m_debugLevel.store(static_cast<int>(level));
  }
}

void EvDebug::refreshLogFileSize() {
  EvDebugFileInstance* instance = resolveInstance();
  CYqLogger* writer = instance->m_writer.load();
  if (writer == nullptr || instance->m_state.load() != EvDebugFileInstance::kOpen) return;
  const auto size = static_cast<unsigned long long>(
      LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(ModuleNameOf(*instance), "_MAXLOGFILESIZE"),
                            static_cast<long long>(writer->GetDefaultLogFileSize())));
  if (size != writer->GetLogFileSize()) {
    EvDebug(instance).DebugLvl("EvDebug::refreshLogFileSize", 7, "Changing log file size from %llu MB to %lu MB",
                               writer->GetLogFileSize(), static_cast<unsigned long>(size));
    writer->SetLogFileSize(size);
  }
}

void EvDebug::refreshMaxVersion() {
  EvDebugFileInstance* instance = resolveInstance();
  CYqLogger* writer = instance->m_writer.load();
  if (writer == nullptr || instance->m_state.load() != EvDebugFileInstance::kOpen) return;
  const auto versions = static_cast<unsigned long>(
      LogSettings::NumberOr(LogSettings::kEventManager, ModuleKey(ModuleNameOf(*instance), "_MAXLOGFILEBACKUPS"),
                            static_cast<long long>(writer->GetDefaultMaxVersions())));
  if (versions != writer->GetMaxVersions()) {
    EvDebug(instance).DebugLvl("EvDebug::refreshMaxVersion", 7, "Changing log file count from %d to %lu ",
                               static_cast<int>(writer->GetMaxVersions()), versions);
    writer->SetMaxVersions(versions);
  }
}

void EvDebug::refreshAllParams() {
  refreshDebugLevel();
  refreshLogFileSize();
  refreshMaxVersion();
}

void EvDebug::refreshLoggingSwitch() {
  const long long all = LogSettings::Number(LogSettings::kEventManager, "ALL_TurnOffLogging").value_or(0);
  if (all == 0) {
    m_bTurnOffAllLogs.store(false);
  } else if (!m_bTurnOffAllLogs.load()) {
    // Written before the switch takes effect, so it is the last line.
    Error("EvDebug::refreshLoggingSwitch", "Disable all logging switch is enabled. Hence not logging");
    m_bTurnOffAllLogs.store(true);
  }
  if (m_bTurnOffAllLogs.load()) return;

  EvDebugFileInstance* instance = resolveInstance();
  auto& state = LogState();
  const std::string module = ModuleNameOf(*instance);
  const std::string upper = FXString::ToUpper(module);
  ZnCriticalSectionLock lock(&state.settingsLock);
  for (const std::string& off : state.switchedOffLogs) {
    if (off == upper) return;
  }
  const long long moduleOff =
      LogSettings::Number(LogSettings::kEventManager, ModuleKey(module, "_TurnOffLogging")).value_or(0);
  if (moduleOff == 0) {
    instance->m_moduleLoggingOff.store(false);
    return;
  }
  EvDebug(instance).Error("EvDebug::refreshLoggingSwitch", "Disable module logging switch is enabled. Hence not logging");
  instance->m_moduleLoggingOff.store(true);
  state.switchedOffLogs.push_back(upper);
}

void EvDebug::setDebugLevel(int level) { resolveInstance()->m_debugLevel.store(level); }

int EvDebug::getDebugLevel() { return resolveInstance()->m_debugLevel.load(); }

int EvDebug::getDefaultDebugLevel() {
  EvDebugFileInstance* instance = resolveInstance();
  return instance->m_state.load() == EvDebugFileInstance::kOpen ? instance->m_defaultDebugLevel : -2;
}

void EvDebug::setDefaultDebugLevel(int level) { resolveInstance()->m_defaultDebugLevel = level; }

namespace {

// The open writer of a handle's instance, or null.
CYqLogger* OpenWriter(EvDebugFileInstance* instance) {
  return instance->m_state.load() == EvDebugFileInstance::kOpen ? instance->m_writer.load() : nullptr;
}

}  // namespace

unsigned long long EvDebug::getLogFileSize() {
  CYqLogger* writer = OpenWriter(resolveInstance());
  return writer != nullptr ? writer->GetLogFileSize() : 0;
}

void EvDebug::setLogFileSize(unsigned long long megabytes) {
  if (CYqLogger* writer = OpenWriter(resolveInstance())) writer->SetLogFileSize(megabytes);
}

unsigned long long EvDebug::getDefaultLogFileSize() {
  CYqLogger* writer = OpenWriter(resolveInstance());
  return writer != nullptr ? writer->GetDefaultLogFileSize() : 0;
}

void EvDebug::setDefaultLogFileSize(unsigned long long megabytes) {
  if (CYqLogger* writer = OpenWriter(resolveInstance())) writer->SetDefaultLogFileSize(megabytes);
}

unsigned long EvDebug::getMaxVersion() {
  CYqLogger* writer = OpenWriter(resolveInstance());
  return writer != nullptr ? writer->GetMaxVersions() : 0;
}

unsigned long EvDebug::getDefaultMaxVersion() {
  CYqLogger* writer = OpenWriter(resolveInstance());
  return writer != nullptr ? writer->GetDefaultMaxVersions() : 0;
}

void EvDebug::debugWait() { debugWaitFor(ModuleNameOf(*resolveInstance())); }

void EvDebug::debugWait(const char* name) {
  debugWaitFor(name != nullptr ? std::string(name) : ModuleNameOf(*resolveInstance()));
}

void EvDebug::debugWait(const char* name, int level) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance->m_state.load() != EvDebugFileInstance::kOpen || instance->m_debugLevel.load() < level) return;
  debugWait(name);
}

void EvDebug::debugWaitFor(const std::string& module) {
  const std::string setting = ModuleKey(module, "_DEBUGWAITTIME");
  const long long seconds = LogSettings::Number(LogSettings::kEventManager, setting).value_or(0);
  if (seconds <= 0 || zn::detail::DebuggerAttached()) return;
  Debug("EvDebug::DebugWait",
        "*** Waiting for the debugger to attach, since the registry key [%s], value [%lu] is present", setting.c_str(),
        static_cast<unsigned long>(seconds));
  for (long long i = 0; i < seconds; ++i) {
    YQSLEEP(1000);
    if (zn::detail::DebuggerAttached()) {
      Debug("EvDebug::DebugWait", "** Ending sleep because debugger has been attached.");
      ::raise(SIGTRAP);
      break;
    }
  }
}

bool EvDebug::debugWaitOnFile(const char* name) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance->m_state.load() != EvDebugFileInstance::kOpen) return false;
  debugWaitOnFileFor(name != nullptr ? std::string(name) : ModuleNameOf(*instance));
  return true;
}

bool EvDebug::debugWaitOnFile(const char* name, int level) {
  EvDebugFileInstance* instance = resolveInstance();
  if (instance->m_state.load() != EvDebugFileInstance::kOpen || instance->m_debugLevel.load() < level) return false;
  return debugWaitOnFile(name);
}

void EvDebug::debugWaitOnFileFor(const std::string& module) {
  const std::string setting = ModuleKey(module, "_DEBUGWAITTIME");
  const std::optional<long long> seconds = LogSettings::Number(LogSettings::kEventManager, setting);
  if (!seconds || zn::detail::DebuggerAttached()) return;
  if (*seconds != 0) {
    Debug("EvDebug::DebugWaitOnFile",
          "*** Waiting for the debugger to attach, since the registry key [%s], value [%lu] is present",
          setting.c_str(), static_cast<unsigned long>(*seconds));
    for (long long i = 0; i < *seconds && !zn::detail::DebuggerAttached(); ++i) YQSLEEP(1000);
    return;
  }
  std::string folder = LogSettings::TempDirectory();
  if (folder.empty()) folder = zn::detail::SystemTempFolder();
  const std::string file = FXPath::Append(folder, setting + ".resume");
  const yq::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!fd) {
    const int err = errno;
    Error("EvDebug::DebugWaitOnFile", "Failed to create .resume file [%s], err=[%s]", file.c_str(),
          yq::ErrnoText(err).c_str());
    return;
  }
  Debug("EvDebug::DebugWaitOnFile",
        "Additional setting [%s] with value 0 is present. Creating file [%s], please remove it to continue.",
        setting.c_str(), file.c_str());
  while (::access(file.c_str(), F_OK) == 0) YQSLEEP(1000);
}

int EvDebug::getAppDebugLevel(const char* app) {
  const std::optional<long long> level =
      LogSettings::Number(LogSettings::kEventManager, LogSettings::AppDebugLevelName(app));
  return level && *level != 0 ? static_cast<int>(*level) : -1;
}

namespace {

std::string RetainDefaultName(const std::string& module) { return module + "_RetainLogsInDays_Default"; }

}  // namespace

bool EvDebug::getDefaultRetainLogsTill(unsigned int& days) {
  constexpr const char* kContext = "EvDebug::getDefaultRetainLogsTill";
  const std::string name = RetainDefaultName(ModuleNameOf(*resolveInstance()));
  const std::optional<long long> value = LogSettings::Number(LogSettings::kEventManager, name);
  if (!value) {
    Error(kContext, "Failed to get [%s\\%s]", "EventManager", name.c_str());
    return false;
  }
  days = static_cast<unsigned int>(*value);
  DebugLvl(kContext, 7, "Get [%s\\%s] to %u", "EventManager", name.c_str(), days);
  return true;
}

bool EvDebug::setDefaultRetainLogsTill(unsigned int days) {
  constexpr const char* kContext = "EvDebug::setDefaultRetainLogsTill";
  const std::string name = RetainDefaultName(ModuleNameOf(*resolveInstance()));
  if (!LogSettings::SetNumber(LogSettings::kEventManager, name, days)) {
    Error(kContext, "Failed to set [%s\\%s] to %u", "EventManager", name.c_str(), days);
    return false;
  }
  DebugLvl(kContext, 7, "Set [%s\\%s] to %u", "EventManager", name.c_str(), days);
  return true;
}

bool EvDebug::resetDefaultRetainLogsTill() {
  constexpr const char* kContext = "EvDebug::resetDefaultRetainLogsTill";
  const std::string name = RetainDefaultName(ModuleNameOf(*resolveInstance()));
  if (!LogSettings::Remove(LogSettings::kEventManager, name)) {
    Error(kContext, "Failed to delete [%s\\%s]", "EventManager", name.c_str());
    return false;
  }
  DebugLvl(kContext, 7, "Deleted [%s\\%s]", "EventManager", name.c_str());
  return true;
}

void EvDebug::PrintGflags() {
  if (!LogState().gflagsReportOn.load()) return;
  const std::string image = getProcessName();
  const auto values = LogSettings::Values(std::string(kImageOptionsKey) + image);
  if (!values) {
    DebugLvl("EvDebug::PrintGflags", 3, "Gflags are not set for the image %s. Return code:[%d]", image.c_str(),
             static_cast<int>(yq::kErrorFileNotFound));
    return;
  }
  if (values->empty()) {
    DebugLvl("EvDebug::PrintGflags", 3, "No gflag settings are found for the current process:[%s].", image.c_str());
    return;
  }
  for (const auto& [name, value] : *values) {
    DebugLvl("EvDebug::PrintGflags", 0, "Image:%s. Flag:%s Value:%s", image.c_str(), name.c_str(), value.c_str());
  }
}

std::string EvDebug::GetProductVersion() {
  static std::mutex mutex;
  static bool computed = false;
  static std::string version;
  std::lock_guard<std::mutex> lock(mutex);
  if (computed) return version;
  const std::optional<std::string> text = LogSettings::Text(LogSettings::kInstanceRoot, "sProductVersion");
  if (!text) {
    EvDebug().Error("EvDebug::GetProductVersion", "Failed to get [%s] value!", "sProductVersion");
    return version;
  }
  computed = true;
  ZnStdVersion parsed;
  if (!GetAllInfoFromVersionStr(*text, parsed)) return version;
  if (parsed.updateNumber == 0) {
    // The update number of the last update transaction: "<number>_...".
    if (const auto transaction = LogSettings::Text("UpdateBinTran", "UP_Transaction")) {
      const std::string_view number = std::string_view(*transaction).substr(0, transaction->find('_'));
      std::from_chars(number.data(), number.data() + number.size(), parsed.updateNumber);
    }
  }
  version = FormatZnStdVersionString(parsed);
  return version;
}
