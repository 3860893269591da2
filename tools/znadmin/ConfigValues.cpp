#include "ConfigValues.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include "StoreText.h"
#include "zn/store/StoreKeys.h"

namespace zn::admin {

std::string HexBytes(const std::string& data) {
  std::string text;
  char byte[3];
  for (const char c : data) {
    std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(c));
    text += byte;
  }
  return text;
}

bool ParseHex(const std::string& text, std::string& data) {
  std::string digits;
  for (const char c : text) {
    if (c != ',' && c != ' ' && c != ':') digits.push_back(c);
  }
  if (digits.size() % 2 != 0) return false;
  data.clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    unsigned value = 0;
    if (std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16).ptr != digits.data() + i + 2) return false;
    data.push_back(static_cast<char>(value));
  }
  return true;
}

std::string PlainValue(uint32_t type, const std::string& data) {
  switch (type) {
    case kZnRegString:
    case kZnRegExpandString:
      return std::string(data.c_str());
    case kZnRegMultiString: {
      // Every item up to the closing terminators, empty ones included, as
      // `set --type multi` takes them and the export shows them.
      std::string text = data;
      if (text.size() >= 2 && text[text.size() - 1] == '\0' && text[text.size() - 2] == '\0') {
        text.resize(text.size() - 2);
      } else if (!text.empty() && text.back() == '\0') {
        text.pop_back();
      }
      for (char& c : text) {
        if (c == '\0') c = '\n';
      }
      return text;
    }
    default: {
      const std::string shown = ValueAsText(type, data);
      return shown.substr(shown.find(':') + 1);
    }
  }
}

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || at + length > text.size()) return false;
    unsigned long code = length == 1 ? byte : byte & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no UTF-8.
    static constexpr unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
    at += length;
  }
  return true;
}

Json ValueJson(const std::string& name, uint32_t type, const std::string& data) {
  Json value = {{"name", name}, {"type", TypeName(type)}, {"text", ValueAsText(type, data)}, {"value", nullptr}};
  const std::string text = ValueAsText(type, data);
  if (text.rfind("hex(", 0) == 0) return value;  // not exactly a text or a number
  if (type == kZnRegNumber || type == kZnRegNumber64) {
    unsigned long long number = 0;
    std::memcpy(&number, data.data(), data.size());
    value["value"] = number;
  } else if (type == kZnRegMultiString) {
    std::vector<std::string> items;
    std::string item;
    for (std::size_t at = 0; at + 1 < data.size(); ++at) {
      if (data[at] != '\0') {
        item.push_back(data[at]);
        continue;
      }
      items.push_back(std::move(item));
      item.clear();
    }
    for (const std::string& each : items) {
      if (!IsUtf8(each)) return value;
    }
    value["value"] = items;
  } else {
    const std::string plain = data.substr(0, data.size() - 1);
    if (IsUtf8(plain)) value["value"] = plain;
  }
  return value;
}

namespace {

bool AllLowerHex(std::string_view text) {
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return !text.empty();
}

// The forms the library writes: '3', '5', '8' (marker, then whole
// semiblocks in hex) and the '6' and '7' hashes (marker, 32 bytes).
bool HasEncodedForm(std::string_view text) {
  if (text.size() < 2) return false;
  const std::string_view digits = text.substr(1);
  switch (text[0]) {
    case '3':
    case '5':
    case '8': return digits.size() >= 32 && digits.size() % 16 == 0 && AllLowerHex(digits);
    case '6':
    case '7': return digits.size() == 64 && AllLowerHex(digits);
    default: return false;
  }
}

}  // namespace

bool IsPasswordName(const std::string& name) {
  return name.size() > 1 && (name[0] == 'p' || name[0] == 'P') && name[1] >= 'A' && name[1] <= 'Z';
}

bool HasEncodedPasswordForm(std::string_view text) { return HasEncodedForm(text); }

std::optional<std::string> PasswordSummary(const std::string& name, uint32_t type, const std::string& data) {
  if (type != kZnRegString) return std::nullopt;
  const std::string_view text(data.data(), data.find('\0') == std::string::npos ? data.size() : data.find('\0'));
  if (!IsPasswordName(name) && !HasEncodedForm(text)) return std::nullopt;
  if (text.empty()) return std::string("password, empty");
  return "password, format " + std::string(1, IsUtf8(text.substr(0, 1)) ? text[0] : '?') + ", " +
         std::to_string(text.size()) + " characters";
}

}  // namespace zn::admin
