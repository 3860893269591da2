#include "zuzazer/FXString.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "zuzazer/FXErrorUtil.h"
#include "zuzazer/FXFormatSafe.h"
#include "zuzazer/YqWin32Errors.h"

namespace FXString {

int FormatToBuffer(char* buffer, std::size_t size, const char* format, va_list args) {
  if (format == nullptr) {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  // "%n" in any form goes the slow way, which never writes through it; a
  // conversion cut off by the end of the format is printed as written.
  const yq::FormatScan scan = yq::ScanFormat(format);
  if (scan.percentN) return yq::FormatWithoutPercentN(buffer, size, format, args);
  std::string fixed;
  if (scan.unfinishedAt != std::string_view::npos) {
    fixed.assign(format, scan.unfinishedAt);
    fixed += '%';
    fixed += format + scan.unfinishedAt;
  }
  const char* effective = fixed.empty() ? format : fixed.c_str();
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(buffer, size, effective, copy);
  va_end(copy);
  if (length < 0 && size > 0) buffer[0] = '\0';
  return length;
}

CYqError FormatArgList(std::string& out, std::size_t maxLength, const char* format, va_list args) {
  out.clear();
  char stackBuffer[1024];
  va_list first;
  va_copy(first, args);
  const int length = FormatToBuffer(stackBuffer, sizeof stackBuffer, format, first);
  va_end(first);
  if (length < 0) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorInvalidParameter,
                                   "Format [%s] could not be expanded", format);
  }
  const auto full = static_cast<std::size_t>(length);
  if (full < sizeof stackBuffer) {
    out.assign(stackBuffer, std::min(full, maxLength));
  } else {
    out.resize(full);
    va_list second;
    va_copy(second, args);
    FormatToBuffer(out.data(), full + 1, format, second);
    va_end(second);
    if (full > maxLength) out.resize(maxLength);
  }
  if (full > maxLength) {
    return FXErrorUtil::ErrorWin32(FX_CODE_LOCATION, yq::kErrorBufferOverflow,
                                   "Formatted text of %zu characters exceeds the limit of %zu",
                                   full, maxLength);
  }
  return CYqError::Success();
}

CYqError FormatArgList(std::string& out, const char* format, va_list args) {
  return FormatArgList(out, kDefaultMaxFormattedLength, format, args);
}

CYqError Format(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  CYqError result = FormatArgList(out, format, args);
  va_end(args);
  return result;
}

std::string ToUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

std::string ToLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Trim(std::string_view text, std::string_view characters) {
  const auto first = text.find_first_not_of(characters);
  if (first == std::string_view::npos) return std::string();
  const auto last = text.find_last_not_of(characters);
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const auto end = text.find(separator, start);
    if (end == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      return fields;
    }
    fields.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
}

int SplitArguments(std::string_view text, std::string_view separator, std::vector<std::string>& parts,
                   int /*flags*/) {
  parts.clear();
  if (separator.empty()) {
    if (!text.empty()) parts.emplace_back(text);
    return static_cast<int>(parts.size());
  }
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '"') quoted = !quoted;
    if (!quoted && text.compare(i, separator.size(), separator) == 0) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
      i += separator.size();
      continue;
    }
    current.push_back(text[i++]);
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return static_cast<int>(parts.size());
}

std::wstring ToWstring(std::string_view text) {
  std::wstring result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      cp = lead & 0x07;
    } else {
      result.push_back(L'\uFFFD');
      ++i;
      continue;
    }
    // A sequence cut short (by the end or by another byte) is one bad byte;
    // what follows it is decoded on its own.
    bool valid = i + extra < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms are rejected: "\xC0\xAF" must not become "/".
    static constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (!valid || cp < kShortest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      result.push_back(L'\uFFFD');
      ++i;
      continue;
    }
    result.push_back(static_cast<wchar_t>(cp));
    i += 1 + extra;
  }
  return result;
}

void AppendUtf8(char32_t cp, std::string& out) {
  PutUtf8(cp, [&out](char c) { out.push_back(c); });
}

std::string ToString(std::wstring_view text) {
  std::string result;
  result.reserve(text.size());
  for (const wchar_t wc : text) AppendUtf8(static_cast<char32_t>(wc), result);
  return result;
}

}  // namespace FXString
