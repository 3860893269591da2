#include "zn/config/ZNRuntimePlatformInfo.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "zn/log/EvDebug.h"
#include "zuzazer/FXString.h"

yq::NoDestructor<std::unordered_map<std::string, int>> ZNRuntimePlatformInfo::c_intMap;
yq::NoDestructor<std::unordered_map<std::string, std::string>> ZNRuntimePlatformInfo::c_stringMap;
yq::NoDestructor<ZnCriticalSection> ZNRuntimePlatformInfo::c_mapLock;
yq::NoDestructor<std::vector<std::string>> ZNRuntimePlatformInfo::c_defaultDelimiters(
    std::vector<std::string>{",", ";", " ", ":", "|"});

namespace {

std::string OverrideKey(const std::string& section, const std::string& name) { return section + "/" + name; }

}  // namespace

bool ZNRuntimePlatformInfo::findInt(const std::string& section, const std::string& name, int& value) {
  const auto found = c_intMap->find(OverrideKey(section, name));
  if (found == c_intMap->end()) return false;
  value = found->second;
  return true;
}

bool ZNRuntimePlatformInfo::findString(const std::string& section, const std::string& name, std::string& value) {
  const auto found = c_stringMap->find(OverrideKey(section, name));
  if (found == c_stringMap->end()) return false;
  value = found->second;
  return true;
}

// ---- Numbers and booleans ----

template <typename Number>
int ZNRuntimePlatformInfo::getOverriddenNumber(const std::string& section, const std::string& name, Number& out) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  int value = 0;
  if (!findInt(section, name, value)) return ZNPlatformInfo::getNumber(section.c_str(), name.c_str(), &out);
  // Unsigned forms read an override as a stored 32-bit number reads.
  if constexpr (std::is_unsigned_v<Number>) {
    out = static_cast<Number>(static_cast<uint32_t>(value));
  } else {
    out = static_cast<Number>(value);
  }
  setRegError(0);
  return 1;
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, int& out) {
  return getOverriddenNumber(section, name, out);
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, unsigned int& out) {
  return getOverriddenNumber(section, name, out);
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, long& out) {
  return getOverriddenNumber(section, name, out);
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, unsigned long& out) {
  return getOverriddenNumber(section, name, out);
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, int* out) {
  return out != nullptr ? getNumber(section, name, *out) : 0;
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, unsigned int* out) {
  return out != nullptr ? getNumber(section, name, *out) : 0;
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, long* out) {
  return out != nullptr ? getNumber(section, name, *out) : 0;
}

int ZNRuntimePlatformInfo::getNumber(const std::string& section, const std::string& name, unsigned long* out) {
  return out != nullptr ? getNumber(section, name, *out) : 0;
}

int ZNRuntimePlatformInfo::getBoolean(const std::string& section, const std::string& name, bool& out) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  int value = 0;
  if (!findInt(section, name, value)) return ZNPlatformInfo::getBoolean(section.c_str(), name.c_str(), &out);
  out = value != 0;
  setRegError(0);
  return 1;
}

int ZNRuntimePlatformInfo::getBoolean(const std::string& section, const std::string& name, bool* out) {
  return out != nullptr ? getBoolean(section, name, *out) : 0;
}

// ---- Strings ----

int ZNRuntimePlatformInfo::getString(const std::string& section, const std::string& name, std::string& out) {
  return getString(section, name, &out);
}

int ZNRuntimePlatformInfo::getString(const std::string& section, const std::string& name, char* buf, int size) {
  return getString(section, name, buf, &size);
}

int ZNRuntimePlatformInfo::getString(const std::string& section, const std::string& name, char* buf, int* size) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  std::string value;
  // Bad arguments go to the store's reader, which reports them.
  if (buf == nullptr || size == nullptr || *size < 0 || !findString(section, name, value)) {
    return ZNPlatformInfo::getString(section.c_str(), name.c_str(), buf, size);
  }
  if (value.size() + 1 > static_cast<std::size_t>(*size)) {
    setRegError(-4);
    return 0;
  }
  std::memcpy(buf, value.c_str(), value.size() + 1);
  *size = static_cast<int>(value.size()) + 1;
  setRegError(0);
  return 1;
}

int ZNRuntimePlatformInfo::getString(const std::string& section, const std::string& name, std::string* out) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  std::string value;
  if (out == nullptr || !findString(section, name, value)) {
    return ZNPlatformInfo::getString(section.c_str(), name.c_str(), out);
  }
  *out = std::move(value);
  setRegError(0);
  return 1;
}

int ZNRuntimePlatformInfo::getStringTrim(const std::string& section, const std::string& name, std::string* out) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  std::string value;
  if (out == nullptr || !findString(section, name, value)) {
    return ZNPlatformInfo::getStringTrim(section.c_str(), name.c_str(), out);
  }
  *out = FXString::Trim(value, " \t");
  setRegError(0);
  return 1;
}

int ZNRuntimePlatformInfo::getStringList(const std::string& section, const std::string& name,
                                         std::vector<std::string>& out, std::vector<std::string>* separators) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  std::vector<std::string>* splitters = separators != nullptr ? separators : &c_defaultDelimiters.get();
  std::string value;
  if (!findString(section, name, value)) {
    return ZNPlatformInfo::getStringList(section.c_str(), name.c_str(), out, splitters);
  }
  out = SplitStoredList(value, *splitters);
  setRegError(0);
  return 1;
}

// ---- Overrides ----

void ZNRuntimePlatformInfo::overrideNumber(const std::string& section, const std::string& name, int value) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  (*c_intMap)[OverrideKey(section, name)] = value;
}

void ZNRuntimePlatformInfo::overrideBoolean(const std::string& section, const std::string& name, bool value) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  (*c_intMap)[OverrideKey(section, name)] = value ? 1 : 0;
}

void ZNRuntimePlatformInfo::overrideString(const std::string& section, const std::string& name,
                                           const std::string& value) {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  (*c_stringMap)[OverrideKey(section, name)] = value;
}

void ZNRuntimePlatformInfo::clear() {
  ZnCriticalSectionLock lock(&c_mapLock.get());
  c_intMap->clear();
  c_stringMap->clear();
}

void ZNRuntimePlatformInfo::dump() {
  constexpr const char* kContext = "ZNRuntimePlatformInfo::dump";
  ZnCriticalSectionLock lock(&c_mapLock.get());
  if (c_intMap->empty() && c_stringMap->empty()) return;
  EvDebug log;
  log.Debug(kContext, "Dumping additional settings overridden from HS");
  for (const auto& [key, value] : *c_stringMap) log.Debug(kContext, "[%s]=[%s]", key.c_str(), value.c_str());
  for (const auto& [key, value] : *c_intMap) log.Debug(kContext, "[%s]=[%d]", key.c_str(), value);
}
