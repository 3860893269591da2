// The launcher's command-line splitter over arbitrary text: never a crash;
// the arguments it gives, joined again, split back into themselves; a
// command's tail is a suffix of it with no separator left in it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "zn/process/internal/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = zn::detail::SplitCommandLine(text);
  std::size_t total = 0;
  for (const std::string& argument : arguments) total += argument.size();
  // Quotes and escapes only ever take bytes away.
  if (total > size) std::abort();
  if (zn::detail::SplitCommandLine(zn::detail::JoinCommandLine(arguments)) != arguments) std::abort();
  // The input's bytes taken as arguments of their own, split at NULs.
  std::vector<std::string> pieces(1);
  for (const char c : text) {
    if (c == '\0') {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(c);
    }
  }
  if (zn::detail::SplitCommandLine(zn::detail::JoinCommandLine(pieces)) != pieces) std::abort();
  const std::string_view tail = zn::detail::CommandTail(text);
  if (tail.size() > size || text.substr(size - tail.size()) != tail) std::abort();
  if (tail.find_first_of("\\/") != std::string_view::npos) std::abort();
  return 0;
}
