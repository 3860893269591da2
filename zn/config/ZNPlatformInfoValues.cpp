// ZNPlatformInfo: typed values of sections of the focused instance.

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "zn/store/ConfigStore.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zn/crypto/ZNPassword.h"
#include "zuzazer/FXString.h"

using zn::ConfigStore;
using zn::StoreEntry;
using zn::StoreStatus;
using zn::StoreValue;

namespace {

constexpr const char* kStringContext = "ZNPlatformInfo::getRegStringImpl";
// The directory reader's fixed buffer.
constexpr std::size_t kDirectoryBuffer = 1025;

bool IsStringType(uint32_t type) {
  return type == kZnRegString || type == kZnRegExpandString || type == kZnRegMultiString;
}

// The leading decimal digits (after blanks and a sign) as a signed 64-bit
// number, clamped at its limits.
long long LeadingInteger(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  unsigned long long magnitude = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = static_cast<unsigned>(text[i] - '0');
    if (magnitude > (0x8000000000000000ULL - digit) / 10) overflow = true;
    if (!overflow) magnitude = magnitude * 10 + digit;
  }
  if (negative) return overflow || magnitude >= 0x8000000000000000ULL ? LLONG_MIN : -static_cast<long long>(magnitude);
  return overflow || magnitude > 0x7FFFFFFFFFFFFFFFULL ? LLONG_MAX : static_cast<long long>(magnitude);
}

}  // namespace

bool ZNPlatformInfo::readString(const char* key, const char* name, std::string& out, const char* context) {
  if (key == nullptr || name == nullptr) {
    return fail(kStringContext, "Invalid arguments passed.");
  }
  const zn::ConfigStore::ValueKey* valueKey = expandedValueKey(key, name);
  if (valueKey == nullptr) return false;
  StoreValue value;
  if (!readStoredValue(*valueKey, value)) return false;
  if (!IsStringType(value.type)) {
    return fail(context, std::string("Field ") + name + " in key " + key + " is not a string.");
  }
  out.assign(value.data.c_str());  // up to the first NUL
  return true;
}

bool ZNPlatformInfo::readNumber(const char* key, const char* name, unsigned long& out, const char* context) {
  uint32_t number = 0;
  unsigned long type = 0;
  int size = sizeof number;
  if (!getRegValue(key, name, &type, &number, size)) {
    if (m_regError != -4) return false;
    type = 0;  // larger than a number: it is none
  }
  if (type != kZnRegNumber || size != sizeof number) {
    return fail(context, std::string("Field ") + name + " in key " + key + " is not a DWORD.");
  }
  out = number;
  return true;
}

// ---- Strings ----

int ZNPlatformInfo::getString(const char* section, const char* name, char* buf, int* size) {
  if (buf == nullptr || size == nullptr || *size < 0) {
    fail(kStringContext, "Invalid arguments passed.");
    return 0;
  }
  const std::string key = SectionKey(section);
  std::vector<char> data(static_cast<std::size_t>(*size) + 1);
  unsigned long type = 0;
  int length = *size;
  if (!getRegValue(key.c_str(), name, &type, data.data(), length)) return 0;
  if (!IsStringType(static_cast<uint32_t>(type))) {
    fail(kStringContext, std::string("Field ") + name + " in key " + key + " is not a string.");
    return 0;
  }
  const std::size_t text = strnlen(data.data(), static_cast<std::size_t>(length));
  if (text + 1 > static_cast<std::size_t>(*size)) {
    m_regError = -4;
    return 0;
  }
  std::memcpy(buf, data.data(), text);
  buf[text] = '\0';
  *size = static_cast<int>(text) + 1;
  return 1;
}

int ZNPlatformInfo::getString(const char* section, const char* name, char* buf, int size) {
  return getString(section, name, buf, &size);
}

int ZNPlatformInfo::getString(const char* section, const char* name, std::string* out) {
  if (out == nullptr) {
    fail(kStringContext, "Invalid arguments passed.");
    return 0;
  }
  std::string text;
  if (!readString(SectionKey(section).c_str(), name, text, kStringContext)) return 0;
  *out = std::move(text);
  return 1;
}

int ZNPlatformInfo::getStringTrim(const char* section, const char* name, std::string* out) {
  std::string text;
  if (getString(section, name, &text) == 0) return 0;
  if (out == nullptr) return 0;
  *out = FXString::Trim(text, " \t");
  return 1;
}

std::vector<std::string> ZNPlatformInfo::SplitStoredList(const std::string& text,
                                                         const std::vector<std::string>& separators) {
  std::vector<std::string> items{text};
  for (const std::string& separator : separators) {
    std::vector<std::string> next;
    for (const std::string& item : items) {
      std::vector<std::string> parts;
      FXString::SplitArguments(item, separator, parts, 0);
      next.insert(next.end(), parts.begin(), parts.end());
    }
    items = std::move(next);
  }
  return items;
}

