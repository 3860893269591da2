#include "zn/cmdline/internal/GetOptText.h"

#include <cstdio>
#include <cstring>

namespace zn::detail {

int FindValueWord(const char* const* words, const char* text) {
  for (int i = 0; words[i] != nullptr; ++i) {
    if (std::strcmp(words[i], text) == 0) return i;
  }
  return -1;
}

void AppendExpanded(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size());
  for (const char c : text) {
    const unsigned char code = static_cast<unsigned char>(c);
    if (code < 32) {
      out += '^';
      out += static_cast<char>(code + 64);
    } else {
      out += c;
    }
  }
}

void WriteDiagnosticLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace zn::detail
