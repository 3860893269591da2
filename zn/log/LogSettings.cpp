#include "zn/log/LogSettings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>

#include "dazurudev/CYqIPAddr.h"
#include "zn/store/ConfigStore.h"
#include "zn/store/StoreKeys.h"
#include "znfocus/ZNPI_Focus.h"

namespace zn {
namespace {

// Written once while the library loads, before any thread of the process
// can read it.
LogSettingHooks g_hooks;

// True when relative keys can be resolved: a focus, or a product without
// an instance level.
bool HasInstance() {
  const char* focus = ZNPI_Focus::getFocus();
  return (focus != nullptr && focus[0] != '\0') || ZNPI_Focus::getProductType() == TESSALY_PRODUCT_TYPE_NO_INSTANCE;
}

// The store path of a section, or "" when there is none to read (a
// relative section in a process without a focus).
std::string KeyOf(std::string_view section) {
  if (IsAbsoluteKey(section)) return ExpandInstanceKey(section, FocusedScope());
  if (!HasInstance()) return std::string();
  std::string path = ExpandInstanceKey("~" + std::string(section), FocusedScope());
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

bool Written(StoreStatus status) { return status == StoreStatus::kOk; }

ConfigStore& Store() { return ConfigStore::ForThisThread(); }

}  // namespace

void LogSettings::InstallHooks(const LogSettingHooks& hooks) { g_hooks = hooks; }

std::optional<std::string> LogSettings::Text(std::string_view section, std::string_view name) {
  const std::string key = KeyOf(section);
  if (key.empty() || name.empty()) return std::nullopt;
  StoreValue value;
  if (Store().readValue(key, name, value) != StoreStatus::kOk) return std::nullopt;
  if (value.type != kZnRegString && value.type != kZnRegExpandString && value.type != kZnRegMultiString) {
    return std::nullopt;
  }
  return std::string(value.data.data(), strnlen(value.data.data(), value.data.size()));
}

std::optional<long long> LogSettings::Number(std::string_view section, std::string_view name) {
  const std::string key = KeyOf(section);
  if (key.empty() || name.empty()) return std::nullopt;
  StoreValue value;
  if (Store().readValue(key, name, value) != StoreStatus::kOk) return std::nullopt;
  if (value.type != kZnRegNumber || value.data.size() != sizeof(uint32_t)) return std::nullopt;
  uint32_t number = 0;
  std::memcpy(&number, value.data.data(), sizeof number);
  return static_cast<int>(number);
}

std::optional<std::vector<std::pair<std::string, std::string>>> LogSettings::Values(std::string_view section) {
  const std::string key = KeyOf(section);
  if (key.empty()) return std::nullopt;
  std::vector<StoreEntry> entries;
  if (Store().values(key, entries) != StoreStatus::kOk) return std::nullopt;
  std::map<std::string, std::string> values;
  for (const StoreEntry& entry : entries) {
    std::string text;
    if (StoreValueText(entry.type, entry.data, true, text)) values[entry.name] = std::move(text);
  }
  return std::vector<std::pair<std::string, std::string>>(values.begin(), values.end());
}

std::optional<std::vector<std::string>> LogSettings::SubKeys(std::string_view section) {
  const std::string key = KeyOf(section);
  if (key.empty()) return std::nullopt;
  std::vector<std::string> names;
  if (Store().subKeys(key, names) != StoreStatus::kOk) return std::nullopt;
  return names;
}

bool LogSettings::Set(std::string_view section, std::string_view name, std::string_view value) {
  const std::string key = KeyOf(section);
  if (key.empty() || name.empty()) return false;
  std::string data(value);
  data.push_back('\0');  // a string value keeps its terminator, as the registry does
  return Written(Store().writeValue(key, name, kZnRegString, data));
}

bool LogSettings::SetNumber(std::string_view section, std::string_view name, long long value) {
  const std::string key = KeyOf(section);
  if (key.empty() || name.empty()) return false;
  const auto number = static_cast<uint32_t>(value);
  return Written(Store().writeValue(key, name, kZnRegNumber,
                                    std::string_view(reinterpret_cast<const char*>(&number), sizeof number)));
}

bool LogSettings::Remove(std::string_view section, std::string_view name) {
  const std::string key = KeyOf(section);
  return !key.empty() && !name.empty() && Written(Store().deleteValue(key, name));
}

bool LogSettings::RemoveSection(std::string_view section) {
  const std::string key = KeyOf(section);
  return !key.empty() && Written(Store().deleteTree(key));
}

void LogSettings::Clear() { Store().deleteTree("SOFTWARE"); }

std::string LogSettings::AppDebugLevelName(const char* app) {
  std::string name = std::string(app != nullptr ? app : "") + "_DEBUGLEVEL";
  name.resize(std::min<std::size_t>(name.size(), 1023));  // the Windows original's name buffer
  for (char& c : name) {
    if (std::isspace(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

long long LogSettings::NumberOr(std::string_view section, std::string_view name, long long fallback) {
  const std::optional<long long> value = Number(section, name);
  return value && *value != 0 ? *value : fallback;
}

// The derived values come from the component classes through the hooks:
// quiet readers, since the log never writes store errors into itself.

unsigned long LogSettings::PlatformType() {
  return HasInstance() && g_hooks.platformType != nullptr ? g_hooks.platformType() : 0;
}

int LogSettings::PreferredIPFamily() {
  return HasInstance() && g_hooks.preferredIPFamily != nullptr ? g_hooks.preferredIPFamily() : kDzFamilyIPv4;
}

int LogSettings::FdsetSize(std::string_view name) {
  return HasInstance() && g_hooks.fdsetSize != nullptr ? g_hooks.fdsetSize(std::string(name)) : 0;
}

std::string LogSettings::LogFilesDirectory() {
  return HasInstance() && g_hooks.logFilesDirectory != nullptr ? g_hooks.logFilesDirectory() : std::string();
}

std::string LogSettings::HomeDirectory() {
  return HasInstance() && g_hooks.homeDirectory != nullptr ? g_hooks.homeDirectory() : std::string();
}

std::string LogSettings::TempDirectory() {
  return HasInstance() && g_hooks.tempDirectory != nullptr ? g_hooks.tempDirectory() : std::string();
}

std::string LogSettings::ComputeId() {
  return HasInstance() && g_hooks.computeId != nullptr ? g_hooks.computeId() : std::string();
}

std::string LogSettings::HubServerClientName() { return Text(kHubServe, "sHSCLIENTNAME").value_or(""); }

std::string LogSettings::PhysicalMachine() {
  std::string name;
  if (HasInstance() && g_hooks.physicalMachine != nullptr) name = g_hooks.physicalMachine();
  if (name.empty()) CYqIPAddr::GetLocalHostName(name);
  return name;
}

std::string LogSettings::ClientHostName(std::string_view client) {
  return HasInstance() && g_hooks.clientHostName != nullptr ? g_hooks.clientHostName(std::string(client))
                                                           : std::string();
}

}  // namespace zn
