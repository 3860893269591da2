#include "zn/livestatus/internal/LiveStatusLayout.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "zn/livestatus/LiveStatus.h"
#include "zn/store/StoreKeys.h"
#include "zuzazer/FXString.h"

namespace zn::detail {

ConfigStore::BatchValue NumberValue(const std::string& key, std::string_view name, unsigned long long number) {
  const auto value = static_cast<uint32_t>(number > 0xFFFFFFFFULL ? 0xFFFFFFFFULL : number);
  std::string data(4, '\0');
  std::memcpy(data.data(), &value, 4);
  return {key, std::string(name), static_cast<uint32_t>(kZnRegNumber), std::move(data)};
}

ConfigStore::BatchValue DecimalValue(const std::string& key, std::string_view name, long long number) {
  return TextValue(key, name, std::to_string(number));
}

ConfigStore::BatchValue TextValue(const std::string& key, std::string_view name, std::string_view text) {
  std::string data(text);
  data.push_back('\0');
  return {key, std::string(name), static_cast<uint32_t>(kZnRegString), std::move(data)};
}

const StoreEntry* RecordValues::find(std::string_view name) const {
  for (const StoreEntry& entry : m_entries) {
    if (FXString::EqualsNoCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

std::optional<long long> RecordValues::number(std::string_view name) const {
  const StoreEntry* entry = find(name);
  if (entry == nullptr) return std::nullopt;
  if (entry->type == kZnRegNumber && entry->data.size() == 4) {
    uint32_t value = 0;
    std::memcpy(&value, entry->data.data(), 4);
    return value;
  }
  if (entry->type != kZnRegString) return std::nullopt;
  const std::string_view digits(entry->data.data(), strnlen(entry->data.data(), entry->data.size()));
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::string RecordValues::text(std::string_view name) const {
  const StoreEntry* entry = find(name);
  if (entry == nullptr || entry->type != kZnRegString) return std::string();
  return std::string(entry->data.data(), strnlen(entry->data.data(), entry->data.size()));
}

}  // namespace zn::detail

namespace zn {

std::string EscapeLiveStatusName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string key;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '%' || c == '\\' || c == '/' || byte < 0x20 || byte == 0x7F) {
      key.push_back('%');
      key.push_back(kHex[byte >> 4]);
      key.push_back(kHex[byte & 0xF]);
    } else {
      key.push_back(c);
    }
  }
  return key;
}

std::string UnescapeLiveStatusName(std::string_view key) {
  std::string name;
  for (std::size_t at = 0; at < key.size(); ++at) {
    unsigned value = 0;
    if (key[at] == '%' && at + 2 < key.size() &&
        std::from_chars(key.data() + at + 1, key.data() + at + 3, value, 16).ptr == key.data() + at + 3) {
      name.push_back(static_cast<char>(value));
      at += 2;
    } else {
      name.push_back(key[at]);  // not an escape of ours: shown as it stands
    }
  }
  return name;
}

}  // namespace zn
