// ZNPlatformInfo: operations on keys given as relative ("~section") or
// absolute paths.

#include <cstdio>
#include <cstring>

#include "zn/store/ConfigStore.h"
#include "zn/config/ZNPlatformInfo.h"
#include "zuzazer/FXString.h"
#include "zuzazer/YqWin32Errors.h"

using zn::ConfigStore;
using zn::CopyFailure;
using zn::StoreEntry;
using zn::StoreStatus;
using zn::StoreValue;

namespace {

// How a value shows in messages: string types as their (first) text.
std::string ValueText(unsigned long type, const void* data, int length) {
  const auto* bytes = static_cast<const char*>(data);
  switch (type) {
    case kZnRegString:
    case kZnRegExpandString:
    case kZnRegMultiString:
      return std::string(bytes, strnlen(bytes, static_cast<std::size_t>(length)));
    case kZnRegNumber:
      if (length == 4) {
        uint32_t number = 0;
        std::memcpy(&number, bytes, 4);
        return std::to_string(number);
      }
      [[fallthrough]];
    default:
      return "<" + std::to_string(length) + " bytes of type " + std::to_string(type) + ">";
  }
}

std::string WithoutTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

bool ZNPlatformInfo::getRegValue(const char* key, const char* name, unsigned long* type, void* data, int& size) {
  constexpr const char* kContext = "ZNPlatformInfo::getRegValue";
  if (key == nullptr || key[0] == '\0' || name == nullptr || name[0] == '\0' || type == nullptr || data == nullptr ||
      size < 0) {
    return fail(kContext, "Invalid arguments.");
  }
  const ConfigStore::ValueKey* valueKey = expandedValueKey(key, name);
  if (valueKey == nullptr) return false;
  m_regError = 0;
  StoreValue value;
  if (!readStoredValue(*valueKey, value)) return false;
  if (value.data.size() > static_cast<std::size_t>(size)) {
    size = static_cast<int>(value.data.size());
    m_regError = -4;
    return false;
  }
  std::memcpy(data, value.data.data(), value.data.size());
  *type = value.type;
  size = static_cast<int>(value.data.size());
  return true;
}

bool ZNPlatformInfo::storeResult(StoreStatus status, const char* context, const std::string& failure) {
  switch (status) {
    case StoreStatus::kOk:
      return true;
    case StoreStatus::kKeyMissing:
      m_regError = -2;
      return false;
    case StoreStatus::kValueMissing:
      m_regError = -3;
      return false;
    default:
      return fail(context, failure + ": " + ConfigStore::ForThisThread().lastError());
  }
}

bool ZNPlatformInfo::readStoredValue(const ConfigStore::ValueKey& key, StoreValue& value) {
  const StoreStatus status = ConfigStore::ForThisThread().readValue(key, value);
  // The failure text is only made for a failure: this is every read's path.
  if (status == StoreStatus::kOk) return true;
  return storeResult(status, "ZNPlatformInfo::getRegValue",
                     "Failed to open registry key [" + std::string(key.path()) + "]");
}

bool ZNPlatformInfo::getRegValue(const char* key, const wchar_t* name, unsigned long* type, void* data, int& size) {
  const std::string narrow = name != nullptr ? FXString::ToString(name) : std::string();
  return getRegValue(key, name != nullptr ? narrow.c_str() : nullptr, type, data, size);
}

bool ZNPlatformInfo::getRegInt(const char* key, const char* name, int* out) {
  unsigned long number = 0;
  if (out == nullptr || !readNumber(key, name, number, "ZNPlatformInfo::getRegInt")) return false;
  *out = static_cast<int>(static_cast<uint32_t>(number));
  return true;
}

bool ZNPlatformInfo::setRegValue(const char* key, const char* name, unsigned long type, const void* data,
                                 int length) {
  constexpr const char* kContext = "ZNPlatformInfo::setRegValue";
  if (key == nullptr || key[0] == '\0' || name == nullptr || name[0] == '\0' || data == nullptr || length < 0) {
    return fail(kContext, "Invalid arguments.");
  }
  const std::string path = expandKeyName(key);
  if (path.empty()) return false;
  if (length == 0) {
    const auto* text = static_cast<const char*>(data);
    if (type == kZnRegString || type == kZnRegExpandString) {
      length = static_cast<int>(std::strlen(text)) + 1;
    } else if (type == kZnRegMultiString) {
      length = static_cast<int>(std::strlen(text)) + 2;
    } else {
      return fail(kContext, "ZERO value length passed as input");
    }
  }
  m_regError = 0;
  ConfigStore& store = ConfigStore::ForThisThread();
  const std::string_view bytes(static_cast<const char*>(data), static_cast<std::size_t>(length));
  if (store.writeValue(path, name, static_cast<uint32_t>(type), bytes) != StoreStatus::kOk) {
    return fail(kContext, std::string("Failed to set field [") + name + "] to " + ValueText(type, data, length) +
                           " under registry key [" + path + "]: " + store.lastError());
  }
  return true;
}

bool ZNPlatformInfo::setRegString(const char* key, const char* name, const char* value) {
  if (value == nullptr) return setRegValue(key, name, kZnRegString, nullptr, 0);
  return setRegValue(key, name, kZnRegString, value, static_cast<int>(std::strlen(value)) + 1);
}

bool ZNPlatformInfo::setRegInt(const char* key, const char* name, int value) {
  if (key == nullptr || key[0] == '\0' || name == nullptr || name[0] == '\0') {
    return fail("ZNPlatformInfo::setRegInt", "Invalid arguments.");
  }
  const auto number = static_cast<uint32_t>(value);
  return setRegValue(key, name, kZnRegNumber, &number, 4);
}

bool ZNPlatformInfo::getRegValues(const char* key, std::map<std::string, std::string>* out) {
  constexpr const char* kContext = "ZNPlatformInfo::getRegValues";
  if (out == nullptr || key == nullptr) {
    return fail(kContext, "Invalid arguments.");
  }
  out->clear();
  const std::string expanded = expandKeyName(key);
  if (expanded.empty()) return false;
  const std::string path = WithoutTrailingBackslashes(expanded);
  ConfigStore& store = ConfigStore::ForThisThread();
  std::vector<StoreEntry> entries;
  if (!storeResult(store.values(path, entries), kContext, "Failed to open key [" + path + "]")) return false;
  for (const StoreEntry& entry : entries) {
    std::string text;
    if (zn::StoreValueText(entry.type, entry.data, true, text)) (*out)[entry.name] = text;
  }
  return true;
}

bool ZNPlatformInfo::getSubKeysImpl(const char* key, std::list<std::string>* out, const char* context) {
  if (out == nullptr || key == nullptr) {
    return fail(context, "Invalid arguments.");
  }
  const std::string expanded = expandKeyName(key);
  if (expanded.empty()) return false;
  const std::string path = WithoutTrailingBackslashes(expanded);
  ConfigStore& store = ConfigStore::ForThisThread();
  std::vector<std::string> names;
  if (!storeResult(store.subKeys(path, names), context, "Failed to open key [" + path + "]")) return false;
  out->assign(names.begin(), names.end());
  return true;
}

bool ZNPlatformInfo::getSubKeys(const char* section, std::list<std::string>* out) {
  return getSubKeysImpl(SectionKey(section).c_str(), out, "ZNPlatformInfo::getRegSubKeysImpl");
}

bool ZNPlatformInfo::getRegSubKeysFromAbsPath(const char* key, std::list<std::string>* out) {
  if (key != nullptr && key[0] == '~') {
    return fail("ZNPlatformInfo::getRegSubKeysFromAbsPath",
             "Incorrect API being used, please use getSubKeys(...) when using ~");
  }
  return getSubKeysImpl(key, out, "ZNPlatformInfo::getRegSubKeysImpl");
}

bool ZNPlatformInfo::createRegKey(const char* key) {
  const std::string path = expandKeyName(key);
  if (path.empty()) return false;
  ConfigStore& store = ConfigStore::ForThisThread();
  bool existed = false;
  if (store.createKey(path, existed) != StoreStatus::kOk) {
    return fail("ZNPlatformInfo::createRegKey", "Failed to create registry key [" + path + "]: " + store.lastError());
  }
  return true;
}

bool ZNPlatformInfo::delRegField(const char* key, const char* name) {
  constexpr const char* kContext = "ZNPlatformInfo::delRegField";
  if (name == nullptr || name[0] == '\0') {
    return fail(kContext, "Invalid arguments.");
  }
  const std::string path = expandKeyName(key);
  if (path.empty()) return false;
  ConfigStore& store = ConfigStore::ForThisThread();
  return storeResult(store.deleteValue(path, name), kContext,
                     std::string("Failed to delete field [") + name + "] from key [" + path + "]");
}

bool ZNPlatformInfo::delRegKey(const char* key) {
  const std::string path = WithoutTrailingBackslashes(expandKeyName(key));
  if (path.empty()) return false;
  ConfigStore& store = ConfigStore::ForThisThread();
  return storeResult(store.deleteTree(path), "ZNPlatformInfo::delRegKey", "Failed to delete key [" + path + "]");
}

bool ZNPlatformInfo::copyRegKey(const char* from, const char* to) {
  constexpr const char* kContext = "ZNPlatformInfo::copyRegKey";
  if (from == nullptr || to == nullptr) {
    return fail(kContext, "Invalid arguments.");
  }
  const std::string source = WithoutTrailingBackslashes(expandKeyName(from));
  if (source.empty()) return false;
  const std::string target = WithoutTrailingBackslashes(expandKeyName(to));
  if (target.empty()) return false;
  ConfigStore& store = ConfigStore::ForThisThread();
  std::string failedAt;
  switch (store.copyTree(source, target, false, failedAt)) {
    case CopyFailure::kNone:
      return true;
    case CopyFailure::kSourceMissing:
      m_regError = -2;
      return false;
    case CopyFailure::kTargetExists:
      logError(kContext, std::string("Failed to create key [") + to + "]: Key already exists!");
      break;
    case CopyFailure::kIntoItself:
      logError(kContext, std::string("Failed to create key [") + to + "]: a key cannot be copied into itself");
      break;
    case CopyFailure::kValueTooLarge:
      logError("ZNPlatformInfo::copyRegKeyValues", "Failed to enumerate values: " + yq::Win32ErrorText(yq::kErrorMoreData));
      logError(kContext, "Failed to copy values of key [" + failedAt + "]");
      if (!FXString::EqualsNoCase(failedAt, source)) {
        logError(kContext, "Failed to copy subkey [" + failedAt.substr(source.size() + 1) + "] of key [" + from + "]");
      }
      break;
    case CopyFailure::kStore:
      logError(kContext, "Failed to open key [" + source + "]: " + store.lastError());
      break;
  }
  m_regError = -1;
  return false;
}

bool ZNPlatformInfo::copyRegKey(std::string& from, std::string& to) { return copyRegKey(from.c_str(), to.c_str()); }

bool ZNPlatformInfo::copyRegKey(const char* fromSub, const char* toSub, const char* fromRoot, const char* toRoot) {
  const std::string from = std::string(fromRoot != nullptr ? fromRoot : "") + (fromSub != nullptr ? fromSub : "");
  const std::string to = std::string(toRoot != nullptr ? toRoot : "") + (toSub != nullptr ? toSub : "");
  return copyRegKey(from.c_str(), to.c_str());
}

bool ZNPlatformInfo::copyRegKeyValues(HKEY from, HKEY to) {
  constexpr const char* kContext = "ZNPlatformInfo::copyRegKeyValues";
  if (from == nullptr || to == nullptr) {
    return fail(kContext, "Invalid arguments.");
  }
  ConfigStore& store = ConfigStore::ForThisThread();
  std::vector<StoreEntry> entries;
  if (store.values(from->path, entries) != StoreStatus::kOk) {
    return fail(kContext, "Failed to enumerate values: " + store.lastError());
  }
  for (const StoreEntry& entry : entries) {
    if (entry.name.size() >= zn::kCopyBufferBytes || entry.data.size() > zn::kCopyBufferBytes) {
      return fail(kContext, "Failed to enumerate values: " + yq::Win32ErrorText(yq::kErrorMoreData));
    }
    if (store.writeValue(to->path, entry.name, entry.type, entry.data) != StoreStatus::kOk) {
      return fail(kContext, "Failed to set values: " + store.lastError());
    }
  }
  return true;
}

bool ZNPlatformInfo::renameRegKey(const char* from, const char* to) {
  constexpr const char* kContext = "ZNPlatformInfo::renameRegKey";
  if (from == nullptr || to == nullptr) {
    return fail(kContext, "Invalid arguments.");
  }
  const std::string source = WithoutTrailingBackslashes(expandKeyName(from));
  const std::string target = source.empty() ? std::string() : WithoutTrailingBackslashes(expandKeyName(to));
  ConfigStore& store = ConfigStore::ForThisThread();
  std::string failedAt;
  const CopyFailure failure =
      source.empty() || target.empty() ? CopyFailure::kStore : store.copyTree(source, target, true, failedAt);
  if (failure == CopyFailure::kNone) return true;
  if (failure == CopyFailure::kSourceMissing) {
    m_regError = -2;
  } else {
    if (failure == CopyFailure::kTargetExists) {
      logError("ZNPlatformInfo::copyRegKey", std::string("Failed to create key [") + to + "]: Key already exists!");
    }
    m_regError = -1;
  }
  logError(kContext, std::string("Failed to copy key ") + from);
  return false;
}

bool ZNPlatformInfo::renameRegKey(std::string& from, std::string& to) { return renameRegKey(from.c_str(), to.c_str()); }
