// Where the log's settings come from: values of the configuration store by
// section and value name, read straight from the store layer, and the few
// derived values the log needs of the component settings. A section is
// relative to the focused instance unless it begins with "SOFTWARE\" (an
// absolute key). Absent values make every caller take its catalogue or
// built-in default; a process without a focus has no instance settings.
// Reads never write to the log (the log reads them), so a failing store is
// silent here.
//
// The component settings sit above the log: the config module hands their
// readers to the log through LogSettingHooks when the library loads, the
// way a logging library receives its flags without including them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zn/base/ZnExport.h"

namespace zn {

// The readers of derived values; each may be null (its default is then
// used). Filled once, while the library loads.
struct ZN_EXPORT LogSettingHooks {
  unsigned long (*platformType)() = nullptr;           // ZNPlatformInfo::getZNPlatformType
  int (*preferredIPFamily)() = nullptr;                // ZNPI_Session::GetPreferredIPFamily
  int (*fdsetSize)(const std::string& name) = nullptr; // ZNPI_Session::getFdsetSize
  std::string (*logFilesDirectory)() = nullptr;        // ZNPI_EventManager::getLogFilesDirectory
  std::string (*homeDirectory)() = nullptr;            // ZNPI_Base::getHomeDirectory
  std::string (*tempDirectory)() = nullptr;            // ZNPI_Base::getOrvaneTempDirectory
  std::string (*computeId)() = nullptr;                // ZNPlatformInfo::getComputeID
  std::string (*physicalMachine)() = nullptr;          // ZNPlatformInfo::getPhysicalMachine
  std::string (*clientHostName)(const std::string& client) = nullptr;  // ZNPlatformInfo::getClientHostName
};

class ZN_EXPORT LogSettings {
 public:
  // Section names of the values the log reads.
  static constexpr std::string_view kEventManager = "EventManager";
  static constexpr std::string_view kSession = "Session";
  static constexpr std::string_view kBase = "Base";
  static constexpr std::string_view kHubServe = "HubServe";
  static constexpr std::string_view kHubNet = "HubNet";
  static constexpr std::string_view kInstanceRoot = "";

  // A 32-bit number value (type 4); anything else reads as absent.
  static std::optional<long long> Number(std::string_view section, std::string_view name);
  static std::optional<std::string> Text(std::string_view section, std::string_view name);
  // The values of a section as (name, text) pairs, ordered by name;
  // nullopt when the section does not exist.
  static std::optional<std::vector<std::pair<std::string, std::string>>> Values(std::string_view section);

  // The subkeys of a section in name order; nullopt when it does not exist.
  static std::optional<std::vector<std::string>> SubKeys(std::string_view section);

  // Writes (for programs and tests that set up a store).
  static bool Set(std::string_view section, std::string_view name, std::string_view value);
  static bool SetNumber(std::string_view section, std::string_view name, long long value);
  static bool Remove(std::string_view section, std::string_view name);
  // Deletes a section with everything below it.
  static bool RemoveSection(std::string_view section);
  // Empties the store of everything below "SOFTWARE": for tests.
  static void Clear();

  // A number read with the convention "absent or 0 means use the default".
  static long long NumberOr(std::string_view section, std::string_view name, long long fallback);

  // ---- Values of the component classes (quiet; empty without an instance) ----
  static unsigned long PlatformType();
  static int PreferredIPFamily();
  static int FdsetSize(std::string_view name);
  static std::string LogFilesDirectory();
  static std::string HomeDirectory();
  static std::string TempDirectory();
  static std::string ComputeId();
  // The HubServer client name ("HubServe"/"sHSCLIENTNAME").
  static std::string HubServerClientName();
  // A machine with no physical machine configured uses its host name.
  static std::string PhysicalMachine();
  static std::string ClientHostName(std::string_view client);
  // The EventManager value that holds a program's debug level:
  // "<app>_DEBUGLEVEL", blanks turned into '_'.
  static std::string AppDebugLevelName(const char* app);

  // Called by the config module while the library loads.
  static void InstallHooks(const LogSettingHooks& hooks);
};

}  // namespace zn
