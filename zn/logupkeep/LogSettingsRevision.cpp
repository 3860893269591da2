// Temporary log settings: each has an expiry value beside it, added on the
// first revision after the setting appears; once it has passed, both go.

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "zn/log/EvDebug.h"
#include "zn/log/LogCatalogue.h"
#include "zn/log/LogSettings.h"
#include "zn/logupkeep/LogSettingsTasks.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

constexpr std::string_view kSection = LogSettings::kEventManager;
constexpr const char* kSectionName = "EventManager";

struct TemporarySetting {
  const char* suffix;
  const char* expirySuffix;
  uint32_t lifetime;  // seconds
};

constexpr TemporarySetting kTemporarySettings[] = {
    {"_DEBUGLEVEL", "_DEBUGLEVEL_UNTIL", 604800},
    {"_MAXLOGFILESIZE", "_MAXLOGFILESIZE_UNTIL", 604800},
    {"_MAXLOGFILEBACKUPS", "_MAXLOGFILEBACKUPS_UNTIL", 604800},
    {"_DEBUGWAITTIME", "_DEBUGWAITTIME_UNTIL", 86400},
};

constexpr const char* kVersionSettings[] = {"_MAXLOGFILEBACKUPS", "_DEFAULTLOGFILEBACKUPS"};

constexpr const char* kFirewallSection = "Firewall";
constexpr const char* kFirewallSetting = "nDEBUG";
constexpr uint32_t kFirewallLifetime = 604800;

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

uint32_t Now() { return static_cast<uint32_t>(::time(nullptr)); }

// The store keeps expiry times as 32-bit numbers.
std::optional<uint32_t> ExpiryOf(std::string_view section, const std::string& name) {
  const std::optional<long long> value = LogSettings::Number(section, name);
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

// Whether `name` is a value of `values` (store names ignore case).
bool Has(const std::set<std::string>& upperNames, const std::string& name) {
  return upperNames.count(FXString::ToUpper(name)) != 0;
}

void ReviseSetting(EvDebug& log, const std::set<std::string>& present, const std::string& module,
                   const TemporarySetting& row) {
  constexpr const char* kContext = "ReviseDebugLogSetting";
  const std::string setting = module + row.suffix;
  const std::string expiry = module + row.expirySuffix;
  log.DebugLvl(kContext, 10, "Processing - %s : %s : %d secs", setting.c_str(), expiry.c_str(),
               static_cast<int>(row.lifetime));
  if (!Has(present, setting)) {
    if (Has(present, expiry)) LogSettings::Remove(kSection, expiry);
    return;
  }
  const uint32_t now = Now();
  const std::optional<uint32_t> until = ExpiryOf(kSection, expiry);
  if (!until) {
    const uint32_t expires = now + row.lifetime;
    if (LogSettings::SetNumber(kSection, expiry, expires)) {
      log.DebugLvl(kContext, 10, "Add expiration time [%s\\%s] - 0x%x", kSectionName, expiry.c_str(), expires);
    } else {
      log.DebugLvl(kContext, 7, "Failed to add expiration time [%s\\%s] - 0x%x", kSectionName, expiry.c_str(), expires);
    }
    return;
  }
  if (*until >= now) return;
  log.DebugLvl(kContext, 7, "Expire [%s\\%s] ... expiration_time:0x%x < current_time:0x%x", kSectionName,
               setting.c_str(), *until, now);
  for (const std::string& name : {setting, expiry}) {
    if (!LogSettings::Remove(kSection, name)) {
      log.DebugLvl(kContext, 7, "Failed to delete [%s\\%s]", kSectionName, name.c_str());
    }
  }
}

// A version count equal to the catalogue's says nothing: it goes.
void CleanupModuleDebugLogVersionSetting(EvDebug& log, const std::string& module) {
  constexpr const char* kContext = "CleanupModuleDebugLogVersionSetting";
  const ZNLogFileInfo* row = FindLogByName(module);
  if (row == nullptr) {
    log.Error(kContext, "Unable to get module [%s] default values!", module.c_str());
    return;
  }
  log.DebugLvl(kContext, 10, "[%s] MaxLogFileBackups is (%u)", module.c_str(), row->defaultVersions);
  bool first = true;
  for (const char* suffix : kVersionSettings) {
    const std::string name = module + suffix;
    const std::optional<long long> value = LogSettings::Number(kSection, name);
    if (!value) {
      log.DebugLvl(kContext, 15, "[%s/%s] does not exist.", kSectionName, name.c_str());
    } else if (static_cast<unsigned>(*value) != row->defaultVersions) {
      log.DebugLvl(kContext, 10, "[%s/%s] [%u]", kSectionName, name.c_str(), static_cast<unsigned>(*value));
    } else if (LogSettings::Remove(kSection, name)) {
      log.DebugLvl(kContext, 7, first ? "[%s/%s] [%u] was successfully deleted." : "[%s/%s][%u] was successfully deleted.",
                   kSectionName, name.c_str(), static_cast<unsigned>(*value));
    } else {
      log.DebugLvl(kContext, 7, "Failed to delete [%s/%s] [%u]", kSectionName, name.c_str(),
                   static_cast<unsigned>(*value));
    }
    first = false;
  }
}

// The firewall's debug switch is a text; an expired one is kept but wrapped
// in "*", which turns it off and tells the next run it was handled.
void ReviseFirewallDebugSetting(EvDebug& log) {
  constexpr const char* kContext = "ReviseFirewallDebugSetting";
  const std::string expiry = std::string(kFirewallSetting) + "_UNTIL";
  const std::optional<std::string> value = LogSettings::Text(kFirewallSection, kFirewallSetting);
  if (!value) {
    log.DebugLvl(kContext, 10, "[%s\\%s] doesn't exist", kFirewallSection, kFirewallSetting);
    return;
  }
  log.DebugLvl(kContext, 10, "Found [%s\\%s]:[%s]", kFirewallSection, kFirewallSetting, value->c_str());
  if (!value->empty() && (*value)[0] == '*') {
    LogSettings::Remove(kFirewallSection, expiry);
    return;
  }
  const uint32_t now = Now();
  const std::optional<uint32_t> until = ExpiryOf(kFirewallSection, expiry);
  if (!until) {
    const uint32_t expires = now + kFirewallLifetime;
    if (LogSettings::SetNumber(kFirewallSection, expiry, expires)) {
      log.DebugLvl(kContext, 10, "Add expiration time [%s\\%s] - 0x%x", kFirewallSection, expiry.c_str(), expires);
    } else {
      log.DebugLvl(kContext, 7, "Failed to add expiration time [%s\\%s] - 0x%x", kFirewallSection, expiry.c_str(),
                   expires);
    }
    return;
  }
  if (*until >= now) return;
  const std::string disabled = "*" + *value + "*";
  if (LogSettings::Set(kFirewallSection, kFirewallSetting, disabled)) {
    log.DebugLvl(kContext, 7, "Set [%s\\%s] to [%s]", kFirewallSection, kFirewallSetting, disabled.c_str());
  } else {
    log.DebugLvl(kContext, 7, "Failed to set [%s\\%s] to [%s]", kFirewallSection, kFirewallSetting, disabled.c_str());
  }
}

}  // namespace

