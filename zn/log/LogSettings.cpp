#include "zn/log/LogSettings.h"

#include <cstdint>
#include <map>

#include "dazurudev/CYqIPAddr.h"
#include "zn/config/ZNPlatformInfo.h"
#include "znfocus/ZNPI_Focus.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

constexpr unsigned long kPlatformTypeValidBits = 0x1BF;

bool IsAbsolute(std::string_view section) {
  return section.size() > 9 && FXString::EqualsNoCase(section.substr(0, 8), "SOFTWARE") &&
         (section[8] == '\\' || section[8] == '/');
}

// The store key of a section, or "" when there is none to read (a relative
// section in a process without a focus).
std::string KeyOf(std::string_view section) {
  if (IsAbsolute(section)) return std::string(section);
  const char* focus = ZNPI_Focus::getFocus();
  if ((focus == nullptr || focus[0] == '\0') && ZNPI_Focus::getProductType() != TESSALY_PRODUCT_TYPE_NO_INSTANCE) {
    return std::string();
  }
  return "~" + std::string(section);
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

void LogSettings::Clear() { ZNPlatformInfo(0, 0).delRegKey("SOFTWARE"); }

long long LogSettings::NumberOr(std::string_view section, std::string_view name, long long fallback) {
  const std::optional<long long> value = Number(section, name);
  return value && *value != 0 ? *value : fallback;
}

unsigned long LogSettings::PlatformType() {
  const std::optional<long long> value = Number(kBase, "nPLATTYPE");
  if (!value) return 0;
  unsigned long type = static_cast<uint32_t>(*value);
  if ((type & 1u) != 0) type |= 8u;
  return (type & ~kPlatformTypeValidBits) != 0 ? 0 : type;
}

int LogSettings::PreferredIPFamily() {
  switch (Number(kSession, "nPreferredIPFamily").value_or(1)) {
    case 1: return kDzFamilyIPv4;
    case 2: return kDzFamilyIPv6;
    default: return kDzFamilyUnspecified;
  }
}

int LogSettings::FdsetSize(std::string_view name) {
  return static_cast<int>(Number(kSession, std::string(name) + "_FDSETSZ").value_or(0));
}

std::string LogSettings::LogFilesDirectory() { return Text(kEventManager, "dEVLOGDIR").value_or(""); }

std::string LogSettings::HomeDirectory() { return Text(kBase, "dBASEHOME").value_or(""); }

std::string LogSettings::ComputeId() { return Text(kInstanceRoot, "sComputeID").value_or(""); }

std::string LogSettings::HubServerClientName() { return Text(kHubServe, "sHSCLIENTNAME").value_or(""); }

std::string LogSettings::PhysicalMachine() {
  const unsigned long type = PlatformType();
  std::string name;
  if ((type & 1u) != 0) {
    name = HubServerClientName();
  } else if ((type & 0x10u) != 0) {
    name = Text(kHubNet, "sPNETNAME").value_or("");
  } else {
    name = Text(kInstanceRoot, "sPhysicalNodeName").value_or("");
  }
  if (name.empty()) CYqIPAddr::GetLocalHostName(name);
  return name;
}

std::string LogSettings::ClientHostName(std::string_view client) {
  return Text("Machines/" + std::string(client), "sHOSTNAME").value_or("");
}

}  // namespace zn::detail
