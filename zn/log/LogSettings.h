// Where the log's settings come from: values by section and value name, and
// the few derived values the log needs from the component classes.
//
// Until the configuration store is built this is an in-memory table that a
// program (or a test) fills; absent values make every caller take its
// catalogue or built-in default. Section and value names compare without
// regard to ASCII case, as in the store.
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

  // A 32-bit number; texts that are not decimal numbers read as absent.
  static std::optional<long long> Number(std::string_view section, std::string_view name);
  static std::optional<std::string> Text(std::string_view section, std::string_view name);
  // The values of a section as (name, text) pairs in name order; nullopt
  // when the section does not exist.
  static std::optional<std::vector<std::pair<std::string, std::string>>> Values(std::string_view section);

  static void Set(std::string_view section, std::string_view name, std::string_view value);
  static void SetNumber(std::string_view section, std::string_view name, long long value);
  static void Remove(std::string_view section, std::string_view name);
  static void Clear();

  // A number read with the convention "absent or 0 means use the default".
  static long long NumberOr(std::string_view section, std::string_view name, long long fallback);

  // ---- Derived values of the component classes. ----
  // "Base"/"nPLATTYPE": bit 0 brings bit 3; bits outside 0x1BF make it 0.
  static unsigned long PlatformType();
  // "Session"/"nPreferredIPFamily": 0 unspecified (0), 1 IPv4 (2, the
  // default), 2 IPv6 (23); any other value 0.
  static int PreferredIPFamily();
  // "Session"/"<name>_FDSETSZ", 0 when absent.
  static int FdsetSize(std::string_view name);
  // "EventManager"/"dEVLOGDIR".
  static std::string LogFilesDirectory();
  // "Base"/"dBASEHOME".
  static std::string HomeDirectory();
  // The instance's "sComputeID".
  static std::string ComputeId();
  // The HubServer client name ("HubServe"/"sHSCLIENTNAME").
  static std::string HubServerClientName();
  // With platform bit 0 the HubServer client name, else with bit 4
  // "HubNet"/"sPNETNAME", else the instance's "sPhysicalNodeName"; a machine
  // with none of them configured uses its host name.
  static std::string PhysicalMachine();
  // "Machines/<client>"/"sHOSTNAME".
  static std::string ClientHostName(std::string_view client);
};

}  // namespace zn::detail
