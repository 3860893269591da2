#include "zn/log/LogSettings.h"

#include <cstdint>
#include <list>
#include <map>

#include "dazurudev/CYqIPAddr.h"
#include "zn/config/ZNPI_Base.h"
#include "zn/config/ZNPI_Session.h"
#include "zn/config/ZNPlatformInfo.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

bool IsAbsolute(std::string_view section) {
  return section.size() > 9 && FXString::EqualsNoCase(section.substr(0, 8), "SOFTWARE") &&
         (section[8] == '\\' || section[8] == '/');
}

// True when relative keys can be resolved: a focus, or a product without
// an instance level.
bool HasInstance() {
  const char* focus = ZNPI_Focus::getFocus();
  return (focus != nullptr && focus[0] != '\0') || ZNPI_Focus::getProductType() == TESSALY_PRODUCT_TYPE_NO_INSTANCE;
}

// The store key of a section, or "" when there is none to read (a relative
// section in a process without a focus).
std::string KeyOf(std::string_view section) {
  if (IsAbsolute(section)) return std::string(section);
  return HasInstance() ? "~" + std::string(section) : std::string();
}

// A store object that writes nothing to the log or the console.
ZNPlatformInfo Quiet() { return ZNPlatformInfo(0, 0); }

}  // namespace

std::optional<std::string> LogSettings::Text(std::string_view section, std::string_view name) {
  const std::string key = KeyOf(section);
  if (key.empty()) return std::nullopt;
  const std::string value(name);
  ZNPlatformInfo store = Quiet();
  std::string buffer(2048, '\0');
  unsigned long type = 0;
  int size = static_cast<int>(buffer.size());
  if (!store.getRegValue(key.c_str(), value.c_str(), &type, buffer.data(), size)) {
    if (store.getRegError() != -4) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(size));  // the size it needs
    if (!store.getRegValue(key.c_str(), value.c_str(), &type, buffer.data(), size)) return std::nullopt;
  }
  if (type != kZnRegString && type != kZnRegExpandString && type != kZnRegMultiString) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(size));
  return std::string(buffer.c_str());  // up to the first NUL
}

std::optional<long long> LogSettings::Number(std::string_view section, std::string_view name) {
  const std::string key = KeyOf(section);
  if (key.empty()) return std::nullopt;
  int value = 0;
  ZNPlatformInfo store = Quiet();
  if (!store.getRegInt(key.c_str(), std::string(name).c_str(), &value)) return std::nullopt;
  return value;
}

std::optional<std::vector<std::pair<std::string, std::string>>> LogSettings::Values(std::string_view section) {
  const std::string key = KeyOf(section);
  if (key.empty()) return std::nullopt;
  std::map<std::string, std::string> values;
  ZNPlatformInfo store = Quiet();
  if (!store.getRegValues(key.c_str(), &values)) return std::nullopt;
  return std::vector<std::pair<std::string, std::string>>(values.begin(), values.end());
}

std::optional<std::vector<std::string>> LogSettings::SubKeys(std::string_view section) {
  const std::string key = KeyOf(section);
  if (key.empty()) return std::nullopt;
  std::list<std::string> names;
  ZNPlatformInfo store = Quiet();
  const bool listed = key[0] == '~' ? store.getSubKeys(std::string(section).c_str(), &names)
                                    : store.getRegSubKeysFromAbsPath(key.c_str(), &names);
  if (!listed) return std::nullopt;
  return std::vector<std::string>(names.begin(), names.end());
}

bool LogSettings::Set(std::string_view section, std::string_view name, std::string_view value) {
  const std::string key = KeyOf(section);
  return !key.empty() && ZNPlatformInfo().setRegString(key.c_str(), std::string(name).c_str(), std::string(value).c_str());
}

bool LogSettings::SetNumber(std::string_view section, std::string_view name, long long value) {
  const std::string key = KeyOf(section);
  return !key.empty() && ZNPlatformInfo().setRegInt(key.c_str(), std::string(name).c_str(), static_cast<int>(value));
}

bool LogSettings::Remove(std::string_view section, std::string_view name) {
  const std::string key = KeyOf(section);
  return !key.empty() && ZNPlatformInfo(0, 0).delRegField(key.c_str(), std::string(name).c_str());
}

bool LogSettings::RemoveSection(std::string_view section) {
  const std::string key = KeyOf(section);
  return !key.empty() && ZNPlatformInfo(0, 0).delRegKey(key.c_str());
}

void LogSettings::Clear() { ZNPlatformInfo(0, 0).delRegKey("SOFTWARE"); }

long long LogSettings::NumberOr(std::string_view section, std::string_view name, long long fallback) {
  const std::optional<long long> value = Number(section, name);
  return value && *value != 0 ? *value : fallback;
}

// The derived values come from the component classes, built quiet: the log
// never writes store errors into itself.

unsigned long LogSettings::PlatformType() {
  if (!HasInstance()) return 0;
  return ZNPlatformInfo(0, 0).getZNPlatformType();
}

int LogSettings::PreferredIPFamily() {
  if (!HasInstance()) return kDzFamilyIPv4;
  return ZNPI_Session(0, 0).GetPreferredIPFamily();
}

int LogSettings::FdsetSize(std::string_view name) {
  if (!HasInstance()) return 0;
  return static_cast<int>(ZNPI_Session(0, 0).getFdsetSize(std::string(name).c_str()));
}

std::string LogSettings::LogFilesDirectory() {
  if (!HasInstance()) return std::string();
  ZNPI_EventManager eventManager(0, 0);  // owns the text it returns
  const char* directory = eventManager.getLogFilesDirectory();
  return directory != nullptr ? directory : "";
}

std::string LogSettings::HomeDirectory() {
  if (!HasInstance()) return std::string();
  ZNPI_Base base(0, 0);
  const char* directory = base.getHomeDirectory();
  return directory != nullptr ? directory : "";
}

std::string LogSettings::TempDirectory() {
  if (!HasInstance()) return std::string();
  ZNPI_Base base(0, 0);
  const char* directory = base.getOrvaneTempDirectory();
  return directory != nullptr ? directory : "";
}

std::string LogSettings::ComputeId() { return HasInstance() ? ZNPlatformInfo(0, 0).getComputeID() : std::string(); }

std::string LogSettings::HubServerClientName() { return Text(kHubServe, "sHSCLIENTNAME").value_or(""); }

std::string LogSettings::PhysicalMachine() {
  std::string name;
  if (HasInstance()) {
    ZNPlatformInfo store(0, 0);
    name = store.getPhysicalMachine();
  }
  if (name.empty()) CYqIPAddr::GetLocalHostName(name);
  return name;
}

std::string LogSettings::ClientHostName(std::string_view client) {
  std::string host;
  if (HasInstance()) ZNPlatformInfo(0, 0).getClientHostName(std::string(client).c_str(), host);
  return host;
}

}  // namespace zn::detail