void ReviseDebugLogSettings() {
  constexpr const char* kContext = "ReviseDebugLogSetting";
  EvDebug log;
  const auto values = LogSettings::Values(kSection);
  std::set<std::string> present, versionModules, reviseModules;
  for (const auto& [name, text] : values.value_or(std::vector<std::pair<std::string, std::string>>{})) {
    log.DebugLvl(kContext, 12, "Found %s", name.c_str());
    const std::string upper = FXString::ToUpper(name);
    present.insert(upper);
    for (const char* suffix : kVersionSettings) {
      if (EndsWith(upper, suffix)) {
        const std::string module = upper.substr(0, upper.size() - std::string_view(suffix).size());
        log.DebugLvl(kContext, 10, "Add to log version module set - [%s]", module.c_str());
        versionModules.insert(module);
      }
    }
    // An expiry value left without its setting brings its module in too, so
    // that it is deleted.
    for (const TemporarySetting& row : kTemporarySettings) {
      for (const char* suffix : {row.suffix, row.expirySuffix}) {
        if (!EndsWith(upper, suffix)) continue;
        const std::string module = upper.substr(0, upper.size() - std::string_view(suffix).size());
        if (reviseModules.insert(module).second) {
          log.DebugLvl(kContext, 10, "Add to revise module set - [%s]", module.c_str());
        }
      }
    }
  }
  for (const std::string& module : reviseModules) {
    if (module.empty()) {
      log.DebugLvl(kContext, 7, "Got empty module name!");
      continue;
    }
    for (const TemporarySetting& row : kTemporarySettings) ReviseSetting(log, present, module, row);
  }
  for (const std::string& module : versionModules) {
    if (!module.empty()) CleanupModuleDebugLogVersionSetting(log, module);
  }
  ReviseFirewallDebugSetting(log);
}

}  // namespace zn::detail

extern "C" int ReviseDebugLogSetting_OnTimer(ZnPeriodicTaskStatus* /*status*/) {
  zn::detail::ReviseDebugLogSettings();
  return 0;
}
