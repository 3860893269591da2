#include "zn/cmdline/internal/ArgumentScan.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace zn::detail {
namespace {

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  return p;
}

bool StartsWithNoCase(const char* p, const char* prefix) {
  for (; *prefix != '\0'; ++p, ++prefix) {
    if ((*p | 0x20) != *prefix) return false;
  }
  return true;
}

}  // namespace

bool ScanInt(const char* text, int& value) {
  const char* p = SkipBlanks(text);
  // from_chars takes '-' but not '+'.
  if (*p == '+') {
    ++p;
    if (*p == '-') return false;
  }
  const char* const end = p + std::strlen(p);
  int parsed = 0;
  const auto [stop, error] = std::from_chars(p, end, parsed);
  if (error != std::errc()) return false;
  value = parsed;
  return true;
}

bool ScanDouble(const char* text, double& value) {
  const char* p = SkipBlanks(text);
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
    if (*p == '+' || *p == '-') return false;
  }
  const char* const end = p + std::strlen(p);
  double parsed = 0;
  std::from_chars_result result{p, std::errc::invalid_argument};
  if (StartsWithNoCase(p, "0x")) {
    result = std::from_chars(p + 2, end, parsed, std::chars_format::hex);
    // "0x" with no hexadecimal digits after it scans as the 0 before it.
    if (result.ec == std::errc::invalid_argument) {
      parsed = 0;
      result.ec = std::errc();
    }
  } else {
    result = std::from_chars(p, end, parsed, std::chars_format::general);
  }
  if (result.ec != std::errc()) return false;
  value = negative ? -parsed : parsed;
  return true;
}

}  // namespace zn::detail
