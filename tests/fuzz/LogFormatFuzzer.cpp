// The log's printf-style formats: a "%n" of any form must never write, and
// a stray "%" must never run off the format. The format is the input; the
// arguments are pointers to one text that every conversion can read safely
// (a narrow and a wide terminator), and every one of them must be left
// unchanged. Inputs that would make vsnprintf itself slow or read past the
// arguments it was given (star widths, long digit runs, more conversions
// than arguments, positions past 9) are skipped: they are not ours to test.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "zuzazer/FXFormatSafe.h"
#include "zuzazer/FXString.h"

namespace {

alignas(8) char g_text[16] = {'t', 'e', 'x', 't'};  // then 12 zero bytes
constexpr char kExpected[16] = {'t', 'e', 'x', 't'};

bool Usable(std::string_view format) {
  if (format.size() > 256 || format.find('\0') != std::string_view::npos || format.find('*') != std::string_view::npos) {
    return false;
  }
  std::size_t percents = 0;
  std::size_t digits = 0;
  for (const char c : format) {
    percents += c == '%';
    if (c == '$' && digits > 1) return false;
    digits = c >= '0' && c <= '9' ? digits + 1 : 0;
    if (digits > 3) return false;
  }
  // Positions go to our own expansion only with a "%n" (glibc's handling of
  // positions mixed with plain conversions is undefined).
  return percents <= 16 && (format.find('$') == std::string_view::npos || yq::ScanFormat(std::string(format).c_str()).percentN);
}

int Expand(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FXString::FormatToBuffer(buffer, size, format, args);
  va_end(args);
  return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string format(input);
  const yq::FormatScan scan = yq::ScanFormat(format.c_str());
  if (scan.unfinishedAt != std::string_view::npos && scan.unfinishedAt >= std::strlen(format.c_str())) std::abort();
  if (!Usable(input)) return 0;
  char* t = g_text;
  char buffer[128];
  const int length = Expand(buffer, sizeof buffer, format.c_str(), t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t,
                            t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t, t);
  if (std::memcmp(g_text, kExpected, sizeof kExpected) != 0) std::abort();
  if (length >= 0 && std::memchr(buffer, '\0', sizeof buffer) == nullptr) std::abort();
  return 0;
}
