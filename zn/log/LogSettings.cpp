#include "zn/log/LogSettings.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <mutex>

#include "dazurudev/CYqIPAddr.h"
#include "zuzazer/FXNoDestructor.h"
#include "zuzazer/FXString.h"

namespace zn::detail {
namespace {

struct Table {
  std::mutex mutex;
  // upper-cased section -> upper-cased name -> (name as given, text)
  std::map<std::string, std::map<std::string, std::pair<std::string, std::string>>> sections;
};

Table& TheTable() {
  static NoDestructor<Table> table;
  return table.get();
}

constexpr unsigned long kPlatformTypeValidBits = 0x1BF;

}  // namespace

std::optional<std::string> LogSettings::Text(std::string_view section, std::string_view name) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto s = table.sections.find(FXString::ToUpper(section));
  if (s == table.sections.end()) return std::nullopt;
  const auto v = s->second.find(FXString::ToUpper(name));
  if (v == s->second.end()) return std::nullopt;
  return v->second.second;
}

std::optional<long long> LogSettings::Number(std::string_view section, std::string_view name) {
  const std::optional<std::string> text = Text(section, name);
  if (!text) return std::nullopt;
  long long value = 0;
  const char* begin = text->data();
  const char* end = begin + text->size();
  const auto parsed = std::from_chars(begin, end, value);
  if (parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  // Store numbers are 32-bit: keep their low 32 bits as the store would.
  return static_cast<long long>(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

std::optional<std::vector<std::pair<std::string, std::string>>> LogSettings::Values(std::string_view section) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto s = table.sections.find(FXString::ToUpper(section));
  if (s == table.sections.end()) return std::nullopt;
  std::vector<std::pair<std::string, std::string>> values;
  for (const auto& [upper, entry] : s->second) values.push_back(entry);
  return values;
}

void LogSettings::Set(std::string_view section, std::string_view name, std::string_view value) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto& values = table.sections[FXString::ToUpper(section)];
  const std::string key = FXString::ToUpper(name);
  const auto existing = values.find(key);
  // A value keeps the spelling it was created with.
  const std::string spelling = existing != values.end() ? existing->second.first : std::string(name);
  values[key] = {spelling, std::string(value)};
}

void LogSettings::SetNumber(std::string_view section, std::string_view name, long long value) {
  Set(section, name, std::to_string(value));
}

void LogSettings::Remove(std::string_view section, std::string_view name) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  const auto s = table.sections.find(FXString::ToUpper(section));
  if (s == table.sections.end()) return;
  s->second.erase(FXString::ToUpper(name));
  if (s->second.empty()) table.sections.erase(s);
}

void LogSettings::Clear() {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.sections.clear();
}

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
