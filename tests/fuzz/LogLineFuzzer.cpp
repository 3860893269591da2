// Log files are read back by znadmin (tail, its filters, --json): any text
// may be in them. Reading a line never crashes, and every field it gives
// lies inside the line; a line formatted by the writer always reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zuzazer/LogLineFormat.h"

namespace {

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  yq::LogLinePrefix prefix;
  if (yq::ParseLogLinePrefix(text, prefix)) {
    if (prefix.timestamp.size() != 23 || prefix.function.empty()) std::abort();
    if (!Inside(prefix.timestamp, text) || !Inside(prefix.function, text) || !Inside(prefix.rest, text)) std::abort();
  }
  // The input as a message of a line the writer makes.
  yq::LogLineFields fields;
  fields.showLevel = size % 2 == 1;
  fields.level = static_cast<int>(size % 30) - 1;
  fields.jobId = static_cast<long long>(size) * 7919;
  fields.function = "Fuzz::line";
  char line[512];
  const std::size_t length = yq::FormatLogLinePrefix(line, sizeof line, fields);
  std::string whole = std::string(line, length) + text;
  whole = whole.substr(0, whole.find('\n'));
  if (!yq::ParseLogLinePrefix(whole, prefix) || prefix.hasLevel != fields.showLevel ||
      (fields.showLevel && prefix.level != fields.level) || prefix.jobId != fields.jobId) {
    std::abort();
  }
  return 0;
}
