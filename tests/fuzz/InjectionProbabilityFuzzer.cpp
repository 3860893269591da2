// Injection probabilities are texts of the store that anyone who can write
// the store sets. The parser never crashes, takes only plain decimal
// numbers strictly between 0 and 1, and gives the value the C library
// reads from the same text.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zn/error/CErrorInjector.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<double> value = zn::ParseInjectionProbability(text);
  if (!value) return 0;
  if (!(*value > 0.0 && *value < 1.0)) std::abort();
  const std::string number(Trimmed(text));
  for (const char c : number) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
    if (!allowed) std::abort();  // no hex, no "inf", no locale's comma, no inner blanks
  }
  // strtod in the "C" locale reads the same decimal numbers.
  char* end = nullptr;
  const double reference = std::strtod(number.c_str(), &end);
  if (end != number.c_str() + number.size() || reference != *value) std::abort();
  return 0;
}