int ZNPlatformInfo::getStringList(const char* section, const char* name, std::vector<std::string>& out,
                                  std::vector<std::string>* separators) {
  std::string text;
  if (getString(section, name, &text) == 0) return 0;
  static const std::vector<std::string> kDefaultSeparators = {",", ";", " ", ":", "|"};
  const std::vector<std::string>& splitters = separators != nullptr ? *separators : kDefaultSeparators;
  out = SplitStoredList(text, splitters);
  return 1;
}

int ZNPlatformInfo::getMultiString(const char* section, const char* name, char* buf, int* size) {
  if (buf == nullptr || size == nullptr) {
    fail("ZNPlatformInfo::getMultiString", "Invalid arguments.");
    return 0;
  }
  const std::string key = SectionKey(section);
  unsigned long type = 0;
  int length = *size;
  std::vector<char> data(static_cast<std::size_t>(std::max(length, 0)) + 1);
  if (!getRegValue(key.c_str(), name, &type, data.data(), length)) {
    if (m_regError == -4) *size = length;  // the size needed
    return 0;
  }
  if (type != kZnRegMultiString) {
    fail("ZNPlatformInfo::getMultiString",
             std::string("Field ") + name + " in key " + key + " is not a REG_MULTI_SZ string.");
    return 0;
  }
  std::memcpy(buf, data.data(), static_cast<std::size_t>(length));
  *size = length;
  return 1;
}

int ZNPlatformInfo::getDirectory(const char* section, const char* name, char* buf, int* size) {
  if (buf == nullptr || size == nullptr || *size < 0) {
    fail("ZNPlatformInfo::getDirectory", "Invalid arguments.");
    return 0;
  }
  const std::string key = SectionKey(section);
  std::string text;
  if (!readString(key.c_str(), name, text, "ZNPlatformInfo::getDirectory")) return 0;
  if (text.size() + 1 > static_cast<std::size_t>(*size)) {
    m_regError = -4;
    return 0;
  }
  std::memcpy(buf, text.c_str(), text.size() + 1);
  *size = static_cast<int>(text.size()) + 1;
  return 1;
}

int ZNPlatformInfo::getDirectory(const char* section, const char* name, std::string* out) {
  char buffer[kDirectoryBuffer];
  int size = sizeof buffer;
  if (out == nullptr || getDirectory(section, name, buffer, &size) == 0) return 0;
  *out = buffer;
  return 1;
}

// ---- Numbers ----

int ZNPlatformInfo::getNumber(const char* section, const char* name, unsigned long* out) {
  unsigned long number = 0;
  if (out == nullptr || !readNumber(SectionKey(section).c_str(), name, number, "ZNPlatformInfo::getRegInt")) return 0;
  *out = number;
  return 1;
}

int ZNPlatformInfo::getNumber(const char* section, const char* name, int* out) {
  unsigned long number = 0;
  if (out == nullptr || getNumber(section, name, &number) == 0) return 0;
  *out = static_cast<int>(static_cast<uint32_t>(number));
  return 1;
}

int ZNPlatformInfo::getNumber(const char* section, const char* name, unsigned int* out) {
  unsigned long number = 0;
  if (out == nullptr || getNumber(section, name, &number) == 0) return 0;
  *out = static_cast<unsigned int>(number);
  return 1;
}

int ZNPlatformInfo::getNumber(const char* section, const char* name, long* out) {
  unsigned long number = 0;
  if (out == nullptr || getNumber(section, name, &number) == 0) return 0;
  *out = static_cast<int32_t>(static_cast<uint32_t>(number));  // a stored 32-bit value, sign kept
  return 1;
}

int ZNPlatformInfo::getBoolean(const char* section, const char* name, bool* out) {
  unsigned long number = 0;
  if (out == nullptr || getNumber(section, name, &number) == 0) return 0;
  *out = number != 0;
  return 1;
}

int ZNPlatformInfo::getLongLong(const char* section, const char* name, unsigned long long* out) {
  std::string text;
  if (out == nullptr || getString(section, name, &text) == 0) return 0;
  *out = static_cast<unsigned long long>(LeadingInteger(text));
  return 1;
}

// ---- Writes ----

int ZNPlatformInfo::setString(const char* section, const char* name, const char* value) {
  if (value == nullptr) return setRegValue(SectionKey(section).c_str(), name, kZnRegString, nullptr, 0) ? 1 : 0;
  return setRegValue(SectionKey(section).c_str(), name, kZnRegString, value, static_cast<int>(std::strlen(value)) + 1)
             ? 1
             : 0;
}

int ZNPlatformInfo::setString(const char* section, const char* name, const char* value, int /*ignored*/) {
  return setString(section, name, value);
}

int ZNPlatformInfo::setString(const char* section, const char* name, const std::string& value) {
  return setString(section, name, value.c_str());
}

int ZNPlatformInfo::setNumber(const char* section, const char* name, unsigned long value) {
  const auto number = static_cast<uint32_t>(value);  // store numbers are 32-bit
  return setRegValue(SectionKey(section).c_str(), name, kZnRegNumber, &number, sizeof number) ? 1 : 0;
}

int ZNPlatformInfo::setBoolean(const char* section, const char* name, bool value) {
  return setNumber(section, name, value ? 1UL : 0UL);
}

int ZNPlatformInfo::setLongLong(const char* section, const char* name, unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llu", value);
  return setString(section, name, text);
}

