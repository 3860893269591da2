// Where the log's settings come from: values of the configuration store by
// section and value name, and the few derived values the log needs from the
// component classes. A section is relative to the focused instance unless
// it begins with "SOFTWARE\" (an absolute key). Absent values make every
// caller take its catalogue or built-in default; a process without a focus
// has no instance settings. Reads never write to the log (the log reads
// them), so a failing store is silent here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zn::detail {

class LogSettings {
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
  static unsigned long PlatformType();     // ZNPlatformInfo::getZNPlatformType
  static int PreferredIPFamily();          // ZNPI_Session::GetPreferredIPFamily
  static int FdsetSize(std::string_view name);  // ZNPI_Session::getFdsetSize
  static std::string LogFilesDirectory();  // ZNPI_EventManager::getLogFilesDirectory
  static std::string HomeDirectory();      // ZNPI_Base::getHomeDirectory
  static std::string TempDirectory();      // ZNPI_Base::getOrvaneTempDirectory
  static std::string ComputeId();          // ZNPlatformInfo::getComputeID
  // The HubServer client name ("HubServe"/"sHSCLIENTNAME").
  static std::string HubServerClientName();
  // ZNPlatformInfo::getPhysicalMachine; a machine with none configured uses
  // its host name.
  static std::string PhysicalMachine();
  static std::string ClientHostName(std::string_view client);  // ZNPlatformInfo::getClientHostName
};

}  // namespace zn::detail
