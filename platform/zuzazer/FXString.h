// String helpers of the utility library: bounded printf-style formatting,
// case, trimming, splitting and wide-string conversion.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "zuzazer/CYqError.h"
#include "zuzazer/YqExport.h"

namespace FXString {

// Longest text Format and FormatArgList produce without a limit of their own.
inline constexpr std::size_t kDefaultMaxFormattedLength = 64 * 1024;

// printf-style formatting into `out`. A result longer than the limit fails
// with Win32 error 111 and leaves the text cut at the limit; a format that
// cannot be expanded fails with 87. "%n" conversions are never executed.
YQ_EXPORT CYqError Format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
YQ_EXPORT CYqError FormatArgList(std::string& out, const char* format, va_list args);
YQ_EXPORT CYqError FormatArgList(std::string& out, std::size_t maxLength, const char* format, va_list args);

// vsnprintf with the same protection against "%n" and a stray "%" at the end
// of the format. Returns the length of the full result, or -1 on failure.
YQ_EXPORT int FormatToBuffer(char* buffer, std::size_t size, const char* format, va_list args);

YQ_EXPORT std::string ToUpper(std::string_view text);
YQ_EXPORT std::string ToLower(std::string_view text);
YQ_EXPORT bool EqualsNoCase(std::string_view a, std::string_view b);

inline constexpr std::string_view kWhitespace = " \t\r\n\v\f";
YQ_EXPORT std::string Trim(std::string_view text, std::string_view characters = kWhitespace);

// Splits at every separator; empty fields are kept.
YQ_EXPORT std::vector<std::string> Split(std::string_view text, char separator);

// Splits an argument text at every occurrence of `separator` that is not
// inside double quotes (the quotes stay in the parts); empty parts are
// dropped. `flags` is reserved and must be 0. Returns the number of parts.
YQ_EXPORT int SplitArguments(std::string_view text, std::string_view separator, std::vector<std::string>& parts,
                   int flags = 0);

// UTF-8 to wide (UTF-32 here) and back; invalid bytes become U+FFFD.
YQ_EXPORT std::wstring ToWstring(std::string_view text);
YQ_EXPORT std::string ToString(std::wstring_view text);
// Hands the UTF-8 form of one code point to `put`, a byte at a time; a
// surrogate or a value above U+10FFFF is written as U+FFFD. The one encoder
// every conversion uses: `put` appends wherever the caller keeps the text
// (wiping buffers too), so no copy of it is made here.
template <typename Put>
void PutUtf8(char32_t codePoint, Put&& put) {
  char32_t cp = codePoint;
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    put(static_cast<char>(cp));
  } else if (cp < 0x800) {
    put(static_cast<char>(0xC0 | (cp >> 6)));
    put(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    put(static_cast<char>(0xE0 | (cp >> 12)));
    put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    put(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    put(static_cast<char>(0xF0 | (cp >> 18)));
    put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    put(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// PutUtf8 onto the end of `out`.
YQ_EXPORT void AppendUtf8(char32_t codePoint, std::string& out);

}  // namespace FXString
