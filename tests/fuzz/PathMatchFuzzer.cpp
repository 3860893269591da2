// File filters come from job definitions and the command line. Any pattern,
// path and flags: no crash, no read past a buffer, a next component that
// fits the caller's buffer, a literal pattern that matches itself, and the
// byte and code point matchers agreeing on ASCII.
//
// Input: a flags byte (bits 0-2 fnmatch flags, 3 case folding, 4 no
// wildcards, 5 last component only, 6 UNC, 7 "/" as the delimiter), then
// the pattern, a NUL, and the path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zn/pathmatch/TPathMatch.h"

namespace {

bool IsAscii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const unsigned options = data[0];
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t split = rest.find('\0');
  const std::string pattern = rest.substr(0, split);
  const std::string path = split == std::string::npos ? std::string() : rest.substr(split + 1);
  const std::string pathText(path.c_str());  // what a C string of it holds
  const int flags = static_cast<int>(options & 7);
  const bool fold = (options & 8) != 0;
  const bool wildcards = (options & 16) == 0;
  const bool lastOnly = (options & 32) != 0;
  const bool unc = (options & 64) != 0;
  const char delimiter = (options & 128) != 0 ? '/' : '\\';
  const char escape = delimiter == '/' ? '\\' : '/';

  TPathMatch plain;
  TPathMatchUnc uncMatcher;
  TPathMatch& matcher = unc ? uncMatcher : plain;
  matcher.setDelimiter(delimiter);
  matcher.setEscape(escape);
  if (fold) matcher.caseInsensitive();
  if (matcher.initialize(pattern.c_str(), wildcards, lastOnly) == 0) {
    const int result = matcher.match(path.c_str());
    Check(result == 0 || result == 1);
    char out[TPathMatchTemplate<char>::kPatternUnits];
    std::memset(out, 'x', sizeof out);
    std::string next;
    const TBasenameType type = matcher.getNextBasename(next);
    Check(type >= BASENAME_NONE && type <= BASENAME_ANY);
    Check(next.size() < sizeof out);
    Check(matcher.getNextBasename(out) == type);
    if (type != BASENAME_NONE) Check(next == out);
    // Without wildcards a pattern matches itself.
    if (!wildcards && !unc) Check(matcher.match(pattern.c_str()) == 1);
  }

  TPathMatch core;
  core.setDelimiter(delimiter);
  core.setEscape(escape);
  if (fold) core.caseInsensitive();
  const int bytes = core.fnmatch(pattern.c_str(), path.c_str(), flags, false);
  std::string bytesNext;
  const TBasenameType bytesType = core.getNextBasename(bytesNext);
  Check(bytesNext.size() <= pattern.size());
  const int codePoints = core.fnmatch(pattern.c_str(), path.c_str(), flags, true);
  std::string codePointsNext;
  const TBasenameType codePointsType = core.getNextBasename(codePointsNext);
  Check(codePointsNext.size() <= pattern.size());
  if (IsAscii(pattern) && IsAscii(pathText)) {
    Check(bytes == codePoints);
    Check(bytesType == codePointsType && bytesNext == codePointsNext);
  }
  return 0;
}