int ZNPlatformInfo::setMultiString(const char* section, const char* name, const char* value, int length) {
  return setRegValue(SectionKey(section).c_str(), name, kZnRegMultiString, value, length) ? 1 : 0;
}

int ZNPlatformInfo::setDirectory(const char* section, const char* name, const char* value, int length) {
  return setRegValue(SectionKey(section).c_str(), name, kZnRegExpandString, value, length) ? 1 : 0;
}

int ZNPlatformInfo::getPassword(const char* section, const char* name, ZNPassword* password) {
  std::string text;
  if (password == nullptr || getString(section, name, &text) == 0) return 0;
  return password->setEncoded(text);
}

int ZNPlatformInfo::setPassword(const char* section, const char* name, ZNPassword* password) {
  if (password == nullptr) return setString(section, name, static_cast<const char*>(nullptr));
  return setString(section, name, std::string(password->getEncoded()));
}

int ZNPlatformInfo::deleteField(const char* section, const char* name) {
  return delRegField(SectionKey(section).c_str(), name) ? 1 : 0;
}

int ZNPlatformInfo::deleteSection(const char* section) { return delRegKey(SectionKey(section).c_str()) ? 1 : 0; }

// ---- getValue / setValue ----

int ZNPlatformInfo::getValue(const std::string& section, const std::string& name, unsigned long& out) {
  return getNumber(section.c_str(), name.c_str(), &out);
}

int ZNPlatformInfo::getValue(const std::string& section, const std::string& name, unsigned long long& out) {
  return getLongLong(section.c_str(), name.c_str(), &out);
}

int ZNPlatformInfo::getValue(const std::string& section, const std::string& name, ZNPassword& out) {
  return getPassword(section.c_str(), name.c_str(), &out);
}

int ZNPlatformInfo::getValue(const std::string& section, const std::string& name, std::string& out,
                             const char* defaultValue) {
  if (getString(section.c_str(), name.c_str(), &out) != 0) return 1;
  if (defaultValue == nullptr) return 0;
  // A setting read with a default is written to the store on first use.
  if (setValue(section, name, std::string(defaultValue)) == 0) return 0;
  out = defaultValue;
  return 1;
}

int ZNPlatformInfo::getValue(const std::string& section, const std::string& name, char* buf, int& size,
                             const char* defaultValue) {
  if (getString(section.c_str(), name.c_str(), buf, &size) != 0) return 1;
  if (defaultValue == nullptr) return 0;
  if (setValue(section, name, std::string(defaultValue)) == 0) return 0;
  if (buf != nullptr && size > 0) std::strncpy(buf, defaultValue, static_cast<std::size_t>(size));
  return 1;
}

int ZNPlatformInfo::getSectionValues(const std::string& section, std::vector<std::string>& out) {
  constexpr const char* kContext = "ZNPlatformInfo::getValue_main";
  if (section.empty() || section == "~") {
    fail(kContext, "Invalid arguments.");
    return 0;
  }
  std::string path = expandKeyName(SectionKey(section.c_str()).c_str());
  if (path.empty()) return 0;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  ConfigStore& store = ConfigStore::ForThisThread();
  std::vector<StoreEntry> entries;
  if (!storeResult(store.values(path, entries), kContext, "Failed to open key [" + path + "]")) return 0;
  for (const StoreEntry& entry : entries) {
    if (entry.type == kZnRegString) {
      out.emplace_back(entry.data.c_str());
    } else if (entry.type == kZnRegNumber && entry.data.size() >= 4) {
      uint32_t number = 0;
      std::memcpy(&number, entry.data.data(), 4);
      out.push_back(std::to_string(number));
    } else if (entry.type == kZnRegNumber64 && entry.data.size() >= 8) {
      unsigned long long number = 0;
      std::memcpy(&number, entry.data.data(), 8);
      out.push_back(std::to_string(number));
    }
  }
  return 1;
}

int ZNPlatformInfo::getValue(const std::string& section, std::list<std::string>& out) {
  std::vector<std::string> values;
  if (getSectionValues(section, values) == 0) return 0;
  out.insert(out.end(), values.begin(), values.end());
  return 1;
}

int ZNPlatformInfo::getValue(const std::string& section, std::vector<std::string>& out) {
  return getSectionValues(section, out);
}

int ZNPlatformInfo::setValue(const std::string& section, const std::string& name, const std::string& value) {
  return setString(section.c_str(), name.c_str(), value);
}

int ZNPlatformInfo::setValue(const std::string& section, const std::string& name, const char* value, int length) {
  return setString(section.c_str(), name.c_str(), value, length);
}

int ZNPlatformInfo::setValue(const std::string& section, const std::string& name, unsigned long value) {
  return setNumber(section.c_str(), name.c_str(), value);
}

int ZNPlatformInfo::setValue(const std::string& section, const std::string& name, unsigned long long value) {
  return setLongLong(section.c_str(), name.c_str(), value);
}

int ZNPlatformInfo::setValue(const std::string& section, const std::string& name, ZNPassword& value) {
  return setPassword(section.c_str(), name.c_str(), &value);
}
